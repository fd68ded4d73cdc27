// Text in one of the known charsets turned into UTF-8 piece by piece, as a body is read: a
// character cut between two pieces is completed by the next one, and bytes that are not valid
// in the charset become U+FFFD instead of spoiling the rest of the text.
#pragma once

#include <string>

#include "Charset.h"

class TextDecoder {
public:
	// A charset the machine cannot convert is read as ISO-8859-1.
	explicit TextDecoder(Charset cs = kCharsetUTF8);
	~TextDecoder();
	TextDecoder(const TextDecoder&) = delete;
	TextDecoder& operator=(const TextDecoder&) = delete;

	void Reset(Charset cs);
	Charset CharsetGet() const { return mCharset; }

	// Appends the UTF-8 text of n bytes to out. With flush, a character left unfinished at the
	// end becomes U+FFFD. NUL bytes become U+FFFD too, so that the text can be held in strings.
	void Feed(const char* s, long n, std::string& out, bool flush);

private:
	void* mDecoder = nullptr;
	Charset mCharset = kCharsetNone;
};
