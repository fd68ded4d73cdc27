// quillfern folder, mark, delete, move and reindex end to end, two runs at once on the same
// folders, and runs killed at random moments: afterwards every message is in exactly one
// place and every cache agrees with its files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Database.h"
#include "HeaderUtil.h"
#include "MessageHead.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::RunResult;
using Ids = std::vector<std::string>;

std::string leafOf(const std::string& id)
{
	TString leaf;
	HeaderUtil::MessageFilename(leaf, TString(id.c_str()));
	return leaf.String();
}

class StoreCommandTest : public ::testing::Test {
protected:
	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}

	std::string folderPath(const std::string& name) { return mRoot.Path() + "/Saved/" + name; }
	std::string transfer() { return mRoot.Path() + "/News/Transfer"; }

	// Puts message files into the transfer directory the way the downloader leaves them,
	// bound for a folder; the next run carries them in.
	void seed(const std::string& folder, const Ids& ids, const std::string& state = "UCNUNxxxxx")
	{
		seedTo(folderPath(folder), ids, state);
	}

	void seedTo(const std::string& dir, const Ids& ids, const std::string& state = "UCNUNxxxxx")
	{
		fs::create_directories(transfer());
		for (const std::string& id : ids) {
			std::string leaf = leafOf(id);
			std::string base = transfer() + "/" + leaf.substr(0, leaf.size() - 5);
			TestSupport::WriteFile(base + ".dest", dir + "\n");
			TestSupport::WriteFile(base + ".qmsg",
				"From: Bob <bob@example.org>\nNewsgroups: test.one\nSubject: About " + id +
					"\nDate: Sat, 05 Dec 2026 10:00:00 +0000\nMessage-ID: " + id +
					"\nUser-Agent: Tester\nLines: 1     \nX-Quillfern-State: " + state + "\n\nbody\n");
		}
	}

	static Ids numbered(const std::string& prefix, int from, int count)
	{
		Ids ids;
		for (int i = from; i < from + count; ++i)
			ids.push_back("<" + prefix + std::to_string(i) + "@example.org>");
		return ids;
	}

	// The message-ids of a folder's files, and of its cache (empty with a note when refused).
	static Ids fileIds(const std::string& dir)
	{
		Ids ids;
		std::error_code ec;
		for (const auto& entry : fs::directory_iterator(dir, ec)) {
			if (entry.path().extension() != ".qmsg")
				continue;
			MessageHead head;
			TString id;
			if (head.HeaderRead(TString(entry.path().c_str()), MessageHead::kLockWait) == ErrOkay)
				head.AttrMessageID(id);
			ids.push_back(id.Empty() ? "(unreadable " + entry.path().filename().string() + ")" : id.String());
		}
		std::sort(ids.begin(), ids.end());
		return ids;
	}

	static Ids cacheIds(const std::string& dir)
	{
		Database db;
		if (db.Open(TString((dir + "/Cache").c_str()), 1000000) != ErrOkay)
			return {"(cache refused)"};
		Ids ids;
		TString key, data;
		db.Rewind();
		while (db.RecordNext(key, data) == ErrOkay)
			ids.push_back(key.String());
		db.Close();
		std::sort(ids.begin(), ids.end());
		return ids;
	}

	static Ids transferMessages(const std::string& dir)
	{
		Ids leaves;
		std::error_code ec;
		for (const auto& entry : fs::directory_iterator(dir, ec))
			if (entry.path().extension() == ".qmsg")
				leaves.push_back(entry.path().filename().string());
		return leaves;
	}

	TestSupport::TempDir mRoot;
};

