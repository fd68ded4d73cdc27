// Clocks and the conversion of time values (signed 64-bit microseconds since
// 1970-01-01 00:00:00 UTC, 0 meaning no time) to and from broken-down times.
#pragma once

#include <cstdint>

// A broken-down time, either in the local zone or at an explicit offset from UTC.
struct Time {
	int16_t year;  // 1969..2037
	int8_t month;  // 1..12
	int8_t day;  // 1..31
	int8_t hour;  // 0..23
	int8_t minute;  // 0..59
	int8_t second;  // 0..59
	int32_t microsecond;  // 0..999999
	int8_t weekday;  // 0 unknown, 1 Sunday .. 7 Saturday
	int16_t dayOfYear;  // 0 unknown, 1..366
	int64_t bias;  // offset of the zone east of UTC, in microseconds
	char zoneName[11];  // abbreviation such as "CET"; empty when the bias was given explicitly
	bool daylight;  // daylight saving time applies
};

class TimeCore {
public:
	// A bias argument meaning "the local zone".
	static constexpr long long kBiasLocal = -1;
	// A base time (for parsing) meaning "now".
	static constexpr long long kBaseNow = -2;

	static constexpr long long kUsecsPerSecond = 1000000LL;
	static constexpr long long kUsecsPerMinute = 60LL * kUsecsPerSecond;
	static constexpr long long kUsecsPerHour = 60LL * kUsecsPerMinute;
	static constexpr long long kUsecsPerDay = 24LL * kUsecsPerHour;

	static constexpr int kYearFirst = 1969;
	static constexpr int kYearLast = 2037;

	// The wall clock as a time value.
	static long long TimeGet();
	// A monotonic clock in microseconds, for measuring elapsed time.
	static long long TickCount();
	static void Sleep(long long usecs);
	// Sets the system clock; values below 200000000 are refused, as is a caller without the right.
	static bool TimeSet(long long value);

	// Whole seconds of a duration, rounded away from zero when there is a remainder.
	static long long Seconds(long long usecs);
	// A pseudo-random number in 0..n-1 (0 when n is 0).
	static unsigned long Random(unsigned long n);

	// Breaks value down in the local zone (bias kBiasLocal) or at UTC plus bias.
	// A value of 0 gives a cleared Time and success; a negative value or a result
	// outside the valid range fails with a cleared Time.
	static bool ToTime(Time& out, long long value, long long bias);
	// The inverse of ToTime: the fields are read as local time (bias kBiasLocal) or
	// as time at that offset. Fails (value 0) for an invalid Time.
	static bool ToTimeVal(long long& value, const Time& time, long long bias);

	static void Clear(Time& time);
	static void Copy(Time& dst, const Time& src);
	static bool Valid(const Time& time);

	// Days in a month of a year (proleptic Gregorian).
	static int MonthDays(int year, int month);
	// Days since 1970-01-01 of a civil date, and back.
	static long long DaysFromCivil(int year, int month, int day);
	static void CivilFromDays(long long days, int& year, int& month, int& day);
};
