// Thin layer over the platform's threads: starting one on a procedure, naming the calling
// thread, and converting handles to numbers.
#pragma once

#include "ThreadImp.h"

enum ThreadPriority : int {
	ThreadPriorityLow = 1,
	ThreadPriorityNormal = 2,  // every engine thread uses this
	ThreadPriorityHigh = 3,
};

// A thread's work: called with its data pointer; the result ends the thread.
typedef unsigned long (*ThreadProc)(void* data);

class Thread {
public:
	// A handle that no thread has.
	static constexpr ThreadHandle HandleNone = 0;

	// Starts a thread that calls proc(data) and ends with its result. The handle is filled in
	// once the thread has begun; false (and HandleNone) when it could not be started or did not
	// begin within 2 seconds, in which case proc is never called. The name stays with the caller.
	static bool Spawn(
		ThreadHandle& handle, ThreadProc proc, void* data, const char* name, ThreadPriority priority);
	static ThreadHandle Self();

	// Threads are not stopped from outside nor re-prioritised here: both return true and
	// change nothing.
	static bool Kill(ThreadHandle handle);
	static bool Scheduling(ThreadHandle handle, ThreadPriority priority);

	// The platform priority on a 0 to 1 scale: 0.2 low, 0.7 high, 0.5 for anything else.
	static double PriorityScale(ThreadPriority priority);

	static unsigned long long HandleToInt(ThreadHandle handle);
	static ThreadHandle HandleFromInt(unsigned long long value);

	// Sleeps the calling thread.
	static void Sleep(long long microseconds);
};
