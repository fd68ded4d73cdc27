#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "Assert.h"
#include "Language.h"
#include "TimeFormat.h"
#include "TimeTestZone.h"

namespace {

const long long kSec = 1000000LL;
const long long kMin = 60 * kSec;
const long long kHour = 60 * kMin;
const long long kDay = 24 * kHour;

std::string fmt(long long value, long long bias, const char* format, bool english = true)
{
	TString out;
	TimeFormat::DateTimeVal(out, value, bias, format, english);
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

}  // namespace

class TimeFormatTest : public testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(Language::Start());
		ASSERT_TRUE(TimeFormat::Start());
	}
	void TearDown() override
	{
		TimeFormat::Stop();
		Language::Stop();
	}
};

TEST_F(TimeFormatTest, FormatCodes)
{
	const long long v = 1236262029LL * kSec + 123456;  // Thu 2009-03-05 14:07:09.123456 UTC
	EXPECT_EQ("2009/03/05 14:07:09", fmt(v, 0, TimeFormat::sFmtLog));
	EXPECT_EQ("March 5, 2009 02:07PM", fmt(v, 0, "%n4 %d2, %y1 %h1:%m1%a1"));
	EXPECT_EQ("Mar 05 2009 02:07PM", fmt(v, 0, nullptr));
	EXPECT_EQ("Mar 05 2009 02:07PM", fmt(v, 0, ""));
	EXPECT_EQ("09|20|3|2|14|7|9", fmt(v, 0, "%y2|%c1|%n2|%h2|%h4|%m2|%s2"));
	EXPECT_EQ("1|123|123456", fmt(v, 0, "%f1|%f3|%f6"));
	EXPECT_EQ("pm|P|p|Thu|Thursday|GMT", fmt(v, 0, "%a2|%a3|%a4|%w1|%w2|%t1"));
	EXPECT_EQ("2009-MAR", fmt(v, 0, "%Y1-MAR"));
	// Unknown letters, styles and incomplete codes stay as written.
	EXPECT_EQ("%q1 %y3 %f7 %y0 %% 100% %y", fmt(v, 0, "%q1 %y3 %f7 %y0 %% 100% %y"));
	// The 12-hour clock at midnight and noon; offsets.
	EXPECT_EQ("12:00 AM a 00", fmt(1236211200LL * kSec, 0, "%h1:%m1 %a1 %a4 %h3"));
	EXPECT_EQ("12:00 PM", fmt(1236254400LL * kSec, 0, "%h1:%m1 %a1"));
	EXPECT_EQ("+0100", fmt(v, kHour, "%t1"));
	EXPECT_EQ("-0530 Thu", fmt(v, -(5 * kHour + 30 * kMin), "%t1 %w1"));

	// A record without weekday still names its day.
	Time t;
	ASSERT_TRUE(TimeCore::ToTime(t, v, 0));
	t.weekday = 0;
	TString out;
	EXPECT_TRUE(TimeFormat::DateTime(out, t, "%w2", true));
	EXPECT_STREQ("Thursday", out.String());
	TimeCore::Clear(t);
	EXPECT_FALSE(TimeFormat::DateTime(out, t, TimeFormat::sFmtLog, true));
	EXPECT_STREQ("None", out.String());
	EXPECT_TRUE(TimeFormat::DateTimeVal(out, 0, 0, nullptr, true));
	EXPECT_STREQ("None", out.String());
	EXPECT_FALSE(TimeFormat::DateTimeVal(out, -7, 0, nullptr, true));
	EXPECT_STREQ("None", out.String());

	ZoneScope zone("America/New_York");
	// 2009-07-01 12:00:00 UTC is 08:00 summer time in New York.
	EXPECT_TRUE(TimeFormat::LogStr(out, 1246449600LL * kSec, TimeCore::kBiasLocal, true));
	EXPECT_STREQ("2009/07/01 08:00:00", out.String());
	EXPECT_EQ("08 -0400", fmt(1246449600LL * kSec, TimeCore::kBiasLocal, "%h3 %t1"));
	EXPECT_TRUE(TimeFormat::LogStr(out, true));
	EXPECT_EQ(19, out.ByteLength());
}

namespace {
int sAssertions = 0;
void assertionCount(const char*, const char*, int)
{
	sAssertions++;
}
}  // namespace

