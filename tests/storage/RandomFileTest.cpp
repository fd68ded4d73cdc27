// The block cache: reads and writes across block edges, eviction of the least recently
// used block, holes, size changes, and a long random run checked against a plain model.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "RandomFile.h"
#include "TestSupport.h"

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

std::string pattern(size_t n, char seed)
{
	std::string s(n, 0);
	for (size_t i = 0; i < n; ++i)
		s[i] = static_cast<char>(seed + i % 23);
	return s;
}

}  // namespace

TEST(RandomFile, EvictsTheLeastRecentlyUsedBlockToDisk)
{
	TempDir dir;
	std::string path = dir.Sub("r");
	RandomFile f;
	ASSERT_EQ(f.BufferSizeSet(100, 1), ErrOkay);  // raised to the minimum
	long size, count;
	f.BufferSizeGet(&size, &count);
	EXPECT_EQ(size, 2048);
	EXPECT_EQ(count, 2);
	ASSERT_EQ(f.Create(path.c_str(), FileAccessReadWrite, 0), ErrOkay);

	unsigned long long done;
	ASSERT_EQ(f.WriteRange(0, "A", 1, &done), ErrOkay);  // written through
	EXPECT_EQ(ReadFile(path), "A");
	ASSERT_EQ(f.PositionSet(0, FilePtrStart), ErrOkay);
	ASSERT_EQ(f.Write("a", 1, &done), ErrOkay);
	ASSERT_EQ(f.PositionSet(4096, FilePtrStart), ErrOkay);
	ASSERT_EQ(f.Write("b", 1, &done), ErrOkay);
	EXPECT_EQ(ReadFile(path), "A");  // nothing reached the disk yet
	ASSERT_EQ(f.PositionSet(8192, FilePtrStart), ErrOkay);
	ASSERT_EQ(f.Write("c", 1, &done), ErrOkay);
	// The third block pushed out the block at 0, which had to be written.
	std::string disk = ReadFile(path);
	ASSERT_GE(disk.size(), 1u);
	EXPECT_EQ(disk[0], 'a');
	EXPECT_LT(disk.size(), 4097u);

	unsigned long long logical;
	EXPECT_EQ(f.SizeGet(&logical), ErrOkay);
	EXPECT_EQ(logical, 8193u);
	char c;
	ASSERT_EQ(f.PositionSet(0, FilePtrEnd), ErrOkay);
	EXPECT_EQ(f.Read(&c, 1, &done), ErrFileEnd);
	EXPECT_EQ(f.PositionSet(-1, FilePtrStart), ErrFilePositionError);
	EXPECT_EQ(f.PositionSet(0, static_cast<FilePtrMethod>(7)), ErrFilePositionError);
	ASSERT_EQ(f.Close(), ErrOkay);

	std::string expect(8193, 0);
	expect[0] = 'a';
	expect[4096] = 'b';
	expect[8192] = 'c';
	EXPECT_EQ(ReadFile(path), expect);
}

TEST(RandomFile, ReadsAndWritesAcrossBlockEdges)
{
	TempDir dir;
	std::string path = dir.Sub("r");
	std::string base = pattern(10000, 'a');
	WriteFile(path, base);
	RandomFile f;
	ASSERT_EQ(f.BufferSizeSet(2048, 2), ErrOkay);
	ASSERT_EQ(f.Open(path.c_str(), FileAccessReadWrite, 0), ErrOkay);

	std::string span = pattern(5000, 'A');  // covers three blocks
	unsigned long long done;
	ASSERT_EQ(f.PositionSet(2040, FilePtrStart), ErrOkay);
	ASSERT_EQ(f.Write(span.data(), span.size(), &done), ErrOkay);
	EXPECT_EQ(done, span.size());
	base.replace(2040, span.size(), span);

	std::string back(3000, 0);
	ASSERT_EQ(f.PositionSet(2000, FilePtrStart), ErrOkay);
	ASSERT_EQ(f.Read(back.data(), back.size(), &done), ErrOkay);
	EXPECT_EQ(back, base.substr(2000, 3000));
	// A read running into the end gives what there is.
	ASSERT_EQ(f.PositionSet(-10, FilePtrEnd), ErrOkay);
	ASSERT_EQ(f.Read(back.data(), back.size(), &done), ErrOkay);
	EXPECT_EQ(done, 10u);
	EXPECT_EQ(back.substr(0, 10), base.substr(base.size() - 10));

	// Shrinking drops cached bytes past the new end; growing again reads zeros there.
	ASSERT_EQ(f.SizeSet(3000), ErrOkay);
	ASSERT_EQ(f.PositionSet(5000, FilePtrStart), ErrOkay);
	ASSERT_EQ(f.Write("z", 1, &done), ErrOkay);
	ASSERT_EQ(f.PositionSet(2990, FilePtrStart), ErrOkay);
	std::string mid(20, 1);
	ASSERT_EQ(f.Read(mid.data(), mid.size(), &done), ErrOkay);
	EXPECT_EQ(mid, base.substr(2990, 10) + std::string(10, 0));
	ASSERT_EQ(f.Close(), ErrOkay);
	EXPECT_EQ(ReadFile(path), base.substr(0, 3000) + std::string(2000, 0) + "z");
}

TEST(RandomFile, RandomRunMatchesAPlainModel)
{
	// A small cache evicts all the time; a larger one writes runs of neighbouring blocks
	// together and has room for blocks read ahead.
	for (long blocks : {3L, 16L}) {
		SCOPED_TRACE(blocks);
		TempDir dir;
		std::string path = dir.Sub("r");
		std::string model = pattern(7000, 'k');
		WriteFile(path, model);
		RandomFile f;
		ASSERT_EQ(f.BufferSizeSet(2048, blocks), ErrOkay);
		ASSERT_EQ(f.Open(path.c_str(), FileAccessReadWrite, 0), ErrOkay);
		std::mt19937 rng(12345);
		unsigned long long done;
		for (int step = 0; step < 1500; ++step) {
			int op = static_cast<int>(rng() % 10);
			size_t pos = rng() % 20000;
			size_t len = 1 + rng() % 5000;
			if (op < 5) {
				std::string data = pattern(len, static_cast<char>('A' + step % 26));
				ASSERT_EQ(f.PositionSet(static_cast<long long>(pos), FilePtrStart), ErrOkay);
				ASSERT_EQ(f.Write(data.data(), data.size(), &done), ErrOkay);
				if (model.size() < pos + len)
					model.resize(pos + len, 0);
				model.replace(pos, len, data);
			} else if (op < 9) {
				std::string back(len, 0);
				ASSERT_EQ(f.PositionSet(static_cast<long long>(pos), FilePtrStart), ErrOkay);
				Error e = f.Read(back.data(), len, &done);
				if (pos >= model.size()) {
					ASSERT_EQ(e, ErrFileEnd);
				} else {
					ASSERT_EQ(e, ErrOkay);
					ASSERT_EQ(back.substr(0, done), model.substr(pos, len)) << "step " << step;
				}
			} else if (step % 3 == 0) {
				ASSERT_EQ(f.SizeSet(pos), ErrOkay);
				model.resize(pos, 0);
			} else if (step % 3 == 1) {
				ASSERT_EQ(f.Flush(), ErrOkay);
			} else {
				ASSERT_EQ(f.Preload(static_cast<long long>(pos / 2), len * 3), ErrOkay);
			}
		}
		ASSERT_EQ(f.Close(), ErrOkay);
		EXPECT_EQ(ReadFile(path), model);
	}
}
