// The mounted volumes. A volume is named by a small number, valid until the mounts change;
// 0 names none.
#pragma once

#include "Error.h"
#include "TString.h"

struct VolInfo {
	unsigned long long totalBytes = 0;
	unsigned long long freeBytes = 0;  // available to this user
	unsigned long blockSize = 0;
	bool readOnly = false;
	TString fsType;  // such as "ext4", "nfs"
	TString device;  // mount source
};

class VolMngr {
public:
	// The volume holding "/".
	static Error Boot(short* volume);
	// The volume holding path (or, for a missing path, its nearest existing parent).
	static Error Path(const char* path, short* volume);
	static Error Path(const TString& path, short* volume);
	static Error RootDir(short volume, TString& path);
	// Volumes by index from 0; ErrVolNotFound past the last.
	static Error Next(long index, short* volume);
	static Error Info(short volume, VolInfo* info);
	// On a local file system (not a network or virtual one).
	static Error IsNative(short volume, bool* native);
	// Local and writable: fit for keeping the user's data.
	static Error IsSafe(short volume, bool* safe);
};
