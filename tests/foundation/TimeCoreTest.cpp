#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "TimeCore.h"
#include "TimeTestZone.h"

namespace {

const long long kSec = 1000000LL;
const long long kHour = 3600LL * kSec;

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

}  // namespace

TEST(TimeCore, NoTimeAndOutOfRangeValues)
{
	Time t = make(2009, 3, 5, 1, 2, 3);
	EXPECT_TRUE(TimeCore::ToTime(t, 0, 0));
	Time zero;
	std::memset(&zero, 0, sizeof(zero));
	EXPECT_EQ(0, std::memcmp(&t, &zero, sizeof(t)));

	t = make(2009, 3, 5, 1, 2, 3);
	EXPECT_FALSE(TimeCore::ToTime(t, -5, 0));
	EXPECT_EQ(0, t.year);

	// 2038-01-01 lies past the last valid year, in UTC and in the local zone.
	EXPECT_FALSE(TimeCore::ToTime(t, 2145916800LL * kSec, 0));
	EXPECT_EQ(0, t.year);
	EXPECT_FALSE(TimeCore::ToTime(t, 2145916800LL * kSec, TimeCore::kBiasLocal));

	long long v = 99;
	EXPECT_FALSE(TimeCore::ToTimeVal(v, zero, 0));
	EXPECT_EQ(0, v);
	EXPECT_FALSE(TimeCore::ToTimeVal(v, make(2038, 1, 1, 0, 0, 0), 0));
	EXPECT_FALSE(TimeCore::ToTimeVal(v, make(1968, 12, 31, 0, 0, 0), 0));
}

TEST(TimeCore, ValidChecksEveryField)
{
	EXPECT_TRUE(TimeCore::Valid(make(1969, 1, 1, 0, 0, 0)));
	EXPECT_TRUE(TimeCore::Valid(make(2037, 12, 31, 23, 59, 59, 999999)));
	EXPECT_FALSE(TimeCore::Valid(make(2009, 0, 1, 0, 0, 0)));
	EXPECT_FALSE(TimeCore::Valid(make(2009, 13, 1, 0, 0, 0)));
	EXPECT_FALSE(TimeCore::Valid(make(2009, 1, 32, 0, 0, 0)));
	EXPECT_FALSE(TimeCore::Valid(make(2009, 1, 1, 24, 0, 0)));
	EXPECT_FALSE(TimeCore::Valid(make(2009, 1, 1, 0, 60, 0)));
	EXPECT_FALSE(TimeCore::Valid(make(2009, 1, 1, 0, 0, 60)));
	EXPECT_FALSE(TimeCore::Valid(make(2009, 1, 1, 0, 0, 0, 1000000)));
	Time t = make(2009, 1, 1, 0, 0, 0);
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
	EXPECT_EQ(14, t.hour);
	EXPECT_EQ(7, t.minute);
	EXPECT_EQ(9, t.second);
	EXPECT_EQ(123456, t.microsecond);
	EXPECT_EQ(5, t.weekday);
	EXPECT_EQ(64, t.dayOfYear);
	EXPECT_EQ(0, t.bias);

	// Eleven hours east crosses midnight; the zone name is dropped for an explicit offset.
	ASSERT_TRUE(TimeCore::ToTime(t, v, 11 * kHour));
	EXPECT_EQ(6, t.day);
	EXPECT_EQ(1, t.hour);
	EXPECT_EQ(6, t.weekday);
	EXPECT_EQ(11 * kHour, t.bias);
	EXPECT_STREQ("", t.zoneName);

	// West of UTC near the epoch lands in 1969, which is still valid.
	ASSERT_TRUE(TimeCore::ToTime(t, 3600 * kSec, -5 * kHour - 30 * 60 * kSec));
	EXPECT_EQ(1969, t.year);
	EXPECT_EQ(12, t.month);
	EXPECT_EQ(31, t.day);
	EXPECT_EQ(19, t.hour);
	EXPECT_EQ(30, t.minute);
	EXPECT_EQ(365, t.dayOfYear);

	// Leap day.
	ASSERT_TRUE(TimeCore::ToTime(t, 951782400LL * kSec, 0));  // 2000-02-29
	EXPECT_EQ(2, t.month);
	EXPECT_EQ(29, t.day);
	EXPECT_EQ(60, t.dayOfYear);
}

TEST(TimeCore, RoundTripsAtOffsets)
{
	const long long biases[] = {0, kHour, -5 * kHour, 5 * kHour + 30 * 60 * kSec, -9 * kHour - 30 * 60 * kSec, 13 * kHour};
	long long v = 86400LL * kSec + 17;
	while (v < 2100000000LL * kSec) {
		for (long long bias : biases) {
			Time t;
			ASSERT_TRUE(TimeCore::ToTime(t, v, bias)) << v;
			long long back = 0;
			ASSERT_TRUE(TimeCore::ToTimeVal(back, t, bias));
			EXPECT_EQ(v, back) << v << " at " << bias;
		}
		v += 7777777LL * kSec + 3;
	}
}

