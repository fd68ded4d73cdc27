#include "DecodeThread.h"

#include <cstdio>
#include <string>

#include <unistd.h>

#include "CritSect.h"
#include "CritSectLock.h"
#include "FileMngr.h"
#include "GuiDiskOp.h"
#include "MessageBody.h"
#include "MessageStore.h"
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

CritSect sLock;  // the running flag beside the queue
ThreadHandle sHandle = Thread::HandleNone;

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

void DecodeThread::RequestPut(const MesgRequest& request)
{
	MessageStore::DecodeQueue().RequestPut(request);
}

void DecodeThread::Cancel()
{
	CritSectLock lock(sLock);
	// Only a decode in progress is aborted: a flag left set with nothing running would
	// cancel the next request at once.
	sAbort = sRunning.load();
	MessageStore::DecodeQueue().Clear();
}

bool DecodeThread::Busy()
{
	CritSectLock lock(sLock);
	return !MessageStore::DecodeQueue().Empty() || sRunning;
}

bool DecodeThread::RunOne()
{
	MesgRequest request;
	{
		CritSectLock lock(sLock);
		if (!MessageStore::DecodeQueue().RequestGet(request))
			return false;
		sRunning = true;
	}
	// Requests of any other kind are not this thread's.
	if (request.type != MreqMesgDecode) {
		CritSectLock lock(sLock);
		sRunning = false;
		return true;
	}
	const TString& destination = request.file;
	const std::vector<TString>& paths = request.fileList;
	bool openAfter = request.flag;
	TString root, leaf;
	PathMngr::SplitRootLeaf(destination.String(), root, leaf);
	Notify::Send(NotifyList::DecodeStart(), leaf);

	// Unless the file is opened at once, it is decoded in the temporary folder and moved into
	// place only when complete, so a failure leaves the destination as it was.
	TString out = destination;
	if (!openAfter) {
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
			out = destination;
	}
	MessageBody body;
	auto cancelled = [](void* context, const MessageBody::ProgressData& data) {
		return !sAbort && progress(context, data);
	};
	Error err = ErrOkay;
	if (paths.empty())
		err = ErrFileInvalidData;
	else if (paths.size() == 1)
		err = body.Decode(paths[0], request.count, out, cancelled, nullptr);
	else
		err = body.Decode(paths, out, cancelled, nullptr);
	if (err == ErrOkay && out != destination) {
		if (FileMngr::Exists(destination) == ErrOkay)
			err = FileMngr::Remove(destination);
		if (err == ErrOkay)
			err = FileMngr::Move(out, destination);
		if (err != ErrOkay)
			FileMngr::Remove(out);
	}
	if (err != ErrOkay && err != ErrGmCancelled)
		GuiDiskOp::AlertFile(destination, GuiDiskOp::kOpDecode, err);
	bool opened = err == ErrOkay && openAfter;
	if (opened)
		FileMngr::OpenDefault(destination);
	sLastError = err;

	CritSectLock lock(sLock);
	sRunning = false;
	if (MessageStore::DecodeQueue().Empty()) {
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
