#include "FileMngrImp.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Err.h"

Error FileMngrImp::Copy(const char* oldPath, const char* newPath)
{
	int in = ::open(oldPath, O_RDONLY | O_CLOEXEC);
	if (in < 0)
		return Err::StatusFile(errno);
	struct stat st;
	if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
		int err = errno;
		::close(in);
		return S_ISREG(st.st_mode) ? Err::StatusFile(err) : ErrFileNotFile;
	}
	int out = ::open(newPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
	if (out < 0) {
		int err = errno;
		::close(in);
		return err == ENOENT ? ErrGmBadPath : Err::StatusFile(err);
	}
	Error e = ErrOkay;
	char buf[65536];
	for (;;) {
		ssize_t n = ::read(in, buf, sizeof buf);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0) {
			e = Err::StatusFile(errno);
			break;
		}
		if (n == 0)
			break;
		ssize_t done = 0;
		while (done < n) {
			ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
			if (w < 0 && errno == EINTR)
				continue;
			if (w <= 0) {
				e = w < 0 ? Err::StatusFile(errno) : ErrFileWriteError;
				break;
			}
			done += w;
		}
		if (e != ErrOkay)
			break;
	}
	if (e == ErrOkay && ::fchmod(out, st.st_mode & 07777) != 0)
		e = Err::StatusFile(errno);
	struct timespec times[2] = {st.st_atim, st.st_mtim};
	if (e == ErrOkay && ::futimens(out, times) != 0)
		e = Err::StatusFile(errno);
	if (e == ErrOkay && ::fsync(out) != 0)
		e = Err::StatusFile(errno);
	if (::close(out) != 0 && e == ErrOkay)
		e = Err::StatusFile(errno);
	::close(in);
	if (e != ErrOkay)
		::unlink(newPath);
	return e;
}

Error FileMngrImp::OpenDefault(const char* path)
{
	// A shell that starts the opener in the background and leaves at once, so that no child
	// is left to be waited for; the path goes as an argument, never through the shell's parser.
	const char* argv[] = {"/bin/sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", path, nullptr};
	pid_t pid = 0;
	if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
		return ErrFileNotFound;
	int status = 0;
	while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
	}
	return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ErrOkay : ErrFileNotFound;
}
