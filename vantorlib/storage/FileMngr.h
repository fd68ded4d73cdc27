// Files in the file system: test, remove, rename, move, copy, times, permissions, the trash.
#pragma once

#include "Error.h"
#include "FileBase.h"
#include "TString.h"

class FileMngr {
public:
	static Error Exists(const char* path);
	static Error Exists(const TString& path);
	// Deletes a regular file or a symbolic link that its owner may read and write.
	static Error Remove(const char* path);
	static Error Remove(const TString& path);
	static Error Rename(const TString& oldPath, const TString& newPath);
	// A second name for an existing file (a hard link), never replacing anything: an existing
	// newPath is ErrFileAlreadyExists.
	static Error Link(const TString& existing, const TString& newPath);
	// A rename on one volume, a copy and a removal across volumes.
	static Error Move(const TString& oldPath, const TString& newPath);
	// Renames a file over any file of the new name (in the same volume), in one step.
	static Error Replace(const TString& oldPath, const TString& newPath);
	// Opens the file with the desktop's default application.
	static Error OpenDefault(const TString& path);
	// Copies data, permission bits and times; newPath must not exist yet.
	static Error Copy(const TString& oldPath, const TString& newPath);
	static Error TimeGet(const TString& path, long long& time);
	// Sets the modification time and keeps the access time.
	static Error TimeSet(const TString& path, long long time);
	static Error PermGet(const TString& path, unsigned short* mode);
	static Error PermSet(const TString& path, unsigned short mode);
	static Error PermUpdate(const TString& path, FileAccess access);
	static Error Absolute(const TString& path, TString& out);
	// Moves a file to the trash (with an entry that the desktop can restore it from).
	static Error Trash(const TString& path);
};
