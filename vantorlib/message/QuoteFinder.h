// Finds the quoted lines of a text shown to a reader and how deep each is quoted, so that the
// display can colour them by depth.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

class QuoteFinder {
public:
	// One quoted line, its line feed included; positions and lengths are in bytes.
	struct Range {
		long pos = 0;
		long len = 0;
		int32_t depth = 0;  // 1 to kDepthMax
		int32_t colour = 0;  // the quote colour, 1 to kColours
	};
	static constexpr int32_t kDepthMax = 6;
	static constexpr int32_t kColours = 4;
	// How many characters from a line's start are looked at.
	static constexpr long kLookMax = 40;

	// Appends a range for every quoted line of the UTF-8 text; returns how many.
	static long Locate(std::string_view text, std::vector<Range>& ranges);
	// The quote depth of one line: the quote characters (">", "|", ":") among its leading run
	// of quote characters, spaces, no-break spaces and tabs.
	static int32_t LineDepth(std::string_view line);
	// Depths 1 to 3 have their own colour, every deeper one the fourth.
	static int32_t Colour(int32_t depth) { return depth < kColours ? depth : kColours; }
};
