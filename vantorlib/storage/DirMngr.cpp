#include "DirMngr.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "DirIter.h"
#include "Err.h"
#include "PathMngr.h"
#include "PathMngrImp.h"
#include "TrashImp.h"

static Error statusDir(int err)
{
	return Err::StatusDir(err);
}

Error DirMngr::Exists(const char* path)
{
	struct stat st;
	Error e = FileBase::Stat(path, &st, true);
	if (e != ErrOkay)
		return Err::ToDir(e);
	return S_ISDIR(st.st_mode) ? ErrOkay : ErrDirNotDirectory;
}

Error DirMngr::Exists(const TString& path)
{
	return Exists(path.String());
}

Error DirMngr::Create(const char* path)
{
	if (!path || !*path)
		return ErrGmBadPath;
	if (::mkdir(path, 0777) == 0)
		return ErrOkay;
	int err = errno;
	if (err == EEXIST) {
		struct stat st;
		if (::stat(path, &st) == 0 && S_ISDIR(st.st_mode))
			return ErrDirAlreadyExists;
		return ErrFileAlreadyExists;
	}
	if (err == ENOENT)
		return ErrGmBadPath;
	return statusDir(err);
}

Error DirMngr::Create(const TString& path)
{
	return Create(path.String());
}

Error DirMngr::Remove(const char* path)
{
	struct stat st;
	Error e = FileBase::Stat(path, &st, false);
	if (e != ErrOkay)
		return Err::ToDir(e);
	if (!S_ISDIR(st.st_mode))
		return ErrDirNotDirectory;
	if ((st.st_mode & 0600) != 0600)
		return ErrDirAccessDenied;
	if (::rmdir(path) == 0)
		return ErrOkay;
	if (errno == ENOTEMPTY || errno == EEXIST)
		return ErrDirNotEmpty;
	return statusDir(errno);
}

Error DirMngr::Remove(const TString& path)
{
	return Remove(path.String());
}

Error DirMngr::Rename(const TString& oldPath, const TString& newPath)
{
	struct stat st;
	Error e = FileBase::Stat(oldPath, &st, false);
	if (e != ErrOkay)
		return Err::ToDir(e);
	if (!S_ISDIR(st.st_mode))
		return ErrDirNotDirectory;
	auto existing = [&]() {
		struct stat nst;
		if (::lstat(newPath.String(), &nst) != 0)
			return ErrOkay;
		return S_ISDIR(nst.st_mode) ? ErrDirAlreadyExists : ErrFileAlreadyExists;
	};
	e = existing();
	if (e != ErrOkay)
		return e;
	int rc = ::renameat2(AT_FDCWD, oldPath.String(), AT_FDCWD, newPath.String(), RENAME_NOREPLACE);
	if (rc != 0 && (errno == EINVAL || errno == ENOSYS))
		rc = ::rename(oldPath.String(), newPath.String());
	if (rc == 0)
		return ErrOkay;
	if (errno == EEXIST) {
		e = existing();
		return e != ErrOkay ? e : ErrDirAlreadyExists;
	}
	if (errno == ENOENT)
		return ErrGmBadPath;
	return statusDir(errno);
}

namespace {

struct ObliterateState {
	DirMngr::ProceedProc proceed;
	void* context;
};

Error obliterate(const TString& dir, ObliterateState& state)
{
	// Folders without the owner's rights cannot be emptied; give them back first.
	struct stat st;
	if (::lstat(dir.String(), &st) == 0 && (st.st_mode & 0700) != 0700)
		::chmod(dir.String(), (st.st_mode & 07777) | 0700);
	DirIter it;
	Error e = it.Open(dir);
	if (e != ErrOkay)
		return e;
	DEntry entry;
	while ((e = it.Next(entry)) == ErrOkay) {
		if (state.proceed && !state.proceed(state.context))
			return ErrGmCancelled;
		TString path;
		e = entry.PathGet(path);
		if (e != ErrOkay)
			return e;
		if (entry.IsDirectory()) {
			e = obliterate(path, state);
			if (e == ErrOkay && ::rmdir(path.String()) != 0 && errno != ENOENT)
				e = errno == ENOTEMPTY || errno == EEXIST ? ErrDirNotEmpty : Err::StatusDir(errno);
		} else {
			if (entry.IsFile() && !(entry.Perms() & 0200))
				::chmod(path.String(), entry.Perms() | 0200);
			if (::unlink(path.String()) != 0 && errno != ENOENT)
				e = Err::StatusFile(errno);
		}
		if (e != ErrOkay)
			return e;
	}
	return e == ErrDirEnd ? ErrOkay : e;
}

}  // namespace

