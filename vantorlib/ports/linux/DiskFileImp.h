// The POSIX half of DiskFile: the descriptor and the system calls on it.
#pragma once

#include <sys/stat.h>

#include <string>

#include "Error.h"

class DiskFile;

class DiskFileImp {
public:
	explicit DiskFileImp(DiskFile* owner) : mOwner(owner) {}
	~DiskFileImp();
	DiskFileImp(const DiskFileImp&) = delete;
	DiskFileImp& operator=(const DiskFileImp&) = delete;

	bool IsOpen() const { return mFd >= 0; }
	int Descriptor() const { return mFd; }
	DiskFile* Owner() const { return mOwner; }

	// Opens path for reading (write false) or reading and writing; create adds O_CREAT
	// (never O_TRUNC: truncation waits until the locks are held). A missing directory on
	// create is ErrGmBadPath.
	// fresh creates a new file only: an existing name, a symbolic link included, is
	// ErrFileAlreadyExists and no link is followed.
	// nonblocking keeps an open of a FIFO or device from waiting; for regular files it
	// changes nothing.
	Error Open(
		const char* path, bool read, bool write, bool create, bool fresh = false, bool nonblocking = false);
	// Creates path, or empties the file it names, for writing (and reading when read is
	// set), in one call; a symbolic link there is not followed.
	Error OpenScratch(const char* path, bool read);
	Error Close();

	// flock without waiting: shared, exclusive, or none (unlock).
	Error LockShared();
	Error LockExclusive();
	Error LockRelease();

	Error Read(void* data, unsigned long long n, unsigned long long* done);
	Error Write(const void* data, unsigned long long n, unsigned long long* done);
	Error ReadAt(long long offset, void* data, unsigned long long n, unsigned long long* done);
	Error WriteAt(long long offset, const void* data, unsigned long long n, unsigned long long* done);
	// One piece of a gathered write.
	struct Piece {
		const void* data;
		unsigned long long size;
	};
	// Writes the pieces one after another from offset on, many per system call.
	Error WriteGather(long long offset, const Piece* pieces, unsigned long count, unsigned long long* done);
	Error Seek(long long pos, int whence, long long* result);
	Error Size(unsigned long long* size) const;
	Error Truncate(unsigned long long size);
	Error Sync();
	Error Stat(struct stat* st) const;
	// Sets the modification time, leaving the access time alone.
	Error ModTimeSet(const struct timespec& when);
	Error Chmod(unsigned short mode);

	// Whether path still names the file this descriptor is open on (it may have been renamed
	// over or removed while this process waited for the lock).
	// mine is the descriptor's own status.
	bool SameFile(const char* path, const struct stat& mine) const;
	// The canonical absolute path of the open file, from the kernel in one call (the same
	// as resolving the opened path, without a look-up per path component); false when the
	// system cannot tell.
	bool PathOf(std::string& path) const;

private:
	DiskFile* mOwner;
	int mFd = -1;
};
