#include "TrashImp.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "Err.h"
#include "FileBase.h"
#include "PathMngr.h"
#include "PathMngrImp.h"
#include "TString.h"
#include "TimeCore.h"
#include "VolMngr.h"

// Creates dir (mode 0700) unless it is already a directory of its own (not a link).
static Error ensureDir(const std::string& dir)
{
	if (::mkdir(dir.c_str(), 0700) == 0)
		return ErrOkay;
	if (errno != EEXIST)
		return Err::StatusDir(errno);
	struct stat st;
	if (::lstat(dir.c_str(), &st) != 0)
		return Err::StatusDir(errno);
	return S_ISDIR(st.st_mode) ? ErrOkay : ErrDirNotDirectory;
}

static Error ensurePath(const std::string& dir)
{
	// Creates every missing folder on the way, as mkdir -p does.
	for (size_t i = 1; i <= dir.size(); ++i) {
		if (i == dir.size() || dir[i] == '/') {
			std::string part = dir.substr(0, i);
			struct stat st;
			if (::stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
				continue;
			Error e = ensureDir(part);
			if (e != ErrOkay)
				return e;
		}
	}
	return ErrOkay;
}

static std::string homeTrash()
{
	std::string data = PathMngrImp::XdgDir("XDG_DATA_HOME", "/.local/share");
	return data.empty() ? data : data + "/Trash";
}

// The volume trash of topdir, created when missing; "" when none may be used.
static std::string topdirTrash(const std::string& topdir)
{
	std::string base = topdir == "/" ? std::string() : topdir;
	std::string uid = std::to_string(static_cast<unsigned long>(::getuid()));
	// An administrator's shared ".Trash" must be a real folder with the sticky bit.
	std::string shared = base + "/.Trash";
	struct stat st;
	if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
		std::string mine = shared + "/" + uid;
		if (ensureDir(mine) == ErrOkay)
			return mine;
	}
	std::string own = base + "/.Trash-" + uid;
	if (ensureDir(own) != ErrOkay)
		return std::string();
	if (::lstat(own.c_str(), &st) != 0 || st.st_uid != ::getuid())
		return std::string();
	return own;
}

Error TrashImp::Folder(short volume, std::string& trash, std::string& topdir)
{
	trash.clear();
	topdir.clear();
	if (volume == 0)
		return ErrVolNotFound;
	std::string home = homeTrash();
	if (home.empty())
		return ErrGmFinderNotFound;
	Error e = ensurePath(home);
	short homeVolume = 0;
	if (e == ErrOkay)
		e = VolMngr::Path(home.c_str(), &homeVolume);
	if (e == ErrOkay && homeVolume == volume) {
		trash = home;
	} else {
		TString root;
		e = VolMngr::RootDir(volume, root);
		if (e != ErrOkay)
			return e;
		topdir = root.String();
		trash = topdirTrash(topdir);
		if (trash.empty())
			return ErrGmFinderNotFound;
	}
	e = ensureDir(trash + "/files");
	if (e == ErrOkay)
		e = ensureDir(trash + "/info");
	return e;
}

std::string TrashImp::Escape(const std::string& path)
{
	static const char kHex[] = "0123456789ABCDEF";
	std::string out;
	for (unsigned char c : path) {
		bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
			std::strchr("/-_.!~*'()", c) != nullptr;
		if (plain && c != 0) {
			out += static_cast<char>(c);
		} else {
			out += '%';
			out += kHex[c >> 4];
			out += kHex[c & 15];
		}
	}
	return out;
}

std::string TrashImp::InfoText(const std::string& originalPath, long long when)
{
	time_t secs = static_cast<time_t>(when / 1000000);
	struct tm local;
	char date[32] = "";
	if (::localtime_r(&secs, &local))
		::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
	return "[Trash Info]\nPath=" + Escape(originalPath) + "\nDeletionDate=" + date + "\n";
}

static bool writeAll(int fd, const std::string& text)
{
	size_t done = 0;
	while (done < text.size()) {
		ssize_t n = ::write(fd, text.data() + done, text.size() - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		done += static_cast<size_t>(n);
	}
	return true;
}

Error TrashImp::Put(const TString& path)
{
	TString root, leaf;
	if (!PathMngr::SplitRootLeaf(path, root, leaf) || leaf.Empty() || PathMngr::DotPath(leaf) || leaf == "/")
		return ErrGmBadPath;
	struct stat st;
	Error e = FileBase::Stat(path, &st, false);
	if (e != ErrOkay)
		return e;
	TString parent;
	e = FileBase::Absolute(root.Empty() ? TString(".") : root, parent);
	if (e != ErrOkay)
		return e;
	std::string original = std::string(parent.String()) + (parent == "/" ? "" : "/") + leaf.String();

	short volume = 0;
	e = VolMngr::Path(parent, &volume);
	std::string trash, topdir;
	if (e == ErrOkay)
		e = Folder(volume, trash, topdir);
	if (e != ErrOkay)
		return e;
	struct stat tst;
	if (::stat((trash + "/files").c_str(), &tst) != 0 || tst.st_dev != st.st_dev)
		return ErrGmFinderNotFound;

	// In a volume trash the original path is given relative to the volume's top folder.
	std::string shown = original;
	if (!topdir.empty() && topdir != "/" && original.compare(0, topdir.size() + 1, topdir + "/") == 0)
		shown = original.substr(topdir.size() + 1);

	bool isDir = S_ISDIR(st.st_mode);
	std::string name, ext;
	{
		std::string l = leaf.String();
		size_t dot = l.rfind('.');
		if (!isDir && dot != std::string::npos && dot != 0 && dot + 1 < l.size()) {
			name = l.substr(0, dot);
			ext = l.substr(dot);
		} else {
			name = l;
		}
	}
	for (unsigned long i = 0; i <= FileBase::kTrashNameMax; ++i) {
		std::string candidate = name;
		if (i == 1)
			candidate += " copy";
		else if (i > 1)
			candidate += " copy " + std::to_string(i);
		candidate += ext;
		std::string target = trash;
		target.append("/files/").append(candidate);
		std::string info = trash;
		info.append("/info/").append(candidate).append(".trashinfo");
		struct stat probe;
		if (::lstat(target.c_str(), &probe) == 0)
			continue;
		// Creating the info entry exclusively claims the name against other trashers.
		int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
		if (fd < 0) {
			if (errno == EEXIST)
				continue;
			return Err::StatusFile(errno);
		}
		bool ok = writeAll(fd, InfoText(shown, TimeCore::TimeGet())) && ::fsync(fd) == 0;
		::close(fd);
		if (!ok) {
			::unlink(info.c_str());
			return ErrFileWriteError;
		}
		if (::rename(original.c_str(), target.c_str()) != 0) {
			Error r = Err::StatusFile(errno);
			::unlink(info.c_str());
			return r;
		}
		return ErrOkay;
	}
	return ErrFileRenameError;
}
