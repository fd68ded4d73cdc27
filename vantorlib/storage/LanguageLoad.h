// Reading and writing language files ("<Name>.lproj/strings.txt").
//
// Format: UTF-8 lines; empty lines and lines starting with ";" are comments; an entry is a key,
// whitespace and a quoted text (TString::QuoteDecode syntax), optionally followed by a ";"
// comment. Every registered key must have a text, and each text must use the variables of its
// key exactly as the English text may.
#pragma once

class TString;

class LanguageLoad {
public:
	static constexpr const char* kTitle = "Language loader problem";

	// Writes the English file when it is missing, checks every other language, then reads the
	// current one, which stays loaded. A problem in a translation stops the start. The English
	// texts are built in, so a problem in the English file is reported and the built-in texts
	// are used.
	static bool Start();
	static void Stop();

	static const char* FileLeaf();  // "strings"
	static const char* FileExt();  // "txt"

	// Reads the language at index into the table (after forgetting the previous texts); on a
	// problem its text (without the file line) goes to problem when given, and false.
	static bool Read(long index, TString* problem = nullptr);
	// Reads the current language again (after LanguageMngr::CurrentSet) and reloads the date
	// words; a problem is shown and the English texts stay in use.
	static bool CurrentRead();
	// Writes a language file holding every registered section with its English texts.
	static bool FileWrite(const char* path, const char* languageName);
};
