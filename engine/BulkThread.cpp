#include "BulkThread.h"

#include <atomic>

#include "Cache.h"
#include "MessageStore.h"
#include "Notify.h"
#include "NotifyList.h"
#include "Thread.h"
#include "ThreadMngr.h"

bool BulkThread::sStarted = false;

namespace {

std::atomic<int> sWorking{0};

}  // namespace

bool BulkThread::Start()
{
	MessageStore::BulkQueue().Clear();
	MessageStore::BulkQueue().AbortSet(false);
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
	if (request.type != MreqMdirReindex)
		return true;
	// Reindex: the cache is rebuilt from the message files; a locked cache waits its turn.
	long added = 0;
	Error e = Cache::Rebuild(request.mdir, &added);
	if (e == ErrFileLocked) {
		MessageStore::BulkQueue().RequestPut(request);
		return true;
	}
	if (e == ErrOkay)
		Notify::Send(NotifyList::MdirComplete(), request.mdir);
	request.ErrorLog(e, "Bulk thread");
	return true;
}
