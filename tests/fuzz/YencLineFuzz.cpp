// Arbitrary yEnc header and data lines: values read stay in range, a decoded line never
// writes past its buffer, and the running count matches the bytes returned.
#include <cstddef>
#include <cstdint>
#include <string>

#include "YencSect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string text(reinterpret_cast<const char*>(data), size);
	TString line;
	line.AllowInvalidSet(true);
	line.AppendByte(text.data(), long(text.size()));
	YencSect y;
	TString name;
	y.LineStart(line, name);
	y.LinePart(line);
	y.LineStop(line);
	y.Valid();
	y.SinglePart();
	if (y.size < -1 || y.partBegin < -1 || y.partEnd < -1 || y.endSize < -1)
		__builtin_trap();
	y.CrcClear();
	unsigned char out[64];
	long n = y.LineDecode(text.data(), long(text.size()), out, sizeof(out));
	if (n < 0 || n > long(sizeof(out)) || y.count != n)
		__builtin_trap();
	return 0;
}
