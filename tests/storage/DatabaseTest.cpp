// The record store: exact file layout and sizes, the status letter on disk, refusal of bad
// keys and records, slot reuse, hash collisions, long random runs against a plain map, and
// damaged files (truncated or overwritten at every block edge) that are refused or reported,
// never trusted and never a crash.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "Database.h"
#include "TestSupport.h"

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

TString ts(const std::string& s)
{
	TString t;
	t.AllowInvalidSet(true);
	t.AssignByte(s.data(), static_cast<long>(s.size()));
	return t;
}

std::string str(const TString& t)
{
	return std::string(t.String(), static_cast<size_t>(t.ByteLength()));
}

std::string field(long v)
{
	char buf[16];
	std::snprintf(buf, sizeof buf, "%6ld", v);
	return buf;
}

std::string header(char status, long deleted, long live)
{
	return std::string("DB006") + status + field(deleted) + field(live) + "\n";
}

// A store at base with the given records, closed.
void build(const std::string& base, const std::vector<std::pair<std::string, std::string>>& records)
{
	Database db;
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	for (const auto& [k, v] : records)
		ASSERT_EQ(db.RecordAppend(ts(k), ts(v)), ErrOkay) << k;
	ASSERT_EQ(db.Close(), ErrOkay);
}

// Every live record by iteration; false when iteration reports anything but the end.
bool readAll(Database& db, std::map<std::string, std::string>& out, Error* err = nullptr)
{
	out.clear();
	TString k, v;
	Error e = db.Rewind();
	while (e == ErrOkay) {
		e = db.RecordNext(k, v);
		if (e == ErrOkay)
			out[str(k)] = str(v);
	}
	if (err)
		*err = e;
	return e == ErrFileEnd;
}

std::string msgid(unsigned n)
{
	return "<" + std::to_string(n * 7919u) + ".part" + std::to_string(n % 13) + "@news.example.org>";
}

}  // namespace

TEST(Database, NewStoreAndFirstRecordHaveTheExactLayout)
{
	TempDir dir;
	std::string base = dir.Sub("Cache");
	Database db;
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	EXPECT_TRUE(db.IsOpen());
	TString path;
	EXPECT_EQ(db.PathGet(path), ErrOkay);
	EXPECT_EQ(str(path), base);
	ASSERT_EQ(db.Close(), ErrOkay);

	std::string index = ReadFile(base + ".didx");
	ASSERT_EQ(index.size(), 1868u);
	EXPECT_EQ(index.substr(0, 19), header('C', 0, 0));
	for (long b = 0; b < 308; ++b)
		EXPECT_EQ(index.substr(19 + 6 * b, 6), "     0");
	EXPECT_EQ(index[1867], '\n');
	EXPECT_TRUE(TestSupport::Exists(base + ".ddat"));
	EXPECT_EQ(ReadFile(base + ".ddat").size(), 0u);
	EXPECT_EQ(Database::Exists(ts(base)), ErrOkay);

	// One record: the status letter reaches the disk before the record does.
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	ASSERT_EQ(db.RecordAppend(ts("<a@b>"), ts("hello world")), ErrOkay);
	EXPECT_EQ(ReadFile(base + ".didx")[5], 'D');
	EXPECT_EQ(db.StateGet().status, Database::StatusDirty);
	EXPECT_EQ(db.RecordCount(), 1);
	ASSERT_EQ(db.Close(), ErrOkay);

	index = ReadFile(base + ".didx");
	ASSERT_EQ(index.size(), 2281u);
	EXPECT_EQ(index.substr(0, 19), header('C', 0, 1));
	unsigned long bucket = Database::Hash("<a@b>", 5);
	EXPECT_EQ(index.substr(25 + 6 * bucket, 6), "     1");
	std::string rec = index.substr(1868);
	EXPECT_EQ(rec, "     0    11<a@b>" + std::string(412 - 17, ' ') + "\n");
	std::string data = ReadFile(base + ".ddat");
	ASSERT_EQ(data.size(), 4096u);
	EXPECT_EQ(data, "hello world" + std::string(4096 - 11, ' '));

	EXPECT_EQ(Database::Remove(ts(base)), ErrOkay);
	EXPECT_FALSE(TestSupport::Exists(base + ".didx"));
	EXPECT_FALSE(TestSupport::Exists(base + ".ddat"));
	EXPECT_EQ(Database::Exists(ts(base)), ErrFileNotFound);
	EXPECT_EQ(Database::Remove(ts(base)), ErrFileNotFound);
}

