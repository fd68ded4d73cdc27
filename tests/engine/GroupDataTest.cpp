// Download settings of a newsgroup at the group, account and global levels: fallback from one
// level to the next, files that are refused or corrected, and writes that read back.
#include <gtest/gtest.h>

#include "AcctMngr.h"
#include "CSet.h"
#include "GroupData.h"
#include "Notify.h"
#include "NotifyList.h"
#include "StoragePath.h"
#include "StoreFixture.h"

namespace {

const long long kDay = 86400LL * 1000000LL;

class GroupDataTest : public StoreFixture {
protected:
	void SetUp() override
	{
		StoreFixture::SetUp();
		AcctData data;
		data.Default();
		data.name = "Home";
		data.server.host = "127.0.0.1";
		ASSERT_TRUE(AcctMngr::Create(data));
		ASSERT_TRUE(AcctMngr::GroupCreate(kAcct, kGroup));
		settle();
	}

	static std::string file(const std::string& body) { return "[Newsgroup]\n" + body; }

	// A settings file with every key; replace swaps one "Key = value" line for another.
	static std::string full(int order = 2, int type = 2, int limits = 1, int article = 50, int header = 60,
		const std::string& expire = "\"30 days\"", const std::string& charset = "")
	{
		std::string text = "Expire = " + expire + "\nDownloadOrder = " + std::to_string(order) +
			"\nDownloadType = " + std::to_string(type) +
			"\nEnableDownloadLimits = " + std::to_string(limits) +
			"\nArticleLimit = " + std::to_string(article) + "\nHeaderLimit = " + std::to_string(header) +
			"\n";
		if (!charset.empty())
			text += "Charset = \"" + charset + "\"\n";
		return file(text);
	}

	void writeGroup(const std::string& text)
	{
		TString path;
		StoragePath::FileGroupPrefsGroup(kAcct, kGroup, path);
		TestSupport::WriteFile(std::string(path.String()) + ".init", text);
	}
	void writeAccount(const std::string& text)
	{
		TString path;
		StoragePath::FileGroupPrefsAccount(kAcct, path);
		TestSupport::WriteFile(std::string(path.String()) + ".init", text);
	}
	void writeGlobal(const std::string& text)
	{
		TString path;
		StoragePath::FileGroupPrefsGlobal(path);
		TestSupport::WriteFile(std::string(path.String()) + ".init", text);
	}

	GroupData get(GroupData::Level* level = nullptr)
	{
		GroupData data;
		data.GroupGet(kAcct, kGroup, level);
		return data;
	}

