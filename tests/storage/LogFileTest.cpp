#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LogFile.h"
#include "Output.h"
#include "TString.h"
#include "TestSupport.h"

namespace {

// True when text is a time stamp ("2009/03/25 14:05:09"), two spaces and then rest.
bool stampedAs(const std::string& text, const std::string& rest)
{
	const std::string shape = "dddd/dd/dd dd:dd:dd  ";
	if (text.size() != shape.size() + rest.size() || text.compare(shape.size(), std::string::npos, rest) != 0)
		return false;
	for (size_t i = 0; i < shape.size(); ++i)
		if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i])
			return false;
	return true;
}

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

// Keeps the messages away from the test's standard output.
class LogFileTest : public testing::Test {
protected:
	void SetUp() override
	{
		mOut = std::tmpfile();
		Output::StreamSet(mOut);
	}
	void TearDown() override
	{
		LogFile::Stop();
		Output::StreamSet(nullptr);
		EXPECT_EQ(std::fclose(mOut), 0);
	}
	std::string shown()
	{
		EXPECT_EQ(std::fflush(mOut), 0);
		std::rewind(mOut);
		std::string s;
		char buf[512];
		size_t n;
		while ((n = std::fread(buf, 1, sizeof buf, mOut)) > 0)
			s.append(buf, n);
		return s;
	}
	static std::vector<std::string> lines(const std::string& text)
	{
		std::vector<std::string> out;
		std::istringstream in(text);
		for (std::string l; std::getline(in, l);)
			out.push_back(l);
		return out;
	}
	TempDir mDir;
	FILE* mOut = nullptr;
};

TEST_F(LogFileTest, RotatesAtOneHundredKilobytes)
{
	std::string log = mDir.Sub("EventLog.txt");
	std::string previous = mDir.Sub("EventLogPrevious.txt");

	// One byte short of the limit: the log is kept and appended to.
	WriteFile(log, std::string(102398, 'a') + "\n");
	WriteFile(previous, "older\n");
	ASSERT_TRUE(LogFile::Start(TString(log.c_str())));
	Output::MsgNext("appended");
	LogFile::Stop();
	EXPECT_EQ(ReadFile(log), std::string(102398, 'a') + "\n  appended\n");
	EXPECT_EQ(ReadFile(previous), "older\n");

	// At (and above) the limit the log becomes the previous one, replacing the older one.
	std::string full = ReadFile(log);
	ASSERT_GE(full.size(), 102400u);
	ASSERT_TRUE(LogFile::Start(TString(log.c_str())));
	Output::MsgNext("fresh");
	LogFile::Stop();
	EXPECT_EQ(ReadFile(log), "  fresh\n");
	EXPECT_EQ(ReadFile(previous), full);

	WriteFile(log, std::string(102399, 'b') + "\n");
	ASSERT_TRUE(LogFile::Start(TString(log.c_str())));
	LogFile::Stop();
	EXPECT_EQ(ReadFile(log), "");
	EXPECT_EQ(ReadFile(previous).size(), 102400u);
}

TEST_F(LogFileTest, LoggedLinesReachTheFileUntilStop)
{
	std::string log = mDir.Sub("EventLog.txt");
	ASSERT_TRUE(LogFile::Start(TString(log.c_str())));
	EXPECT_TRUE(LogFile::Active());
	Output::Msg("first\nsecond");
	Output::Show("not logged");
	// A line over the text line limit is cut, and logging goes on.
	Output::MsgEx(false, false, 0, false, std::string(2500, 'x').c_str());
	Output::MsgNext("after");
	// Lines are on disk at once, not only when the log is closed.
	std::vector<std::string> got = lines(ReadFile(log));
	ASSERT_EQ(got.size(), 4u);
	EXPECT_TRUE(stampedAs(got[0], "first")) << got[0];
	EXPECT_EQ(got[1], "  second");
	EXPECT_EQ(got[2], std::string(2000, 'x'));
	EXPECT_EQ(got[3], "  after");
	LogFile::Stop();
	EXPECT_FALSE(LogFile::Active());
	Output::MsgNext("gone");
	EXPECT_EQ(lines(ReadFile(log)).size(), 4u);
}

TEST_F(LogFileTest, LinesFromManyThreadsStayWhole)
{
	std::string log = mDir.Sub("EventLog.txt");
	ASSERT_TRUE(LogFile::Start(TString(log.c_str())));
	std::vector<std::thread> threads;
	for (int t = 0; t < 4; ++t)
		threads.emplace_back([t] {
			for (int i = 0; i < 150; ++i)
				Output::MsgNextFmt("thread %d line %03d %s", t, i, std::string(40, char('a' + t)).c_str());
		});
	for (auto& th : threads)
		th.join();
	LogFile::Stop();
	std::vector<std::string> got = lines(ReadFile(log));
	ASSERT_EQ(got.size(), 600u);
	std::vector<int> counts(4, 0);
	for (const std::string& l : got) {
		int t = -1, i = -1;
		char tail[64] = "";
		// NOLINTNEXTLINE(cert-err34-c): the line is compared whole with its expected form below.
		ASSERT_EQ(std::sscanf(l.c_str(), "  thread %d line %d %63s", &t, &i, tail), 3) << l;
		ASSERT_TRUE(t >= 0 && t < 4) << l;
		char expect[64];
		std::snprintf(
			expect, sizeof expect, "  thread %d line %03d %s", t, i, std::string(40, char('a' + t)).c_str());
		EXPECT_EQ(l, expect);
		EXPECT_EQ(i, counts[size_t(t)]++) << "lines of one thread keep their order";
	}
}

TEST_F(LogFileTest, FailureIsReportedAndLoggingStaysOff)
{
	std::string log = mDir.Sub("missing/EventLog.txt");
	EXPECT_FALSE(LogFile::Start(TString(log.c_str())));
	EXPECT_FALSE(LogFile::Active());
	std::string out = shown();
	EXPECT_NE(out.find("Could not open log file: "), std::string::npos) << out;
	EXPECT_NE(out.find("Path: " + log), std::string::npos) << out;
}

TEST(LogFileBackup, PreviousGoesBeforeTheExtension)
{
	TString b;
	LogFile::BackupPath(TString("/d/EventLog.txt"), b);
	EXPECT_STREQ(b.String(), "/d/EventLogPrevious.txt");
	LogFile::BackupPath(TString("/d.x/Log"), b);
	EXPECT_STREQ(b.String(), "/d.x/LogPrevious");
	LogFile::BackupPath(TString("/d/.log"), b);
	EXPECT_STREQ(b.String(), "/d/.logPrevious");
	LogFile::BackupPath(TString("/d/a.b.c"), b);
	EXPECT_STREQ(b.String(), "/d/a.bPrevious.c");
}

}  // namespace