TEST(Database, DeletedSlotIsReusedAndItsBlockEmptied)
{
	TempDir dir;
	std::string base = dir.Sub("Cache");
	build(base, {{"<1@x>", "first"}, {"<2@x>", "second"}, {"<3@x>", "third"}});
	Database db;
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	// Missing and existing keys are answers, not failures: nothing is marked.
	EXPECT_EQ(db.RecordAppend(ts("<1@x>"), ts("again")), ErrGmCommandFailed);
	EXPECT_EQ(db.RecordReplace(ts("<9@x>"), ts("r")), ErrGmCommandFailed);
	EXPECT_EQ(db.RecordDelete(ts("<9@x>")), ErrGmCommandFailed);
	EXPECT_EQ(ReadFile(base + ".didx")[5], 'C');
	ASSERT_EQ(db.RecordDelete(ts("<2@x>")), ErrOkay);
	ASSERT_EQ(db.Close(), ErrOkay);
	TString none;
	EXPECT_EQ(db.RecordFind(ts("<1@x>"), none), ErrFileNotOpen);
	EXPECT_EQ(db.Close(), ErrFileNotOpen);

	std::string index = ReadFile(base + ".didx");
	ASSERT_EQ(index.size(), 1868u + 3 * 413);
	EXPECT_EQ(index.substr(0, 19), header('C', 1, 2));
	EXPECT_EQ(index.substr(19, 6), "     2");  // head of the deleted chain
	EXPECT_EQ(index.substr(1868 + 413, 413),
		"     0     5" + std::string(Database::sDeleted, Database::kDeletedLen) +
			std::string(400 - Database::kDeletedLen, ' ') + "\n");
	std::string data = ReadFile(base + ".ddat");
	EXPECT_EQ(data.substr(4096, 4096), "empty" + std::string(4091, ' '));

	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	TString v;
	EXPECT_EQ(db.RecordFind(ts("<2@x>"), v), ErrGmCommandFailed);
	ASSERT_EQ(db.RecordAppend(ts("<4@x>"), ts("fourth")), ErrOkay);
	EXPECT_EQ(db.DeletedCount(), 0);
	ASSERT_EQ(db.Close(), ErrOkay);
	EXPECT_EQ(ReadFile(base + ".didx").size(), 1868u + 3 * 413);
	EXPECT_EQ(ReadFile(base + ".ddat").size(), 3u * 4096);
	EXPECT_EQ(ReadFile(base + ".didx").substr(0, 25), header('C', 0, 3) + "     0");

	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	std::map<std::string, std::string> all;
	ASSERT_TRUE(readAll(db, all));
	EXPECT_EQ(all,
		(std::map<std::string, std::string>{{"<1@x>", "first"}, {"<3@x>", "third"}, {"<4@x>", "fourth"}}));
	// Slot order: the reused slot comes second.
	TString k;
	ASSERT_EQ(db.Rewind(), ErrOkay);
	ASSERT_EQ(db.RecordNext(k, v), ErrOkay);
	ASSERT_EQ(db.RecordNext(k, v), ErrOkay);
	EXPECT_EQ(str(k), "<4@x>");
	ASSERT_EQ(db.Close(), ErrOkay);
}

