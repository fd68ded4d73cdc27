// Group lists: reading a downloaded newsgroup list file, and adding and removing names while
// the list stays sorted and free of duplicates.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GroupItem.h"
#include "TestSupport.h"

namespace {

std::vector<std::string> names(const GroupItem::List& list)
{
	std::vector<std::string> out;
	for (const GroupItem& item : list)
		out.push_back(item.name.String());
	return out;
}

std::vector<TString> tstrings(const std::vector<std::string>& in)
{
	std::vector<TString> out;
	for (const std::string& s : in)
		out.emplace_back(s.c_str());
	return out;
}

GroupItem::List readText(const std::string& content, Error* result = nullptr)
{
	TestSupport::TempDir dir;
	std::string path = dir.Sub("NewsgroupList.txt");
	TestSupport::WriteFile(path, content);
	GroupItem::List list;
	Error e = GroupItem::ListRead(list, TString(path.c_str()), nullptr);
	if (result)
		*result = e;
	else
		EXPECT_EQ(e, ErrOkay);
	return list;
}

TEST(GroupItemRead, KeepsEachValidNameOnceInByteOrder)
{
	// Duplicates, names that are not newsgroup names, invalid UTF-8, every kind of line end,
	// and upper case sorting before lower case.
	std::string text = "rec.gardening.ferns\n"
					   "comp.lang.c\r\n"
					   "not a group name\n"
					   "\n"
					   "rec.gardening.ferns\r"
					   "bad\xff\xfe.utf8\n\r"
					   "Alt.Upper\n"
					   "de.rec.garten\tGartenpflege\n"
					   "comp.lang.c\n"
					   "fr.rec.jardinage.\xc3\xa9t\xc3\xa9\n"
					   "alt.binaries.pictures.ferns";
	EXPECT_EQ(names(readText(text)),
		(std::vector<std::string>{"Alt.Upper", "alt.binaries.pictures.ferns", "comp.lang.c",
			"fr.rec.jardinage.\xc3\xa9t\xc3\xa9", "rec.gardening.ferns"}));
	EXPECT_TRUE(readText("").empty());
}

TEST(GroupItemRead, LineTooLongIsSkippedWhole)
{
	// The tail of an over-long line must not read as a name of its own.
	std::string longLine = std::string(2000, 'x') + "misc.tail";
	std::string longer = std::string(4100, 'y') + "misc.tail2";
	EXPECT_EQ(names(readText("alt.one\n" + longLine + "\nalt.two\n" + longer + "\nalt.three\n")),
		(std::vector<std::string>{"alt.one", "alt.three", "alt.two"}));
}

TEST(GroupItemRead, AbortCheckAndMissingFile)
{
	TestSupport::TempDir dir;
	std::string path = dir.Sub("list");
	std::string text;
	for (int i = 0; i < 1000; ++i)
		text += "alt.group" + std::to_string(i) + "\n";
	TestSupport::WriteFile(path, text);

	// The check is asked every 200 lines (from line 0) and once at the end.
	int asked = 0;
	GroupItem::List list;
	EXPECT_EQ(GroupItem::ListRead(list, TString(path.c_str()), [&] { return ++asked > 0; }), ErrOkay);
	EXPECT_EQ(list.size(), 1000u);
	EXPECT_GE(asked, 6);
	EXPECT_LE(asked, 7);

	int calls = 0;
	list.clear();
	EXPECT_EQ(GroupItem::ListRead(list, TString(path.c_str()), [&] { return ++calls < 3; }), ErrGmCancelled);
	// A refusal at the final check cancels too.
	list.clear();
	calls = 0;
	EXPECT_EQ(
		GroupItem::ListRead(list, TString(path.c_str()), [&] { return ++calls < asked; }), ErrGmCancelled);

	list.clear();
	EXPECT_EQ(GroupItem::ListRead(list, TString(dir.Sub("none").c_str()), nullptr), ErrFileNotFound);
	EXPECT_TRUE(list.empty());
}

TEST(GroupItemList, AddingManyAtOnceEqualsAddingOneByOne)
{
	std::vector<std::string> start = {"alt.m", "comp.b", "rec.z"};
	std::vector<std::string> added;
	for (int i = 70; i >= 0; --i)  // 71 names, out of order, with the existing ones among them
		added.push_back("alt.g" + std::to_string(i * 7 % 71));
	added.push_back("comp.b");
	added.push_back("alt.g3");
	ASSERT_GT(added.size(), GroupItem::kAddOneByOneMax);

	GroupItem::List atOnce, oneByOne;
	GroupItem::ListAdd(atOnce, tstrings(start));
	GroupItem::ListAdd(oneByOne, tstrings(start));
	GroupItem::ListAdd(atOnce, tstrings(added));
	for (const std::string& name : added)
		GroupItem::ListAdd(oneByOne, tstrings({name}));
	EXPECT_EQ(names(atOnce), names(oneByOne));
	std::vector<std::string> expected = names(atOnce);
	EXPECT_TRUE(std::is_sorted(expected.begin(), expected.end()));
	EXPECT_EQ(std::adjacent_find(expected.begin(), expected.end()), expected.end());
	EXPECT_EQ(atOnce.size(), 71u + 3u);

	// Appending beyond the end and inserting at the front, a few at a time.
	GroupItem::List few;
	GroupItem::ListAdd(few, tstrings({"b.b", "z.z", "a.a", "z.z", "m.m", "a.a"}));
	EXPECT_EQ(names(few), (std::vector<std::string>{"a.a", "b.b", "m.m", "z.z"}));
}

TEST(GroupItemList, FindAndDelete)
{
	GroupItem::List list;
	GroupItem::ListAdd(list, tstrings({"alt.a", "alt.b", "alt.c", "alt.d", "Alt.B"}));
	EXPECT_EQ(GroupItem::ListFind(list, TString("Alt.B")), 0);
	EXPECT_EQ(GroupItem::ListFind(list, TString("alt.d")), 4);
	EXPECT_EQ(GroupItem::ListFind(list, TString("alt.bb")), -1);
	EXPECT_EQ(GroupItem::ListFind(list, TString("zzz")), -1);
	EXPECT_EQ(GroupItem::ListFind(GroupItem::List(), TString("alt.a")), -1);

	// Names are matched exactly; absent ones change nothing; the order stays.
	GroupItem::ListDel(list, tstrings({"alt.b", "ALT.C", "alt.none", "alt.d"}));
	EXPECT_EQ(names(list), (std::vector<std::string>{"Alt.B", "alt.a", "alt.c"}));
	GroupItem::ListDel(list, tstrings({"nothing.here"}));
	EXPECT_EQ(list.size(), 3u);
	for (const GroupItem& item : list)
		EXPECT_FALSE(item.deleted);
}

}  // namespace
