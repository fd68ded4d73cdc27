// Line codecs for binaries carried in text: Base64 and uuencode, and the tests that find
// uuencoded blocks in a body.
#pragma once

#include "TString.h"

class BinText {
public:
	enum DataType : int {
		DataBinary = 1,  // bytes as they are
		DataText = 2,  // a zero byte becomes a space, and the output ends with a zero byte
	};

	// Decodes Base64 text, skipping anything outside the alphabet; returns the bytes written.
	// Stops when fewer than 6 bytes of room remain.
	static long Base64Decode(const char* text, unsigned char* out, long capacity, DataType type);
	static long Base64Decode(const TString& text, unsigned char* out, long capacity, DataType type);
	// Decodes in place as text; the result is tagged ISO-8859-1.
	static void Base64Decode(TString& text);

	// One uuencoded line to bytes; returns the count.
	static long UuDecode(const char* line, unsigned char* out, long capacity, DataType type);

	// "begin", a three-digit mode and a file name.
	static bool UuLineStart(const TString& line, TString& name);
	static bool UuLineStart(const TString& line);
	// "end" alone or followed by white space.
	static bool UuLineStop(const TString& line);
	// A complete uuencoded data line: it holds as many bytes as its first character says.
	static bool UuLineData(const TString& line);

private:
	static int uuValue(char c);
	static int base64Value(char c);
};