Error DirMngr::Obliterate(const TString& path, bool removeTop, ProceedProc proceed, void* context)
{
	TString absolute;
	Error e = Absolute(path, absolute);
	if (e != ErrOkay)
		return e;
	// Never the whole file system.
	if (absolute == "/")
		return ErrGmBadPath;
	e = Exists(absolute);
	if (e != ErrOkay)
		return e;
	ObliterateState state{proceed, context};
	do {
		e = obliterate(absolute, state);
		if (e == ErrOkay && removeTop && ::rmdir(absolute.String()) != 0)
			e = errno == ENOTEMPTY || errno == EEXIST ? ErrDirNotEmpty : Err::StatusDir(errno);
	} while (e == ErrDirNotEmpty);
	return e;
}

namespace {

Error iterate(const TString& dir, bool recursive, DirMngr::IterateProc proc, void* context,
	unsigned long depth, bool& stop)
{
	DirIter it;
	Error e = it.Open(dir);
	if (e != ErrOkay)
		return e;
	DEntry entry;
	while ((e = it.Next(entry)) == ErrOkay) {
		bool more = true;
		if (!proc(context, more, depth, entry))
			return ErrGmCancelled;
		if (!more) {
			stop = true;
			return ErrOkay;
		}
		if (recursive && entry.IsDirectory()) {
			TString sub;
			e = entry.PathGet(sub);
			if (e == ErrOkay)
				e = iterate(sub, recursive, proc, context, depth + 1, stop);
			if (e != ErrOkay || stop)
				return e;
		}
	}
	return e == ErrDirEnd ? ErrOkay : e;
}

}  // namespace

Error DirMngr::Iterate(const TString& path, bool recursive, IterateProc proc, void* context)
{
	if (!proc)
		return ErrGmBadPath;
	bool stop = false;
	return iterate(path, recursive, proc, context, 0, stop);
}

Error DirMngr::CurGet(TString& path)
{
	path.Erase();
	char* cwd = ::getcwd(nullptr, 0);
	if (!cwd)
		return statusDir(errno);
	FileBase::AssignBytes(path, cwd);
	::free(cwd);
	return ErrOkay;
}

Error DirMngr::CurSet(const TString& path)
{
	if (::chdir(path.String()) == 0)
		return ErrOkay;
	return statusDir(errno);
}

Error DirMngr::Absolute(const char* path, TString& out)
{
	return Err::ToDir(FileBase::Absolute(path, out));
}

Error DirMngr::Absolute(const TString& path, TString& out)
{
	return Err::ToDir(FileBase::Absolute(path, out));
}

Error DirMngr::Access(const TString& path)
{
	struct stat st;
	Error e = FileBase::Stat(path, &st, true);
	if (e != ErrOkay)
		return Err::ToDir(e);
	if (!S_ISDIR(st.st_mode))
		return ErrDirNotDirectory;
	return (st.st_mode & 0700) == 0700 ? ErrOkay : ErrDirAccessDenied;
}

Error DirMngr::PermUpdate(const TString& path, FileAccess access)
{
	struct stat st;
	Error e = FileBase::Stat(path, &st, true);
	if (e != ErrOkay)
		return Err::ToDir(e);
	if (!S_ISDIR(st.st_mode))
		return ErrDirNotDirectory;
	unsigned short mode = FileBase::PermMask(access, static_cast<unsigned short>(st.st_mode & 07777));
	if (mode & 0444)
		mode |= static_cast<unsigned short>((mode & 0444) >> 2);  // search follows read
	if (::chmod(path.String(), mode) != 0)
		return statusDir(errno);
	return ErrOkay;
}

