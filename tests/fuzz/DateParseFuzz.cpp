// Feeds arbitrary text to the date parser, as Date headers from any server would reach it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "TimeCore.h"
#include "TimeFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool started = TimeFormat::Start();
	if (!started)
		return 0;
	std::string text(reinterpret_cast<const char*>(data), size);
	long long when = 0;
	unsigned long parts = 0;
	TimeFormat::Parse(&when, text.c_str(), 0, -1, &parts, true);
	return 0;
}
