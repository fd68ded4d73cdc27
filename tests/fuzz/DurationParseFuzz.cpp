// Feeds arbitrary text to the duration parser, as settings files and people would write it.
// A duration that reads must write in words and read back the same, to the microsecond with
// the fraction and to the rounded second without it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "TimeCore.h"
#include "TimeFormat.h"

namespace {

void readsBack(long long usecs, bool fraction, long long expect)
{
	TString text;
	TimeFormat::Usecs(text, usecs, fraction, true);
	long long back = 0;
	bool ok = TimeFormat::Usecs(&back, text, true);
	if (!ok || back != expect) {
		std::fprintf(stderr, "%lld written as \"%s\" read back as %lld (%s), expected %lld\n", usecs,
			text.String(), back, ok ? "read" : "refused", expect);
		__builtin_trap();
	}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool started = TimeFormat::Start();
	if (!started)
		return 0;
	std::string text(reinterpret_cast<const char*>(data), size);
	long long usecs = 0;
	if (!TimeFormat::Usecs(&usecs, text.c_str(), true))
		return 0;
	readsBack(usecs, true, usecs);
	long long seconds = TimeCore::Seconds(usecs);
	long long rounded = 0;
	if (!__builtin_mul_overflow(seconds, TimeCore::kUsecsPerSecond, &rounded))
		readsBack(usecs, false, rounded);
	return 0;
}
