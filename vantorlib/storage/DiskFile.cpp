#include "DiskFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "DEntry.h"
#include "FileMngr.h"
#include "TimeCore.h"

DiskFile::DiskFile() : mImp(this)
{}

DiskFile::~DiskFile()
{
	if (mImp.IsOpen())
		DiskFile::Close();
}

Error DiskFile::Close()
{
	Error result = mImp.IsOpen() ? ErrOkay : ErrFileNotOpen;
	if (mLocked)
		mImp.LockRelease();
	mLocked = false;
	mPath.Erase();
	mPathGiven.clear();
	mPathKnown = false;
	mAccess = FileAccessNone;
	mOpened = FileAccessNone;
	mNode = 0;
	mPerm = 0;
	if (mImp.IsOpen()) {
		Error e = mImp.Close();
		if (result == ErrOkay)
			result = e;
	}
	return result;
}

namespace {

// What an existing entry must be before it is used: a regular file whose owner permission bits
// allow the access.
Error entryCheck(const struct stat& st, FileAccess access)
{
	if (!S_ISREG(st.st_mode))
		return ErrFileNotFile;
	if (access != FileAccessNone &&
		FileBase::PermCheck(access, static_cast<unsigned short>(st.st_mode)) != ErrOkay)
		return ErrFileAccessDenied;
	return ErrOkay;
}

}  // namespace

// Two ways to the descriptor with the same outcome: a file that is usually there is opened
// first and checked on its descriptor, and a file that is created is tried as a new file
// first, which needs no checks; only what falls outside these (an existing file to create, a
// known status, a failed open to explain) looks at the path before opening it.
Error DiskFile::openOnce(
	const char* path, FileAccess access, bool exclusive, bool create, const struct stat* known)
{
	bool read = access != FileAccessWrite;
	bool write = access != FileAccessRead;
	struct stat st;
	bool stated = false;  // st holds the descriptor's status already
	Error e = ErrFileAlreadyExists;
	if (!known && (create || mFresh)) {
		e = mImp.Open(path, read, write, true, true);
		if (e != ErrOkay && (mFresh || e != ErrFileAlreadyExists))
			return e;
	} else if (!known) {
		e = mImp.Open(path, read, write, false, false, true);
		if (e == ErrOkay) {
			e = mImp.Stat(&st);
			if (e == ErrOkay)
				e = entryCheck(st, access);
			if (e != ErrOkay) {
				mImp.Close();
				return e;
			}
			stated = true;
		} else {
			// The path's status tells why: a missing or unsuitable entry gives the same error
			// as it would have before the open.
			Error why = FileBase::Stat(path, &st, true);
			if (why == ErrOkay)
				why = entryCheck(st, access);
			return why != ErrOkay ? why : e;
		}
	}
	if (e == ErrFileAlreadyExists) {
		bool have = false;
		if (known) {
			st = *known;
			have = true;
		} else {
			e = FileBase::Stat(path, &st, true);
			if (e == ErrOkay)
				have = true;
			else if (e != ErrFileNotFound)
				return e;
		}
		if (have) {
			e = entryCheck(st, access);
			if (e != ErrOkay)
				return e;
		} else if (!create) {
			return ErrFileNotFound;
		}
		e = mImp.Open(path, read, write, create, false);
		if (e != ErrOkay)
			return e;
	}
	e = exclusive ? mImp.LockExclusive() : mImp.LockShared();
	// The descriptor's status, where it was not taken yet (a file opened without creating
	// it needs its size no more).
	if (e == ErrOkay && !stated)
		e = mImp.Stat(&st);
	// A file that was renamed over or removed while the lock was held elsewhere is not the
	// file of this path any more; try again on whatever the path names now.
	if (e == ErrOkay && exclusive && !mImp.SameFile(path, st))
		e = ErrFileLocked;
	// Creating truncates, but only once the locks show that nobody else is using the file, and
	// only a file that holds something: truncating an empty file costs a write to disk at its
	// close on some file systems (ext4 then flushes the file, taking it for a rewrite).
	if (e == ErrOkay && create && st.st_size > 0) {
		e = mImp.Truncate(0);
		st.st_size = 0;
	}
	if (e != ErrOkay) {
		mImp.Close();
		return e;
	}
	// The absolute path is looked up only when it is asked for.
	mPath.Erase();
	mPathGiven = path;
	mPathKnown = false;
	mNode = static_cast<unsigned int>(st.st_ino);
	mPerm = static_cast<unsigned short>(st.st_mode & 07777);
	mLocked = exclusive;
	mOpened = access == FileAccessNone ? FileAccessReadWrite : access;
	return ErrOkay;
}

