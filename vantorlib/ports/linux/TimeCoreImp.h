// The POSIX half of TimeCore: clocks, sleeping and the local-zone conversions (honouring TZ).
#pragma once

#include <ctime>

class TimeCoreImp {
public:
	static long long Now();
	static long long Tick();
	static void Sleep(long long usecs);
	static bool ClockSet(long long value);

	// Breaks whole seconds since the epoch down in the local zone.
	static bool LocalBreak(long long seconds, struct tm& out);
	// Converts local fields back to seconds since the epoch. isdst is -1 when unknown,
	// else the daylight-saving flag the fields were broken down with.
	static bool LocalMake(const struct tm& in, long long& seconds);

private:
	static void dstBugCheck();
	static bool localMakeRaw(struct tm tm, long long& seconds);
};
