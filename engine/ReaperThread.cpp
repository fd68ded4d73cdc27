#include "ReaperThread.h"

#include <atomic>

#include "AcctMngr.h"
#include "DirIter.h"
#include "DirMngr.h"
#include "Err.h"
#include "FileMngr.h"
#include "GroupData.h"
#include "HeaderUtil.h"
#include "MessageStore.h"
#include "Output.h"
#include "StoragePath.h"
#include "Thread.h"
#include "ThreadMngr.h"
#include "TimeCore.h"

bool ReaperThread::sStarted = false;

namespace {

std::atomic<bool> sAbort{false};
std::atomic<long long> sNextPass{0};
// Set while a pass runs, so that a pass asked for now waits for the background one.
std::atomic<bool> sInPass{false};

// The newsgroup's effective expiry age, from its settings (group, account, global, default).
long long groupExpireAge(const TString& account, const TString& group)
{
	GroupData data;
	data.GroupGet(account, group);
	return data.expire;
}

std::atomic<ReaperThread::ExpireProc> sExpireProc{groupExpireAge};

// A deletion that finds its item gone lost a race with another process: nothing is wrong.
Error gone(Error e)
{
	return e == ErrFileNotFound || e == ErrDirNotFound ? ErrOkay : e;
}

}  // namespace

bool ReaperThread::Start()
{
	sAbort = false;
	sNextPass = TimeCore::TickCount() + kFirstPass;
	if (ThreadMngr::Spawn(Proc, "ReaperThread", nullptr, 20000, ThreadPriorityNormal) == Thread::HandleNone)
		return false;
	sStarted = true;
	return true;
}

void ReaperThread::Stop()
{
	sStarted = false;
	sAbort = true;
}

void ReaperThread::Abort()
{
	sAbort = true;
}

bool ReaperThread::AbortGet()
{
	return sAbort;
}

void ReaperThread::ExpireProcSet(ExpireProc proc)
{
	sExpireProc = proc ? proc : groupExpireAge;
}

long long ReaperThread::NextPassGet()
{
	return sNextPass;
}

void ReaperThread::NextPassSet(long long tick)
{
	sNextPass = tick;
}

unsigned long ReaperThread::Proc(void*)
{
	if (TimeCore::TickCount() < sNextPass || !sStarted) {
		Thread::Sleep(kItemPause);
		return ThreadMngr::ProcAgain;
	}
	bool expected = false;
	if (sInPass.compare_exchange_strong(expected, true)) {
		if (!sAbort) {
			Report report;
			passRun(true, report);
		}
		sInPass = false;
	}
	sAbort = false;
	sNextPass = TimeCore::TickCount() + kInterval;
	return ThreadMngr::ProcAgain;
}

// The cancel test: false once the threads stop or an abort was asked for; a paced pass
// pauses here before each item.
bool ReaperThread::proceed(void* context)
{
	bool paced = context != nullptr;
	if (!ThreadMngr::Running() || (paced && sAbort))
		return false;
	if (paced)
		Thread::Sleep(kStepPause);
	return true;
}

Error ReaperThread::Pass(bool paced, Report* report)
{
	Report own;
	Report& out = report ? *report : own;
	out = Report();
	// A background pass in progress stops first and this one runs in its place; the
	// background then waits its usual interval.
	bool expected = false;
	while (!sInPass.compare_exchange_strong(expected, true)) {
		expected = false;
		sAbort = true;
		Thread::Sleep(20000);
	}
	sAbort = false;
	Error e = passRun(paced, out);
	sNextPass = TimeCore::TickCount() + kInterval;
	sInPass = false;
	return e;
}

Error ReaperThread::passRun(bool paced, Report& report)
{
	Error e = trashEmpty(paced, report);
	if (e == ErrOkay)
		e = tempClean(paced, report);
	if (e == ErrOkay)
		e = groupsExpire(paced, report);
	return e;
}

void ReaperThread::logError(const char* op, const TString& path, Error error)
{
	if (error == ErrOkay || error == ErrGmCancelled)
		return;
	TString text;
	Err::Str(text, error);
	Output::MsgFmt(
		"Reaper thread operation '%s' failed\nError: %s\nPath: %s", op, text.String(), path.String());
}