TEST_F(StoreCommandTest, FoldersAreListedCreatedRenamedAndDeleted)
{
	ASSERT_EQ(run({"folder", "create", "Projects"}).status, 0);
	RunResult r = run({"folder", "create", "Saved/Projects/Old"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(run({"folder", "create", "Projects"}).status, 1);
	EXPECT_EQ(run({"folder", "create", "Missing/Child"}).status, 1);
	EXPECT_EQ(run({"folder", "create", "a/../b"}).status, 2);
	EXPECT_EQ(run({"folder", "create", std::string("bad\tname")}).status, 2);
	seed("Projects", numbered("f", 0, 3));
	seed("Projects", {"<g0@example.org>"}, "UCNRNxxxxx");
	r = run({"folder", "list"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out,
		"Drafts\t0\t0\nOutbox\t0\t0\nSent Messages\t0\t0\nSaved/Projects\t3\t4\nSaved/Projects/Old\t0\t0\n");

	r = run({"folder", "rename", "Projects", "Work"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(run({"folder", "rename", "Projects", "Work"}).status, 1);
	EXPECT_EQ(run({"folder", "rename", "Work/Old", "a/b"}).status, 2);
	EXPECT_EQ(fileIds(folderPath("Work")).size(), 4u);
	r = run({"folder", "delete", "Saved/Work/Old"});
	ASSERT_EQ(r.status, 0) << r.err;
	r = run({"folder", "list"});
	EXPECT_EQ(r.out, "Drafts\t0\t0\nOutbox\t0\t0\nSent Messages\t0\t0\nSaved/Work\t3\t4\n");
	EXPECT_EQ(run({"folder", "delete", "Old"}).status, 1);
}

TEST_F(StoreCommandTest, MarkDeleteMoveAndReindex)
{
	ASSERT_EQ(run({"folder", "create", "A"}).status, 0);
	ASSERT_EQ(run({"folder", "create", "B"}).status, 0);
	Ids ids = numbered("m", 0, 5);
	seed("A", ids, "UHNUNxxxxx");
	RunResult r = run({"mark", "Saved/A", ids[0], ids[1], "read"});
	ASSERT_EQ(r.status, 0) << r.err;
	r = run({"mark", "Saved/A", ids[2], "download"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(run({"folder", "list"}).out.find("Saved/A\t3\t5\n") != std::string::npos, true);
	std::string text = TestSupport::ReadFile(folderPath("A") + "/" + leafOf(ids[2]));
	EXPECT_NE(text.find("X-Quillfern-State: UHNUR"), std::string::npos) << text;
	r = run({"mark", "Saved/A", "--all", "unread"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(run({"folder", "list"}).out.find("Saved/A\t5\t5\n"), std::string::npos);

	// Unknown messages and bad words are refused before anything changes.
	r = run({"mark", "Saved/A", ids[0], "<nope@example.org>", "read"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("no such message: <nope@example.org>"), std::string::npos) << r.err;
	EXPECT_EQ(run({"mark", "Saved/A", ids[0], "sideways"}).status, 2);
	EXPECT_EQ(run({"mark", "Saved/Nowhere", ids[0], "read"}).status, 1);
	EXPECT_NE(run({"folder", "list"}).out.find("Saved/A\t5\t5\n"), std::string::npos);

	r = run({"move", "Saved/A", ids[0], ids[1], "--to", "Saved/B"});
	ASSERT_EQ(r.status, 0) << r.err;
	r = run({"delete", "Saved/A", ids[2]});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(fileIds(folderPath("A")), (Ids{ids[3], ids[4]}));
	EXPECT_EQ(fileIds(folderPath("B")), (Ids{ids[0], ids[1]}));
	EXPECT_EQ(cacheIds(folderPath("A")), fileIds(folderPath("A")));
	EXPECT_EQ(cacheIds(folderPath("B")), fileIds(folderPath("B")));
	EXPECT_EQ(run({"delete", "Saved/A", ids[2]}).status, 1);

	// A cache that went missing is rebuilt from the files.
	fs::remove(folderPath("B") + "/Cache.didx");
	r = run({"reindex", "Saved/B"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(cacheIds(folderPath("B")), (Ids{ids[0], ids[1]}));
	EXPECT_EQ(run({"reindex", "Saved/Nowhere"}).status, 1);
	EXPECT_TRUE(transferMessages(transfer()).empty());
}

TEST_F(StoreCommandTest, TwoRunsOnTheSameFolderNeverDamageItsCache)
{
	ASSERT_EQ(run({"folder", "create", "A"}).status, 0);
	ASSERT_EQ(run({"folder", "create", "B"}).status, 0);
	Ids ids = numbered("t", 0, 150);
	seed("A", ids);
	ASSERT_EQ(run({"folder", "list"}).status, 0);
	Ids moving(ids.begin(), ids.begin() + 60);
	std::vector<std::string> moveArgs = {"move", "Saved/A"};
	moveArgs.insert(moveArgs.end(), moving.begin(), moving.end());
	moveArgs.insert(moveArgs.end(), {"--to", "Saved/B"});
	for (int round = 0; round < 2; ++round) {
		auto marking = std::async(std::launch::async, [&] {
			return run({"mark", "Saved/A", "--all", round ? "unread" : "read"});
		});
		auto moved = std::async(std::launch::async, [&] { return run(moveArgs); });
		RunResult m = marking.get(), v = moved.get();
		// Either run may find the other's work in its way; neither may damage anything.
		for (const RunResult* r : {&m, &v})
			EXPECT_TRUE(r->status == 0 || r->status == 1) << r->err;
		std::swap(moveArgs[1], moveArgs[moveArgs.size() - 1]);
		EXPECT_EQ(run({"folder", "list"}).status, 0);
		for (const char* f : {"A", "B"})
			EXPECT_EQ(cacheIds(folderPath(f)), fileIds(folderPath(f))) << f;
		Ids all = fileIds(folderPath("A")), b = fileIds(folderPath("B"));
		all.insert(all.end(), b.begin(), b.end());
		std::sort(all.begin(), all.end());
		Ids expected = ids;
		std::sort(expected.begin(), expected.end());
		EXPECT_EQ(all, expected);
	}
}

// Starts quillfern and kills it with SIGKILL after the given time; true when it had ended
// by itself first (its exit status in status).
bool runAndKill(const std::vector<std::string>& args, long micros, int& status)
{
	pid_t child = fork();
	if (child == 0) {
		int null = ::open("/dev/null", O_RDWR);
		dup2(null, 1);
		dup2(null, 2);
		std::vector<char*> argv;
		argv.push_back(const_cast<char*>(QUILLFERN_BINARY));
		for (const std::string& a : args)
			argv.push_back(const_cast<char*>(a.c_str()));
		argv.push_back(nullptr);
		execv(QUILLFERN_BINARY, argv.data());
		_exit(127);
	}
	usleep(static_cast<useconds_t>(micros));
	bool ended = waitpid(child, &status, WNOHANG) == child;
	if (!ended) {
		kill(child, SIGKILL);
		waitpid(child, &status, 0);
	}
	return ended;
}

// Killed at random moments while it inserts, moves, marks and deletes. Rounds come from
// QUILLFERN_CRASH_ROUNDS (a few by default; bench/crash-soak.sh runs many).
TEST_F(StoreCommandTest, KilledAtRandomMomentsLosesAndDamagesNothing)
{
	const char* env = std::getenv("QUILLFERN_CRASH_ROUNDS");
	int rounds = env ? static_cast<int>(std::strtol(env, nullptr, 10)) : 4;
	std::mt19937 rng(env ? static_cast<unsigned>(time(nullptr)) : 14u);
	const std::vector<std::string> folders = {"A", "B", "C"};
	for (const std::string& f : folders)
		ASSERT_EQ(run({"folder", "create", f}).status, 0);
	std::map<std::string, std::string> where;  // message-id to folder, as last verified
	std::set<std::string> maybeGone;  // asked to be deleted by a run that was killed
	int next = 0;
	for (int round = 0; round < rounds; ++round) {
		int op = static_cast<int>(rng() % 4);
		const std::string& from = folders[rng() % 3];
		const std::string& to = folders[rng() % 3];
		Ids chosen;
		for (const auto& [id, f] : where)
			if (f == from && chosen.size() < 150 && rng() % 2)
				chosen.push_back(id);
		std::vector<std::string> args = {"--root", mRoot.Path()};
		if (op == 0 || chosen.empty()) {
			Ids fresh = numbered("k", next, 400);
			next += 400;
			seed(from, fresh);
			for (const std::string& id : fresh)
				where[id] = from;
			op = 0;
			args.insert(args.end(), {"folder", "list"});
		} else if (op == 1 && from != to) {
			args.insert(args.end(), {"move", "Saved/" + from});
			args.insert(args.end(), chosen.begin(), chosen.end());
			args.insert(args.end(), {"--to", "Saved/" + to});
		} else if (op == 2) {
			args.insert(args.end(), {"delete", "Saved/" + from});
			args.insert(args.end(), chosen.begin(), chosen.end());
		} else {
			args.insert(args.end(), {"mark", "Saved/" + from, "--all", rng() % 2 ? "read" : "unread"});
			op = 3;
		}
		int status = 0;
		bool ended = runAndKill(args, 50000 + rng() % 900000, status);
		if (ended) {
			ASSERT_TRUE(WIFEXITED(status)) << round;
			EXPECT_EQ(WEXITSTATUS(status), 0) << "round " << round;
		}
		if (op == 2) {
			for (const std::string& id : chosen)
				maybeGone.insert(id);
		}

		// The next run carries in what waits and rebuilds what has to be.
		RunResult r = run({"folder", "list"});
		ASSERT_EQ(r.status, 0) << r.err;
		ASSERT_TRUE(transferMessages(transfer()).empty()) << "round " << round;
		std::map<std::string, std::string> found;
		for (const std::string& f : folders) {
			Ids files = fileIds(folderPath(f));
			ASSERT_EQ(cacheIds(folderPath(f)), files) << "round " << round << " folder " << f;
			for (const std::string& id : files) {
				ASSERT_TRUE(found.emplace(id, f).second) << id << " twice, round " << round;
				ASSERT_TRUE(where.count(id)) << id;
			}
		}
		for (const auto& [id, f] : where) {
			bool gone = !found.count(id);
			ASSERT_TRUE(!gone || maybeGone.count(id)) << id << " lost in round " << round;
			// What a finished run reported done is done.
			bool asked = std::find(chosen.begin(), chosen.end(), id) != chosen.end();
			if (ended && op == 1 && asked) {
				EXPECT_EQ(found[id], to) << id;
			}
			if (ended && op == 2 && asked) {
				EXPECT_TRUE(gone) << id;
			}
		}
		where = found;
	}
}

}  // namespace

namespace {

// Every message file's state letter at position at (0-based), by message-id.
std::map<std::string, char> stateLetters(const std::string& dir, size_t at)
{
	std::map<std::string, char> out;
	for (const auto& entry : fs::directory_iterator(dir)) {
		if (entry.path().extension() != ".qmsg")
			continue;
		MessageHead head;
		TString id, state;
		if (head.HeaderRead(TString(entry.path().c_str()), MessageHead::kLockWait) != ErrOkay)
			continue;
		head.AttrMessageID(id);
		head.HeaderGet(kHeaderQuillfernState, state);
		out[id.String()] = state.ByteLength() > long(at) ? state.String()[at] : '?';
	}
	return out;
}

void ageFiles(const std::string& dir, const Ids& ids, std::chrono::hours hours)
{
	for (const std::string& id : ids)
		fs::last_write_time(dir + "/" + leafOf(id), fs::file_time_type::clock::now() - hours);
}

class BulkCommandTest : public StoreCommandTest {
protected:
	std::string groupPath(const std::string& group)
	{
		return mRoot.Path() + "/News/Accounts/Home/Groups/" + group;
	}

	// The account "Home" with the newsgroups given, each with its expiry setting (empty: none).
	void groups(const std::vector<std::pair<std::string, std::string>>& list)
	{
		RunResult r = run({"account", "add", "Home", "--server", "127.0.0.1"});
		ASSERT_EQ(r.status, 0) << r.err;
		for (const auto& [name, expire] : list) {
			fs::create_directories(groupPath(name));
			if (expire.empty())
				continue;
			r = run({"settings", "Home", name, "Expire=" + expire});
			ASSERT_EQ(r.status, 0) << r.err;
		}
	}
};

TEST_F(BulkCommandTest, WholeFolderCommandsAgreeWithAFullReRead)
{
	ASSERT_EQ(run({"folder", "create", "A"}).status, 0);
	Ids ids = numbered("b", 0, 40);
	seed("A", ids, "UHNUNxxxxx");
	seed("A", {"<whole@example.org>"}, "UCNUNxxxxx");
	RunResult r = run({"mark", "Saved/A", "--all", "read"});
	ASSERT_EQ(r.status, 0) << r.err;
	// Not a terminal: one line per finished step, with its final count.
	EXPECT_NE(r.err.find("Saved/A: Setting unread state for 41 messages ...\n"), std::string::npos) << r.err;
	EXPECT_NE(run({"folder", "list"}).out.find("Saved/A\t0\t41\n"), std::string::npos);
	for (const auto& [id, letter] : stateLetters(folderPath("A"), 3))
		EXPECT_EQ(letter, 'R') << id;
	r = run({"mark", "Saved/A", "--all", "download"});
	ASSERT_EQ(r.status, 0) << r.err;
	for (const auto& [id, letter] : stateLetters(folderPath("A"), 4))
		EXPECT_EQ(letter, id == "<whole@example.org>" ? 'N' : 'R') << id;
	r = run({"mark", "Saved/A", "--all", "unread"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(run({"folder", "list"}).out.find("Saved/A\t41\t41\n"), std::string::npos);

	// A cache that lost its files is rebuilt whole; so after a re-parse.
	fs::remove(folderPath("A") + "/Cache.didx");
	fs::remove(folderPath("A") + "/Cache.ddat");
	r = run({"reindex", "Saved/A"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.err.find("Saved/A: Reindexing 41 messages ...\n"), std::string::npos) << r.err;
	EXPECT_EQ(cacheIds(folderPath("A")), fileIds(folderPath("A")));
	EXPECT_EQ(fileIds(folderPath("A")).size(), 41u);
	r = run({"reparse", "Saved/A"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.err.find("Saved/A: Parsing 41 messages ...\n"), std::string::npos) << r.err;
	EXPECT_EQ(cacheIds(folderPath("A")), fileIds(folderPath("A")));

	EXPECT_EQ(run({"delete", "Saved/A", "--all", ids[0]}).status, 2);
	EXPECT_EQ(run({"reparse", "Saved/Nowhere"}).status, 1);
	EXPECT_EQ(run({"mark", "Saved/Nowhere", "--all", "read"}).status, 1);
	r = run({"delete", "Saved/A", "--all"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_TRUE(fileIds(folderPath("A")).empty());
	EXPECT_TRUE(cacheIds(folderPath("A")).empty());
	EXPECT_NE(run({"folder", "list"}).out.find("Saved/A\t0\t0\n"), std::string::npos);
}

TEST_F(BulkCommandTest, ExpireRemovesOnlyMessagesPastTheirGroupsAge)
{
	groups({{"test.two", "2 days"}, {"test.default", ""}});
	Ids two = numbered("two", 0, 4), other = numbered("def", 0, 2);
	seedTo(groupPath("test.two"), two);
	seedTo(groupPath("test.default"), other);
	ASSERT_EQ(run({"folder", "list"}).status, 0);
	ageFiles(groupPath("test.two"), {two[0], two[1]}, std::chrono::hours(49));
	ageFiles(groupPath("test.two"), {two[2]}, std::chrono::hours(47));
	// Without a setting of its own a newsgroup keeps its messages 14 days.
	ageFiles(groupPath("test.default"), {other[0]}, std::chrono::hours(13 * 24));
	ageFiles(groupPath("test.default"), {other[1]}, std::chrono::hours(15 * 24));
	RunResult r = run({"expire"});
	ASSERT_EQ(r.status, 0) << r.err;
	std::vector<std::string> lines;
	for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1)
		lines.push_back(r.out.substr(at, end - at));
	std::sort(lines.begin(), lines.end());
	EXPECT_EQ(lines,
		(Ids{"Home/test.default\t" + other[1], "Home/test.two\t" + two[0], "Home/test.two\t" + two[1]}));
	EXPECT_NE(r.err.find("Home/test.two: 2 message(s) expired\n"), std::string::npos) << r.err;
	EXPECT_EQ(fileIds(groupPath("test.two")), (Ids{two[2], two[3]}));
	EXPECT_EQ(cacheIds(groupPath("test.two")), fileIds(groupPath("test.two")));
	EXPECT_EQ(fileIds(groupPath("test.default")), (Ids{other[0]}));
	r = run({"expire"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "");
}

// Killed in the middle of whole-folder work: every message is afterwards whole and in place (or
// gone, when it was being deleted or expired), and the next run brings the cache back in step.
// The newsgroup's messages are all past their age, so any run may expire them.
TEST_F(BulkCommandTest, KilledDuringBulkWorkLosesNothingAndCachesComeBackInStep)
{
	groups({{"test.old", "1 day"}});
	ASSERT_EQ(run({"folder", "create", "A"}).status, 0);
	std::mt19937 rng(20);
	const std::vector<std::vector<std::string>> ops = {{"reindex", "Saved/A"},
		{"mark", "Saved/A", "--all", "read"}, {"delete", "Saved/A", "--all"}, {"reparse", "Saved/A"},
		{"expire"}, {"mark", "Saved/A", "--all", "unread"}};
	int next = 0;
	for (int round = 0; round < 6; ++round) {
		Ids fresh = numbered("c", next, 300), old = numbered("o", next, 150);
		next += 300;
		seed("A", fresh);
		seedTo(groupPath("test.old"), old);
		ASSERT_EQ(run({"folder", "list"}).status, 0);
		ageFiles(groupPath("test.old"), old, std::chrono::hours(30));
		Ids before = fileIds(folderPath("A"));
		const std::vector<std::string>& op = ops[size_t(round) % ops.size()];
		std::vector<std::string> args = {"--root", mRoot.Path()};
		args.insert(args.end(), op.begin(), op.end());
		int status = 0;
		bool ended = runAndKill(args, 150000 + rng() % 600000, status);
		if (ended) {
			EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << op[0] << " round " << round;
		}
		RunResult r = run({"folder", "list"});
		ASSERT_EQ(r.status, 0) << r.err;
		for (const std::string& dir : {folderPath("A"), groupPath("test.old")}) {
			Ids files = fileIds(dir);
			for (const std::string& id : files)
				ASSERT_EQ(id.find("(unreadable"), std::string::npos) << id << " round " << round;
			// Reading the folder brings its cache back in step with the files.
			ASSERT_EQ(run({"list", dir == folderPath("A") ? "Saved/A" : "Home/test.old"}).status, 0);
			EXPECT_EQ(cacheIds(dir), files) << op[0] << " round " << round;
		}
		if (op[0] != "delete") {
			EXPECT_EQ(fileIds(folderPath("A")), before) << op[0] << " round " << round;
		}
		if (ended && op[0] == "delete") {
			EXPECT_TRUE(fileIds(folderPath("A")).empty());
		}
	}
}

// Messages arriving in a newsgroup while another process reindexes or expires it are all kept.
TEST_F(BulkCommandTest, ArrivalsBesideReindexOrExpireOfTheSameGroupAreKept)
{
	groups({{"test.busy", "1 day"}});
	Ids old = numbered("old", 0, 400);
	seedTo(groupPath("test.busy"), old);
	ASSERT_EQ(run({"folder", "list"}).status, 0);
	ageFiles(groupPath("test.busy"), old, std::chrono::hours(30));
	Ids arrived;
	for (int round = 0; round < 2; ++round) {
		Ids fresh = numbered("new" + std::to_string(round) + "-", 0, 300);
		arrived.insert(arrived.end(), fresh.begin(), fresh.end());
		seedTo(groupPath("test.busy"), fresh);
		// The run that carries the new messages in starts beside the bulk work.
		auto bulk = std::async(std::launch::async, [&] {
			return round == 0 ? run({"reindex", "Home/test.busy"}) : run({"expire"});
		});
		auto arriving = std::async(std::launch::async, [&] { return run({"folder", "list"}); });
		RunResult b = bulk.get(), a = arriving.get();
		EXPECT_EQ(b.status, 0) << b.err;
		EXPECT_EQ(a.status, 0) << a.err;
		ASSERT_EQ(run({"folder", "list"}).status, 0);
		EXPECT_TRUE(transferMessages(transfer()).empty());
		Ids files = fileIds(groupPath("test.busy"));
		EXPECT_EQ(cacheIds(groupPath("test.busy")), files);
		for (const std::string& id : arrived)
			EXPECT_TRUE(std::binary_search(files.begin(), files.end(), id)) << id << " lost, round " << round;
		if (round == 1) {
			EXPECT_EQ(files.size(), arrived.size());
		}
	}
}

}  // namespace