TEST(Database, BadKeysAndRecordsAreRefusedAndChangesMarkTheStoreInvalid)
{
	TempDir dir;
	std::string base = dir.Sub("Cache");
	build(base, {{"<a@b>", "one"}});
	const std::vector<std::string> badKeys = {"", std::string(401, 'k'), " <a@b>", "<a@b> ", "<a@b>\t",
		"\n<a@b>", std::string(Database::sDeleted, Database::kDeletedLen)};

	Database db;
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	TString v;
	for (const auto& k : badKeys)
		EXPECT_EQ(db.RecordFind(ts(k), v), ErrFileInvalidData) << k;
	// Lookups with bad keys leave the store usable.
	EXPECT_EQ(db.RecordAppend(ts(std::string(400, 'k')), ts(std::string(4096, 'r'))), ErrOkay);
	EXPECT_EQ(db.RecordFind(ts(std::string(400, 'k')), v), ErrOkay);
	EXPECT_EQ(v.ByteLength(), 4096);
	EXPECT_EQ(db.RecordAppend(ts("<in side@b>"), ts("a key may hold inner spaces")), ErrOkay);
	ASSERT_EQ(db.Close(), ErrOkay);
	std::string indexBefore = ReadFile(base + ".didx");
	std::string dataBefore = ReadFile(base + ".ddat");

	// A too long record is refused before anything of it is written, and the store is
	// marked invalid: later changes fail and the next open refuses it.
	struct Bad {
		std::string key, data;
		int op;  // 0 append, 1 replace, 2 delete
	};
	const std::vector<Bad> cases = {{std::string(401, 'k'), "x", 0}, {"<new@b>", std::string(4097, 'r'), 0},
		{"<a@b>", std::string(4097, 'r'), 1}, {" <a@b>", "x", 1}, {"<a@b> ", "", 2}};
	for (const auto& c : cases) {
		ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
		Error e = c.op == 0 ? db.RecordAppend(ts(c.key), ts(c.data))
			: c.op == 1     ? db.RecordReplace(ts(c.key), ts(c.data))
							: db.RecordDelete(ts(c.key));
		EXPECT_EQ(e, ErrFileInvalidData);
		EXPECT_EQ(db.StateGet().status, Database::StatusInvalid);
		EXPECT_EQ(db.RecordAppend(ts("<later@b>"), ts("x")), ErrFileInvalidData);
		EXPECT_EQ(db.RecordFind(ts("<a@b>"), v), ErrOkay);  // reading still works
		EXPECT_EQ(db.Close(), ErrOkay);
		std::string index = ReadFile(base + ".didx");
		EXPECT_EQ(index[5], 'I');
		EXPECT_EQ(index.substr(6), indexBefore.substr(6));
		EXPECT_EQ(ReadFile(base + ".ddat"), dataBefore);
		EXPECT_EQ(db.Open(ts(base), 0), ErrFileInvalidData);
		EXPECT_FALSE(db.IsOpen());
		WriteFile(base + ".didx", indexBefore);
	}
}

