// The fetch, catchup and mark commands end to end against a real INN on 127.0.0.1:119: a group
// fetched as whole articles and as headers with bodies of marked messages afterwards, a second
// fetch that gets only what is new, catch-up, and a server restarted in the middle of a fetch.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "NetSock.h"
#include "TestSupport.h"

namespace {

using TestSupport::RunResult;

const long kCount = 2000;

bool innAnswers()
{
	NetSock sock;
	sock.TimeoutSet(2000000);
	if (sock.OpenClient(0, 0) != ErrOkay || sock.Connect(0x7F000001, 119) != ErrOkay)
		return false;
	TString line;
	return sock.RecvLine(line, 2000) == ErrOkay && line.ByteFirst() == '2';
}

RunResult inn(const std::vector<std::string>& args)
{
	return TestSupport::RunProgram(std::string(QUILLFERN_TEST_SERVERS) + "/inn.sh", args);
}

#define REQUIRE_INN() \
	do { \
		if (!innAnswers()) { \
			if (std::getenv("QUILLFERN_REQUIRE_INN")) \
				FAIL() << "INN does not answer on 127.0.0.1:119"; \
			GTEST_SKIP() << "INN is not running on 127.0.0.1:119; start it with tests/servers/inn.sh start"; \
		} \
	} while (0)

// A group with its own name for each test run, so that runs never see each other's articles.
std::string freshGroup(const char* what)
{
	return std::string("quillfern.fetch.") + what + "." + std::to_string(getpid()) + "." +
		std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
}

class InnFetchTest : public ::testing::Test {
protected:
	void TearDown() override
	{
		for (const std::string& g : mGroups)
			inn({"rmgroup", g});
	}

	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}

	// A new group of count articles, and an account subscribed to it that fetches without limits.
	void setup(const std::string& group, long count, const std::string& type = "3")
	{
		mGroups.push_back(group);
		ASSERT_EQ(inn({"newgroup", group}).status, 0);
		if (count > 0) {
			ASSERT_EQ(inn({"feed", group, std::to_string(count)}).status, 0);
		}
		ASSERT_EQ(run({"account", "add", "inn", "--server", "127.0.0.1", "--port", "119"}).status, 0);
		std::filesystem::create_directories(mRoot.Sub("News/Accounts/inn/Groups/" + group));
		RunResult r = run({"settings", "inn", group, "EnableDownloadLimits=0", "DownloadType=" + type});
		ASSERT_EQ(r.status, 0) << r.err;
	}

	// MESSAGE-IDs of the group's list; fails the test when one is there twice.
	std::vector<std::string> ids(const std::string& group)
	{
		RunResult r = run({"list", "inn/" + group});
		EXPECT_EQ(r.status, 0) << r.err;
		std::vector<std::string> out;
		std::istringstream in(r.out);
		std::string line;
		std::set<std::string> seen;
		while (std::getline(in, line)) {
			std::string id = line.substr(0, line.find('\t'));
			EXPECT_TRUE(seen.insert(id).second) << "twice: " << id;
			out.push_back(id);
		}
		return out;
	}

	TestSupport::TempDir mRoot;
	std::vector<std::string> mGroups;
};

TEST_F(InnFetchTest, WholeArticlesThenOnlyWhatIsNew)
{
	REQUIRE_INN();
	std::string group = freshGroup("whole");
	setup(group, kCount);
	RunResult r = run({"fetch", "inn"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.err.find("inn/" + group + ": " + std::to_string(kCount) + " messages"), std::string::npos)
		<< r.err;
	std::vector<std::string> first = ids(group);
	EXPECT_EQ(long(first.size()), kCount);
	RunResult body = run({"read", "inn/" + group, first[0], "--raw"});
	EXPECT_NE(body.out.find("Line 1 of article"), std::string::npos) << body.out;

	ASSERT_EQ(inn({"feed", group, "5"}).status, 0);
	r = run({"fetch", "inn", group});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.err.find(": 5 messages"), std::string::npos) << r.err;
	EXPECT_EQ(long(ids(group).size()), kCount + 5);
}

TEST_F(InnFetchTest, HeadersFirstThenBodiesOfMarkedMessages)
{
	REQUIRE_INN();
	std::string group = freshGroup("headers");
	setup(group, 200, "2");
	RunResult r = run({"fetch", "inn", group});
	ASSERT_EQ(r.status, 0) << r.err;
	std::vector<std::string> all = ids(group);
	ASSERT_EQ(all.size(), 200u);
	RunResult before = run({"read", "inn/" + group, all[5], "--raw"});
	EXPECT_EQ(before.out.find("Line 1 of article"), std::string::npos) << before.out;

	ASSERT_EQ(run({"mark", "inn/" + group, all[5], all[7], "download"}).status, 0);
	r = run({"fetch", "inn", group});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.err.find(": 2 messages"), std::string::npos) << r.err;
	for (int i : {5, 7}) {
		RunResult after = run({"read", "inn/" + group, all[size_t(i)], "--raw"});
		EXPECT_NE(after.out.find("Line 1 of article"), std::string::npos) << after.out;
	}
	RunResult other = run({"read", "inn/" + group, all[6], "--raw"});
	EXPECT_EQ(other.out.find("Line 1 of article"), std::string::npos) << other.out;
	EXPECT_EQ(ids(group).size(), 200u);
}

TEST_F(InnFetchTest, CatchupSkipsWhatIsOnTheServer)
{
	REQUIRE_INN();
	std::string group = freshGroup("catchup");
	setup(group, 50);
	RunResult r = run({"catchup", "inn", group});
	ASSERT_EQ(r.status, 0) << r.err;
	r = run({"fetch", "inn", group});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_TRUE(ids(group).empty());
	ASSERT_EQ(inn({"feed", group, "3"}).status, 0);
	r = run({"fetch", "inn", group});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(ids(group).size(), 3u);
}

TEST_F(InnFetchTest, ServerRestartedDuringAFetchLosesNothing)
{
	REQUIRE_INN();
	std::string group = freshGroup("restart");
	setup(group, kCount);
	std::atomic<bool> done{false};
	RunResult first;
	std::thread fetch([&] {
		first = run({"fetch", "inn", group});
		done = true;
	});
	// Restart once articles are arriving.
	std::string dir = mRoot.Sub("News/Accounts/inn/Groups/" + group);
	for (int i = 0; i < 2000 && !done; ++i) {
		long files = 0;
		for (auto& e : std::filesystem::directory_iterator(dir))
			files += e.path().filename().string().size() > 20;
		if (files > 100)
			break;
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	}
	bool restarted = !done;
	if (restarted) {
		inn({"stop"});
		inn({"start"});
	}
	fetch.join();
	ASSERT_TRUE(innAnswers());
	if (restarted) {
		EXPECT_EQ(first.status, 1) << first.err;
	}
	RunResult r = run({"fetch", "inn", group});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(long(ids(group).size()), kCount);
}

}  // namespace
