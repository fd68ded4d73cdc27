#include "DirIter.h"

#include <errno.h>

#include "DirMngr.h"
#include "Err.h"
#include "FileBase.h"
#include "PathMngr.h"

DirIter::~DirIter()
{
	Close();
}

Error DirIter::Open(const char* path)
{
	Close();
	Error e = DirMngr::Absolute(path, mPath);
	if (e != ErrOkay)
		return e;
	mDir = ::opendir(mPath.String());
	if (!mDir) {
		e = Err::StatusDir(errno);
		mPath.Erase();
		return e == ErrOkay ? ErrDirOpenError : e;
	}
	return ErrOkay;
}

Error DirIter::Open(const TString& path)
{
	return Open(path.String());
}

Error DirIter::Next(DEntry& entry)
{
	if (!mDir)
		return ErrDirNotOpen;
	for (;;) {
		errno = 0;
		struct dirent* d = ::readdir(mDir);
		if (!d)
			return errno ? Err::StatusDir(errno) : ErrDirEnd;
		if (PathMngr::DotPath(d->d_name))
			continue;
		TString leaf;
		FileBase::AssignBytes(leaf, d->d_name);
		Error e = entry.Assign(mPath, leaf);
		if (e == ErrOkay)
			e = entry.Stat();
		// An entry removed since the directory was read is simply passed over.
		if (e == ErrFileNotFound)
			continue;
		return e;
	}
}

Error DirIter::Close()
{
	if (!mDir)
		return ErrDirNotOpen;
	::closedir(mDir);
	mDir = nullptr;
	mPath.Erase();
	return ErrOkay;
}
