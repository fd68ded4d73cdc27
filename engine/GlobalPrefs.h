// Engine-wide preferences kept in the per-user preferences store: where the data root is, and
// the default line length and character set of composed messages.
#pragma once

#include "Charset.h"
#include "Error.h"
#include "PrefsValue.h"
#include "TString.h"

class GlobalPrefs {
public:
	static const char* const kDomain;  // identifier of the preferences domain
	static const char* const kKeyRootPath;
	static const char* const kKeyMessageLineLen;
	static const char* const kKeyMessageCharset;

	static bool Start();
	static void Stop();

	// A data root for this process only (the command's --root); never stored. Set before Start.
	static void RootOverrideSet(const TString& path);

	static void PathRoot(TString& out);  // the absolute root in use
	static void PrefRootGet(TString& out);  // the stored root, possibly starting with "~"
	static void PrefRootDefault(TString& out);
	static Error PrefRootSet(const TString& path);

	static long PrefMessageLineLenGet();
	// The setters store and save; false when the save failed (an alert has been shown).
	static bool PrefMessageLineLenSet(long length);
	static Charset PrefMessageCharsetGet();
	static bool PrefMessageCharsetSet(Charset cs);

	// The check a data root must pass: a valid path of 6 characters or more, no white space at
	// either end, starting with "~" or "/".
	static bool PathCheck(const TString& path);

	// The preferences folder and the files of the domain in it.
	static void LockPath(TString& out);
	static void StorePath(TString& out);

private:
	static bool load(bool alert);
	static bool save(const char* key, const PrefsValue& value);
	static void fixups();

	static TString sRootPathTilde;
	static TString sRootPathAbsolute;
	static TString sRootOverride;
	static long sMessageLineLen;
	static Charset sMessageCharset;
	static bool sStarted;
};