// Creates path and its missing parents with mode 0700.
static Error makePath(const std::string& path)
{
	for (size_t i = 1; i <= path.size(); ++i) {
		if (i != path.size() && path[i] != '/')
			continue;
		std::string part = path.substr(0, i);
		if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
			return Err::StatusDir(errno);
	}
	struct stat st;
	if (::stat(path.c_str(), &st) != 0)
		return Err::StatusDir(errno);
	return S_ISDIR(st.st_mode) ? ErrOkay : ErrDirNotDirectory;
}

Error DirMngr::Find(FindDir folder, short volume, TString& path)
{
	path.Erase();
	std::string found;
	if (folder == FindTrash) {
		std::string trash, topdir;
		Error e = TrashImp::Folder(volume, trash, topdir);
		if (e != ErrOkay)
			return e;
		found = trash + "/files";
	} else if (folder == FindPrefs) {
		std::string config = PathMngrImp::XdgDir("XDG_CONFIG_HOME", "/.config");
		if (config.empty())
			return ErrGmFinderNotFound;
		found = config + "/quillfern";
		Error e = makePath(found);
		if (e != ErrOkay)
			return e;
	} else if (folder == FindDesktop) {
		found = PathMngrImp::Desktop();
		struct stat st;
		if (!found.empty() && (::stat(found.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
			found = PathMngrImp::Home();
	} else if (folder == FindHome) {
		found = PathMngrImp::Home();
	} else if (folder == FindTemp) {
		const char* tmp = ::getenv("TMPDIR");
		found = tmp && tmp[0] == '/' ? tmp : "/tmp";
		while (found.size() > 1 && found.back() == '/')
			found.pop_back();
	} else {
		return ErrGmFinderNotFound;
	}
	if (found.empty())
		return ErrGmFinderNotFound;
	FileBase::AssignBytes(path, found.data(), found.size());
	return ErrOkay;
}

Error DirMngr::Trash(const TString& path)
{
	Error e = Exists(path);
	struct stat st;
	// A link to a folder is trashed as a link, by FileMngr::Trash.
	if (e == ErrOkay && FileBase::Stat(path, &st, false) == ErrOkay && !S_ISDIR(st.st_mode))
		e = ErrDirNotDirectory;
	return e != ErrOkay ? e : TrashImp::Put(path);
}

Error DirMngr::TildePathFromPath(TString& path)
{
	std::string home = PathMngrImp::Home();
	std::string p(path.String(), static_cast<size_t>(path.ByteLength()));
	if (!home.empty() && home != "/") {
		if (p == home)
			p = "~";
		else if (p.size() > home.size() && p.compare(0, home.size(), home) == 0 && p[home.size()] == '/')
			p = "~" + p.substr(home.size());
	}
	FileBase::AssignBytes(path, p.data(), p.size());
	return p.empty() ? ErrGmBadPath : ErrOkay;
}

Error DirMngr::TildePathToPath(TString& path)
{
	std::string p(path.String(), static_cast<size_t>(path.ByteLength()));
	if (!p.empty() && p[0] == '~') {
		size_t slash = p.find('/');
		std::string user = p.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
		std::string home = user.empty() ? PathMngrImp::Home() : PathMngrImp::HomeOf(user);
		if (home.empty()) {
			// An unknown user: the text is not a tilde path after all.
			if (!user.empty())
				return ErrOkay;
			path.Erase();
			return ErrGmBadPath;
		}
		std::string rest = slash == std::string::npos ? std::string() : p.substr(slash);
		p = (home == "/" && !rest.empty()) ? rest : home + rest;
	}
	FileBase::AssignBytes(path, p.data(), p.size());
	return p.empty() ? ErrGmBadPath : ErrOkay;
}
