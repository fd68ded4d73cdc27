// A byte range (position, then length) handed between parsers and TString's byte operations.
#pragma once

#include <cstdint>

struct StringRange {
	int32_t pos = 0;
	int32_t len = 0;

	StringRange() = default;
	StringRange(int32_t p, int32_t l) : pos(p), len(l) {}

	void Clear()
	{
		pos = 0;
		len = 0;
	}
	bool operator==(const StringRange&) const = default;
};
