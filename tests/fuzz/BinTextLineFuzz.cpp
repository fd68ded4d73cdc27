// Arbitrary lines through the Base64 and uuencode decoders and the uuencode line tests: the
// output never passes its buffer, and a text decode ends with a zero byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "BinText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string text(reinterpret_cast<const char*>(data), size);
	unsigned char out[200];
	long n = BinText::Base64Decode(text.c_str(), out, sizeof(out), BinText::DataBinary);
	if (n < 0 || n > long(sizeof(out)))
		__builtin_trap();
	n = BinText::Base64Decode(text.c_str(), out, sizeof(out), BinText::DataText);
	if (n < 0 || n >= long(sizeof(out)) || out[n] != 0 || std::memchr(out, 0, size_t(n)))
		__builtin_trap();
	n = BinText::UuDecode(text.c_str(), out, sizeof(out), BinText::DataBinary);
	if (n < 0 || n > 63)
		__builtin_trap();
	TString line;
	line.AllowInvalidSet(true);
	line.AppendByte(text.data(), long(text.size()));
	TString name;
	BinText::UuLineStart(line, name);
	BinText::UuLineStop(line);
	if (BinText::UuLineData(line) &&
		BinText::UuDecode(text.c_str(), out, sizeof(out), BinText::DataBinary) != line.ByteAt(0) - 32 &&
		line.ByteAt(0) != '`')
		__builtin_trap();
	TString copy(line);
	BinText::Base64Decode(copy);
	return 0;
}
