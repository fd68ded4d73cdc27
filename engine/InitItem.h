// Reading and writing the typed items of the account and identity settings files: yes/no values,
// texts that a person may have written without quotes, and durations.
#pragma once

#include "TString.h"

class InitFile;

class InitItem {
public:
	// A yes/no value, written as "true" or "false"; reads the eight yes/no words in any case
	// and the numbers 0 and 1.
	static bool BoolSet(InitFile& file, const char* section, const char* item, bool value);
	static bool BoolGet(const InitFile& file, const char* section, const char* item, bool& value);

	// A text item; an unquoted value is taken as it stands.
	static bool TextGet(const InitFile& file, const char* section, const char* item, TString& value);

	// A duration in words ("30 seconds"), written in English so that the file reads the same
	// whatever the language; read in English or the current language.
	static bool DurationSet(InitFile& file, const char* section, const char* item, long long usecs);
	static bool DurationGet(const InitFile& file, const char* section, const char* item, long long& usecs);
};
