// One newsgroup in a selection list, and the operations on such lists. A group list is kept
// sorted by name in plain byte order and holds each name once; both the server's whole list
// and an account's subscribed newsgroups are group lists.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Error.h"
#include "TString.h"

class GroupItem {
public:
	using List = std::vector<GroupItem>;
	// Asked now and then during a long read; false ends the read with ErrGmCancelled.
	using AbortCheck = std::function<bool()>;

	GroupItem() = default;
	explicit GroupItem(const TString& groupName, uint32_t iconType = 0) : name(groupName), icon(iconType) {}

	TString name;
	bool deleted = false;  // marked for removal by ListDel
	uint32_t icon = 0;  // the display icon of the group's download type

	// More names than this at once are appended and the list sorted again, rather than
	// inserted one by one.
	static constexpr size_t kAddOneByOneMax = 70;
	// How many lines a read takes between two questions to the abort check.
	static constexpr unsigned long kAbortEvery = 200;

	// Reads a newsgroup list file (one name a line) into list: every line that is valid UTF-8
	// and a valid newsgroup name, sorted, each once. Lines too long for a text line are skipped
	// whole. A missing abort check never aborts.
	static Error ListRead(List& list, const TString& path, const AbortCheck& abortCheck);
	static void ListSort(List& list);
	// Drops adjacent items of the same name (run after ListSort).
	static void ListUnique(List& list);
	// The index of the item named exactly name, or -1.
	static long ListFind(const List& list, const TString& name);
	static void ListAdd(List& list, const std::vector<TString>& names);
	static void ListDel(List& list, const std::vector<TString>& names);
};
