#include "DecodeThread.h"

#include <cstdio>
#include <deque>
#include <string>

#include <unistd.h>

#include "CritSect.h"
#include "CritSectLock.h"
#include "FileMngr.h"
#include "GuiDiskOp.h"
#include "MessageBody.h"
#include "Notify.h"
#include "NotifyList.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "ThreadMngr.h"
#include "TimeCore.h"

bool DecodeThread::sStarted = false;
std::atomic<bool> DecodeThread::sAbort{false};
std::atomic<bool> DecodeThread::sRunning{false};
std::atomic<Error> DecodeThread::sLastError{ErrOkay};

namespace {

CritSect sLock;
ThreadHandle sHandle = Thread::HandleNone;
std::deque<DecodeThread::Request> sQueue;

constexpr long long kThreadInterval = 20000;
constexpr long long kIdleSleep = 500000;

bool progress(void* context, const MessageBody::ProgressData& data)
{
	(void)context;
	char text[128];
	std::snprintf(text, sizeof(text), "%lld\n%lld\n%ld\n%ld\n", data.written, data.expected,
		long(data.section), long(data.sections));
	Notify::Send(NotifyList::DecodeProgress(), TString(text));
	return true;
}

}  // namespace

bool DecodeThread::Start()
{
	sStarted = true;
	sAbort = false;
	if (sHandle == Thread::HandleNone)
		sHandle = ThreadMngr::Spawn(threadProc, nullptr, nullptr, kThreadInterval, ThreadPriorityNormal);
	return true;
}

void DecodeThread::Stop()
{
	sStarted = false;
	Cancel();
	if (sHandle != Thread::HandleNone)
		ThreadMngr::Kill(sHandle);
	sHandle = Thread::HandleNone;
}

void DecodeThread::RequestPut(const Request& request)
{
	CritSectLock lock(sLock);
	sQueue.push_back(request);
}

void DecodeThread::Cancel()
{
	CritSectLock lock(sLock);
	// Only a decode in progress is aborted: a flag left set with nothing running would
	// cancel the next request at once.
	sAbort = sRunning.load();
	sQueue.clear();
}

bool DecodeThread::Busy()
{
	CritSectLock lock(sLock);
	return !sQueue.empty() || sRunning;
}

bool DecodeThread::RunOne()
{
	Request request;
	{
		CritSectLock lock(sLock);
		if (sQueue.empty())
			return false;
		request = std::move(sQueue.front());
		sQueue.pop_front();
		sRunning = true;
	}
	TString root, leaf;
	PathMngr::SplitRootLeaf(request.destination.String(), root, leaf);
	Notify::Send(NotifyList::DecodeStart(), leaf);

	// Unless the file is opened at once, it is decoded in the temporary folder and moved into
	// place only when complete, so a failure leaves the destination as it was.
	TString out = request.destination;
	if (!request.openAfter) {
		// Without a temporary folder (no storage tree), a hidden name beside the destination.
		TString temp;
		StoragePath::PathTemp(temp);
		if (temp.Empty() || FileMngr::Exists(temp) != ErrOkay)
			temp = root;
		TString name(".decoding-");
		name.Append(std::to_string(getpid()).c_str());
		name.Append("-");
		name.Append(leaf);
		out = temp;
		if (out.Empty() || !PathMngr::Append(out, name))
			out = request.destination;
	}
	MessageBody body;
	auto cancelled = [](void* context, const MessageBody::ProgressData& data) {
		return !sAbort && progress(context, data);
	};
	Error err = ErrOkay;
	if (request.paths.empty())
		err = ErrFileInvalidData;
	else if (request.paths.size() == 1)
		err = body.Decode(request.paths[0], request.section, out, cancelled, nullptr);
	else
		err = body.Decode(request.paths, out, cancelled, nullptr);
	if (err == ErrOkay && out != request.destination) {
		if (FileMngr::Exists(request.destination) == ErrOkay)
			err = FileMngr::Remove(request.destination);
		if (err == ErrOkay)
			err = FileMngr::Move(out, request.destination);
		if (err != ErrOkay)
			FileMngr::Remove(out);
	}
	if (err != ErrOkay && err != ErrGmCancelled)
		GuiDiskOp::AlertFile(request.destination, GuiDiskOp::kOpDecode, err);
	bool opened = err == ErrOkay && request.openAfter;
	if (opened)
		FileMngr::OpenDefault(request.destination);
	sLastError = err;

	CritSectLock lock(sLock);
	sRunning = false;
	if (sQueue.empty()) {
		if (opened)
			TimeCore::Sleep(1000000);
		Notify::Send(NotifyList::DecodeStop(), TString());
		sAbort = false;
	}
	return true;
}

unsigned long DecodeThread::threadProc(void*)
{
	if (!RunOne())
		TimeCore::Sleep(kIdleSleep);
	return ThreadMngr::ProcAgain;
}
