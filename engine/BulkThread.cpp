#include "BulkThread.h"

#include <atomic>
#include <vector>

#include "Cache.h"
#include "CritSectLock.h"
#include "DirIter.h"
#include "FileMngr.h"
#include "HeaderUtil.h"
#include "HeadersNode.h"
#include "LangSection.h"
#include "Language.h"
#include "MesgThread.h"
#include "MessageBody.h"
#include "MessageStore.h"
#include "Notify.h"
#include "NotifyList.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "Thread.h"
#include "ThreadMngr.h"
#include "TimeCore.h"

bool BulkThread::sStarted = false;
CritSect BulkThread::sPendingLock;
std::set<std::string> BulkThread::sPending;
DisplayWait BulkThread::sWait;

namespace {

std::atomic<int> sWorking{0};

const LangData kRows[] = {
	{"BulkCount", "%ld", "Counting %1 %1p?message:messages ..."},
	{"BulkDelete", "%ld", "Deleting %1 %1p?message:messages ..."},
	{"BulkMark", "%ld", "Marking %1 %1p?message:messages ..."},
	{"BulkParse", "%ld", "Parsing %1 %1p?message:messages ..."},
	{"BulkReindex", "%ld", "Reindexing %1 %1p?message:messages ..."},
	{"BulkUnread", "%ld", "Setting unread state for %1 %1p?message:messages ..."},
	{nullptr, nullptr, nullptr},
};

const LangSection kSection = {"Background thread bulk operation strings", LangSectionBulk, kRows};

// How long a re-parse keeps the cache before it lets other work at it for a moment.
constexpr long long kHoldMax = 500000;
constexpr long long kYield = 50000;

TString joinPath(const TString& mdir, const TString& leaf)
{
	TString path(mdir);
	PathMngr::Append(path, leaf);
	return path;
}

// The extension of message files from older versions, re-parsed into message files.
bool legacyMessageFile(const DEntry& entry)
{
	TString name, ext;
	return PathMngr::SplitLeafExt(entry.Leaf(), name, ext) && ext.CompareNoCase("qmf") == 0;
}

TString withLine(const TString& mdir, long value)
{
	TString text;
	text.Fmt("%s\n%ld", mdir.String(), value);
	return text;
}

}  // namespace

bool BulkThread::Start()
{
	Language::SectionAdd(&kSection);
	MessageStore::BulkQueue().Clear();
	MessageStore::BulkQueue().AbortSet(false);
	{
		CritSectLock lock(sPendingLock);
		sPending.clear();
	}
	if (ThreadMngr::Spawn(Proc, "BulkThread", nullptr, 20000, ThreadPriorityNormal) == Thread::HandleNone)
		return false;
	sStarted = true;
	return true;
}

void BulkThread::Stop()
{
	sStarted = false;
}

bool BulkThread::Busy()
{
	return sWorking > 0 || !MessageStore::BulkQueue().Empty();
}

void BulkThread::RequestPut(const MesgRequest& request)
{
	if (request.type == MreqMdirReindex) {
		{
			CritSectLock lock(sPendingLock);
			if (!sPending.insert(request.mdir.String()).second)
				return;
		}
		MesgRequest fresh(request);
		fresh.tries = 0;
		MessageStore::BulkQueue().RequestPut(fresh);
		return;
	}
	MessageStore::BulkQueue().RequestPut(request);
}

bool BulkThread::ReindexPending(const TString& mdir)
{
	CritSectLock lock(sPendingLock);
	return sPending.count(mdir.String()) > 0;
}

void BulkThread::pendingDrop(const TString& mdir)
{
	CritSectLock lock(sPendingLock);
	sPending.erase(mdir.String());
}

unsigned long BulkThread::Proc(void*)
{
	++sWorking;
	bool ran = Run();
	--sWorking;
	if (!ran)
		Thread::Sleep(50000);
	return ThreadMngr::ProcAgain;
}

bool BulkThread::Run()
{
	MesgRequest request;
	if (!MessageStore::BulkQueue().RequestGet(request))
		return false;
	Error e = Perform(request);
	if (e != ErrGmBusy && e != ErrGmCancelled)
		request.ErrorLog(e, "Bulk thread");
	return true;
}

Error BulkThread::Perform(MesgRequest& request)
{
	switch (request.type) {
	case MreqMdirDelete: return mdirDelete(request);
	case MreqMdirMarkChange:
	case MreqMdirReadChange: return mdirStateChange(request);
	case MreqMdirReindex: return mdirReindex(request);
	case MreqMdirReparse: return mdirReparse(request);
	default: return ErrOkay;
	}
}

bool BulkThread::running()
{
	return MessageStore::BulkQueue().Running();
}

