// The notification bus: delivery on the main thread, order, payloads, observers, and the
// exchange of distributed events with other processes.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

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
template <typename Cond>
bool deliverUntil(Cond done, long long limit = 10000000)
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
		Notify::Send(NotifyList::DecodeStart(), "part01.rar");
		movedOn = true;  // posting did not wait for the callback
	});
	worker.join();
	EXPECT_TRUE(movedOn.load());
	EXPECT_TRUE(seen.payloads.empty());
	EXPECT_EQ(Notify::Pending(), 1);

	// Another thread cannot run the callbacks.
	long elsewhere = -1;
	std::thread other([&] { elsewhere = Notify::Deliver(); });
	other.join();
	EXPECT_EQ(elsewhere, 0);
	EXPECT_TRUE(seen.payloads.empty());

	EXPECT_EQ(Notify::Deliver(), 1);
	ASSERT_EQ(seen.payloads.size(), 1u);
	EXPECT_EQ(seen.payloads[0], "part01.rar");
	EXPECT_TRUE(seen.onMain[0]);

	// A post on the main thread is not delivered inside Send either.
	Notify::Send(NotifyList::DecodeStart(), "b");
	EXPECT_EQ(seen.payloads.size(), 1u);
	EXPECT_EQ(Notify::Deliver(), 1);
	EXPECT_EQ(seen.payloads.back(), "b");
}

TEST_F(NotifyTest, WaitWakesOnAPostAndTimesOutWithout)
{
	Seen seen;
	Notify::Register(NotifyList::NetTransferStop(), record, &seen);
	long long begin = TimeCore::TickCount();
	EXPECT_EQ(Notify::WaitAndDeliver(150000), 0);
	EXPECT_GE(TimeCore::TickCount() - begin, 140000);

	std::thread worker([] {
		Thread::Sleep(100000);
		Notify::Send(NotifyList::NetTransferStop());
	});
	begin = TimeCore::TickCount();
	EXPECT_EQ(Notify::WaitAndDeliver(10000000), 1);
	EXPECT_LT(TimeCore::TickCount() - begin, 5000000);
	worker.join();
	ASSERT_EQ(seen.payloads.size(), 1u);
	EXPECT_EQ(seen.payloads[0], "");  // an event without payload gives an empty text
}

TEST_F(NotifyTest, ManyPostsFromSeveralThreadsKeepEachPostersOrder)
{
	const int kThreads = 4;
	const int kPosts = 600;
	Seen first, second, other;
	Notify::Register(NotifyList::MdirUnread(), record, &first);
	Notify::Register(NotifyList::MdirUnread(), record, &second);
	Notify::Register(NotifyList::MdirUpdate(), record, &other);

	std::vector<std::thread> workers;
	for (int t = 0; t < kThreads; t++) {
		workers.emplace_back([t] {
			for (int i = 0; i < kPosts; i++) {
				TString text(std::to_string(t) + "\n" + std::to_string(i));
				Notify::Send(i % 3 == 0 ? NotifyList::MdirUpdate() : NotifyList::MdirUnread(), text);
			}
		});
	}
	for (auto& w : workers)
		w.join();
	size_t unread = 0;
	for (int i = 0; i < kPosts; i++)
		unread += i % 3 != 0;
	unread *= kThreads;
	ASSERT_TRUE(deliverUntil([&] { return first.payloads.size() == unread && Notify::Pending() == 0; }));
	EXPECT_EQ(second.payloads.size(), unread);
	EXPECT_EQ(other.payloads.size(), kThreads * kPosts - unread);

	// Nothing merged, nothing lost, every thread's events in the order it posted them.
	for (const Seen* seen : {&first, &second, &other}) {
		std::map<int, int> last;
		for (const std::string& p : seen->payloads) {
			size_t lf = p.find('\n');
			ASSERT_NE(lf, std::string::npos);
			int t = std::stoi(p.substr(0, lf));
			int i = std::stoi(p.substr(lf + 1));
			auto it = last.find(t);
			if (it != last.end()) {
				EXPECT_GT(i, it->second);
			}
			last[t] = i;
		}
		EXPECT_EQ(last.size(), static_cast<size_t>(kThreads));
	}
	EXPECT_EQ(first.payloads, second.payloads);
}

