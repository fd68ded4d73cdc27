#include "SyncBatchImp.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "Err.h"

namespace {

Error syncError(int err)
{
	Error e = Err::StatusFile(err);
	return e == ErrErrorVague || e == ErrErrorUnknown ? ErrFileWriteError : e;
}

}  // namespace

Error SyncBatchImp::Duplicate(int fd, int* copy)
{
	*copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
	return *copy >= 0 ? ErrOkay : Err::StatusFile(errno);
}

void SyncBatchImp::WriteBackStart(int fd)
{
	// Only a head start for the later sync, which reports any failure itself.
	(void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool SyncBatchImp::Removed(int fd)
{
	struct stat st;
	return ::fstat(fd, &st) != 0 || st.st_nlink == 0;
}

Error SyncBatchImp::DataSync(int fd)
{
	int rc;
	do
		rc = ::fdatasync(fd);
	while (rc != 0 && errno == EINTR);
	// Special files cannot be synced; there is nothing to lose there.
	if (rc == 0 || errno == EINVAL || errno == EROFS)
		return ErrOkay;
	return syncError(errno);
}

SyncBatchImp::Where SyncBatchImp::PathOf(int fd, std::string& path)
{
	path.clear();
	char link[40];
	std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
	char buf[PATH_MAX];
	ssize_t n = ::readlink(link, buf, sizeof buf);
	if (n <= 0 || n >= static_cast<ssize_t>(sizeof buf) || buf[0] != '/')
		return WhereUnknown;
	path.assign(buf, static_cast<size_t>(n));
	// The kernel marks a removed file so; only then is its link count worth a look, since a
	// name may end so as well.
	static const char kDeleted[] = " (deleted)";
	const size_t k = sizeof kDeleted - 1;
	if (path.size() > k && path.compare(path.size() - k, k, kDeleted) == 0) {
		struct stat st;
		if (::fstat(fd, &st) != 0)
			return WhereUnknown;
		if (st.st_nlink == 0) {
			path.clear();
			return WhereRemoved;
		}
	}
	return WhereNamed;
}

Error SyncBatchImp::DirSync(const char* dir)
{
	int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd < 0)
		return Err::StatusFile(errno);
	int rc;
	do
		rc = ::fsync(fd);
	while (rc != 0 && errno == EINTR);
	Error e = rc == 0 || errno == EINVAL || errno == EROFS ? ErrOkay : syncError(errno);
	::close(fd);
	return e;
}

Error SyncBatchImp::VolumeSync(int fd)
{
	return ::syncfs(fd) == 0 ? ErrOkay : syncError(errno);
}

long long SyncBatchImp::UnwrittenBytes()
{
	FILE* f = std::fopen("/proc/meminfo", "re");
	if (!f)
		return -1;
	long long total = 0;
	int found = 0;
	char line[128];
	while (found < 2 && std::fgets(line, sizeof line, f)) {
		long long kb = 0;
		if (std::sscanf(line, "Dirty: %lld kB", &kb) == 1 ||  // NOLINT(cert-err34-c): kernel's own format
			std::sscanf(line, "Writeback: %lld kB", &kb) == 1) {  // NOLINT(cert-err34-c): as above
			total += kb * 1024;
			found++;
		}
	}
	(void)std::fclose(f);  // only read: nothing to lose at close
	return found == 2 ? total : -1;
}

size_t SyncBatchImp::DescriptorsMax()
{
	struct rlimit limit;
	if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
		return 1024;
	return static_cast<size_t>(limit.rlim_cur);
}

void SyncBatchImp::Close(int fd)
{
	::close(fd);
}
