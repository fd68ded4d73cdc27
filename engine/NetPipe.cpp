#include "NetPipe.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "AcctMngr.h"
#include "CritSectLock.h"
#include "DirIter.h"
#include "GroupData.h"
#include "GuiAlert.h"
#include "HeaderUtil.h"
#include "Language.h"
#include "MessageHead.h"
#include "NetAcct.h"
#include "Notify.h"
#include "NotifyList.h"
#include "StoragePath.h"
#include "ThreadMngr.h"

bool NetPipe::sStarted = false;

namespace {

const LangData kActionRows[] = {
	{"NetActionCatchupGroup", "", "Newsgroup catch-up"},
	{"NetActionDnldBodiesAll", "", "Download all message bodies"},
	{"NetActionDnldBodiesMarked", "", "Download marked message bodies"},
	{"NetActionDnldBody", "", "Download message body"},
	{"NetActionDnldGroup", "", "Download newsgroup"},
	{"NetActionDnldGroupList", "", "Download newsgroup list"},
	{"NetActionUpload", "", "Upload messages"},
	{"GroupNetError", "%s %s %s %s", "%1  Account “%2” newsgroup %3  %4"},
	{"AccountNetError", "%s %s %s", "%1  Account “%2”  %3"},
	{"NetworkErrorAlert", "",
		"Network errors occurred\tErrors occurred during the network session.  See the transfer window for "
		"details."},
	{"GroupNoDownload", "",
		"Group cannot be downloaded\tChange this group’s settings to download full messages or headers only, "
		"then try this operation again."},
	{"GroupNotHeadersOnly", "",
		"Cannot download message bodies\tThis newsgroup is not set for headers-only download."},
	{nullptr, nullptr, nullptr},
};
const LangSection kActionSection = {"Network actions", LangSectionNetworkActions, kActionRows};
bool sSectionAdded = false;

const long long kIdleWait = 500000;
const long long kHeadLockWait = 1000000;
const long long kCycleInterval = 20000;

CritSect sLock;
std::deque<NetRequest> sQueue;
bool sWorking = false;
int sErrorCount = 0;
float sProgressDone = 0;
float sProgressTotal = 0;
NetAcct* sAcct = nullptr;
TString sConnAccount;
ConnectType sConnKind = ConnectNone;
ThreadHandle sThread = Thread::HandleNone;
std::vector<NetResult> sResults;
ActivityInfo sActivity;

std::mutex sWakeLock;
std::condition_variable sWakeCond;
bool sWakeFlag = false;

void groupsOf(const TString& account, std::vector<TString>& out)
{
	AcctMngr::GroupSet groups;
	AcctMngr::GroupListGet(account, groups);
	out.assign(groups.begin(), groups.end());
	std::sort(out.begin(), out.end(), TString::CompNoCase());
}

void accounts(std::vector<TString>& out)
{
	AcctMngr::AccountList(out);
	std::sort(out.begin(), out.end(), TString::CompNoCase());
}

}  // namespace

bool NetPipe::Start()
{
	if (!sSectionAdded)
		sSectionAdded = Language::SectionAdd(&kActionSection);
	{
		CritSectLock lock(sLock);
		sQueue.clear();
		sResults.clear();
		sWorking = false;
		sErrorCount = 0;
		sProgressDone = sProgressTotal = 0;
		sConnAccount.Erase();
		sConnKind = ConnectNone;
		if (!sAcct)
			sAcct = new NetAcct;
		sAcct->ActivitySetup(activityProc, nullptr);
	}
	sThread = ThreadMngr::Spawn(threadProc, nullptr, nullptr, kCycleInterval, ThreadPriorityNormal);
	sStarted = sThread != Thread::HandleNone;
	return sStarted;
}

void NetPipe::Stop()
{
	wake();
	{
		CritSectLock lock(sLock);
		// A thread still inside a request after the shutdown wait keeps its driver: it is left to
		// end on its own.
		if (sAcct && !sWorking)
			sAcct->Disconnect();
		sQueue.clear();
	}
	if (sSectionAdded)
		Language::SectionRemove(&kActionSection);
	sSectionAdded = false;
	sStarted = false;
}

