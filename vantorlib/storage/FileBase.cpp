#include "FileBase.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "DirMngr.h"
#include "Err.h"
#include "PathMngr.h"
#include "TString.h"
#include "Unicode.h"
#include "VolMngr.h"

void FileBase::AssignBytes(TString& out, const char* bytes, size_t n)
{
	out.Erase();
	if (!bytes || n == 0)
		return;
	long b = 0, c = 0;
	std::string copy(bytes, n);
	// The bytes the string takes (up to a NUL) are UTF-8 only when every one of them is read as
	// part of a whole character: a lead byte cut off at the end is not.
	const long len = static_cast<long>(std::strlen(copy.c_str()));
	if (!Unicode::Validate(copy.c_str(), len, len, &b, &c) || b != len)
		out.AllowInvalidSet(true);
	out.Assign(copy.c_str());
}

void FileBase::AssignBytes(TString& out, const char* bytes)
{
	AssignBytes(out, bytes, bytes ? std::strlen(bytes) : 0);
}

Error FileBase::Stat(const char* path, struct stat* st, bool follow)
{
	int rc = follow ? ::stat(path ? path : "", st) : ::lstat(path ? path : "", st);
	if (rc == 0)
		return ErrOkay;
	Error e = Err::StatusFile(errno);
	std::memset(st, 0, sizeof *st);
	return e;
}

Error FileBase::Stat(const TString& path, struct stat* st, bool follow)
{
	return Stat(path.String(), st, follow);
}

EntryType FileBase::TypeGet(const struct stat* st)
{
	if (S_ISREG(st->st_mode))
		return EntryFile;
	if (S_ISDIR(st->st_mode))
		return EntryDirectory;
	if (S_ISLNK(st->st_mode))
		return EntrySymlink;
	return EntryUnknown;
}

const char* FileBase::TypeStr(EntryType type)
{
	switch (type) {
	case EntryFile: return "File";
	case EntryDirectory: return "Directory";
	case EntrySymlink: return "Symlink";
	default: return "[Unknown file system type]";
	}
}

Error FileBase::PermCheck(FileAccess access, unsigned short mode)
{
	switch (access) {
	case FileAccessRead: return (mode & 0400) ? ErrOkay : ErrFileAccessDenied;
	case FileAccessWrite: return (mode & 0200) ? ErrOkay : ErrFileAccessDenied;
	case FileAccessReadWrite: return (mode & 0600) == 0600 ? ErrOkay : ErrFileAccessDenied;
	default: return ErrFileAccessDenied;
	}
}

unsigned short FileBase::PermMask(FileAccess access, unsigned short mode)
{
	unsigned short bits = 0;
	switch (access) {
	case FileAccessRead: bits = 0444; break;
	case FileAccessWrite: bits = 0222; break;
	case FileAccessReadWrite: bits = 0666; break;
	default: bits = 0; break;
	}
	return static_cast<unsigned short>((mode & ~0777) | bits);
}

Error FileBase::PermGet(const char* path, unsigned short* mode)
{
	struct stat st;
	*mode = 0;
	Error e = Stat(path, &st, true);
	if (e == ErrOkay)
		*mode = static_cast<unsigned short>(st.st_mode & 07777);
	return e;
}

Error FileBase::PermGet(const TString& path, unsigned short* mode)
{
	return PermGet(path.String(), mode);
}

Error FileBase::PermSet(const char* path, unsigned short mode)
{
	struct stat st;
	Error e = Stat(path, &st, false);
	if (e != ErrOkay)
		return e;
	EntryType t = TypeGet(&st);
	if (t == EntrySymlink || t == EntryUnknown)
		return ErrFileNotFile;
	if (::chmod(path, mode & 07777) != 0)
		return Err::StatusFile(errno);
	return ErrOkay;
}

Error FileBase::PermSet(const TString& path, unsigned short mode)
{
	return PermSet(path.String(), mode);
}

Error FileBase::PermUpdate(const char* path, FileAccess access)
{
	unsigned short mode;
	Error e = PermGet(path, &mode);
	return e != ErrOkay ? e : PermSet(path, PermMask(access, mode));
}