Error DiskFile::openFile(
	const char* path, FileAccess access, long long lockWait, bool create, const struct stat* known)
{
	if (mImp.IsOpen())
		Close();
	if (!path || !*path)
		return ErrGmBadPath;
	if (create && access != FileAccessWrite && access != FileAccessReadWrite)
		return ErrFileAccessDenied;
	if (create && mScratch && !mFresh) {
		Error e = openScratch(path, access);
		if (e == ErrOkay)
			mAccess = access;
		return e;
	}
	long long first = -1;
	for (;;) {
		Error e = openOnce(path, access, lockWait >= 0, create, known);
		if (e == ErrOkay) {
			mAccess = access;
			return ErrOkay;
		}
		if (e != ErrFileLocked || lockWait < 0)
			return e;
		long long now = TimeCore::TickCount();
		if (first < 0)
			first = now;
		if (now - first >= lockWait)
			return e;
		TimeCore::Sleep(kLockRetryPause);
		// The file may have changed meanwhile: look at it afresh.
		known = nullptr;
	}
}

Error DiskFile::openScratch(const char* path, FileAccess access)
{
	bool read = access != FileAccessWrite;
	struct stat st;
	Error e = mImp.OpenScratch(path, read);
	if (e == ErrOkay)
		e = mImp.Stat(&st);
	if (e == ErrOkay && !S_ISREG(st.st_mode))
		e = ErrFileNotFile;
	if (e != ErrOkay) {
		mImp.Close();
		return e;
	}
	// The caller's own folder: an absolute path is taken as it is, without a look-up.
	mPathGiven = path;
	mPathKnown = path[0] == '/';
	if (mPathKnown)
		FileBase::AssignBytes(mPath, path);
	else
		mPath.Erase();
	mNode = static_cast<unsigned int>(st.st_ino);
	mPerm = static_cast<unsigned short>(st.st_mode & 07777);
	mLocked = false;
	mOpened = access;
	return ErrOkay;
}

Error DiskFile::entryPath(const DEntry& entry, TString& path, struct stat& st, bool& known) const
{
	Error e = entry.PathGet(path);
	known = false;
	if (e == ErrOkay && entry.HasStatus()) {
		entry.StatGet(st);
		// The entry's status describes a link itself; let the open follow it.
		known = !S_ISLNK(st.st_mode);
	}
	return e;
}

Error DiskFile::Open(const char* path, FileAccess access, long long lockWait)
{
	return openFile(path, access, lockWait, false, nullptr);
}

Error DiskFile::Open(const TString& path, FileAccess access, long long lockWait)
{
	return openFile(path.String(), access, lockWait, false, nullptr);
}

Error DiskFile::Open(const DEntry& entry, FileAccess access, long long lockWait)
{
	TString path;
	struct stat st;
	bool known;
	Error e = entryPath(entry, path, st, known);
	if (e != ErrOkay)
		return e;
	return openFile(path.String(), access, lockWait, false, known ? &st : nullptr);
}

Error DiskFile::Create(const char* path, FileAccess access, long long lockWait)
{
	return openFile(path, access, lockWait, true, nullptr);
}

Error DiskFile::Create(const TString& path, FileAccess access, long long lockWait)
{
	return openFile(path.String(), access, lockWait, true, nullptr);
}

Error DiskFile::Create(const DEntry& entry, FileAccess access, long long lockWait)
{
	TString path;
	Error e = entry.PathGet(path);
	if (e != ErrOkay)
		return e;
	return openFile(path.String(), access, lockWait, true, nullptr);
}

Error DiskFile::CreateNew(const char* path, long long lockWait)
{
	mFresh = true;
	Error e = openFile(path, FileAccessReadWrite, lockWait, true, nullptr);
	mFresh = false;
	return e;
}

Error DiskFile::CreateNew(const TString& path, long long lockWait)
{
	return CreateNew(path.String(), lockWait);
}

Error DiskFile::OpenOrCreate(const char* path, FileAccess access, long long lockWait)
{
	Error e = Open(path, access, lockWait);
	if (e == ErrFileNotFound)
		e = Create(path, access, lockWait);
	return e;
}

Error DiskFile::OpenOrCreate(const TString& path, FileAccess access, long long lockWait)
{
	return OpenOrCreate(path.String(), access, lockWait);
}

Error DiskFile::OpenOrCreate(const DEntry& entry, FileAccess access, long long lockWait)
{
	TString path;
	Error e = entry.PathGet(path);
	if (e != ErrOkay)
		return e;
	return OpenOrCreate(path.String(), access, lockWait);
}

Error DiskFile::PathGet(TString& path) const
{
	if (!mImp.IsOpen()) {
		path.Erase();
		return ErrFileNotOpen;
	}
	pathResolve();
	path = mPath;
	return ErrOkay;
}

// The canonical absolute path of the open file, from its descriptor, or else from the path
// it was opened under.
void DiskFile::pathResolve() const
{
	if (mPathKnown)
		return;
	std::string resolved;
	if (mImp.PathOf(resolved))
		FileBase::AssignBytes(mPath, resolved.data(), resolved.size());
	else if (FileBase::Absolute(mPathGiven.c_str(), mPath) != ErrOkay)
		mPath.Erase();
	mPathKnown = true;
}

Error DiskFile::NodeGet(unsigned int* node) const
{
	*node = mImp.IsOpen() ? mNode : 0;
	return mImp.IsOpen() ? ErrOkay : ErrFileNotOpen;
}