void NetPipe::wake()
{
	std::lock_guard<std::mutex> guard(sWakeLock);
	sWakeFlag = true;
	sWakeCond.notify_all();
}

void NetPipe::queueChanged()
{
	Notify::Send(NotifyList::NetQueueChange());
}

void NetPipe::activityProc(void*, const ActivityInfo& info)
{
	CritSectLock lock(sLock);
	sActivity = info;
}

void NetPipe::ActivityGet(ActivityInfo& out)
{
	CritSectLock lock(sLock);
	out = sActivity;
}

void NetPipe::ResultsTake(std::vector<NetResult>& out)
{
	CritSectLock lock(sLock);
	out.swap(sResults);
	sResults.clear();
}

bool NetPipe::Busy()
{
	CritSectLock lock(sLock);
	return !sQueue.empty() || sWorking;
}

void NetPipe::ErrorAlertText(TString& out)
{
	if (!Language::String("NetworkErrorAlert", out, false))
		out = kActionRows[9].english;
}

// ---- enqueueing

void NetPipe::rqstPut(const NetRequest& request)
{
	if (request.account.Empty())
		return;
	{
		CritSectLock lock(sLock);
		sQueue.push_back(request);
		sProgressTotal += request.Units();
	}
	wake();
}

void NetPipe::groupPut(NetRequestType type, const TString& account, const TString& group)
{
	if (account.Empty())
		return;
	if (type == NetRqstDnldGroup || type == NetRqstDnldBodiesAll || type == NetRqstDnldBodiesMarked) {
		GroupData data;
		data.GroupGet(account, group);
		bool fits = type == NetRqstDnldGroup ? data.downloadType != GroupData::TypeNone
											 : data.downloadType == GroupData::TypeHeaders;
		if (!fits)
			return;
	}
	NetRequest r;
	r.type = type;
	r.account = account;
	r.group = group;
	rqstPut(r);
}

void NetPipe::accountPut(NetRequestType type, const TString& account)
{
	std::vector<TString> groups;
	groupsOf(account, groups);
	for (const TString& group : groups)
		groupPut(type, account, group);
}

void NetPipe::allPut(NetRequestType type)
{
	std::vector<TString> names;
	accounts(names);
	for (const TString& account : names)
		accountPut(type, account);
}

void NetPipe::CatchupGroup(const TString& account, const TString& group)
{
	groupPut(NetRqstCatchupGroup, account, group);
	queueChanged();
}

void NetPipe::CatchupAccount(const TString& account)
{
	accountPut(NetRqstCatchupGroup, account);
	queueChanged();
}

void NetPipe::CatchupAll()
{
	allPut(NetRqstCatchupGroup);
	queueChanged();
}

void NetPipe::DnldGroup(const TString& account, const TString& group)
{
	groupPut(NetRqstDnldGroup, account, group);
	queueChanged();
}

void NetPipe::DnldAccount(const TString& account)
{
	accountPut(NetRqstDnldGroup, account);
	queueChanged();
}

void NetPipe::DnldAll()
{
	allPut(NetRqstDnldGroup);
	queueChanged();
}

void NetPipe::DnldBodies(const TString& account, const TString& group)
{
	groupPut(NetRqstDnldBodiesAll, account, group);
	queueChanged();
}

void NetPipe::DnldBodies(const TString& account)
{
	accountPut(NetRqstDnldBodiesAll, account);
	queueChanged();
}

void NetPipe::DnldBodies()
{
	allPut(NetRqstDnldBodiesAll);
	queueChanged();
}

void NetPipe::DnldBodiesMarked(const TString& account, const TString& group)
{
	groupPut(NetRqstDnldBodiesMarked, account, group);
	queueChanged();
}

void NetPipe::DnldBodiesMarked(const TString& account)
{
	accountPut(NetRqstDnldBodiesMarked, account);
	queueChanged();
}

void NetPipe::DnldBodiesMarked()
{
	allPut(NetRqstDnldBodiesMarked);
	queueChanged();
}

