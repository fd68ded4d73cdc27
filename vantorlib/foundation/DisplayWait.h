// Throttle for progress-style updates: answers yes at most twice a second, and always for the
// first steps of a count.
#pragma once

class DisplayWait {
public:
	static constexpr long long kInterval = 500000;

	// True when count is below 2 or half a second has passed since the last true answer.
	bool DisplayNow(long count);

private:
	long long mLast = 0;
};
