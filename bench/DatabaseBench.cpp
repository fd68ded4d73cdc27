// The record store against SQLite on the same work: 60,000 cache records built from generated
// headers are appended, each found by message-id, 10% replaced, 10% deleted and the rest read
// back in order. Every step opens the store, does its work and closes it again, as the message
// store does. SQLite holds a table keyed by message-id, runs each step in one transaction with
// synchronous off, and is closed as well. A last step follows the message store's insertion:
// a store of 20,000 records is opened, given 10 more and closed, a hundred times over.
// Each side is handed its input in its own string type, made before the timing starts.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "CSet.h"
#include "Database.h"
#include "HeadersNode.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kRecords = 60000;
constexpr size_t kTenth = kRecords / 10;
// The insertion pattern: a store of this many records gets kBatch more per open, kBatches times.
constexpr size_t kBatchBase = 20000;
constexpr size_t kBatch = 10;
constexpr size_t kBatches = 100;

struct Work {
	std::vector<std::string> keys;
	std::vector<std::string> records;
	std::vector<std::string> changed;  // new text for the replaced tenth
	std::vector<size_t> findOrder;
	std::vector<size_t> replaced;
	std::vector<size_t> deleted;
	// The same texts as the store's own strings.
	std::vector<TString> tkeys;
	std::vector<TString> trecords;
	std::vector<TString> tchanged;
	fs::path dir;
};

const char* const kFirst[] = {"Anna", "Bert", "Carla", "Dmitri", "Eve", "Fritz", "Gwen", "Hiro", "Ines",
	"Jules", "Käthe", "Lars", "Marta", "Nils", "Olga", "Pål", "Quentin", "Rosa", "Søren", "Teodor"};
const char* const kLast[] = {"Andersson", "Brückner", "Castillo", "Dubois", "Eriksen", "Fontaine", "García",
	"Hoffmann", "Ivanov", "Jansen", "Kowalski", "Lindqvist", "Moreau", "Novak", "O'Brien", "Petrov"};
const char* const kGroups[] = {"comp.lang.c++", "comp.os.linux.misc", "alt.binaries.pictures.misc",
	"de.comp.lang.c", "rec.arts.books", "sci.physics", "news.software.readers", "alt.folklore.computers"};
const char* const kWords[] = {"question", "about", "the", "new", "release", "problem", "with", "kernel",
	"compiler", "build", "fails", "on", "ARM", "Re:", "thoughts", "memory", "leak", "solved", "[OT]",
	"weekend", "trip", "photos", "part", "manual", "update", "strange", "behaviour", "after", "upgrade"};
const char* const kAgents[] = {"Quillfern News 0.1", "tin/2.6.2 (UNIX) (Linux/6.1.0 (x86_64))",
	"Mozilla/5.0 (X11; Linux x86_64; rv:115.0) Gecko/20100101 Thunderbird/115.5.0", "slrn/1.0.3 (Linux)",
	"Forte Agent 8.00/32.1186", "Gnus/5.13 (Gnus v5.13)"};
const char* const kCharsets[] = {"UTF-8", "ISO-8859-1", "ISO-8859-15", "US-ASCII", "windows-1252"};

template <size_t N> const char* pick(const char* const (&list)[N], std::mt19937& rng)
{
	return list[rng() % N];
}

std::string messageId(std::mt19937& rng, size_t n)
{
	static const char* const hosts[] = {"news.example.org", "individual.net", "mid.eternal-september.org",
		"posting.google.com", "reader01.news.example.de"};
	char buf[160];
	std::snprintf(buf, sizeof buf, "<%08x%04x.%zu$%x@%s>", static_cast<unsigned>(rng()),
		static_cast<unsigned>(rng() & 0xFFFF), n, static_cast<unsigned>(rng() & 0xFFF), pick(hosts, rng));
	return buf;
}

TString utf8(const std::string& s)
{
	TString t;
	t.AssignByte(s.data(), static_cast<long>(s.size()));
	return t;
}

