// Plain and buffered files: locks between two processes (time-outs and waits that end when
// the holder lets go), creation that never truncates a locked file, access checks, and the
// sequential buffer when reads and writes alternate.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "DiskFile.h"
#include "FileBase.h"
#include "SequenceFile.h"
#include "TestSupport.h"
#include "TimeCore.h"

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

// A child process that opens path with an exclusive lock, reports through a pipe, holds the
// lock for holdUsecs and exits.
class LockHolder {
public:
	LockHolder(const std::string& path, long long holdUsecs)
	{
		int fds[2];
		EXPECT_EQ(pipe(fds), 0);
		mPid = fork();
		if (mPid == 0) {
			close(fds[0]);
			DiskFile f;
			char ok = f.Open(path.c_str(), FileAccessReadWrite, 0) == ErrOkay ? 'y' : 'n';
			(void)!write(fds[1], &ok, 1);
			TimeCore::Sleep(holdUsecs);
			_exit(0);
		}
		close(fds[1]);
		char ok = 0;
		EXPECT_EQ(read(fds[0], &ok, 1), 1);
		EXPECT_EQ(ok, 'y');
		close(fds[0]);
	}
	~LockHolder()
	{
		int status;
		waitpid(mPid, &status, 0);
	}

private:
	pid_t mPid;
};

}  // namespace

TEST(DiskFile, LockWaitTimesOutWhileAnotherProcessHoldsTheLock)
{
	TempDir dir;
	std::string path = dir.Sub("locked");
	WriteFile(path, "data");
	LockHolder holder(path, 1500000);

	DiskFile f;
	long long start = TimeCore::TickCount();
	EXPECT_EQ(f.Open(path.c_str(), FileAccessRead, 300000), ErrFileLocked);
	long long waited = TimeCore::TickCount() - start;
	EXPECT_GE(waited, 300000);
	EXPECT_LT(waited, 1400000);
	EXPECT_FALSE(f.IsOpen());

	// Without a lock wait the shared lock of the open itself fails at once.
	start = TimeCore::TickCount();
	EXPECT_EQ(f.Open(path.c_str(), FileAccessRead, -1), ErrFileLocked);
	EXPECT_LT(TimeCore::TickCount() - start, 200000);

	// Creating must not truncate a file someone else holds.
	EXPECT_EQ(f.Create(path.c_str(), FileAccessReadWrite, 0), ErrFileLocked);
	EXPECT_EQ(ReadFile(path), "data");
}

TEST(DiskFile, LockWaitEndsWhenTheHolderLetsGo)
{
	TempDir dir;
	std::string path = dir.Sub("locked");
	WriteFile(path, "data");
	long long start = TimeCore::TickCount();
	LockHolder holder(path, 400000);

	DiskFile f;
	ASSERT_EQ(f.Open(path.c_str(), FileAccessRead, 5000000), ErrOkay);
	long long waited = TimeCore::TickCount() - start;
	EXPECT_GE(waited, 350000);
	EXPECT_LT(waited, 3000000);
	EXPECT_TRUE(f.Locked());
}

