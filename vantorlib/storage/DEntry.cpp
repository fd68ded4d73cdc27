#include "DEntry.h"

#include <cstring>

#include "PathMngr.h"

DEntry::DEntry()
{
	std::memset(&mStat, 0, sizeof mStat);
}

Error DEntry::Assign(const TString& path)
{
	std::memset(&mStat, 0, sizeof mStat);
	mHasStatus = false;
	mFound = false;
	if (!PathMngr::SplitRootLeaf(path, mRoot, mLeaf))
		return ErrGmBadPath;
	return ErrOkay;
}

Error DEntry::Assign(const TString& root, const TString& leaf)
{
	std::memset(&mStat, 0, sizeof mStat);
	mHasStatus = false;
	mFound = false;
	mRoot = root;
	mLeaf = leaf;
	TString path;
	return PathGet(path);
}

void DEntry::RootSet(const TString& root)
{
	mRoot = root;
	mHasStatus = false;
}

void DEntry::LeafSet(const TString& leaf)
{
	mLeaf = leaf;
	mHasStatus = false;
}

Error DEntry::PathGet(TString& path) const
{
	path = mRoot;
	if (!PathMngr::Append(path, mLeaf))
		return ErrGmBadPath;
	return ErrOkay;
}

Error DEntry::Stat()
{
	TString path;
	Error e = PathGet(path);
	if (e == ErrOkay)
		e = FileBase::Stat(path, &mStat, false);
	mHasStatus = e == ErrOkay;
	mFound = mHasStatus;
	return e;
}

void DEntry::StatSet(const struct stat& st)
{
	mStat = st;
	mHasStatus = true;
}

long long DEntry::Time() const
{
	return static_cast<long long>(mStat.st_mtim.tv_sec) * 1000000LL + mStat.st_mtim.tv_nsec / 1000;
}

bool DEntry::Invisible() const
{
	return IsUnknown() || mLeaf == ".DS_Store";
}

bool DEntry::Reparent(const TString& oldRoot, const TString& newRoot)
{
	TString path;
	if (PathGet(path) != ErrOkay || !PathMngr::Reparent(oldRoot, newRoot, path))
		return false;
	return PathMngr::SplitRootLeaf(path, mRoot, mLeaf);
}

bool DEntry::Unique(const TString& rootA, const TString& rootB, TString& path) const
{
	if (PathGet(path) != ErrOkay)
		return false;
	return PathMngr::Unique(rootA, rootB, path);
}

int DEntry::CompareTime(const DEntry& other, long long tolerance) const
{
	if (!mSpecific || !other.mSpecific)
		tolerance += kOneDay;
	long long diff = Time() - other.Time();
	if (diff < tolerance && -diff < tolerance)
		return 0;
	return diff < 0 ? -1 : 1;
}

bool DEntry::comp(const DEntry& a, const DEntry& b)
{
	TString pa, pb;
	a.PathGet(pa);
	b.PathGet(pb);
	return std::strcmp(pa.String(), pb.String()) < 0;
}
