#include "MdirReader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "Err.h"
#include "Language.h"
#include "Notify.h"
#include "NotifyList.h"
#include "Output.h"
#include "Thread.h"
#include "ThreadMngr.h"

bool MdirReader::sStarted = false;

namespace {

constexpr long long kIdleWait = 200000;  // microseconds an idle call waits for a read
constexpr long long kPause = 20000;  // microseconds between calls

struct Request {
	TString mdir;
	MdirReader::Target* target = nullptr;
	EFSortInfo sort;
	bool threaded = false;
	bool expanded = false;
	bool showRead = true;
	bool useKillfile = false;
};

struct Result {
	uint64_t serial = 0;
	Request request;
	Error error = ErrOkay;
	NodeList msgIds, display, attach;
	long unread = 0;
};

std::mutex sLock;
std::condition_variable sWake;
Request sNext;
bool sPending = false;
bool sRunning = false;
uint64_t sSerial = 0;  // of the read last asked for
std::deque<Result> sDone;  // finished reads waiting for the main thread
std::atomic<bool> sSpawned{false};  // set and cleared on the main thread only
std::atomic<bool> sObserving{false};

// The private event that carries finished reads over to the main thread.
const NotifyItem& handOver()
{
	static const NotifyItem item("QuillfernMdirReaderDone", false);
	return item;
}

bool newer(uint64_t serial)
{
	std::lock_guard<std::mutex> held(sLock);
	return serial != sSerial;
}

void status(const TString& mdir, const TString& text)
{
	TString payload(mdir);
	payload += '\n';
	payload += text;
	Notify::Send(NotifyList::MdirUpdate(), payload);
}

// Main thread: hands every finished read that is still the one last asked for to its target.
void deliver(void*, const TString&)
{
	for (;;) {
		Result r;
		{
			std::lock_guard<std::mutex> held(sLock);
			if (sDone.empty())
				return;
			r = std::move(sDone.front());
			sDone.pop_front();
			if (r.serial != sSerial || !r.request.target)
				continue;
		}
		if (r.error == ErrOkay)
			r.request.target->MdirRead(
				r.request.mdir, r.msgIds, r.display, r.attach, r.unread, r.request.expanded);
		else
			r.request.target->MdirReadFailed(r.request.mdir, r.error);
	}
}

void finish(Result&& r)
{
	{
		std::lock_guard<std::mutex> held(sLock);
		if (r.serial != sSerial || !sObserving)
			return;
		sDone.push_back(std::move(r));
	}
	Notify::Send(handOver());
}

void run(const Request& request, uint64_t serial)
{
	if (request.mdir.Empty())
		return;
	auto proceed = [serial] { return ThreadMngr::Running() && !newer(serial); };
	Result r;
	r.serial = serial;
	r.request = request;
	r.error = MessageList::ReadMdir(
		request.mdir, r.msgIds, r.attach, request.showRead, request.useKillfile, r.unread, proceed);
	if (r.error == ErrOkay) {
		TString text;
		Language::String("ThreadAndSort", text, false);
		status(request.mdir, text);
		r.display = MessageList::ThreadAndSort(r.msgIds, r.attach, request.sort, request.threaded);
	}
	status(request.mdir, TString());
	if (r.error != ErrOkay && r.error != ErrGmCancelled && r.error != ErrFileNotFound) {
		TString text;
		Err::Str(text, r.error);
		Output::MsgFmt(
			"Could not read message directory\nError: %s\nPath: %s", text.String(), request.mdir.String());
	}
	if (r.error == ErrGmCancelled || !proceed())
		return;
	if (r.error != ErrOkay) {
		r.msgIds.clear();
		r.attach.clear();
	}
	finish(std::move(r));
}

}  // namespace

bool MdirReader::Start()
{
	std::lock_guard<std::mutex> held(sLock);
	sNext = Request();
	sPending = false;
	sDone.clear();
	sStarted = true;
	return true;
}

void MdirReader::Stop()
{
	if (sObserving)
		Notify::Unregister(handOver(), deliver, nullptr);
	std::deque<Result> dropped;
	{
		std::lock_guard<std::mutex> held(sLock);
		sStarted = false;
		sObserving = false;
		sSpawned = false;
		sPending = false;
		sNext = Request();
		++sSerial;
		dropped.swap(sDone);
	}
	sWake.notify_all();
}

void MdirReader::Read(const TString& mdir, Target* target, const EFSortInfo& sortInfo, bool threaded,
	bool expanded, bool showRead, bool useKillfile)
{
	if (!sStarted)
		return;
	// The first read, on the main thread once everything has started, sets up the thread and
	// the hand-over.
	if (!sObserving && Notify::Started()) {
		Notify::Register(handOver(), deliver, nullptr);
		sObserving = true;
	}
	if (!sSpawned) {
		sSpawned = ThreadMngr::Spawn(Proc, "MdirReader", nullptr, kPause, ThreadPriorityNormal) !=
			Thread::HandleNone;
	}
	{
		std::lock_guard<std::mutex> held(sLock);
		sNext.mdir = mdir;
		sNext.target = target;
		sNext.sort = sortInfo;
		sNext.threaded = threaded;
		sNext.expanded = expanded;
		sNext.showRead = showRead;
		sNext.useKillfile = useKillfile;
		sPending = true;
		++sSerial;
	}
	sWake.notify_all();
}

bool MdirReader::Busy()
{
	std::lock_guard<std::mutex> held(sLock);
	return sSpawned && (sPending || sRunning || !sDone.empty());
}

unsigned long MdirReader::Proc(void*)
{
	Request request;
	uint64_t serial = 0;
	{
		std::unique_lock<std::mutex> held(sLock);
		if (!sPending) {
			// Idle: wait for a read (woken at once when one is asked for).
			sWake.wait_for(held, std::chrono::microseconds(kIdleWait), [] { return sPending || !sStarted; });
			if (!sPending)
				return ThreadMngr::ProcAgain;
		}
		request = sNext;
		serial = sSerial;
		sPending = false;
		sRunning = true;
	}
	run(request, serial);
	{
		std::lock_guard<std::mutex> held(sLock);
		sRunning = false;
	}
	return ThreadMngr::ProcAgain;
}