// The cache record of one generated message, written by the header node as the message store
// writes it: state letters, charset, date, lines, author, address, file, newsgroups, subject,
// agent, attachment id, part n/m and the references.
std::string cacheRecord(std::mt19937& rng, const std::string& msgid, const std::vector<std::string>& earlier)
{
	std::string first = pick(kFirst, rng), last = pick(kLast, rng);
	std::string subject;
	bool reply = !earlier.empty() && rng() % 3 != 0;
	if (reply)
		subject = "Re: ";
	for (unsigned w = 0, n = 3 + rng() % 8; w < n; ++w)
		subject += std::string(w ? " " : "") + pick(kWords, rng);
	bool binary = rng() % 10 == 0;
	char md5[40];
	std::snprintf(md5, sizeof md5, "%08x%08x%08x%08x", static_cast<unsigned>(rng()),
		static_cast<unsigned>(rng()), static_cast<unsigned>(rng()), static_cast<unsigned>(rng()));

	HeadersNodePtr node = HeadersNode::initWithMsgID(utf8(msgid));
	node->fData.type = MessageTypeUsenet;
	node->fData.state = rng() % 4 ? MessageStateHeaders : MessageStateComplete;
	node->fData.attach = binary ? MessageAttachFirst : MessageAttachNone;
	node->fData.read = rng() % 3 ? MessageReadUnread : MessageReadRead;
	node->fData.download = rng() % 20 ? MessageDownloadNone : MessageDownloadMarked;
	node->fCharset = CSet::Value(pick(kCharsets, rng));
	node->fDateTime = 1700000000000000LL + static_cast<long long>(rng()) * 1000;
	node->fLines = static_cast<int32_t>(5 + rng() % 400);
	node->fAuthor = utf8(first + " " + last);
	node->fEmail = utf8(first + "." + last + "@" + (rng() % 2 ? "example.com" : "mail.example.net"));
	node->fFilename = utf8(std::string(md5) + ".msg");
	node->fNewsgroupsTo =
		utf8(std::string(pick(kGroups, rng)) + (rng() % 5 ? "" : std::string(",") + pick(kGroups, rng)));
	node->fSubject = utf8(subject);
	node->fUserAgent = utf8(pick(kAgents, rng));
	if (binary) {
		node->fPartTotal = static_cast<int32_t>(2 + rng() % 30);
		node->fPartNumber = static_cast<int32_t>(1 + rng() % static_cast<unsigned>(node->fPartTotal));
		node->fAttachID = utf8(std::string(md5).substr(0, 16));
	}
	if (reply) {
		// References: a thread of up to 12 earlier messages, oldest first.
		for (size_t i = 0, depth = 1 + rng() % 12; i < depth; ++i)
			node->fRefList.push_back(utf8(earlier[rng() % earlier.size()]));
	}
	TString text;
	node->stringWrite(text);
	return std::string(text.String(), static_cast<size_t>(text.ByteLength()));
}

TString ts(const std::string& s)
{
	TString t;
	t.AllowInvalidSet(true);
	t.AssignByte(s.data(), static_cast<long>(s.size()));
	return t;
}

// Removes the scratch folder at exit.
struct Cleanup {
	fs::path dir;
	~Cleanup()
	{
		std::error_code ec;
		if (!dir.empty())
			fs::remove_all(dir, ec);
	}
} sCleanup;

Work& work()
{
	static Work w = [] {
		Work w;
		std::mt19937 rng(13);  // NOLINT(cert-msc51-cpp): the same data every run
		for (size_t n = 0; n < kRecords; ++n) {
			std::string id = messageId(rng, n);
			w.records.push_back(cacheRecord(rng, id, w.keys));
			w.keys.push_back(id);
		}
		for (size_t n = 0; n < kTenth; ++n)
			w.changed.push_back(cacheRecord(rng, w.keys[w.changed.size()], w.keys));
		std::vector<size_t> order(kRecords);
		for (size_t i = 0; i < kRecords; ++i)
			order[i] = i;
		std::shuffle(order.begin(), order.end(), rng);
		w.findOrder = order;
		std::shuffle(order.begin(), order.end(), rng);
		w.replaced.assign(order.begin(), order.begin() + kTenth);
		w.deleted.assign(order.begin() + kTenth, order.begin() + 2 * kTenth);
		for (const std::string& k : w.keys)
			w.tkeys.push_back(ts(k));
		for (const std::string& r : w.records)
			w.trecords.push_back(ts(r));
		for (const std::string& r : w.changed)
			w.tchanged.push_back(ts(r));
		const char* tmp = getenv("TMPDIR");
		std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qf-dbbench-XXXXXX";
		if (!mkdtemp(templ.data()))
			std::abort();
		w.dir = templ;
		sCleanup.dir = w.dir;
		return w;
	}();
	return w;
}

