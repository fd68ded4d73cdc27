// Settings files: arbitrary text is read as a settings file, and whatever reads is written back
// and must read back the same. Then the input also drives the setters: whatever a setter
// accepts must be written and read back as the same item of the same kind.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "InitFile.h"
#include "TString.h"
#include "TimeFormat.h"

namespace {

std::string sDir;

TString text(const std::string& s)
{
	TString t;
	t.AllowInvalidSet(true);
	t.Assign(s.c_str());
	return t;
}

struct Entry {
	std::string section, item, value, comment;
	int type;
};

std::vector<Entry> entries(const InitFile& file)
{
	std::vector<Entry> out;
	std::vector<TString> sections, items;
	file.SectionList(sections);
	for (const TString& sect : sections) {
		file.ItemList(sect, items);
		for (const TString& item : items) {
			Entry e{sect.String(), item.String(), "", "", InitFile::ItemString};
			TString value;
			if (!file.ItemGet(sect, item, value)) {
				file.ItemGetCustom(sect, item, value);
				e.type = InitFile::ItemCustom;
			}
			e.value = value.String();
			out.push_back(e);
		}
	}
	return out;
}

bool same(const std::vector<Entry>& a, const std::vector<Entry>& b)
{
	if (a.size() != b.size())
		return false;
	for (size_t i = 0; i < a.size(); ++i)
		if (a[i].section != b[i].section || a[i].item != b[i].item || a[i].value != b[i].value ||
			a[i].type != b[i].type)
			return false;
	return true;
}

void roundTrip(const uint8_t* data, size_t size)
{
	std::string path = sDir + "/read.init";
	FILE* f = std::fopen(path.c_str(), "wb");
	if (!f)
		return;
	bool written = std::fwrite(data, 1, size, f) == size;
	if (std::fclose(f) != 0 || !written)
		std::abort();
	InitFile file;
	if (file.StateRead(text(path), 0) != ErrOkay)
		return;
	std::vector<Entry> before = entries(file);
	std::string again = sDir + "/again.init";
	if (file.StateWrite(text(again), 0) != ErrOkay)
		return;  // a line made longer than a line may be is refused, not written
	InitFile back;
	if (back.StateRead(text(again), 0) != ErrOkay || !same(before, entries(back)))
		__builtin_trap();
}

void setters(const uint8_t* data, size_t size)
{
	// Fields separated by NUL bytes: kind, section, item, value.
	std::vector<std::string> parts(1);
	for (size_t i = 0; i < size; ++i) {
		if (data[i] == 0)
			parts.emplace_back();
		else
			parts.back() += static_cast<char>(data[i]);
	}
	if (parts.size() < 4 || parts[0].empty())
		return;
	TString sect = text(parts[1]), item = text(parts[2]), value = text(parts[3]);
	InitFile file;
	int kind = parts[0][0] % 3;
	bool ok;
	if (kind == 0)
		ok = file.ItemSet(sect, item, value);
	else if (kind == 1)
		ok = file.ItemSetCustom(sect, item, value);
	else
		ok = file.ItemSet(sect, item, static_cast<long>(value.Atoll()));
	if (!ok)
		return;
	std::string path = sDir + "/set.init";
	::unlink(path.c_str());
	if (file.StateWrite(text(path), 0) != ErrOkay)
		__builtin_trap();  // the setter took what cannot be written
	InitFile back;
	if (back.StateRead(text(path), 0) != ErrOkay)
		__builtin_trap();
	TString got, want;
	if (kind == 0) {
		want = value;
		want.ReplaceAll('\r', ' ');
		want.ReplaceAll('\n', ' ');
		if (!back.ItemGet(sect, item, got) || !(got == want))
			__builtin_trap();
	} else {
		file.ItemGetCustom(sect, item, want);
		if (!back.ItemGetCustom(sect, item, got) || !(got == want))
			__builtin_trap();
	}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool started = [] {
		// Memory-backed when possible: every write is synced to disk. Removed at exit.
		static char tmpl[64];
		bool made = false;
		for (const char* base : {"/dev/shm", "/tmp"}) {
			std::snprintf(tmpl, sizeof tmpl, "%s/InitFileFuzz.XXXXXX", base);
			if ((made = mkdtemp(tmpl) != nullptr))
				break;
		}
		if (!made)
			return false;
		std::atexit([] {
			std::error_code ec;
			std::filesystem::remove_all(tmpl, ec);
		});
		sDir = tmpl;
		return TimeFormat::Start();
	}();
	if (!started)
		return 0;
	roundTrip(data, size);
	setters(data, size);
	return 0;
}
