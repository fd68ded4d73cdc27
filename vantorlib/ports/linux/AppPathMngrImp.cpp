#include "AppPathMngrImp.h"

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#ifndef QUILLFERN_RESOURCES_BUILD
#define QUILLFERN_RESOURCES_BUILD ""
#endif
#ifndef QUILLFERN_RESOURCES_INSTALL
#define QUILLFERN_RESOURCES_INSTALL "/usr/local/share/quillfern"
#endif

namespace {

bool isDir(const std::string& path)
{
	struct stat st;
	return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string parent(const std::string& path)
{
	size_t slash = path.find_last_of('/');
	if (slash == std::string::npos)
		return "";
	return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string AppPathMngrImp::Executable()
{
	char buf[PATH_MAX + 1];
	ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
	if (n <= 0)
		return "";
	return std::string(buf, size_t(n));
}

std::string AppPathMngrImp::Resources(const std::string& executable)
{
	// An installed program lives in <prefix>/bin with its resources in <prefix>/share/quillfern;
	// checking that first lets an installed copy work wherever it was installed.
	if (!executable.empty()) {
		std::string prefix = parent(parent(executable));
		if (!prefix.empty()) {
			std::string shared = (prefix == "/" ? "" : prefix) + "/share/quillfern";
			if (isDir(shared))
				return shared;
		}
	}
	if (isDir(QUILLFERN_RESOURCES_BUILD))
		return QUILLFERN_RESOURCES_BUILD;
	return QUILLFERN_RESOURCES_INSTALL;
}

std::string AppPathMngrImp::ResourcesUser()
{
	const char* data = std::getenv("XDG_DATA_HOME");
	if (data && data[0] == '/')
		return std::string(data) + "/quillfern";
	const char* home = std::getenv("HOME");
	return std::string(home && home[0] ? home : "") + "/.local/share/quillfern";
}

std::string AppPathMngrImp::SystemVersion()
{
	struct utsname name;
	if (uname(&name) != 0)
		return "Linux";
	return std::string(name.sysname) + " " + name.release;
}