void NetPipe::DnldBody(const TString& account, const TString& group, const TString& path)
{
	NetRequest r;
	r.type = NetRqstDnldBody;
	r.account = account;
	r.group = group;
	r.path = path;
	rqstPut(r);
	queueChanged();
}

void NetPipe::DnldGroupList(const TString& account)
{
	NetRequest r;
	r.type = NetRqstDnldGroupList;
	r.account = account;
	rqstPut(r);
	queueChanged();
}

bool NetPipe::OutboxHas(const TString& account)
{
	if (account.Empty())
		return false;
	TString outbox;
	StoragePath::PathOutbox(outbox);
	DirIter dir;
	if (dir.Open(outbox) != ErrOkay)
		return false;
	bool found = false;
	DEntry entry;
	while (!found && dir.Next(entry) == ErrOkay) {
		if (!entry.IsFile() || !HeaderUtil::IsMessageFilename(entry.Leaf()))
			continue;
		MessageHead head;
		if (head.HeaderRead(entry, kHeadLockWait) != ErrOkay)
			break;
		TString raw, name;
		head.HeaderGet(kHeaderQuillfernAccount, raw);
		HeaderUtil::Decode(name, raw);
		found = name.CompareNoCase(account) == 0;
	}
	dir.Close();
	return found;
}

bool NetPipe::UpldAccount(const TString& account)
{
	if (!OutboxHas(account))
		return false;
	NetRequest r;
	r.type = NetRqstUpload;
	r.account = account;
	rqstPut(r);
	queueChanged();
	return true;
}

bool NetPipe::UpldAll()
{
	std::vector<TString> names;
	accounts(names);
	bool queued = false;
	for (const TString& account : names) {
		if (!OutboxHas(account))
			continue;
		NetRequest r;
		r.type = NetRqstUpload;
		r.account = account;
		rqstPut(r);
		queued = true;
	}
	if (queued)
		queueChanged();
	return queued;
}

void NetPipe::TransferAll()
{
	std::vector<TString> names;
	accounts(names);
	for (const TString& account : names) {
		if (OutboxHas(account)) {
			NetRequest r;
			r.type = NetRqstUpload;
			r.account = account;
			rqstPut(r);
		}
		accountPut(NetRqstDnldGroup, account);
	}
	queueChanged();
}

// ---- queue editing

void NetPipe::QueueGet(std::deque<NetRequest>& out)
{
	CritSectLock lock(sLock);
	out = sQueue;
}

void NetPipe::QueueDel(long index)
{
	bool removed = false;
	{
		CritSectLock lock(sLock);
		if (index == 0 && !sQueue.empty()) {
			if (sAcct)
				sAcct->Abort();
		} else if (index > 0 && index < long(sQueue.size())) {
			sProgressDone += sQueue[size_t(index)].Units();
			sQueue.erase(sQueue.begin() + index);
			removed = true;
		}
	}
	if (removed)
		queueChanged();
}

void NetPipe::QueueDelAll()
{
	bool changed = false;
	{
		CritSectLock lock(sLock);
		changed = !sQueue.empty();
		sQueue.clear();
		sProgressDone = sProgressTotal;
		if (sAcct)
			sAcct->Abort();
	}
	wake();
	if (changed)
		queueChanged();
}

namespace {

// The running head goes behind the second request: a copy is queued after it and the head is
// cancelled, so the second runs next and then the copy.
void swapWithTop()
{
	sQueue.insert(sQueue.begin() + 2, sQueue.front());
	sProgressTotal += sQueue.front().Units();
	if (sAcct)
		sAcct->Abort();
}

}  // namespace

void NetPipe::QueueMoveUp(long index)
{
	{
		CritSectLock lock(sLock);
		long count = long(sQueue.size());
		if (count >= 2 && index == 1)
			swapWithTop();
		else if (count >= 3 && index >= 2 && index < count)
			std::swap(sQueue[size_t(index)], sQueue[size_t(index - 1)]);
	}
	queueChanged();
}

void NetPipe::QueueMoveDn(long index)
{
	{
		CritSectLock lock(sLock);
		long count = long(sQueue.size());
		if (count >= 2 && index == 0)
			swapWithTop();
		else if (count >= 3 && index >= 1 && index < count - 1)
			std::swap(sQueue[size_t(index)], sQueue[size_t(index + 1)]);
	}
	queueChanged();
}