TEST_F(NotifyTest, PayloadArrivesComposed)
{
	Seen seen;
	Notify::Register(NotifyList::AcctCreate(), record, &seen);
	Notify::Send(NotifyList::AcctCreate(), "Re\xCC\x81sume\xCC\x81\nCafe\xCC\x81");
	Notify::Send(NotifyList::AcctCreate(), "");
	Notify::Deliver();
	ASSERT_EQ(seen.payloads.size(), 2u);
	EXPECT_EQ(seen.payloads[0], "R\xC3\xA9sum\xC3\xA9\nCaf\xC3\xA9");
	EXPECT_EQ(seen.payloads[1], "");
}

TEST_F(NotifyTest, ObserversAreMatchedByNameDistributionCallbackAndContext)
{
	Seen a, b;
	Notify::Register(NotifyList::GroupCreate(), record, &a);
	Notify::Register(NotifyList::GroupCreate(), record, &a);
	Notify::Register(NotifyList::GroupCreate(), record, &b);
	Notify::Unregister(NotifyList::GroupCreate(), record, &a + 1);  // another context: stays
	Notify::Unregister(NotifyList::GroupDelete(), record, &b);      // another event: stays
	// Same name, other distribution: a different event.
	Notify::Unregister(NotifyItem("QuillfernNewsgroupCreate", true), record, &b);
	Notify::Send(NotifyList::GroupCreate(), "x");
	Notify::Send(NotifyItem("QuillfernNewsgroupCreate", true), "distributed");
	Notify::Deliver();
	EXPECT_EQ(a.payloads.size(), 2u);  // registered twice, called twice
	EXPECT_EQ(b.payloads, std::vector<std::string>{"x"});

	// One Unregister removes one registration; an event posted before the Unregister is not
	// delivered to the removed observer.
	Notify::Send(NotifyList::GroupCreate(), "y");
	Notify::Unregister(NotifyList::GroupCreate(), record, &a);
	Notify::Unregister(NotifyList::GroupCreate(), record, &b);
	Notify::Deliver();
	EXPECT_EQ(a.payloads.size(), 3u);
	EXPECT_EQ(b.payloads.size(), 1u);

	// After Stop nothing is delivered, also what was pending.
	Notify::Send(NotifyList::GroupCreate(), "z");
	Notify::Stop();
	Notify::Send(NotifyList::GroupCreate(), "after");
	EXPECT_EQ(Notify::Deliver(), 0);
	EXPECT_EQ(a.payloads.size(), 3u);
	EXPECT_EQ(NotifyList::Find("QuillfernNetworkError"), &NotifyList::NetError());
	EXPECT_EQ(NotifyList::Find("Unknown"), nullptr);
}

