#include "QuoteFinder.h"

int32_t QuoteFinder::LineDepth(std::string_view line)
{
	int32_t depth = 0;
	long chars = 0;
	size_t i = 0;
	while (i < line.size() && chars < kLookMax && depth <= kDepthMax - 1) {
		char c = line[i];
		if (c == '>' || c == '|' || c == ':') {
			++depth;
			++i;
		} else if (c == ' ' || c == '\t') {
			++i;
		} else if (c == '\xC2' && i + 1 < line.size() && line[i + 1] == '\xA0') {
			i += 2;  // a no-break space
		} else {
			break;
		}
		++chars;
	}
	return depth;
}

long QuoteFinder::Locate(std::string_view text, std::vector<Range>& ranges)
{
	long found = 0;
	size_t start = 0;
	while (start < text.size()) {
		size_t lf = text.find('\n', start);
		size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
		int32_t depth = LineDepth(text.substr(start, end - start));
		if (depth > 0) {
			ranges.push_back({long(start), long(end - start), depth, Colour(depth)});
			++found;
		}
		start = end;
	}
	return found;
}
