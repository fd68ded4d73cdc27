// Newsgroup selection: the server list read in the background and searched, and the
// subscribed set applied through the message store, which makes the account's newsgroup
// directories match it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AcctMngr.h"
#include "DirMngr.h"
#include "Engine.h"
#include "GlobalPrefs.h"
#include "GroupSelect.h"
#include "MessageStore.h"
#include "Notify.h"
#include "NotifyList.h"
#include "Output.h"
#include "StoragePath.h"
#include "TestSupport.h"
#include "Thread.h"

namespace {

std::vector<std::string> names(const GroupItem::List& list)
{
	std::vector<std::string> out;
	for (const GroupItem& item : list)
		out.push_back(item.name.String());
	return out;
}

const char* const kList = "rec.gardening.ferns\n"
						  "alt.binaries.pictures.ferns\n"
						  "de.rec.garten\n"
						  "news.software.readers\n"
						  "rec.gardening.FERNS.moderated\n";

TEST(GroupSelectSearch, CaseMattersAndAnEmptyTextShowsAll)
{
	TestSupport::TempDir dir;
	TestSupport::WriteFile(dir.Sub("list"), kList);
	GroupSelect select(TString("nobody"));
	select.Search(TString("ferns"));  // a search set before the list arrives applies to it
	select.ReadStart(TString(dir.Sub("list").c_str()));
	ASSERT_EQ(select.ReadWait(), ErrOkay);
	EXPECT_EQ(select.ServerList().size(), 5u);
	EXPECT_EQ(names(select.Shown()),
		(std::vector<std::string>{"alt.binaries.pictures.ferns", "rec.gardening.ferns"}));
	select.Search(TString("FERNS"));
	EXPECT_EQ(names(select.Shown()), (std::vector<std::string>{"rec.gardening.FERNS.moderated"}));
	select.Search(TString("Rec."));
	EXPECT_TRUE(select.Shown().empty());
	select.Search(TString(""));
	EXPECT_EQ(select.Shown().size(), 5u);

	// An unreadable list hands over an empty list and its error.
	GroupSelect none(TString("nobody"));
	none.ReadStart(TString(dir.Sub("missing").c_str()));
	EXPECT_EQ(none.ReadWait(), ErrFileNotFound);
	EXPECT_TRUE(none.ServerList().empty());
}

TEST(GroupSelectSearch, SubscribeNeedsASelection)
{
	GroupSelect select(TString("nobody"));
	EXPECT_FALSE(select.Subscribe({}));
	EXPECT_FALSE(select.Unsubscribe({}));
	EXPECT_FALSE(select.Changed());
	EXPECT_TRUE(select.Subscribe({TString("b.b"), TString("a.a"), TString("b.b")}));
	EXPECT_EQ(names(select.Subscribed()), (std::vector<std::string>{"a.a", "b.b"}));
	EXPECT_TRUE(select.Changed());
	TString totals;
	select.Totals(totals);
	EXPECT_STREQ(totals.String(), "Total: 0  Selected: 2");
}

void alertQuiet(const char*, const char*)
{}

void finishKeep(void* context, const TString& payload)
{
	static_cast<std::vector<std::string>*>(context)->push_back(payload.String());
}

class GroupSelectStore : public ::testing::Test {
protected:
	void SetUp() override
	{
		Output::AlertProcSet(alertQuiet);
		GlobalPrefs::RootOverrideSet(TString(mRoot.Path().c_str()));
		ASSERT_TRUE(Engine::Start(StoragePath::kTypeNews, Engine::DisplayHooks()));
		Notify::Register(NotifyList::GroupFinish(), finishKeep, &mFinished);
		AcctData data;
		data.Default();
		data.name = "Home";
		data.server.host = "news.example.net";
		ASSERT_TRUE(AcctMngr::Create(data));
	}

