#include "FileMngr.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Err.h"
#include "FileMngrImp.h"
#include "PathMngr.h"
#include "TrashImp.h"

Error FileMngr::Exists(const char* path)
{
	struct stat st;
	Error e = FileBase::Stat(path, &st, true);
	if (e != ErrOkay)
		return e;
	return S_ISREG(st.st_mode) ? ErrOkay : ErrFileNotFile;
}

Error FileMngr::Exists(const TString& path)
{
	return Exists(path.String());
}

Error FileMngr::Remove(const char* path)
{
	struct stat st;
	Error e = FileBase::Stat(path, &st, false);
	if (e != ErrOkay)
		return e;
	if (S_ISREG(st.st_mode)) {
		if ((st.st_mode & 0600) != 0600)
			return ErrFileAccessDenied;
	} else if (!S_ISLNK(st.st_mode)) {
		return ErrFileNotFile;
	}
	if (::unlink(path) != 0)
		return Err::StatusFile(errno);
	return ErrOkay;
}

Error FileMngr::Remove(const TString& path)
{
	return Remove(path.String());
}

Error FileMngr::Rename(const TString& oldPath, const TString& newPath)
{
	struct stat st;
	Error e = FileBase::Stat(oldPath, &st, false);
	if (e != ErrOkay)
		return e;
	if (!S_ISREG(st.st_mode))
		return ErrFileNotFile;
	if (!(st.st_mode & 0200))
		return ErrFileAccessDenied;
	// The rename itself refuses an existing target; only where the file system cannot do
	// that is the target looked at first.
	int rc = ::renameat2(AT_FDCWD, oldPath.String(), AT_FDCWD, newPath.String(), RENAME_NOREPLACE);
	if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
		struct stat nst;
		if (::lstat(newPath.String(), &nst) == 0)
			return ErrFileAlreadyExists;
		rc = ::rename(oldPath.String(), newPath.String());
	}
	if (rc == 0)
		return ErrOkay;
	if (errno == EEXIST)
		return ErrFileAlreadyExists;
	if (errno == ENOENT)
		return ErrGmBadPath;
	return Err::StatusFile(errno);
}

Error FileMngr::Link(const TString& existing, const TString& newPath)
{
	if (::link(existing.String(), newPath.String()) == 0)
		return ErrOkay;
	if (errno == EEXIST)
		return ErrFileAlreadyExists;
	return Err::StatusFile(errno);
}

Error FileMngr::Replace(const TString& oldPath, const TString& newPath)
{
	if (oldPath.Empty() || newPath.Empty())
		return ErrGmBadPath;
	if (::rename(oldPath.String(), newPath.String()) == 0)
		return ErrOkay;
	return Err::StatusFile(errno);
}

Error FileMngr::Move(const TString& oldPath, const TString& newPath)
{
	struct stat st, dst;
	Error e = FileBase::Stat(oldPath, &st, false);
	if (e != ErrOkay)
		return e;
	if (::lstat(newPath.String(), &dst) == 0)
		return ErrFileAlreadyExists;
	TString dir;
	PathMngr::SplitRoot(newPath, dir);
	if (dir.Empty())
		dir = ".";
	e = FileBase::Stat(dir, &dst, true);
	if (e != ErrOkay)
		return e == ErrFileNotFound ? ErrGmBadPath : e;
	if (st.st_dev == dst.st_dev)
		return Rename(oldPath, newPath);
	e = Copy(oldPath, newPath);
	if (e == ErrOkay) {
		e = Remove(oldPath);
		// Never leave the file in both places claiming failure, nor in neither.
		if (e != ErrOkay)
			::unlink(newPath.String());
	}
	return e;
}

Error FileMngr::Copy(const TString& oldPath, const TString& newPath)
{
	return FileMngrImp::Copy(oldPath.String(), newPath.String());
}

Error FileMngr::TimeGet(const TString& path, long long& time)
{
	time = 0;
	struct stat st;
	Error e = FileBase::Stat(path, &st, true);
	if (e != ErrOkay)
		return e;
	if (!S_ISREG(st.st_mode))
		return ErrFileNotFile;
	time = static_cast<long long>(st.st_mtim.tv_sec) * 1000000LL + st.st_mtim.tv_nsec / 1000;
	return ErrOkay;
}

Error FileMngr::TimeSet(const TString& path, long long time)
{
	Error e = Exists(path);
	if (e != ErrOkay)
		return e;
	struct timespec times[2];
	times[0].tv_sec = 0;
	times[0].tv_nsec = UTIME_OMIT;
	long long secs = time / 1000000LL, usecs = time % 1000000LL;
	if (usecs < 0) {
		--secs;
		usecs += 1000000LL;
	}
	times[1].tv_sec = static_cast<time_t>(secs);
	times[1].tv_nsec = static_cast<long>(usecs * 1000);
	if (::utimensat(AT_FDCWD, path.String(), times, 0) != 0)
		return Err::StatusFile(errno);
	return ErrOkay;
}

Error FileMngr::PermGet(const TString& path, unsigned short* mode)
{
	return FileBase::PermGet(path, mode);
}

Error FileMngr::PermSet(const TString& path, unsigned short mode)
{
	return FileBase::PermSet(path, mode);
}

Error FileMngr::PermUpdate(const TString& path, FileAccess access)
{
	return FileBase::PermUpdate(path, access);
}

Error FileMngr::Absolute(const TString& path, TString& out)
{
	return FileBase::Absolute(path, out);
}

Error FileMngr::Trash(const TString& path)
{
	struct stat st;
	Error e = FileBase::Stat(path, &st, false);
	if (e != ErrOkay)
		return e;
	if (S_ISDIR(st.st_mode))
		return ErrFileNotFile;
	return TrashImp::Put(path);
}

Error FileMngr::OpenDefault(const TString& path)
{
	return FileMngrImp::OpenDefault(path.String());
}
