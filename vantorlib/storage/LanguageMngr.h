// The installed languages: one folder "<Name>.lproj" per language, in the per-user resources
// folder (which wins for a name found in both) or in the shipped resources folder.
#pragma once

class TString;

enum LangType {
	LangTypeEnglish = 1,
	LangTypeCurrent = 2,
};

class LanguageMngr {
public:
	static constexpr const char* kTitle = "Language Manager problem";

	// Finds the languages and chooses the current one from the user's locale.
	static bool Start();
	static void Stop();

	static long Count();
	// The English language for LangTypeEnglish, else the current one; -1 before Start.
	static long Index(LangType type);
	static long CurrentGet();
	// Ignored when index is out of range; the caller reads the language again (LanguageLoad).
	static void CurrentSet(long index);
	// The index of the language with this folder path or name (ignoring case); -1 when none.
	static long Find(const char* pathOrName);
	// The display name (the folder name until the language file gives its "LanguageName").
	static bool NameGet(TString& out, long index);
	static bool NameSet(const char* name, long index);
	// The language's folder.
	static bool PathGet(TString& out, long index);
	// The language's file: its folder plus "strings.txt".
	static bool FileGet(TString& out, long index);
	// Moves a language to another folder (the English language when its file is written to
	// the per-user folder).
	static bool PathSet(const char* path, long index);
};
