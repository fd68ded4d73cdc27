// Helpers on raw NUL-terminated byte strings: ASCII character classes, bounded copy and
// compare, searching, tokens and number syntax. Every pointer argument may be null and then
// reads as "".
#pragma once

#include <cinttypes>

class Str {
public:
	static constexpr char sBlank[] = "";
	static constexpr char sSpace[] = " ";

	// printf formats for the fixed-size integer types of this platform.
	static constexpr const char* sFmt_int8 = "%d";
	static constexpr const char* sFmt_int16 = "%d";
	static constexpr const char* sFmt_uint8 = "%u";
	static constexpr const char* sFmt_uint16 = "%u";
	static constexpr const char* sFmt_int32 = "%" PRId32;
	static constexpr const char* sFmt_uint32 = "%" PRIu32;
	static constexpr const char* sFmt_int64 = "%" PRId64;
	static constexpr const char* sFmt_uint64 = "%" PRIu64;
	// Numbers formatted with this are passed through TString::FloatFixup.
	static constexpr const char* sFmt_float = "%1.6f";

	// Collation table for list order: "A" < "a" < "B" < ... < "z", then "[" "\" "]" "^" "_" "`".
	static const unsigned char sCmap[256];

	// Lengths.
	static long Len(const char* s);
	static long Len(const unsigned short* s);  // size in bytes, 2 per unit

	// Bounded copy and append; the result is always terminated when size > 0.
	static void Cpy(char* dst, const char* src, unsigned long size);
	static void Cat(char* dst, const char* src, unsigned long size);

	// Comparison.
	static int Cmp(const char* a, const char* b, bool caseSensitive = true);
	static int CmpList(const char* a, const char* b);
	static int MemCmp(const void* a, const void* b, unsigned long n, bool caseSensitive = true);

	// Memory (overlap-safe copy; nothing for null or zero length).
	static void MemCpy(void* dst, const void* src, unsigned long n);
	static void MemSet(void* dst, int c, unsigned long n);
	static void MemZero(void* dst, unsigned long n);

	// Searching: first or last occurrence, or null.
	static const char* FindPtr(const char* s, char c);
	static const char* FindPtr(const char* s, const char* sub, bool caseSensitive = true);
	static const char* LastPtr(const char* s, char c);
	static const char* LastPtr(const char* s, const char* sub, bool caseSensitive = true);

	// Whole-string tests.
	static bool IsAscii(const char* s);  // every byte passes IsAscii(char); "" passes
	static bool IsWhite(const char* s);  // empty or only whitespace
	static bool NonWhite(const char* s);  // non-empty and no whitespace

	// Start of the n-th (from 0) token, or null. Without a delimiter tokens are runs of
	// non-whitespace; with one, runs of the delimiter separate tokens.
	static const char* TokenPtr(long n, const char* s);
	static const char* TokenPtr(long n, const char* s, char delim);

	// Number syntax. Outputs may be null.
	static bool ParseInteger(const char* s, char* sign, long* digits);
	static bool ParseFloat(const char* s, char* sign, long* intDigits, long* fracDigits);
	static long long Atoll(const char* s);
	static unsigned long long Atoull(const char* s);

	// ASCII character classes.
	static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
	static bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
	static bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
	static bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
	static bool IsAlpha(char c) { return IsLower(c) || IsUpper(c); }
	static bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }
	static char ToLower(char c) { return IsUpper(c) ? char(c + ('a' - 'A')) : c; }
	static char ToUpper(char c) { return IsLower(c) ? char(c - ('a' - 'A')) : c; }
	static bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
	static bool IsAscii(char c)
	{
		return IsWhite(c) || (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) <= 0x7F);
	}
	// Any byte of a multi-byte UTF-8 character counts as a letter.
	static bool IsAlphaUtf8(char c) { return IsAlpha(c) || static_cast<unsigned char>(c) >= 0x80; }
	static bool IsAlnumUtf8(char c) { return IsAlnum(c) || static_cast<unsigned char>(c) >= 0x80; }
	static char Rot13(char c);
};
