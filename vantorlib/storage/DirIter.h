// Reads the entries of one directory, skipping "." and "..".
#pragma once

#include <dirent.h>

#include "DEntry.h"
#include "Error.h"
#include "TString.h"

class DirIter {
public:
	DirIter() = default;
	~DirIter();
	DirIter(const DirIter&) = delete;
	DirIter& operator=(const DirIter&) = delete;

	Error Open(const char* path);
	Error Open(const TString& path);
	// The next entry with its status read; ErrDirEnd after the last.
	Error Next(DEntry& entry);
	Error Close();
	bool IsOpen() const { return mDir != nullptr; }
	const TString& PathGet() const { return mPath; }

private:
	DIR* mDir = nullptr;
	TString mPath;
};
