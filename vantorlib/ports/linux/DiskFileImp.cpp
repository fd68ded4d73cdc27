#include "DiskFileImp.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>

#include "Err.h"

DiskFileImp::~DiskFileImp()
{
	Close();
}

Error DiskFileImp::Open(const char* path, bool read, bool write, bool create, bool fresh, bool nonblocking)
{
	Close();
	int flags = O_CLOEXEC;
	if (read && write)
		flags |= O_RDWR;
	else if (write)
		flags |= O_WRONLY;
	else
		flags |= O_RDONLY;
	if (create)
		flags |= O_CREAT;
	if (create && fresh)
		flags |= O_EXCL | O_NOFOLLOW;
	if (nonblocking)
		flags |= O_NONBLOCK | O_NOCTTY;
	int fd;
	do
		fd = ::open(path, flags, 0666);
	while (fd < 0 && errno == EINTR);
	if (fd < 0) {
		if (create && errno == ENOENT)
			return ErrGmBadPath;
		return Err::StatusFile(errno);
	}
	mFd = fd;
	return ErrOkay;
}

Error DiskFileImp::OpenScratch(const char* path, bool read)
{
	Close();
	int flags = O_CLOEXEC | O_CREAT | O_TRUNC | O_NOFOLLOW | (read ? O_RDWR : O_WRONLY);
	int fd;
	do
		fd = ::open(path, flags, 0666);
	while (fd < 0 && errno == EINTR);
	if (fd < 0)
		return errno == ENOENT ? ErrGmBadPath : Err::StatusFile(errno);
	mFd = fd;
	return ErrOkay;
}

Error DiskFileImp::Close()
{
	if (mFd < 0)
		return ErrFileNotOpen;
	int rc = ::close(mFd);
	int err = errno;
	mFd = -1;
	// The descriptor is gone even when close reports an interruption.
	if (rc != 0 && err != EINTR)
		return Err::StatusFile(err);
	return ErrOkay;
}

static Error lockOp(int fd, int op)
{
	if (fd < 0)
		return ErrFileNotOpen;
	int rc;
	do
		rc = ::flock(fd, op | LOCK_NB);
	while (rc != 0 && errno == EINTR);
	if (rc == 0)
		return ErrOkay;
	if (errno == EWOULDBLOCK)
		return ErrFileLocked;
	return Err::StatusFile(errno);
}

Error DiskFileImp::LockShared()
{
	return lockOp(mFd, LOCK_SH);
}

Error DiskFileImp::LockExclusive()
{
	return lockOp(mFd, LOCK_EX);
}

Error DiskFileImp::LockRelease()
{
	return lockOp(mFd, LOCK_UN);
}

Error DiskFileImp::Read(void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	if (mFd < 0)
		return ErrFileNotOpen;
	char* p = static_cast<char*>(data);
	while (*done < n) {
		ssize_t got = ::read(mFd, p + *done, n - *done);
		if (got < 0) {
			if (errno == EINTR)
				continue;
			return Err::StatusFile(errno);
		}
		if (got == 0)
			break;
		*done += static_cast<unsigned long long>(got);
	}
	return *done == 0 && n > 0 ? ErrFileEnd : ErrOkay;
}

Error DiskFileImp::Write(const void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	if (mFd < 0)
		return ErrFileNotOpen;
	const char* p = static_cast<const char*>(data);
	while (*done < n) {
		ssize_t put = ::write(mFd, p + *done, n - *done);
		if (put < 0) {
			if (errno == EINTR)
				continue;
			Error e = Err::StatusFile(errno);
			return e == ErrErrorVague ? ErrFileWriteError : e;
		}
		if (put == 0)
			return ErrFileWriteError;
		*done += static_cast<unsigned long long>(put);
	}
	return ErrOkay;
}

Error DiskFileImp::ReadAt(long long offset, void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	if (mFd < 0)
		return ErrFileNotOpen;
	char* p = static_cast<char*>(data);
	while (*done < n) {
		ssize_t got = ::pread(mFd, p + *done, n - *done, offset + static_cast<long long>(*done));
		if (got < 0) {
			if (errno == EINTR)
				continue;
			return Err::StatusFile(errno);
		}
		if (got == 0)
			break;
		*done += static_cast<unsigned long long>(got);
	}
	return *done == 0 && n > 0 ? ErrFileEnd : ErrOkay;
}

Error DiskFileImp::WriteAt(long long offset, const void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	if (mFd < 0)
		return ErrFileNotOpen;
	const char* p = static_cast<const char*>(data);
	while (*done < n) {
		ssize_t put = ::pwrite(mFd, p + *done, n - *done, offset + static_cast<long long>(*done));
		if (put < 0) {
			if (errno == EINTR)
				continue;
			Error e = Err::StatusFile(errno);
			return e == ErrErrorVague ? ErrFileWriteError : e;
		}
		if (put == 0)
			return ErrFileWriteError;
		*done += static_cast<unsigned long long>(put);
	}
	return ErrOkay;
}