TEST(DiskFile, LocksWithinOneProcessAndTheirStates)
{
	TempDir dir;
	std::string path = dir.Sub("f");
	DiskFile a, b;
	ASSERT_EQ(a.Create(path.c_str(), FileAccessReadWrite, -1), ErrOkay);
	EXPECT_FALSE(a.Locked());
	EXPECT_EQ(a.Lock(false), ErrFileNotLocked);
	ASSERT_EQ(a.Lock(true), ErrOkay);
	EXPECT_EQ(a.Lock(true), ErrFileAlreadyLocked);
	// A second open sees the holder, as another process would.
	EXPECT_EQ(b.Open(path.c_str(), FileAccessRead, 0), ErrFileLocked);
	EXPECT_EQ(b.Open(path.c_str(), FileAccessRead, -1), ErrFileLocked);
	ASSERT_EQ(a.Lock(false), ErrOkay);
	ASSERT_EQ(b.Open(path.c_str(), FileAccessRead, -1), ErrOkay);
	EXPECT_EQ(a.Lock(true), ErrFileLocked);
	EXPECT_FALSE(a.Locked());
	EXPECT_EQ(b.Close(), ErrOkay);
	EXPECT_EQ(b.Close(), ErrFileNotOpen);
	EXPECT_EQ(a.Lock(true), ErrOkay);

	// The path is the absolute, resolved one, even when opened through "..".
	std::string sub = dir.Sub("sub");
	mkdir(sub.c_str(), 0700);
	DiskFile c;
	ASSERT_EQ(c.Open((sub + "/../f").c_str(), FileAccessRead, -1), ErrFileLocked);
	a.Close();
	ASSERT_EQ(c.Open((sub + "/../f").c_str(), FileAccessRead, -1), ErrOkay);
	TString abs;
	ASSERT_EQ(c.PathGet(abs), ErrOkay);
	char* real = realpath(path.c_str(), nullptr);
	EXPECT_STREQ(abs.String(), real);
	// And through a symbolic link to the file, and one to its folder.
	ASSERT_EQ(symlink(path.c_str(), (sub + "/l").c_str()), 0);
	ASSERT_EQ(symlink(dir.Path().c_str(), (sub + "/d").c_str()), 0);
	for (const char* via : {"/l", "/d/f"}) {
		DiskFile d;
		ASSERT_EQ(d.Open((sub + via).c_str(), FileAccessRead, -1), ErrOkay) << via;
		ASSERT_EQ(d.PathGet(abs), ErrOkay);
		EXPECT_STREQ(abs.String(), real) << via;
	}
	free(real);
}

TEST(DiskFile, OpeningChecksKindPlaceAndPermissions)
{
	TempDir dir;
	DiskFile f;
	EXPECT_EQ(f.Open(dir.Path().c_str(), FileAccessRead, -1), ErrFileNotFile);
	EXPECT_EQ(f.Open(dir.Path().c_str(), FileAccessReadWrite, 0), ErrFileNotFile);
	EXPECT_EQ(f.Open(dir.Sub("missing").c_str(), FileAccessRead, -1), ErrFileNotFound);
	EXPECT_EQ(f.Open(dir.Sub("missing/deeper").c_str(), FileAccessRead, 0), ErrFileNotFound);
	// A FIFO without a writer is refused at once, never waited on.
	ASSERT_EQ(mkfifo(dir.Sub("fifo").c_str(), 0666), 0);
	EXPECT_EQ(f.Open(dir.Sub("fifo").c_str(), FileAccessRead, 0), ErrFileNotFile);
	EXPECT_EQ(f.Open(dir.Sub("fifo").c_str(), FileAccessWrite, -1), ErrFileNotFile);
	EXPECT_EQ(f.Create(dir.Sub("fifo").c_str(), FileAccessReadWrite, 0), ErrFileNotFile);
	EXPECT_FALSE(f.IsOpen());
	EXPECT_EQ(f.Create(dir.Sub("no/such/dir/f").c_str(), FileAccessReadWrite, -1), ErrGmBadPath);
	EXPECT_EQ(f.Create(dir.Sub("ro").c_str(), FileAccessRead, -1), ErrFileAccessDenied);

	std::string ro = dir.Sub("ro");
	WriteFile(ro, "x");
	chmod(ro.c_str(), 0444);
	// The owner's bits decide, whoever runs the program.
	EXPECT_EQ(f.Open(ro.c_str(), FileAccessWrite, -1), ErrFileAccessDenied);
	ASSERT_EQ(f.Open(ro.c_str(), FileAccessRead, -1), ErrOkay);
	unsigned long long done = 9;
	EXPECT_EQ(f.Write("y", 1, &done), ErrFileAccessDenied);
	EXPECT_EQ(done, 0u);
	EXPECT_EQ(f.Remove(), ErrFileAccessDenied);
	f.Close();

	std::string w = dir.Sub("w");
	ASSERT_EQ(f.OpenOrCreate(w.c_str(), FileAccessWrite, -1), ErrOkay);
	char c;
	EXPECT_EQ(f.Read(&c, 1, &done), ErrFileAccessDenied);
	EXPECT_EQ(f.WriteString(""), ErrFileEnd);
	EXPECT_EQ(f.WriteString("hello"), ErrOkay);
	EXPECT_EQ(f.PermSet(0400), ErrOkay);
	EXPECT_EQ(f.Access(), FileAccessNone);  // the descriptor cannot read, the bits forbid writing
	f.Close();
	EXPECT_EQ(ReadFile(w), "hello");

	ASSERT_EQ(f.Open(ro.c_str(), FileAccessRead, -1), ErrOkay);
	EXPECT_EQ(f.Read(&c, 1, &done), ErrOkay);
	EXPECT_EQ(f.Read(&c, 1, &done), ErrFileEnd);
	f.Close();
	chmod(ro.c_str(), 0644);
	ASSERT_EQ(f.Open(ro.c_str(), FileAccessReadWrite, -1), ErrOkay);
	EXPECT_EQ(f.Remove(), ErrOkay);
	EXPECT_FALSE(TestSupport::Exists(ro));
	EXPECT_FALSE(f.IsOpen());
}