// A format is text from a settings file or a language: bytes in it that are not UTF-8 are
// replaced in a string that does not allow them and kept in one that does, never fatal.
TEST_F(TimeFormatTest, FormatsWithBytesThatAreNotUtf8)
{
	sAssertions = 0;
	AssertHandler previous = AssertHandlerSet(assertionCount);
	const long long v = 1236262029LL * kSec;  // 2009-03-05 14:07:09 UTC
	EXPECT_EQ("?2009 \xC3\xA4 ? %y?", fmt(v, 0, "\xFF%y1 \xC3\xA4 \xC3 %y\xE2"));
	TString out;
	out.AllowInvalidSet(true);
	EXPECT_TRUE(TimeFormat::DateTimeVal(out, v, 0, "\xFF%y1\xC3", true));
	EXPECT_EQ(std::string("\xFF") + "2009\xC3", out.String());

	// The printf-like formatting of strings has the same rule, for the format and "%s".
	TString text;
	text.Fmt("%s|%d|\xE2\x82", "ab\xC0", 7);
	EXPECT_STREQ("ab?|7|?", text.String());
	EXPECT_TRUE(text.Valid());
	text.AllowInvalidSet(true);
	text.Fmt("%s", "\xC0");
	EXPECT_STREQ("\xC0", text.String());
	EXPECT_EQ(0, sAssertions);
	AssertHandlerSet(previous);
}

TEST_F(TimeFormatTest, CurrentLanguageWords)
{
	ASSERT_EQ(Language::NameOkay, Language::NameLocal("DateTimeMarLong", "M\xC3\xA4rz"));
	ASSERT_EQ(Language::NameOkay, Language::NameLocal("DateTimeDays1", "Tage"));
	ASSERT_TRUE(TimeFormat::LocaleLoad());
	const long long v = 1236262029LL * kSec;
	EXPECT_EQ("5. M\xC3\xA4rz 2009", fmt(v, 0, "%d2. %n4 %y1", false));
	EXPECT_EQ("5. March 2009", fmt(v, 0, "%d2. %n4 %y1", true));
	TString out;
	TimeFormat::Usecs(out, 3 * kDay, false, false);
	EXPECT_STREQ("3 Tage", out.String());
	long long parsed = 0;
	EXPECT_TRUE(TimeFormat::Usecs(&parsed, "2 tage", false));
	EXPECT_EQ(2 * kDay, parsed);
	// Headers are English whatever the language.
	EXPECT_TRUE(TimeFormat::Parse(&parsed, "5 M\xC3\xA4rz 2009 14:07:09 GMT", 0, -1, nullptr, false));
	EXPECT_EQ(v, parsed);
	EXPECT_TRUE(TimeFormat::Parse(&parsed, "Thu, 5 Mar 2009 14:07:09 GMT", 0, -1, nullptr, false));
	EXPECT_EQ(v, parsed);
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
	EXPECT_EQ(
		"1 month, 1 week, 1 day, 1 hour, 1 minute, 1 second", dur(38 * kDay + kHour + kMin + kSec, false));
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
	const struct {
		const char* text;
		long long usecs;
	} good[] = {
		{"2 hours, 90", 2 * kHour + 90 * kSec},
		{"3 days 4", 3 * kDay + 4 * kSec},
		{"1.5", 1500000},
		{"1.5 secs", 1500000},
		{"2 MOS 3 wk 4 Mins 5 msec 6 usecs", 60 * kDay + 21 * kDay + 4 * kMin + 5006},
		{"2hrs 1min", 2 * kHour + kMin},
		{"-5 seconds", -5 * kSec},
	};
	for (const auto& g : good) {
		long long v = -1;
		EXPECT_TRUE(TimeFormat::Usecs(&v, g.text, true)) << g.text;
		EXPECT_EQ(g.usecs, v) << g.text;
	}
	const char* bad[] = {"", "   ", "5 10", "3 5 days 7", "5 fortnights", "hours", "1.5 minutes", "1234.5",
		"1.1234567", "1.", "1234567890123 seconds", "999999999999 months"};
	for (const char* text : bad) {
		long long v = 7;
		EXPECT_FALSE(TimeFormat::Usecs(&v, text, true)) << text;
		EXPECT_EQ(0, v) << text;
	}
	// Everything written reads back.
	for (long long v = 0; v < 500 * kDay; v = v * 3 + 1234567) {
		TString text;
		long long back = -1;
		TimeFormat::Usecs(text, v, true, true);
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
	for (const char* ok : {"cest", "Z", "+1400", "-0530"})
		EXPECT_TRUE(TimeFormat::TimezoneVerify(ok)) << ok;
	for (const char* bad : {"+1500", "+0160", "0100", "+01000", "XYZ", ""})
		EXPECT_FALSE(TimeFormat::TimezoneVerify(bad)) << bad;
}
