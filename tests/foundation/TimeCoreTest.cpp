#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "TimeCore.h"
#include "TimeTestZone.h"

namespace {

const long long kSec = 1000000LL;
const long long kHour = 3600LL * kSec;
const long long kLocal = TimeCore::kBiasLocal;

Time make(int y, int mo, int d, int h, int mi, int s, int us = 0)
{
	Time t;
	TimeCore::Clear(t);
	t.year = (int16_t)y;
	t.month = (int8_t)mo;
	t.day = (int8_t)d;
	t.hour = (int8_t)h;
	t.minute = (int8_t)mi;
	t.second = (int8_t)s;
	t.microsecond = us;
	return t;
}

// Every field of the record is zero: no time. (Compared field by field: the padding between
// fields holds nothing.)
bool cleared(const Time& t)
{
	return t.year == 0 && t.month == 0 && t.day == 0 && t.hour == 0 && t.minute == 0 && t.second == 0 &&
		t.microsecond == 0 && t.weekday == 0 && t.dayOfYear == 0 && t.bias == 0 && t.zoneName[0] == 0 &&
		!t.daylight;
}

// Breaks v down at bias and converts it back.
long long roundTrip(long long v, long long bias, Time* out = nullptr)
{
	Time t;
	long long back = -1;
	if (!TimeCore::ToTime(t, v, bias) || !TimeCore::ToTimeVal(back, t, bias))
		return -1;
	if (out)
		*out = t;
	return back;
}

}  // namespace

TEST(TimeCore, NoTimeRangesAndValidity)
{
	Time zero, t = make(2009, 3, 5, 1, 2, 3);
	TimeCore::Clear(zero);
	ASSERT_TRUE(cleared(zero));
	std::strcpy(t.zoneName, "CET");
	t.bias = kHour;
	t.daylight = true;
	EXPECT_TRUE(TimeCore::ToTime(t, 0, 0));
	EXPECT_TRUE(cleared(t));
	EXPECT_FALSE(TimeCore::ToTime(t, -5, 0));
	// 2038-01-01 lies past the last valid year; the record is left cleared.
	t = make(2009, 3, 5, 1, 2, 3);
	EXPECT_FALSE(TimeCore::ToTime(t, 2145916800LL * kSec, 0));
	EXPECT_TRUE(cleared(t));
	EXPECT_FALSE(TimeCore::ToTime(t, 2145916800LL * kSec, kLocal));

	long long v = 99;
	EXPECT_FALSE(TimeCore::ToTimeVal(v, zero, 0));
	EXPECT_EQ(0, v);
	EXPECT_TRUE(TimeCore::Valid(make(1969, 1, 1, 0, 0, 0)));
	EXPECT_TRUE(TimeCore::Valid(make(2037, 12, 31, 23, 59, 59, 999999)));
	const Time bad[] = {make(1968, 12, 31, 0, 0, 0), make(2038, 1, 1, 0, 0, 0), make(2009, 0, 1, 0, 0, 0),
		make(2009, 13, 1, 0, 0, 0), make(2009, 1, 32, 0, 0, 0), make(2009, 1, 1, 24, 0, 0),
		make(2009, 1, 1, 0, 60, 0), make(2009, 1, 1, 0, 0, 60), make(2009, 1, 1, 0, 0, 0, 1000000)};
	for (const Time& b : bad) {
		EXPECT_FALSE(TimeCore::Valid(b));
		EXPECT_FALSE(TimeCore::ToTimeVal(v, b, 0));
	}
	t = make(2009, 1, 1, 0, 0, 0);
	t.weekday = 8;
	EXPECT_FALSE(TimeCore::Valid(t));
	t.weekday = 7;
	t.dayOfYear = 367;
	EXPECT_FALSE(TimeCore::Valid(t));
}

