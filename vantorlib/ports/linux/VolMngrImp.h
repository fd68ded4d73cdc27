// The Linux half of VolMngr: the mount table of this process.
#pragma once

#include <string>
#include <vector>

struct VolMount {
	std::string mountPoint;
	std::string fsType;
	std::string source;
	bool readOnly = false;
};

class VolMngrImp {
public:
	// The current mounts in table order (/proc/self/mountinfo); volume n is entry n-1.
	static std::vector<VolMount> Mounts();
	// The index of the mount holding an absolute, resolved path (longest mount point that
	// contains it), or -1.
	static long MountOf(const std::vector<VolMount>& mounts, const std::string& path);
	static bool NetworkType(const std::string& fsType);
};
