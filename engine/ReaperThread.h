// Cleans up in the background: every 15 minutes it empties the local trash, deletes stale
// scratch files and expires messages older than their newsgroup's expiry age. It works slowly
// on purpose (pauses between steps) so as not to compete with the user's work, and deletes
// messages only through the message queue, so that caches and files stay in step.
#pragma once

#include <vector>

#include "Error.h"
#include "TString.h"

class ReaperThread {
public:
	// The first pass is due this long after Start, the next ones this long after a pass.
	static constexpr long long kFirstPass = 4000000;
	static constexpr long long kInterval = 900000000;
	// Scratch files not modified for this long are stale.
	static constexpr long long kTempAge = 28800000000LL;
	// Pauses of a background pass: between steps, and after each deletion or queued expiry.
	static constexpr long long kStepPause = 25000;
	static constexpr long long kItemPause = 500000;

	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	// The thread's procedure: waits for the next pass, or runs it.
	static unsigned long Proc(void* data);
	// Ends the current pass early; the next one comes at its usual time.
	static void Abort();
	static bool AbortGet();

	// One message whose deletion a pass queued.
	struct Expired {
		TString account;
		TString group;
		TString mdir;
		TString leaf;
	};
	// What one pass did.
	struct Report {
		long trashItems = 0;  // entries of the trash deleted
		long tempItems = 0;  // stale scratch files and folders deleted
		std::vector<Expired> expired;
	};
	// Runs one pass now (waiting for a background pass in progress to stop first). paced:
	// with the background's pauses. The first error ends the pass and is the result.
	static Error Pass(bool paced, Report* report = nullptr);

	// The expiry age of a newsgroup in microseconds (not above 0: never expire). Tests set
	// their own; null restores the newsgroup settings.
	using ExpireProc = long long (*)(const TString& account, const TString& group);
	static void ExpireProcSet(ExpireProc proc);
	// The tick count (TimeCore::TickCount) at which the next background pass is due.
	static long long NextPassGet();
	static void NextPassSet(long long tick);

private:
	static Error passRun(bool paced, Report& report);
	static bool proceed(void* context);
	static Error trashEmpty(bool paced, Report& report);
	static Error tempClean(bool paced, Report& report);
	static Error groupsExpire(bool paced, Report& report);
	static Error groupExpire(const TString& account, const TString& group, bool paced, Report& report);
	static void logError(const char* op, const TString& path, Error error);

	static bool sStarted;
};