TEST(TimeCore, BreakDownAtOffsets)
{
	const long long v = 1236262029LL * kSec + 123456;  // Thu 2009-03-05 14:07:09.123456 UTC
	Time t;
	ASSERT_TRUE(TimeCore::ToTime(t, v, 0));
	EXPECT_EQ(2009, t.year);
	EXPECT_EQ(3, t.month);
	EXPECT_EQ(5, t.day);
	EXPECT_EQ(14 * 3600 + 7 * 60 + 9, t.hour * 3600 + t.minute * 60 + t.second);
	EXPECT_EQ(123456, t.microsecond);
	EXPECT_EQ(5, t.weekday);
	EXPECT_EQ(64, t.dayOfYear);

	// Eleven hours east crosses midnight; an explicit offset has no zone name.
	ASSERT_TRUE(TimeCore::ToTime(t, v, 11 * kHour));
	EXPECT_EQ(6, t.day);
	EXPECT_EQ(1, t.hour);
	EXPECT_EQ(6, t.weekday);
	EXPECT_EQ(11 * kHour, t.bias);
	EXPECT_STREQ("", t.zoneName);

	// West of UTC just after the epoch is still valid 1969.
	ASSERT_TRUE(TimeCore::ToTime(t, 3600 * kSec, -5 * kHour - 1800 * kSec));
	EXPECT_EQ(1969, t.year);
	EXPECT_EQ(19, t.hour);
	EXPECT_EQ(30, t.minute);
	EXPECT_EQ(365, t.dayOfYear);

	// Round trips over the whole range at several offsets.
	const long long biases[] = {
		0, kHour, -5 * kHour, 5 * kHour + 1800 * kSec, -9 * kHour - 1800 * kSec, 13 * kHour};
	for (long long x = 86400LL * kSec + 17; x < 2100000000LL * kSec; x += 7777777LL * kSec + 3)
		for (long long bias : biases)
			ASSERT_EQ(x, roundTrip(x, bias)) << x << " at " << bias;
}

TEST(TimeCore, LocalZoneAcrossDaylightSavingChanges)
{
	{
		ZoneScope zone("Europe/Berlin");
		// 2009-10-25 02:30 happens twice: 00:30 UTC in summer time, 01:30 UTC in winter time.
		Time t;
		EXPECT_EQ(1256430600LL * kSec, roundTrip(1256430600LL * kSec, kLocal, &t));
		EXPECT_EQ(2, t.hour);
		EXPECT_TRUE(t.daylight);
		EXPECT_EQ(2 * kHour, t.bias);
		EXPECT_STREQ("CEST", t.zoneName);
		EXPECT_EQ(1256434200LL * kSec, roundTrip(1256434200LL * kSec, kLocal, &t));
		EXPECT_EQ(2, t.hour);
		EXPECT_FALSE(t.daylight);
		EXPECT_STREQ("CET", t.zoneName);

		// Fields without zone information take the offset of their day, even with a stale
		// winter flag on a summer date.
		long long back = 0;
		ASSERT_TRUE(TimeCore::ToTimeVal(back, make(2009, 1, 1, 12, 0, 0, 5), kLocal));
		EXPECT_EQ(1230807600LL * kSec + 5, back);
		Time stale = make(2009, 7, 1, 12, 0, 0);
		std::strcpy(stale.zoneName, "CET");
		ASSERT_TRUE(TimeCore::ToTimeVal(back, stale, kLocal));
		EXPECT_EQ(1246442400LL * kSec, back);
	}
	{
		ZoneScope zone("America/New_York");
		Time t;
		// 2009-11-01 01:30 happens twice in New York.
		EXPECT_EQ(1257053400LL * kSec, roundTrip(1257053400LL * kSec, kLocal, &t));
		EXPECT_STREQ("EDT", t.zoneName);
		EXPECT_EQ(1257057000LL * kSec, roundTrip(1257057000LL * kSec, kLocal, &t));
		EXPECT_STREQ("EST", t.zoneName);
		EXPECT_EQ(-5 * kHour, t.bias);
		// Hourly over a whole year, through both changes.
		for (long long v = 1230768000LL * kSec + 250000, i = 0; i < 366LL * 24; i++, v += kHour)
			ASSERT_EQ(v, roundTrip(v, kLocal)) << i;
	}
}

TEST(TimeCore, SecondsRandomAndClocks)
{
	EXPECT_EQ(0, TimeCore::Seconds(0));
	EXPECT_EQ(2, TimeCore::Seconds(2000000));
	EXPECT_EQ(2, TimeCore::Seconds(1000001));
	EXPECT_EQ(-2, TimeCore::Seconds(-1000001));

	EXPECT_EQ(0u, TimeCore::Random(0));
	EXPECT_EQ(0u, TimeCore::Random(1));
	std::set<unsigned long> seen;
	for (int i = 0; i < 2000; i++) {
		unsigned long r = TimeCore::Random(26);
		ASSERT_LT(r, 26u);
		seen.insert(r);
	}
	EXPECT_EQ(26u, seen.size());
	EXPECT_LT(TimeCore::Random(0xFFFFFFFFUL), 0xFFFFFFFFUL);

	EXPECT_GT(TimeCore::TimeGet(), 1600000000LL * kSec);
	long long tick = TimeCore::TickCount();
	TimeCore::Sleep(20000);
	EXPECT_GE(TimeCore::TickCount() - tick, 20000);
}
