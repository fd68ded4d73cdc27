// Worker threads under the manager, and the recursive lock with its time-out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "CritSect.h"
#include "Thread.h"
#include "ThreadMngr.h"

namespace {

long long nowUs()
{
	return ThreadImp::Ticks();
}

// Waits up to `limit` microseconds for a condition.
template <typename Cond>
bool waitFor(Cond cond, long long limit = 3000000)
{
	long long end = nowUs() + limit;
	while (!cond()) {
		if (nowUs() > end)
			return false;
		Thread::Sleep(1000);
	}
	return true;
}

struct Counter {
	std::atomic<int> calls{0};
	std::atomic<int> inside{0};
	std::atomic<int> overlap{0};
	std::atomic<long long> lastEnd{0};
	std::atomic<long long> minGap{1LL << 60};
	unsigned long result = ThreadMngr::ProcAgain;
};

unsigned long countingProc(void* data)
{
	Counter* c = static_cast<Counter*>(data);
	if (c->inside.fetch_add(1) != 0)
		c->overlap++;
	long long start = nowUs();
	long long last = c->lastEnd.load();
	if (last != 0 && start - last < c->minGap.load())
		c->minGap = start - last;
	c->calls++;
	Thread::Sleep(500);
	c->inside--;
	c->lastEnd = nowUs();
	return c->result;
}

std::atomic<bool> sReleaseStuck{false};
std::atomic<bool> sStuckEntered{false};
std::atomic<bool> sStuckDone{false};

unsigned long stuckProc(void*)
{
	sStuckEntered = true;
	while (!sReleaseStuck.load())
		Thread::Sleep(1000);
	sStuckDone = true;
	return ThreadMngr::ProcAgain;
}

class ThreadMngrTest : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_TRUE(ThreadMngr::Start()); }
	void TearDown() override { ThreadMngr::Stop(); }
};

}  // namespace

TEST_F(ThreadMngrTest, ThreadsIdleUntilRunThenLeaveTogetherQuickly)
{
	Counter a, b;
	ThreadHandle ha = ThreadMngr::Spawn(countingProc, nullptr, &a, 20000, ThreadPriorityNormal);
	ThreadHandle hb = ThreadMngr::Spawn(countingProc, "Reader", &b, 20000, ThreadPriorityNormal);
	ASSERT_NE(ha, Thread::HandleNone);
	ASSERT_NE(hb, Thread::HandleNone);
	EXPECT_NE(ha, hb);
	EXPECT_EQ(ThreadMngr::Count(), 2);
	EXPECT_EQ(ThreadMngr::Name(ha), "UserThread");
	EXPECT_EQ(ThreadMngr::Name(hb), "Reader");

	// Start-up has not ended: nobody works.
	Thread::Sleep(250000);
	EXPECT_EQ(a.calls.load(), 0);
	EXPECT_EQ(b.calls.load(), 0);
	EXPECT_FALSE(ThreadMngr::Running());

	ThreadMngr::State(true);
	EXPECT_TRUE(ThreadMngr::Running());
	EXPECT_TRUE(waitFor([&] { return a.calls >= 5 && b.calls >= 5; }));
	// One call at a time per thread, and the pause between calls is kept.
	EXPECT_EQ(a.overlap.load(), 0);
	EXPECT_GE(a.minGap.load(), 19000);

	long long begin = nowUs();
	ThreadMngr::StopAllThreads();
	long long took = nowUs() - begin;
	EXPECT_EQ(ThreadMngr::Count(), 0);
	EXPECT_LT(took, 1000000);
	EXPECT_FALSE(ThreadMngr::Running());
	int after = a.calls;
	Thread::Sleep(100000);
	EXPECT_EQ(a.calls.load(), after);
}

TEST_F(ThreadMngrTest, IdleThreadLeavesAtQuitWithoutEverWorking)
{
	Counter c;
	ASSERT_NE(ThreadMngr::Spawn(countingProc, "", &c, 0, ThreadPriorityLow), Thread::HandleNone);
	Thread::Sleep(60000);
	long long begin = nowUs();
	ThreadMngr::StopAllThreads();
	EXPECT_LT(nowUs() - begin, 500000);
	EXPECT_EQ(c.calls.load(), 0);
	EXPECT_EQ(ThreadMngr::Count(), 0);
}

TEST_F(ThreadMngrTest, ProcedureEndingItsThreadIsCalledOnceAndLeavesTheSet)
{
	Counter c;
	c.result = 0;
	ThreadMngr::State(true);
	ASSERT_NE(ThreadMngr::Spawn(countingProc, "once", &c, 0, ThreadPriorityNormal), Thread::HandleNone);
	EXPECT_TRUE(waitFor([] { return ThreadMngr::Count() == 0; }));
	Thread::Sleep(50000);
	EXPECT_EQ(c.calls.load(), 1);
}