void NetPipe::ProgressData(ProgressBarData& out)
{
	CritSectLock lock(sLock);
	out.total = sProgressTotal;
	out.done = sProgressDone;
	out.headUnits = sQueue.empty() ? 0 : sQueue.front().Units();
	if (out.total <= 0)
		out.total = out.done = 100;
}

// ---- the network thread

unsigned long NetPipe::threadProc(void*)
{
	cycle();
	return ThreadMngr::ProcAgain;
}

bool NetPipe::cycle()
{
	NetRequest request;
	{
		CritSectLock lock(sLock);
		if (!sQueue.empty()) {
			request = sQueue.front();
			sAcct->AbortClear();
		}
	}
	if (request.type == NetRqstNone) {
		std::unique_lock<std::mutex> guard(sWakeLock);
		sWakeCond.wait_for(guard, std::chrono::microseconds(kIdleWait), [] { return sWakeFlag; });
		sWakeFlag = false;
		return false;
	}

	bool start = false;
	{
		CritSectLock lock(sLock);
		if (!sWorking) {
			sWorking = true;
			sErrorCount = 0;
			start = true;
		}
	}
	if (start)
		Notify::Send(NotifyList::NetTransferStart());

	Error err = ErrOkay;
	ConnectType kind = request.Connection();
	if (!(sAcct->IsConnected() && sConnAccount == request.account && sConnKind == kind)) {
		err = sAcct->Connect(request.account, kind);
		if (err == ErrOkay) {
			sConnAccount = request.account;
			sConnKind = kind;
		}
	}
	if (err == ErrOkay)
		err = sAcct->Aborted() ? ErrGmCancelled : sAcct->Run(request);
	bool success = thrdError(err, request);
	thrdActnStop(success, request);
	return true;
}

bool NetPipe::thrdError(Error err, const NetRequest& request)
{
	NetResult result;
	result.request = request;
	result.error = err;
	result.count = sAcct->Count();
	result.refused = sAcct->Refused();
	bool success = true;
	if (err == ErrGmCancelled) {
		sAcct->Disconnect();
		sConnAccount.Erase();
		sConnKind = ConnectNone;
	} else if (err != ErrOkay) {
		sAcct->LastError(result.text, err);
		Notify::Send(NotifyList::NetError(), result.text);
		sAcct->Disconnect();
		sConnAccount.Erase();
		sConnKind = ConnectNone;
		success = false;
	}
	CritSectLock lock(sLock);
	if (!success)
		sErrorCount++;
	sResults.push_back(result);
	return success;
}

void NetPipe::thrdActnStop(bool success, const NetRequest& request)
{
	bool empty = false;
	int errors = 0;
	{
		CritSectLock lock(sLock);
		if (!ThreadMngr::Running()) {
			for (const NetRequest& r : sQueue)
				sProgressDone += r.Units();
			sQueue.clear();
		} else if (success) {
			// The head may have been removed meanwhile (everything deleted): only a head that is
			// still this request goes.
			if (!sQueue.empty() && sQueue.front() == request) {
				sProgressDone += sQueue.front().Units();
				sQueue.pop_front();
			}
		} else {
			for (auto it = sQueue.begin(); it != sQueue.end();) {
				if (it->account == request.account) {
					sProgressDone += it->Units();
					it = sQueue.erase(it);
				} else {
					++it;
				}
			}
		}
		empty = sQueue.empty();
		errors = sErrorCount;
	}
	Notify::Send(NotifyList::NetActionComplete());
	queueChanged();
	if (!empty)
		return;
	sAcct->Disconnect();
	sConnAccount.Erase();
	sConnKind = ConnectNone;
	Notify::Send(NotifyList::NetTransferStop());
	if (errors > 0) {
		TString text;
		ErrorAlertText(text);
		GuiAlert::Text(text);
	}
	CritSectLock lock(sLock);
	sWorking = false;
	sErrorCount = 0;
	sProgressDone = sProgressTotal = 0;
	sActivity = ActivityInfo();
}
