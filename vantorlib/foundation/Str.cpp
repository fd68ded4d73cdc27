#include "Str.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

const char* orBlank(const char* s)
{
	return s ? s : Str::sBlank;
}

// Identity, except that the letters interleave ("A" < "a" < "B" ...) and the six characters
// between "Z" and "a" follow "z".
struct CmapTable {
	unsigned char map[256];
	constexpr CmapTable() : map()
	{
		for (int i = 0; i < 256; i++)
			map[i] = static_cast<unsigned char>(i);
		for (int k = 0; k < 26; k++) {
			map['A' + k] = static_cast<unsigned char>(0x41 + 2 * k);
			map['a' + k] = static_cast<unsigned char>(0x42 + 2 * k);
		}
		for (int k = 0; k < 6; k++)
			map[0x5B + k] = static_cast<unsigned char>(0x75 + k);
	}
};
constexpr CmapTable sCmapTable;

bool matchAt(const char* s, const char* sub, long n, bool caseSensitive)
{
	if (caseSensitive)
		return std::memcmp(s, sub, n) == 0;
	return strncasecmp(s, sub, n) == 0;
}

}  // namespace

const unsigned char Str::sCmap[256] = {
#define R(i) sCmapTable.map[i]
#define R8(i) R(i), R((i) + 1), R((i) + 2), R((i) + 3), R((i) + 4), R((i) + 5), R((i) + 6), R((i) + 7)
#define R64(i) \
	R8(i), R8((i) + 8), R8((i) + 16), R8((i) + 24), R8((i) + 32), R8((i) + 40), R8((i) + 48), R8((i) + 56)
	R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef R
};

long Str::Len(const char* s)
{
	return s ? static_cast<long>(std::strlen(s)) : 0;
}

long Str::Len(const unsigned short* s)
{
	long n = 0;
	if (s)
		while (s[n])
			n++;
	return n * 2;
}

void Str::Cpy(char* dst, const char* src, unsigned long size)
{
	if (!dst || size == 0)
		return;
	src = orBlank(src);
	unsigned long n = 0;
	while (n + 1 < size && src[n])
		n++;
	std::memmove(dst, src, n);
	dst[n] = 0;
}

void Str::Cat(char* dst, const char* src, unsigned long size)
{
	if (!dst || size == 0)
		return;
	unsigned long used = 0;
	while (used < size && dst[used])
		used++;
	if (used >= size) {
		dst[size - 1] = 0;
		return;
	}
	Cpy(dst + used, src, size - used);
}

int Str::Cmp(const char* a, const char* b, bool caseSensitive)
{
	if (a == b)
		return 0;
	a = orBlank(a);
	b = orBlank(b);
	return caseSensitive ? std::strcmp(a, b) : strcasecmp(a, b);
}

int Str::CmpList(const char* a, const char* b)
{
	const unsigned char* pa = reinterpret_cast<const unsigned char*>(orBlank(a));
	const unsigned char* pb = reinterpret_cast<const unsigned char*>(orBlank(b));
	long i = 0;
	for (; pa[i] && pb[i]; i++) {
		unsigned char ca = sCmap[static_cast<unsigned char>(ToUpper(static_cast<char>(pa[i])))];
		unsigned char cb = sCmap[static_cast<unsigned char>(ToUpper(static_cast<char>(pb[i])))];
		if (ca != cb)
			return ca < cb ? -1 : 1;
	}
	if (pa[i] || pb[i])
		return pa[i] ? 1 : -1;  // the shorter one first
	for (i = 0; pa[i]; i++) {
		if (sCmap[pa[i]] != sCmap[pb[i]])
			return sCmap[pa[i]] < sCmap[pb[i]] ? -1 : 1;
	}
	return 0;
}

int Str::MemCmp(const void* a, const void* b, unsigned long n, bool caseSensitive)
{
	if (n == 0 || a == b)
		return 0;
	if (!a || !b)
		return a ? 1 : -1;
	if (caseSensitive)
		return std::memcmp(a, b, n);
	const char* pa = static_cast<const char*>(a);
	const char* pb = static_cast<const char*>(b);
	for (unsigned long i = 0; i < n; i++) {
		unsigned char ca = static_cast<unsigned char>(ToUpper(pa[i]));
		unsigned char cb = static_cast<unsigned char>(ToUpper(pb[i]));
		if (ca != cb)
			return ca < cb ? -1 : 1;
	}
	return 0;
}

void Str::MemCpy(void* dst, const void* src, unsigned long n)
{
	if (dst && src && n)
		std::memmove(dst, src, n);
}

void Str::MemSet(void* dst, int c, unsigned long n)
{
	if (dst && n)
		std::memset(dst, c, n);
}

