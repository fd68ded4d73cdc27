#include "VolMngr.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>

#include "Err.h"
#include "VolMngrImp.h"

// The resolved form of path, or of its nearest existing parent when it does not exist.
static bool resolve(const std::string& path, std::string& out)
{
	std::string p = path;
	if (p.empty())
		return false;
	if (p[0] != '/') {
		char cwd[PATH_MAX];
		if (!::getcwd(cwd, sizeof cwd))
			return false;
		p = std::string(cwd) + "/" + p;
	}
	for (;;) {
		char* r = ::realpath(p.c_str(), nullptr);
		if (r) {
			out = r;
			::free(r);
			return true;
		}
		size_t slash = p.rfind('/');
		if (slash == std::string::npos || p == "/")
			return false;
		p = slash == 0 ? std::string("/") : p.substr(0, slash);
	}
}

static bool mountGet(short volume, VolMount& mount)
{
	std::vector<VolMount> mounts = VolMngrImp::Mounts();
	if (volume < 1 || static_cast<size_t>(volume) > mounts.size())
		return false;
	mount = mounts[static_cast<size_t>(volume) - 1];
	return true;
}

Error VolMngr::Boot(short* volume)
{
	return Path("/", volume);
}

Error VolMngr::Path(const char* path, short* volume)
{
	*volume = 0;
	std::string resolved;
	if (!path || !resolve(path, resolved))
		return ErrVolNotFound;
	std::vector<VolMount> mounts = VolMngrImp::Mounts();
	long i = VolMngrImp::MountOf(mounts, resolved);
	if (i < 0 || i >= 32767)
		return ErrVolNotFound;
	*volume = static_cast<short>(i + 1);
	return ErrOkay;
}

Error VolMngr::Path(const TString& path, short* volume)
{
	return Path(path.String(), volume);
}

Error VolMngr::RootDir(short volume, TString& path)
{
	path.Erase();
	VolMount m;
	if (!mountGet(volume, m))
		return ErrVolNotFound;
	path.AllowInvalidSet(true);
	path.Assign(m.mountPoint.c_str());
	return ErrOkay;
}

Error VolMngr::Next(long index, short* volume)
{
	*volume = 0;
	std::vector<VolMount> mounts = VolMngrImp::Mounts();
	if (index < 0 || static_cast<size_t>(index) >= mounts.size() || index >= 32767)
		return ErrVolNotFound;
	*volume = static_cast<short>(index + 1);
	return ErrOkay;
}

Error VolMngr::Info(short volume, VolInfo* info)
{
	*info = VolInfo();
	VolMount m;
	if (!mountGet(volume, m))
		return ErrVolNotFound;
	struct statvfs sv;
	if (::statvfs(m.mountPoint.c_str(), &sv) != 0)
		return Err::StatusVol(errno);
	info->blockSize = sv.f_frsize;
	info->totalBytes = static_cast<unsigned long long>(sv.f_blocks) * sv.f_frsize;
	info->freeBytes = static_cast<unsigned long long>(sv.f_bavail) * sv.f_frsize;
	info->readOnly = m.readOnly || (sv.f_flag & ST_RDONLY);
	info->fsType.AllowInvalidSet(true);
	info->fsType.Assign(m.fsType.c_str());
	info->device.AllowInvalidSet(true);
	info->device.Assign(m.source.c_str());
	return ErrOkay;
}

Error VolMngr::IsNative(short volume, bool* native)
{
	*native = false;
	VolMount m;
	if (!mountGet(volume, m))
		return ErrVolNotFound;
	*native = !VolMngrImp::NetworkType(m.fsType);
	return ErrOkay;
}

Error VolMngr::IsSafe(short volume, bool* safe)
{
	*safe = false;
	VolInfo info;
	bool native = false;
	Error e = IsNative(volume, &native);
	if (e == ErrOkay)
		e = Info(volume, &info);
	if (e == ErrOkay)
		*safe = native && !info.readOnly;
	return e;
}
