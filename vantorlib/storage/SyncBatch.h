// Files written one after another made durable together, without flushing anything else on
// the volume. A descriptor of every file added is kept, so that a file renamed or moved to
// another folder of the same volume in the meantime is still the one synced, and one removed
// meanwhile costs nothing. Each file's write-back starts when the next one is added (by then
// its owner has filed or dropped it); Sync then waits for all of them at once (a journalling
// file system commits them together) and makes durable the folder entries of the files, in
// whatever folder each one is by then. At most HeldMax() are kept: beyond that the files held
// so far are synced at once, and a failure there is reported by the next Sync.
#pragma once

#include <cstddef>
#include <vector>

#include "Error.h"
#include "TString.h"

class DiskFile;

class SyncBatch {
public:
	// Files held at most: a quarter of the descriptors the process may open, and no more than
	// kHeldMax, so that the other threads never run short of descriptors because of a batch.
	static constexpr size_t kHeldMax = 1024;
	static size_t HeldMax();

	// Called for each file just before its data is synced, with the path the file has then;
	// a result other than ErrOkay is taken as the failure of that sync. Lets tests see which
	// files are synced and make a sync fail.
	using SyncProc = Error (*)(void* user, const TString& path);

	SyncBatch() = default;
	// Forgets the files not yet synced.
	~SyncBatch();
	SyncBatch(const SyncBatch&) = delete;
	SyncBatch& operator=(const SyncBatch&) = delete;

	// Keeps the file for the next Sync. The file stays open in the caller's hands; all its
	// writes must be done, and have reached the system (a buffer written out at the latest when
	// the file is closed) before the next Add or Sync.
	Error Add(const DiskFile& file);
	// Makes every file added since the last Sync and not removed since durable: its data and
	// its entry in the folder it is in now. The first failure since the last Sync is the result; the batch is empty
	// afterwards either way.
	Error Sync();
	// Forgets the files added since the last Sync, without syncing them.
	void Clear();
	// Files added since the last Sync (also those already synced early).
	size_t Count() const { return mCount; }

	static void SyncProcSet(SyncProc proc, void* user);

private:
	Error syncHeld();

	std::vector<int> mHeld;
	size_t mStarted = 0;  // files of mHeld whose write-back was started
	size_t mCount = 0;
	Error mEarly = ErrOkay;  // the first failure of an early sync
};