Error DiskFile::PermGet(unsigned short* perm) const
{
	*perm = mImp.IsOpen() ? mPerm : 0;
	return mImp.IsOpen() ? ErrOkay : ErrFileNotOpen;
}

Error DiskFile::Lock(bool lock)
{
	if (!mImp.IsOpen())
		return ErrFileNotOpen;
	if (mAccess == FileAccessNone)
		return ErrFileAccessDenied;
	if (lock) {
		if (mLocked)
			return ErrFileAlreadyLocked;
		Error e = mImp.LockExclusive();
		if (e != ErrOkay) {
			// Converting a lock may drop the shared one first; take it back.
			mImp.LockShared();
			return e;
		}
		mLocked = true;
		return ErrOkay;
	}
	if (!mLocked)
		return ErrFileNotLocked;
	mLocked = false;
	return mImp.LockShared();
}

Error DiskFile::canRead() const
{
	if (!mImp.IsOpen())
		return ErrFileNotOpen;
	if ((mAccess != FileAccessRead && mAccess != FileAccessReadWrite) || !(mPerm & 0400))
		return ErrFileAccessDenied;
	return ErrOkay;
}

Error DiskFile::canWrite() const
{
	if (!mImp.IsOpen())
		return ErrFileNotOpen;
	if ((mAccess != FileAccessWrite && mAccess != FileAccessReadWrite) || !(mPerm & 0200))
		return ErrFileAccessDenied;
	return ErrOkay;
}

Error DiskFile::Read(void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	Error e = canRead();
	return e != ErrOkay ? e : mImp.Read(data, n, done);
}

Error DiskFile::Write(const void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	Error e = canWrite();
	return e != ErrOkay ? e : mImp.Write(data, n, done);
}

Error DiskFile::WriteRange(long long offset, const void* data, unsigned long long n, unsigned long long* done)
{
	Error e = DiskFile::WriteAt(offset, data, n, done);
	if (e == ErrOkay)
		e = mImp.Sync();
	return e;
}

Error DiskFile::WriteAt(long long offset, const void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	Error e = canWrite();
	if (e == ErrOkay)
		e = mImp.Seek(offset, SEEK_SET, nullptr);
	if (e == ErrOkay)
		e = mImp.Write(data, n, done);
	return e;
}

Error DiskFile::WriteString(const char* text)
{
	if (!text || !*text)
		return ErrFileEnd;
	unsigned long long done;
	return Write(text, std::strlen(text), &done);
}

Error DiskFile::WriteString(const TString& text)
{
	return WriteString(text.String());
}

Error DiskFile::PositionGet(long long* pos) const
{
	*pos = 0;
	// lseek on a const object: the descriptor's position is not part of this object's state.
	return const_cast<DiskFileImp&>(mImp).Seek(0, SEEK_CUR, pos);
}

Error DiskFile::PositionSet(long long pos, FilePtrMethod method)
{
	int whence = method == FilePtrCurrent ? SEEK_CUR : method == FilePtrEnd ? SEEK_END : SEEK_SET;
	return mImp.Seek(pos, whence, nullptr);
}

Error DiskFile::SizeGet(unsigned long long* size) const
{
	return mImp.Size(size);
}

Error DiskFile::SizeSet(unsigned long long size)
{
	return mImp.Truncate(size);
}

Error DiskFile::Flush()
{
	return mImp.Sync();
}

Error DiskFile::Stat(struct stat* st) const
{
	Error e = mImp.Stat(st);
	if (e != ErrOkay)
		std::memset(st, 0, sizeof *st);
	return e;
}

Error DiskFile::ModTimeSet(const struct timespec& when)
{
	return mImp.ModTimeSet(when);
}

Error DiskFile::Remove()
{
	if (!mImp.IsOpen())
		return ErrFileNotOpen;
	if (mAccess != FileAccessReadWrite)
		return ErrFileAccessDenied;
	pathResolve();
	TString path = mPath;
	Error e = Close();
	Error r = FileMngr::Remove(path);
	return e != ErrOkay ? e : r;
}

Error DiskFile::PermSet(unsigned short perm)
{
	Error e = mImp.Chmod(perm);
	if (e != ErrOkay)
		return e;
	mPerm = perm & 07777;
	bool r = (perm & 0400) && (mOpened == FileAccessRead || mOpened == FileAccessReadWrite);
	bool w = (perm & 0200) && (mOpened == FileAccessWrite || mOpened == FileAccessReadWrite);
	mAccess = r && w ? FileAccessReadWrite : w ? FileAccessWrite : r ? FileAccessRead : FileAccessNone;
	return ErrOkay;
}

Error DiskFile::PermUpdate(FileAccess access)
{
	if (!mImp.IsOpen())
		return ErrFileNotOpen;
	return PermSet(FileBase::PermMask(access, mPerm));
}

Error DiskFile::TypeSet(const FileData*)
{
	return mImp.IsOpen() ? ErrOkay : ErrFileNotOpen;
}
