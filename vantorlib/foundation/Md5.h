// The MD5 message digest (RFC 1321). Message files are named from the digest of their
// message-id, so the result must match every other MD5 bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

class TString;

class Md5 {
public:
	Md5() { Reset(); }

	void Reset();
	void Update(const void* data, size_t length);
	// Finishes the digest into 16 bytes; the object must be Reset before it is used again.
	void Final(unsigned char digest[16]);

	// The digest of a whole text as 32 upper-case hexadecimal digits.
	static void HexDigest(const void* data, size_t length, TString& out);
	static void HexDigest(const TString& text, TString& out);

private:
	void block(const unsigned char* p);

	uint32_t mState[4];
	uint64_t mBits;
	unsigned char mBuffer[64];
	size_t mUsed;
};