TEST(Database, StoresNotClosedOrWithWrongSizesAreRefused)
{
	TempDir dir;
	std::string base = dir.Sub("Cache");
	build(base, {{"<a@b>", "one"}, {"<c@d>", "two"}});
	const std::string index = ReadFile(base + ".didx");
	const std::string data = ReadFile(base + ".ddat");
	Database db;

	auto refused = [&](const std::string& i, const std::string& d) {
		WriteFile(base + ".didx", i);
		WriteFile(base + ".ddat", d);
		Error e = db.Open(ts(base), 0);
		bool ok = e == ErrFileInvalidData && !db.IsOpen();
		// Nothing was written by the refused open.
		ok = ok && ReadFile(base + ".didx") == i && ReadFile(base + ".ddat") == d;
		WriteFile(base + ".didx", index);
		WriteFile(base + ".ddat", data);
		return ok;
	};
	for (char status : {'D', 'I', 'c', 'X'}) {
		std::string i = index;
		i[5] = status;
		EXPECT_TRUE(refused(i, data)) << status;
	}
	EXPECT_TRUE(refused(header('C', 0, 3) + index.substr(19), data));  // counts disagree
	EXPECT_TRUE(refused(header('C', 2, 1) + index.substr(19), data));
	EXPECT_TRUE(refused("DB006C    -1     3\n" + index.substr(19), data));
	EXPECT_TRUE(refused("DB006C 30000 30001\n" + index.substr(19), data));  // over 60000
	EXPECT_TRUE(refused("DB006C     0    2x\n" + index.substr(19), data));
	EXPECT_TRUE(refused("DB005C     0     2\n" + index.substr(19), data));
	EXPECT_TRUE(refused(index.substr(0, 18) + " " + index.substr(19), data));
	EXPECT_TRUE(refused(index + " ", data));
	EXPECT_TRUE(refused(index, data + " "));
	EXPECT_TRUE(refused("", data));  // an empty index beside data blocks
	// A damaged hash table is refused at open too.
	std::string t = index;
	t[19 + 6 * 100] = 'z';
	EXPECT_TRUE(refused(t, data));
	t = index;
	t.replace(19 + 6 * 100, 6, "     9");  // past the last record
	EXPECT_TRUE(refused(t, data));

	// A refused open of a path whose data file is missing leaves no new file behind.
	WriteFile(base + ".didx", header('C', 0, 1) + index.substr(19, 1849) + index.substr(1868, 413));
	::unlink((base + ".ddat").c_str());
	EXPECT_EQ(db.Open(ts(base), 0), ErrFileInvalidData);
	EXPECT_FALSE(TestSupport::Exists(base + ".ddat"));
}

TEST(Database, FullStoreRefusesAppendsButStaysValid)
{
	// Sparse files of the full size: a clean store of 60000 live records whose chains are
	// all empty, so nothing but the count is ever read.
	TempDir dir;
	std::string base = dir.Sub("Cache");
	std::string table;
	for (int i = 0; i < 308; ++i)
		table += "     0";
	WriteFile(base + ".didx", header('C', 0, 60000) + table + "\n");
	ASSERT_EQ(::truncate((base + ".didx").c_str(), 1868 + 413LL * 60000), 0);
	WriteFile(base + ".ddat", "");
	ASSERT_EQ(::truncate((base + ".ddat").c_str(), 4096LL * 60000), 0);
	Database db;
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	EXPECT_EQ(db.RecordAppend(ts("<a@b>"), ts("x")), ErrFileFull);
	EXPECT_EQ(db.StateGet().status, Database::StatusClean);
	ASSERT_EQ(db.Close(), ErrOkay);
	EXPECT_EQ(db.Open(ts(base), 0), ErrOkay);
}

