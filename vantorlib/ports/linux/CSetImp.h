// Character set conversion of the platform (ICU converters on Linux).
#pragma once

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

	// Whether the platform has a converter of this name.
	static bool Exists(const char* converterName);
};
