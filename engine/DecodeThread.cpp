#include "DecodeThread.h"

#include <cstdio>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "CritSect.h"
#include "CritSectLock.h"
#include "DiskFile.h"
#include "FileBase.h"
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

CritSect sLock;  // the running flag beside the queue, and the outcomes
ThreadHandle sHandle = Thread::HandleNone;
bool sKeep = false;
std::vector<DecodeThread::Outcome> sOutcomes;

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

// Whether two paths lie on the same file system, so that a move between them is a rename.
bool sameDevice(const TString& a, const TString& b)
{
	struct stat sa, sb;
	return FileBase::Stat(a, &sa, true) == ErrOkay && FileBase::Stat(b, &sb, true) == ErrOkay &&
		sa.st_dev == sb.st_dev;
}

// Decodes into a new file at path, created afresh (never an existing file or a link); the file
// is removed again on any error.
Error decodeInto(
	MessageBody& body, const MesgRequest& request, const TString& path, MessageBody::ProgressProc proc)
{
	DiskFile out;
	Error err = out.CreateNew(path, DiskFile::kLockWaitDefault);
	if (err != ErrOkay)
		return err;
	const std::vector<TString>& paths = request.fileList;
	if (paths.size() == 1)
		err = body.Decode(paths[0], request.count, out, proc, nullptr);
	else
		err = body.Decode(paths, out, proc, nullptr);
	if (err == ErrOkay)
		err = out.Close();
	if (err != ErrOkay) {
		if (out.IsOpen())
			out.Remove();
		else
			FileMngr::Remove(path);
	}
	return err;
}

}  // namespace

void DecodeThread::OutcomesKeep(bool keep)
{
	CritSectLock lock(sLock);
	sKeep = keep;
	if (!keep)
		sOutcomes.clear();
}

std::vector<DecodeThread::Outcome> DecodeThread::OutcomesTake()
{
	CritSectLock lock(sLock);
	std::vector<Outcome> taken;
	taken.swap(sOutcomes);
	return taken;
}

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

	// Unless the file is opened at once, it is decoded into a temporary file and moved into
	// place only when complete, so a failure leaves the destination as it was. The temporary
	// file is in the temporary folder when that is on the destination's file system, otherwise
	// beside the destination under a hidden name: the move is then a rename, never a copy.
	TString out = destination;
	if (!openAfter) {
		TString temp;
		StoragePath::PathTemp(temp);
		TString rootDir = root.Empty() ? TString(".") : root;
		if (temp.Empty() || !sameDevice(temp, rootDir))
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
	else if (out == destination)
		err = paths.size() == 1 ? body.Decode(paths[0], request.count, out, cancelled, nullptr)
								: body.Decode(paths, out, cancelled, nullptr);
	else
		err = decodeInto(body, request, out, cancelled);
	if (err == ErrOkay && out != destination) {
		if (FileMngr::Exists(destination) == ErrOkay)
			err = FileMngr::Remove(destination);
		if (err == ErrOkay)
			err = FileMngr::Move(out, destination);
		if (err != ErrOkay)
			FileMngr::Remove(out);
	}
	bool keep;
	{
		CritSectLock lock(sLock);
		keep = sKeep;
		if (keep)
			sOutcomes.push_back({destination, err, body.DecodeFaultGet(), body.DecodeFaultPart()});
	}
	if (err != ErrOkay && err != ErrGmCancelled && !keep)
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