TEST(Database, RandomRunsAgreeWithAMap)
{
	TempDir dir;
	std::string base = dir.Sub("Cache");
	// A fixed seed, so that a failing run can be repeated.
	std::mt19937 rng(20261206);  // NOLINT(cert-msc51-cpp)
	std::map<std::string, std::string> model;
	std::vector<std::string> keys;
	for (unsigned n = 0; n < 700; ++n)
		keys.push_back(msgid(n));
	keys.push_back("<\xC3\xA9t\xE9@bytes>");  // not UTF-8
	keys.push_back(std::string(400, 'L'));
	auto value = [&](const std::string& k) {
		std::string v = k + "\n" + std::to_string(rng()) + "\n";
		v.append(rng() % 600, static_cast<char>('a' + rng() % 26));
		if (rng() % 50 == 0)
			v = std::string(4096, 'F');
		else if (rng() % 50 == 0)
			v = "";
		else if (rng() % 50 == 0)
			v += "  trailing spaces  ";
		return v;
	};

	Database db;
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	for (int round = 0; round < 8; ++round) {
		for (int step = 0; step < 600; ++step) {
			const std::string& k = keys[rng() % keys.size()];
			bool present = model.count(k) > 0;
			TString got;
			switch (rng() % 4) {
			case 0: {
				std::string v = value(k);
				ASSERT_EQ(db.RecordAppend(ts(k), ts(v)), present ? ErrGmCommandFailed : ErrOkay);
				if (!present)
					model[k] = v;
				break;
			}
			case 1: {
				std::string v = value(k);
				ASSERT_EQ(db.RecordReplace(ts(k), ts(v)), present ? ErrOkay : ErrGmCommandFailed);
				if (present)
					model[k] = v;
				break;
			}
			case 2:
				ASSERT_EQ(db.RecordDelete(ts(k)), present ? ErrOkay : ErrGmCommandFailed);
				model.erase(k);
				break;
			default:
				ASSERT_EQ(db.RecordFind(ts(k), got), present ? ErrOkay : ErrGmCommandFailed);
				if (present) {
					ASSERT_EQ(str(got), model[k]);
				}
				break;
			}
		}
		ASSERT_EQ(db.RecordCount(), static_cast<long>(model.size()));
		ASSERT_EQ(db.Close(), ErrOkay);
		// After each close the files agree with the counts and the store opens clean.
		long total = static_cast<long>(ReadFile(base + ".ddat").size() / 4096);
		ASSERT_EQ(ReadFile(base + ".didx").size(), static_cast<size_t>(1868 + 413 * total));
		ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
		ASSERT_EQ(db.Verify(), ErrOkay);
		ASSERT_EQ(db.RecordCount() + db.DeletedCount(), total);
		// Lookups between two steps of an iteration do not disturb it.
		std::map<std::string, std::string> seen;
		TString k, v, w;
		ASSERT_EQ(db.Rewind(), ErrOkay);
		while (db.RecordNext(k, v) == ErrOkay) {
			seen[str(k)] = str(v);
			const std::string& other = keys[rng() % keys.size()];
			ASSERT_EQ(db.RecordFind(ts(other), w), model.count(other) ? ErrOkay : ErrGmCommandFailed);
		}
		ASSERT_EQ(seen, model);
	}
	ASSERT_EQ(db.Initialize(), ErrOkay);
	TString v;
	EXPECT_EQ(db.RecordFind(ts(keys[0]), v), ErrGmCommandFailed);
	EXPECT_EQ(db.RecordCount(), 0);
	ASSERT_EQ(db.RecordAppend(ts(keys[0]), ts("again")), ErrOkay);
	ASSERT_EQ(db.Close(), ErrOkay);
	EXPECT_EQ(ReadFile(base + ".didx").size(), 2281u);
	EXPECT_EQ(ReadFile(base + ".ddat").size(), 4096u);
}

