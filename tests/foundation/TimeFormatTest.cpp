#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "TimeFormat.h"
#include "TimeTestZone.h"

namespace {

const long long kSec = 1000000LL;
const long long kMin = 60 * kSec;
const long long kHour = 60 * kMin;
const long long kDay = 24 * kHour;

std::string fmt(const Time& t, const char* format)
{
	TString out;
	TimeFormat::DateTime(out, t, format, true);
	return out.String();
}

std::string dur(long long usecs, bool fraction)
{
	TString out;
	TimeFormat::Usecs(out, usecs, fraction, true);
	return out.String();
}

std::string length(long long usecs)
{
	TString out;
	TimeFormat::LengthStr(out, usecs);
	return out.String();
}

long long parseDur(const char* text, bool* ok)
{
	long long v = -12345;
	*ok = TimeFormat::Usecs(&v, text, true);
	return v;
}

}  // namespace

class TimeFormatTest : public testing::Test {
protected:
	void SetUp() override { ASSERT_TRUE(TimeFormat::Start()); }
	void TearDown() override { TimeFormat::Stop(); }
};

TEST_F(TimeFormatTest, FormatCodes)
{
	Time t;
	// Thu 2009-03-05 14:07:09.123456 UTC
	ASSERT_TRUE(TimeCore::ToTime(t, 1236262029LL * kSec + 123456, 0));
	EXPECT_EQ("2009/03/05 14:07:09", fmt(t, TimeFormat::sFmtLog));
	EXPECT_EQ("March 5, 2009 02:07PM", fmt(t, "%n4 %d2, %y1 %h1:%m1%a1"));
	EXPECT_EQ("Mar 05 2009 02:07PM", fmt(t, nullptr));
	EXPECT_EQ("Mar 05 2009 02:07PM", fmt(t, ""));
	EXPECT_EQ("09|20|3|2|14|7|9", fmt(t, "%y2|%c1|%n2|%h2|%h4|%m2|%s2"));
	EXPECT_EQ("1|123|123456", fmt(t, "%f1|%f3|%f6"));
	EXPECT_EQ("pm|P|p|Thu|Thursday|GMT", fmt(t, "%a2|%a3|%a4|%w1|%w2|%t1"));
	// Codes in capitals are the same codes.
	EXPECT_EQ("2009-MAR", fmt(t, "%Y1-MAR"));
	// Unknown letters, styles and incomplete codes stay as written.
	EXPECT_EQ("%q1 %y3 %f7 %y0 %% 100% %y", fmt(t, "%q1 %y3 %f7 %y0 %% 100% %y"));

	// The 12-hour clock at midnight and noon.
	ASSERT_TRUE(TimeCore::ToTime(t, 1236211200LL * kSec, 0));  // 2009-03-05 00:00
	EXPECT_EQ("12:00 AM a 00", fmt(t, "%h1:%m1 %a1 %a4 %h3"));
	ASSERT_TRUE(TimeCore::ToTime(t, 1236254400LL * kSec, 0));  // 12:00
	EXPECT_EQ("12:00 PM", fmt(t, "%h1:%m1 %a1"));

	// Offsets, and a weekday worked out when the record does not carry one.
	ASSERT_TRUE(TimeCore::ToTime(t, 1236262029LL * kSec, kHour));
	EXPECT_EQ("+0100", fmt(t, "%t1"));
	ASSERT_TRUE(TimeCore::ToTime(t, 1236262029LL * kSec, -(5 * kHour + 30 * kMin)));
	EXPECT_EQ("-0530 Thu", fmt(t, "%t1 %w1"));
	t.weekday = 0;
	EXPECT_EQ("Thursday", fmt(t, "%w2"));
}

TEST_F(TimeFormatTest, NoTimeAndLogLines)
{
	Time t;
	TimeCore::Clear(t);
	EXPECT_EQ("None", fmt(t, TimeFormat::sFmtLog));

	TString out;
	EXPECT_TRUE(TimeFormat::DateTimeVal(out, 0, 0, nullptr, true));
	EXPECT_STREQ("None", out.String());
	EXPECT_FALSE(TimeFormat::DateTimeVal(out, -7, 0, nullptr, true));
	EXPECT_STREQ("None", out.String());

	ZoneScope zone("America/New_York");
	// 2009-07-01 12:00:00 UTC is 08:00 summer time in New York.
	EXPECT_TRUE(TimeFormat::LogStr(out, 1246449600LL * kSec, TimeCore::kBiasLocal, true));
	EXPECT_STREQ("2009/07/01 08:00:00", out.String());
	EXPECT_TRUE(TimeFormat::DateTimeVal(out, 1246449600LL * kSec, TimeCore::kBiasLocal, "%h3 %t1", true));
	EXPECT_STREQ("08 -0400", out.String());
	EXPECT_TRUE(TimeFormat::LogStr(out, true));
	EXPECT_EQ(19, out.ByteLength());
}

TEST_F(TimeFormatTest, ElapsedTimeClock)
{
	EXPECT_EQ("01:02:04", length(3723500000LL));
	EXPECT_EQ("99:59:59", length(400000LL * kHour));
	EXPECT_EQ("00:00:00", length(0));
	EXPECT_EQ("00:00:01", length(1));
	EXPECT_EQ("00:01:01", length(-61 * kSec));
	EXPECT_EQ("99:59:59", length(LLONG_MIN));
}

