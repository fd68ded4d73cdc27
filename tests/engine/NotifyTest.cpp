// The notification bus: delivery on the main thread, order, payloads, observers, and the
// exchange of distributed events with other processes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Assert.h"
#include "Notify.h"
#include "NotifyImp.h"
#include "NotifyList.h"
#include "TestSupport.h"
#include "Thread.h"
#include "TimeCore.h"

extern char** environ;

namespace {

struct Seen {
	std::vector<std::string> payloads;
	std::vector<bool> onMain;
	ThreadHandle main = Thread::Self();
};

void record(void* context, const TString& payload)
{
	Seen* seen = static_cast<Seen*>(context);
	seen->payloads.emplace_back(payload.String(), static_cast<size_t>(payload.ByteLength()));
	seen->onMain.push_back(Thread::Self() == seen->main);
}

// Delivers until `done` holds or the time runs out.
template <typename Cond> bool deliverUntil(Cond done, long long limit = 10000000)
{
	long long end = TimeCore::TickCount() + limit;
	while (!done()) {
		if (TimeCore::TickCount() > end)
			return false;
		Notify::WaitAndDeliver(20000);
	}
	return true;
}

class NotifyTest : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_TRUE(Notify::Start()); }
	void TearDown() override { Notify::Stop(); }
};

}  // namespace

TEST_F(NotifyTest, WorkerPostRunsLaterOnTheMainThread)
{
	Seen seen;
	Notify::Register(NotifyList::DecodeStart(), record, &seen);
	std::atomic<bool> movedOn{false};
	std::thread worker([&] {
		Thread::Sleep(100000);
		Notify::Send(NotifyList::DecodeStart(), "part01.rar");
		movedOn = true;  // posting did not wait for the callback
	});
	// Another thread cannot run the callbacks.
	std::thread other([&] {
		while (!movedOn)
			Thread::Sleep(1000);
		EXPECT_EQ(Notify::Deliver(), 0);
	});
	other.join();
	worker.join();
	EXPECT_TRUE(seen.payloads.empty());
	EXPECT_EQ(Notify::Pending(), 1);
	EXPECT_EQ(Notify::Deliver(), 1);
	ASSERT_EQ(seen.payloads.size(), 1u);
	EXPECT_EQ(seen.payloads[0], "part01.rar");
	EXPECT_TRUE(seen.onMain[0]);

	// Neither is a post on the main thread delivered inside Send; the wait wakes on a post.
	Notify::Send(NotifyList::DecodeStart());
	EXPECT_EQ(seen.payloads.size(), 1u);
	long long begin = TimeCore::TickCount();
	EXPECT_EQ(Notify::WaitAndDeliver(10000000), 1);
	EXPECT_LT(TimeCore::TickCount() - begin, 1000000);
	EXPECT_EQ(seen.payloads.back(), "");  // no payload arrives as an empty text
	EXPECT_EQ(Notify::WaitAndDeliver(150000), 0);
	EXPECT_GE(TimeCore::TickCount() - begin, 140000);
}

TEST_F(NotifyTest, ManyPostsFromSeveralThreadsKeepEachPostersOrder)
{
	const int kThreads = 4, kPosts = 600;
	Seen first, second;
	Notify::Register(NotifyList::MdirUnread(), record, &first);
	Notify::Register(NotifyList::MdirUnread(), record, &second);
	std::vector<std::thread> workers;
	for (int t = 0; t < kThreads; t++) {
		workers.emplace_back([t] {
			for (int i = 0; i < kPosts; i++)
				Notify::Send(NotifyList::MdirUnread(), TString(std::to_string(t) + "\n" + std::to_string(i)));
		});
	}
	const size_t total = size_t(kThreads) * kPosts;
	ASSERT_TRUE(deliverUntil([&] { return first.payloads.size() >= total; }));
	for (auto& w : workers)
		w.join();
	Notify::Deliver();

	// Nothing merged, nothing lost, every thread's events in the order it posted them.
	EXPECT_EQ(first.payloads.size(), total);
	EXPECT_EQ(first.payloads, second.payloads);
	std::vector<int> next(kThreads, 0);
	for (const std::string& p : first.payloads) {
		size_t lf = p.find('\n');
		int t = std::stoi(p.substr(0, lf));
		EXPECT_EQ(std::stoi(p.substr(lf + 1)), next[t]++);
	}
}