TEST_F(ThreadMngrTest, LongPauseDoesNotHoldUpQuit)
{
	Counter c;
	ThreadMngr::State(true);
	ASSERT_NE(ThreadMngr::Spawn(countingProc, nullptr, &c, 30000000, ThreadPriorityNormal),
		Thread::HandleNone);
	EXPECT_TRUE(waitFor([&] { return c.calls >= 1; }));
	long long begin = nowUs();
	ThreadMngr::StopAllThreads();
	EXPECT_LT(nowUs() - begin, 1000000);
	EXPECT_EQ(c.calls.load(), 1);
}

TEST_F(ThreadMngrTest, StuckThreadIsGivenUpAfterSixSecondsAndEndsSafelyLater)
{
	ThreadMngr::State(true);
	ASSERT_NE(ThreadMngr::Spawn(stuckProc, "stuck", nullptr, 20000, ThreadPriorityNormal),
		Thread::HandleNone);
	ASSERT_TRUE(waitFor([] { return sStuckEntered.load(); }));
	long long begin = nowUs();
	ThreadMngr::StopAllThreads();
	long long took = nowUs() - begin;
	EXPECT_GE(took, 5900000);
	EXPECT_LT(took, 8000000);
	EXPECT_EQ(ThreadMngr::Count(), 0);

	// The manager starts afresh; the abandoned thread, once free, must neither resume its
	// work nor touch anything released.
	ThreadMngr::Stop();
	ASSERT_TRUE(ThreadMngr::Start());
	ThreadMngr::State(true);
	sStuckEntered = false;
	sReleaseStuck = true;
	ASSERT_TRUE(waitFor([] { return sStuckDone.load(); }));
	Thread::Sleep(150000);
	EXPECT_FALSE(sStuckEntered.load());
	EXPECT_EQ(ThreadMngr::Count(), 0);
}

TEST(ThreadMngrStoppedTest, SpawnAndCountWithoutStart)
{
	Counter c;
	EXPECT_EQ(ThreadMngr::Spawn(countingProc, "x", &c, 0, ThreadPriorityNormal), Thread::HandleNone);
	EXPECT_EQ(ThreadMngr::Count(), 0);
	ThreadMngr::Stop();  // safe without Start
	ThreadMngr::StopAllThreads();
}

namespace {
std::atomic<unsigned long long> sSeenSelf{0};
unsigned long recordSelf(void*)
{
	sSeenSelf = Thread::HandleToInt(Thread::Self());
	return 7;
}
}  // namespace

TEST(ThreadTest, SpawnFillsTheHandleOfTheNewThread)
{
	ThreadHandle handle = Thread::HandleNone;
	ASSERT_TRUE(Thread::Spawn(handle, recordSelf, nullptr, "t", ThreadPriorityHigh));
	ASSERT_NE(handle, Thread::HandleNone);
	ASSERT_TRUE(waitFor([] { return sSeenSelf.load() != 0; }));
	EXPECT_EQ(Thread::HandleFromInt(sSeenSelf.load()), handle);
	EXPECT_NE(handle, Thread::Self());
	EXPECT_DOUBLE_EQ(Thread::PriorityScale(ThreadPriorityLow), 0.2);
	EXPECT_DOUBLE_EQ(Thread::PriorityScale(static_cast<ThreadPriority>(9)), 0.5);
}

TEST(CritSectTest, RecursiveLockIsFreeOnlyAfterEveryEnterIsLeft)
{
	CritSect lock;
	EXPECT_EQ(lock.TimeoutGet(), 30000000);
	ASSERT_TRUE(lock.Enter());
	ASSERT_TRUE(lock.Enter());  // the same thread enters again without waiting
	lock.Leave();

	std::atomic<bool> got{false};
	std::thread other([&] {
		lock.Enter();
		got = true;
		lock.Leave();
	});
	Thread::Sleep(200000);
	EXPECT_FALSE(got.load());  // still held once
	lock.Leave();
	EXPECT_TRUE(waitFor([&] { return got.load(); }));
	other.join();
}

TEST(CritSectTest, TimedOutWaitIsReportedAndStillReturnsWithTheLock)
{
	CritSect lock;
	lock.TimeoutSet(-5);
	EXPECT_EQ(lock.TimeoutGet(), 0);
	lock.TimeoutSet(1500000);  // counts as one whole second

	std::atomic<bool> holding{false};
	std::atomic<bool> release{false};
	std::thread holder([&] {
		lock.Enter();
		holding = true;
		while (!release.load())
			Thread::Sleep(1000);
		lock.Leave();
	});
	ASSERT_TRUE(waitFor([&] { return holding.load(); }));

	std::thread releaser([&] {
		Thread::Sleep(1600000);
		release = true;
	});
	testing::internal::CaptureStdout();
	long long begin = nowUs();
	EXPECT_TRUE(lock.Enter());
	long long took = nowUs() - begin;
	std::string out = testing::internal::GetCapturedStdout();
	EXPECT_EQ(out, "failed to acquire critsect\n");
	EXPECT_GE(took, 1500000);  // it did not return before the holder left
	EXPECT_TRUE(release.load());
	lock.Leave();
	holder.join();
	releaser.join();

	// Uncontended: no wait, no report, even with a zero time-out.
	lock.TimeoutSet(0);
	testing::internal::CaptureStdout();
	EXPECT_TRUE(lock.Enter());
	lock.Leave();
	EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
