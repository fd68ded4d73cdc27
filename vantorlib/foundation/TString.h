// TString: the one string type of the engine. A bounded (kStringMaxBytes), heap-backed,
// NUL-terminated byte string tagged with a Charset (UTF-8 by default). For valid UTF-8 it
// counts characters as well as bytes, so positions and lengths are given in characters
// unless an operation's name says Byte; for other charsets, or UTF-8 content that is not
// valid, characters are bytes.
//
// Malformed UTF-8 may only enter a UTF-8 string that allows it (AllowInvalidSet(true));
// otherwise it is a failed internal assertion. Readers of outside data allow it first.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "Charset.h"
#include "Str.h"
#include "StringRange.h"

constexpr long kStringMaxBytes = 12288;  // content never exceeds this many bytes
constexpr long kStringAll = 2000000;  // a length meaning "all the rest"

class TString {
public:
	enum AddrMode { AddrByte = 1, AddrChar = 2 };

	// Ordering for maps and sets of names: ASCII case-insensitive (strcasecmp).
	struct CompNoCase {
		using is_transparent = void;
		bool operator()(const TString& a, const TString& b) const;
		bool operator()(const TString& a, const char* b) const;
		bool operator()(const char* a, const TString& b) const;
	};

	// Construction and assignment. Every assign first empties the string, keeping its
	// charset and allow-invalid setting; copies take those from the source.
	TString();
	TString(const char* s);
	TString(const TString& s);
	TString(TString&& s) noexcept;
	TString(const std::string& s);  // lossy UTF-8: unconvertible bytes become "?"
	~TString();

	TString& operator=(const char* s);
	TString& operator=(const TString& s);
	TString& operator=(TString&& s) noexcept;
	TString& operator=(const std::string& s);
	TString& operator+=(const char* s);
	TString& operator+=(const TString& s);
	TString& operator+=(char c);

	void Assign(const char* s);
	void Assign(const char* s, long n);  // at most n characters
	void AssignByte(const char* s, long n);  // at most n bytes
	void Assign(const TString& s);
	void Assign(char c);
	void Assign(char c, long n);
	void Assign(const std::string& s);  // lossy UTF-8; the charset becomes UTF-8
	void AssignPascal(const unsigned char* p);  // length byte then bytes, taken as UTF-8

	// Conversion out, lossy: what is not well-formed UTF-8 becomes "?". Only UTF-8 and
	// US-ASCII strings convert; others give "" (convert them to UTF-8 first).
	std::string ToStdString() const;
	// Writes a length byte and at most 255 bytes when the string is single-byte UTF-8 or
	// US-ASCII, else an empty Pascal string. out needs 256 bytes.
	void ToPascalString(unsigned char* out) const;

	// State.
	void Erase();
	Charset CharsetGet() const { return mCharset; }
	void CharsetSet(Charset cs);
	bool AllowInvalidGet() const { return mAllowInvalid; }
	void AllowInvalidSet(bool allow);
	bool Valid() const { return mCharset != kCharsetUTF8 || (mValid && mStream == 0); }
	void Clean();
	long Capacity() const { return mCap < 0 ? 0 : mCap; }

	// Single characters. The character must be non-zero and, for UTF-8 and US-ASCII, pass
	// Str::IsAscii(char); otherwise nothing happens.
	void Append(char c);
	void Append(char c, long n);
	void InsertLeft(char c);
	void InsertLeft(char c, long n);
	void InsertRight(char c) { Append(c); }
	void InsertByte(long pos, char c);
	void Replace(long pos, char c);  // the character at pos
	void ReplaceByte(long pos, char c);
	void ReplaceByte(long pos, long len, char c);  // the len bytes at pos become c

	// Strings. A position at or past the end appends; a negative one inserts at the front.
	// A TString source must have this string's charset.
	void Append(const char* s);
	void Append(const char* s, long n);  // at most n characters
	void AppendByte(const char* s, long n);  // at most n bytes
	void Append(const TString& s);
	void InsertLeft(const char* s);
	void InsertLeft(const TString& s);
	void Insert(long pos, const char* s, long n = kStringAll, AddrMode mode = AddrChar);
	void Insert(long pos, const TString& s, AddrMode mode = AddrChar);
	void InsertByte(long pos, const char* s, long n = kStringAll) { Insert(pos, s, n, AddrByte); }

	// Raw bytes that may end inside a UTF-8 character (network and file readers).
	void AppendByteStream(char c);
	void AppendByteStream(const char* s, long n);

	// Erasing. Ranges are clipped to the content; a position outside it does nothing.
	void Erase(long pos, long len);
	void EraseByte(long pos, long len);
	void EraseByte(const StringRange& r) { EraseByte(r.pos, r.len); }
	void EraseLeft(long n);
	void EraseRight(long n);
	void EraseLeftByte(long n);
	void EraseRightByte(long n);
	void Truncate(long n);  // keep the first n characters

	// Reading.
	const char* String() const { return mBuf ? mBuf : Str::sBlank; }
	long ByteLength() const { return mBytes; }
	long CharLength() const { return mChars; }
	bool Empty() const { return mBytes < 1; }
	char ByteAt(long i) const { return (i >= 0 && i < mBytes) ? mBuf[i] : 0; }
	char ByteFirst() const { return mBytes > 0 ? mBuf[0] : 0; }
	char ByteLast() const { return mBytes > 0 ? mBuf[mBytes - 1] : 0; }
	bool CharAt(long i, TString& out) const;
	bool CharFirst(TString& out) const { return CharAt(0, out); }
	bool CharLast(TString& out) const { return CharAt(mChars - 1, out); }

