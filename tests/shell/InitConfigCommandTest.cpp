// End-to-end: the built quillfern command creating the storage tree and keeping preferences.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

const char* const kTreeDirs[] = {"Identity", "Saved", "News", "News/Drafts", "News/Outbox",
	"News/Sent Messages", "News/Accounts", "News/Temp", "News/Transfer", "News/Trash", "News/Data"};

std::vector<std::string> listTree(const std::string& root)
{
	std::vector<std::string> entries;
	for (auto& e : fs::recursive_directory_iterator(root))
		entries.push_back(e.path().string());
	std::sort(entries.begin(), entries.end());
	return entries;
}

}  // namespace

TEST(InitCommand, CreatesTheTreeOnceAndPrintsTheRoot)
{
	TempDir tmp;
	std::string root = tmp.Sub("Data Root é");
	RunResult r = RunQuillfern({"--root", root, "init"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, root + "\n");
	for (const char* dir : kTreeDirs)
		EXPECT_TRUE(fs::is_directory(root + "/" + dir)) << dir;
	EXPECT_FALSE(fs::exists(root + "/News/Inbox"));
	EXPECT_TRUE(fs::is_regular_file(root + "/News/Data/EventLog.txt"));

	// A second run on the same tree creates nothing new and succeeds.
	auto before = listTree(root);
	r = RunQuillfern({"--root", root, "init"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(listTree(root), before);

	// Each run left the event bus of its root, and no folder of it stayed behind.
	std::string buses = std::string(getenv("XDG_RUNTIME_DIR")) + "/quillfern";
	EXPECT_TRUE(!fs::exists(buses) || fs::is_empty(buses));
}

TEST(InitCommand, RootFromEnvironmentAndOptionWins)
{
	TempDir tmp;
	RunResult r = RunQuillfern({"init"}, {"QUILLFERN_ROOT=" + tmp.Sub("fromenv")});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, tmp.Sub("fromenv") + "\n");

	r = RunQuillfern({"--root", tmp.Sub("fromopt"), "init"}, {"QUILLFERN_ROOT=" + tmp.Sub("fromenv2")});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, tmp.Sub("fromopt") + "\n");
	EXPECT_FALSE(fs::exists(tmp.Sub("fromenv2")));

	// A relative root is taken from the working directory; missing parents are made.
	r = RunProgram("/bin/sh",
		{"-c", "cd '" + tmp.Path() + "' && exec '" QUILLFERN_BINARY "' --root rel/deeper/root init"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, tmp.Sub("rel/deeper/root") + "\n");
	EXPECT_TRUE(fs::is_directory(tmp.Sub("rel/deeper/root/News/Accounts")));
}

TEST(InitCommand, DefaultRootIsUnderHome)
{
	TempDir home;
	RunResult r = RunQuillfern(
		{"init"}, {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Sub(".config"), "QUILLFERN_ROOT"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, home.Sub("Library/QuillfernData") + "\n");
	EXPECT_TRUE(fs::is_directory(home.Sub("Library/QuillfernData/News/Data")));
}

TEST(InitCommand, RootThatCannotBeMadeFailsAndLeavesNothing)
{
	TempDir tmp;
	WriteFile(tmp.Sub("afile"), "x");
	RunResult r = RunQuillfern({"--root", tmp.Sub("afile/root"), "init"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("Can’t create directory: "), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("Directory: " + tmp.Sub("afile/root")), std::string::npos) << r.err;
	EXPECT_EQ(r.out, "");

	if (geteuid() != 0) {  // root may write anywhere
		fs::create_directory(tmp.Sub("ro"));
		chmod(tmp.Sub("ro").c_str(), 0555);
		r = RunQuillfern({"--root", tmp.Sub("ro/a/b"), "init"});
		EXPECT_EQ(r.status, 1);
		EXPECT_NE(r.err.find("Can’t create directory"), std::string::npos) << r.err;
		EXPECT_TRUE(fs::is_empty(tmp.Sub("ro")));
	}

	r = RunQuillfern({"--root", tmp.Path() + "//double", "init"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("Invalid Path"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("Path: " + tmp.Path() + "//double"), std::string::npos) << r.err;
	EXPECT_FALSE(fs::exists(tmp.Sub("double")));
}

TEST(InitCommand, FailingTreeRemovesWhatItMade)
{
	TempDir tmp;
	// "News" is a file: the root and its first folders can be made, the type folder cannot.
	fs::create_directory(tmp.Sub("root"));
	WriteFile(tmp.Sub("root/News"), "");
	RunResult r = RunQuillfern({"--root", tmp.Sub("root"), "init"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("News"), std::string::npos) << r.err;
	EXPECT_FALSE(fs::exists(tmp.Sub("root/Identity")));
	EXPECT_TRUE(fs::is_regular_file(tmp.Sub("root/News")));
}

TEST(ConfigCommand, ShowsSetsAndRefuses)
{
	TempDir tmp;
	std::string root = tmp.Sub("r");
	RunResult r = RunQuillfern({"--root", root, "config"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "root\t~/Library/QuillfernData\nline-length\t78\ncharset\tUTF-8\n");

	EXPECT_EQ(RunQuillfern({"--root", root, "config", "line-length", "72"}).status, 0);
	EXPECT_EQ(RunQuillfern({"--root", root, "config", "charset", "iso-8859-15"}).status, 0);
	r = RunQuillfern({"--root", root, "config", "line-length", "100"});
	EXPECT_EQ(r.status, 0);
	EXPECT_NE(r.err.find("using 80"), std::string::npos) << r.err;
	r = RunQuillfern({"--root", root, "config"});
	EXPECT_EQ(r.out, "root\t~/Library/QuillfernData\nline-length\t80\ncharset\tISO-8859-15\n");

	// A new root is created and stored, but the --root of a run is never stored.
	r = RunQuillfern({"--root", root, "config", "root", tmp.Sub("newroot")});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_TRUE(fs::is_directory(tmp.Sub("newroot")));
	r = RunQuillfern({"--root", root, "config", "root"});
	EXPECT_EQ(r.out, tmp.Sub("newroot") + "\n");
	r = RunQuillfern({"init"});
	EXPECT_EQ(r.out, tmp.Sub("newroot") + "\n");

	// Refusals change nothing.
	EXPECT_EQ(RunQuillfern({"--root", root, "config", "charset", "klingon"}).status, 1);
	EXPECT_EQ(RunQuillfern({"--root", root, "config", "line-length", "wide"}).status, 2);
	EXPECT_EQ(RunQuillfern({"--root", root, "config", "colour"}).status, 2);
	r = RunQuillfern({"--root", root, "config", "root", "rel"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("Invalid Path"), std::string::npos) << r.err;
	r = RunQuillfern({"--root", root, "config"});
	EXPECT_EQ(r.out, "root\t" + tmp.Sub("newroot") + "\nline-length\t80\ncharset\tISO-8859-15\n");
}

TEST(ConfigCommand, DamagedStoreIsReportedAndKept)
{
	TempDir tmp;
	std::string config = tmp.Sub("config");
	fs::create_directories(config + "/quillfern");
	std::string store = config + "/quillfern/net.quillfern.QuillfernData.prefs";
	WriteFile(store, "\"MessageLineLen\" = integer 70\nthis line is damaged\n");
	std::vector<std::string> env = {"XDG_CONFIG_HOME=" + config};

	// The damaged store is reported, naming it. Without a root for the run, the command fails
	// rather than work on the default root; with one, it goes on with the defaults.
	RunResult r = RunQuillfern({"config", "line-length"}, env);
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("File contents invalid"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find(store), std::string::npos) << r.err;
	EXPECT_EQ(r.out, "");
	r = RunQuillfern({"--root", tmp.Sub("r"), "config", "line-length"}, env);
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "78\n");
	EXPECT_NE(r.err.find(store), std::string::npos) << r.err;
	// A change is refused rather than written over it.
	r = RunQuillfern({"--root", tmp.Sub("r"), "config", "line-length", "72"}, env);
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("File contents invalid"), std::string::npos) << r.err;
	EXPECT_NE(r.err.find("File: " + store), std::string::npos) << r.err;
	EXPECT_EQ(ReadFile(store), "\"MessageLineLen\" = integer 70\nthis line is damaged\n");
}

TEST(Command, UsageHelpAndVersion)
{
	RunResult r = RunQuillfern({"--version"});
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(r.out.rfind("quillfern ", 0), 0u);
	r = RunQuillfern({"--help"});
	EXPECT_EQ(r.status, 0);
	EXPECT_NE(r.out.find("init"), std::string::npos);
	r = RunQuillfern({"help", "config"});
	EXPECT_EQ(r.status, 0);
	EXPECT_NE(r.out.find("line-length"), std::string::npos);
	EXPECT_EQ(RunQuillfern({}).status, 2);
	EXPECT_EQ(RunQuillfern({"frobnicate"}).status, 2);
	EXPECT_EQ(RunQuillfern({"--bogus", "init"}).status, 2);
	EXPECT_EQ(RunQuillfern({"init", "extra"}).status, 2);
	EXPECT_EQ(RunQuillfern({"--root"}).status, 2);
}
