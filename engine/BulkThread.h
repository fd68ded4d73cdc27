// Runs whole-directory work (delete, mark, read, reindex, reparse) in the background, taking
// requests from the bulk queue of the message store one at a time, and reports progress as
// mdir-updated events (at most two a second).
#pragma once

#include <set>
#include <string>

#include "CritSect.h"
#include "Database.h"
#include "DisplayWait.h"
#include "Error.h"
#include "MesgRequest.h"
#include "TString.h"

class BulkThread {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	// The thread's procedure: one request per call.
	static unsigned long Proc(void* data);
	// Carries out one request of the bulk queue; false when there was none.
	static bool Run();
	// Requests are queued or one is under way.
	static bool Busy();

	// Queues a request. A reindex is queued only when none is pending for its mdir; the mdir
	// stays pending until a reindex of it succeeds.
	static void RequestPut(const MesgRequest& request);
	static bool ReindexPending(const TString& mdir);

	// The work of one request, also callable directly (by tests); the result as logged.
	static Error Perform(MesgRequest& request);

private:
	static Error mdirDelete(MesgRequest& request);
	static Error mdirStateChange(MesgRequest& request);
	static Error mdirReindex(MesgRequest& request);
	static Error mdirReparse(MesgRequest& request);
	static Error openOrRetry(Database& db, const MesgRequest& request);
	static void sendMdirUpdate(const TString& mdir, long count, const char* key);
	static bool running();
	static void pendingDrop(const TString& mdir);

	static bool sStarted;
	static CritSect sPendingLock;
	static std::set<std::string> sPending;
	static DisplayWait sWait;
};