Error FileBase::PermUpdate(const TString& path, FileAccess access)
{
	return PermUpdate(path.String(), access);
}

void FileBase::PermStr(TString& out, unsigned short mode)
{
	out.Fmt("%03lo", static_cast<unsigned long>(mode & 0777));
}

Error FileBase::Absolute(const char* path, TString& out)
{
	out.Erase();
	if (!path || !*path)
		return ErrGmBadPath;
	char* resolved = ::realpath(path, nullptr);
	if (!resolved)
		return Err::StatusFile(errno);
	AssignBytes(out, resolved);
	::free(resolved);
	return ErrOkay;
}

Error FileBase::Absolute(const TString& path, TString& out)
{
	// out may be path itself.
	TString copy = path;  // NOLINT(performance-unnecessary-copy-initialization): see above
	return Absolute(copy.String(), out);
}

Error FileBase::SymRead(const char* path, TString& out, unsigned long maxDepth)
{
	std::string cur = path ? path : "";
	unsigned long followed = 0;
	for (;;) {
		struct stat st;
		if (::lstat(cur.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || followed >= maxDepth)
			break;
		char buf[kSymTargetMax + 2];
		ssize_t n = ::readlink(cur.c_str(), buf, sizeof buf);
		if (n < 0) {
			out.Erase();
			return Err::StatusFile(errno);
		}
		if (n == 0 || static_cast<unsigned long>(n) > kSymTargetMax) {
			out.Erase();
			return ErrFileReadError;
		}
		cur.assign(buf, static_cast<size_t>(n));
		++followed;
	}
	if (followed >= maxDepth && maxDepth >= 30) {
		struct stat st;
		if (::lstat(cur.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
			out.Erase();
			return ErrGmLinkLoop;
		}
	}
	AssignBytes(out, cur.data(), cur.size());
	return ErrOkay;
}

Error FileBase::SymRead(const TString& path, TString& out, unsigned long maxDepth)
{
	// out may be path itself.
	TString copy = path;  // NOLINT(performance-unnecessary-copy-initialization): see above
	return SymRead(copy.String(), out, maxDepth);
}

Error FileBase::SymWrite(const char* linkPath, const char* target)
{
	if (!linkPath || !*linkPath || !target || !*target)
		return ErrGmBadPath;
	if (::symlink(target, linkPath) != 0)
		return Err::StatusFile(errno);
	return ErrOkay;
}

Error FileBase::SymWrite(const TString& linkPath, const TString& target)
{
	return SymWrite(linkPath.String(), target.String());
}

Error FileBase::TrashName(const TString& dir, TString& path)
{
	TString leaf;
	if (!PathMngr::SplitLeaf(path, leaf))
		return ErrGmBadPath;
	TString name = leaf, ext;
	struct stat st;
	bool isDir = Stat(path, &st, false) == ErrOkay && S_ISDIR(st.st_mode);
	if (!isDir) {
		TString n, x;
		if (PathMngr::SplitLeafExt(leaf, n, x) && !x.Empty()) {
			name = n;
			ext = x;
		}
	}
	for (unsigned long i = 0; i <= kTrashNameMax; ++i) {
		TString candidate = name;
		if (i == 1)
			candidate.Append(" copy");
		else if (i > 1) {
			TString num;
			num.Fmt(" copy %lu", i);
			candidate.Append(num);
		}
		if (!ext.Empty()) {
			candidate.Append(".");
			candidate.Append(ext);
		}
		TString full = dir;
		if (!PathMngr::Append(full, candidate))
			return ErrGmBadPath;
		Error e = Stat(full, &st, false);
		if (e == ErrFileNotFound) {
			path = full;
			return ErrOkay;
		}
		if (e != ErrOkay)
			return e;
	}
	return ErrFileRenameError;
}

Error FileBase::TrashName(TString& path)
{
	short volume = 0;
	Error e = VolMngr::Path(path, &volume);
	TString trash;
	if (e == ErrOkay)
		e = DirMngr::Find(DirMngr::FindTrash, volume, trash);
	if (e == ErrOkay)
		e = TrashName(trash, path);
	return e;
}
