// The engine's worker threads. Each one calls its procedure over and over with a pause between
// calls; all of them idle until start-up has ended (State(true)) and leave together at quit.
#pragma once

#include <atomic>
#include <string>

#include "Thread.h"

class ThreadMngr {
public:
	// What a procedure returns to be called again; anything else ends its thread.
	static constexpr unsigned long ProcAgain = 0xFFFFFFFFUL;
	// How long StopAllThreads waits for the threads to leave.
	static constexpr long long StopWait = 6000000;  // microseconds

	// One managed thread. Its thread owns it once running, so that a thread given up at quit
	// can still use it until it ends.
	struct Info {
		ThreadProc proc = nullptr;
		void* data = nullptr;
		ThreadHandle handle = Thread::HandleNone;
		std::string name;
		long long interval = 0;  // microseconds of pause after each call
		ThreadPriority priority = ThreadPriorityNormal;
		std::atomic<bool> running{false};  // inside proc
		std::atomic<bool> dropped{false};  // removed by Kill: leave at the next chance
	};

	static bool Start();
	static void Stop();

	// Starts a managed thread; HandleNone when not started or the thread could not be made.
	// An empty or missing name becomes "UserThread". The procedure is first called once
	// State(true) has been set.
	static ThreadHandle Spawn(
		ThreadProc proc, const char* name, void* data, long long interval, ThreadPriority priority);

	// Whether worker procedures may be called. Long procedures test Running() between units.
	static void State(bool run);
	static bool Running();
	static long Count();

	// The name recorded for a managed thread (empty when there is none).
	static std::string Name(ThreadHandle handle);

	// Drops the thread's record; the thread itself leaves when its current call returns.
	static bool Kill(ThreadHandle handle);

	// Asks every thread to leave and waits up to 6 seconds; threads still busy after that are
	// dropped and left to end on their own.
	static void StopAllThreads();
};
