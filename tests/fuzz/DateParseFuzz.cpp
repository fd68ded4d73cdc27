// Feeds arbitrary text to the date parser, as Date headers from any server would reach it.
// A date that reads must write and read back as the same instant, in the header form and in
// the log form, at UTC and at another offset.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "TimeCore.h"
#include "TimeFormat.h"

namespace {

void readsBack(long long when, long long bias, const char* format, bool withZone)
{
	TString text;
	if (!TimeFormat::DateTimeVal(text, when, bias, format, true))
		return;  // outside the years a time can be written in
	long long back = 0;
	bool ok = TimeFormat::Parse(&back, text, withZone ? TimeCore::kBiasLocal : bias, -1, nullptr, true);
	if (!ok || back != when) {
		std::fprintf(stderr, "%lld written as \"%s\" read back as %lld (%s)\n", when, text.String(), back,
			ok ? "read" : "refused");
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
	long long when = 0;
	unsigned long parts = 0;
	if (!TimeFormat::Parse(&when, text.c_str(), 0, -1, &parts, true) || when <= 0)
		return 0;
	const long long kMinute = TimeCore::kUsecsPerMinute;
	readsBack(when, 0, "%w1, %d2 %n3 %y1 %h3:%m1:%s1.%f6 %t1", true);
	readsBack(when, -(9LL * 60 + 30) * kMinute, "%w2, %d1 %n4 %y1 %h3:%m1:%s1.%f6 %t1", true);
	readsBack(when, 13LL * 60 * kMinute, "%y1/%n1/%d1 %h3:%m1:%s1.%f6", false);
	return 0;
}
