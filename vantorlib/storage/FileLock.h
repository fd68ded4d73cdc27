// A lock between processes on a read-modify-write of one file: an exclusive lock on a lock file
// beside it (".LEAF.lock"). The lock file is removed while still held when the lock is given
// back; a waiter that then gets the removed file notices and tries again on the new one. A lock
// file left by a killed process holds nothing (the system drops the lock with the process).
#pragma once

#include "DiskFile.h"
#include "Error.h"
#include "TString.h"

class FileLock {
public:
	// How long a read-modify-write waits for the changes of other processes before it gives
	// up: each holds the lock only briefly, but many processes may be queued behind it.
	static constexpr long long kWaitChange = 30000000;

	FileLock() = default;
	~FileLock();
	FileLock(const FileLock&) = delete;
	FileLock& operator=(const FileLock&) = delete;

	// The lock file guarding `file`: ".LEAF.lock" in the same folder.
	static Error PathFor(const TString& file, TString& lockPath);
	// Takes the lock guarding `file`, waiting up to wait microseconds for another holder
	// (ErrFileLocked when it is still held then).
	Error Lock(const TString& file, long long wait = DiskFile::kLockWaitDefault);
	// Takes the lock of the lock file at lockPath itself.
	Error LockPath(const TString& lockPath, long long wait = DiskFile::kLockWaitDefault);
	Error Unlock();
	bool Held() const { return mFile.IsOpen(); }

private:
	DiskFile mFile;
	TString mPath;
};
