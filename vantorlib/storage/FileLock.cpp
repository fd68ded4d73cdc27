#include "FileLock.h"

#include <unistd.h>

#include "PathMngr.h"

FileLock::~FileLock()
{
	if (Held())
		Unlock();
}

Error FileLock::PathFor(const TString& file, TString& lockPath)
{
	TString root, leaf;
	lockPath.Erase();
	if (!PathMngr::SplitRootLeaf(file, root, leaf) || leaf.Empty())
		return ErrGmBadPath;
	TString lockLeaf;
	lockLeaf.AllowInvalidSet(true);  // file names are bytes
	lockLeaf.Fmt(".%s.lock", leaf.String());
	lockPath = root;
	if (lockPath.Empty())
		lockPath = lockLeaf;
	else if (!PathMngr::Append(lockPath, lockLeaf))
		return ErrGmBadPath;
	return ErrOkay;
}

Error FileLock::Lock(const TString& file, long long wait)
{
	TString lockPath;
	Error e = PathFor(file, lockPath);
	return e == ErrOkay ? LockPath(lockPath, wait) : e;
}

Error FileLock::LockPath(const TString& lockPath, long long wait)
{
	if (Held())
		return ErrFileAlreadyLocked;
	mPath = lockPath;
	return mFile.OpenOrCreate(mPath, FileAccessReadWrite, wait < 0 ? 0 : wait);
}

Error FileLock::Unlock()
{
	if (!Held())
		return ErrFileNotLocked;
	::unlink(mPath.String());
	return mFile.Close();
}
