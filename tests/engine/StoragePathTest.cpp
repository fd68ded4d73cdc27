// The storage tree: where every path lies, and what start-up makes of it.
#include <gtest/gtest.h>

#include <filesystem>

#include "Engine.h"
#include "GlobalPrefs.h"
#include "Output.h"
#include "StoragePath.h"
#include "TestSupport.h"

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

std::string sAlerts;

void alertCollect(const char* title, const char* message)
{
	sAlerts += std::string(title) + "|" + message + "\n";
}

class EngineOnRoot : public testing::Test {
protected:
	bool start(int type, const std::string& root)
	{
		sAlerts.clear();
		Output::AlertProcSet(alertCollect);
		GlobalPrefs::RootOverrideSet(TString(root.c_str()));
		return Engine::Start(type, Engine::DisplayHooks());
	}
	void TearDown() override
	{
		Engine::Stop();
		GlobalPrefs::RootOverrideSet(TString());
		Output::AlertProcSet(nullptr);
	}
	std::string path(void (*proc)(TString&))
	{
		TString p;
		proc(p);
		return p.String();
	}
	TempDir mTmp;
};

}  // namespace

TEST_F(EngineOnRoot, NewsTreePathsForAccountsAndGroups)
{
	std::string root = mTmp.Sub("My Root");
	ASSERT_TRUE(start(StoragePath::kTypeNews, root)) << sAlerts;
	EXPECT_EQ(path(StoragePath::PathRoot), root);
	EXPECT_EQ(path(StoragePath::PathRootType), root + "/News");
	EXPECT_EQ(path(StoragePath::PathSent), root + "/News/Sent Messages");
	EXPECT_EQ(path(StoragePath::FileIdentity), root + "/Identity/Identity");
	EXPECT_EQ(path(StoragePath::FileEventLog), root + "/News/Data/EventLog.txt");
	EXPECT_FALSE(fs::exists(root + "/News/Inbox"));
	EXPECT_TRUE(fs::is_directory(root + "/News/Transfer"));

	TString out;
	StoragePath::FileGroupListTemp(TString("Big Server"), out);
	EXPECT_STREQ(out.String(), (root + "/News/Temp/Big Server NewsgroupList.txt").c_str());
	StoragePath::FileGroupIndex(TString("Café Nëws"), TString("comp.lang.c++"), out);
	EXPECT_STREQ(
		out.String(), (root + "/News/Accounts/Café Nëws/Groups/comp.lang.c++/ArticleIndex.txt").c_str());
	StoragePath::FileAccountPrefs(TString("a b"), out);
	EXPECT_STREQ(out.String(), (root + "/News/Accounts/a b/Data/Account").c_str());
	StoragePath::FileCache(TString((root + "/Saved/x").c_str()), out);
	EXPECT_STREQ(out.String(), (root + "/Saved/x/Cache").c_str());

	EXPECT_TRUE(StoragePath::IsPathSaved(TString((root + "/Saved").c_str())));
	EXPECT_TRUE(StoragePath::IsPathSaved(TString((root + "/Saved/a/b").c_str())));
	EXPECT_FALSE(StoragePath::IsPathSaved(TString((root + "/News/Drafts").c_str())));
	EXPECT_FALSE(StoragePath::IsPathSaved(TString((root + "/News/Accounts/Saved").c_str())));
}

TEST_F(EngineOnRoot, MailTreeHasAnInbox)
{
	std::string root = mTmp.Sub("mail");
	ASSERT_TRUE(start(StoragePath::kTypeMail, root)) << sAlerts;
	EXPECT_TRUE(fs::is_directory(root + "/Mail/Inbox"));
	EXPECT_FALSE(fs::exists(root + "/News"));
}

TEST_F(EngineOnRoot, FailedStartStopsCleanlyAndCanStartAgain)
{
	WriteFile(mTmp.Sub("file"), "");
	EXPECT_FALSE(start(StoragePath::kTypeNews, mTmp.Sub("file/root")));
	EXPECT_NE(sAlerts.find("Can’t create directory: "), std::string::npos) << sAlerts;
	EXPECT_NE(sAlerts.find("|Directory: " + mTmp.Sub("file/root")), std::string::npos) << sAlerts;
	EXPECT_FALSE(Engine::Running());

	// Everything was stopped: a second start in the same process works.
	ASSERT_TRUE(start(StoragePath::kTypeNews, mTmp.Sub("ok"))) << sAlerts;
	EXPECT_TRUE(Engine::Running());
}
