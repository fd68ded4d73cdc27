#include "GroupItem.h"

#include <algorithm>

#include "NetName.h"
#include "TextFile.h"

namespace {

constexpr long long kLockWait = 1000000;

bool nameLess(const GroupItem& a, const GroupItem& b)
{
	return a.name < b.name;
}

bool asked(const GroupItem::AbortCheck& abortCheck)
{
	return !abortCheck || abortCheck();
}

}  // namespace

Error GroupItem::ListRead(List& list, const TString& path, const AbortCheck& abortCheck)
{
	TextFile file;
	Error err = file.Open(path, TextFile::ModeRead, kLockWait);
	if (err != ErrOkay)
		return err;
	TString line;
	unsigned long count = 0;
	bool inLongLine = false;  // the rest of a line longer than a text line is still coming
	while (err == ErrOkay) {
		if (count++ % kAbortEvery == 0 && !asked(abortCheck)) {
			err = ErrGmCancelled;
			break;
		}
		Error e = file.Read(line);
		if (e == ErrFileEnd)
			break;
		if (e == ErrFileLineTooLong) {
			// Its pieces are not names, even when the last one would look like one.
			inLongLine = true;
			continue;
		}
		if (e != ErrOkay) {
			err = e;
			break;
		}
		if (inLongLine) {
			inLongLine = false;
			continue;
		}
		if (line.Valid() && NetName::NewsValid(line))
			list.emplace_back(line);
	}
	if (err == ErrOkay) {
		ListSort(list);
		ListUnique(list);
		if (!asked(abortCheck))
			err = ErrGmCancelled;
	}
	Error closed = file.Close();
	if (err == ErrOkay)
		err = closed;
	return err;
}

void GroupItem::ListSort(List& list)
{
	std::stable_sort(list.begin(), list.end(), nameLess);
}

void GroupItem::ListUnique(List& list)
{
	list.erase(std::unique(list.begin(), list.end(),
				   [](const GroupItem& a, const GroupItem& b) { return a.name == b.name; }),
		list.end());
}

long GroupItem::ListFind(const List& list, const TString& name)
{
	GroupItem probe(name);
	auto it = std::lower_bound(list.begin(), list.end(), probe, nameLess);
	if (it == list.end() || !(it->name == name))
		return -1;
	return static_cast<long>(it - list.begin());
}

void GroupItem::ListAdd(List& list, const std::vector<TString>& names)
{
	if (names.size() > kAddOneByOneMax) {
		for (const TString& name : names)
			list.emplace_back(name);
		ListSort(list);
		ListUnique(list);
		return;
	}
	for (const TString& name : names) {
		GroupItem item(name);
		auto it = std::lower_bound(list.begin(), list.end(), item, nameLess);
		if (it == list.end())
			list.push_back(item);
		else if (!(it->name == name))
			list.insert(it, item);
	}
}

void GroupItem::ListDel(List& list, const std::vector<TString>& names)
{
	bool any = false;
	for (const TString& name : names) {
		long i = ListFind(list, name);
		if (i >= 0) {
			list[static_cast<size_t>(i)].deleted = true;
			any = true;
		}
	}
	if (any)
		list.erase(std::remove_if(list.begin(), list.end(), [](const GroupItem& g) { return g.deleted; }),
			list.end());
}
