// Feeds arbitrary lines to the killfile line reader, as a damaged or hand-edited killfile
// would hold them. A line that reads must write a line that reads back as the same author
// and address.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "Bozo.h"
#include "TimeFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool started = TimeFormat::Start();
	if (!started || size > 4000)
		return 0;
	TString line;
	line.AllowInvalidSet(true);
	line.AssignByte(reinterpret_cast<const char*>(data), static_cast<long>(size));
	Bozo bozo;
	if (!bozo.LineParse(line) || !Bozo::PairValid(bozo.Author(), bozo.Email()))
		return 0;
	TString again;
	bozo.LineFormat(again);
	Bozo back;
	if (!back.LineParse(again) || !(back.Author() == bozo.Author()) || !(back.Email() == bozo.Email())) {
		std::fprintf(stderr, "\"%s\" written as \"%s\" did not read back\n", line.String(), again.String());
		__builtin_trap();
	}
	return 0;
}
