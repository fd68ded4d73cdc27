#include "Md5.h"

#include <algorithm>
#include <cstring>

#include "TString.h"

namespace {

// Per-round shift amounts and the sine-derived constants of RFC 1321.
const uint32_t kShift[64] = {
	7,
	12,
	17,
	22,
	7,
	12,
	17,
	22,
	7,
	12,
	17,
	22,
	7,
	12,
	17,
	22,
	5,
	9,
	14,
	20,
	5,
	9,
	14,
	20,
	5,
	9,
	14,
	20,
	5,
	9,
	14,
	20,
	4,
	11,
	16,
	23,
	4,
	11,
	16,
	23,
	4,
	11,
	16,
	23,
	4,
	11,
	16,
	23,
	6,
	10,
	15,
	21,
	6,
	10,
	15,
	21,
	6,
	10,
	15,
	21,
	6,
	10,
	15,
	21,
};

const uint32_t kSine[64] = {
	0xd76aa478,
	0xe8c7b756,
	0x242070db,
	0xc1bdceee,
	0xf57c0faf,
	0x4787c62a,
	0xa8304613,
	0xfd469501,
	0x698098d8,
	0x8b44f7af,
	0xffff5bb1,
	0x895cd7be,
	0x6b901122,
	0xfd987193,
	0xa679438e,
	0x49b40821,
	0xf61e2562,
	0xc040b340,
	0x265e5a51,
	0xe9b6c7aa,
	0xd62f105d,
	0x02441453,
	0xd8a1e681,
	0xe7d3fbc8,
	0x21e1cde6,
	0xc33707d6,
	0xf4d50d87,
	0x455a14ed,
	0xa9e3e905,
	0xfcefa3f8,
	0x676f02d9,
	0x8d2a4c8a,
	0xfffa3942,
	0x8771f681,
	0x6d9d6122,
	0xfde5380c,
	0xa4beea44,
	0x4bdecfa9,
	0xf6bb4b60,
	0xbebfbc70,
	0x289b7ec6,
	0xeaa127fa,
	0xd4ef3085,
	0x04881d05,
	0xd9d4d039,
	0xe6db99e5,
	0x1fa27cf8,
	0xc4ac5665,
	0xf4292244,
	0x432aff97,
	0xab9423a7,
	0xfc93a039,
	0x655b59c3,
	0x8f0ccc92,
	0xffeff47d,
	0x85845dd1,
	0x6fa87e4f,
	0xfe2ce6e0,
	0xa3014314,
	0x4e0811a1,
	0xf7537e82,
	0xbd3af235,
	0x2ad7d2bb,
	0xeb86d391,
};

uint32_t rotl(uint32_t x, uint32_t n)
{
	return (x << n) | (x >> (32 - n));
}

}  // namespace

void Md5::Reset()
{
	mState[0] = 0x67452301;
	mState[1] = 0xefcdab89;
	mState[2] = 0x98badcfe;
	mState[3] = 0x10325476;
	mBits = 0;
	mUsed = 0;
}

void Md5::block(const unsigned char* p)
{
	uint32_t m[16];
	for (size_t i = 0; i < 16; ++i)
		m[i] = uint32_t(p[i * 4]) | uint32_t(p[i * 4 + 1]) << 8 | uint32_t(p[i * 4 + 2]) << 16 |
			uint32_t(p[i * 4 + 3]) << 24;
	uint32_t a = mState[0], b = mState[1], c = mState[2], d = mState[3];
	for (int i = 0; i < 64; ++i) {
		uint32_t f;
		int g;
		if (i < 16) {
			f = (b & c) | (~b & d);
			g = i;
		} else if (i < 32) {
			f = (d & b) | (~d & c);
			g = (5 * i + 1) % 16;
		} else if (i < 48) {
			f = b ^ c ^ d;
			g = (3 * i + 5) % 16;
		} else {
			f = c ^ (b | ~d);
			g = (7 * i) % 16;
		}
		uint32_t t = d;
		d = c;
		c = b;
		b = b + rotl(a + f + kSine[i] + m[g], kShift[i]);
		a = t;
	}
	mState[0] += a;
	mState[1] += b;
	mState[2] += c;
	mState[3] += d;
}

void Md5::Update(const void* data, size_t length)
{
	const unsigned char* p = static_cast<const unsigned char*>(data);
	mBits += uint64_t(length) * 8;
	while (length > 0) {
		size_t take = std::min(length, sizeof(mBuffer) - mUsed);
		std::memcpy(mBuffer + mUsed, p, take);
		mUsed += take;
		p += take;
		length -= take;
		if (mUsed == sizeof(mBuffer)) {
			block(mBuffer);
			mUsed = 0;
		}
	}
}

void Md5::Final(unsigned char digest[16])
{
	uint64_t bits = mBits;
	static const unsigned char kPad[64] = {0x80};
	size_t padLen = mUsed < 56 ? 56 - mUsed : 120 - mUsed;
	Update(kPad, padLen);
	unsigned char len[8];
	for (int i = 0; i < 8; ++i)
		len[i] = static_cast<unsigned char>(bits >> (8 * i));
	Update(len, 8);
	for (int i = 0; i < 4; ++i)
		for (int k = 0; k < 4; ++k)
			digest[i * 4 + k] = static_cast<unsigned char>(mState[i] >> (8 * k));
}

void Md5::HexDigest(const void* data, size_t length, TString& out)
{
	Md5 md5;
	md5.Update(data, length);
	unsigned char digest[16];
	md5.Final(digest);
	static const char kHex[] = "0123456789ABCDEF";
	char text[33];
	for (size_t i = 0; i < 16; ++i) {
		text[i * 2] = kHex[digest[i] >> 4];
		text[i * 2 + 1] = kHex[digest[i] & 15];
	}
	text[32] = 0;
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	out = text;
}

void Md5::HexDigest(const TString& text, TString& out)
{
	HexDigest(text.String(), size_t(text.ByteLength()), out);
}
