// Platform half of TString: Unicode normalisation and strict UTF-8 conversion through ICU.
#pragma once

#include <cstddef>
#include <string>

class TStringImp {
public:
	// NFC (composed) or NFD of UTF-8 text. False when the platform cannot normalise it.
	static bool Normalize(const char* src, size_t bytes, bool composed, std::string& out);

	// Copies UTF-8 text with every ill-formed sequence (including surrogates and overlong
	// forms) replaced by "?". Stops at a NUL and once out holds at least maxOut bytes.
	static void Utf8Lossy(const char* src, size_t bytes, size_t maxOut, std::string& out);

	// True when the bytes are well-formed UTF-8 by the Unicode standard.
	static bool Utf8Strict(const char* src, size_t bytes);
};