TEST(Database, DamagedFilesAreRefusedOrReportedNeverTrusted)
{
	TempDir dir;
	std::string base = dir.Sub("Cache");
	std::vector<std::pair<std::string, std::string>> records;
	for (unsigned n = 0; n < 40; ++n)
		records.push_back({msgid(n), "record " + std::to_string(n)});
	build(base, records);
	{
		Database db;
		ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
		for (unsigned n = 0; n < 40; n += 3)
			ASSERT_EQ(db.RecordDelete(ts(msgid(n))), ErrOkay);
		ASSERT_EQ(db.Close(), ErrOkay);
	}
	const std::string index = ReadFile(base + ".didx");
	const std::string data = ReadFile(base + ".ddat");
	std::map<std::string, std::string> model;
	for (unsigned n = 0; n < 40; ++n)
		if (n % 3 != 0)
			model[msgid(n)] = "record " + std::to_string(n);

	// Every lookup and the iteration either agree with the model or report damage; once
	// damage is reported the next open refuses the store.
	auto probe = [&](const char* what, size_t at, bool strict) {
		SCOPED_TRACE(std::string(what) + " at " + std::to_string(at));
		Database db;
		Error e = db.Open(ts(base), 0);
		if (e != ErrOkay) {
			EXPECT_EQ(e, ErrFileInvalidData);
			return true;
		}
		bool reported = false;
		TString v;
		for (unsigned n = 0; n < 40; ++n) {
			e = db.RecordFind(ts(msgid(n)), v);
			if (e == ErrFileInvalidData) {
				reported = true;
			} else if (e == ErrOkay && strict) {
				EXPECT_EQ(model[msgid(n)], str(v));
			} else if (e != ErrOkay) {
				EXPECT_EQ(e, ErrGmCommandFailed);
			}
		}
		std::map<std::string, std::string> all;
		Error end;
		if (!readAll(db, all, &end)) {
			EXPECT_EQ(end, ErrFileInvalidData);
			reported = true;
		}
		db.Close();
		if (reported) {
			EXPECT_EQ(db.Open(ts(base), 0), ErrFileInvalidData);
		}
		return reported;
	};

	// Truncated at every block edge and at the edges of the header and table.
	std::vector<size_t> cuts = {0, 1, 18, 19, 1867, 1868, 1868 + 413};
	for (size_t at = 4096; at < index.size(); at += 4096)
		cuts.push_back(at);
	for (size_t at : cuts) {
		WriteFile(base + ".didx", index.substr(0, at));
		WriteFile(base + ".ddat", data);
		Database db;
		EXPECT_EQ(db.Open(ts(base), 0), ErrFileInvalidData) << "index cut at " << at;
	}
	for (size_t at = 0; at < data.size(); at += 4096) {
		WriteFile(base + ".didx", index);
		for (size_t cut : {at, at + 1}) {
			WriteFile(base + ".ddat", data.substr(0, cut));
			Database db;
			EXPECT_EQ(db.Open(ts(base), 0), ErrFileInvalidData) << "data cut at " << cut;
		}
	}

	// Zero bytes written over every block edge and every index record are never read as a
	// record: the open refuses them, or a lookup or the iteration reports them.
	std::vector<size_t> spots = {0, 6, 12, 18, 19, 25, 1860};
	for (size_t at = 4096; at < index.size(); at += 4096)
		spots.push_back(at - 4);
	for (size_t at = 1868; at < index.size(); at += 413)
		spots.push_back(at);
	for (size_t at : spots) {
		std::string i = index;
		for (size_t j = at; j < at + 8 && j < i.size(); ++j)
			i[j] = 0;
		WriteFile(base + ".didx", i);
		WriteFile(base + ".ddat", data);
		EXPECT_TRUE(probe("index zeros", at, true));
	}
	for (size_t at = 0; at < data.size(); at += 4096) {
		std::string d = data;
		d[at + 4095] = 0;
		WriteFile(base + ".didx", index);
		WriteFile(base + ".ddat", d);
		probe("data zero", at, true);
	}
	// Arbitrary bytes over the same places may change a record undetectably (a length field,
	// say), but never crash or make the store unreadable to its owner.
	for (size_t at : spots) {
		for (char c : {'9', '\xFF'}) {
			std::string i = index;
			for (size_t j = at; j < at + 6 && j < i.size(); ++j)
				i[j] = c;
			WriteFile(base + ".didx", i);
			WriteFile(base + ".ddat", data);
			probe("index bytes", at, false);
		}
	}
}

