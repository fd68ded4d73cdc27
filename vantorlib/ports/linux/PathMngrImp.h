// The Linux half of the path operations: the user's home and the XDG base folders.
#pragma once

#include <string>

class PathMngrImp {
public:
	// $HOME when it is absolute, else the password database; no trailing "/". Empty when
	// neither knows it.
	static std::string Home();
	// The home folder of another user; empty when unknown.
	static std::string HomeOf(const std::string& user);
	// An absolute XDG base folder from its variable, else home + fallback (such as
	// "/.config").
	static std::string XdgDir(const char* variable, const char* fallback);
	// The desktop folder named in user-dirs.dirs, else home + "/Desktop"; empty when unknown.
	static std::string Desktop();
};
