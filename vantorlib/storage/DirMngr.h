// Directories in the file system: create, test, rename, remove, iterate, delete whole trees,
// the working directory, well-known folders, the trash and the "~" form of paths.
#pragma once

#include "DEntry.h"
#include "Error.h"
#include "FileBase.h"
#include "TString.h"

// A four-character code naming a well-known folder.
using FindDir = unsigned int;

constexpr FindDir FindDirCode(const char (&code)[5])
{
	return (static_cast<unsigned int>(static_cast<unsigned char>(code[0])) << 24) |
		(static_cast<unsigned int>(static_cast<unsigned char>(code[1])) << 16) |
		(static_cast<unsigned int>(static_cast<unsigned char>(code[2])) << 8) |
		static_cast<unsigned int>(static_cast<unsigned char>(code[3]));
}

class DirMngr {
public:
	// The trash of a volume: the "files" folder of the freedesktop.org trash that holds
	// what is trashed from that volume.
	static constexpr FindDir FindTrash = FindDirCode("trsh");
	// The user's preferences folder: $XDG_CONFIG_HOME/quillfern (created when missing).
	static constexpr FindDir FindPrefs = FindDirCode("pref");
	// The user's desktop folder (the XDG desktop folder, else the home folder).
	static constexpr FindDir FindDesktop = FindDirCode("desk");
	// The user's home folder.
	static constexpr FindDir FindHome = FindDirCode("cusr");
	// The folder for temporary files ($TMPDIR, else /tmp).
	static constexpr FindDir FindTemp = FindDirCode("temp");

	// Called for each entry by Iterate: false stops everything with ErrGmCancelled, clearing
	// more stops after this entry without error.
	using IterateProc = bool (*)(void* context, bool& more, unsigned long depth, const DEntry& entry);
	// Asked before each entry by Obliterate: false stops with ErrGmCancelled.
	using ProceedProc = bool (*)(void* context);

	static Error Exists(const char* path);
	static Error Exists(const TString& path);
	static Error Create(const char* path);
	static Error Create(const TString& path);
	static Error Remove(const char* path);
	static Error Remove(const TString& path);
	static Error Rename(const TString& oldPath, const TString& newPath);
	static Error Obliterate(const TString& path, bool removeTop, ProceedProc proceed, void* context);
	static Error Iterate(const TString& path, bool recursive, IterateProc proc, void* context);
	static Error CurGet(TString& path);
	static Error CurSet(const TString& path);
	static Error Absolute(const char* path, TString& out);
	static Error Absolute(const TString& path, TString& out);
	// ErrOkay when the owner may list, enter and change the directory.
	static Error Access(const TString& path);
	// Like FileBase::PermUpdate, with the search bits following the read bits.
	static Error PermUpdate(const TString& path, FileAccess access);
	static Error Find(FindDir folder, short volume, TString& path);
	// Moves a directory to the trash (with an entry that the desktop can restore it from).
	static Error Trash(const TString& path);
	// "/home/me/x" <-> "~/x".
	static Error TildePathFromPath(TString& path);
	static Error TildePathToPath(TString& path);
};
