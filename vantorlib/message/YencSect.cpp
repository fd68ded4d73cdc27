#include "YencSect.h"

#include <climits>

namespace {

bool startsNoCase(const TString& line, const char* prefix)
{
	const char* s = line.String();
	for (; *prefix; ++prefix, ++s)
		if (Str::ToLower(*s) != *prefix)
			return false;
	return true;
}

// CRC-32 of IEEE 802.3, reflected, table-driven.
const uint32_t* crcTable()
{
	static uint32_t table[256];
	static const bool ready = [] {
		for (uint32_t i = 0; i < 256; ++i) {
			uint32_t c = i;
			for (int k = 0; k < 8; ++k)
				c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
			table[i] = c;
		}
		return true;
	}();
	(void)ready;
	return table;
}

// The text after key= (key found anywhere, any case), as a run of non-white characters.
const char* afterKey(const TString& line, const char* key)
{
	// Only a whole key counts, so that "crc32" is not found inside "pcrc32".
	const char* s = line.String();
	for (const char* p = Str::FindPtr(s, key, false); p; p = Str::FindPtr(p + 1, key, false)) {
		if (p != s && !Str::IsWhite(p[-1]))
			continue;
		p += Str::Len(key);
		return *p ? p + 1 : p;
	}
	return nullptr;
}

}  // namespace

void YencSect::Clear()
{
	size = line = part = 0;
	crc = 0;
	partBegin = partEnd = endSize = endPart = -1;
	CrcClear();
}

void YencSect::CrcClear()
{
	crcRunning = 0xFFFFFFFFu;
	count = 0;
}

long YencSect::valueGet(const TString& text, const char* key)
{
	const char* p = afterKey(text, key);
	if (!p)
		return -1;
	long long v = 0;
	int digits = 0;
	for (; *p && !Str::IsWhite(*p); ++p) {
		if (!Str::IsDigit(*p))
			return -1;
		if (v < INT_MAX)
			v = v * 10 + (*p - '0');
		++digits;
	}
	if (digits == 0 || v > INT_MAX)
		return -1;
	return long(v);
}

uint32_t YencSect::hexGet(const TString& text, const char* key)
{
	const char* p = afterKey(text, key);
	if (!p)
		return 0;
	uint32_t v = 0;
	for (; Str::IsHexDigit(*p); ++p)
		v = (v << 4) | uint32_t(Str::IsDigit(*p) ? *p - '0' : Str::ToLower(*p) - 'a' + 10);
	return v;
}

bool YencSect::LineStart(const TString& text, TString& name)
{
	name.Erase();
	name.CharsetSet(text.CharsetGet());
	name.AllowInvalidSet(true);
	name.Erase();
	if (!startsNoCase(text, "=ybegin"))
		return false;
	const char* p = text.FindPtr("name=", false);
	if (!p || !p[5])
		return false;
	p += 5;
	name.AppendByte(p, text.ByteLength() - (p - text.String()));
	name.Trim();
	if (name.Empty())
		return false;
	size = int32_t(valueGet(text, "size"));
	line = int32_t(valueGet(text, "line"));
	long pv = valueGet(text, "part");
	part = int32_t(pv < 0 ? 1 : pv);
	return true;
}

bool YencSect::LineStart(const TString& text)
{
	TString name;
	return LineStart(text, name);
}

bool YencSect::LinePart(const TString& text)
{
	if (!startsNoCase(text, "=ypart"))
		return false;
	partBegin = int32_t(valueGet(text, "begin"));
	partEnd = int32_t(valueGet(text, "end"));
	return true;
}

bool YencSect::LineStop(const TString& text)
{
	if (!startsNoCase(text, "=yend"))
		return false;
	crc = hexGet(text, "pcrc32");
	if (crc == 0)
		crc = hexGet(text, "crc32");
	endSize = int32_t(valueGet(text, "size"));
	long pv = valueGet(text, "part");
	endPart = int32_t(pv < 0 ? 1 : pv);
	return true;
}

long YencSect::LineDecode(const TString& text, unsigned char* out, long capacity)
{
	const uint32_t* table = crcTable();
	const char* s = text.String();
	long len = text.ByteLength(), n = 0;
	for (long i = 0; i < len && n < capacity; ++i) {
		unsigned char c = static_cast<unsigned char>(s[i]);
		if (c == '=') {
			if (i + 1 >= len)
				break;
			c = static_cast<unsigned char>(static_cast<unsigned char>(s[++i]) - 64);
		}
		unsigned char b = static_cast<unsigned char>(c - 42);
		out[n++] = b;
		crcRunning = table[(crcRunning ^ b) & 0xFF] ^ (crcRunning >> 8);
		++count;
	}
	return n;
}

bool YencSect::Valid() const
{
	if (size <= 0 || line <= 10 || part <= 0 || endPart != part)
		return false;
	if (partBegin == -1 && partEnd == -1)
		return true;
	return partBegin >= 1 && partEnd > partBegin && partEnd <= size && endSize == partEnd - partBegin + 1;
}

bool YencSect::SinglePart() const
{
	if (!Valid())
		return true;
	if (part > 1)
		return false;
	if (partBegin == -1 && partEnd == -1)
		return true;
	return partBegin == 1 && partEnd >= size;
}

bool YencSect::CrcValid() const
{
	return crc == (~crcRunning) && endSize == count;
}
