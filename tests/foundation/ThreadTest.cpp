// Worker threads under the manager, and the recursive lock with its time-out.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "CritSect.h"
#include "Thread.h"
#include "ThreadMngr.h"
#include "TimeCore.h"

namespace {

template <typename Cond> bool waitFor(Cond cond, long long limit = 3000000)
{
	long long end = TimeCore::TickCount() + limit;
	while (!cond()) {
		if (TimeCore::TickCount() > end)
			return false;
		Thread::Sleep(1000);
	}
	return true;
}

struct Counter {
	std::atomic<int> calls{0};
	std::atomic<int> inside{0};
	std::atomic<bool> overlap{false};
	std::atomic<long long> lastEnd{0};
	std::atomic<long long> minGap{1LL << 60};
	unsigned long result = ThreadMngr::ProcAgain;
};

unsigned long countingProc(void* data)
{
	Counter* c = static_cast<Counter*>(data);
	if (c->inside.fetch_add(1) != 0)
		c->overlap = true;
	long long start = TimeCore::TickCount();
	if (c->lastEnd != 0 && start - c->lastEnd < c->minGap)
		c->minGap = start - c->lastEnd;
	c->calls++;
	Thread::Sleep(500);
	c->inside--;
	c->lastEnd = TimeCore::TickCount();
	return c->result;
}

std::atomic<bool> sReleaseStuck{false};
std::atomic<int> sStuckCalls{0};

unsigned long stuckProc(void*)
{
	sStuckCalls++;
	while (!sReleaseStuck)
		Thread::Sleep(1000);
	return ThreadMngr::ProcAgain;
}

class ThreadMngrTest : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_TRUE(ThreadMngr::Start()); }
	void TearDown() override { ThreadMngr::Stop(); }
};

}  // namespace

TEST_F(ThreadMngrTest, ThreadsIdleUntilStartUpEndsThenLeaveTogetherQuickly)
{
	Counter a, b, slow;
	ThreadHandle ha = ThreadMngr::Spawn(countingProc, nullptr, &a, 20000, ThreadPriorityNormal);
	ThreadHandle hb = ThreadMngr::Spawn(countingProc, "Reader", &b, 20000, ThreadPriorityNormal);
	ASSERT_NE(ThreadMngr::Spawn(countingProc, "", &slow, 30000000, ThreadPriorityLow), Thread::HandleNone);
	ASSERT_NE(ha, Thread::HandleNone);
	ASSERT_NE(hb, Thread::HandleNone);
	EXPECT_EQ(ThreadMngr::Count(), 3);
	EXPECT_EQ(ThreadMngr::Name(ha), "UserThread");
	EXPECT_EQ(ThreadMngr::Name(hb), "Reader");

	Thread::Sleep(250000);
	EXPECT_EQ(a.calls + b.calls + slow.calls, 0);
	EXPECT_FALSE(ThreadMngr::Running());

	ThreadMngr::State(true);
	EXPECT_TRUE(ThreadMngr::Running());
	EXPECT_TRUE(waitFor([&] { return a.calls >= 5 && b.calls >= 5 && slow.calls == 1; }));
	EXPECT_FALSE(a.overlap);
	EXPECT_GE(a.minGap, 19000);  // the pause between calls is kept

	// Nobody is held up by a long pause.
	long long begin = TimeCore::TickCount();
	ThreadMngr::StopAllThreads();
	EXPECT_LT(TimeCore::TickCount() - begin, 1000000);
	EXPECT_EQ(ThreadMngr::Count(), 0);
	int after = a.calls;
	Thread::Sleep(100000);
	EXPECT_EQ(a.calls, after);
	EXPECT_EQ(slow.calls, 1);
}

TEST_F(ThreadMngrTest, ProcedureEndingItsThreadIsCalledOnceAndLeavesTheSet)
{
	Counter c;
	c.result = 0;
	ThreadMngr::State(true);
	ASSERT_NE(ThreadMngr::Spawn(countingProc, "once", &c, 0, ThreadPriorityNormal), Thread::HandleNone);
	EXPECT_TRUE(waitFor([] { return ThreadMngr::Count() == 0; }));
	Thread::Sleep(50000);
	EXPECT_EQ(c.calls, 1);

	ThreadMngr::Stop();
	EXPECT_EQ(ThreadMngr::Spawn(countingProc, "x", &c, 0, ThreadPriorityNormal), Thread::HandleNone);
	EXPECT_EQ(ThreadMngr::Count(), 0);
}

TEST_F(ThreadMngrTest, StuckThreadIsGivenUpAfterSixSecondsAndEndsSafelyLater)
{
	ThreadMngr::State(true);
	ASSERT_NE(
		ThreadMngr::Spawn(stuckProc, "stuck", nullptr, 20000, ThreadPriorityNormal), Thread::HandleNone);
	ASSERT_TRUE(waitFor([] { return sStuckCalls == 1; }));
	long long begin = TimeCore::TickCount();
	ThreadMngr::StopAllThreads();
	long long took = TimeCore::TickCount() - begin;
	EXPECT_GE(took, 5900000);
	EXPECT_LT(took, 8000000);
	EXPECT_EQ(ThreadMngr::Count(), 0);

	// With the manager started afresh, the abandoned thread, once free, must neither resume
	// its work nor touch anything released.
	ThreadMngr::Stop();
	ASSERT_TRUE(ThreadMngr::Start());
	ThreadMngr::State(true);
	sReleaseStuck = true;
	Thread::Sleep(200000);
	EXPECT_EQ(sStuckCalls, 1);
	EXPECT_EQ(ThreadMngr::Count(), 0);
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
	ASSERT_TRUE(waitFor([] { return sSeenSelf != 0; }));
	EXPECT_EQ(Thread::HandleFromInt(sSeenSelf), handle);
	EXPECT_NE(handle, Thread::Self());
}

TEST(CritSectTest, RecursiveLockIsFreeOnlyAfterEveryEnterIsLeft)
{
	CritSect lock;
	EXPECT_EQ(lock.TimeoutGet(), 30000000);
	ASSERT_TRUE(lock.Enter());
	ASSERT_TRUE(lock.Enter());
	lock.Leave();
	std::atomic<bool> got{false};
	std::thread other([&] {
		lock.Enter();
		got = true;
		lock.Leave();
	});
	Thread::Sleep(200000);
	EXPECT_FALSE(got);  // still held once
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

	std::atomic<bool> holding{false}, release{false};
	std::thread holder([&] {
		lock.Enter();
		holding = true;
		while (!release)
			Thread::Sleep(1000);
		lock.Leave();
	});
	ASSERT_TRUE(waitFor([&] { return holding.load(); }));
	std::thread releaser([&] {
		Thread::Sleep(1600000);
		release = true;
	});
	testing::internal::CaptureStdout();
	long long begin = TimeCore::TickCount();
	EXPECT_TRUE(lock.Enter());
	long long took = TimeCore::TickCount() - begin;
	EXPECT_EQ(testing::internal::GetCapturedStdout(), "failed to acquire critsect\n");
	EXPECT_GE(took, 1500000);  // not before the holder left
	lock.Leave();
	holder.join();
	releaser.join();

	// Uncontended: no wait and no report, even with a zero time-out.
	lock.TimeoutSet(0);
	testing::internal::CaptureStdout();
	EXPECT_TRUE(lock.Enter());
	lock.Leave();
	EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
