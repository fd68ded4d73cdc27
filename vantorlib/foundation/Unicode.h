// UTF-8 and UTF-16 primitives on raw buffers. UTF-8 here accepts the historical 5- and
// 6-byte forms; only the structure of the sequences is checked.
#pragma once

class Unicode {
public:
	static bool CharInvalid(unsigned char b) { return b == 0x00 || b == 0xFE || b == 0xFF; }
	static bool CharBegin(unsigned char b) { return !CharInvalid(b) && (b & 0xC0) != 0x80; }
	static bool CharContinue(unsigned char b) { return (b & 0xC0) == 0x80; }
	// Length of the character a byte starts: 1..6, or 0 for continuation and invalid bytes.
	static long CharLen(unsigned char b);

	// Decodes one character; returns its length, or 0 (cp = 0) when p is empty or malformed.
	static long Char32FromUtf8(unsigned long& cp, const char* p);
	// Encodes cp into dst (terminated) and returns the length, or writes "" and returns 0
	// when cp is 0, at or above 0x80000000, or does not fit in size bytes.
	static long Char32ToUtf8(char* dst, unsigned long cp, unsigned long size);

	// Walks whole characters until NUL or until the next one would pass maxBytes or maxChars.
	// False (with 0, 0) on a malformed sequence. Outputs may be null.
	static bool Validate(const char* p, long maxBytes, long maxChars, long* bytes, long* chars);
	// True when [start, start + count) lies within the len bytes of p and starts and ends on
	// character boundaries.
	static bool ValidateRange(const char* p, long len, long start, long count);

	static long StringLen(const char* p);  // characters (lead bytes)
	static long StringLen(const unsigned short* p);  // UTF-16 units

	// UTF-8 to UTF-16 units (code points above 0xFFFF become "?"). Always terminates dst.
	// True when the whole source was consumed.
	static bool Utf16FromUtf8(unsigned short* dst, long dstBytes, const char* src, long srcBytes);
	// UTF-16 units to UTF-8, each unit its own code point. False when a character does not fit.
	static bool Utf16ToUtf8(char* dst, long dstSize, const unsigned short* src, long srcBytes);

	// In place: every byte of a malformed sequence becomes "?".
	static void Clean(char* p);
	// In place: removes CR, LF and U+0085 (C2 85).
	static void RemoveNewlines(char* p);

	static unsigned short Rot13(unsigned short c);  // 0 becomes a space
	static void Rot13(unsigned short* p);
	static bool IsAlpha(unsigned short c) { return IsUpper(c) || (c >= 'a' && c <= 'z'); }
	static bool IsUpper(unsigned short c) { return c >= 'A' && c <= 'Z'; }
	static unsigned short ToLower(unsigned short c) { return IsUpper(c) ? (unsigned short)(c + 32) : c; }
};
