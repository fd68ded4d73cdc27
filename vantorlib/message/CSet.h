// The character sets the program knows: their names as used in headers, their one-character
// codes as stored in message state strings, and whether this machine can convert them.
#pragma once

#include "Charset.h"
#include "TString.h"

class CSet {
public:
	static bool Valid(Charset cs);
	static Charset MakeValid(Charset cs);  // an unknown value becomes ISO-8859-1
	static bool Available(Charset cs);
	static bool AsciiCompatible(Charset) { return true; }

	static const char* String(Charset cs);  // "<None>" for an unknown value
	static Charset Value(const char* name);  // case-insensitive; 0 when unknown or not available
	static Charset Value(const TString& name) { return Value(name.String()); }
	static char CharString(Charset cs);  // 'x' for an unknown value
	static Charset CharValue(char code);

	// Converts bytes between charsets and tags out with to; true when converted (equal
	// charsets count). Text that cannot be converted is copied as its bytes, cleaned; on
	// failure out keeps its previous charset tag.
	static bool Convert(Charset from, const TString& text, Charset to, TString& out);
	static bool Convert(Charset from, const char* text, Charset to, TString& out);

	// The converter name the platform uses for a charset (nullptr when it has none).
	static const char* PlatformName(Charset cs);
};
