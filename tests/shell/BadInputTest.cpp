// Bad input at the command line is refused with nothing written, and failures are honest:
// read-only and linked settings files, held locks, damaged files, leftovers of killed writes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FileLock.h"
#include "TString.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::ReadFile;
using TestSupport::RunResult;
using TestSupport::WriteFile;

class BadInputTest : public ::testing::Test {
protected:
	void SetUp() override { fs::create_directories(config()); }

	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", root()});
		return TestSupport::RunQuillfern(args, {"XDG_CONFIG_HOME=" + mDir.Sub("config")});
	}

	std::string root() const { return mDir.Sub("root"); }
	std::string config() const { return mDir.Sub("config") + "/quillfern"; }
	std::string find(const std::string& leaf)
	{
		for (auto& entry : fs::recursive_directory_iterator(mDir.Path()))
			if (entry.path().filename() == leaf)
				return entry.path().string();
		return "";
	}

	// Every path under the data root and the preferences folder with its contents.
	std::string tree()
	{
		std::vector<std::string> lines;
		for (auto& entry : fs::recursive_directory_iterator(mDir.Path())) {
			std::string line = entry.path().string();
			if (entry.is_regular_file() && entry.path().filename() != "EventLog.txt")
				line += "=" + ReadFile(line);
			lines.push_back(line);
		}
		std::sort(lines.begin(), lines.end());
		std::string out;
		for (const std::string& line : lines)
			out += line + "\n";
		return out;
	}

	TestSupport::TempDir mDir;
};

TEST_F(BadInputTest, TextThatIsNotUtf8HoldsControlsOrIsTooLongIsRefused)
{
	ASSERT_EQ(0, run({"account", "add", "Home", "--server", "news.example.org"}).status);
	ASSERT_EQ(0, run({"identity", "add", "Me", "--email", "me@example.org"}).status);
	const std::string before = tree();

	const std::vector<std::pair<std::string, std::string>> bad = {{"us\xe9r", "not valid UTF-8"},
		{"a\tb", "control character"}, {"a\nb", "control character"}, {"a\rb", "control character"},
		{std::string(12000, 'x'), "too long"}};
	// Each command line takes the bad text at the place named by the second field.
	const std::vector<std::pair<std::vector<std::string>, std::string>> lines = {
		{{"account", "add", "@", "--server", "news.example.org"}, "argument 2"},
		{{"account", "add", "New", "--server", "@"}, "--server"},
		{{"account", "add", "New", "--server", "news.example.org", "--user", "@", "--password", "pw"},
			"--user"},
		{{"account", "add", "New", "--server", "news.example.org", "--user", "me", "--password", "@"},
			"--password"},
		{{"account", "set", "Home", "--password", "@", "--user", "me"}, "--password"},
		{{"account", "set", "Home", "--identity", "@"}, "--identity"},
		{{"account", "set", "Home", "--rename", "@"}, "--rename"},
		{{"account", "set", "Home", "--timeout", "@"}, "--timeout"},
		{{"identity", "add", "@", "--email", "x@example.org"}, "argument 2"},
		{{"identity", "add", "New", "--email", "@"}, "--email"},
		{{"identity", "set", "Me", "--name", "@"}, "--name"},
		{{"identity", "set", "Me", "--organization", "@"}, "--organization"},
		{{"identity", "set", "Me", "--munged", "@"}, "--munged"},
		{{"identity", "set", "Me", "--signature", "@"}, "--signature"},
		{{"config", "charset", "@"}, "argument 2"},
		{{"config", "root", "/tmp/@"}, "argument 2"},
	};
	for (const auto& [text, reason] : bad) {
		for (const auto& [line, where] : lines) {
			std::vector<std::string> args = line;
			std::string shown;
			for (std::string& word : args) {
				size_t at = word.find('@');
				if (at != std::string::npos && word.find(".org") == std::string::npos)
					word.replace(at, 1, text);
				shown += (word.size() > 40 ? word.substr(0, 40) + "..." : word) + " ";
			}
			RunResult r = run(args);
			EXPECT_EQ(2, r.status) << shown << r.err;
			EXPECT_NE(std::string::npos, r.err.find(where)) << shown << r.err;
			EXPECT_NE(std::string::npos, r.err.find(reason)) << shown << r.err;
			EXPECT_EQ("", r.out) << shown;
		}
	}
	EXPECT_EQ(before, tree());
}

