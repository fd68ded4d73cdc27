// A locked first-in first-out queue of requests, served by one worker thread. A request that
// has been put 60 times is dropped with a message instead of queued again.
#pragma once

#include <atomic>
#include <deque>

#include "CritSect.h"
#include "MesgRequest.h"

class MesgQueue {
public:
	static constexpr long kTriesMax = 60;

	void RequestPut(const MesgRequest& request);
	// True when a request was taken; otherwise out is cleared.
	bool RequestGet(MesgRequest& out);
	// A request of this kind for this mdir waits in the queue.
	bool Has(MesgRequestType type, const TString& mdir);
	// Takes the first request only when it is of this kind for this mdir.
	bool RequestGetIf(MesgRequestType type, const TString& mdir, MesgRequest& out);
	bool Empty();
	long Count();
	void Clear();
	void AbortSet(bool abort) { mAbort = abort; }
	bool AbortGet() const { return mAbort; }
	// The worker threads run and no abort was asked for.
	bool Running() const;

private:
	std::atomic<bool> mAbort{false};
	CritSect mLock;
	std::deque<MesgRequest> mList;
};
