// Opens and reads a record store made of arbitrary bytes, as a damaged or foreign cache file
// would reach it, then changes it, closes and opens it again. The input is the index file, a
// separator line, and the data file; when the index header holds believable counts, the data
// given is repeated to the size they call for, so that the reading code is reached.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Database.h"

namespace {

constexpr std::string_view kSeparator = "\n==ddat==\n";
constexpr long kMaxRecords = 64;

void put(const std::string& path, std::string_view bytes)
{
	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
		abort();
	bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
	if (std::fclose(f) != 0 || !written)
		std::abort();
}

long headerTotal(std::string_view index)
{
	if (index.size() < 18)
		return -1;
	long total = 0;
	for (size_t at : {size_t{6}, size_t{12}}) {
		std::string field(index.substr(at, 6));
		char* end = nullptr;
		long v = std::strtol(field.c_str(), &end, 10);
		if (end == field.c_str() || v < 0)
			return -1;
		total += v;
	}
	return total;
}

TString text(const char* s)
{
	TString t;
	t.AllowInvalidSet(true);
	t.Assign(s);
	return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const std::string base = [] {
		char templ[] = "/tmp/qf-dbfuzz-XXXXXX";
		if (!mkdtemp(templ))
			abort();
		return std::string(templ) + "/Cache";
	}();
	std::string_view in(reinterpret_cast<const char*>(data), size);
	size_t cut = in.find(kSeparator);
	std::string_view index = in.substr(0, cut);
	std::string_view given =
		cut == std::string_view::npos ? std::string_view() : in.substr(cut + kSeparator.size());
	std::string blocks(given);
	long total = headerTotal(index);
	if (total >= 0 && total <= kMaxRecords && !given.empty()) {
		blocks.clear();
		size_t want = static_cast<size_t>(total) * Database::kBlockLen;
		while (blocks.size() < want)
			blocks.append(given.substr(0, want - blocks.size()));
	}
	put(base + ".didx", index);
	put(base + ".ddat", blocks);

	TString path = text(base.c_str());
	Database db;
	if (db.Open(path, 0) == ErrOkay) {
		db.Verify();
		std::vector<TString> keys;
		TString key, value;
		db.Rewind();
		for (int i = 0; i < 2 * kMaxRecords && db.RecordNext(key, value) == ErrOkay; ++i)
			keys.push_back(key);
		for (const TString& k : keys)
			db.RecordFind(k, value);
		if (!keys.empty()) {
			db.RecordReplace(keys.front(), text("replaced"));
			db.RecordDelete(keys.back());
		}
		db.RecordAppend(text("<fuzz@example.org>"), text("appended"));
		db.RecordFind(text("<fuzz@example.org>"), value);
		db.Close();
		if (db.Open(path, 0) == ErrOkay) {
			db.Rewind();
			while (db.RecordNext(key, value) == ErrOkay) {
			}
			db.Close();
		}
	}
	Database::Remove(path);
	return 0;
}