TEST_F(BadInputTest, EveryCommandHasHelp)
{
	RunResult all = run({"--help"});
	ASSERT_EQ(0, all.status);
	std::vector<std::string> commands;
	size_t at = all.out.find("Commands:\n");
	ASSERT_NE(std::string::npos, at);
	for (at = all.out.find('\n', at) + 1; at < all.out.size() && all.out.compare(at, 2, "  ") == 0;) {
		size_t start = all.out.find_first_not_of(' ', at);
		commands.push_back(all.out.substr(start, all.out.find(' ', start) - start));
		at = all.out.find('\n', at) + 1;
	}
	ASSERT_GE(commands.size(), 4u);
	for (const std::string& command : commands) {
		RunResult r = run({command, "--help"});
		EXPECT_EQ(0, r.status) << command << r.err;
		EXPECT_EQ(0u, r.out.rfind("usage: quillfern [--root DIR] " + command, 0)) << command << r.out;
	}
	// After "--" it is an argument like any other.
	RunResult r = run({"config", "--", "--help"});
	EXPECT_EQ(2, r.status);
	EXPECT_NE(std::string::npos, r.err.find("unknown key --help")) << r.err;
}

TEST_F(BadInputTest, ReadOnlySettingsFilesAreNotReplacedAndLinksAreWrittenThrough)
{
	ASSERT_EQ(0, run({"account", "add", "Home", "--server", "news.example.org"}).status);
	std::string account = find("Account.init"), identity = find("Identity.init");
	ASSERT_FALSE(account.empty() || identity.empty());

	for (const std::string& path : {account, identity})
		chmod(path.c_str(), 0400);
	const std::string before = tree();
	RunResult r = run({"account", "set", "Home", "--port", "120"});
	EXPECT_EQ(1, r.status);
	EXPECT_NE(std::string::npos, r.err.find("access denied")) << r.err;
	r = run({"identity", "add", "Me", "--email", "me@example.org"});
	EXPECT_EQ(1, r.status);
	EXPECT_NE(std::string::npos, r.err.find("access denied")) << r.err;
	EXPECT_EQ(before, tree());
	for (const std::string& path : {account, identity})
		chmod(path.c_str(), 0600);

	// A settings file that is a link keeps being one; what it points at changes.
	std::string elsewhere = mDir.Sub("Identity elsewhere.init");
	fs::rename(identity, elsewhere);
	fs::create_symlink(elsewhere, identity);
	ASSERT_EQ(0, run({"identity", "add", "Me", "--email", "me@example.org"}).status);
	EXPECT_TRUE(fs::is_symlink(identity));
	EXPECT_NE(std::string::npos, ReadFile(elsewhere).find("\"Me\""));
	EXPECT_NE(std::string::npos, run({"identity", "list"}).out.find("\tMe\t"));
}

TEST_F(BadInputTest, HeldPreferenceLocksNeverLeadToDefaultsWritten)
{
	ASSERT_EQ(0, run({"config", "line-length", "70"}).status);
	ASSERT_EQ(0, run({"account", "add", "Home", "--server", "news.example.org"}).status);
	const std::string engineStore = config() + "/net.quillfern.QuillfernData.prefs";
	const std::string appStore = config() + "/net.quillfern.QuillfernNews.prefs";
	ASSERT_TRUE(fs::exists(engineStore) && fs::exists(appStore));
	// The application store holds values another run set; they must survive a run that
	// could not read them.
	WriteFile(appStore,
		ReadFile(appStore) +
			"\"FirstRunAlert\" = boolean true\n\"MessageColors\" = dict\n"
			"\"MessageColors\" \"Quoting\" = dict\n\"MessageColors\" \"Quoting\" \"Level1\" = string \"#01020304\"\n");

	const std::string appBefore = ReadFile(appStore);
	for (const std::string domain : {"net.quillfern.QuillfernData", "net.quillfern.QuillfernNews"}) {
		const std::string before = tree();
		FileLock held;
		ASSERT_EQ(ErrOkay, held.LockPath(TString((config() + "/" + domain + ".lock").c_str()), 0));
		const bool engine = domain == "net.quillfern.QuillfernData";
		RunResult change = run({"config", "line-length", "72"});
		RunResult list = engine ? RunResult() : run({"account", "list"});
		held.Unlock();
		if (engine) {
			// Without the engine store the root is unknown: the run fails (after waiting for
			// the holder a while), saying why.
			EXPECT_EQ(1, change.status) << domain;
			EXPECT_NE(std::string::npos, change.err.find("File is locked")) << change.err;
			EXPECT_EQ(before, tree()) << domain;
		} else {
			// The application store only stands back: its values stay as they were.
			EXPECT_EQ(0, list.status) << list.err;
			EXPECT_EQ(0, change.status) << change.err;
			EXPECT_NE(std::string::npos, list.out.find("Home\t")) << domain;
			EXPECT_EQ(appBefore, ReadFile(appStore));
		}
	}
	EXPECT_EQ("72\n", run({"config", "line-length"}).out);
}

