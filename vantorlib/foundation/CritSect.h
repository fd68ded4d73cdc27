// The lock used everywhere in the engine: recursive (the holder may enter again; it is free once
// every Enter is matched by a Leave) and with a time-out after which a stuck wait is reported.
#pragma once

#include <atomic>

#include "CritSectImp.h"

class CritSect {
public:
	static constexpr long long TimeoutDefault = 30000000;  // microseconds

	CritSect() = default;
	CritSect(const CritSect&) = delete;
	CritSect& operator=(const CritSect&) = delete;

	// Returns true once the lock is held. When it could not be had within the time-out (counted
	// in whole seconds), "failed to acquire critsect" goes to standard output and the wait goes
	// on: Enter never returns without the lock.
	bool Enter();
	void Leave();

	long long TimeoutGet() const { return mTimeout; }
	// A negative time-out is stored as 0 (do not wait before reporting).
	void TimeoutSet(long long microseconds) { mTimeout = microseconds < 0 ? 0 : microseconds; }

private:
	CritSectImp mImp;
	std::atomic<long long> mTimeout{TimeoutDefault};
};