void BulkThread::sendMdirUpdate(const TString& mdir, long count, const char* key)
{
	// A count held back by the throttle is shown before the status is cleared, so that the
	// last text of a step gives its final count.
	static long sHeldCount = 0;
	static const char* sHeldKey = nullptr;
	if (count > 0 && key && !sWait.DisplayNow(count)) {
		sHeldCount = count;
		sHeldKey = key;
		return;
	}
	if ((count <= 0 || !key) && sHeldKey) {
		TString text, held(mdir);
		Language::String(sHeldKey, text, false, sHeldCount);
		held += "\n";
		held += text;
		Notify::Send(NotifyList::MdirUpdate(), held);
	}
	sHeldKey = nullptr;
	TString payload(mdir);
	payload += "\n";
	if (count > 0 && key) {
		TString text;
		Language::String(key, text, false, count);
		payload += text;
	}
	Notify::Send(NotifyList::MdirUpdate(), payload);
}

// Opens the mdir's cache; a cache that is locked, missing or refused puts the request back
// (a missing or refused one has its rebuild queued first) and gives ErrGmBusy.
Error BulkThread::openOrRetry(Database& db, const MesgRequest& request)
{
	Error e = Cache::DataOpen(db, request.mdir);
	if (Cache::MreqRetry(e)) {
		MessageStore::BulkQueue().RequestPut(request);
		return ErrGmBusy;
	}
	return e;
}

// Kind 11. The cache is emptied before the files go: a crash between the two leaves a store
// marked as changed, which the next open refuses and rebuilds from the files that remain.
Error BulkThread::mdirDelete(MesgRequest& r)
{
	Database db;
	Error e = openOrRetry(db, r);
	if (e != ErrOkay)
		return e;
	e = db.Initialize();
	long count = 0;
	bool deleted = true;
	while (e == ErrOkay && deleted) {
		deleted = false;
		DirIter iter;
		e = iter.Open(r.mdir);
		DEntry entry;
		while (e == ErrOkay && (e = iter.Next(entry)) == ErrOkay) {
			if (!running()) {
				e = ErrGmCancelled;
				break;
			}
			if (!entry.IsFile() || !HeaderUtil::IsMessageFile(entry))
				continue;
			TString path;
			e = entry.PathGet(path);
			if (e == ErrOkay)
				e = FileMngr::Remove(path);
			if (e == ErrFileNotFound)
				e = ErrOkay;  // another process was quicker
			else if (e == ErrOkay) {
				deleted = true;
				sendMdirUpdate(r.mdir, ++count, "BulkDelete");
			}
		}
		if (e == ErrDirEnd)
			e = ErrOkay;
		iter.Close();
	}
	if (e == ErrOkay)
		Notify::Send(NotifyList::MdirUnread(), withLine(r.mdir, 0));
	sendMdirUpdate(r.mdir, 0, nullptr);
	Error c = Cache::DataClose(db);
	if (e == ErrOkay)
		e = c;
	if (e == ErrOkay)
		Notify::Send(NotifyList::MdirComplete(), r.mdir);
	return e;
}

// Kinds 12 (flag: marked for download) and 13 (flag: unread). Each record is replaced before
// its file is rewritten; the store is marked as changed from the first replace on, so a crash
// in the middle leaves it to be rebuilt from the files.
Error BulkThread::mdirStateChange(MesgRequest& r)
{
	bool mark = r.type == MreqMdirMarkChange;
	Database db;
	Error e = openOrRetry(db, r);
	if (e != ErrOkay)
		return e;
	long count = 0;
	e = db.Rewind();
	TString key, record;
	while (e == ErrOkay && (e = db.RecordNext(key, record)) == ErrOkay) {
		if (!running()) {
			e = ErrGmCancelled;
			break;
		}
		HeadersNodePtr node = HeadersNode::initWithMsgID(key, record);
		if (!node)
			continue;
		sendMdirUpdate(r.mdir, ++count, mark ? "BulkMark" : "BulkUnread");
		bool change =
			mark ? node->autoMarkChange() && node->markGet() != r.flag : node->unreadGet() != r.flag;
		if (!change)
			continue;
		TString leaf = node->fFilename.value_or(TString());
		if (leaf.Empty() || !PathMngr::ValidLeaf(leaf) || !HeaderUtil::IsMessageFile(leaf))
			continue;
		if (mark)
			node->markSet(r.flag);
		else
			node->unreadSet(r.flag);
		TString text;
		node->stringWrite(text);
		e = db.RecordReplace(key, text);
		if (e == ErrOkay)
			e = mark ? Cache::FileMarkChange(r.mdir, leaf, r.flag)
					 : Cache::FileReadChange(r.mdir, leaf, r.flag);
		if (e == ErrFileNotFound) {
			// The record outlived its file: it goes too, so that the cache and files agree.
			e = db.RecordDelete(key);
			--count;
		} else if (e != ErrOkay) {
			// The file stays as it was (locked, say): so does its record.
			db.RecordReplace(key, record);
		}
	}
	if (e == ErrFileEnd)
		e = ErrOkay;
	if (e == ErrOkay && !mark)
		Notify::Send(NotifyList::MdirUnread(), withLine(r.mdir, r.flag ? count : 0));
	sendMdirUpdate(r.mdir, 0, nullptr);
	Error c = Cache::DataClose(db);
	if (e == ErrOkay)
		e = c;
	if (e == ErrOkay)
		Notify::Send(NotifyList::MdirComplete(), r.mdir);
	return e;
}

