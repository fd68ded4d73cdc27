#include "YencSect.h"

#include <climits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

bool startsNoCase(const TString& line, const char* prefix)
{
	const char* s = line.String();
	for (; *prefix; ++prefix, ++s)
		if (Str::ToLower(*s) != *prefix)
			return false;
	return true;
}

// CRC-32 of IEEE 802.3, reflected, eight tables so that eight bytes are taken per step.
struct CrcTables {
	uint32_t t[8][256];
	CrcTables()
	{
		for (uint32_t i = 0; i < 256; ++i) {
			uint32_t c = i;
			for (int k = 0; k < 8; ++k)
				c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
			t[0][i] = c;
		}
		for (int k = 1; k < 8; ++k)
			for (uint32_t i = 0; i < 256; ++i)
				t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
	}
};

const CrcTables& crcTables()
{
	static const CrcTables tables;
	return tables;
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

#if defined(__x86_64__)
// CRC-32 by carry-less multiplication, folding 64 bytes a step (for processors with PCLMULQDQ):
// the same register in and out as the table form. n is a multiple of 16, at least 64.
__m128i load(const unsigned char* q)
{
	return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
	return _mm_xor_si128(
		_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

__attribute__((target("pclmul,sse4.1"))) uint32_t crcFold(uint32_t crc, const unsigned char* p, long n)
{
	const __m128i k2k1 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
	const __m128i k4k3 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
	const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124LL);
	const __m128i poly = _mm_set_epi64x(0x1f7011641LL, 0x1db710641LL);
	const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

	__m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(crc)));
	__m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
	p += 64;
	n -= 64;
	for (; n >= 64; n -= 64, p += 64) {
		x1 = fold(x1, k2k1, load(p));
		x2 = fold(x2, k2k1, load(p + 16));
		x3 = fold(x3, k2k1, load(p + 32));
		x4 = fold(x4, k2k1, load(p + 48));
	}
	x1 = fold(x1, k4k3, x2);
	x1 = fold(x1, k4k3, x3);
	x1 = fold(x1, k4k3, x4);
	for (; n >= 16; n -= 16, p += 16)
		x1 = fold(x1, k4k3, load(p));
	// 128 bits to 64, 64 to 32, then Barrett reduction.
	x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k4k3, 0x10), _mm_srli_si128(x1, 8));
	x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00));
	__m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly, 0x10);
	t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
	return uint32_t(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

bool hasFold()
{
	static const bool has = [] {
		__builtin_cpu_init();
		return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
	}();
	return has;
}
#endif

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

uint32_t YencSect::CrcUpdate(uint32_t crc, const unsigned char* p, long n)
{
	const CrcTables& c = crcTables();
#if defined(__x86_64__)
	if (n >= 64 && hasFold()) {
		long whole = n & ~15L;
		crc = crcFold(crc, p, whole);
		p += whole;
		n -= whole;
	}
#endif
	for (; n >= 8; n -= 8, p += 8) {
		uint32_t lo =
			crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
		uint32_t hi = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
		crc = c.t[7][lo & 0xFF] ^ c.t[6][(lo >> 8) & 0xFF] ^ c.t[5][(lo >> 16) & 0xFF] ^ c.t[4][lo >> 24] ^
			c.t[3][hi & 0xFF] ^ c.t[2][(hi >> 8) & 0xFF] ^ c.t[1][(hi >> 16) & 0xFF] ^ c.t[0][hi >> 24];
	}
	for (; n > 0; --n, ++p)
		crc = c.t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
	return crc;
}

long YencSect::LineDecode(const char* s, long len, unsigned char* out, long capacity)
{
	if (!s || !out || capacity <= 0 || len <= 0)
		return 0;
	const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
	const unsigned char* end = p + len;
	long n = 0;
	// The whole line fits (the usual case): no room test per byte.
	const unsigned char* fast = len <= capacity ? end : p;
#if defined(__SSE2__)
	// Sixteen bytes at a time up to the next escape. A store may run past the bytes kept, but
	// never past the line's length, which the output has room for.
	const __m128i escape = _mm_set1_epi8('=');
	const __m128i offset = _mm_set1_epi8(42);
	while (fast - p >= 16) {
		__m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
		unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, escape)));
		_mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_sub_epi8(v, offset));
		if (mask == 0) {
			p += 16;
			n += 16;
			continue;
		}
		int kept = __builtin_ctz(mask);
		p += kept + 1;
		n += kept;
		if (p >= end) {
			p = end;
			break;
		}
		out[n++] = static_cast<unsigned char>(*p++ - 64 - 42);
	}
#endif
	while (p < fast) {
		unsigned char c = *p++;
		if (c == '=') {
			// An escape; a '=' that ends the line ends it.
			if (p >= end)
				break;
			c = static_cast<unsigned char>(*p++ - 64);
		}
		out[n++] = static_cast<unsigned char>(c - 42);
	}
	while (p < end && n < capacity) {
		unsigned char c = *p++;
		if (c == '=') {
			if (p >= end)
				break;
			c = static_cast<unsigned char>(*p++ - 64);
		}
		out[n++] = static_cast<unsigned char>(c - 42);
	}
	crcRunning = CrcUpdate(crcRunning, out, n);
	count += int32_t(n);
	return n;
}

long YencSect::LineDecode(const TString& text, unsigned char* out, long capacity)
{
	return LineDecode(text.String(), text.ByteLength(), out, capacity);
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