Error DiskFileImp::WriteGather(
	long long offset, const Piece* pieces, unsigned long count, unsigned long long* done)
{
	*done = 0;
	if (mFd < 0)
		return ErrFileNotOpen;
	constexpr unsigned long kBatch = 64;
	struct iovec iov[kBatch];
	unsigned long next = 0;  // the first piece not yet in iov
	unsigned long long skip = 0;  // bytes of that piece already written
	while (next < count) {
		unsigned long n = 0;
		for (unsigned long i = next; i < count && n < kBatch; ++i, ++n) {
			unsigned long long from = i == next ? skip : 0;
			iov[n].iov_base = const_cast<char*>(static_cast<const char*>(pieces[i].data) + from);
			iov[n].iov_len = static_cast<size_t>(pieces[i].size - from);
		}
		ssize_t put = ::pwritev(mFd, iov, static_cast<int>(n), offset + static_cast<long long>(*done));
		if (put < 0) {
			if (errno == EINTR)
				continue;
			Error e = Err::StatusFile(errno);
			return e == ErrErrorVague ? ErrFileWriteError : e;
		}
		if (put == 0)
			return ErrFileWriteError;
		*done += static_cast<unsigned long long>(put);
		// Past the pieces written whole; a piece written in part is resumed.
		unsigned long long left = static_cast<unsigned long long>(put);
		while (next < count && left >= pieces[next].size - skip) {
			left -= pieces[next].size - skip;
			skip = 0;
			++next;
		}
		skip += left;
	}
	return ErrOkay;
}

Error DiskFileImp::Seek(long long pos, int whence, long long* result)
{
	if (mFd < 0)
		return ErrFileNotOpen;
	off_t r = ::lseek(mFd, static_cast<off_t>(pos), whence);
	if (r < 0)
		return ErrFilePositionError;
	if (result)
		*result = static_cast<long long>(r);
	return ErrOkay;
}

Error DiskFileImp::Size(unsigned long long* size) const
{
	*size = 0;
	struct stat st;
	Error e = Stat(&st);
	if (e == ErrOkay)
		*size = static_cast<unsigned long long>(st.st_size);
	return e;
}

Error DiskFileImp::Truncate(unsigned long long size)
{
	if (mFd < 0)
		return ErrFileNotOpen;
	int rc;
	do
		rc = ::ftruncate(mFd, static_cast<off_t>(size));
	while (rc != 0 && errno == EINTR);
	if (rc == 0)
		return ErrOkay;
	Error e = Err::StatusFile(errno);
	return e == ErrErrorVague || e == ErrErrorUnknown ? ErrFileWriteError : e;
}

Error DiskFileImp::Sync()
{
	if (mFd < 0)
		return ErrFileNotOpen;
	if (::fsync(mFd) == 0)
		return ErrOkay;
	// Descriptors of special files cannot be synced; there is nothing to lose there.
	if (errno == EINVAL || errno == EROFS)
		return ErrOkay;
	Error e = Err::StatusFile(errno);
	return e == ErrErrorVague ? ErrFileWriteError : e;
}

Error DiskFileImp::Stat(struct stat* st) const
{
	if (mFd < 0)
		return ErrFileNotOpen;
	if (::fstat(mFd, st) == 0)
		return ErrOkay;
	return Err::StatusFile(errno);
}

Error DiskFileImp::ModTimeSet(const struct timespec& when)
{
	if (mFd < 0)
		return ErrFileNotOpen;
	struct timespec times[2] = {{0, UTIME_OMIT}, when};
	if (::futimens(mFd, times) == 0)
		return ErrOkay;
	return Err::StatusFile(errno);
}

Error DiskFileImp::Chmod(unsigned short mode)
{
	if (mFd < 0)
		return ErrFileNotOpen;
	if (::fchmod(mFd, mode & 07777) == 0)
		return ErrOkay;
	return Err::StatusFile(errno);
}

bool DiskFileImp::SameFile(const char* path, const struct stat& mine) const
{
	struct stat named;
	if (mFd < 0 || ::stat(path, &named) != 0)
		return false;
	return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

bool DiskFileImp::PathOf(std::string& path) const
{
	path.clear();
	if (mFd < 0)
		return false;
	char link[40];
	std::snprintf(link, sizeof link, "/proc/self/fd/%d", mFd);
	char buf[PATH_MAX];
	ssize_t n = ::readlink(link, buf, sizeof buf);
	if (n <= 0 || n >= static_cast<ssize_t>(sizeof buf) || buf[0] != '/')
		return false;
	path.assign(buf, static_cast<size_t>(n));
	// A file removed since it was opened has no path to give.
	static const char kDeleted[] = " (deleted)";
	if (path.size() >= sizeof kDeleted - 1 &&
		path.compare(path.size() - (sizeof kDeleted - 1), sizeof kDeleted - 1, kDeleted) == 0) {
		path.clear();
		return false;
	}
	return true;
}