// Everything inside the local trash goes; the folder itself stays.
Error ReaperThread::trashEmpty(bool paced, Report& report)
{
	TString trash;
	StoragePath::PathTrash(trash);
	void* context = paced ? &report : nullptr;
	DirIter iter;
	Error e = gone(iter.Open(trash));
	DEntry entry;
	while (e == ErrOkay && iter.IsOpen() && (e = iter.Next(entry)) == ErrOkay) {
		if (!proceed(context)) {
			e = ErrGmCancelled;
			break;
		}
		TString path;
		e = entry.PathGet(path);
		if (e == ErrOkay && entry.IsDirectory())
			e = gone(DirMngr::Obliterate(path, true, proceed, context));
		else if (e == ErrOkay) {
			FileMngr::PermUpdate(path, FileAccess(FileAccessRead | FileAccessWrite));
			e = gone(FileMngr::Remove(path));
		}
		if (e == ErrOkay)
			++report.trashItems;
	}
	if (e == ErrDirEnd)
		e = ErrOkay;
	iter.Close();
	logError("delete trash", trash, e);
	return e;
}

// Visible entries of the scratch folder not modified for eight hours go, one at a time.
Error ReaperThread::tempClean(bool paced, Report& report)
{
	TString temp;
	StoragePath::PathTemp(temp);
	void* context = paced ? &report : nullptr;
	long long before = TimeCore::TimeGet() - kTempAge;
	DirIter iter;
	Error e = gone(iter.Open(temp));
	DEntry entry;
	while (e == ErrOkay && iter.IsOpen() && (e = iter.Next(entry)) == ErrOkay) {
		if (entry.Invisible() || entry.Time() > before)
			continue;
		TString path;
		e = entry.PathGet(path);
		if (e == ErrOkay && entry.IsDirectory())
			e = gone(DirMngr::Obliterate(path, true, proceed, context));
		else if (e == ErrOkay) {
			FileMngr::PermUpdate(path, FileAccess(FileAccessRead | FileAccessWrite));
			e = gone(FileMngr::Remove(path));
		}
		if (e != ErrOkay)
			break;
		++report.tempItems;
		if (paced)
			Thread::Sleep(kItemPause);
		if (!proceed(context))
			e = ErrGmCancelled;
	}
	if (e == ErrDirEnd)
		e = ErrOkay;
	iter.Close();
	logError("delete temp files", temp, e);
	return e;
}

Error ReaperThread::groupsExpire(bool paced, Report& report)
{
	std::vector<TString> accounts;
	AcctMngr::AccountList(accounts);
	bool forward = TimeCore::Random(2) == 1;
	Error e = ErrOkay;
	for (size_t i = 0; e == ErrOkay && i < accounts.size(); ++i) {
		const TString& account = accounts[forward ? i : accounts.size() - 1 - i];
		AcctMngr::GroupSet groups;
		if (!AcctMngr::GroupListGet(account, groups))
			continue;
		std::vector<TString> names(groups.begin(), groups.end());
		bool groupsForward = TimeCore::Random(2) == 1;
		for (size_t g = 0; e == ErrOkay && g < names.size(); ++g)
			e = groupExpire(account, names[groupsForward ? g : names.size() - 1 - g], paced, report);
	}
	return e;
}

// Queues the deletion of every message file of the newsgroup not modified within its expiry
// age. The deletion checks the age again when it runs, so that a message fetched anew in the
// meantime (the same file, rewritten) stays.
Error ReaperThread::groupExpire(const TString& account, const TString& group, bool paced, Report& report)
{
	long long age = sExpireProc.load()(account, group);
	if (age <= 0)
		return ErrOkay;
	TString mdir;
	StoragePath::PathGroup(account, group, mdir);
	void* context = paced ? &report : nullptr;
	long long before = TimeCore::TimeGet() - age;
	DirIter iter;
	Error e = gone(iter.Open(mdir));
	DEntry entry;
	while (e == ErrOkay && iter.IsOpen() && (e = iter.Next(entry)) == ErrOkay) {
		if (!proceed(context)) {
			e = ErrGmCancelled;
			break;
		}
		if (!entry.IsFile() || !HeaderUtil::IsMessageFile(entry) || entry.Time() > before)
			continue;
		MessageStore::MesgExpire(mdir, entry.Leaf(), before);
		report.expired.push_back({account, group, mdir, entry.Leaf()});
		if (paced)
			Thread::Sleep(kItemPause);
	}
	if (e == ErrDirEnd)
		e = ErrOkay;
	iter.Close();
	logError("expire newsgroup", mdir, e);
	return e;
}