TEST_F(NotifyTest, ObserversPayloadsAndStop)
{
	Seen a, b;
	Notify::Register(NotifyList::GroupCreate(), record, &a);
	Notify::Register(NotifyList::GroupCreate(), record, &a);
	Notify::Register(NotifyList::GroupCreate(), record, &b);
	Notify::Unregister(NotifyList::GroupCreate(), record, &a + 1);  // another context: stays
	Notify::Unregister(NotifyList::GroupDelete(), record, &b);  // another event: stays
	Notify::Unregister(NotifyItem("QuillfernNewsgroupCreate", true), record, &b);  // other kind
	// Decomposed letters arrive composed.
	Notify::Send(NotifyList::GroupCreate(), "Re\xCC\x81sume\xCC\x81\nCafe\xCC\x81");
	Notify::Send(NotifyItem("QuillfernNewsgroupCreate", true), "other kind");
	Notify::Deliver();
	EXPECT_EQ(a.payloads.size(), 2u);  // registered twice, called twice
	EXPECT_EQ(b.payloads, std::vector<std::string>{"R\xC3\xA9sum\xC3\xA9\nCaf\xC3\xA9"});

	// One Unregister removes one registration, also for an event posted before it.
	Notify::Send(NotifyList::GroupCreate(), "y");
	Notify::Unregister(NotifyList::GroupCreate(), record, &a);
	Notify::Unregister(NotifyList::GroupCreate(), record, &b);
	Notify::Deliver();
	EXPECT_EQ(a.payloads.size(), 3u);
	EXPECT_EQ(b.payloads.size(), 1u);

	// Stop drops what was pending; later posts reach nobody.
	Notify::Send(NotifyList::GroupCreate(), "z");
	Notify::Stop();
	Notify::Send(NotifyList::GroupCreate(), "after");
	EXPECT_EQ(Notify::Deliver(), 0);
	EXPECT_EQ(a.payloads.size(), 3u);
}

namespace {
struct Chain {
	int calls = 0;
	Seen* later = nullptr;
};

void repost(void* context, const TString&)
{
	Chain* c = static_cast<Chain*>(context);
	if (++c->calls < 3) {
		Notify::Send(NotifyList::NetQueueChange());
	} else {
		Notify::Unregister(NotifyList::NetQueueChange(), repost, c);
		Notify::Register(NotifyList::NetQueueChange(), record, c->later);
	}
}
}  // namespace

TEST_F(NotifyTest, CallbackMayPostAndChangeObserversWhileDelivering)
{
	Seen later;
	Chain chain{0, &later};
	Notify::Register(NotifyList::NetQueueChange(), repost, &chain);
	Notify::Send(NotifyList::NetQueueChange());
	// Each Deliver runs only what was pending when it began: a reposting callback cannot keep
	// the main thread in it for ever.
	EXPECT_EQ(Notify::Deliver(), 1);
	EXPECT_EQ(Notify::Deliver(), 1);
	EXPECT_EQ(Notify::Deliver(), 1);
	EXPECT_EQ(Notify::Deliver(), 0);
	Notify::Send(NotifyList::NetQueueChange(), "again");
	Notify::Deliver();
	EXPECT_EQ(chain.calls, 3);
	EXPECT_EQ(later.payloads, std::vector<std::string>{"again"});
}

// ---- Several processes -------------------------------------------------------------------

namespace {

// Peer processes: this test program run again with the peer test selected and its settings in
// the environment. Those still running when a test ends (after a failure) are killed.
class Peers {
public:
	~Peers()
	{
		for (pid_t pid : mRunning)
			Kill(pid);
	}
	pid_t Spawn(const std::string& mode, const std::string& root, const std::string& out)
	{
		std::vector<std::string> env;
		for (char** e = environ; *e != nullptr; e++)
			env.emplace_back(*e);
		env.push_back("QF_PEER=" + mode + "\n" + root + "\n" + getenv("XDG_RUNTIME_DIR") + "\n" + out);
		std::vector<char*> envp;
		for (auto& e : env)
			envp.push_back(e.data());
		envp.push_back(nullptr);
		std::string program = std::filesystem::read_symlink("/proc/self/exe");
		std::string filter = "--gtest_filter=NotifyPeerProcess.RunsWhenStartedByAnotherTest";
		char* argv[] = {program.data(), filter.data(), nullptr};
		posix_spawn_file_actions_t actions;
		posix_spawn_file_actions_init(&actions);
		posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
		pid_t pid = -1;
		if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) == 0)
			mRunning.push_back(pid);
		posix_spawn_file_actions_destroy(&actions);
		return pid;
	}
	int Wait(pid_t pid)
	{
		std::erase(mRunning, pid);
		int status = 0;
		return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
	}
	int Kill(pid_t pid)
	{
		kill(pid, SIGKILL);
		return Wait(pid);
	}

