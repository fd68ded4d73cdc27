// The user-visible texts of the account and identity managers: alert texts and the placeholder
// defaults of new accounts and identities. They are registered with the language table so that a
// language file can translate them; until they are (or when another facility registered a section
// of the same name first) the English texts here are used directly.
#pragma once

#include "Language.h"
#include "TString.h"

class AcctStrings {
public:
	// Registers the sections that are not registered yet; safe to call more than once.
	static bool Start();

	// The program's display name, used in the titles of settings files.
	static void AppName(TString& out);

	// The text of key with its variables (of the types of the key's formats) substituted.
	template <typename... Args> static void Text(TString& out, const char* key, Args... args)
	{
		if (Language::Started() && Language::NameCheck(key)) {
			Language::String(key, out, false, args...);
			return;
		}
		const char* formats = "";
		const char* english = englishFind(key, &formats);
		if (!english) {
			out = key;
			return;
		}
		Language::StringRaw(out, english, formats, args...);
	}

private:
	static const char* englishFind(const char* key, const char** formats);
};
