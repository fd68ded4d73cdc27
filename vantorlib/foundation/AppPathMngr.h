// Where the program and its shipped resources are, and the per-user folder for the files the
// program writes beside them (a generated English language file, the user's own languages).
#pragma once

class TString;

class AppPathMngr {
public:
	// Computes the paths once; true when the executable's path is known.
	static bool Start();
	static void Stop();

	static void FullPath(TString& out);  // the executable, absolute
	static void LeafName(TString& out);  // its file name
	static void ParentDirectory(TString& out);  // the folder holding it
	static void Executable(TString& out);  // same as FullPath
	// The shipped resources folder (language folders "<Name>.lproj"); may be read-only.
	static void Resources(TString& out);
	static void ResourcesEnglish(TString& out);
	// The per-user resources folder: "$XDG_DATA_HOME/quillfern" (default ~/.local/share/quillfern).
	static void ResourcesUser(TString& out);
	static void ResourcesUserEnglish(TString& out);

	// The operating system's name and release, for the User-Agent of posted messages.
	static void SystemVersion(TString& out);

	// Overrides the folders found by Start (for tests and embedding); null or "" restores them.
	static void ResourcesSet(const char* path);
	static void ResourcesUserSet(const char* path);
};