TEST(DiskFile, ScratchCreatesReplaceWithoutFollowingLinks)
{
	TempDir dir;
	std::string path = dir.Sub("scratch");
	WriteFile(path, "left over from before");
	DiskFile f;
	f.ScratchSet(true);
	ASSERT_EQ(f.Create(path.c_str(), FileAccessReadWrite, DiskFile::kLockWaitDefault), ErrOkay);
	EXPECT_FALSE(f.Locked());
	TString opened;
	ASSERT_EQ(f.PathGet(opened), ErrOkay);
	EXPECT_EQ(std::string(opened.String()), path);
	EXPECT_EQ(f.WriteString("new"), ErrOkay);
	// Opens of existing files still lock and check as always.
	DiskFile other;
	ASSERT_EQ(other.Open(path.c_str(), FileAccessRead, 0), ErrOkay);
	EXPECT_TRUE(other.Locked());
	other.Close();
	f.Close();
	EXPECT_EQ(ReadFile(path), "new");

	// A link in the scratch file's place is not written through; a missing folder is a bad path.
	std::string target = dir.Sub("target");
	WriteFile(target, "keep");
	std::string link = dir.Sub("link");
	ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
	EXPECT_NE(f.Create(link.c_str(), FileAccessReadWrite, -1), ErrOkay);
	EXPECT_FALSE(f.IsOpen());
	EXPECT_EQ(ReadFile(target), "keep");
	EXPECT_EQ(f.Create(dir.Sub("none/x").c_str(), FileAccessReadWrite, -1), ErrGmBadPath);
	// A new-file create keeps refusing an existing name.
	EXPECT_EQ(f.CreateNew(path.c_str(), -1), ErrFileAlreadyExists);
}