void fail(benchmark::State& state, const char* what)
{
	state.SkipWithError(what);
}

// ---- the record store ----

fs::path ourBase(const char* name)
{
	return work().dir / name;
}

void ourRemove(const fs::path& base)
{
	Database::Remove(ts(base.string()));
}

void ourCopy(const fs::path& from, const fs::path& to)
{
	for (const char* ext : {".didx", ".ddat"})
		fs::copy_file(from.string() + ext, to.string() + ext, fs::copy_options::overwrite_existing);
}

bool ourAppend(const fs::path& base, size_t first, size_t count)
{
	Work& w = work();
	Database db;
	bool ok = db.Open(ts(base.string()), 0) == ErrOkay;
	for (size_t i = first; ok && i < first + count; ++i)
		ok = db.RecordAppend(w.tkeys[i], w.trecords[i]) == ErrOkay;
	return db.Close() == ErrOkay && ok;
}

bool ourChange(const fs::path& base, bool replace, bool remove)
{
	Work& w = work();
	Database db;
	bool ok = db.Open(ts(base.string()), 0) == ErrOkay;
	for (size_t i = 0; ok && replace && i < kTenth; ++i)
		ok = db.RecordReplace(w.tkeys[w.replaced[i]], w.tchanged[i]) == ErrOkay;
	for (size_t i = 0; ok && remove && i < kTenth; ++i)
		ok = db.RecordDelete(w.tkeys[w.deleted[i]]) == ErrOkay;
	return db.Close() == ErrOkay && ok;
}

const fs::path& ourAppended()
{
	static fs::path base = [] {
		fs::path b = ourBase("appended");
		ourRemove(b);
		if (!ourAppend(b, 0, kRecords))
			std::abort();
		return b;
	}();
	return base;
}

const fs::path& ourBatchBase()
{
	static fs::path base = [] {
		fs::path b = ourBase("batchbase");
		ourRemove(b);
		if (!ourAppend(b, 0, kBatchBase))
			std::abort();
		return b;
	}();
	return base;
}

const fs::path& ourChanged()
{
	static fs::path base = [] {
		fs::path b = ourBase("changed");
		ourCopy(ourAppended(), b);
		if (!ourChange(b, true, true))
			std::abort();
		return b;
	}();
	return base;
}

double ourBytes(const fs::path& base)
{
	return static_cast<double>(
		fs::file_size(base.string() + ".didx") + fs::file_size(base.string() + ".ddat"));
}

// ---- SQLite ----

sqlite3* liteOpen(const fs::path& file)
{
	sqlite3* db = nullptr;
	if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
		sqlite3_close(db);
		return nullptr;
	}
	sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
	sqlite3_exec(db,
		"CREATE TABLE IF NOT EXISTS cache (msgid TEXT PRIMARY KEY NOT NULL, record TEXT NOT NULL)", nullptr,
		nullptr, nullptr);
	sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
	return db;
}

bool liteClose(sqlite3* db, bool ok)
{
	if (!db)
		return false;
	ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
	return sqlite3_close(db) == SQLITE_OK && ok;
}

bool liteRun(sqlite3_stmt* st, const std::string& a, const std::string* b)
{
	sqlite3_bind_text(st, 1, a.data(), static_cast<int>(a.size()), SQLITE_STATIC);
	if (b)
		sqlite3_bind_text(st, 2, b->data(), static_cast<int>(b->size()), SQLITE_STATIC);
	bool ok = sqlite3_step(st) == SQLITE_DONE;
	sqlite3_reset(st);
	return ok && sqlite3_changes(sqlite3_db_handle(st)) == 1;
}

bool liteAppend(const fs::path& file, size_t first, size_t count)
{
	Work& w = work();
	sqlite3* db = liteOpen(file);
	sqlite3_stmt* st = nullptr;
	bool ok = db &&
		sqlite3_prepare_v2(db, "INSERT INTO cache (msgid, record) VALUES (?, ?)", -1, &st, nullptr) ==
			SQLITE_OK;
	for (size_t i = first; ok && i < first + count; ++i)
		ok = liteRun(st, w.keys[i], &w.records[i]);
	sqlite3_finalize(st);
	return liteClose(db, ok);
}

