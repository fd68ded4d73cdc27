// The settings command and the transfer commands end to end against a scripted server: levels
// shown and changed, refused values that change nothing, and fetch, send and catchup reporting
// one line per finished step.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ScriptServer.h"
#include "TestSupport.h"

namespace {

using TestServers::ScriptServer;
using TestSupport::RunResult;

class TransferCommandTest : public ::testing::Test {
protected:
	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}
	void add(const std::string& name, uint16_t port, const std::vector<std::string>& groups)
	{
		ASSERT_EQ(
			run({"account", "add", name, "--server", "127.0.0.1", "--port", std::to_string(port)}).status, 0);
		for (const std::string& g : groups)
			std::filesystem::create_directories(mRoot.Sub("News/Accounts/" + name + "/Groups/" + g));
	}
	// KEY -> "VALUE<TAB>LEVEL" of the settings shown.
	std::map<std::string, std::string> shown(const std::vector<std::string>& where)
	{
		std::vector<std::string> args = {"settings"};
		args.insert(args.end(), where.begin(), where.end());
		RunResult r = run(args);
		EXPECT_EQ(r.status, 0) << r.err;
		std::map<std::string, std::string> out;
		size_t pos = 0;
		while (pos < r.out.size()) {
			size_t end = r.out.find('\n', pos);
			std::string line = r.out.substr(pos, end - pos);
			size_t tab = line.find('\t');
			out[line.substr(0, tab)] = line.substr(tab + 1);
			pos = end + 1;
		}
		return out;
	}

	TestSupport::TempDir mRoot;
};

TEST_F(TransferCommandTest, SettingsAreShownWithTheirLevelAndChangedPerLevel)
{
	add("home", ScriptServer::UnusedPort(), {"alt.one", "alt.two"});
	auto s = shown({"home", "alt.one"});
	EXPECT_EQ(s["DownloadType"], "3\tdefault");
	EXPECT_EQ(s["Expire"], "2 weeks\tdefault");
	EXPECT_EQ(s["Charset"], "<None>\tdefault");

	ASSERT_EQ(run({"settings", "ArticleLimit=40"}).status, 0);
	EXPECT_EQ(shown({"home", "alt.one"})["ArticleLimit"], "40\tglobal");
	ASSERT_EQ(run({"settings", "home", "HeaderLimit=50"}).status, 0);
	s = shown({"home", "alt.one"});
	// A new level starts from what applied before it.
	EXPECT_EQ(s["ArticleLimit"], "40\taccount");
	EXPECT_EQ(s["HeaderLimit"], "50\taccount");
	RunResult r =
		run({"settings", "home", "alt.two", "DownloadType=2", "Expire=30 days", "Charset=iso-8859-15"});
	ASSERT_EQ(r.status, 0) << r.err;
	s = shown({"home", "alt.two"});
	EXPECT_EQ(s["DownloadType"], "2\tgroup");
	EXPECT_EQ(s["Charset"], "ISO-8859-15\tgroup");
	EXPECT_EQ(shown({"home", "alt.one"})["DownloadType"], "3\taccount");
	EXPECT_EQ(shown({})["HeaderLimit"], "300\tglobal");
}

TEST_F(TransferCommandTest, RefusedSettingsChangeNothing)
{
	add("home", ScriptServer::UnusedPort(), {"alt.one"});
	for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
			 {"home", "alt.one", "DownloadType=4"},
			 {"home", "alt.one", "DownloadOrder=0"},
			 {"home", "alt.one", "Expire=900 days"},
			 {"home", "alt.one", "Expire=whenever"},
			 {"home", "alt.one", "ArticleLimit=3"},
			 {"home", "alt.one", "ArticleLimit=-1"},
			 {"home", "alt.one", "Charset=klingon"},
			 {"home", "alt.one", "NoSuchKey=1"},
			 {"home", "alt.one", "ArticleLimit=5", "DownloadType=9"},
		 }) {
		bad.insert(bad.begin(), "settings");
		RunResult r = run(bad);
		EXPECT_EQ(r.status, 2) << bad.back();
		EXPECT_FALSE(r.err.empty());
	}
	EXPECT_EQ(run({"settings", "home", "alt.nope", "DownloadType=2"}).status, 1);
	EXPECT_EQ(run({"settings", "nobody", "DownloadType=2"}).status, 1);
	EXPECT_EQ(shown({"home", "alt.one"})["ArticleLimit"], "300\tdefault");
	EXPECT_FALSE(TestSupport::Exists(mRoot.Sub("News/Accounts/home/Groups/alt.one/Newsgroup.init")));
	// Limits may be anything while they are off.
	ASSERT_EQ(run({"settings", "home", "alt.one", "EnableDownloadLimits=0", "ArticleLimit=1"}).status, 0);
	EXPECT_EQ(shown({"home", "alt.one"})["ArticleLimit"], "1\tgroup");
}

TEST_F(TransferCommandTest, FetchReportsEachGroupAndFailsWithTheServersText)
{
	ScriptServer server;
	std::map<std::string, int> groups = {{"alt.one", 2}, {"alt.two", 1}};
	std::string current;
	server.Line("200 ready").Serve([&](const std::string& line) -> std::string {
		if (line == "MODE READER")
			return "200 reader\r\n";
		if (line.rfind("GROUP ", 0) == 0) {
			current = line.substr(6);
			int n = groups[current];
			return "211 " + std::to_string(n) + " 1 " + std::to_string(n) + " " + current + "\r\n";
		}
		if (line.rfind("ARTICLE ", 0) == 0) {
			std::string n = line.substr(8);
			std::string id = "<" + current + "." + n + "@example.org>";
			return "220 " + n + " " + id + "\r\nFrom: a@example.org\r\nNewsgroups: " + current +
				"\r\nSubject: s\r\nMessage-ID: " + id + "\r\n\r\nbody\r\n.\r\n";
		}
		if (line == "QUIT")
			return "205 bye\r\n";
		return "500 what\r\n";
	});
	add("home", server.Port(), {"alt.one", "alt.two"});
	server.Start();
	RunResult r = run({"fetch", "home"});
	server.Finish();
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.err.find("home/alt.one: 2 messages\n"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("home/alt.two: 1 messages\n"), std::string::npos) << r.err;
	EXPECT_EQ(r.out, "");
	RunResult list = run({"list", "home/alt.one"});
	EXPECT_NE(list.out.find("<alt.one.2@example.org>"), std::string::npos) << list.out;

	// Nothing listens there: the engine's text, exit 1.
	ASSERT_EQ(
		run({"account", "set", "home", "--port", std::to_string(ScriptServer::UnusedPort())}).status, 0);
	r = run({"fetch", "home", "alt.one"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("Account “home”  "), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("Connection refused"), std::string::npos) << r.err;
	EXPECT_EQ(run({"fetch", "home", "alt.nope"}).status, 1);
	EXPECT_EQ(run({"catchup", "home"}).status, 2);
	ASSERT_EQ(run({"settings", "home", "alt.two", "DownloadType=1"}).status, 0);
	r = run({"fetch", "home", "alt.two"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("Group cannot be downloaded"), std::string::npos) << r.err;
	r = run({"send", "home"});
	EXPECT_EQ(r.status, 0);
	EXPECT_NE(r.err.find("nothing to send"), std::string::npos) << r.err;
}

}  // namespace
