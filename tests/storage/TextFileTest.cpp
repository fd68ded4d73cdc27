// Text files: every line ending, the 2000-byte limit on reading and writing, appending, and
// positions with a pushed-back byte.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TextFile.h"

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

// Every line of a file, and the error that ended the reading.
std::vector<std::string> readAll(const std::string& path, Error* end = nullptr)
{
	TextFile f;
	std::vector<std::string> lines;
	EXPECT_EQ(f.Open(path.c_str(), TextFile::ModeRead, -1), ErrOkay);
	TString line;
	Error e;
	while ((e = f.Read(line)) == ErrOkay || e == ErrFileLineTooLong)
		lines.push_back(std::string(line.String()) + (e == ErrFileLineTooLong ? "<long>" : ""));
	if (end)
		*end = e;
	return lines;
}

}  // namespace

TEST(TextFile, ReadsEveryLineEnding)
{
	TempDir dir;
	struct Case {
		const char* bytes;
		std::vector<std::string> lines;
	} cases[] = {
		{"a\r\nb\n\nc", {"a", "b", "", "c"}}, {"a\rb\r\rc\r", {"a", "b", "", "c"}},
		{"a\n\rb\n\r\n\rc", {"a", "b", "", "c"}}, {"a\r\n\nb", {"a", "", "b"}}, {"\n", {""}}, {"", {}},
		{"no end", {"no end"}}, {"x", {"x y"}},  // stands for "x", NUL, "y", LF
	};
	for (const Case& c : cases) {
		std::string path = dir.Sub("t.txt");
		std::string bytes = c.bytes;
		if (bytes == "x")
			bytes = std::string("x\0y\n", 4);
		WriteFile(path, bytes);
		Error end;
		EXPECT_EQ(readAll(path, &end), c.lines) << "input: " << c.bytes;
		EXPECT_EQ(end, ErrFileEnd);
	}
}

TEST(TextFile, LongLinesAreCutAndReported)
{
	TempDir dir;
	std::string path = dir.Sub("long.txt");
	WriteFile(path, std::string(2500, 'x') + "\nnext\n");
	std::vector<std::string> lines = readAll(path);
	ASSERT_EQ(lines.size(), 3u);
	EXPECT_EQ(lines[0], std::string(2000, 'x') + "<long>");
	EXPECT_EQ(lines[1], std::string(500, 'x'));
	EXPECT_EQ(lines[2], "next");

	// Exactly 2000 bytes is still a line.
	WriteFile(path, std::string(2000, 'y') + "\n");
	EXPECT_EQ(readAll(path), std::vector<std::string>{std::string(2000, 'y')});

	// Writing cuts a longer line, writes everything else and reports the cut.
	TextFile f;
	ASSERT_EQ(f.Open(path.c_str(), TextFile::ModeWrite, -1), ErrOkay);
	EXPECT_EQ(f.Write((std::string(2001, 'z') + "\nshort").c_str()), ErrFileLineTooLong);
	EXPECT_EQ(f.Close(), ErrOkay);
	EXPECT_EQ(ReadFile(path), std::string(2000, 'z') + "\nshort\n");
}

TEST(TextFile, WritesLinesWithLineFeeds)
{
	TempDir dir;
	std::string path = dir.Sub("w.txt");
	TextFile f;
	ASSERT_EQ(f.Open(path.c_str(), TextFile::ModeWrite, 0), ErrOkay);
	EXPECT_EQ(f.Write("a\nb"), ErrOkay);
	EXPECT_EQ(f.Write("c\n"), ErrOkay);
	EXPECT_EQ(f.Write(""), ErrOkay);
	EXPECT_EQ(f.WriteFmt("%d-%s", 7, "é"), ErrOkay);
	TString line;
	EXPECT_EQ(f.Read(line), ErrFileNotOpen);
	EXPECT_EQ(f.Close(), ErrOkay);
	EXPECT_EQ(ReadFile(path), "a\nb\nc\n\n\n7-é\n");

	// Append mode adds at the end; other line types are honoured.
	ASSERT_EQ(f.Open(path.c_str(), TextFile::ModeAppend, 0), ErrOkay);
	f.LineTypeSet(TextFile::LineCrLf);
	EXPECT_EQ(f.LineTypeLen(), 2);
	EXPECT_EQ(f.Write("tail"), ErrOkay);
	EXPECT_EQ(f.Close(), ErrOkay);
	EXPECT_EQ(ReadFile(path), "a\nb\nc\n\n\n7-é\ntail\r\n");
	EXPECT_EQ(f.Open(path.c_str(), static_cast<TextFile::Mode>(9), 0), ErrFileOpenError);
	EXPECT_FALSE(f.IsOpen());

	const char* lines[] = {"one", "two", nullptr};
	EXPECT_EQ(TextFile::WriteFile(path.c_str(), lines), ErrOkay);
	unsigned long count = 0;
	EXPECT_EQ(TextFile::LineCount(path.c_str(), &count), ErrOkay);
	EXPECT_EQ(count, 2u);
}