bool liteChange(const fs::path& file, bool replace, bool remove)
{
	Work& w = work();
	sqlite3* db = liteOpen(file);
	sqlite3_stmt* up = nullptr;
	sqlite3_stmt* del = nullptr;
	bool ok = db &&
		sqlite3_prepare_v2(db, "UPDATE cache SET record = ?2 WHERE msgid = ?1", -1, &up, nullptr) ==
			SQLITE_OK &&
		sqlite3_prepare_v2(db, "DELETE FROM cache WHERE msgid = ?", -1, &del, nullptr) == SQLITE_OK;
	for (size_t i = 0; ok && replace && i < kTenth; ++i)
		ok = liteRun(up, w.keys[w.replaced[i]], &w.changed[i]);
	for (size_t i = 0; ok && remove && i < kTenth; ++i)
		ok = liteRun(del, w.keys[w.deleted[i]], nullptr);
	sqlite3_finalize(up);
	sqlite3_finalize(del);
	return liteClose(db, ok);
}

const fs::path& liteAppended()
{
	static fs::path file = [] {
		fs::path f = work().dir / "appended.sqlite";
		fs::remove(f);
		if (!liteAppend(f, 0, kRecords))
			std::abort();
		return f;
	}();
	return file;
}

const fs::path& liteBatchBase()
{
	static fs::path file = [] {
		fs::path f = work().dir / "batchbase.sqlite";
		fs::remove(f);
		if (!liteAppend(f, 0, kBatchBase))
			std::abort();
		return f;
	}();
	return file;
}

const fs::path& liteChanged()
{
	static fs::path file = [] {
		fs::path f = work().dir / "changed.sqlite";
		fs::copy_file(liteAppended(), f, fs::copy_options::overwrite_existing);
		if (!liteChange(f, true, true))
			std::abort();
		return f;
	}();
	return file;
}

// ---- the steps ----

void Append_Database(benchmark::State& state)
{
	fs::path base = ourBase("append");
	for (auto _ : state) {
		state.PauseTiming();
		ourRemove(base);
		state.ResumeTiming();
		if (!ourAppend(base, 0, kRecords))
			return fail(state, "append failed");
	}
	state.counters["bytes_per_record"] = ourBytes(base) / kRecords;
	ourRemove(base);
}

void Append_SQLite(benchmark::State& state)
{
	fs::path file = work().dir / "append.sqlite";
	for (auto _ : state) {
		state.PauseTiming();
		fs::remove(file);
		state.ResumeTiming();
		if (!liteAppend(file, 0, kRecords))
			return fail(state, "append failed");
	}
	state.counters["bytes_per_record"] = static_cast<double>(fs::file_size(file)) / kRecords;
	fs::remove(file);
}

void Find_Database(benchmark::State& state)
{
	Work& w = work();
	const fs::path& base = ourAppended();
	for (auto _ : state) {
		Database db;
		bool ok = db.Open(ts(base.string()), 0) == ErrOkay;
		TString data;
		for (size_t i = 0; ok && i < kRecords; ++i) {
			size_t n = w.findOrder[i];
			ok = db.RecordFind(w.tkeys[n], data) == ErrOkay &&
				data.ByteLength() == static_cast<long>(w.records[n].size());
		}
		if (db.Close() != ErrOkay || !ok)
			return fail(state, "find failed");
	}
}

void Find_SQLite(benchmark::State& state)
{
	Work& w = work();
	const fs::path& file = liteAppended();
	for (auto _ : state) {
		sqlite3* db = liteOpen(file);
		sqlite3_stmt* st = nullptr;
		bool ok = db &&
			sqlite3_prepare_v2(db, "SELECT record FROM cache WHERE msgid = ?", -1, &st, nullptr) == SQLITE_OK;
		for (size_t i = 0; ok && i < kRecords; ++i) {
			size_t n = w.findOrder[i];
			sqlite3_bind_text(st, 1, w.keys[n].data(), static_cast<int>(w.keys[n].size()), SQLITE_STATIC);
			ok = sqlite3_step(st) == SQLITE_ROW;
			// The text is copied out, as the store hands back its own string.
			std::string data(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
				static_cast<size_t>(sqlite3_column_bytes(st, 0)));
			ok = ok && data.size() == w.records[n].size();
			sqlite3_reset(st);
		}
		sqlite3_finalize(st);
		if (!liteClose(db, ok))
			return fail(state, "find failed");
	}
}

