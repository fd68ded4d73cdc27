// Character set conversion of the platform (ICU converters on Linux).
#pragma once

#include <string>

#include "Charset.h"

class TString;

class CSetImp {
public:
	// Whether the platform converts this charset.
	static bool Builtin(Charset cs);
	// Converts text from one charset to another; true only for equal charsets (after
	// US-ASCII is read as ISO-8859-1) or a real conversion. When nothing could be
	// converted, out holds the input bytes, cleaned of what is invalid in out's charset.
	static bool Convert(Charset from, const TString& text, Charset to, TString& out);

	// A converter from a charset to UTF-8 that keeps a character cut between two pieces of
	// text for the next piece; bytes that are not valid in the charset become U+FFFD. Open
	// gives null when the platform cannot convert the charset.
	static void* DecoderOpen(Charset cs);
	// Appends the UTF-8 text of n bytes to out; with flush, an unfinished character at the
	// end is given up as U+FFFD.
	static void DecoderRun(void* decoder, const char* src, long n, bool flush, std::string& out);
	static void DecoderClose(void* decoder);

	// Whether the platform has a converter of this name.
	static bool Exists(const char* converterName);
};
