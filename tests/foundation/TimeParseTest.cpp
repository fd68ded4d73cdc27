#include <gtest/gtest.h>

#include <string>

#include "TimeFormat.h"
#include "TimeTestZone.h"

namespace {

const long long kSec = 1000000LL;
const long long kMin = 60 * kSec;
const long long kHour = 60 * kMin;
const long long kDay = 24 * kHour;

// 2009-03-05 13:07:09 UTC
const long long kInstant = 1236258429LL * kSec;

long long parse(const char* text, long long bias = 0, long long base = -1, unsigned long* parts = nullptr)
{
	long long v = -1;
	if (!TimeFormat::Parse(&v, text, bias, base, parts, true)) {
		EXPECT_EQ(0, v) << text;
		return -1;
	}
	return v;
}

}  // namespace

class TimeParseTest : public testing::Test {
protected:
	void SetUp() override { ASSERT_TRUE(TimeFormat::Start()); }
	void TearDown() override { TimeFormat::Stop(); }
};

TEST_F(TimeParseTest, HeaderDatesAcrossZones)
{
	const char* same[] = {
		"Thu, 05 Mar 2009 14:07:09 +0100",
		"Tue, 05 Mar 2009 14:07:09 +0100",  // a wrong weekday does not matter
		"5 Mar 2009 14:07:09 GMT+1",
		"Thu, 5 Mar 2009 14:07:09 +0100 (CET)",
		"Thu, 5 Mar 2009 14:07:09 CET",
		"Thu, 5 Mar 2009 15:07:09 +02:00",
		"Thu, 05 Mar 2009 08:07:09 -0500 (EST)",
		"Thu, 5 Mar 2009 05:07:09 PST",
		"05 Mar 2009 13:07:09 UT",
		"Thursday, 05-Mar-09 13:07:09 GMT",
		"Thu, 05 Mar 09 13:07:09 GMT",
		"Thu Mar  5 13:07:09 GMT 2009",
		"Thu, 05 Mar 2009 13:07:09 +0000 (GMT Standard Time)",
		"Thu, 5 Mar 2009 22:07:09 +0900 (JST)",
		"5 Mar 109 13:07:09 GMT",
		"2009-03-05 14:07:09 MEZ",
		"03/05/2009 9:07:09 a.m. -0400",
		"Thu,5 Mar 2009 14:07:09 +0100",
	};
	for (const char* text : same)
		EXPECT_EQ(kInstant, parse(text, -7 * kHour)) << text;

	// Without a zone (as the C library writes dates) the bias applies.
	EXPECT_EQ(kInstant, parse("Thu Mar  5 13:07:09 2009"));
	EXPECT_EQ(kInstant, parse("Thu Mar  5 14:07:09 2009", kHour));
	EXPECT_EQ(920639229LL * kSec, parse("Fri, 05 Mar 99 13:07:09 GMT"));
	// Newfoundland time is three and a half hours behind UTC.
	EXPECT_EQ(1256139000LL * kSec, parse("Wed, 21 Oct 2009 12:00:00 NST"));
	EXPECT_EQ(1256139000LL * kSec, parse("Wed, 21 Oct 2009 13:00:00 NDT"));
	// Both halves of a daylight-saving change, named and numeric.
	EXPECT_EQ(1238290200LL * kSec, parse("Sun, 29 Mar 2009 03:30:00 +0200 (CEST)"));
	EXPECT_EQ(1238290200LL * kSec, parse("Sun, 29 Mar 2009 02:30:00 CET"));
	EXPECT_EQ(1257042600LL * kSec, parse("Sun, 1 Nov 2009 01:30:00 -0100"));
	EXPECT_EQ(1257042600LL * kSec, parse("Sat, 31 Oct 2009 21:30:00 EST"));
	// Fractions of seconds.
	EXPECT_EQ(kInstant + 250000, parse("2009-03-05 13:07:09.25 GMT"));
	EXPECT_EQ(kInstant + 123456, parse("2009-03-05 13:07:09.123456"));
}

TEST_F(TimeParseTest, DatesWithoutZoneUseTheBias)
{
	EXPECT_EQ(1237939200LL * kSec, parse("2009-03-25"));
	EXPECT_EQ(1237939200LL * kSec, parse("03/25/2009"));
	EXPECT_EQ(1237939200LL * kSec, parse("25/03/2009"));
	EXPECT_EQ(1237939200LL * kSec - kHour, parse("25/03/2009", kHour));
	EXPECT_EQ(1236211620LL * kSec, parse("Mar 5 2009 12:07am"));
	EXPECT_EQ(1236262020LL * kSec, parse("Mar 5 2009 2:07pm"));
	EXPECT_EQ(1236262020LL * kSec, parse("Mar 5 2009 2.07 PM"));
	EXPECT_EQ(1236254820LL * kSec, parse("5 Mar 2009 12:07 p"));

	{
		ZoneScope zone("Europe/Berlin");
		const long long local = TimeCore::kBiasLocal;
		// Before and after the spring change, and after the autumn one.
		EXPECT_EQ(1238286600LL * kSec, parse("Sun, 29 Mar 2009 01:30:00", local));
		EXPECT_EQ(1238290200LL * kSec, parse("Sun, 29 Mar 2009 03:30:00", local));
		EXPECT_EQ(1256468400LL * kSec, parse("25 Oct 2009 12:00", local));
		// A zone in the text overrides the local zone.
		EXPECT_EQ(kInstant, parse("5 Mar 2009 08:07:09 EST", local));
	}
	{
		ZoneScope zone("America/New_York");
		const long long local = TimeCore::kBiasLocal;
		EXPECT_EQ(1257004800LL * kSec, parse("Oct 31 2009 12:00", local));
		EXPECT_EQ(1257094800LL * kSec, parse("Nov 1 2009 12:00", local));
	}
}