private:
	std::vector<pid_t> mRunning;
};

size_t socketCount(const std::string& folder)
{
	std::error_code ec;
	size_t n = 0;
	for (auto& e : std::filesystem::directory_iterator(folder, ec))
		n += e.path().extension() == ".sock";
	return n;
}

// Waits in the parent for a peer's announcement (its process id).
bool announced(const Seen& seen, pid_t pid)
{
	return deliverUntil([&] {
		return std::find(seen.payloads.begin(), seen.payloads.end(), std::to_string(pid)) !=
			seen.payloads.end();
	});
}

std::vector<std::string> sPeerLines;
std::atomic<int> sPeerAssertions{0};

void peerAssertion(const char*, const char*, int)
{
	sPeerAssertions++;
}

void peerRecord(void* context, const TString& payload)
{
	std::string text(payload.String(), static_cast<size_t>(payload.ByteLength()));
	std::replace(text.begin(), text.end(), '\n', '|');
	sPeerLines.push_back(std::string(static_cast<const char*>(context)) + " " + text);
}

size_t countExt(const std::string& folder, const char* ext)
{
	std::error_code ec;
	size_t n = 0;
	for (auto& e : std::filesystem::directory_iterator(folder, ec))
		n += e.path().extension() == ext;
	return n;
}

const int kChurnRounds = 150;

