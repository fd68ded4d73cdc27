// The killfile: entries and their expiry at the boundary, the file read back as written
// (names holding tabs, backslashes and non-ASCII letters), malformed lines dropped, and
// processes changing the file at once without losing each other's entries.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "Killfile.h"
#include "TestSupport.h"
#include "TimeCore.h"

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

constexpr long long kDay = TimeCore::kUsecsPerDay;

TString ts(const std::string& s)
{
	TString t;
	t.AssignByte(s.data(), static_cast<long>(s.size()));
	return t;
}

class KillfileTest : public testing::Test {
protected:
	void SetUp() override
	{
		path = dir.Sub("Killfile.txt");
		Killfile::NowSet(0);
		Killfile::Start(ts(path));
	}
	void TearDown() override
	{
		Killfile::Stop();
		Killfile::NowSet(0);
	}
	void restart()
	{
		Killfile::Stop();
		Killfile::Start(ts(path));
	}
	TempDir dir;
	std::string path;
};

TEST_F(KillfileTest, PairsAreExactAndListedOnce)
{
	ASSERT_EQ(Killfile::Plonk("Troll", "troll@example.net"), ErrOkay);
	ASSERT_EQ(Killfile::Plonk("Troll", "troll@example.net"), ErrOkay);
	ASSERT_EQ(Killfile::Plonk("Troll", "other@example.net"), ErrOkay);
	EXPECT_EQ(Killfile::List().size(), 2u);
	EXPECT_TRUE(Killfile::IsPlonked("Troll", "troll@example.net"));
	EXPECT_TRUE(Killfile::IsPlonked(" Troll ", "troll@example.net"));
	EXPECT_FALSE(Killfile::IsPlonked("troll", "troll@example.net"));
	EXPECT_FALSE(Killfile::IsPlonked("Troll", "TROLL@example.net"));
	EXPECT_FALSE(Killfile::IsPlonked("Troll", ""));
	// Pairs that cannot be an entry are refused and leave the file alone.
	EXPECT_EQ(Killfile::Plonk("", "x@example.net"), ErrFileInvalidData);
	EXPECT_EQ(Killfile::Plonk("Name", "   "), ErrFileInvalidData);
	EXPECT_EQ(Killfile::Plonk(ts(std::string(1000, 'a')), "x@example.net"), ErrFileInvalidData);
	TString bad;
	bad.AllowInvalidSet(true);
	bad.AssignByte("bad \xff name", 10);
	EXPECT_EQ(Killfile::Plonk(bad, "x@example.net"), ErrFileInvalidData);
	EXPECT_EQ(Killfile::List().size(), 2u);

	long count = 0;
	ASSERT_EQ(Killfile::Remove("Troll", count), ErrOkay);
	EXPECT_EQ(count, 2);
	EXPECT_FALSE(Killfile::IsPlonked("Troll", "troll@example.net"));
	// The last entry gone, the file goes too.
	EXPECT_FALSE(TestSupport::Exists(path));
	ASSERT_EQ(Killfile::Remove("Nobody", count), ErrOkay);
	EXPECT_EQ(count, 0);
}

TEST_F(KillfileTest, EntriesExpireAfter180Days)
{
	long long made = TimeCore::TimeGet() - 180 * kDay + 3600 * 1000000LL;
	Killfile::NowSet(made);
	ASSERT_EQ(Killfile::Plonk("Old", "old@example.net"), ErrOkay);
	ASSERT_EQ(Killfile::Plonk("Older", "older@example.net"), ErrOkay);
	std::vector<Bozo> list = Killfile::List();
	ASSERT_EQ(list.size(), 2u);
	EXPECT_EQ(list[0].LengthGet(), 180 * kDay);
	// The file keeps the date to the minute: the entry holds until then, and is gone after.
	Killfile::NowSet(made + 180 * kDay - 120 * 1000000LL);
	EXPECT_TRUE(Killfile::IsPlonked("Old", "old@example.net"));
	Killfile::NowSet(made + 180 * kDay);
	EXPECT_FALSE(Killfile::IsPlonked("Old", "old@example.net"));
	// One microsecond before the end an entry holds; at the end it is gone.
	Bozo exact("A", "a@example.net");
	exact.DateSet(made);
	exact.LengthSet(180 * kDay);
	EXPECT_FALSE(exact.Expired(made + 180 * kDay - 1));
	EXPECT_TRUE(exact.Expired(made + 180 * kDay));
	// Expire drops them from the file too; a fresh entry stays.
	ASSERT_EQ(Killfile::Plonk("New", "new@example.net"), ErrOkay);
	ASSERT_EQ(Killfile::Expire(), ErrOkay);
	Killfile::NowSet(0);
	restart();
	list = Killfile::List();
	ASSERT_EQ(list.size(), 1u);
	EXPECT_EQ(list[0].Author(), "New");

	// An entry 180 days old in the file is dropped at start; one a day younger is kept.
	Bozo old("Ancient", "a@example.net"), young("Young", "y@example.net");
	old.DateSet(TimeCore::TimeGet() - 180 * kDay - 60 * 1000000LL);
	old.LengthSet(180 * kDay);
	young.DateSet(TimeCore::TimeGet() - 179 * kDay);
	young.LengthSet(180 * kDay);
	TString a, b;
	old.LineFormat(a);
	young.LineFormat(b);
	Killfile::Stop();
	WriteFile(path, std::string(a.String()) + "\n" + b.String() + "\n");
	Killfile::Start(ts(path));
	EXPECT_FALSE(Killfile::IsPlonked("Ancient", "a@example.net"));
	EXPECT_TRUE(Killfile::IsPlonked("Young", "y@example.net"));
}

