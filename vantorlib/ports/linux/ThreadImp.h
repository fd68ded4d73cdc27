// POSIX half of Thread: detached pthreads, the calling thread's identifier, sleeping.
#pragma once

#include <pthread.h>

// The platform's thread identifier.
typedef pthread_t ThreadHandle;

class ThreadImp {
public:
	// Starts a detached thread running entry(arg); false when the system refused.
	static bool Create(void* (*entry)(void*), void* arg);
	static ThreadHandle Self();
	// Sleeps the calling thread; negative or zero returns at once.
	static void Sleep(long long microseconds);
	// Microseconds of a monotonic clock, for measuring waits.
	static long long Ticks();
};