// Joins the bus of the root and leaves it again, many times; returns how many joins found
// their socket in place.
int joinAndLeave(const std::string& root, int rounds)
{
	int good = 0;
	for (int i = 0; i < rounds; i++) {
		Notify::Start(TString(root));
		struct stat st;
		std::string endpoint = NotifyImp::Endpoint();
		if (Notify::Distributing() && stat(endpoint.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
			good++;
		Notify::Stop();
	}
	return good;
}

}  // namespace

// Not a test of its own: the body of the peer processes that the tests below start. It
// writes what it received to a file once it gets "end".
TEST(NotifyPeerProcess, RunsWhenStartedByAnotherTest)
{
	if (getenv("QF_PEER") == nullptr)
		GTEST_SKIP() << "runs only as a peer process";
	std::vector<std::string> arg;
	std::istringstream settings(getenv("QF_PEER"));
	for (std::string line; std::getline(settings, line);)
		arg.push_back(line);
	ASSERT_EQ(arg.size(), 4u);
	setenv("XDG_RUNTIME_DIR", arg[2].c_str(), 1);
	if (arg[0] == "churn") {
		EXPECT_EQ(joinAndLeave(arg[1], kChurnRounds), kChurnRounds);
		return;
	}
	AssertHandlerSet(peerAssertion);
	ASSERT_TRUE(Notify::Start(TString(arg[1])));
	ASSERT_TRUE(Notify::Distributing());
	Notify::Register(NotifyList::MesgAdd(), peerRecord, const_cast<char*>("add"));
	Notify::Register(NotifyList::MdirComplete(), peerRecord, const_cast<char*>("done"));
	Notify::Register(NotifyList::AcctCreate(), peerRecord, const_cast<char*>("local"));
	Notify::Register(NotifyList::AcctDelete(), peerRecord, const_cast<char*>("ownlocal"));
	Notify::Register(NotifyList::Reload(), peerRecord, const_cast<char*>("reload"));
	Notify::Send(NotifyList::AcctDelete(), "mine");
	Notify::Send(NotifyList::IdentityFileChange(), TString(std::to_string(getpid())));
	while (arg[0] == "hang")
		Thread::Sleep(1000000);
	deliverUntil([] { return !sPeerLines.empty() && sPeerLines.back() == "done end"; }, 30000000);
	std::ofstream out(arg[3]);
	for (const std::string& line : sPeerLines)
		out << line << "\n";
	out.close();
	Notify::Stop();
	EXPECT_EQ(sPeerAssertions, 0);
}

TEST(NotifyProcessTest, DistributedEventsReachAnotherProcessAndLocalOnesDoNot)
{
	TestSupport::TempDir dir;
	std::string root = dir.Sub("Data");
	ASSERT_TRUE(Notify::Start(root));
	ASSERT_TRUE(Notify::Distributing());
	Seen ids, ownAdds;
	Notify::Register(NotifyList::IdentityFileChange(), record, &ids);
	Notify::Register(NotifyList::MesgAdd(), record, &ownAdds);

	// The peer names the same root in another way. Its announcement reaching us shows the
	// way back.
	ASSERT_EQ(mkdir(root.c_str(), 0700), 0);
	ASSERT_EQ(symlink(root.c_str(), dir.Sub("Link").c_str()), 0);
	Peers peers;
	pid_t peer = peers.Spawn("listen", dir.Sub("Link") + "/", dir.Sub("peer.txt"));
	ASSERT_TRUE(announced(ids, peer));

	Notify::Send(NotifyList::AcctCreate(), "local only");
	Notify::Send(NotifyList::MesgAdd(), "/data/News/a/b\n0123abcd.txt");
	Notify::Send(NotifyList::MesgAdd(), "Cafe\xCC\x81");
	TString invalid;
	invalid.AllowInvalidSet(true);
	invalid.AssignByte("/news/alt.\xFF", 11);
	Notify::Send(NotifyList::MesgAdd(), invalid);
	Notify::Send(NotifyList::MdirComplete(), "end");
	EXPECT_EQ(peers.Wait(peer), 0);
	EXPECT_EQ(TestSupport::ReadFile(dir.Sub("peer.txt")),
		"ownlocal mine\nadd /data/News/a/b|0123abcd.txt\nadd Caf\xC3\xA9\nadd /news/alt.\xFF\ndone end\n");

	// The poster's own observers get the distributed event as well, once.
	Notify::Deliver();
	EXPECT_EQ(ownAdds.payloads.size(), 3u);
	Notify::Stop();
	EXPECT_EQ(socketCount(NotifyImp::Folder(root)), 0u);
	EXPECT_NE(NotifyImp::Folder(root), NotifyImp::Folder(dir.Sub("Other")));
}

TEST(NotifyProcessTest, DeadOrStoppedPeersNeitherBlockNorBreakPosting)
{
	TestSupport::TempDir dir;
	std::string root = dir.Sub("Data");
	ASSERT_TRUE(Notify::Start(root));
	Seen ids;
	Notify::Register(NotifyList::IdentityFileChange(), record, &ids);
	std::string folder = NotifyImp::Folder(root);

	// A peer that is alive but does not read, one that listens, and one about to die.
	Peers peers;
	pid_t stopped = peers.Spawn("hang", root, dir.Sub("stopped.txt"));
	pid_t live = peers.Spawn("listen", root, dir.Sub("live.txt"));
	pid_t dead = peers.Spawn("hang", root, dir.Sub("dead.txt"));
	ASSERT_TRUE(announced(ids, stopped) && announced(ids, live) && announced(ids, dead));
	kill(stopped, SIGSTOP);

	// Something reaches the doomed peer first; then it dies without cleaning up.
	Notify::Send(NotifyList::MesgAdd(), "/before");
	Thread::Sleep(300000);
	peers.Kill(dead);
	ASSERT_EQ(socketCount(folder), 4u);

	const int kPosts = 300;
	long long begin = TimeCore::TickCount();
	for (int i = 0; i < kPosts; i++)
		Notify::Send(NotifyList::MesgAdd(), TString("/m\n" + std::to_string(i)));
	Notify::Send(NotifyList::MdirComplete(), "end");
	EXPECT_LT(TimeCore::TickCount() - begin, 1000000);

	// The listening peer gets everything, in order, despite the other two.
	EXPECT_EQ(peers.Wait(live), 0);
	std::string expected = "ownlocal mine\nadd /before\n";
	for (int i = 0; i < kPosts; i++)
		expected += "add /m|" + std::to_string(i) + "\n";
	EXPECT_EQ(TestSupport::ReadFile(dir.Sub("live.txt")), expected + "done end\n");

	// The dead peer's socket was found out and removed; ours and the stopped one's remain.
	EXPECT_EQ(socketCount(folder), 2u);
	begin = TimeCore::TickCount();
	Notify::Stop();
	EXPECT_LT(TimeCore::TickCount() - begin, 3000000);
}

TEST(NotifyProcessTest, RootFolderGoesWithTheLastProcess)
{
	TestSupport::TempDir dir;
	std::string root = dir.Sub("Data");

	// What a process that died left in the folder of another root: its socket, nobody
	// receiving on it, and reload markers.
	std::string stale = NotifyImp::Folder(dir.Sub("Gone"));
	ASSERT_FALSE(stale.empty());
	std::filesystem::create_directories(stale);
	{
		int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
		sockaddr_un addr{};
		addr.sun_family = AF_UNIX;
		std::string path = stale + "/1-dead.sock";
		std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
		ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
		close(fd);
		std::ofstream(stale + "/1-dead.reload").close();
		std::ofstream(stale + "/2-gone.reload").close();
	}

	ASSERT_TRUE(Notify::Start(root));
	Seen ids;
	Notify::Register(NotifyList::IdentityFileChange(), record, &ids);
	std::string folder = NotifyImp::Folder(root);
	ASSERT_TRUE(std::filesystem::is_directory(folder));
	Peers peers;
	pid_t peer = peers.Spawn("listen", root, dir.Sub("peer.txt"));
	ASSERT_TRUE(announced(ids, peer));
	Notify::Send(NotifyList::MdirComplete(), "end");
	EXPECT_EQ(peers.Wait(peer), 0);
	// The peer left; we are still here.
	EXPECT_TRUE(std::filesystem::is_directory(folder));
	Notify::Stop();
	EXPECT_FALSE(std::filesystem::exists(folder));
	EXPECT_FALSE(std::filesystem::exists(stale));

	// Two processes join and leave one root over and over: a join never loses its socket to
	// the other's leaving, and the folder is gone after both.
	pid_t churn = peers.Spawn("churn", root, dir.Sub("churn.txt"));
	EXPECT_EQ(joinAndLeave(root, kChurnRounds), kChurnRounds);
	EXPECT_EQ(peers.Wait(churn), 0);
	EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(NotifyProcessTest, APeerThatCouldNotTakeEverythingIsToldToReload)
{
	TestSupport::TempDir dir;
	std::string root = dir.Sub("Data");
	ASSERT_TRUE(Notify::Start(root));
	Seen ids;
	Notify::Register(NotifyList::IdentityFileChange(), record, &ids);
	std::string folder = NotifyImp::Folder(root);
	Peers peers;
	pid_t peer = peers.Spawn("listen", root, dir.Sub("peer.txt"));
	ASSERT_TRUE(announced(ids, peer));

	// Stopped, it cannot take what is posted: once its socket is full it is owed a reload.
	kill(peer, SIGSTOP);
	const int kPosts = 200;
	for (int i = 0; i < kPosts; i++)
		Notify::Send(NotifyList::MesgAdd(), TString("/m\n" + std::to_string(i)));
	EXPECT_TRUE(deliverUntil([&] { return countExt(folder, ".reload") == 1; }));
	// Running again, it takes what its socket holds, then the marker.
	kill(peer, SIGCONT);
	EXPECT_TRUE(deliverUntil([&] { return countExt(folder, ".reload") == 0; }));
	Notify::Send(NotifyList::MdirComplete(), "end");
	ASSERT_EQ(peers.Wait(peer), 0);

	// What arrived came in order, with gaps where the socket was full; a reload comes after the
	// last loss (events posted after a loss may still arrive before it).
	std::istringstream lines(TestSupport::ReadFile(dir.Sub("peer.txt")));
	std::vector<std::string> got;
	for (std::string line; std::getline(lines, line);)
		got.push_back(line);
	ASSERT_GE(got.size(), 3u);
	EXPECT_EQ(got.front(), "ownlocal mine");
	EXPECT_EQ(got.back(), "done end");
	std::vector<long> adds;
	std::vector<size_t> where;
	size_t lastReload = 0;
	for (size_t k = 1; k + 1 < got.size(); k++) {
		if (got[k] == "reload ") {
			lastReload = k;
			continue;
		}
		ASSERT_EQ(got[k].rfind("add /m|", 0), 0u) << got[k];
		long n = std::stol(got[k].substr(7));
		if (!adds.empty()) {
			EXPECT_GT(n, adds.back());
		}
		adds.push_back(n);
		where.push_back(k);
	}
	EXPECT_LT(adds.size(), static_cast<size_t>(kPosts));
	// The line after which the last loss happened: the last add when the final posts were lost,
	// otherwise the add before the last gap (0 when the loss came before any add).
	size_t lossAfter = 0;
	if (adds.empty() || adds.back() != kPosts - 1) {
		lossAfter = adds.empty() ? 0 : where.back();
	} else {
		for (size_t j = adds.size(); j-- > 0;) {
			long previous = j ? adds[j - 1] : -1;
			if (adds[j] != previous + 1) {
				lossAfter = j ? where[j - 1] : 0;
				break;
			}
		}
	}
	EXPECT_GT(lastReload, lossAfter);
	Notify::Stop();
	EXPECT_FALSE(std::filesystem::exists(folder));
}
