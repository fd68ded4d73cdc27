// Platform half of the language choice: the user's preferred localization on Linux.
#pragma once

#include <string>
#include <vector>

class LanguageImp {
public:
	// The user's locales in order of preference, from LANGUAGE (a colon-separated list),
	// LC_ALL, LC_MESSAGES and LANG; empty values are skipped.
	static std::vector<std::string> Preferred();

	// The index of the language folder name (without ".lproj") that suits the locales best:
	// a folder named by the full locale ("pt_BR"), by its language code ("de") or by the
	// language's English name ("German"); the C and POSIX locales are English. -1 when no
	// folder suits.
	static long Choose(const std::vector<std::string>& locales, const std::vector<std::string>& folders);

	// The English name of an ISO 639-1 language code ("de" gives "German"); "" when unknown.
	static const char* CodeName(const std::string& code);
};