// Kind 14. The cache is emptied and filled again under its lock, so that no other worker sees
// it half made; a rebuild that is cancelled or fails leaves no cache at all (the next open
// rebuilds it).
Error BulkThread::mdirReindex(MesgRequest& r)
{
	auto step = [](void* context, long added) {
		sendMdirUpdate(*static_cast<const TString*>(context), added, "BulkReindex");
		return running();
	};
	Error e = Cache::Rebuild(r.mdir, nullptr, step, &r.mdir);
	sendMdirUpdate(r.mdir, 0, nullptr);
	if (e == ErrOkay) {
		Notify::Send(NotifyList::MdirComplete(), r.mdir);
		pendingDrop(r.mdir);
		return ErrOkay;
	}
	if (e == ErrGmCancelled)
		return ErrOkay;
	if (e == ErrFileLocked) {
		// Still pending: it goes back as it is, past the set.
		MessageStore::BulkQueue().RequestPut(r);
		return ErrOkay;
	}
	return e;
}

// Kind 15. Every message file is parsed again and its record replaced at once, with the cache
// held (and let go twice a second so that other work gets its turn): the cache never lags
// behind the files, and a crash leaves it marked as changed and so rebuilt.
Error BulkThread::mdirReparse(MesgRequest& r)
{
	std::vector<TString> files;
	DirIter iter;
	Error e = iter.Open(r.mdir);
	DEntry entry;
	long seen = 0;
	while (e == ErrOkay && (e = iter.Next(entry)) == ErrOkay) {
		if (!running()) {
			e = ErrGmCancelled;
			break;
		}
		if (entry.Invisible())
			continue;
		sendMdirUpdate(r.mdir, ++seen, "BulkCount");
		if (entry.IsFile() && (HeaderUtil::IsMessageFile(entry) || legacyMessageFile(entry)))
			files.push_back(entry.Leaf());
	}
	if (e == ErrDirEnd)
		e = ErrOkay;
	iter.Close();
	sendMdirUpdate(r.mdir, 0, nullptr);
	if (e != ErrOkay)
		return e;

	Database db;
	e = openOrRetry(db, r);
	if (e != ErrOkay)
		return e;
	long long held = TimeCore::TickCount();
	for (size_t i = 0; e == ErrOkay && i < files.size(); ++i) {
		sendMdirUpdate(r.mdir, long(i + 1), "BulkParse");
		if (!running()) {
			e = ErrGmCancelled;
			break;
		}
		if (TimeCore::TickCount() - held > kHoldMax) {
			e = db.Close();
			Thread::Sleep(kYield);
			for (int tries = 0; e == ErrOkay && !db.IsOpen() && running(); ++tries) {
				e = Cache::DataOpen(db, r.mdir, true);
				if (e == ErrFileLocked)
					e = ErrOkay;
			}
			if (e == ErrOkay && !db.IsOpen())
				e = ErrGmCancelled;
			held = TimeCore::TickCount();
			if (e != ErrOkay)
				break;
		}
		TString path = joinPath(r.mdir, files[i]), msgid, record;
		MessageBody body;
		Error p = body.Parse(path, MesgThread::kCreator, r.charset, Cache::kLockWait);
		if (p == ErrFileNotFound)
			continue;  // deleted meanwhile
		bool unread;
		if (p == ErrOkay)
			p = Cache::MesgReplace(db, path, msgid, record, unread);
		// A file that cannot be parsed or recorded stays as it is, without a record, as a
		// reindex leaves it; anything else ends the run.
		if (p != ErrOkay && p != ErrFileInvalidData && p != ErrFileLineTooLong)
			e = p;
	}
	sendMdirUpdate(r.mdir, 0, nullptr);
	Error c = Cache::DataClose(db);
	if (e == ErrOkay)
		e = c;
	if (e == ErrOkay)
		Notify::Send(NotifyList::MdirComplete(), r.mdir);
	return e;
}