TEST(TextFile, PositionCountsThePushedBackByte)
{
	TempDir dir;
	std::string path = dir.Sub("p.txt");
	WriteFile(path, "ab\r\ncd\n\nef");
	TextFile f;
	ASSERT_EQ(f.Open(path.c_str(), TextFile::ModeRead, -1), ErrOkay);
	TString line;
	ASSERT_EQ(f.Read(line), ErrOkay);
	long long pos = -1;
	EXPECT_EQ(f.PositionGet(&pos), ErrOkay);
	EXPECT_EQ(pos, 4);
	ASSERT_EQ(f.Read(line), ErrOkay);  // "cd"; the second LF was pushed back
	EXPECT_EQ(f.PositionGet(&pos), ErrOkay);
	EXPECT_EQ(pos, 7);
	EXPECT_EQ(f.PositionSet(1, FilePtrStart), ErrOkay);
	ASSERT_EQ(f.Read(line), ErrOkay);
	EXPECT_STREQ(line.String(), "b");
}

TEST(TextFile, ReadsInvalidUtf8WithoutComplaint)
{
	TempDir dir;
	std::string path = dir.Sub("bad.txt");
	WriteFile(path, "ok\n\xff\xfe bytes\n");
	TextFile f;
	ASSERT_EQ(f.Open(path.c_str(), TextFile::ModeRead, -1), ErrOkay);
	TString line;
	ASSERT_EQ(f.Read(line), ErrOkay);
	EXPECT_TRUE(line.Valid());
	ASSERT_EQ(f.Read(line), ErrOkay);
	EXPECT_FALSE(line.Valid());
	EXPECT_EQ(line.ByteLength(), 8);
}

TEST(TextFile, ReplacingKeepsReadOnlyFilesAndWritesThroughLinks)
{
	TempDir dir;
	std::vector<TString> lines = {TString("new")};

	// A file its owner may not write is refused, not replaced behind the owner's back.
	std::string locked = dir.Sub("locked.txt");
	WriteFile(locked, "old\n");
	chmod(locked.c_str(), 0444);
	EXPECT_EQ(TextFile::WriteReplace(TString(locked.c_str()), lines, -1), ErrFileAccessDenied);
	EXPECT_EQ(ReadFile(locked), "old\n");

	// A link stays a link; its target gets the new content, also through a relative link
	// and a chain of two links, and a new file behind a dangling link is made.
	std::string target = dir.Sub("target.txt");
	WriteFile(target, "old\n");
	ASSERT_EQ(symlink("target.txt", dir.Sub("link1").c_str()), 0);
	ASSERT_EQ(symlink(dir.Sub("link1").c_str(), dir.Sub("link2").c_str()), 0);
	ASSERT_EQ(symlink("later.txt", dir.Sub("dangling").c_str()), 0);
	EXPECT_EQ(TextFile::WriteReplace(TString(dir.Sub("link2").c_str()), lines, -1), ErrOkay);
	EXPECT_EQ(TextFile::WriteReplace(TString(dir.Sub("dangling").c_str()), lines, -1, 0600), ErrOkay);
	struct stat st;
	for (const char* link : {"link1", "link2", "dangling"}) {
		ASSERT_EQ(lstat(dir.Sub(link).c_str(), &st), 0);
		EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
	}
	EXPECT_EQ(ReadFile(target), "new\n");
	EXPECT_EQ(ReadFile(dir.Sub("later.txt")), "new\n");
	ASSERT_EQ(stat(dir.Sub("later.txt").c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(TextFile, SweepRemovesOnlyTemporaryFilesOfGoneWriters)
{
	TempDir dir;
	// A process id that is surely gone: a child that has been reaped.
	pid_t gone = fork();
	ASSERT_GE(gone, 0);
	if (gone == 0)
		_exit(0);
	waitpid(gone, nullptr, 0);
	std::string dead = dir.Sub(".Identity.init." + std::to_string(gone) + "-3.tmp");
	std::string live = dir.Sub(".Identity.init." + std::to_string(getpid()) + "-1.tmp");
	std::string other = dir.Sub(".notes." + std::to_string(gone) + ".tmp");
	for (const std::string& path : {dead, live, other})
		WriteFile(path, "partial");
	EXPECT_EQ(TextFile::TempSweep(TString(dir.Path().c_str())), 1);
	EXPECT_FALSE(TestSupport::Exists(dead));
	EXPECT_TRUE(TestSupport::Exists(live));
	EXPECT_TRUE(TestSupport::Exists(other));
}
