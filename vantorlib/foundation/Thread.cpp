#include "Thread.h"

#include <mutex>

namespace {

// Handed from the spawner to the new thread. It lives on the heap, shared by both, so that a
// thread that begins only after the spawner gave up finds it intact, sees that it was given up
// and leaves without calling its procedure.
struct StartRecord {
	std::mutex lock;
	int owners = 2;
	bool started = false;
	bool abandoned = false;
	ThreadHandle handle = Thread::HandleNone;
	ThreadProc proc = nullptr;
	void* data = nullptr;
	ThreadPriority priority = ThreadPriorityNormal;
};

// Drops one owner's hold; the last one frees the record. Called with the lock held.
void release(StartRecord* record, std::unique_lock<std::mutex>& held)
{
	bool last = --record->owners == 0;
	held.unlock();
	if (last)
		delete record;
}

void* threadEntry(void* arg)
{
	StartRecord* record = static_cast<StartRecord*>(arg);
	std::unique_lock<std::mutex> held(record->lock);
	if (record->abandoned) {
		release(record, held);
		return nullptr;
	}
	ThreadProc proc = record->proc;
	void* data = record->data;
	ThreadPriority priority = record->priority;
	record->handle = Thread::Self();
	record->started = true;
	release(record, held);

	Thread::Scheduling(Thread::Self(), priority);
	unsigned long result = proc(data);
	// The result travels as the thread's pointer-sized exit value.
	return reinterpret_cast<void*>(result);  // NOLINT(performance-no-int-to-ptr)
}

}  // namespace

bool Thread::Spawn(
	ThreadHandle& handle, ThreadProc proc, void* data, const char* /*name*/, ThreadPriority priority)
{
	handle = HandleNone;
	if (proc == nullptr)
		return false;
	StartRecord* record = new StartRecord;
	record->proc = proc;
	record->data = data;
	record->priority = priority;
	if (!ThreadImp::Create(threadEntry, record)) {
		delete record;
		return false;
	}
	// Poll for the thread's signal every 2 ms, for at most 2 seconds.
	const long long deadline = ThreadImp::Ticks() + 2000000;
	for (;;) {
		{
			std::unique_lock<std::mutex> held(record->lock);
			if (record->started || ThreadImp::Ticks() > deadline) {
				bool started = record->started;
				if (started)
					handle = record->handle;
				else
					record->abandoned = true;
				release(record, held);
				return started;
			}
		}
		ThreadImp::Sleep(2000);
	}
}

ThreadHandle Thread::Self()
{
	return ThreadImp::Self();
}

bool Thread::Kill(ThreadHandle /*handle*/)
{
	return true;
}

bool Thread::Scheduling(ThreadHandle /*handle*/, ThreadPriority /*priority*/)
{
	return true;
}

double Thread::PriorityScale(ThreadPriority priority)
{
	switch (priority) {
	case ThreadPriorityLow: return 0.2;
	case ThreadPriorityHigh: return 0.7;
	default: return 0.5;
	}
}

unsigned long long Thread::HandleToInt(ThreadHandle handle)
{
	return static_cast<unsigned long long>(handle);
}

ThreadHandle Thread::HandleFromInt(unsigned long long value)
{
	return static_cast<ThreadHandle>(value);
}

void Thread::Sleep(long long microseconds)
{
	ThreadImp::Sleep(microseconds);
}