TEST(TimeCore, LocalZoneAcrossDaylightSavingChanges)
{
	{
		ZoneScope zone("Europe/Berlin");
		Time t;
		// The hour repeated when summer time ends: 2009-10-25 02:30 happens twice.
		const long long first = 1256430600LL * kSec;  // 00:30 UTC = 02:30 CEST
		const long long second = 1256434200LL * kSec;  // 01:30 UTC = 02:30 CET
		ASSERT_TRUE(TimeCore::ToTime(t, first, TimeCore::kBiasLocal));
		EXPECT_EQ(2, t.hour);
		EXPECT_EQ(30, t.minute);
		EXPECT_TRUE(t.daylight);
		EXPECT_EQ(2 * kHour, t.bias);
		EXPECT_STREQ("CEST", t.zoneName);
		long long back = 0;
		ASSERT_TRUE(TimeCore::ToTimeVal(back, t, TimeCore::kBiasLocal));
		EXPECT_EQ(first, back);

		ASSERT_TRUE(TimeCore::ToTime(t, second, TimeCore::kBiasLocal));
		EXPECT_EQ(2, t.hour);
		EXPECT_FALSE(t.daylight);
		EXPECT_EQ(kHour, t.bias);
		EXPECT_STREQ("CET", t.zoneName);
		ASSERT_TRUE(TimeCore::ToTimeVal(back, t, TimeCore::kBiasLocal));
		EXPECT_EQ(second, back);

		// Fields without zone information are read in whichever offset applies on that day.
		ASSERT_TRUE(TimeCore::ToTimeVal(back, make(2009, 7, 1, 12, 0, 0), TimeCore::kBiasLocal));
		EXPECT_EQ(1246442400LL * kSec, back);  // 10:00 UTC
		ASSERT_TRUE(TimeCore::ToTimeVal(back, make(2009, 1, 1, 12, 0, 0, 5), TimeCore::kBiasLocal));
		EXPECT_EQ(1230807600LL * kSec + 5, back);  // 11:00 UTC

		// A summer date with a stale winter flag still converts as summer time.
		Time stale = make(2009, 7, 1, 12, 0, 0);
		std::strcpy(stale.zoneName, "CET");
		stale.bias = kHour;
		ASSERT_TRUE(TimeCore::ToTimeVal(back, stale, TimeCore::kBiasLocal));
		EXPECT_EQ(1246442400LL * kSec, back);
	}
	{
		ZoneScope zone("America/New_York");
		Time t;
		// 2009-11-01 01:30 happens twice in New York.
		const long long first = 1257053400LL * kSec;  // 05:30 UTC = 01:30 EDT
		const long long second = 1257057000LL * kSec;  // 06:30 UTC = 01:30 EST
		ASSERT_TRUE(TimeCore::ToTime(t, first, TimeCore::kBiasLocal));
		EXPECT_EQ(1, t.hour);
		EXPECT_EQ(-4 * kHour, t.bias);
		EXPECT_STREQ("EDT", t.zoneName);
		long long back = 0;
		ASSERT_TRUE(TimeCore::ToTimeVal(back, t, TimeCore::kBiasLocal));
		EXPECT_EQ(first, back);
		ASSERT_TRUE(TimeCore::ToTime(t, second, TimeCore::kBiasLocal));
		EXPECT_EQ(1, t.hour);
		EXPECT_EQ(-5 * kHour, t.bias);
		EXPECT_STREQ("EST", t.zoneName);
		ASSERT_TRUE(TimeCore::ToTimeVal(back, t, TimeCore::kBiasLocal));
		EXPECT_EQ(second, back);

		// Hourly round trips over a whole year pass both changes.
		long long v = 1230768000LL * kSec + 250000;  // 2009-01-01
		for (int i = 0; i < 366 * 24; i++, v += kHour) {
			ASSERT_TRUE(TimeCore::ToTime(t, v, TimeCore::kBiasLocal));
			ASSERT_TRUE(TimeCore::ToTimeVal(back, t, TimeCore::kBiasLocal));
			ASSERT_EQ(v, back) << i;
		}
	}
}

TEST(TimeCore, SecondsRandomAndClocks)
{
	EXPECT_EQ(0, TimeCore::Seconds(0));
	EXPECT_EQ(2, TimeCore::Seconds(2000000));
	EXPECT_EQ(2, TimeCore::Seconds(1000001));
	EXPECT_EQ(-2, TimeCore::Seconds(-1000001));
	EXPECT_EQ(1, TimeCore::Seconds(1));

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

	EXPECT_FALSE(TimeCore::TimeSet(199999999));
	long long wall = TimeCore::TimeGet();
	EXPECT_GT(wall, 1600000000LL * kSec);
	long long tick = TimeCore::TickCount();
	TimeCore::Sleep(20000);
	EXPECT_GE(TimeCore::TickCount() - tick, 20000);
}
