// One directory entry: the directory holding it, its leaf name and its cached status (read
// without following symbolic links).
#pragma once

#include <sys/stat.h>

#include "Error.h"
#include "FileBase.h"
#include "TString.h"

class DEntry {
public:
	static constexpr long long kOneDay = 86400LL * 1000000LL;

	DEntry();

	Error Assign(const TString& path);
	Error Assign(const TString& root, const TString& leaf);
	Error PathSet(const TString& path) { return Assign(path); }
	void RootSet(const TString& root);
	void LeafSet(const TString& leaf);

	const TString& Root() const { return mRoot; }
	const TString& Leaf() const { return mLeaf; }
	// Root and leaf joined; ErrGmBadPath when that is not a valid path.
	Error PathGet(TString& path) const;

	// Reads the status; sets has-status and found on success.
	Error Stat();
	bool HasStatus() const { return mHasStatus; }
	void StatGet(struct stat& st) const { st = mStat; }
	void StatSet(const struct stat& st);

	bool Found() const { return mFound; }
	void FoundSet(bool found) { mFound = found; }
	bool Specific() const { return mSpecific; }
	void SpecificSet(bool specific) { mSpecific = specific; }

	EntryType TypeGet() const { return FileBase::TypeGet(&mStat); }
	bool IsFile() const { return TypeGet() == EntryFile; }
	bool IsDirectory() const { return TypeGet() == EntryDirectory; }
	bool IsSymlink() const { return TypeGet() == EntrySymlink; }
	bool IsUnknown() const { return TypeGet() == EntryUnknown; }
	unsigned long long Size() const { return static_cast<unsigned long long>(mStat.st_size); }
	unsigned short Perms() const { return static_cast<unsigned short>(mStat.st_mode & 07777); }
	// The modification time as a time value (microseconds since 1970).
	long long Time() const;
	// Hidden from listings: entries of unknown type and the ".DS_Store" files of Macs.
	bool Invisible() const;

	bool Reparent(const TString& oldRoot, const TString& newRoot);
	bool Unique(const TString& rootA, const TString& rootB, TString& path) const;
	// 0 when the modification times differ by less than tolerance (a day more when either
	// entry's time is not specific); -1 when this entry is older, 1 when newer.
	int CompareTime(const DEntry& other, long long tolerance) const;

	// Orders entries by their full paths, byte by byte.
	static bool comp(const DEntry& a, const DEntry& b);
	bool operator<(const DEntry& other) const { return comp(*this, other); }

private:
	struct stat mStat;
	TString mRoot;
	TString mLeaf;
	bool mHasStatus = false;
	bool mFound = false;
	bool mSpecific = true;
};
