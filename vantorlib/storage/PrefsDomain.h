// A per-user preferences domain: a named dictionary of typed values (string, integer, real,
// boolean, nested dictionaries) kept in "<identifier>.prefs" in the user's preferences folder
// ($XDG_CONFIG_HOME/quillfern, by default ~/.config/quillfern).
//
// The file is text, one value a line, each line naming the value's key path:
//   "RootPath" = string "~/Library/QuillfernData"
//   "MessageLineLen" = integer 78
//   "FileDialogPaths" = dict
//   "FileDialogPaths" "MessageSave" = string "~"
// Keys and strings are quoted with backslash escapes (\\ \" \n \r \t \xHH). Writing replaces
// the file in one step (temporary file, sync, rename), so a reader never sees half of it.
//
// Two processes that change one domain take turns through the domain's lock file
// ("<identifier>.lock" beside it): Update() locks, reads the current file, applies the
// change and writes it back, so keys written meanwhile by others are kept.
#pragma once

#include <functional>

#include "DiskFile.h"
#include "Error.h"
#include "PrefsValue.h"
#include "TString.h"

class PrefsDomain {
public:
	static constexpr const char* kExtension = "prefs";
	static constexpr const char* kLockExtension = "lock";

	explicit PrefsDomain(const TString& identifier);
	~PrefsDomain();
	PrefsDomain(const PrefsDomain&) = delete;
	PrefsDomain& operator=(const PrefsDomain&) = delete;

	const TString& Identifier() const { return mIdentifier; }
	// The preferences folder (created when missing); the same as DirMngr::Find with
	// DirMngr::FindPrefs.
	static Error FolderGet(TString& path);
	Error PathGet(TString& path) const;
	Error LockPathGet(TString& path) const;

	// Reads the domain's file; a missing file is an empty domain. A malformed file is
	// ErrFileInvalidData and leaves the values empty.
	Error Read();
	// Writes every value. Nothing is written when a value would not read back: a line longer
	// than a text line may be (2000 bytes) is ErrFileLineTooLong, a real that is not a finite
	// number ErrFileInvalidData.
	Error Write();
	void Clear() { mRoot.DictSet(); }

	// The whole domain, a dictionary.
	const PrefsValue& Root() const { return mRoot; }
	PrefsValue& Root() { return mRoot; }
	const PrefsValue* Get(const char* key) const { return mRoot.Find(key); }
	void Set(const char* key, const PrefsValue& value) { mRoot.Entry(key) = value; }
	bool Remove(const char* key) { return mRoot.Remove(key); }

	bool StringGet(const char* key, TString& value) const;
	bool IntegerGet(const char* key, long long& value) const;
	bool RealGet(const char* key, double& value) const;
	bool BooleanGet(const char* key, bool& value) const;
	void StringSet(const char* key, const TString& value) { Set(key, PrefsValue::FromString(value)); }
	void IntegerSet(const char* key, long long value) { Set(key, PrefsValue::FromInteger(value)); }
	void RealSet(const char* key, double value) { Set(key, PrefsValue::FromReal(value)); }
	void BooleanSet(const char* key, bool value) { Set(key, PrefsValue::FromBoolean(value)); }

	// Takes the domain's lock file, waiting up to wait microseconds for another holder.
	Error Lock(long long wait = DiskFile::kLockWaitDefault);
	// Gives the lock back and removes the lock file.
	Error Unlock();
	bool LockHeld() const { return mLock.IsOpen(); }

	// Lock, read, unlock.
	Error Load(long long wait = DiskFile::kLockWaitDefault);
	// Lock, read, change, write, unlock: the values become the file's current ones with the
	// change applied. The first error wins; the lock is always given back.
	Error Update(
		const std::function<void(PrefsDomain&)>& change, long long wait = DiskFile::kLockWaitDefault);

	// The text form of the values, one line each (used by Write, and by tests).
	static void Lines(const PrefsValue& root, std::vector<TString>& lines);
	// Parses one line into the dictionary root; false for a malformed line.
	static bool LineParse(const char* line, PrefsValue& root);

private:
	TString mIdentifier;
	PrefsValue mRoot;
	DiskFile mLock;
	TString mLockPath;
};
