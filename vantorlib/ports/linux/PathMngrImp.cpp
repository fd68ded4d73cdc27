#include "PathMngrImp.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <vector>

static std::string trimSlashes(std::string s)
{
	while (s.size() > 1 && s.back() == '/')
		s.pop_back();
	return s;
}

static std::string passwdHome(const struct passwd* pw)
{
	return pw && pw->pw_dir && pw->pw_dir[0] == '/' ? trimSlashes(pw->pw_dir) : std::string();
}

std::string PathMngrImp::Home()
{
	const char* home = ::getenv("HOME");
	if (home && home[0] == '/')
		return trimSlashes(home);
	struct passwd pw, *found = nullptr;
	std::vector<char> buf(16384);
	if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found)
		return passwdHome(found);
	return std::string();
}

std::string PathMngrImp::HomeOf(const std::string& user)
{
	struct passwd pw, *found = nullptr;
	std::vector<char> buf(16384);
	if (::getpwnam_r(user.c_str(), &pw, buf.data(), buf.size(), &found) == 0 && found)
		return passwdHome(found);
	return std::string();
}

std::string PathMngrImp::XdgDir(const char* variable, const char* fallback)
{
	const char* v = ::getenv(variable);
	if (v && v[0] == '/')
		return trimSlashes(v);
	std::string home = Home();
	if (home.empty())
		return std::string();
	return (home == "/" ? std::string() : home) + fallback;
}

std::string PathMngrImp::Desktop()
{
	std::string home = Home();
	if (home.empty())
		return home;
	std::ifstream in(XdgDir("XDG_CONFIG_HOME", "/.config") + "/user-dirs.dirs");
	std::string line;
	while (std::getline(in, line)) {
		const std::string key = "XDG_DESKTOP_DIR=\"";
		if (line.compare(0, key.size(), key) != 0 || line.back() != '"')
			continue;
		std::string value = line.substr(key.size(), line.size() - key.size() - 1);
		if (value.compare(0, 5, "$HOME") == 0)
			value.replace(0, 5, home);
		if (!value.empty() && value[0] == '/')
			return trimSlashes(value);
	}
	return (home == "/" ? std::string() : home) + "/Desktop";
}
