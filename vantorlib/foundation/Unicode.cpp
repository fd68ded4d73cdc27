#include "Unicode.h"

namespace {

using uchar = unsigned char;

// Length of the well-formed character at p (continuation bytes checked, NUL stops), or 0.
long wholeChar(const uchar* p)
{
	long len = Unicode::CharLen(p[0]);
	for (long k = 1; k < len; k++)
		if (!Unicode::CharContinue(p[k]))
			return 0;
	return len;
}

}  // namespace

long Unicode::CharLen(unsigned char b)
{
	if (b == 0)
		return 0;
	if (b < 0x80)
		return 1;
	if ((b & 0xE0) == 0xC0)
		return 2;
	if ((b & 0xF0) == 0xE0)
		return 3;
	if ((b & 0xF8) == 0xF0)
		return 4;
	if ((b & 0xFC) == 0xF8)
		return 5;
	if ((b & 0xFE) == 0xFC)
		return 6;
	return 0;
}

long Unicode::Char32FromUtf8(unsigned long& cp, const char* p)
{
	cp = 0;
	if (!p)
		return 0;
	const uchar* u = reinterpret_cast<const uchar*>(p);
	long len = wholeChar(u);
	if (len == 0)
		return 0;
	static const uchar kLeadMask[7] = {0, 0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};
	unsigned long v = u[0] & kLeadMask[len];
	for (long k = 1; k < len; k++)
		v = (v << 6) | (u[k] & 0x3F);
	cp = v;
	return len;
}

long Unicode::Char32ToUtf8(char* dst, unsigned long cp, unsigned long size)
{
	if (!dst || size == 0)
		return 0;
	dst[0] = 0;
	long len;
	if (cp == 0 || cp >= 0x80000000UL)
		return 0;
	else if (cp < 0x80)
		len = 1;
	else if (cp < 0x800)
		len = 2;
	else if (cp < 0x10000)
		len = 3;
	else if (cp < 0x200000)
		len = 4;
	else if (cp < 0x4000000)
		len = 5;
	else
		len = 6;
	if (size < static_cast<unsigned long>(len) + 1)
		return 0;
	if (len == 1) {
		dst[0] = static_cast<char>(cp);
	} else {
		static const uchar kLeadBits[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
		for (long k = len - 1; k > 0; k--) {
			dst[k] = static_cast<char>(0x80 | (cp & 0x3F));
			cp >>= 6;
		}
		dst[0] = static_cast<char>(kLeadBits[len] | cp);
	}
	dst[len] = 0;
	return len;
}

bool Unicode::Validate(const char* p, long maxBytes, long maxChars, long* bytes, long* chars)
{
	long b = 0, c = 0;
	bool ok = true;
	if (p && maxBytes > 0 && maxChars > 0) {
		const uchar* u = reinterpret_cast<const uchar*>(p);
		while (b < maxBytes && u[b] && c < maxChars) {
			if (u[b] < 0x80) {
				b++;
				c++;
				continue;
			}
			long len = CharLen(u[b]);
			if (len == 0) {
				ok = false;
				break;
			}
			if (b + len > maxBytes)
				break;  // the next character would not fit: stop before it
			if (wholeChar(u + b) == 0) {
				ok = false;
				break;
			}
			b += len;
			c++;
		}
	}
	if (!ok)
		b = c = 0;
	if (bytes)
		*bytes = b;
	if (chars)
		*chars = c;
	return ok;
}

bool Unicode::ValidateRange(const char* p, long len, long start, long count)
{
	if (start < 0 || count < 0 || len < 0 || start + count > len)
		return false;
	if (!p)
		return true;
	const uchar* u = reinterpret_cast<const uchar*>(p);
	if (start < len && CharContinue(u[start]))
		return false;
	if (start + count < len && CharContinue(u[start + count]))
		return false;
	return true;
}

long Unicode::StringLen(const char* p)
{
	long n = 0;
	if (p)
		for (const uchar* u = reinterpret_cast<const uchar*>(p); *u; u++)
			if (CharBegin(*u))
				n++;
	return n;
}

long Unicode::StringLen(const unsigned short* p)
{
	long n = 0;
	if (p)
		while (p[n])
			n++;
	return n;
}

bool Unicode::Utf16FromUtf8(unsigned short* dst, long dstBytes, const char* src, long srcBytes)
{
	if (!dst || dstBytes < 2)
		return false;
	long maxUnits = dstBytes / 2 - 1;
	long units = 0;
	bool complete = true;
	if (src) {
		const uchar* u = reinterpret_cast<const uchar*>(src);
		long i = 0;
		while ((srcBytes < 0 || i < srcBytes) && u[i]) {
			if (units >= maxUnits) {
				complete = false;
				break;
			}
			long len = wholeChar(u + i);
			if (len == 0 || (srcBytes >= 0 && i + len > srcBytes)) {
				complete = false;
				break;
			}
			unsigned long cp;
			Char32FromUtf8(cp, src + i);
			dst[units++] = cp > 0xFFFF ? '?' : static_cast<unsigned short>(cp);
			i += len;
		}
	}
	dst[units] = 0;
	return complete;
}

bool Unicode::Utf16ToUtf8(char* dst, long dstSize, const unsigned short* src, long srcBytes)
{
	if (!dst || dstSize < 1)
		return false;
	dst[0] = 0;
	long out = 0;
	for (long i = 0; src && srcBytes - 2 * i >= 2 && src[i]; i++) {
		long len = Char32ToUtf8(dst + out, src[i], static_cast<unsigned long>(dstSize - out));
		if (len == 0) {
			dst[out] = 0;
			return false;
		}
		out += len;
	}
	return true;
}

void Unicode::Clean(char* p)
{
	if (!p)
		return;
	uchar* u = reinterpret_cast<uchar*>(p);
	for (long i = 0; u[i];) {
		long len = wholeChar(u + i);
		if (len == 0) {
			u[i++] = '?';
		} else {
			i += len;
		}
	}
}

void Unicode::RemoveNewlines(char* p)
{
	if (!p)
		return;
	uchar* u = reinterpret_cast<uchar*>(p);
	long out = 0;
	for (long i = 0; u[i]; i++) {
		if (u[i] == '\r' || u[i] == '\n')
			continue;
		if (u[i] == 0xC2 && u[i + 1] == 0x85) {
			i++;
			continue;
		}
		u[out++] = u[i];
	}
	u[out] = 0;
}

unsigned short Unicode::Rot13(unsigned short c)
{
	if ((c >= 'a' && c <= 'm') || (c >= 'A' && c <= 'M'))
		return static_cast<unsigned short>(c + 13);
	if ((c >= 'n' && c <= 'z') || (c >= 'N' && c <= 'Z'))
		return static_cast<unsigned short>(c - 13);
	return c ? c : ' ';
}

void Unicode::Rot13(unsigned short* p)
{
	if (p)
		for (; *p; p++)
			*p = Rot13(*p);
}
