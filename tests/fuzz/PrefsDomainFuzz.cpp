// Preference stores: arbitrary text is read as a store's file, and whatever reads is written
// back and must read back the same. The input also becomes a string value under a key, which
// must come back the same when it can be written at all.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "PrefsDomain.h"
#include "TString.h"

namespace {

TString text(const std::string& s)
{
	TString t;
	t.AllowInvalidSet(true);
	t.Assign(s.c_str());
	return t;
}

void writeBack(PrefsDomain& domain)
{
	PrefsValue before = domain.Root();
	if (domain.Write() != ErrOkay)
		return;  // a line longer than a line may be is refused, not written
	if (domain.Read() != ErrOkay || !(domain.Root() == before))
		__builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool started = [] {
		// Memory-backed when possible: every write is synced to disk. Removed at exit.
		static char tmpl[64];
		bool made = false;
		for (const char* base : {"/dev/shm", "/tmp"}) {
			std::snprintf(tmpl, sizeof tmpl, "%s/PrefsDomainFuzz.XXXXXX", base);
			if ((made = mkdtemp(tmpl) != nullptr))
				break;
		}
		if (!made)
			return false;
		std::atexit([] {
			std::error_code ec;
			std::filesystem::remove_all(tmpl, ec);
		});
		setenv("XDG_CONFIG_HOME", tmpl, 1);
		setenv("HOME", tmpl, 1);
		return true;
	}();
	if (!started)
		return 0;
	PrefsDomain domain(TString("net.quillfern.Fuzz"));
	TString path;
	if (domain.PathGet(path) != ErrOkay)
		return 0;
	FILE* f = std::fopen(path.String(), "wb");
	if (!f)
		return 0;
	bool written = std::fwrite(data, 1, size, f) == size;
	if (std::fclose(f) != 0 || !written)
		std::abort();
	if (domain.Read() == ErrOkay)
		writeBack(domain);

	// The input as a key and a value: the key is the text up to the first NUL byte.
	std::string all(reinterpret_cast<const char*>(data), size);
	size_t nul = all.find('\0');
	std::string key = nul == std::string::npos ? all : all.substr(0, nul);
	std::string value = nul == std::string::npos ? "" : all.substr(nul + 1);
	if (key.empty() || value.find('\0') != std::string::npos)
		return 0;
	domain.Clear();
	domain.StringSet(key.c_str(), text(value));
	domain.Root().Entry("Dict").Entry(key.c_str()).IntegerSet(static_cast<long long>(size));
	writeBack(domain);
	return 0;
}