// What a store keeps in memory from one open to the next is used only while the files are
// unchanged: another process, or another program writing the same bytes, is always seen.
TEST(Database, MemoryKeptBetweenOpensNeverHidesAnotherWriter)
{
	TempDir dir;
	std::string base = dir.Sub("Cache");
	std::map<std::string, std::string> model;
	std::vector<std::pair<std::string, std::string>> records;
	for (unsigned n = 0; n < 300; ++n) {
		records.push_back({msgid(n), "record " + std::to_string(n)});
		model[msgid(n)] = "record " + std::to_string(n);
	}
	build(base, records);

	// Turns about: this process and a child change the store in quick succession, each
	// checking what the other did, so that many changes fall within one tick of the clock.
	Database db;
	for (unsigned round = 0; round < 12; ++round) {
		std::string mine = msgid(1000 + round), theirs = msgid(2000 + round);
		std::string changed = msgid(round * 7), gone = msgid(round * 7 + 1);
		ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
		ASSERT_EQ(db.RecordAppend(ts(mine), ts("mine")), ErrOkay);
		ASSERT_EQ(db.Close(), ErrOkay);
		pid_t child = fork();
		ASSERT_GE(child, 0);
		if (child == 0) {
			Database other;
			TString v;
			bool ok = other.Open(ts(base), 0) == ErrOkay && other.RecordFind(ts(mine), v) == ErrOkay &&
				str(v) == "mine" && other.RecordAppend(ts(theirs), ts("theirs")) == ErrOkay &&
				other.RecordReplace(ts(changed), ts("a longer record than before")) == ErrOkay &&
				other.RecordDelete(ts(gone)) == ErrOkay;
			ok = other.Close() == ErrOkay && ok;
			_exit(ok ? 0 : 1);
		}
		int status = 0;
		ASSERT_EQ(waitpid(child, &status, 0), child);
		ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << round;
		model[mine] = "mine";
		model[theirs] = "theirs";
		model[changed] = "a longer record than before";
		model.erase(gone);

		ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
		TString v;
		EXPECT_EQ(db.RecordFind(ts(theirs), v), ErrOkay) << round;
		EXPECT_EQ(db.RecordFind(ts(changed), v), ErrOkay) << round;
		EXPECT_EQ(str(v), "a longer record than before") << round;
		EXPECT_EQ(db.RecordFind(ts(gone), v), ErrGmCommandFailed) << round;
		// Appending a key the other process added is refused, not doubled.
		EXPECT_EQ(db.RecordAppend(ts(theirs), ts("again")), ErrGmCommandFailed) << round;
		std::map<std::string, std::string> all;
		ASSERT_TRUE(readAll(db, all));
		EXPECT_EQ(all, model) << round;
		ASSERT_EQ(db.Close(), ErrOkay);
	}

	// Any write after a close changes the index file's time stamp, even one at once and of
	// the same bytes, so that the kept memory is dropped.
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	ASSERT_EQ(db.RecordReplace(ts(msgid(2)), ts("written")), ErrOkay);
	ASSERT_EQ(db.Close(), ErrOkay);
	struct stat before, after;
	ASSERT_EQ(::stat((base + ".didx").c_str(), &before), 0);
	int fd = ::open((base + ".didx").c_str(), O_WRONLY);
	ASSERT_GE(fd, 0);
	ASSERT_EQ(::pwrite(fd, "D", 1, 5), 1);
	ASSERT_EQ(::pwrite(fd, "C", 1, 5), 1);
	::close(fd);
	ASSERT_EQ(::stat((base + ".didx").c_str(), &after), 0);
	EXPECT_FALSE(
		before.st_mtim.tv_sec == after.st_mtim.tv_sec && before.st_mtim.tv_nsec == after.st_mtim.tv_nsec);

	// Another program that rewrites the index with a record's length changed (same size,
	// same counts, same chain heads) is read afresh: the record comes back shortened.
	std::string index = ReadFile(base + ".didx");
	std::string key = msgid(3);
	size_t at = index.find(key);
	ASSERT_NE(at, std::string::npos);
	ASSERT_EQ(index.substr(at - 6, 6), field(8));  // "record 3"
	index.replace(at - 6, 6, field(6));
	WriteFile(base + ".didx", index);
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	TString v;
	ASSERT_EQ(db.RecordFind(ts(key), v), ErrOkay);
	EXPECT_EQ(str(v), "record");
	ASSERT_EQ(db.Close(), ErrOkay);

	// A store removed and made again under the same name starts empty.
	ASSERT_EQ(Database::Remove(ts(base)), ErrOkay);
	ASSERT_EQ(db.Open(ts(base), 0), ErrOkay);
	EXPECT_EQ(db.RecordFind(ts(key), v), ErrGmCommandFailed);
	EXPECT_EQ(db.RecordCount(), 0);
	ASSERT_EQ(db.Close(), ErrOkay);
}