TEST_F(TimeParseTest, PartsFoundAndRejectedTexts)
{
	unsigned long parts = 0;
	EXPECT_EQ(kInstant, parse("Thu, 05 Mar 2009 14:07:09 +0100", 0, -1, &parts));
	EXPECT_EQ(TimeFormat::PartDay | TimeFormat::PartHour | TimeFormat::PartMinute | TimeFormat::PartMonth
			| TimeFormat::PartSecond | TimeFormat::PartWeekday | TimeFormat::PartYear | TimeFormat::PartZoneOffset,
		parts);
	parts = 0;
	parse("Mar 5 2009 2:07:09.5pm (CET)", 0, -1, &parts);
	EXPECT_EQ(TimeFormat::PartDay | TimeFormat::PartHour | TimeFormat::PartMinute | TimeFormat::PartMonth
			| TimeFormat::PartSecond | TimeFormat::PartFraction | TimeFormat::PartPm | TimeFormat::PartYear
			| TimeFormat::PartZoneName,
		parts);

	// The "no time" text, in any case.
	long long v = -1;
	EXPECT_TRUE(TimeFormat::Parse(&v, " none ", 0, -1, nullptr, true));
	EXPECT_EQ(0, v);

	// Unknown words are ignored.
	EXPECT_EQ(kInstant, parse("on Thursday, 5 March 2009 at 13:07:09 GMT, roughly"));

	const char* bad[] = {
		"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21",
		"Mar Apr 5 2009",
		"5 Mar 2009 2010",
		"5 Mar 2009 25:00",
		"5 Mar 2009 14:61",
		"5 Mar 2009 14:07 GMT+24",
		"5 Mar 2009 14:07 +0100 -0200",
		"5 Mar 2009 2pm am",
		"5 Mar 2050",
		"5 Mar 1968",
		"5 Mar 14:07:09",  // no year and no base
		"2009-13-45",
		"",
	};
	for (const char* text : bad)
		EXPECT_EQ(-1, parse(text)) << text;
	// Twenty words are still fine.
	EXPECT_EQ(kInstant, parse("a b c d e f g h i j k l m n Thu 5 Mar 2009 13:07:09 GMT"));
}

TEST_F(TimeParseTest, MissingPartsComeFromTheBase)
{
	// 2009-06-01 12:34:56 UTC
	const long long base = 1243859696LL * kSec;
	EXPECT_EQ(1236262020LL * kSec, parse("Mar 5 2:07pm", 0, base));
	// Hour and minute come from the base too, but not the seconds.
	EXPECT_EQ(1236211200LL * kSec + 12 * kHour + 34 * kMin, parse("Mar 5", 0, base));
	unsigned long parts = TimeFormat::PartYear;
	EXPECT_EQ(1236211200LL * kSec, parse("Mar 5", 0, base, &parts));
	EXPECT_EQ(TimeFormat::PartMonth | TimeFormat::PartDay, parts);
	// A time alone lands on the base's day.
	EXPECT_EQ(1243814400LL * kSec + 9 * kHour, parse("9:00", 0, base));
	// The base is read at the zone of the text.
	EXPECT_EQ(1243814400LL * kSec + 9 * kHour - 2 * kHour, parse("9:00 CEST", 0, base));

	ZoneScope zone("Europe/Berlin");
	// Base time in winter, parsed time in summer: the summer offset applies.
	const long long winterBase = 1230807600LL * kSec;  // 2009-01-01 12:00 CET
	EXPECT_EQ(1246442400LL * kSec, parse("Jul 1 12:00", TimeCore::kBiasLocal, winterBase));
}

TEST_F(TimeParseTest, YearFromNow)
{
	const long long now = TimeCore::TimeGet();
	// Ten days ago reads as this very day; ten days ahead as last year's; an hour ahead (a
	// clock a little fast) stays in this year.
	const struct {
		long long offset;
		int years;
	} cases[] = {{-10 * kDay, 0}, {10 * kDay, -1}, {kHour, 0}};
	for (const auto& c : cases) {
		Time t, n;
		ASSERT_TRUE(TimeCore::ToTime(t, now + c.offset, 0));
		ASSERT_TRUE(TimeCore::ToTime(n, now, 0));
		if ((t.month == 2 && t.day == 29) || (c.years == 0 && t.year != n.year))
			continue;  // no such day last year, or a date over the turn of the year
		TString text;
		TimeFormat::DateTime(text, t, "%n3 %d2 %h1:%m1%a2", true);
		t.year = (int16_t)(t.year + c.years);
		t.second = 0;
		t.microsecond = 0;
		long long expect = 0;
		ASSERT_TRUE(TimeCore::ToTimeVal(expect, t, 0));
		EXPECT_EQ(expect, parse(text.String(), 0, TimeCore::kBaseNow)) << text.String();
	}
}

TEST_F(TimeParseTest, WrittenDatesReadBack)
{
	const long long biases[] = {0, kHour, -5 * kHour, 5 * kHour + 30 * kMin, -(3 * kHour + 30 * kMin), 13 * kHour};
	for (long long v = 100000 * kSec; v < 2100000000LL * kSec; v += 86399LL * 37 * kSec + 7 * kSec) {
		for (long long bias : biases) {
			Time t;
			ASSERT_TRUE(TimeCore::ToTime(t, v, bias));
			TString text;
			TimeFormat::DateTime(text, t, "%w1, %d2 %n3 %y1 %h3:%m1:%s1 %t1", true);
			EXPECT_EQ(v, parse(text.String(), TimeCore::kBiasLocal)) << text.String();
		}
	}
}
