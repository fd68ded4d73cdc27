// Several quillfern processes at once on one data root: each change is made to the files as
// they are at that moment, so nothing another process did meanwhile is lost, and the account
// limit holds across processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace {

using TestSupport::RunResult;

class ParallelCommandTest : public ::testing::Test {
protected:
	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}

	// Runs every command line at once and gives their results in the same order.
	std::vector<RunResult> runAll(const std::vector<std::vector<std::string>>& lines)
	{
		std::vector<RunResult> results(lines.size());
		std::vector<std::thread> threads;
		for (size_t i = 0; i < lines.size(); ++i)
			threads.emplace_back([&, i] { results[i] = run(lines[i]); });
		for (std::thread& t : threads)
			t.join();
		return results;
	}

	static size_t lineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

	TestSupport::TempDir mRoot;
};

TEST_F(ParallelCommandTest, ParallelIdentityAddsAllSurvive)
{
	ASSERT_EQ(0, run({"init"}).status);
	std::vector<std::vector<std::string>> lines;
	for (int i = 0; i < 15; ++i)
		lines.push_back({"identity", "add", "Person " + std::to_string(i), "--email",
			"p" + std::to_string(i) + "@example.org"});
	for (const RunResult& r : runAll(lines))
		EXPECT_EQ(0, r.status) << r.err;
	RunResult list = run({"identity", "list"});
	ASSERT_EQ(0, list.status) << list.err;
	EXPECT_EQ("", list.err);
	EXPECT_EQ(16u, lineCount(list.out)) << list.out;
	for (int i = 0; i < 15; ++i)
		EXPECT_NE(std::string::npos, list.out.find("\tPerson " + std::to_string(i) + "\t")) << i;

	// Changes and deletions beside one another keep each other too.
	lines.clear();
	for (int i = 0; i < 5; ++i)
		lines.push_back(
			{"identity", "set", "Person " + std::to_string(i), "--organization", "Org " + std::to_string(i)});
	for (int i = 5; i < 10; ++i)
		lines.push_back({"identity", "delete", "Person " + std::to_string(i)});
	for (const RunResult& r : runAll(lines))
		EXPECT_EQ(0, r.status) << r.err;
	list = run({"identity", "list"});
	EXPECT_EQ(11u, lineCount(list.out)) << list.out;
	for (int i = 0; i < 5; ++i)
		EXPECT_NE(std::string::npos, list.out.find("\tOrg " + std::to_string(i) + "\n")) << list.out;
}

TEST_F(ParallelCommandTest, AccountLimitHoldsAcrossProcesses)
{
	std::vector<std::vector<std::string>> lines;
	for (int i = 0; i < 23; ++i)
		lines.push_back({"account", "add", "A" + std::to_string(i), "--server", "news.example.org"});
	int refused = 0;
	for (const RunResult& r : runAll(lines)) {
		EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;
		if (r.status == 1) {
			++refused;
			EXPECT_NE(std::string::npos, r.err.find("The maximum number of accounts is 20")) << r.err;
		} else {
			EXPECT_EQ("", r.err);  // no half-made account seen on loading
		}
	}
	EXPECT_EQ(3, refused);
	size_t folders = 0;
	for (auto& entry : std::filesystem::directory_iterator(mRoot.Path() + "/News/Accounts"))
		folders += entry.is_directory();
	EXPECT_EQ(20u, folders);
	RunResult list = run({"account", "list"});
	ASSERT_EQ(0, list.status) << list.err;
	EXPECT_EQ(20u, lineCount(list.out));
	// Every account that exists can be changed and deleted.
	for (size_t at = 0; at < list.out.size();) {
		std::string name = list.out.substr(at, list.out.find('\t', at) - at);
		at = list.out.find('\n', at) + 1;
		EXPECT_EQ(0, run({"account", "set", name, "--port", "120"}).status) << name;
	}
	std::string first = list.out.substr(0, list.out.find('\t'));
	EXPECT_EQ(0, run({"account", "delete", first}).status);
	EXPECT_EQ(0, run({"account", "add", "Later", "--server", "news.example.org"}).status);
}

TEST_F(ParallelCommandTest, ChangesOfOneAccountAtOnceAreAllKept)
{
	ASSERT_EQ(0, run({"account", "add", "Home", "--server", "news.example.org"}).status);
	for (const RunResult& r : runAll({{"account", "set", "Home", "--port", "563"},
			 {"account", "set", "Home", "--timeout", "1.5 seconds"},
			 {"account", "set", "Home", "--logging", "2"},
			 {"account", "set", "Home", "--user", "me", "--password", "pw"},
			 {"account", "set", "Home", "--server", "other.example.org"}}))
		EXPECT_EQ(0, r.status) << r.err;
	RunResult r = run({"account", "show", "Home"});
	ASSERT_EQ(0, r.status) << r.err;
	for (const char* line : {"server\tother.example.org\n", "port\t563\n", "timeout\t1.5 seconds\n",
			 "login\tyes\n", "user\tme\n", "logging\t2\n"})
		EXPECT_NE(std::string::npos, r.out.find(line)) << line << r.out;
}

TEST_F(ParallelCommandTest, PreferenceChangeBesideOtherRunsIsKept)
{
	ASSERT_EQ(0, run({"account", "add", "Home", "--server", "news.example.org"}).status);
	for (int round = 0; round < 3; ++round) {
		ASSERT_EQ(0, run({"config", "line-length", "70"}).status);
		std::vector<std::vector<std::string>> lines = {{"config", "line-length", "65"}};
		for (int i = 0; i < 8; ++i)
			lines.push_back({"account", "list"});
		for (const RunResult& r : runAll(lines))
			EXPECT_EQ(0, r.status) << r.err;
		EXPECT_EQ("65\n", run({"config", "line-length"}).out) << "round " << round;
	}
}

}  // namespace
