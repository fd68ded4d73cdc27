// The reaper's clean-up pass: the local trash emptied, scratch files deleted only once they are
// stale, messages expired only past their newsgroup's expiry age (never with an age of 0) and
// only through the message queue, and a pass stopped early by an abort.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "AcctData.h"
#include "AcctMngr.h"
#include "DirMngr.h"
#include "FileMngr.h"
#include "MessageStore.h"
#include "ReaperThread.h"
#include "StoragePath.h"
#include "StoreFixture.h"
#include "Thread.h"
#include "TimeCore.h"

namespace {

using TestSupport::Exists;
using TestSupport::WriteFile;
using Ids = std::vector<std::string>;

constexpr long long kHour = 3600000000LL;
constexpr long long kDay = 24 * kHour;

std::string join(const TString& dir, const std::string& leaf)
{
	return std::string(dir.String()) + "/" + leaf;
}

void age(const std::string& path, long long usecs)
{
	ASSERT_EQ(FileMngr::TimeSet(TString(path.c_str()), TimeCore::TimeGet() - usecs), ErrOkay) << path;
}

// Newsgroups named "zero.*" never expire, "ten.*" after ten days.
long long expireOf(const TString&, const TString& group)
{
	return std::string(group.String()).rfind("ten.", 0) == 0 ? 10 * kDay : 0;
}

class ReaperThreadTest : public StoreFixture {
protected:
	void SetUp() override
	{
		StoreFixture::SetUp();
		ReaperThread::ExpireProcSet(expireOf);
	}
	void TearDown() override
	{
		ReaperThread::ExpireProcSet(nullptr);
		StoreFixture::TearDown();
	}

	TString group(const char* name)
	{
		if (!AcctMngr::Get(TString("Home"), mAccount)) {
			AcctData data;
			data.Default();
			data.name = "Home";
			data.server.host = "news.example.org";
			EXPECT_TRUE(AcctMngr::Create(data));
		}
		EXPECT_TRUE(AcctMngr::GroupCreate(TString("Home"), TString(name)));
		TString mdir;
		StoragePath::PathGroup(TString("Home"), TString(name), mdir);
		return mdir;
	}

	// Messages inserted through the store, then given their age.
	void put(const TString& mdir, const std::string& id, long long old)
	{
		ASSERT_EQ(MessageStore::MesgInsert(mdir, TString(message(id).c_str())), ErrOkay);
		settle();
		age(join(mdir, leafOf(id)), old);
	}

	AcctData mAccount;
};

TEST_F(ReaperThreadTest, TrashIsEmptiedAndOnlyStaleScratchFilesGo)
{
	TString trash, temp;
	StoragePath::PathTrash(trash);
	StoragePath::PathTemp(temp);
	ASSERT_EQ(DirMngr::Create(TString(join(trash, "Old Group").c_str())), ErrOkay);
	WriteFile(join(trash, "Old Group/Cache.didx"), "x");
	WriteFile(join(trash, "loose.qmsg"), "x");
	WriteFile(join(temp, "recent"), "x");
	age(join(temp, "recent"), 7 * kHour);
	WriteFile(join(temp, "stale"), "x");
	age(join(temp, "stale"), 9 * kHour);
	ASSERT_EQ(DirMngr::Create(TString(join(temp, "stale-dir").c_str())), ErrOkay);
	WriteFile(join(temp, "stale-dir/part"), "x");
	age(join(temp, "stale-dir/part"), 9 * kHour);
	std::filesystem::last_write_time(
		join(temp, "stale-dir"), std::filesystem::file_time_type::clock::now() - std::chrono::hours(9));

	ReaperThread::Report report;
	ASSERT_EQ(ReaperThread::Pass(false, &report), ErrOkay);
	EXPECT_EQ(report.trashItems, 2);
	EXPECT_EQ(report.tempItems, 2);
	EXPECT_TRUE(entries(trash).empty());
	EXPECT_TRUE(Exists(trash.String()));
	EXPECT_EQ(entries(temp), (Ids{"recent"}));
	EXPECT_EQ(diagnostics(), "");
}

TEST_F(ReaperThreadTest, MessagesExpireOnlyPastTheirGroupsAgeAndNeverWithAgeZero)
{
	TString ten = group("ten.days"), zero = group("zero.days");
	put(ten, "<old@x>", 10 * kDay + kHour);
	put(ten, "<young@x>", 10 * kDay - kHour);
	put(zero, "<ancient@x>", 1000 * kDay);
	events();

	ReaperThread::Report report;
	ASSERT_EQ(ReaperThread::Pass(false, &report), ErrOkay);
	settle();
	ASSERT_EQ(report.expired.size(), 1u);
	EXPECT_STREQ(report.expired[0].group.String(), "ten.days");
	EXPECT_EQ(fileIds(ten), (Ids{"<young@x>"}));
	EXPECT_EQ(cacheIds(ten), fileIds(ten));
	EXPECT_EQ(fileIds(zero), (Ids{"<ancient@x>"}));
	std::string dir(ten.String());
	EXPECT_EQ(events(), (Ids{"del:" + dir + "|<old@x>", "unread:" + dir + "|-1"}));
	EXPECT_EQ(diagnostics(), "");
}

TEST_F(ReaperThreadTest, MessageThatCameAnewBeforeItsExpiryRanStays)
{
	TString ten = group("ten.again");
	put(ten, "<again@x>", 30 * kDay);
	put(ten, "<gone@x>", 30 * kDay);
	// The deletions wait in the queue as a pass leaves them.
	hold(true);
	long long before = TimeCore::TimeGet() - 10 * kDay;
	MessageStore::MesgExpire(ten, TString(leafOf("<again@x>").c_str()), before);
	MessageStore::MesgExpire(ten, TString(leafOf("<gone@x>").c_str()), before);
	// Fetched again meanwhile: the same file, new; and the other one deleted by someone else.
	age(join(ten, leafOf("<again@x>")), 0);
	ASSERT_EQ(0, std::remove(join(ten, leafOf("<gone@x>")).c_str()));
	hold(false);
	settle();
	EXPECT_EQ(fileIds(ten), (Ids{"<again@x>"}));
	EXPECT_EQ(diagnostics(), "");
}

TEST_F(ReaperThreadTest, AbortStopsAPacedPassBeforeItsNextItem)
{
	TString trash;
	StoragePath::PathTrash(trash);
	for (int i = 0; i < 40; ++i)
		WriteFile(join(trash, "item" + std::to_string(i)), "x");
	ReaperThread::Report report;
	std::atomic<Error> result{ErrOkay};
	std::thread pass([&] { result = ReaperThread::Pass(true, &report); });
	Thread::Sleep(150000);
	ReaperThread::Abort();
	pass.join();
	EXPECT_EQ(result.load(), ErrGmCancelled);
	EXPECT_GT(report.trashItems, 0);
	EXPECT_LT(report.trashItems, 40);
	EXPECT_EQ(long(entries(trash).size()), 40 - report.trashItems);
	// The next pass is due a full interval after this one ended.
	long long wait = ReaperThread::NextPassGet() - TimeCore::TickCount();
	EXPECT_GT(wait, ReaperThread::kInterval - 5000000);
	EXPECT_LE(wait, ReaperThread::kInterval);
	EXPECT_EQ(diagnostics(), "");
}

}  // namespace