void Replace_Database(benchmark::State& state)
{
	fs::path base = ourBase("replace");
	for (auto _ : state) {
		state.PauseTiming();
		ourCopy(ourAppended(), base);
		state.ResumeTiming();
		if (!ourChange(base, true, false))
			return fail(state, "replace failed");
	}
	ourRemove(base);
}

void Replace_SQLite(benchmark::State& state)
{
	fs::path file = work().dir / "replace.sqlite";
	for (auto _ : state) {
		state.PauseTiming();
		fs::copy_file(liteAppended(), file, fs::copy_options::overwrite_existing);
		state.ResumeTiming();
		if (!liteChange(file, true, false))
			return fail(state, "replace failed");
	}
	fs::remove(file);
}

void Delete_Database(benchmark::State& state)
{
	fs::path base = ourBase("delete");
	for (auto _ : state) {
		state.PauseTiming();
		ourCopy(ourAppended(), base);
		state.ResumeTiming();
		if (!ourChange(base, false, true))
			return fail(state, "delete failed");
	}
	ourRemove(base);
}

void Delete_SQLite(benchmark::State& state)
{
	fs::path file = work().dir / "delete.sqlite";
	for (auto _ : state) {
		state.PauseTiming();
		fs::copy_file(liteAppended(), file, fs::copy_options::overwrite_existing);
		state.ResumeTiming();
		if (!liteChange(file, false, true))
			return fail(state, "delete failed");
	}
	fs::remove(file);
}

void ReadAll_Database(benchmark::State& state)
{
	const fs::path& base = ourChanged();
	for (auto _ : state) {
		Database db;
		bool ok = db.Open(ts(base.string()), 0) == ErrOkay;
		TString key, data;
		size_t count = 0;
		Error e = ok ? db.Rewind() : ErrFileNotOpen;
		while (e == ErrOkay) {
			e = db.RecordNext(key, data);
			count += e == ErrOkay;
		}
		if (db.Close() != ErrOkay || e != ErrFileEnd || count != kRecords - kTenth)
			return fail(state, "read failed");
	}
}

void ReadAll_SQLite(benchmark::State& state)
{
	const fs::path& file = liteChanged();
	for (auto _ : state) {
		sqlite3* db = liteOpen(file);
		sqlite3_stmt* st = nullptr;
		bool ok =
			db && sqlite3_prepare_v2(db, "SELECT msgid, record FROM cache", -1, &st, nullptr) == SQLITE_OK;
		size_t count = 0;
		while (ok && sqlite3_step(st) == SQLITE_ROW) {
			std::string key(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)),
				static_cast<size_t>(sqlite3_column_bytes(st, 0)));
			std::string data(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
				static_cast<size_t>(sqlite3_column_bytes(st, 1)));
			count += !key.empty();
		}
		sqlite3_finalize(st);
		if (!liteClose(db, ok) || count != kRecords - kTenth)
			return fail(state, "read failed");
	}
}

void Batch_Database(benchmark::State& state)
{
	fs::path base = ourBase("batch");
	for (auto _ : state) {
		state.PauseTiming();
		ourCopy(ourBatchBase(), base);
		state.ResumeTiming();
		for (size_t b = 0; b < kBatches; ++b)
			if (!ourAppend(base, kBatchBase + b * kBatch, kBatch))
				return fail(state, "batch failed");
	}
	ourRemove(base);
}

void Batch_SQLite(benchmark::State& state)
{
	fs::path file = work().dir / "batch.sqlite";
	for (auto _ : state) {
		state.PauseTiming();
		fs::copy_file(liteBatchBase(), file, fs::copy_options::overwrite_existing);
		state.ResumeTiming();
		for (size_t b = 0; b < kBatches; ++b)
			if (!liteAppend(file, kBatchBase + b * kBatch, kBatch))
				return fail(state, "batch failed");
	}
	fs::remove(file);
}

}  // namespace

#define STEP(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)
STEP(Append_Database);
STEP(Append_SQLite);
STEP(Find_Database);
STEP(Find_SQLite);
STEP(Replace_Database);
STEP(Replace_SQLite);
STEP(Delete_Database);
STEP(Delete_SQLite);
STEP(ReadAll_Database);
STEP(ReadAll_SQLite);
STEP(Batch_Database);
STEP(Batch_SQLite);

BENCHMARK_MAIN();
