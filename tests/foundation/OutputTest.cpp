#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "Format.h"
#include "Output.h"
#include "OutputImp.h"
#include "TString.h"

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

std::vector<std::string> sLogged;

void logProc(const char* line)
{
	sLogged.push_back(line);
}

// Captures what Output writes, and what it hands to the log procedure.
class OutputTest : public testing::Test {
protected:
	void SetUp() override
	{
		mFile = std::tmpfile();
		ASSERT_NE(mFile, nullptr);
		Output::StreamSet(mFile);
		Output::RegisterLogProc(logProc);
		sLogged.clear();
	}
	void TearDown() override
	{
		Output::RegisterLogProc(nullptr);
		Output::StreamSet(nullptr);
		EXPECT_EQ(std::fclose(mFile), 0);
	}
	std::string written()
	{
		EXPECT_EQ(std::fflush(mFile), 0);
		std::rewind(mFile);
		std::string s;
		char buf[1024];
		size_t n;
		while ((n = std::fread(buf, 1, sizeof buf, mFile)) > 0)
			s.append(buf, n);
		return s;
	}
	FILE* mFile = nullptr;
};

TEST_F(OutputTest, MessageLinesAreStampedIndentedAndLogged)
{
	Output::Msg("first line\nsecond line");
	std::string out = written();
	EXPECT_TRUE(stampedAs(out, "first line\n  second line\n")) << out;
	ASSERT_EQ(sLogged.size(), 2u);
	EXPECT_EQ(sLogged[0] + "\n" + sLogged[1] + "\n", out);

	sLogged.clear();
	Output::MsgNextFmt("%s %d", "next", 7);
	EXPECT_EQ(sLogged, std::vector<std::string>{"  next 7"});

	// Shown text goes out but not to the log; an empty text is one empty line.
	sLogged.clear();
	Output::Show("shown");
	Output::Show();
	EXPECT_TRUE(sLogged.empty());
	EXPECT_EQ(written().substr(out.size() + 9), "shown\n\n");
}

TEST_F(OutputTest, UnwrappedMessagesBecomeOneLine)
{
	Output::MsgEx(false, true, 3, false, "a\nb\n");
	EXPECT_EQ(written(), "   a b \n");
	EXPECT_EQ(sLogged, std::vector<std::string>{"   a b "});

	TString s;
	Format::Log(s, false, false, 4, 80, false, "x\ny");
	EXPECT_STREQ(s.String(), "x y");
	Format::LogFmt(s, true, false, 2, 80, false, "%d%%", 50);
	EXPECT_TRUE(stampedAs(s.String(), "50%")) << s.String();
}

TEST_F(OutputTest, MessagesAreWrappedToTheColumns)
{
	TString s;
	Format::Log(s, false, false, 2, 20, true, "alpha beta gamma delta epsilon zeta\nnext");
	EXPECT_STREQ(s.String(), "alpha beta gamma\n  delta epsilon zeta\n  next");
	// A word longer than a line is cut rather than running past the width.
	Format::Log(s, false, true, 2, 10, true, "/a/very/long/path/name");
	EXPECT_STREQ(s.String(), "  /a/very/\n  long/pat\n  h/name");

	// A final line feed gives a final empty line, which is logged as well.
	Output::MsgNext("last\n");
	EXPECT_EQ(sLogged, (std::vector<std::string>{"  last", ""}));
	EXPECT_EQ(written(), "  last\n\n");
}

TEST_F(OutputTest, WithoutLogProcedureNothingIsLogged)
{
	Output::RegisterLogProc(nullptr);
	Output::Msg("quiet");
	EXPECT_TRUE(sLogged.empty());
	EXPECT_NE(written().find("quiet"), std::string::npos);
}

TEST(OutputColumns, TerminalWidthOutsideTheRangeIsEighty)
{
	EXPECT_EQ(Output::ColumnsFrom(30), 80);
	EXPECT_EQ(Output::ColumnsFrom(0), 80);
	EXPECT_EQ(Output::ColumnsFrom(39), 80);
	EXPECT_EQ(Output::ColumnsFrom(40), 40);
	EXPECT_EQ(Output::ColumnsFrom(300), 300);
	EXPECT_EQ(Output::ColumnsFrom(301), 80);
	EXPECT_GE(Output::Columns(), 40);
	EXPECT_LE(Output::Columns(), 300);

	// The width is read from the terminal itself; a file has none.
	int master = posix_openpt(O_RDWR | O_NOCTTY);
	ASSERT_GE(master, 0);
	ASSERT_EQ(grantpt(master), 0);
	ASSERT_EQ(unlockpt(master), 0);
	int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
	ASSERT_GE(slave, 0);
	struct winsize ws {};
	ws.ws_col = 30;
	ws.ws_row = 24;
	ASSERT_EQ(ioctl(slave, TIOCSWINSZ, &ws), 0);
	EXPECT_EQ(OutputImp::TerminalWidth(slave), 30);
	EXPECT_EQ(Output::ColumnsFrom(OutputImp::TerminalWidth(slave)), 80);
	ws.ws_col = 132;
	ASSERT_EQ(ioctl(slave, TIOCSWINSZ, &ws), 0);
	EXPECT_EQ(OutputImp::TerminalWidth(slave), 132);
	close(slave);
	close(master);
	FILE* f = std::tmpfile();
	EXPECT_EQ(OutputImp::TerminalWidth(fileno(f)), 0);
	EXPECT_EQ(std::fclose(f), 0);
}

}  // namespace