TEST_F(KillfileTest, FileReadsBackAsWritten)
{
	const std::string tabbed = "Tab\there", slashed = "C:\\back\\tslash", umlaut = "Jürgen Müller 山田";
	ASSERT_EQ(Killfile::Plonk(ts(tabbed), "tab@example.net"), ErrOkay);
	ASSERT_EQ(Killfile::Plonk(ts(slashed), "slash@example.net"), ErrOkay);
	ASSERT_EQ(Killfile::Plonk(ts(umlaut), "jm@example.de"), ErrOkay);
	ASSERT_EQ(Killfile::Plonk("Tab", "here\ttab@example.net"), ErrOkay);
	std::string text = ReadFile(path);
	EXPECT_NE(text.find("Tab\\there\ttab@example.net\t"), std::string::npos) << text;
	restart();
	EXPECT_EQ(Killfile::List().size(), 4u);
	EXPECT_TRUE(Killfile::IsPlonked(ts(tabbed), "tab@example.net"));
	EXPECT_TRUE(Killfile::IsPlonked(ts(slashed), "slash@example.net"));
	EXPECT_TRUE(Killfile::IsPlonked(ts(umlaut), "jm@example.de"));
	EXPECT_TRUE(Killfile::IsPlonked("Tab", "here\ttab@example.net"));
	// The tab inside the name does not make another pair match.
	EXPECT_FALSE(Killfile::IsPlonked("Tab", "there\ttab@example.net"));
	EXPECT_FALSE(Killfile::IsPlonked("Tab\there", "TAB@example.net"));
}

TEST_F(KillfileTest, MalformedLinesAreDroppedAndDuplicatesMerged)
{
	Bozo good("Good", "good@example.net");
	good.DateSet(TimeCore::TimeGet());
	good.LengthSet(180 * kDay);
	TString line;
	good.LineFormat(line);
	std::string g(line.String());
	std::string date = g.substr(g.find('\t', g.find('\t') + 1) + 1);
	date = date.substr(0, date.find('\t'));
	WriteFile(path,
		g + "\n" + g + "\r\n" + "Three\tfields@example.net\t" + date + "\n" + "\tempty@example.net\t" + date +
			"\t180 days\n" + "Short\tshort@example.net\t" + date + "\t1 second\n" +
			"Runs\t\truns@example.net\t" + date + "\t\t2 days\n" + std::string(3000, 'x') + "\n" +
			"Bad\xff\tbad@example.net\t" + date + "\t2 days\n");
	restart();
	std::vector<Bozo> list = Killfile::List();
	ASSERT_EQ(list.size(), 2u);
	EXPECT_EQ(list[0].Author(), "Good");
	EXPECT_EQ(list[1].Author(), "Runs");

	// Handed a line that is not UTF-8 as it is, the parser refuses it (found by fuzzing).
	for (std::string bad : {"Bad\xC3\tbad@example.net\t", "Bad\tbad@example.net\xF0\x9F\t"}) {
		bad += date + "\t2 days";
		TString raw;
		raw.AllowInvalidSet(true);
		raw.AssignByte(bad.data(), static_cast<long>(bad.size()));
		Bozo parsed;
		EXPECT_FALSE(parsed.LineParse(raw));
	}
}

TEST_F(KillfileTest, ChangesOfAnotherProcessAreSeen)
{
	ASSERT_EQ(Killfile::Plonk("Mine", "mine@example.net"), ErrOkay);
	pid_t pid = fork();
	ASSERT_GE(pid, 0);
	if (pid == 0) {
		Killfile::Stop();
		Killfile::Start(ts(path));
		Error e = Killfile::Plonk("Theirs", "theirs@example.net");
		_exit(e == ErrOkay ? 0 : 1);
	}
	int status = 0;
	waitpid(pid, &status, 0);
	ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
	// Listing looks at the file; our own next change keeps the other's entry.
	EXPECT_EQ(Killfile::List().size(), 2u);
	ASSERT_EQ(Killfile::Plonk("Later", "later@example.net"), ErrOkay);
	restart();
	EXPECT_TRUE(Killfile::IsPlonked("Theirs", "theirs@example.net"));
	EXPECT_TRUE(Killfile::IsPlonked("Mine", "mine@example.net"));
	EXPECT_TRUE(Killfile::IsPlonked("Later", "later@example.net"));
}

TEST_F(KillfileTest, TwoProcessesPlonkingAtOnceLoseNothing)
{
	constexpr int kEach = 40;
	pid_t pids[2];
	for (int p = 0; p < 2; p++) {
		pids[p] = fork();
		ASSERT_GE(pids[p], 0);
		if (pids[p] == 0) {
			Killfile::Stop();
			Killfile::Start(ts(path));
			int failed = 0;
			for (int i = 0; i < kEach; i++) {
				std::string name = "Author " + std::to_string(p) + "-" + std::to_string(i);
				if (Killfile::Plonk(ts(name), ts("a" + std::to_string(i) + "@example.net")) != ErrOkay)
					failed++;
				if (i % 10 == 5) {
					long count = 0;
					Killfile::Remove(ts(name), count);
					if (count != 1)
						failed++;
				}
			}
			_exit(failed == 0 ? 0 : 1);
		}
	}
	for (pid_t pid : pids) {
		int status = 0;
		waitpid(pid, &status, 0);
		EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
	}
	restart();
	EXPECT_EQ(Killfile::List().size(), 2u * (kEach - kEach / 10));
	for (int p = 0; p < 2; p++)
		for (int i = 0; i < kEach; i++) {
			std::string name = "Author " + std::to_string(p) + "-" + std::to_string(i);
			EXPECT_EQ(
				Killfile::IsPlonked(ts(name), ts("a" + std::to_string(i) + "@example.net")), i % 10 != 5)
				<< name;
		}
}

}  // namespace