TEST(SequenceFile, AlternatingReadsAndWritesLandInPlace)
{
	TempDir dir;
	std::string path = dir.Sub("seq");
	std::string big(200000, 0);
	for (size_t i = 0; i < big.size(); ++i)
		big[i] = static_cast<char>('a' + i % 26);
	WriteFile(path, big);

	SequenceFile f;
	ASSERT_EQ(f.Open(path.c_str(), FileAccessReadWrite, 0), ErrOkay);
	char buf[10];
	unsigned long long done;
	ASSERT_EQ(f.Read(buf, 10, &done), ErrOkay);
	EXPECT_EQ(std::string(buf, 10), big.substr(0, 10));
	// The buffer read far ahead; the write goes where the reader stands.
	ASSERT_EQ(f.Write("XYZ", 3, &done), ErrOkay);
	long long pos;
	EXPECT_EQ(f.PositionGet(&pos), ErrOkay);
	EXPECT_EQ(pos, 13);
	ASSERT_EQ(f.Read(buf, 2, &done), ErrOkay);
	EXPECT_EQ(std::string(buf, 2), big.substr(13, 2));
	// Pending writes count in the size.
	ASSERT_EQ(f.PositionSet(0, FilePtrEnd), ErrOkay);
	ASSERT_EQ(f.Write("tail", 4, &done), ErrOkay);
	unsigned long long size;
	EXPECT_EQ(f.SizeGet(&size), ErrOkay);
	EXPECT_EQ(size, big.size() + 4);
	EXPECT_EQ(f.Read(buf, 1, &done), ErrFileEnd);
	EXPECT_EQ(f.Close(), ErrOkay);

	std::string expect = big;
	expect.replace(10, 3, "XYZ");
	expect += "tail";
	EXPECT_EQ(ReadFile(path), expect);

	// A long run of writes crosses many buffer fills.
	ASSERT_EQ(f.Create(path.c_str(), FileAccessReadWrite, 0), ErrOkay);
	for (size_t i = 0; i < big.size(); i += 1000)
		ASSERT_EQ(f.Write(big.data() + i, 1000, &done), ErrOkay);
	ASSERT_EQ(f.PositionSet(0, FilePtrStart), ErrOkay);
	std::string back(big.size(), 0);
	ASSERT_EQ(f.Read(back.data(), back.size(), &done), ErrOkay);
	EXPECT_EQ(done, big.size());
	EXPECT_EQ(back, big);
}

TEST(SequenceFile, OverwriteReachesPendingAndWrittenBytesAlike)
{
	TempDir dir;
	std::string path = dir.Sub("over");
	SequenceFile f;
	ASSERT_EQ(f.Create(path.c_str(), FileAccessReadWrite, -1), ErrOkay);
	std::string first(SequenceFile::kBufferSize + 100, 'a');
	unsigned long long done;
	ASSERT_EQ(f.Write(first.data(), first.size(), &done), ErrOkay);  // one buffer out, 100 pending
	long long at = 0;
	ASSERT_EQ(f.PositionGet(&at), ErrOkay);
	// In the file, across the edge of the buffer, and in the buffer.
	EXPECT_EQ(f.Overwrite(5, "BB", 2, &done), ErrOkay);
	EXPECT_EQ(done, 2u);
	EXPECT_EQ(f.Overwrite(SequenceFile::kBufferSize - 2, "CCCC", 4, &done), ErrOkay);
	EXPECT_EQ(f.Overwrite(at - 3, "DDD", 3, &done), ErrOkay);
	// Past what was written: refused, nothing written.
	EXPECT_EQ(f.Overwrite(at - 1, "EE", 2, &done), ErrFilePositionError);
	EXPECT_EQ(done, 0u);
	EXPECT_EQ(f.Overwrite(-1, "E", 1, &done), ErrFilePositionError);
	long long still = 0;
	ASSERT_EQ(f.PositionGet(&still), ErrOkay);
	EXPECT_EQ(still, at);
	ASSERT_EQ(f.Write("zz", 2, &done), ErrOkay);
	f.Close();
	std::string expect = first + "zz";
	expect.replace(5, 2, "BB");
	expect.replace(SequenceFile::kBufferSize - 2, 4, "CCCC");
	expect.replace(size_t(at) - 3, 3, "DDD");
	EXPECT_EQ(ReadFile(path), expect);
}

// Bytes read from a damaged file, ending in a lead byte whose character is cut off, are taken
// as they are (found by fuzzing a damaged record store: the key's last byte was 0xFB).
TEST(FileBase, BytesEndingInsideACharacterAreKeptAsTheyAre)
{
	for (const std::string& bytes : {std::string("<key@host>   \xFB"), std::string("ab\xE2"),
			 std::string("ab\xE2\x82"), std::string("\xF0\x9F\x98"), std::string("ok \xC3\xA9")}) {
		TString out;
		FileBase::AssignBytes(out, bytes.data(), bytes.size());
		EXPECT_EQ(std::string(out.String(), static_cast<size_t>(out.ByteLength())), bytes);
	}
}
