// quillfern account ...: end to end on a private data root.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using TestSupport::RunResult;

class AccountCommandTest : public ::testing::Test {
protected:
	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}

	// Every path under the root with its size and contents, to tell whether anything changed.
	std::string tree()
	{
		std::string out;
		std::vector<std::string> lines;
		for (auto& entry : std::filesystem::recursive_directory_iterator(mRoot.Path())) {
			std::string line = entry.path().string();
			if (entry.is_regular_file() && entry.path().filename() != "EventLog.txt")
				line += "=" + TestSupport::ReadFile(entry.path().string());
			lines.push_back(line);
		}
		std::sort(lines.begin(), lines.end());
		for (const std::string& line : lines)
			out += line + "\n";
		return out;
	}

	std::string settings(const std::string& name)
	{
		return mRoot.Path() + "/News/Accounts/" + name + "/Data/Account.init";
	}

	TestSupport::TempDir mRoot;
};

TEST_F(AccountCommandTest, AddListShowSetDelete)
{
	RunResult r = run({"account", "add", "Home", "--server", "news.example.org", "--port", "563", "--user",
		"me", "--password", "pw", "--timeout", "2 minutes", "--logging", "1"});
	ASSERT_EQ(0, r.status) << r.err;
	r = run({"account", "add", "Work", "--server", "10.1.2.3"});
	ASSERT_EQ(0, r.status) << r.err;

	r = run({"account", "list"});
	ASSERT_EQ(0, r.status) << r.err;
	EXPECT_EQ(
		"Home\tnews.example.org\t563\tYour Name Here\t0\nWork\t10.1.2.3\t119\tYour Name Here\t0\n", r.out);

	r = run({"account", "show", "Home"});
	ASSERT_EQ(0, r.status) << r.err;
	EXPECT_NE(std::string::npos, r.out.find("server\tnews.example.org\n"));
	EXPECT_NE(std::string::npos, r.out.find("timeout\t2 minutes\n"));
	EXPECT_NE(std::string::npos, r.out.find("login\tyes\nuser\tme\n"));
	EXPECT_NE(std::string::npos, r.out.find("logging\t1\n"));
	EXPECT_EQ(std::string::npos, r.out.find("pw"));
	struct stat st;
	ASSERT_EQ(0, stat(settings("Home").c_str(), &st));
	EXPECT_EQ(0600u, st.st_mode & 0777);

	r = run({"account", "set", "Home", "--rename", "Private", "--port", "119", "--user", ""});
	ASSERT_EQ(0, r.status) << r.err;
	r = run({"account", "show", "Private"});
	EXPECT_NE(std::string::npos, r.out.find("port\t119\n"));
	EXPECT_NE(std::string::npos, r.out.find("login\tno\n"));
	EXPECT_EQ(std::string::npos, TestSupport::ReadFile(settings("Private")).find("\"pw\""));

	r = run({"account", "delete", "Work"});
	ASSERT_EQ(0, r.status) << r.err;
	r = run({"account", "list"});
	EXPECT_EQ("Private\tnews.example.org\t119\tYour Name Here\t0\n", r.out);
	EXPECT_TRUE(TestSupport::Exists(mRoot.Path() + "/News/Trash/Work"));
}

TEST_F(AccountCommandTest, RefusedChangesGiveTheReasonAndChangeNothing)
{
	ASSERT_EQ(0, run({"account", "add", "Home", "--server", "news.example.org"}).status);
	std::string before = tree();

	struct Case {
		std::vector<std::string> args;
		int status;
		const char* reason;
	};
	std::vector<Case> cases = {
		{{"account", "add", "Bad", "--server", "news example"}, 1,
			"Cannot create account “Bad”, data fails validation checks."},
		{{"account", "add", "a/b", "--server", "news.example.org"}, 1, "data fails validation checks"},
		{{"account", "add", "Home", "--server", "news.example.org"}, 1,
			"Account name “Home” is already in use."},
		{{"account", "add", "New", "--server", "news.example.org", "--identity", "Nobody"}, 1,
			"Identity “Nobody” is unknown."},
		{{"account", "set", "Home", "--server", "bad..host"}, 1, "Cannot create account “Home”"},
		{{"account", "set", "Nope", "--port", "120"}, 1, "Account name “Nope” is unknown."},
		{{"account", "add", "New", "--server", "news.example.org", "--port", "70000"}, 2, "--port"},
		{{"account", "add", "New", "--server", "news.example.org", "--user", "me"}, 2, "--password"},
		{{"account", "add", "New", "--server", "news.example.org", "--timeout", "soon"}, 2, "--timeout"},
		{{"account", "add", "New"}, 2, "--server"},
		{{"account", "frobnicate"}, 2, "unknown action"},
	};
	for (const Case& c : cases) {
		RunResult r = run(c.args);
		std::string line;
		for (const std::string& word : c.args)
			line += word + " ";
		EXPECT_EQ(c.status, r.status) << line << r.err;
		EXPECT_NE(std::string::npos, r.err.find(c.reason)) << line << r.err;
		EXPECT_EQ("", r.out) << line;
	}
	EXPECT_EQ(before, tree());
}

TEST_F(AccountCommandTest, RewriteKeepsOtherSectionsAndDropsStaleItems)
{
	ASSERT_EQ(0, run({"account", "add", "Home", "--server", "news.example.org"}).status);
	std::string text = TestSupport::ReadFile(settings("Home"));
	text += "\n; the user's own note\n[Elsewhere]\nKeepMe = \"yes\"\n";
	text.insert(text.find("[NNTP]\n") + 7, "StaleKey = 5\n");
	TestSupport::WriteFile(settings("Home"), text);

	ASSERT_EQ(0, run({"account", "set", "Home", "--port", "120"}).status);
	text = TestSupport::ReadFile(settings("Home"));
	EXPECT_NE(std::string::npos, text.find("; the user's own note\n")) << text;
	EXPECT_NE(std::string::npos, text.find("[Elsewhere]\nKeepMe = \"yes\"\n")) << text;
	EXPECT_EQ(std::string::npos, text.find("StaleKey")) << text;
	EXPECT_NE(std::string::npos, text.find("Port = 120\n")) << text;
}

}  // namespace
