// Platform half of AppPathMngr: the executable's path and the resources folders on Linux.
#pragma once

#include <string>

class AppPathMngrImp {
public:
	// The running executable (from /proc/self/exe); "" when unknown.
	static std::string Executable();
	// The shipped resources: "<prefix>/share/quillfern" beside an installed executable, else
	// the source tree's resources folder when the program runs from its build folder, else
	// the configured install location.
	static std::string Resources(const std::string& executable);
	// "$XDG_DATA_HOME/quillfern", or "~/.local/share/quillfern".
	static std::string ResourcesUser();
	// The system's name and release ("Linux 6.1.0-18-amd64"); "Linux" when unknown.
	static std::string SystemVersion();
};
