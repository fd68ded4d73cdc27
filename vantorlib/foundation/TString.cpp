#include "TString.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string_view>
#include <strings.h>

#include "Assert.h"
#include "TStringImp.h"
#include "Unicode.h"

namespace {

// Unicode::Validate over exactly n readable bytes without a NUL: runs of ASCII go eight bytes
// at a time, the rest character by character.
bool validateBytes(const char* s, long n, long* bytes, long* chars)
{
	constexpr uint64_t kHigh = 0x8080808080808080ULL, kLow = 0x0101010101010101ULL;
	long b = 0;
	while (n - b >= 8) {
		uint64_t w;
		std::memcpy(&w, s + b, sizeof w);
		if (((w | (w - kLow)) & kHigh) != 0)
			break;
		b += 8;
	}
	long rb = 0, rc = 0;
	if (!Unicode::Validate(s + b, n - b, kStringAll, &rb, &rc)) {
		*bytes = *chars = 0;
		return false;
	}
	*bytes = b + rb;
	*chars = b + rc;
	return true;
}

constexpr long kFmtBufferBytes = 4096;
constexpr long kSlackMax = 160;  // most spare bytes a write reserves
constexpr long kShrinkSlack = 2047;  // a buffer shrinks only with more spare bytes than this

const char kInvalidUtf8[] = "malformed UTF-8 stored in a string that does not allow it";

inline bool isCont(char c)
{
	return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Bytes before the NUL, at most limit.
inline long boundedLen(const char* s, long limit)
{
	return limit > 0 ? static_cast<long>(strnlen(s, static_cast<size_t>(limit))) : 0;
}

}  // namespace

// ---- construction and assignment

TString::TString() = default;

TString::TString(const char* s)
{
	Assign(s);
}

TString::TString(const TString& s)
{
	Assign(s);
}

TString::TString(TString&& s) noexcept
	: mBuf(s.mBuf), mCap(s.mCap), mBytes(s.mBytes), mChars(s.mChars), mStream(s.mStream),
	  mCharset(s.mCharset), mAllowInvalid(s.mAllowInvalid), mValid(s.mValid)
{
	s.mBuf = nullptr;
	s.mCap = -1;
	s.mBytes = s.mChars = s.mStream = 0;
	s.mValid = true;
}

TString::TString(const std::string& s)
{
	Assign(s);
}

TString::~TString()
{
	delete[] mBuf;
}

TString& TString::operator=(const char* s)
{
	Assign(s);
	return *this;
}

TString& TString::operator=(const TString& s)
{
	if (this != &s)
		Assign(s);
	return *this;
}

TString& TString::operator=(TString&& s) noexcept
{
	if (this != &s) {
		delete[] mBuf;
		mBuf = s.mBuf;
		mCap = s.mCap;
		mBytes = s.mBytes;
		mChars = s.mChars;
		mStream = s.mStream;
		mCharset = s.mCharset;
		mAllowInvalid = s.mAllowInvalid;
		mValid = s.mValid;
		s.mBuf = nullptr;
		s.mCap = -1;
		s.mBytes = s.mChars = s.mStream = 0;
		s.mValid = true;
	}
	return *this;
}

TString& TString::operator=(const std::string& s)
{
	Assign(s);
	return *this;
}

TString& TString::operator+=(const char* s)
{
	Append(s);
	return *this;
}

TString& TString::operator+=(const TString& s)
{
	Append(s);
	return *this;
}

TString& TString::operator+=(char c)
{
	Append(c);
	return *this;
}

void TString::Assign(const char* s)
{
	Assign(s, kStringAll);
}

void TString::Assign(const char* s, long n)
{
	if (aliases(s)) {
		std::string copy(s);
		Assign(copy.c_str(), n);
		return;
	}
	reset();
	put(0, s, n, AddrChar);
}

void TString::AssignByte(const char* s, long n)
{
	if (aliases(s)) {
		std::string copy(s);
		AssignByte(copy.c_str(), n);
		return;
	}
	reset();
	put(0, s, n, AddrByte);
}

void TString::Assign(const TString& s)
{
	if (&s == this)
		return;
	reset();
	if (s.mBytes > 0) {
		grow(s.mBytes);
		std::memcpy(mBuf, s.mBuf, static_cast<size_t>(s.mBytes));
		mBuf[s.mBytes] = 0;
	}
	mBytes = s.mBytes;
	mChars = s.mChars;
	mStream = s.mStream;
	mCharset = s.mCharset;
	mAllowInvalid = s.mAllowInvalid;
	mValid = s.mValid;
}

void TString::Assign(char c)
{
	Assign(c, 1);
}

void TString::Assign(char c, long n)
{
	reset();
	Append(c, n);
}

void TString::Assign(const std::string& s)
{
	std::string clean;
	// A little over the limit so that clipping happens here, on a character boundary.
	TStringImp::Utf8Lossy(s.data(), s.size(), kStringMaxBytes + 8, clean);
	mCharset = kCharsetUTF8;
	reset();
	put(0, clean.c_str(), kStringAll, AddrChar);
}

void TString::AssignPascal(const unsigned char* p)
{
	mCharset = kCharsetUTF8;
	reset();
	if (!p)
		return;
	std::string bytes(reinterpret_cast<const char*>(p + 1), p[0]);
	put(0, bytes.c_str(), p[0], AddrByte);
}

std::string TString::ToStdString() const
{
	std::string out;
	if (mCharset == kCharsetUSASCII) {
		out.assign(String(), static_cast<size_t>(mBytes));
		for (char& c : out)
			if (static_cast<unsigned char>(c) >= 0x80)
				c = '?';
	} else if (mCharset == kCharsetUTF8) {
		if (TStringImp::Utf8Strict(String(), static_cast<size_t>(mBytes)))
			out.assign(String(), static_cast<size_t>(mBytes));
		else
			TStringImp::Utf8Lossy(String(), static_cast<size_t>(mBytes), static_cast<size_t>(mBytes), out);
	}
	return out;
}

void TString::ToPascalString(unsigned char* out) const
{
	if (!out)
		return;
	out[0] = 0;
	if (mCharset != kCharsetUTF8 && mCharset != kCharsetUSASCII)
		return;
	for (long i = 0; i < mBytes; i++)
		if (static_cast<unsigned char>(mBuf[i]) >= 0x80)
			return;
	long n = std::min<long>(mBytes, 255);
	if (n > 0)
		std::memcpy(out + 1, mBuf, static_cast<size_t>(n));
	out[0] = static_cast<unsigned char>(n);
}

// ---- state

void TString::Erase()
{
	reset();
	grow(0);
}

void TString::CharsetSet(Charset cs)
{
	mCharset = cs;
	recompute();
}

void TString::AllowInvalidSet(bool allow)
{
	mAllowInvalid = allow;
	recompute();
}

void TString::Clean()
{
	if (mCharset != kCharsetUTF8 || !mBuf)
		return;
	Unicode::Clean(mBuf);  // same length: each bad byte becomes one "?"
	mStream = 0;
	mValid = true;
	recompute();
}

// ---- single characters

bool TString::charOk(char c) const
{
	if (c == 0)
		return false;
	if (mCharset == kCharsetUTF8 || mCharset == kCharsetUSASCII)
		return Str::IsAscii(c);
	return true;
}

void TString::Append(char c)
{
	Append(c, 1);
}

void TString::Append(char c, long n)
{
	if (charOk(c))
		putChars(mBytes, c, n);
}

void TString::InsertLeft(char c)
{
	InsertLeft(c, 1);
}

void TString::InsertLeft(char c, long n)
{
	if (charOk(c))
		putChars(0, c, n);
}

void TString::InsertByte(long pos, char c)
{
	if (charOk(c))
		putChars(std::clamp<long>(pos, 0, mBytes), c, 1);
}

void TString::Replace(long pos, char c)
{
	long b0, b1;
	if (!charOk(c) || !resolve(pos, 1, AddrChar, b0, b1))
		return;
	splice(b0, b1 - b0, &c, 1, 0);
}

void TString::ReplaceByte(long pos, char c)
{
	ReplaceByte(pos, 1, c);
}

void TString::ReplaceByte(long pos, long len, char c)
{
	long b0, b1;
	if (!charOk(c) || !resolve(pos, len, AddrByte, b0, b1))
		return;
	bool breaks = multiByte() && (!boundary(b0) || !boundary(b1));
	long removed = breaks ? 0 : leadCount(b0, b1);
	splice(b0, b1 - b0, &c, 1, 1 - removed);
	if (breaks)
		markInvalid();
}

// ---- strings

void TString::Append(const char* s)
{
	put(mBytes, s, kStringAll, AddrChar);
}

void TString::Append(const char* s, long n)
{
	put(mBytes, s, n, AddrChar);
}

void TString::AppendByte(const char* s, long n)
{
	put(mBytes, s, n, AddrByte);
}

void TString::Append(const TString& s)
{
	if (s.mCharset != mCharset) {
		AssertFailed("appending a string of another charset", __FILE__, __LINE__);
		return;
	}
	// Both hold whole valid characters and all of s fits: its counts can be taken as they are.
	if (&s != this && charMode() && s.charMode() && s.mStream == 0 && mStream == 0 && s.mBytes > 0 &&
		s.mBytes <= kStringMaxBytes - mBytes) {
		splice(mBytes, 0, s.mBuf, s.mBytes, s.mChars);
		return;
	}
	put(mBytes, s.String(), kStringAll, AddrChar);
}

void TString::InsertLeft(const char* s)
{
	Insert(0, s);
}

void TString::InsertLeft(const TString& s)
{
	Insert(0, s);
}

void TString::Insert(long pos, const char* s, long n, AddrMode mode)
{
	long at;
	if (pos <= 0)
		at = 0;
	else if (mode == AddrChar)
		at = pos >= mChars ? mBytes : bytePos(pos);
	else
		at = std::min<long>(pos, mBytes);
	put(at, s, n, mode);
}

void TString::Insert(long pos, const TString& s, AddrMode mode)
{
	if (s.mCharset != mCharset) {
		AssertFailed("inserting a string of another charset", __FILE__, __LINE__);
		return;
	}
	long at;
	if (pos <= 0)
		at = 0;
	else if (mode == AddrChar)
		at = pos >= mChars ? mBytes : bytePos(pos);
	else
		at = std::min<long>(pos, mBytes);
	put(at, s.String(), kStringAll, AddrChar);
}

// ---- byte streams

void TString::AppendByteStream(char c)
{
	AppendByteStream(&c, 1);
}

void TString::AppendByteStream(const char* s, long n)
{
	if (!s || n < 1)
		return;
	long bytes = boundedLen(s, std::min<long>(n, kStringMaxBytes - mBytes));
	if (bytes < 1)
		return;
	if (aliases(s)) {
		std::string copy(s, static_cast<size_t>(bytes));
		AppendByteStream(copy.c_str(), bytes);
		return;
	}
	if (!charMode()) {
		splice(mBytes, 0, s, bytes, bytes);
		return;
	}
	// Track the continuation bytes still expected after each byte.
	long chars = 0;
	int32_t state = mStream;
	bool bad = false;
	for (long i = 0; i < bytes && !bad; i++) {
		unsigned char b = static_cast<unsigned char>(s[i]);
		if (state == 0) {
			long len = Unicode::CharLen(b);
			if (len == 0) {
				bad = true;
			} else {
				chars++;
				state = static_cast<int32_t>(len - 1);
			}
		} else if (state > 0 && state <= 5 && Unicode::CharContinue(b)) {
			state--;
		} else {
			bad = true;
		}
	}
	splice(mBytes, 0, s, bytes, chars);
	if (bad) {
		markInvalid();
	} else {
		mStream = state;
	}
}

// ---- erasing

void TString::Erase(long pos, long len)
{
	long b0, b1;
	if (resolve(pos, len, AddrChar, b0, b1))
		removeBytes(b0, b1, false);
}

void TString::EraseByte(long pos, long len)
{
	long b0, b1;
	if (resolve(pos, len, AddrByte, b0, b1))
		removeBytes(b0, b1, true);
}

void TString::EraseLeft(long n)
{
	Erase(0, n);
}

void TString::EraseRight(long n)
{
	if (n < 1)
		return;
	n = std::min<long>(n, mChars);
	Erase(mChars - n, n);
}

void TString::EraseLeftByte(long n)
{
	EraseByte(0, n);
}

void TString::EraseRightByte(long n)
{
	if (n < 1)
		return;
	n = std::min<long>(n, mBytes);
	EraseByte(mBytes - n, n);
}

void TString::Truncate(long n)
{
	if (n >= 0)
		Erase(n, kStringAll);
}

// ---- reading and substrings

bool TString::CharAt(long i, TString& out) const
{
	long b0, b1;
	if (!resolve(i, 1, AddrChar, b0, b1)) {
		out.Erase();
		return false;
	}
	out = sub(b0, b1, false);
	return true;
}

TString TString::sub(long b0, long b1, bool breaks) const
{
	TString r;
	r.copyFlags(*this);
	r.splice(0, 0, mBuf + b0, b1 - b0, leadCount(b0, b1));
	if (breaks)
		r.markInvalid();
	else if (b1 == mBytes)
		r.mStream = mStream;
	return r;
}

TString TString::Substring(long pos) const
{
	return Substring(pos, kStringAll);
}

TString TString::Substring(long pos, long len) const
{
	long b0, b1;
	if (!resolve(pos, len, AddrChar, b0, b1)) {
		TString r;
		r.copyFlags(*this);
		return r;
	}
	return sub(b0, b1, false);
}

TString TString::SubstringByte(long pos, long len) const
{
	long b0, b1;
	if (!resolve(pos, len, AddrByte, b0, b1)) {
		TString r;
		r.copyFlags(*this);
		return r;
	}
	return sub(b0, b1, multiByte() && (!boundary(b0) || !boundary(b1)));
}

TString TString::SubstringRight(long n) const
{
	if (n < 1) {
		TString r;
		r.copyFlags(*this);
		return r;
	}
	n = std::min<long>(n, mChars);
	return Substring(mChars - n, n);
}

// ---- comparison and searching

bool TString::operator==(const char* s) const
{
	return std::strcmp(String(), s ? s : Str::sBlank) == 0;
}

bool TString::operator==(const TString& s) const
{
	return mBytes == s.mBytes && std::memcmp(String(), s.String(), static_cast<size_t>(mBytes)) == 0;
}

int TString::Compare(const TString& s) const
{
	return std::strcmp(String(), s.String());
}

int TString::Compare(const TString& s, long n) const
{
	if (n < 1)
		return 0;
	// Past this string's last character the terminating NUL takes part, as with strncmp.
	long bytes = n >= mChars ? mBytes + 1 : bytePos(n);
	return std::strncmp(String(), s.String(), static_cast<size_t>(bytes));
}

int TString::CompareNoCase(const char* s) const
{
	return strcasecmp(String(), s ? s : Str::sBlank);
}

int TString::CompareNoCase(const TString& s) const
{
	return strcasecmp(String(), s.String());
}

const char* TString::FindPtr(char c) const
{
	return Str::FindPtr(String(), c);
}

const char* TString::FindPtr(const char* s, bool caseSensitive) const
{
	return Str::FindPtr(String(), s, caseSensitive);
}

const char* TString::FindPtr(const TString& s, bool caseSensitive) const
{
	return Str::FindPtr(String(), s.String(), caseSensitive);
}

const char* TString::LastPtr(char c) const
{
	return Str::LastPtr(String(), c);
}

const char* TString::LastPtr(const char* s, bool caseSensitive) const
{
	return Str::LastPtr(String(), s, caseSensitive);
}

const char* TString::LastPtr(const TString& s, bool caseSensitive) const
{
	return Str::LastPtr(String(), s.String(), caseSensitive);
}

bool TString::IsAscii() const
{
	return Str::IsAscii(String());
}

bool TString::IsWhite() const
{
	return Str::IsWhite(String());
}

bool TString::NonWhite() const
{
	return Str::NonWhite(String());
}

// ---- editing in place

void TString::StripLeft()
{
	long k = 0;
	while (k < mBytes && Str::IsWhite(mBuf[k]))
		k++;
	if (k > 0)
		removeBytes(0, k, false);
}

void TString::StripRight()
{
	long k = mBytes;
	while (k > 0 && Str::IsWhite(mBuf[k - 1]))
		k--;
	if (k < mBytes)
		removeBytes(k, mBytes, false);
}

void TString::Trim()
{
	StripRight();
	StripLeft();
}

void TString::compact(bool (*drop)(char, char), char arg)
{
	long out = 0;
	for (long i = 0; i < mBytes; i++)
		if (!drop(mBuf[i], arg))
			mBuf[out++] = mBuf[i];
	if (out == mBytes)
		return;
	// Only single-byte characters were dropped.
	mChars -= static_cast<int32_t>(mBytes - out);
	mBytes = static_cast<int32_t>(out);
	mBuf[mBytes] = 0;
}

void TString::StripSpace()
{
	compact([](char c, char) { return Str::IsWhite(c); }, 0);
}

void TString::StripChar(char c)
{
	if (charOk(c))
		compact([](char b, char x) { return b == x; }, c);
}

void TString::StripNonDigit()
{
	long out = 0;
	for (long i = 0; i < mBytes; i++)
		if (Str::IsDigit(mBuf[i]))
			mBuf[out++] = mBuf[i];
	if (out == mBytes)
		return;
	mBytes = static_cast<int32_t>(out);
	mBuf[mBytes] = 0;
	mStream = 0;
	recompute();
}

void TString::ReplaceAll(char a, char b)
{
	if (a == b || !charOk(a) || !charOk(b))
		return;
	for (long i = 0; i < mBytes; i++)
		if (mBuf[i] == a)
			mBuf[i] = b;
}

void TString::ToLower()
{
	for (long i = 0; i < mBytes; i++)
		mBuf[i] = Str::ToLower(mBuf[i]);
}

void TString::ToUpper()
{
	for (long i = 0; i < mBytes; i++)
		mBuf[i] = Str::ToUpper(mBuf[i]);
}

void TString::ToAscii()
{
	for (long i = 0; i < mBytes; i++) {
		unsigned char b = static_cast<unsigned char>(mBuf[i]);
		if (b >= 0xA0)
			mBuf[i] = static_cast<char>(b - 0x80);
		else if (b >= 0x80)
			mBuf[i] = ' ';
	}
	mChars = mBytes;
	mStream = 0;
	mValid = true;
}

void TString::Rot13()
{
	for (long i = 0; i < mBytes; i++)
		mBuf[i] = Str::Rot13(mBuf[i]);
}

void TString::Pad(char c, long width)
{
	if (width > mChars)
		Append(c, width - mChars);
}

void TString::NormalizeLineEnds()
{
	bool nel = charMode();
	long out = 0;
	long merged = 0;  // characters lost by joining CR LF
	for (long i = 0; i < mBytes; i++) {
		char c = mBuf[i];
		if (c == '\r') {
			if (i + 1 < mBytes && mBuf[i + 1] == '\n') {
				i++;
				merged++;
			}
			mBuf[out++] = '\n';
		} else if (nel && static_cast<unsigned char>(c) == 0xC2 && i + 1 < mBytes &&
			static_cast<unsigned char>(mBuf[i + 1]) == 0x85) {
			i++;
			mBuf[out++] = '\n';
		} else {
			mBuf[out++] = c;
		}
	}
	if (out == mBytes)
		return;
	bool multi = multiByte();
	mBytes = static_cast<int32_t>(out);
	mBuf[mBytes] = 0;
	mChars = multi ? static_cast<int32_t>(mChars - merged) : mBytes;
}

void TString::RemoveNewlines()
{
	if (!mBuf)
		return;
	if (mCharset == kCharsetUTF8) {
		Unicode::RemoveNewlines(mBuf);
	} else {
		// In other charsets the bytes C2 85 are two ordinary characters.
		compact([](char c, char) { return c == '\r' || c == '\n'; }, 0);
		return;
	}
	long n = static_cast<long>(std::strlen(mBuf));
	if (n == mBytes)
		return;
	mBytes = static_cast<int32_t>(n);
	recompute();
}

void TString::WhiteEncode()
{
	if (!FindPtr('\t') && !FindPtr('\n'))
		return;
	std::string out;
	out.reserve(static_cast<size_t>(mBytes) + 16);
	for (long i = 0; i < mBytes; i++) {
		if (mBuf[i] == '\t')
			out += "\\t";
		else if (mBuf[i] == '\n')
			out += "\\n";
		else
			out += mBuf[i];
	}
	replaceContent(out.data(), static_cast<long>(out.size()));
}

void TString::WhiteDecode()
{
	if (!FindPtr('\\'))
		return;
	long out = 0;
	long merged = 0;
	for (long i = 0; i < mBytes; i++) {
		if (mBuf[i] == '\\' && i + 1 < mBytes && (mBuf[i + 1] == 't' || mBuf[i + 1] == 'n')) {
			mBuf[out++] = mBuf[i + 1] == 't' ? '\t' : '\n';
			i++;
			merged++;
		} else {
			mBuf[out++] = mBuf[i];
		}
	}
	mBytes = static_cast<int32_t>(out);
	mBuf[mBytes] = 0;
	mChars -= static_cast<int32_t>(merged);
}

void TString::FloatFixup()
{
	// Only a number: optional sign, digits, ".", digits.
	long i = (mBytes > 0 && (mBuf[0] == '-' || mBuf[0] == '+')) ? 1 : 0;
	long intStart = i;
	while (i < mBytes && Str::IsDigit(mBuf[i]))
		i++;
	if (i == intStart || i >= mBytes || mBuf[i] != '.')
		return;
	long start = i + 1;
	for (i = start; i < mBytes; i++)
		if (!Str::IsDigit(mBuf[i]))
			return;
	long end = mBytes;
	while (end > start + 2 && mBuf[end - 1] == '0')
		end--;
	if (end < mBytes)
		removeBytes(end, mBytes, false);
}

void TString::Normalize(bool composed)
{
	if (mCharset != kCharsetUTF8 || Empty() || !Valid())
		return;
	// Text the platform does not take as UTF-8 (the old 5- and 6-byte forms) stays as it is
	// rather than turning into replacement characters.
	if (!TStringImp::Utf8Strict(mBuf, static_cast<size_t>(mBytes)))
		return;
	std::string out;
	if (TStringImp::Normalize(mBuf, static_cast<size_t>(mBytes), composed, out))
		replaceContent(out.data(), static_cast<long>(out.size()));
}

// ---- quoted text

bool TString::QuoteEncode(const char* src)
{
	std::string out = "\"";
	for (const char* p = src ? src : Str::sBlank; *p; p++) {
		switch (*p) {
		case '\r': reset(); return false;
		case '\t': out += "\\t"; break;
		case '\n': out += "\\n"; break;
		case '"': out += "\\\""; break;
		case '\\':
			// Doubled, so that a backslash before "n", "t", a quote or the end reads back.
			out += "\\\\";
			break;
		default: out += *p;
		}
	}
	out += '"';
	reset();
	// A clipped quoted text would lose its closing quote and read back as garbage.
	if (static_cast<long>(out.size()) > kStringMaxBytes)
		return false;
	put(0, out.c_str(), kStringAll, AddrByte);
	return true;
}

bool TString::QuoteEncode(const TString& src)
{
	if (&src != this)
		copyFlags(src);
	return QuoteEncode(src.String());
}

bool TString::QuoteDecode(const char* src, const char** end)
{
	if (end)
		*end = nullptr;
	if (!src || *src != '"') {
		reset();
		return false;
	}
	std::string out;
	const char* p = src + 1;
	for (;;) {
		char c = *p;
		if (c == 0 || c == '\r' || c == '\n') {
			reset();
			return false;
		}
		if (c == '"') {
			p++;
			break;
		}
		if (c == '\\') {
			switch (p[1]) {
			case '"':
				out += '"';
				p += 2;
				continue;
			case 'n':
				out += '\n';
				p += 2;
				continue;
			case 't':
				out += '\t';
				p += 2;
				continue;
			case '\\':
				out += '\\';
				p += 2;
				continue;
			case 'r': reset(); return false;
			default:
				// Any other pair keeps its backslash; the next character is read normally.
				out += '\\';
				p++;
				continue;
			}
		}
		out += c;
		p++;
	}
	reset();
	put(0, out.c_str(), kStringAll, AddrByte);
	if (end)
		*end = p;
	return true;
}

bool TString::QuoteDecode(const TString& src, const char** end)
{
	if (&src != this)
		copyFlags(src);
	return QuoteDecode(src.String(), end);
}

// ---- tokens and formatting

bool TString::tokenFrom(long n, const char* src, bool useDelim, char delim)
{
	const char* p = useDelim ? Str::TokenPtr(n, src, delim) : Str::TokenPtr(n, src);
	if (!p) {
		reset();
		return false;
	}
	const char* e = p;
	if (useDelim && delim)
		while (*e && *e != delim)
			e++;
	else
		while (*e && !Str::IsWhite(*e))
			e++;
	std::string token(p, static_cast<size_t>(e - p));
	reset();
	put(0, token.c_str(), kStringAll, AddrByte);
	return !Empty();
}

bool TString::Token(long n, const char* src)
{
	return tokenFrom(n, src, false, 0);
}

bool TString::Token(long n, const TString& src)
{
	if (&src != this)
		copyFlags(src);
	return tokenFrom(n, src.String(), false, 0);
}

bool TString::Token(long n, const char* src, char delim)
{
	return tokenFrom(n, src, true, delim);
}

bool TString::Token(long n, const TString& src, char delim)
{
	if (&src != this)
		copyFlags(src);
	return tokenFrom(n, src.String(), true, delim);
}

void TString::Fmt(const char* format, ...)
{
	va_list args;
	va_start(args, format);
	FmtArg(format, args);
	va_end(args);
}

void TString::FmtArg(const char* format, va_list args)
{
	char buf[kFmtBufferBytes];
	int r = format ? std::vsnprintf(buf, sizeof buf, format, args) : -1;
	reset();
	if (r < 1)
		return;
	long n = std::min<long>(r, kFmtBufferBytes - 1);
	if (r > n && mCharset == kCharsetUTF8) {
		// Cut output: drop a character the cut split in two.
		long i = n - 1;
		while (i > 0 && isCont(buf[i]))
			i--;
		if (Unicode::CharLen(static_cast<unsigned char>(buf[i])) > n - i)
			n = i;
		buf[n] = 0;
	}
	// Text that is not UTF-8 (from the format or a "%s" argument) cannot enter a string that
	// does not allow it: such bytes become "?" rather than a failed assertion.
	if (mCharset == kCharsetUTF8 && !mAllowInvalid && !TStringImp::Utf8Strict(buf, static_cast<size_t>(n))) {
		std::string clean;
		TStringImp::Utf8Lossy(buf, static_cast<size_t>(n), kFmtBufferBytes, clean);
		put(0, clean.c_str(), kStringAll, AddrByte);
		return;
	}
	put(0, buf, n, AddrByte);
}

// ---- internals

bool TString::aliases(const char* p) const
{
	auto a = reinterpret_cast<std::uintptr_t>(p);
	auto b = reinterpret_cast<std::uintptr_t>(mBuf);
	return mBuf && a >= b && a <= b + static_cast<std::uintptr_t>(mCap);
}

void TString::grow(long n)
{
	long target = std::min<long>(n + std::min<long>(kSlackMax, n / 2 + 4), kStringMaxBytes);
	if (target == mCap)
		return;
	if (!mBuf && n < 1)
		return;
	if (mCap < n || mCap - target > kShrinkSlack)
		reallocTo(target);
}

void TString::reallocTo(long target)
{
	char* block = new char[static_cast<size_t>(target) + 1];  // throws std::bad_alloc, leaving us as we were
	long keep = std::min<long>(mBytes, target);
	if (keep > 0)
		std::memcpy(block, mBuf, static_cast<size_t>(keep));
	block[keep] = 0;
	delete[] mBuf;
	mBuf = block;
	mCap = static_cast<int32_t>(target);
}

void TString::reset()
{
	mBytes = 0;
	mChars = 0;
	mStream = 0;
	mValid = true;
	if (mBuf)
		mBuf[0] = 0;
}

void TString::copyFlags(const TString& s)
{
	mCharset = s.mCharset;
	mAllowInvalid = s.mAllowInvalid;
	mValid = s.mValid;
}

void TString::markInvalid()
{
	QF_ASSERT(mAllowInvalid, kInvalidUtf8);
	mValid = false;
	mChars = mBytes;
	mStream = 0;
}

void TString::recompute()
{
	bool wasValid = mValid;
	if (mCharset != kCharsetUTF8 || mBytes == 0) {
		mChars = mBytes;
		mValid = true;
		mStream = 0;
		return;
	}
	const unsigned char* u = reinterpret_cast<const unsigned char*>(mBuf);
	long i = 0, chars = 0;
	int32_t pending = 0;
	bool ok = true;
	while (i < mBytes) {
		if (u[i] < 0x80) {
			i++;
			chars++;
			continue;
		}
		long len = Unicode::CharLen(u[i]);
		if (len == 0) {
			ok = false;
			break;
		}
		long k = 1;
		while (k < len && i + k < mBytes && Unicode::CharContinue(u[i + k]))
			k++;
		if (k < len) {
			// A character still arriving through the byte stream may end the content.
			if (i + k == mBytes && mStream > 0) {
				pending = static_cast<int32_t>(len - k);
				chars++;
				break;
			}
			ok = false;
			break;
		}
		i += len;
		chars++;
	}
	if (ok) {
		mValid = true;
		mChars = static_cast<int32_t>(chars);
		mStream = pending;
	} else {
		mValid = false;
		mChars = mBytes;
		mStream = 0;
		if (wasValid)
			QF_ASSERT(mAllowInvalid, kInvalidUtf8);
	}
}

long TString::bytePos(long charPos) const
{
	if (charPos <= 0)
		return 0;
	if (!multiByte())
		return std::min<long>(charPos, mBytes);
	if (charPos >= mChars)
		return mBytes;
	if (charPos <= mChars / 2) {
		long count = 0;
		for (long i = 0; i < mBytes; i++)
			if (!isCont(mBuf[i]) && count++ == charPos)
				return i;
		return mBytes;
	}
	// Nearer the end: walk back from there.
	long count = mChars;
	long i = mBytes;
	while (i > 0) {
		i--;
		if (!isCont(mBuf[i]) && --count == charPos)
			return i;
	}
	return 0;
}

long TString::leadCount(long from, long to) const
{
	if (!multiByte())
		return to - from;
	long n = 0;
	for (long i = from; i < to; i++)
		if (!isCont(mBuf[i]))
			n++;
	return n;
}

bool TString::boundary(long pos) const
{
	return pos >= mBytes || !isCont(mBuf[pos]);
}

bool TString::resolve(long pos, long len, AddrMode mode, long& b0, long& b1) const
{
	bool chars = mode == AddrChar && multiByte();
	long total = chars ? mChars : mBytes;
	if (pos < 0 || pos >= total || len < 1)
		return false;
	len = std::min<long>(len, total - pos);
	if (chars) {
		b0 = bytePos(pos);
		b1 = pos + len == mChars ? mBytes : bytePos(pos + len);
	} else {
		b0 = pos;
		b1 = pos + len;
	}
	return true;
}

void TString::put(long at, const char* s, long n, AddrMode mode)
{
	// n is checked first: s may point just past the end of a buffer when n is 0.
	if (!s || n < 1 || !*s)
		return;
	long room = kStringMaxBytes - mBytes;
	if (room < 1)
		return;
	long bytes = 0, chars = 0;
	bool bad = false;
	if (!charMode()) {
		bytes = boundedLen(s, std::min(n, room));
		chars = bytes;
	} else if (mode == AddrChar) {
		if (!Unicode::Validate(s, room, n, &bytes, &chars)) {
			bad = true;
			bytes = boundedLen(s, std::min(n, room));
		}
	} else {
		long want = std::min(n, room);
		bytes = boundedLen(s, want);
		long vb, vc;
		// All bytes up to there are readable and none is NUL.
		if (!validateBytes(s, bytes, &vb, &vc)) {
			bad = true;
		} else if (vb == bytes) {
			chars = vc;
		} else if (want < n && bytes == want) {
			// Clipped by the size limit: drop the character the limit would split.
			bytes = vb;
			chars = vc;
		} else {
			bad = true;
		}
	}
	if (bytes < 1)
		return;
	// Inside a character, or after one still waiting for its continuation bytes.
	bool breaks = charMode() && ((at < mBytes && isCont(mBuf[at])) || (at == mBytes && mStream > 0));
	if (aliases(s)) {
		std::string copy(s, static_cast<size_t>(bytes));
		splice(at, 0, copy.data(), bytes, chars);
	} else {
		splice(at, 0, s, bytes, chars);
	}
	if (bad || breaks)
		markInvalid();
}

void TString::putChars(long at, char c, long n)
{
	n = std::min<long>(n, kStringMaxBytes - mBytes);
	if (n < 1)
		return;
	bool breaks = charMode() && ((at < mBytes && isCont(mBuf[at])) || (at == mBytes && mStream > 0));
	std::string run(static_cast<size_t>(n), c);
	splice(at, 0, run.data(), n, n);
	if (breaks)
		markInvalid();
}

void TString::splice(long at, long del, const char* ins, long insBytes, long charDelta)
{
	long newBytes = mBytes - del + insBytes;
	if (insBytes > del)
		grow(newBytes);
	if (!mBuf)
		return;
	long tail = mBytes - at - del;
	if (tail > 0 && insBytes != del)
		std::memmove(mBuf + at + insBytes, mBuf + at + del, static_cast<size_t>(tail));
	if (insBytes > 0)
		std::memcpy(mBuf + at, ins, static_cast<size_t>(insBytes));
	if (del > 0 && tail == 0)
		mStream = 0;  // the end went, with any character still arriving
	mBytes = static_cast<int32_t>(newBytes);
	mBuf[mBytes] = 0;
	mChars = static_cast<int32_t>(mChars + charDelta);
}

void TString::removeBytes(long b0, long b1, bool checkBoundaries)
{
	bool breaks = checkBoundaries && multiByte() && (!boundary(b0) || !boundary(b1));
	long removed = leadCount(b0, b1);
	splice(b0, b1 - b0, nullptr, 0, -removed);
	if (breaks)
		markInvalid();
}

void TString::replaceContent(const char* p, long n)
{
	if (n > kStringMaxBytes) {
		n = kStringMaxBytes;
		if (mCharset == kCharsetUTF8)
			while (n > 0 && isCont(p[n]))
				n--;
	}
	mBytes = 0;
	splice(0, 0, p, n, 0);
	recompute();
}

// ---- comparison objects and hashing

bool TString::CompNoCase::operator()(const TString& a, const TString& b) const
{
	return strcasecmp(a.String(), b.String()) < 0;
}

bool TString::CompNoCase::operator()(const TString& a, const char* b) const
{
	return strcasecmp(a.String(), b ? b : Str::sBlank) < 0;
}

bool TString::CompNoCase::operator()(const char* a, const TString& b) const
{
	return strcasecmp(a ? a : Str::sBlank, b.String()) < 0;
}

std::ostream& operator<<(std::ostream& os, const TString& s)
{
	return os.write(s.String(), s.ByteLength());
}

size_t std::hash<TString>::operator()(const TString& s) const noexcept
{
	return std::hash<std::string_view>()(std::string_view(s.String(), static_cast<size_t>(s.ByteLength())));
}
