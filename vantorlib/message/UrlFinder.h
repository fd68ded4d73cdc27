// Finds the links in a text shown to a reader: web, file, FTP, streaming and telnet addresses,
// e-mail addresses and message-IDs, with the target each one opens. A long address wrapped onto
// the next line is found across the line break.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "TString.h"

class UrlFinder {
public:
	// The kinds of link; each has its own colour.
	enum Kind : int32_t {
		KindEmail = 1,
		KindFile = 2,
		KindFtp = 3,
		KindHttp = 4,
		KindHttps = 5,
		KindNews = 6,
		KindMedia = 7,  // mms and rtsp
		KindTelnet = 8,
	};

	// One link; positions and lengths are in bytes of the text.
	struct Link {
		long pos = 0;
		long len = 0;
		Kind kind = KindHttp;
		TString target;  // what the link opens, with its scheme
	};

	// How far ahead a link is looked for.
	static constexpr long kLookMax = 400;
	// A line this long (in bytes) before its line feed may continue a link on the next line.
	static constexpr long kWrapMin = 64;

	// Appends the links of the UTF-8 text in order; returns how many.
	static long Locate(std::string_view text, std::vector<Link>& links);

	// One row of the table of link kinds.
	struct Row;

private:
	static bool tryRow(std::string_view text, size_t at, const Row& row, Link* link);
	static bool tryGeneric(std::string_view text, size_t at, const Row& row, Link* link);
	static bool tryEmail(std::string_view text, size_t at, Link* link);
	static bool tryNews(std::string_view text, size_t at, Link* link);
	static bool allowedBefore(std::string_view text, size_t at, char32_t* before);
	static void target(std::string_view linkText, const Row& row, TString& out);
};