namespace {
struct Chain {
	int calls = 0;
	Seen* later = nullptr;
};

void repost(void* context, const TString&)
{
	Chain* c = static_cast<Chain*>(context);
	c->calls++;
	if (c->calls < 3) {
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
	Chain chain;
	chain.later = &later;
	Notify::Register(NotifyList::NetQueueChange(), repost, &chain);
	Notify::Send(NotifyList::NetQueueChange());
	// Each Deliver runs only what was pending when it began, so a reposting callback cannot
	// keep the main thread in Deliver for ever.
	EXPECT_EQ(Notify::Deliver(), 1);
	EXPECT_EQ(Notify::Deliver(), 1);
	EXPECT_EQ(Notify::Deliver(), 1);
	EXPECT_EQ(Notify::Deliver(), 0);
	EXPECT_EQ(chain.calls, 3);
	Notify::Send(NotifyList::NetQueueChange(), "again");
	Notify::Deliver();
	EXPECT_EQ(chain.calls, 3);
	EXPECT_EQ(later.payloads, std::vector<std::string>{"again"});
}

// ---- Several processes -------------------------------------------------------------------

namespace {

const char kPeerMode[] = "QUILLFERN_NOTIFY_PEER";
const char kPeerRoot[] = "QUILLFERN_NOTIFY_PEER_ROOT";
const char kPeerRuntime[] = "QUILLFERN_NOTIFY_PEER_RUNTIME";
const char kPeerOut[] = "QUILLFERN_NOTIFY_PEER_OUT";

std::string selfPath()
{
	char path[4096];
	ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
	return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// Runs this test program as a peer process in the given mode on the given root.
pid_t spawnPeer(const std::string& mode, const std::string& root, const std::string& out)
{
	std::vector<std::string> env;
	for (char** e = environ; *e != nullptr; e++)
		env.emplace_back(*e);
	env.push_back(std::string(kPeerMode) + "=" + mode);
	env.push_back(std::string(kPeerRoot) + "=" + root);
	env.push_back(std::string(kPeerRuntime) + "=" + getenv("XDG_RUNTIME_DIR"));
	env.push_back(std::string(kPeerOut) + "=" + out);
	std::vector<char*> envp;
	for (auto& e : env)
		envp.push_back(e.data());
	envp.push_back(nullptr);
	std::string program = selfPath();
	std::string filter = "--gtest_filter=NotifyPeerProcess.RunsWhenStartedByAnotherTest";
	char* argv[] = {program.data(), filter.data(), nullptr};
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
	pid_t pid = -1;
	if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0)
		pid = -1;
	posix_spawn_file_actions_destroy(&actions);
	return pid;
}

int waitPeer(pid_t pid)
{
	int status = 0;
	if (waitpid(pid, &status, 0) != pid)
		return -1;
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The peer processes of one test; those still running at its end (after a failure) are killed.
class Peers {
public:
	~Peers()
	{
		for (pid_t pid : mRunning) {
			kill(pid, SIGKILL);
			waitPeer(pid);
		}
	}
	pid_t Spawn(const std::string& mode, const std::string& root, const std::string& out)
	{
		pid_t pid = spawnPeer(mode, root, out);
		if (pid > 0)
			mRunning.push_back(pid);
		return pid;
	}
	int Wait(pid_t pid)
	{
		std::erase(mRunning, pid);
		return waitPeer(pid);
	}
	int Kill(pid_t pid)
	{
		kill(pid, SIGKILL);
		return Wait(pid);
	}

private:
	std::vector<pid_t> mRunning;
};

std::vector<std::string> socketsIn(const std::string& folder)
{
	std::vector<std::string> names;
	if (DIR* dir = opendir(folder.c_str())) {
		while (dirent* e = readdir(dir)) {
			std::string name = e->d_name;
			if (name.size() > 5 && name.compare(name.size() - 5, 5, ".sock") == 0)
				names.push_back(name);
		}
		closedir(dir);
	}
	return names;
}

std::vector<std::string> sPeerLines;

void peerRecord(void* context, const TString& payload)
{
	std::string text(payload.String(), static_cast<size_t>(payload.ByteLength()));
	for (char& c : text) {
		if (c == '\n')
			c = '|';
	}
	sPeerLines.push_back(std::string(static_cast<const char*>(context)) + " " + text);
}

// Waits in the parent for the announcement of a peer (its process id).
bool waitForPeer(Seen& announced, pid_t pid)
{
	return deliverUntil([&] {
		for (const std::string& p : announced.payloads) {
			if (p == std::to_string(pid))
				return true;
		}
		return false;
	});
}

}  // namespace

// Not a test of its own: the body of the peer processes that the tests below start.
TEST(NotifyPeerProcess, RunsWhenStartedByAnotherTest)
{
	const char* mode = getenv(kPeerMode);
	if (mode == nullptr)
		GTEST_SKIP() << "runs only as a peer process";
	setenv("XDG_RUNTIME_DIR", getenv(kPeerRuntime), 1);
	ASSERT_TRUE(Notify::Start(getenv(kPeerRoot)));
	ASSERT_TRUE(Notify::Distributing());
	static const char kAdd[] = "add", kDone[] = "done", kLocal[] = "local", kOwnLocal[] = "ownlocal";
	Notify::Register(NotifyList::MesgAdd(), peerRecord, const_cast<char*>(kAdd));
	Notify::Register(NotifyList::MdirComplete(), peerRecord, const_cast<char*>(kDone));
	Notify::Register(NotifyList::AcctCreate(), peerRecord, const_cast<char*>(kLocal));
	Notify::Register(NotifyList::AcctDelete(), peerRecord, const_cast<char*>(kOwnLocal));
	// The peer's own local event reaches its own observer.
	Notify::Send(NotifyList::AcctDelete(), "mine");
	Notify::Send(NotifyList::IdentityFileChange(), TString(std::to_string(getpid())));
	if (std::string(mode) == "hang") {
		for (;;)
			Thread::Sleep(1000000);
	}
	deliverUntil([] { return !sPeerLines.empty() && sPeerLines.back() == "done end"; }, 30000000);
	std::ofstream out(getenv(kPeerOut));
	for (const std::string& line : sPeerLines)
		out << line << "\n";
	out.close();
	Notify::Stop();
}

TEST(NotifyProcessTest, DistributedEventsReachAnotherProcessAndLocalOnesDoNot)
{
	TestSupport::TempDir dir;
	std::string root = dir.Sub("Data");
	ASSERT_TRUE(Notify::Start(root));
	ASSERT_TRUE(Notify::Distributing());
	Seen announced, ownAdds;
	Notify::Register(NotifyList::IdentityFileChange(), record, &announced);
	Notify::Register(NotifyList::MesgAdd(), record, &ownAdds);

	// The peer names the same root in another way.
	ASSERT_EQ(mkdir(root.c_str(), 0700), 0);
	ASSERT_EQ(symlink(root.c_str(), dir.Sub("Link").c_str()), 0);
	std::string out = dir.Sub("peer.txt");
	Peers peers;
	pid_t peer = peers.Spawn("listen", dir.Sub("Link") + "/", out);
	ASSERT_GT(peer, 0);
	// The peer's announcement crossing over shows the way back works too.
	ASSERT_TRUE(waitForPeer(announced, peer));

	Notify::Send(NotifyList::AcctCreate(), "local only");
	Notify::Send(NotifyList::MesgAdd(), "/data/News/a/b\n0123abcd.txt");
	Notify::Send(NotifyList::MesgAdd(), "Cafe\xCC\x81");
	Notify::Send(NotifyList::MdirComplete(), "end");
	EXPECT_EQ(peers.Wait(peer), 0);
	std::string lines = TestSupport::ReadFile(out);
	EXPECT_EQ(lines,
		"ownlocal mine\n"
		"add /data/News/a/b|0123abcd.txt\n"
		"add Caf\xC3\xA9\n"
		"done end\n");

	// The poster's own observers get the distributed event as well, once.
	Notify::Deliver();
	EXPECT_EQ(ownAdds.payloads.size(), 2u);
	Notify::Stop();
	EXPECT_TRUE(socketsIn(NotifyImp::Folder(root)).empty());

	// A process on another data root hears nothing of this one.
	EXPECT_NE(NotifyImp::Folder(root), NotifyImp::Folder(dir.Sub("Other")));
}

TEST(NotifyProcessTest, DeadOrStoppedPeersNeitherBlockNorBreakPosting)
{
	TestSupport::TempDir dir;
	std::string root = dir.Sub("Data");
	ASSERT_TRUE(Notify::Start(root));
	Seen announced;
	Notify::Register(NotifyList::IdentityFileChange(), record, &announced);
	std::string folder = NotifyImp::Folder(root);
	Peers peers;

	// A peer that is alive but does not read, one that listens, and one about to die.
	pid_t stopped = peers.Spawn("hang", root, dir.Sub("stopped.txt"));
	ASSERT_GT(stopped, 0);
	ASSERT_TRUE(waitForPeer(announced, stopped));
	kill(stopped, SIGSTOP);
	pid_t live = peers.Spawn("listen", root, dir.Sub("live.txt"));
	ASSERT_GT(live, 0);
	ASSERT_TRUE(waitForPeer(announced, live));
	pid_t dead = peers.Spawn("hang", root, dir.Sub("dead.txt"));
	ASSERT_GT(dead, 0);
	ASSERT_TRUE(waitForPeer(announced, dead));

	// Something reaches the doomed peer first, then it is killed without a chance to clean
	// up and leaves its socket behind.
	Notify::Send(NotifyList::MesgAdd(), "/before");
	Thread::Sleep(300000);
	peers.Kill(dead);
	ASSERT_EQ(socketsIn(folder).size(), 4u);

	const int kPosts = 300;
	long long begin = TimeCore::TickCount();
	for (int i = 0; i < kPosts; i++)
		Notify::Send(NotifyList::MesgAdd(), TString("/m\n" + std::to_string(i)));
	Notify::Send(NotifyList::MdirComplete(), "end");
	EXPECT_LT(TimeCore::TickCount() - begin, 1000000);

	// The listening peer gets everything, in order, despite the other two.
	EXPECT_EQ(peers.Wait(live), 0);
	std::string lines = TestSupport::ReadFile(dir.Sub("live.txt"));
	std::string expected = "ownlocal mine\nadd /before\n";
	for (int i = 0; i < kPosts; i++)
		expected += "add /m|" + std::to_string(i) + "\n";
	expected += "done end\n";
	EXPECT_EQ(lines, expected);

	// The dead peer's socket was found out and removed; the stopped one is still there.
	std::vector<std::string> left = socketsIn(folder);
	EXPECT_EQ(left.size(), 2u);
	for (const std::string& name : left)
		EXPECT_NE(name.find(std::to_string(dead) + "-"), 0u);

	begin = TimeCore::TickCount();
	Notify::Stop();
	EXPECT_LT(TimeCore::TickCount() - begin, 3000000);
	peers.Kill(stopped);
}
