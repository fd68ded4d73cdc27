// quillfern groups search, subscribe and unsubscribe end to end: names checked against the
// downloaded newsgroup list, refused commands changing nothing, and the changes seen by
// quillfern groups ACCOUNT.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using TestSupport::RunResult;

class GroupSelectCommandTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		RunResult r = run({"account", "add", "Home", "--server", "127.0.0.1", "--port", "9"});
		ASSERT_EQ(r.status, 0) << r.err;
	}

	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}

	// The subscribed groups as `groups ACCOUNT` prints them (NAME UNREAD TOTAL).
	std::string groups()
	{
		RunResult r = run({"groups", "Home"});
		EXPECT_EQ(r.status, 0) << r.err;
		return r.out;
	}

	void listWrite(const std::string& text)
	{
		std::string data = mRoot.Path() + "/News/Accounts/Home/Data";
		ASSERT_TRUE(std::filesystem::is_directory(data));
		TestSupport::WriteFile(data + "/NewsgroupList.txt", text);
	}

	TestSupport::TempDir mRoot;
};

TEST_F(GroupSelectCommandTest, WithoutADownloadedListNamesAreOnlyChecked)
{
	RunResult r = run({"groups", "search", "Home", "ferns"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("groups refresh Home"), std::string::npos) << r.err;

	// Not newsgroup names: a usage error, and nothing subscribed.
	for (const char* bad : {"two words", "", "comma,list", "a\xc3"}) {
		r = run({"subscribe", "Home", "rec.fine", bad});
		EXPECT_EQ(r.status, 2) << bad;
	}
	EXPECT_EQ(groups(), "");

	r = run({"subscribe", "Home", "rec.gardening.ferns", "de.rec.garten"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.err.find("no newsgroup list downloaded"), std::string::npos) << r.err;
	EXPECT_EQ(groups(), "de.rec.garten\t0\t0\nrec.gardening.ferns\t0\t0\n");
	EXPECT_TRUE(
		std::filesystem::is_directory(mRoot.Path() + "/News/Accounts/Home/Groups/rec.gardening.ferns"));

	r = run({"subscribe", "Nobody", "rec.gardening.ferns"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("no such account"), std::string::npos);
}

TEST_F(GroupSelectCommandTest, SearchAndSubscribeAgainstTheList)
{
	listWrite("rec.gardening.ferns\nalt.binaries.pictures.ferns\nde.rec.garten\nnot a name\nde.rec.garten\n"
			  "Rec.Gardening.Bonsai\n");
	RunResult r = run({"groups", "search", "Home", "ferns"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "alt.binaries.pictures.ferns\nrec.gardening.ferns\n");
	r = run({"groups", "search", "Home", "Gardening"});
	EXPECT_EQ(r.out, "Rec.Gardening.Bonsai\n");
	r = run({"groups", "search", "Home"});
	EXPECT_EQ(
		r.out, "Rec.Gardening.Bonsai\nalt.binaries.pictures.ferns\nde.rec.garten\nrec.gardening.ferns\n");
	EXPECT_EQ(run({"groups", "search", "Home", "a", "b"}).status, 2);

	// A name that is not in the list refuses the whole command.
	r = run({"subscribe", "Home", "de.rec.garten", "rec.gardening.fern"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("rec.gardening.fern "), std::string::npos) << r.err;
	EXPECT_EQ(groups(), "");
	// The list is searched exactly: another case is another name.
	EXPECT_EQ(run({"subscribe", "Home", "DE.REC.GARTEN"}).status, 1);
	EXPECT_EQ(groups(), "");

	r = run({"subscribe", "Home", "de.rec.garten", "rec.gardening.ferns"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.err, "");
	// Subscribed already, in any case: nothing changes. --force takes a name the list lacks.
	EXPECT_EQ(run({"subscribe", "Home", "rec.gardening.ferns"}).status, 0);
	EXPECT_EQ(run({"subscribe", "Home", "misc.brand.new", "--force"}).status, 0);
	EXPECT_EQ(groups(), "de.rec.garten\t0\t0\nmisc.brand.new\t0\t0\nrec.gardening.ferns\t0\t0\n");
}

TEST_F(GroupSelectCommandTest, UnsubscribeRemovesOnlySubscribedGroups)
{
	ASSERT_EQ(run({"subscribe", "Home", "rec.gardening.ferns", "de.rec.garten", "alt.test"}).status, 0);
	// One name not subscribed: nothing changes.
	RunResult r = run({"unsubscribe", "Home", "alt.test", "alt.other"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("alt.other"), std::string::npos) << r.err;
	EXPECT_EQ(groups(), "alt.test\t0\t0\nde.rec.garten\t0\t0\nrec.gardening.ferns\t0\t0\n");
	EXPECT_TRUE(std::filesystem::is_directory(mRoot.Path() + "/News/Accounts/Home/Groups/de.rec.garten"));
	// Another case names the same subscribed group.
	r = run({"unsubscribe", "Home", "ALT.TEST", "de.rec.garten"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(groups(), "rec.gardening.ferns\t0\t0\n");
	EXPECT_FALSE(std::filesystem::exists(mRoot.Path() + "/News/Accounts/Home/Groups/de.rec.garten"));
	EXPECT_EQ(run({"unsubscribe", "Home"}).status, 2);
}

}  // namespace
