// Shared file enumerations and the static operations on paths that every file class needs:
// status, permissions, symbolic links and a free name in a folder or in the trash.
#pragma once

#include <sys/stat.h>

#include <cstddef>

#include "Error.h"

class TString;

enum FileAccess : int {
	FileAccessNone = 0,
	FileAccessRead = 1,
	FileAccessWrite = 2,
	FileAccessReadWrite = 3,
};

enum FilePtrMethod : int {
	FilePtrStart = 0,
	FilePtrCurrent = 1,
	FilePtrEnd = 2,
};

enum EntryType : int {
	EntryUnknown = 0,
	EntryFile = 1,
	EntryDirectory = 2,
	EntrySymlink = 3,
};

// Platform file-type metadata (four-character type and creator codes). Kept for the callers'
// sake; Linux has no such metadata, so setting it succeeds without effect.
struct FileData {
	unsigned int type = 0;
	unsigned int creator = 0;
};

class FileBase {
public:
	// The longest symbolic link target SymRead accepts.
	static constexpr unsigned long kSymTargetMax = 1033;
	// How many numbered " copy N" names TrashName tries.
	static constexpr unsigned long kTrashNameMax = 4000;

	static Error Stat(const char* path, struct stat* st, bool follow);
	static Error Stat(const TString& path, struct stat* st, bool follow);
	static EntryType TypeGet(const struct stat* st);
	static const char* TypeStr(EntryType type);

	static Error PermCheck(FileAccess access, unsigned short mode);
	static unsigned short PermMask(FileAccess access, unsigned short mode);
	static Error PermGet(const char* path, unsigned short* mode);
	static Error PermGet(const TString& path, unsigned short* mode);
	static Error PermSet(const char* path, unsigned short mode);
	static Error PermSet(const TString& path, unsigned short mode);
	static Error PermUpdate(const char* path, FileAccess access);
	static Error PermUpdate(const TString& path, FileAccess access);
	static void PermStr(TString& out, unsigned short mode);

	// The canonical absolute path: symbolic links and dot segments resolved.
	static Error Absolute(const char* path, TString& out);
	static Error Absolute(const TString& path, TString& out);

	static Error SymRead(const char* path, TString& out, unsigned long maxDepth);
	static Error SymRead(const TString& path, TString& out, unsigned long maxDepth);
	static Error SymWrite(const char* linkPath, const char* target);
	static Error SymWrite(const TString& linkPath, const TString& target);

	// A free name for path inside dir ("a.txt", "a copy.txt", "a copy 2.txt", ...); path
	// receives the whole new path.
	static Error TrashName(const TString& dir, TString& path);
	// The same inside the trash of path's volume.
	static Error TrashName(TString& path);

	// Assigns raw file-system bytes to a string. File names on Linux are byte strings that
	// need not be valid UTF-8, so the string is allowed to hold invalid text when they are not.
	static void AssignBytes(TString& out, const char* bytes, size_t n);
	static void AssignBytes(TString& out, const char* bytes);
};