	const TString kAcct{"Home"};
	const TString kGroup{"test.one"};
};

TEST_F(GroupDataTest, EachLevelFallsBackToTheNextAndFinallyToTheDefaults)
{
	GroupData::Level level = GroupData::LevelGroup;
	GroupData data = get(&level);
	EXPECT_EQ(level, GroupData::LevelDefault);
	EXPECT_EQ(data.downloadType, 3u);
	EXPECT_EQ(data.downloadOrder, 1u);
	EXPECT_TRUE(data.limitsEnabled);
	EXPECT_EQ(data.articleLimit, 300u);
	EXPECT_EQ(data.expire, 14 * kDay);

	writeGlobal(full(1, 3, 1, 100));
	EXPECT_EQ(get(&level).articleLimit, 100u);
	EXPECT_EQ(level, GroupData::LevelGlobal);

	writeAccount(full(1, 3, 1, 200));
	EXPECT_EQ(get(&level).articleLimit, 200u);
	EXPECT_EQ(level, GroupData::LevelAccount);

	writeGroup(full(2, 2, 1, 400, 500, "\"3 days\"", "ISO-8859-15"));
	data = get(&level);
	EXPECT_EQ(level, GroupData::LevelGroup);
	EXPECT_EQ(data.articleLimit, 400u);
	EXPECT_EQ(data.headerLimit, 500u);
	EXPECT_EQ(data.downloadOrder, 2u);
	EXPECT_EQ(data.downloadType, 2u);
	EXPECT_EQ(data.expire, 3 * kDay);
	EXPECT_EQ(data.charset, kCharsetISO8859_15);
	// Each level is a whole record: the group's file does not borrow keys from the account's.
	writeGroup(file("Expire = \"2 days\"\nDownloadOrder = 1\nDownloadType = 3\nEnableDownloadLimits = 1\n"
					"ArticleLimit = 9\nHeaderLimit = 9\n"));
	EXPECT_EQ(get().articleLimit, 9u);
}

TEST_F(GroupDataTest, IncompleteOrOutOfRangeFilesAreSkippedWhileBadChoicesAreCorrected)
{
	writeAccount(full(1, 3, 1, 200));
	GroupData::Level level;
	// A missing key: the whole group file is ignored.
	writeGroup(file("Expire = \"3 days\"\nDownloadOrder = 1\nDownloadType = 3\nEnableDownloadLimits = 1\n"
					"ArticleLimit = 50\n"));
	EXPECT_EQ(get(&level).articleLimit, 200u);
	EXPECT_EQ(level, GroupData::LevelAccount);
	// The expiry is tested, not clamped.
	writeGroup(full(1, 3, 1, 50, 50, "\"721 days\""));
	EXPECT_EQ(get(&level).articleLimit, 200u);
	writeGroup(full(1, 3, 1, 50, 50, "\"12 hours\""));
	EXPECT_EQ(get(&level).articleLimit, 200u);
	writeGroup(full(1, 3, 1, 50, 50, "\"soon\""));
	EXPECT_EQ(get(&level).articleLimit, 200u);
	// Negative limits are not wrapped into range.
	writeGroup(full(1, 3, 1, -5));
	EXPECT_EQ(get(&level).articleLimit, 200u);
	writeGroup("[Newsgroup\nthis is not a settings file\n");
	EXPECT_EQ(get(&level).articleLimit, 200u);

	// An unknown order or type is read as the default; enabled limits are clamped.
	writeGroup(full(7, 0, 1, 1, 999999));
	GroupData data = get(&level);
	EXPECT_EQ(level, GroupData::LevelGroup);
	EXPECT_EQ(data.downloadOrder, 1u);
	EXPECT_EQ(data.downloadType, 3u);
	EXPECT_EQ(data.articleLimit, 4u);
	EXPECT_EQ(data.headerLimit, 100000u);
	// Disabled limits keep what the file says.
	writeGroup(full(1, 3, 0, 1, 2));
	data = get(&level);
	EXPECT_FALSE(data.limitsEnabled);
	EXPECT_EQ(data.articleLimit, 1u);
	// An unknown charset name becomes ISO-8859-1, as any invalid charset does.
	writeGroup(full(1, 3, 1, 50, 50, "\"3 days\"", "no-such-charset"));
	EXPECT_EQ(get().charset, kCharsetISO8859_1);
}

TEST_F(GroupDataTest, StoredLevelsReadBackAndTellTheStore)
{
	std::vector<std::string> updates;
	auto keep = [](void* context, const TString& payload) {
		static_cast<std::vector<std::string>*>(context)->push_back(payload.String());
	};
	Notify::Register(NotifyList::GroupUpdate(), keep, &updates);

	GroupData data;
	data.downloadType = GroupData::TypeHeaders;
	data.downloadOrder = 2;
	data.limitsEnabled = false;
	data.articleLimit = 1;
	data.headerLimit = 7;
	data.expire = 45 * kDay;
	data.charset = kCharsetISO8859_15;
	ASSERT_EQ(data.GroupSet(kAcct, kGroup), ErrOkay);
	GroupData::Level level;
	EXPECT_EQ(get(&level), data);
	EXPECT_EQ(level, GroupData::LevelGroup);

	// The account level only reaches groups that have no settings of their own.
	GroupData account;
	account.articleLimit = 77;
	ASSERT_EQ(account.AccountSet(kAcct), ErrOkay);
	ASSERT_TRUE(AcctMngr::GroupCreate(kAcct, TString("test.two")));
	settle();
	updates.clear();
	ASSERT_EQ(account.AccountSet(kAcct), ErrOkay);
	settle();
	EXPECT_EQ(updates, (std::vector<std::string>{"Home\ntest.two"}));
	GroupData two;
	two.GroupGet(kAcct, TString("test.two"), &level);
	EXPECT_EQ(level, GroupData::LevelAccount);
	EXPECT_EQ(two.articleLimit, 77u);

	// A record that is not valid is never written.
	GroupData bad;
	bad.expire = 1;
	EXPECT_NE(bad.GlobalSet(), ErrOkay);
	GroupData global;
	global.GlobalGet(&level);
	EXPECT_EQ(level, GroupData::LevelDefault);

	// Comments and other sections of a file survive a store.
	writeGroup("; kept comment\n[Other]\nName = \"x\"\n" + full());
	ASSERT_EQ(data.GroupSet(kAcct, kGroup), ErrOkay);
	TString path;
	StoragePath::FileGroupPrefsGroup(kAcct, kGroup, path);
	std::string text = TestSupport::ReadFile(std::string(path.String()) + ".init");
	EXPECT_NE(text.find("; kept comment"), std::string::npos) << text;
	EXPECT_NE(text.find("[Other]"), std::string::npos) << text;
	EXPECT_EQ(get(), data);
	Notify::Unregister(NotifyList::GroupUpdate(), keep, &updates);
}

}  // namespace