TEST_F(BadInputTest, DamagedFilesAreReportedByNameAndLeftoversRemoved)
{
	ASSERT_EQ(0, run({"account", "add", "Home", "--server", "news.example.org"}).status);
	ASSERT_EQ(0, run({"account", "add", "Work", "--server", "news.example.org"}).status);
	std::string account = find("Account.init");
	std::string accountDir = fs::path(account).parent_path().string();
	std::string identity = find("Identity.init");
	std::string identityDir = fs::path(identity).parent_path().string();

	// Temporary files of writes killed halfway, by a process that is gone.
	const std::string dead = ".Identity.init.999999999-1.tmp";
	for (const std::string& dir : {identityDir, accountDir, config()})
		WriteFile(dir + "/" + dead, "half");
	WriteFile(account, "[NNTP]\nthis line is damaged\n");
	RunResult r = run({"account", "list"});
	EXPECT_EQ(0, r.status);
	EXPECT_EQ(1u, std::count(r.out.begin(), r.out.end(), '\n')) << r.out;
	EXPECT_NE(std::string::npos, r.err.find(account)) << r.err;
	for (const std::string& dir : {identityDir, accountDir, config()})
		EXPECT_FALSE(fs::exists(dir + "/" + dead)) << dir;
	EXPECT_EQ("[NNTP]\nthis line is damaged\n", ReadFile(account));

	// So is a damaged application store, which is then left as it is.
	const std::string appStore = config() + "/net.quillfern.QuillfernNews.prefs";
	WriteFile(appStore, "\"FirstRunAlert\" = boolean maybe\n");
	r = run({"account", "list"});
	EXPECT_EQ(0, r.status);
	EXPECT_NE(std::string::npos, r.err.find(appStore)) << r.err;
	EXPECT_EQ("\"FirstRunAlert\" = boolean maybe\n", ReadFile(appStore));

	// A damaged identity list is moved aside, not lost, and that is said.
	WriteFile(identity, "[Identity01]\nName = \"unterminated\n");
	r = run({"identity", "list"});
	EXPECT_EQ(0, r.status);
	EXPECT_NE(std::string::npos, r.err.find("The identity list cannot be read")) << r.err;
	EXPECT_NE(std::string::npos, r.err.find(identity)) << r.err;
	size_t aside = 0;
	for (auto& entry : fs::directory_iterator(identityDir))
		aside += ReadFile(entry.path().string()) == "[Identity01]\nName = \"unterminated\n";
	EXPECT_EQ(1u, aside);
}

}  // namespace

TEST(BadInput, ResultsThatCannotBeWrittenFailTheRun)
{
	// A full disk behind standard output: the run says so and does not report success.
	for (const char* words : {" --version", " --help", " help list"}) {
		std::string cmd = std::string(QUILLFERN_BINARY) + words + " >/dev/full 2>/dev/null";
		int rc = std::system(cmd.c_str());
		ASSERT_TRUE(WIFEXITED(rc)) << words;
		EXPECT_EQ(WEXITSTATUS(rc), 1) << words;
	}
}
