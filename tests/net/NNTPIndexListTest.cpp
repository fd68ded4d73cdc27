#include <gtest/gtest.h>

#include <random>
#include <set>

#include "NNTPIndexList.h"
#include "TString.h"
#include "TestSupport.h"

namespace {

using Data = NNTPIndexList::GroupData;

Data data(uint32_t low, uint32_t high, uint32_t total)
{
	Data d;
	d.low = low;
	d.high = high;
	d.total = total;
	return d;
}

std::string rangesText(const NNTPIndexList& list)
{
	std::string s;
	for (const NNTPIndexPair& r : list.Ranges())
		s += std::to_string(r.Low()) + "-" + std::to_string(r.High()) + " ";
	return s;
}

TEST(NNTPIndexPair, RelationsAndTotals)
{
	NNTPIndexPair a(1, 5), b(6, 9), c(5, 7), cleared;
	EXPECT_FALSE(cleared.Valid());
	EXPECT_FALSE(cleared.Contains(0));
	EXPECT_TRUE(a.Adjacent(b));
	EXPECT_FALSE(a.Overlaps(b));
	EXPECT_TRUE(a.Overlaps(c));
	EXPECT_FALSE(a.Adjacent(c));  // overlapping pairs are not adjacent
	NNTPIndexPair out;
	EXPECT_TRUE(NNTPIndexPair::Combine(out, a, b));
	EXPECT_EQ(out, NNTPIndexPair(1, 9));
	EXPECT_FALSE(NNTPIndexPair::Combine(out, NNTPIndexPair(1, 2), NNTPIndexPair(10, 12)));
	EXPECT_EQ(out, NNTPIndexPair(1, 12));
	EXPECT_TRUE(a.Lower(b));
	EXPECT_TRUE(b.Higher(a));
	EXPECT_EQ(a.Total(c), 1u);
	// The widest range counts all its numbers without wrapping round.
	EXPECT_EQ(NNTPIndexPair(1, 0xFFFFFFFFu).Total(), 0xFFFFFFFFull);
}

TEST(NNTPIndexList, FixupOfServerCounts)
{
	NNTPIndexList list;
	list.GroupUpdate(data(0, 0, 0));
	EXPECT_EQ(list.IndexOldest(), 0u);
	EXPECT_EQ(list.IndexNewest(), 0u);
	EXPECT_EQ(list.IndexRemain(), 0u);

	list.GroupUpdate(data(100, 50, 10));
	EXPECT_EQ(list.EffectiveData().low, 50u);
	EXPECT_EQ(list.EffectiveData().high, 100u);
	EXPECT_EQ(list.EffectiveData().total, 51u);

	list.GroupUpdate(data(1, 10000, 100));
	EXPECT_EQ(list.EffectiveData().low, 9401u);
	EXPECT_EQ(list.EffectiveData().total, 600u);
	Data server;
	list.CurrentData(server);
	EXPECT_EQ(server.low, 1u);  // the server's own counts are kept as they came

	list.GroupUpdate(data(1, 0xFFFFFFFFu, 0xFFFFFFFFu));
	EXPECT_EQ(list.EffectiveData().total, 0xFFFFFFFFu);
	EXPECT_EQ(list.IndexOldest(), 1u);
}

TEST(NNTPIndexList, MarkingMergesAndSplits)
{
	NNTPIndexList list;
	list.GroupUpdate(data(1, 20, 20));
	for (uint32_t n : {1, 2, 3, 4, 5, 7, 8, 9})
		EXPECT_TRUE(list.IndexUsed(n));
	EXPECT_FALSE(list.IndexUsed(5));
	EXPECT_FALSE(list.IndexUsed(0));
	EXPECT_EQ(rangesText(list), "1-5 7-9 ");
	EXPECT_TRUE(list.IndexUsed(6));
	EXPECT_EQ(rangesText(list), "1-9 ");
	EXPECT_TRUE(list.IndexRemove(5));
	EXPECT_EQ(rangesText(list), "1-4 6-9 ");
	EXPECT_FALSE(list.IndexRemove(5));
	EXPECT_TRUE(list.IndexRemove(1));
	EXPECT_TRUE(list.IndexRemove(9));
	EXPECT_EQ(rangesText(list), "2-4 6-8 ");
	list.Clear();
	list.IndexUsed(1);
	EXPECT_TRUE(list.IndexRemove(1));
	EXPECT_TRUE(list.Ranges().empty());
}

TEST(NNTPIndexList, OldestAndNewestAroundTheEffectiveRange)
{
	NNTPIndexList list;
	list.GroupUpdate(data(150, 400, 251));
	list.IndexUsed(1);
	for (uint32_t n = 2; n <= 100; n++)
		list.IndexUsed(n);
	for (uint32_t n = 200; n <= 300; n++)
		list.IndexUsed(n);
	EXPECT_EQ(list.IndexOldest(), 199u);  // a hole reaching into the range is walked downwards
	EXPECT_EQ(list.IndexNewest(), 400u);

	// The whole effective range inside one hole between visited ranges: still something to fetch.
	NNTPIndexList gap;
	gap.IndexUsed(5);
	gap.IndexUsed(1000);
	gap.GroupUpdate(data(100, 200, 101));
	EXPECT_EQ(gap.IndexOldest(), 100u);
	EXPECT_EQ(gap.IndexNewest(), 200u);
}

TEST(NNTPIndexList, RenumberedGroupStartsAfresh)
{
	NNTPIndexList list;
	list.GroupUpdate(data(15000, 20000, 5001));
	list.IndexUsed(19000);
	list.GroupUpdate(data(15000, 15001, 2));
	EXPECT_EQ(list.Ranges().size(), 1u);
	list.GroupUpdate(data(15000, 20000, 5001));
	list.GroupUpdate(data(15000, 14000, 5001));
	EXPECT_TRUE(list.Ranges().empty());
	Data server;
	list.CurrentData(server);
	EXPECT_EQ(server.high, 14000u);
}

// Random operations against a plain set of visited numbers: the same answers every time.
TEST(NNTPIndexList, AgreesWithASetOfVisitedNumbers)
{
	const unsigned seed = std::random_device{}();
	SCOPED_TRACE("seed " + std::to_string(seed));
	std::mt19937 random(seed);
	for (int round = 0; round < 200; round++) {
		NNTPIndexList list;
		std::set<uint32_t> visited;
		uint32_t high = 1 + random() % 120;
		uint32_t low = 1 + random() % high;
		Data counts = data(low, high, high - low + 1 - random() % (high - low + 1));
		list.GroupUpdate(counts);
		Data eff = list.EffectiveData();
		for (int op = 0; op < 300; op++) {
			uint32_t n = random() % 130;
			switch (random() % 4) {
			case 0: ASSERT_EQ(list.IndexUsed(n), n != 0 && visited.insert(n).second) << n; break;
			case 1: ASSERT_EQ(list.IndexRemove(n), visited.erase(n) == 1) << n; break;
			case 2: {
				uint32_t oldest = list.IndexOldest();
				if (oldest != 0) {
					ASSERT_GE(oldest, eff.low);
					ASSERT_LE(oldest, eff.high);
					ASSERT_EQ(visited.count(oldest), 0u) << rangesText(list);
					list.IndexUsed(oldest);
					visited.insert(oldest);
				}
				break;
			}
			default: {
				uint32_t newest = list.IndexNewest();
				if (newest != 0) {
					ASSERT_GE(newest, eff.low);
					ASSERT_LE(newest, eff.high);
					ASSERT_EQ(visited.count(newest), 0u) << rangesText(list);
					list.IndexUsed(newest);
					visited.insert(newest);
				}
				break;
			}
			}
			uint32_t unvisited = 0;
			for (uint32_t k = eff.low; k <= eff.high && eff.high != 0; k++)
				unvisited += visited.count(k) == 0 ? 1 : 0;
			ASSERT_EQ(list.IndexRemain(), unvisited);
			ASSERT_EQ(list.IndexOldest() == 0, unvisited == 0) << rangesText(list);
			ASSERT_EQ(list.IndexNewest() == 0, unvisited == 0) << rangesText(list);
			// Ranges stay sorted, apart and exactly the visited numbers.
			std::set<uint32_t> fromRanges;
			uint32_t lastHigh = 0;
			for (const NNTPIndexPair& r : list.Ranges()) {
				ASSERT_TRUE(r.Valid());
				ASSERT_TRUE(lastHigh == 0 || r.Low() > lastHigh + 1) << rangesText(list);
				lastHigh = r.High();
				for (uint32_t k = r.Low(); k <= r.High(); k++)
					fromRanges.insert(k);
			}
			ASSERT_EQ(fromRanges, visited);
		}
	}
}

TEST(NNTPIndexList, StateFileReadsBackAndTrimsTo30)
{
	TestSupport::TempDir dir;
	TString path(dir.Sub("ArticleIndex.txt").c_str());
	TestSupport::WriteFile(path.String(), "# low high total\n1 500 480\n\n# visited indexes\n1 - 200\n");
	NNTPIndexList list;
	ASSERT_EQ(list.StateRead(path), ErrOkay);
	EXPECT_EQ(rangesText(list), "1-200 ");
	ASSERT_EQ(list.StateWrite(path), ErrOkay);
	EXPECT_EQ(
		TestSupport::ReadFile(path.String()), "# low high total\n1 500 480\n\n# visited indexes\n1 - 200\n");

	NNTPIndexList many;
	many.GroupUpdate(data(1, 100, 100));
	for (uint32_t n = 1; n <= 62; n += 2)
		many.IndexUsed(n);
	ASSERT_EQ(many.Ranges().size(), 31u);
	ASSERT_EQ(many.StateWrite(path), ErrOkay);
	NNTPIndexList back;
	ASSERT_EQ(back.StateRead(path), ErrOkay);
	ASSERT_EQ(back.Ranges().size(), 30u);
	EXPECT_EQ(back.Ranges()[0], NNTPIndexPair(1, 3));  // the first two merged
	EXPECT_EQ(back.Ranges()[1], NNTPIndexPair(5, 5));

	// No visited ranges: counts only.
	NNTPIndexList empty;
	empty.GroupUpdate(data(0, 0, 0));
	ASSERT_EQ(empty.StateWrite(path), ErrOkay);
	EXPECT_EQ(TestSupport::ReadFile(path.String()), "# low high total\n0 0 0\n\n");

	// Comments, blank space and other line ends are accepted; overlapping ranges merge.
	TestSupport::WriteFile(path.String(), "  7 9 3 # counts\r\n\r\n 1-2\r\n2 - 4 # seen\r\n 8 -  9\r\n");
	ASSERT_EQ(list.StateRead(path), ErrOkay);
	EXPECT_EQ(rangesText(list), "1-4 8-9 ");
}

TEST(NNTPIndexList, DamagedStateFilesGiveAnEmptyList)
{
	TestSupport::TempDir dir;
	TString path(dir.Sub("ArticleIndex.txt").c_str());
	NNTPIndexList list;
	EXPECT_EQ(list.StateRead(path), ErrFileNotFound);
	for (const char* content : {
			 "1 - 200\n1 500 480\n",  // range before counts
			 "1 500 480\n2 600 10\n",  // a second counts line
			 "1 500\n",  // two numbers
			 "1 500 480\n5 - 3\n",  // high below low
			 "1 500 480\n0 - 3\n",  // 0 is no article
			 "1 500 480\n1 - 4294967296\n",  // too large
			 "-1 500 480\n",  // a sign
			 "1 500 480\n1 - 2 - 3\n",  // three fields
			 "1 500 480\nabc\n",  // words
			 "",  // no counts at all
			 "1 500 480\n\xff\xfe - 1\n",  // bytes of no text
		 }) {
		TestSupport::WriteFile(path.String(), content);
		list.GroupUpdate(data(1, 9, 9));
		list.IndexUsed(3);
		EXPECT_EQ(list.StateRead(path), ErrFileInvalidData) << content;
		EXPECT_TRUE(list.Ranges().empty());
		Data server;
		list.CurrentData(server);
		EXPECT_EQ(server.high, 0u);
	}
	// A line longer than any text line is damage too, not a crash.
	TestSupport::WriteFile(path.String(), "1 500 480\n" + std::string(100000, '7') + "\n");
	EXPECT_EQ(list.StateRead(path), ErrFileInvalidData);
}

TEST(NNTPIndexList, FailedWriteKeepsThePreviousFile)
{
	TestSupport::TempDir dir;
	NNTPIndexList list;
	list.GroupUpdate(data(1, 5, 5));
	// The folder does not exist: nothing may be left behind.
	TString missing(dir.Sub("gone/ArticleIndex.txt").c_str());
	EXPECT_NE(list.StateWrite(missing), ErrOkay);
	EXPECT_FALSE(TestSupport::Exists(dir.Sub("gone")));
}

}  // namespace