TEST_F(TimeFormatTest, DurationsToText)
{
	EXPECT_EQ("3 days, 2 hours, 5 seconds", dur(3 * kDay + 2 * kHour + 5 * kSec, false));
	EXPECT_EQ("0 seconds", dur(0, false));
	EXPECT_EQ("0.000000 seconds", dur(0, true));
	EXPECT_EQ("1 second", dur(kSec, false));
	EXPECT_EQ("1 month, 1 week, 1 day, 1 hour, 1 minute, 1 second",
		dur(30 * kDay + 7 * kDay + kDay + kHour + kMin + kSec, false));
	EXPECT_EQ("2 months, 2 weeks", dur(74 * kDay, false));
	// Without the fraction the duration is rounded up to whole seconds.
	EXPECT_EQ("2 seconds", dur(1500000, false));
	EXPECT_EQ("1 minute, 1 second", dur(kMin + 1, false));
	EXPECT_EQ("1.500000 seconds", dur(1500000, true));
	EXPECT_EQ("1 minute, 0.000001 seconds", dur(kMin + 1, true));
	EXPECT_EQ("1 hour", dur(kHour, true));
	// The sign of a negative duration is kept.
	EXPECT_EQ("-2 hours, 5 seconds", dur(-(2 * kHour + 5 * kSec), false));
	EXPECT_EQ("-0.250000 seconds", dur(-250000, true));
}

TEST_F(TimeFormatTest, DurationsFromText)
{
	bool ok = false;
	EXPECT_EQ(2 * kHour + 90 * kSec, parseDur("2 hours, 90", &ok));
	EXPECT_TRUE(ok);
	EXPECT_EQ(3 * kDay + 2 * kHour + 5 * kSec, parseDur("3 days, 2 hours, 5 seconds", &ok));
	EXPECT_TRUE(ok);
	EXPECT_EQ(1500000, parseDur("1.5", &ok));
	EXPECT_TRUE(ok);
	EXPECT_EQ(1500000, parseDur("1.5 secs", &ok));
	EXPECT_TRUE(ok);
	EXPECT_EQ(2 * 30 * kDay + 3 * 7 * kDay + 4 * kMin + 5000 + 6,
		parseDur("2 MOS 3 wk 4 Mins 5 msec 6 usecs", &ok));
	EXPECT_TRUE(ok);
	EXPECT_EQ(2 * kHour + kMin, parseDur("2hrs 1min", &ok));
	EXPECT_TRUE(ok);
	EXPECT_EQ(3 * kDay + 4 * kSec, parseDur("3 days 4", &ok));
	EXPECT_TRUE(ok);
	EXPECT_EQ(-5 * kSec, parseDur("-5 seconds", &ok));
	EXPECT_TRUE(ok);

	const char* bad[] = {
		"", "   ", "5 10", "5 fortnights", "hours", "1.5 minutes", "1234.5", "1.1234567", "1.",
		"1234567890123 seconds", "999999999999 months", "3 5 days 7",
	};
	for (const char* text : bad) {
		long long v = 0;
		EXPECT_FALSE(TimeFormat::Usecs(&v, text, true)) << text;
		EXPECT_EQ(0, v) << text;
	}

	// Everything written can be read back.
	for (long long v = 0; v < 500 * kDay; v = v * 3 + 1234567) {
		TString text;
		TimeFormat::Usecs(text, v, true, true);
		long long back = -1;
		ASSERT_TRUE(TimeFormat::Usecs(&back, text, true)) << text.String();
		EXPECT_EQ(v, back) << text.String();
		TimeFormat::Usecs(text, v, false, true);
		ASSERT_TRUE(TimeFormat::Usecs(&back, text, true)) << text.String();
		EXPECT_EQ(TimeCore::Seconds(v) * kSec, back) << text.String();
	}
}

TEST_F(TimeFormatTest, NamesAndZones)
{
	EXPECT_EQ(5, TimeFormat::month("may", true));
	EXPECT_EQ(9, TimeFormat::month("SEPTEMBER", true));
	EXPECT_EQ(0, TimeFormat::month("Sept", true));
	EXPECT_EQ(1, TimeFormat::weekday("sunday", true));
	EXPECT_EQ(7, TimeFormat::weekday("Sat", true));
	EXPECT_EQ(1, TimeFormat::amPm("A", true));
	EXPECT_EQ(2, TimeFormat::amPm("pM", true));
	EXPECT_EQ(0, TimeFormat::amPm("", true));

	EXPECT_TRUE(TimeFormat::TimezoneVerify("cest"));
	EXPECT_TRUE(TimeFormat::TimezoneVerify("+1400"));
	EXPECT_TRUE(TimeFormat::TimezoneVerify("-0530"));
	EXPECT_FALSE(TimeFormat::TimezoneVerify("+1500"));
	EXPECT_FALSE(TimeFormat::TimezoneVerify("+0160"));
	EXPECT_FALSE(TimeFormat::TimezoneVerify("0100"));
	EXPECT_FALSE(TimeFormat::TimezoneVerify("+01000"));
	EXPECT_FALSE(TimeFormat::TimezoneVerify("XYZ"));
	EXPECT_FALSE(TimeFormat::TimezoneVerify(nullptr));
}