void Str::MemZero(void* dst, unsigned long n)
{
	MemSet(dst, 0, n);
}

const char* Str::FindPtr(const char* s, char c)
{
	if (!s || !c)
		return nullptr;
	return std::strchr(s, c);
}

const char* Str::FindPtr(const char* s, const char* sub, bool caseSensitive)
{
	if (!s || !sub || !*sub)
		return nullptr;
	if (caseSensitive)
		return std::strstr(s, sub);
	long n = Len(sub);
	char first = ToUpper(*sub);
	for (; *s; s++)
		if (ToUpper(*s) == first && matchAt(s, sub, n, false))
			return s;
	return nullptr;
}

const char* Str::LastPtr(const char* s, char c)
{
	if (!s || !c)
		return nullptr;
	return std::strrchr(s, c);
}

const char* Str::LastPtr(const char* s, const char* sub, bool caseSensitive)
{
	if (!s || !sub || !*sub)
		return nullptr;
	long n = Len(sub);
	for (long i = Len(s) - n; i >= 0; i--)
		if (matchAt(s + i, sub, n, caseSensitive))
			return s + i;
	return nullptr;
}

bool Str::IsAscii(const char* s)
{
	for (s = orBlank(s); *s; s++)
		if (!IsAscii(*s))
			return false;
	return true;
}

bool Str::IsWhite(const char* s)
{
	for (s = orBlank(s); *s; s++)
		if (!IsWhite(*s))
			return false;
	return true;
}

bool Str::NonWhite(const char* s)
{
	s = orBlank(s);
	if (!*s)
		return false;
	for (; *s; s++)
		if (IsWhite(*s))
			return false;
	return true;
}

const char* Str::TokenPtr(long n, const char* s)
{
	if (!s || n < 0)
		return nullptr;
	for (;;) {
		while (IsWhite(*s))
			s++;
		if (!*s)
			return nullptr;
		if (n-- == 0)
			return s;
		while (*s && !IsWhite(*s))
			s++;
	}
}

const char* Str::TokenPtr(long n, const char* s, char delim)
{
	if (!s || n < 0)
		return nullptr;
	if (!delim)
		return TokenPtr(n, s);
	for (;;) {
		while (*s == delim)
			s++;
		if (!*s)
			return nullptr;
		if (n-- == 0)
			return s;
		while (*s && *s != delim)
			s++;
	}
}

bool Str::ParseInteger(const char* s, char* sign, long* digits)
{
	if (sign)
		*sign = '+';
	if (digits)
		*digits = 0;
	long len = Len(s);
	if (len < 1 || len > 45)
		return false;
	long i = 0;
	char sg = '+';
	if (s[0] == '+' || s[0] == '-')
		sg = s[i++];
	if (i == len)
		return false;
	for (long j = i; j < len; j++)
		if (!IsDigit(s[j]))
			return false;
	if (sign)
		*sign = sg;
	if (digits)
		*digits = len - i;
	return true;
}

bool Str::ParseFloat(const char* s, char* sign, long* intDigits, long* fracDigits)
{
	if (sign)
		*sign = '+';
	if (intDigits)
		*intDigits = 0;
	if (fracDigits)
		*fracDigits = 0;
	long len = Len(s);
	if (len < 1 || len > 50)
		return false;
	long i = 0;
	char sg = '+';
	if (s[0] == '+' || s[0] == '-')
		sg = s[i++];
	long intStart = i;
	while (i < len && IsDigit(s[i]))
		i++;
	long nInt = i - intStart;
	if (nInt < 1)
		return false;
	long nFrac = 0;
	if (i < len) {
		if (s[i] != '.')
			return false;
		long fracStart = ++i;
		while (i < len && IsDigit(s[i]))
			i++;
		nFrac = i - fracStart;
		if (nFrac < 1 || i != len)
			return false;
	}
	if (sign)
		*sign = sg;
	if (intDigits)
		*intDigits = nInt;
	if (fracDigits)
		*fracDigits = nFrac;
	return true;
}

long long Str::Atoll(const char* s)
{
	if (!s || !*s)
		return 0;
	return std::strtoll(s, nullptr, 10);
}

unsigned long long Str::Atoull(const char* s)
{
	if (!s || !*s)
		return 0;
	return std::strtoull(s, nullptr, 10);
}

char Str::Rot13(char c)
{
	if ((c >= 'a' && c <= 'm') || (c >= 'A' && c <= 'M'))
		return char(c + 13);
	if ((c >= 'n' && c <= 'z') || (c >= 'N' && c <= 'Z'))
		return char(c - 13);
	return c ? c : ' ';
}