	void TearDown() override
	{
		Notify::Unregister(NotifyList::GroupFinish(), finishKeep, &mFinished);
		Engine::Stop();
		Output::AlertProcSet(nullptr);
	}

	void settle()
	{
		for (int i = 0; i < 3000; ++i) {
			Notify::Deliver();
			if (!MessageStore::Busy() && Notify::Pending() == 0) {
				Thread::Sleep(20000);
				if (!MessageStore::Busy() && Notify::Pending() == 0)
					break;
			}
			Thread::Sleep(10000);
		}
		Notify::Deliver();
	}

	std::vector<std::string> subscribed()
	{
		AcctMngr::GroupSet set;
		AcctMngr::GroupListGet(TString("Home"), set);
		std::vector<std::string> out;
		for (const TString& g : set)
			out.push_back(g.String());
		return out;
	}

	bool groupDir(const char* group)
	{
		TString path;
		StoragePath::PathGroup(TString("Home"), TString(group), path);
		return DirMngr::Exists(path) == ErrOkay;
	}

	TestSupport::TempDir mRoot;
	std::vector<std::string> mFinished;
};

TEST_F(GroupSelectStore, ChangesReachTheAccountAndNoChangeQueuesNothing)
{
	TString listFile;
	StoragePath::FileGroupList(TString("Home"), listFile);
	TestSupport::WriteFile(listFile.String(), kList);
	{
		GroupSelect select(TString("Home"));
		select.ReadStart();  // the account's own list file, on a background thread
		ASSERT_EQ(select.ReadWait(), ErrOkay);
		ASSERT_EQ(select.ServerList().size(), 5u);
		// Closing without changes queues nothing.
		EXPECT_FALSE(select.Apply());
		settle();
		EXPECT_TRUE(mFinished.empty());
		EXPECT_TRUE(select.Subscribe({TString("rec.gardening.ferns"), TString("de.rec.garten")}));
		EXPECT_TRUE(select.Apply());
		EXPECT_FALSE(select.Apply());  // applied once
	}
	settle();
	EXPECT_EQ(mFinished, (std::vector<std::string>{"1"}));
	EXPECT_EQ(subscribed(), (std::vector<std::string>{"de.rec.garten", "rec.gardening.ferns"}));
	EXPECT_TRUE(groupDir("rec.gardening.ferns"));

	// A new selection starts from the account's groups; unsubscribing removes the directory.
	GroupSelect again(TString("Home"));
	EXPECT_EQ(names(again.Subscribed()), (std::vector<std::string>{"de.rec.garten", "rec.gardening.ferns"}));
	again.Unsubscribe({TString("rec.gardening.ferns"), TString("not.subscribed")});
	EXPECT_TRUE(again.Apply());
	settle();
	EXPECT_EQ(subscribed(), (std::vector<std::string>{"de.rec.garten"}));
	EXPECT_FALSE(groupDir("rec.gardening.ferns"));
	EXPECT_TRUE(groupDir("de.rec.garten"));
}

TEST_F(GroupSelectStore, ALongReadCancelledOrAbandonedHandsNothingOver)
{
	std::string text;
	for (int i = 0; i < 200000; ++i)
		text += "alt.group.number" + std::to_string(i) + "\n";
	TestSupport::TempDir dir;
	TestSupport::WriteFile(dir.Sub("big"), text);
	{
		GroupSelect select(TString("Home"));
		select.ReadStart(TString(dir.Sub("big").c_str()));
		select.ReadCancel();
		EXPECT_TRUE(select.ReadPoll());
		EXPECT_TRUE(select.ServerList().empty());
		select.ReadStart(TString(dir.Sub("big").c_str()));
		// The model goes while its read runs: the read stops and cleans up on its own.
	}
	GroupSelect select(TString("Home"));
	select.ReadStart(TString(dir.Sub("big").c_str()));
	ASSERT_EQ(select.ReadWait(), ErrOkay);
	EXPECT_EQ(select.ServerList().size(), 200000u);
}

}  // namespace
