// The Linux half of FileMngr: copying a file with its permission bits and times, syncing a volume.
#pragma once

#include "Error.h"

class FileMngrImp {
public:
	// Copies oldPath to newPath, which must not exist; a failed copy leaves no newPath.
	static Error Copy(const char* oldPath, const char* newPath);
	// Hands path to the desktop's opener (xdg-open) without waiting for it.
	static Error OpenDefault(const char* path);
	// Forces everything written on the file system holding path to stable storage.
};