	// Substrings keep this string's charset and flags; an invalid range gives "".
	TString Substring(long pos) const;
	TString Substring(long pos, long len) const;
	TString SubstringByte(long pos, long len) const;
	TString SubstringByte(const StringRange& r) const { return SubstringByte(r.pos, r.len); }
	TString SubstringRight(long n) const;

	// Comparison (bytes; a string without buffer equals ""). != and "x" == s follow from ==.
	bool operator==(const char* s) const;
	bool operator==(const TString& s) const;
	bool operator<(const TString& s) const { return Compare(s) < 0; }
	int Compare(const TString& s) const;
	int Compare(const TString& s, long n) const;  // only this string's first n characters
	int CompareNoCase(const char* s) const;
	int CompareNoCase(const TString& s) const;

	// Searching: pointers into the buffer, null when absent. Case folding is ASCII only.
	const char* FindPtr(char c) const;
	const char* FindPtr(const char* s, bool caseSensitive = true) const;
	const char* FindPtr(const TString& s, bool caseSensitive = true) const;
	const char* LastPtr(char c) const;
	const char* LastPtr(const char* s, bool caseSensitive = true) const;
	const char* LastPtr(const TString& s, bool caseSensitive = true) const;

	bool IsAscii() const;
	bool IsWhite() const;
	bool NonWhite() const;

	// Editing in place. Whitespace is space, TAB, CR and LF.
	void StripLeft();
	void StripRight();
	void Trim();
	void StripSpace();
	void StripChar(char c);
	void StripNonDigit();
	void ReplaceAll(char a, char b);
	void ToLower();
	void ToUpper();
	void ToAscii();  // 0x80..0x9F become spaces, 0xA0..0xFF lose their top bit
	void Rot13();
	void Pad(char c, long width);
	void NormalizeLineEnds();  // CR LF, CR and U+0085 become LF
	void RemoveNewlines();  // removes CR, LF and U+0085
	void WhiteEncode();  // TAB and LF become \t and \n
	void WhiteDecode();
	void FloatFixup();  // "1.500000" becomes "1.50"
	void Normalize(bool composed);  // NFC (true) or NFD (false) for UTF-8 strings

	// Quoted text: "..." with \t, \n, \" and \\ escapes. Encoding fails (empty, false) on a
	// CR or when the quoted form would not fit. Decoding needs src to start with a double
	// quote; on success *end points past the closing quote, on failure the string is empty
	// and *end is null.
	bool QuoteEncode(const char* src);
	bool QuoteEncode(const TString& src);
	bool QuoteDecode(const char* src, const char** end = nullptr);
	bool QuoteDecode(const TString& src, const char** end = nullptr);

	// Tokens: the n-th (from 0) run of non-whitespace, or of non-delimiters. True when the
	// token found is non-empty.
	bool Token(long n, const char* src);
	bool Token(long n, const TString& src);
	bool Token(long n, const char* src, char delim);
	bool Token(long n, const TString& src, char delim);

	// printf-style formatting (at most 4095 bytes of output), then assigned.
	void Fmt(const char* format, ...) __attribute__((format(printf, 2, 3)));
	void FmtArg(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

	bool ParseInteger(char* sign, long* digits) const { return Str::ParseInteger(String(), sign, digits); }
	bool ParseFloat(char* sign, long* intDigits, long* fracDigits) const
	{
		return Str::ParseFloat(String(), sign, intDigits, fracDigits);
	}
	long long Atoll() const { return Str::Atoll(String()); }
	unsigned long long Atoull() const { return Str::Atoull(String()); }

private:
	bool charMode() const { return mCharset == kCharsetUTF8 && mValid; }
	bool multiByte() const { return charMode() && mChars != mBytes; }
	bool charOk(char c) const;
	bool aliases(const char* p) const;
	void grow(long n);
	void reallocTo(long target);
	void reset();
	void markInvalid();
	void recompute();
	void copyFlags(const TString& s);
	long bytePos(long charPos) const;
	long leadCount(long from, long to) const;
	bool boundary(long bytePos) const;
	bool resolve(long pos, long len, AddrMode mode, long& b0, long& b1) const;
	void put(long at, const char* s, long n, AddrMode mode);
	void putChars(long at, char c, long n);
	void splice(long at, long del, const char* ins, long insBytes, long charDelta);
	void removeBytes(long b0, long b1, bool checkBoundaries);
	void replaceContent(const char* p, long n);
	void compact(bool (*drop)(char, char), char arg);
	TString sub(long b0, long b1, bool breaks) const;
	bool tokenFrom(long n, const char* src, bool useDelim, char delim);

	char* mBuf = nullptr;
	int32_t mCap = -1;
	int32_t mBytes = 0;
	int32_t mChars = 0;
	int32_t mStream = 0;
	Charset mCharset = kCharsetUTF8;
	bool mAllowInvalid = false;
	bool mValid = true;
};

// Writes the bytes (for diagnostics and test output).
std::ostream& operator<<(std::ostream& os, const TString& s);

template <> struct std::hash<TString> {
	size_t operator()(const TString& s) const noexcept;
};
