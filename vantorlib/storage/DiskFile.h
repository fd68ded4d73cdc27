// An open file: access mode, advisory locks (shared at every open, exclusive on request, with
// a bounded wait for other holders) and the absolute path it was opened under. The base of
// the file classes; every operation returns an Error.
#pragma once

#include <sys/stat.h>

#include <string>

#include "DiskFileImp.h"
#include "Error.h"
#include "FileBase.h"
#include "TString.h"

class DEntry;

class DiskFile {
public:
	// The lock wait the engine passes to its opens: one second.
	static constexpr long long kLockWaitDefault = 1000000;
	// Pause between two attempts while another process holds the lock.
	static constexpr long long kLockRetryPause = 50000;

	DiskFile();
	virtual ~DiskFile();
	DiskFile(const DiskFile&) = delete;
	DiskFile& operator=(const DiskFile&) = delete;

	virtual Error Close();
	virtual Error Flush();
	virtual Error PositionGet(long long* pos) const;
	virtual Error PositionSet(long long pos, FilePtrMethod method);
	virtual Error Read(void* data, unsigned long long n, unsigned long long* done);
	virtual Error SizeGet(unsigned long long* size) const;
	virtual Error SizeSet(unsigned long long size);
	virtual Error Write(const void* data, unsigned long long n, unsigned long long* done);
	// Writes at offset from the start, then syncs the file to stable storage.
	virtual Error WriteRange(
		long long offset, const void* data, unsigned long long n, unsigned long long* done);
	// The same write without the sync, for callers that make many files durable at once
	// later (with Flush, or a SyncBatch) before anything relies on them.
	Error WriteAt(long long offset, const void* data, unsigned long long n, unsigned long long* done);

	// A negative lockWait takes no exclusive lock; 0 or more takes one, waiting up to that
	// many microseconds while another holder has the file locked.
	Error Open(const char* path, FileAccess access, long long lockWait);
	Error Open(const TString& path, FileAccess access, long long lockWait);
	Error Open(const DEntry& entry, FileAccess access, long long lockWait);
	Error Create(const char* path, FileAccess access, long long lockWait);
	Error Create(const TString& path, FileAccess access, long long lockWait);
	Error Create(const DEntry& entry, FileAccess access, long long lockWait);
	// Creates a file that does not exist yet, for reading and writing; any existing entry of
	// that name (a symbolic link too) gives ErrFileAlreadyExists, and no link is followed.
	Error CreateNew(const char* path, long long lockWait);
	Error CreateNew(const TString& path, long long lockWait);
	Error OpenOrCreate(const char* path, FileAccess access, long long lockWait);
	Error OpenOrCreate(const TString& path, FileAccess access, long long lockWait);
	Error OpenOrCreate(const DEntry& entry, FileAccess access, long long lockWait);

	// A scratch file lies in a folder that only this thread writes into, so nobody else can
	// be in its way: while this is set, a create replaces any file of the name in one call,
	// without locks or a status look-up first. Opens of existing files are not affected.
	void ScratchSet(bool scratch) { mScratch = scratch; }

	bool IsOpen() const { return mImp.IsOpen(); }
	FileAccess Access() const { return mAccess; }
	bool Locked() const { return mLocked; }
	Error PathGet(TString& path) const;
	Error NodeGet(unsigned int* node) const;
	Error PermGet(unsigned short* perm) const;

	// true: take an exclusive lock without waiting; false: give it back.
	Error Lock(bool lock);

	Error WriteString(const char* text);
	Error WriteString(const TString& text);

	Error Stat(struct stat* st) const;
	// Sets the modification time (the access time stays as it is).
	Error ModTimeSet(const struct timespec& when);
	// Closes the file and deletes it; needs read-and-write access.
	Error Remove();
	Error PermSet(unsigned short perm);
	Error PermUpdate(FileAccess access);
	Error TypeSet(const FileData* data);

protected:
	// A batch keeps a descriptor of its own of each file it is to sync.
	friend class SyncBatch;

	virtual Error openFile(
		const char* path, FileAccess access, long long lockWait, bool create, const struct stat* known);

	// Access checks against the mode and the owner permission bits seen at open.
	Error canRead() const;
	Error canWrite() const;

	FileAccess mAccess = FileAccessNone;
	DiskFileImp mImp;
	bool mLocked = false;
	unsigned int mNode = 0;
	// The absolute path, looked up from the descriptor when first asked for.
	mutable TString mPath;
	unsigned short mPerm = 0;

private:
	// What the descriptor itself allows; PermSet never grants more than this.
	FileAccess mOpened = FileAccessNone;
	bool mFresh = false;
	// The path as given to the open, and whether mPath holds its absolute form yet.
	std::string mPathGiven;
	mutable bool mPathKnown = false;

	void pathResolve() const;
	bool mScratch = false;

	Error openOnce(
		const char* path, FileAccess access, bool exclusive, bool create, const struct stat* known);
	Error openScratch(const char* path, FileAccess access);
	Error entryPath(const DEntry& entry, TString& path, struct stat& st, bool& known) const;
};
