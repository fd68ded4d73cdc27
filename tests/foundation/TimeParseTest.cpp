#include <gtest/gtest.h>

#include <random>
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
	EXPECT_EQ(TimeFormat::PartDay | TimeFormat::PartHour | TimeFormat::PartMinute | TimeFormat::PartMonth |
			TimeFormat::PartSecond | TimeFormat::PartWeekday | TimeFormat::PartYear |
			TimeFormat::PartZoneOffset,
		parts);
	parts = 0;
	parse("Mar 5 2009 2:07:09.5pm CET", 0, -1, &parts);
	EXPECT_EQ(TimeFormat::PartDay | TimeFormat::PartHour | TimeFormat::PartMinute | TimeFormat::PartMonth |
			TimeFormat::PartSecond | TimeFormat::PartFraction | TimeFormat::PartPm | TimeFormat::PartYear |
			TimeFormat::PartZoneName,
		parts);

	// The "no time" text, in any case.
	long long v = -1;
	EXPECT_TRUE(TimeFormat::Parse(&v, " none ", 0, -1, nullptr, true));
	EXPECT_EQ(0, v);

	// Unknown words are ignored.
	EXPECT_EQ(kInstant, parse("on Thursday, 5 March 2009 at 13:07:09 GMT, roughly"));

	const char* bad[] = {
		"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21",
		"on at by in to of it is as or so up no we he Thu 5 Mar 2009 13:07:09 GMT",
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
	EXPECT_EQ(kInstant, parse("on at by in to of it is as or so up no we Thu 5 Mar 2009 13:07:09 GMT"));
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
	const long long biases[] = {
		0, kHour, -5 * kHour, 5 * kHour + 30 * kMin, -(3 * kHour + 30 * kMin), 13 * kHour};
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

TEST_F(TimeParseTest, RealDateHeaders)
{
	const struct {
		const char* text;
		long long seconds;
	} cases[] = {
		// A zone written right after the time belongs to it.
		{"Wed, 3 Apr 2002 14:58:26+0800", 1017817106},
		{"Wed, 3 Apr 2002 06:58:26Z", 1017817106},
		{"Wed, 3 Apr 2002 01:58:26-05:00", 1017817106},
		{"2002-04-03T14:58:26+08:00", 1017817106},
		{"2002-04-03T06:58:26.000Z", 1017817106},
		// Comments, with words and numbers in them that must not count.
		{"Mon, 16 Nov 2026 09:12:44 -0500 (EST)", 1794838364},
		{"Mon, 16 Nov 2026 09:12:44 -0500 (GMT-0800)", 1794838364},
		{"Mon, 16 Nov 2026 14:12:44 +0000 (Fri)", 1794838364},
		{"Mon, 16 Nov 2026 09:12:44 EST (a)", 1794838364},
		{"Mon, 16 Nov 2026 09:12:44 EST (PM)", 1794838364},
		{"Mon, 16 Nov 2026 09:12:44 EST (+0100)", 1794838364},
		{"(via a relay) Mon, 16 Nov 2026 14:12:44 GMT", 1794838364},
		{"Mon(day one), 16 (the (nested) 17th) Nov 2026 09:12:44 -0500 (\\) still 3 pm)", 1794838364},
		// Folded over lines, spaced out, and the old forms.
		{"Mon,\r\n 16 Nov 2026\r\n\t09:12:44 -0500", 1794838364},
		{"  Mon ,16  Nov  2026  09 : 12 : 44  -0500  ", 1794838364},
		{"Fri, 21 Nov 97 09:55:06 GMT", 880106106},
		{"21 Nov 97 09:55:06 F", 880106106},
		{"Fri, 21 Nov 1997 10:01:10 -0600", 880128070},
		{"Fri, 21 Nov 097 16:01:10 UT", 880128070},
		{"Wed, 17 Jun 1998 09:00:00 EDT", 898088400},
		{"Wed, 17 Jun 98 13:00 z", 898088400},
		{"Sat, 13 Mar 2010 11:29:05 PST", 1268508545},
		{"Tue, 1 Jul 2003 10:52:37 +0200", 1057049557},
		{"Tuesday, 01-Jul-03 08:52:37 GMT", 1057049557},
		{"Tue, 1 Jul 2003 08:52:37 -0000", 1057049557},
		// Names a little longer than their short forms.
		{"Sat, 5 Sept 2009 12:00 GMT", 1252152000},
		{"Thurs, 5 Mar 2009 13:07:09 GMT", 1236258429},
		// Any offset of up to 99 hours and 59 minutes either way.
		{"1 Jan 2000 00:00:00 +2600", 946591200},
		{"1 Jan 2000 00:00:00 -2400", 946771200},
		{"1 Jan 2000 00:00:00 +9959", 946324860},
		{"1 Jan 2000 00:00:00 -9959", 947044740},
		// A leap second is the first second of the next minute.
		{"Thu, 31 Dec 1998 23:59:60 +0000", 915148800},
	};
	for (const auto& c : cases) {
		std::string text = c.text;
		// The bias must not matter when the text names its zone.
		EXPECT_EQ(c.seconds * kSec, parse(text.c_str(), 3 * kHour)) << c.text;
	}
	// One instant as newsreaders, mailers and servers have written it.
	const char* sameInstant[] = {
		"Sun, 06 Dec 2026 13:21:11 GMT",
		"6 Dec 2026 13:21:11 -0000",
		"Sun, 6 Dec 2026 08:21:11 -0500 (EST)",
		"Sun, 06 Dec 2026 14:21:11 +0100 (MET)",
		"Sun Dec  6 13:21:11 UTC 2026",
		"Sun, 06 Dec 26 13:21:11 GMT",
		"Sun, 6 Dec 2026 22:21:11 +0900 (KST)",
		"Sun, 6 Dec 2026 18:51:11 +0530 (IST)",
		"Sun, 6 Dec 2026 13:21:11 +0000 (Coordinated Universal Time)",
		"Sun, 6 Dec 2026 5:21:11 PST",
		"Sun, 6 Dec 2026 13:21:11.000 +0000",
		"2026-12-06 13:21:11Z",
	};
	for (const char* text : sameInstant)
		EXPECT_EQ(1796563271LL * kSec, parse(text, -2 * kHour)) << text;
	EXPECT_EQ(1796563260LL * kSec, parse("Sun, 6 Dec 2026 13:21 GMT"));

	// Without a zone the bias applies.
	EXPECT_EQ(1057049557LL * kSec, parse("Tue Jul  1 08:52:37 2003"));
	// "-0000" and the military letters say only that the time is UTC, whatever the bias.
	unsigned long parts = 0;
	EXPECT_EQ(880106106 * kSec, parse("21 Nov 97 09:55:06 A", 5 * kHour, -1, &parts));
	EXPECT_TRUE(parts & TimeFormat::PartZoneName);
	EXPECT_FALSE(parts & (TimeFormat::PartAm | TimeFormat::PartPm));
}

TEST_F(TimeParseTest, TextsThatCannotBeReadFail)
{
	const char* bad[] = {
		"Wed, 3 Apr 2002 14:58:26 +08000",
		"Wed, 3 Apr 2002 14:58:26 +08",
		"Wed, 3 Apr 2002 14:58:26 + 0800",
		"Wed, 3 Apr 2002 14:58:26+08x0",
		"Wed, 3 Apr 2002 14:58:26 +0860",
		"Wed, 3 Apr 2002 14:58:26 +0800 12",
		"Wed, 3 Apr 2002 14:58:26 +0800 7b",
		"Wed, 3 Apr 2002 14:58:26 (unclosed",
		"Wed, 3 Apr 2002 14:58:26 ((nested) unclosed",
		"Wed, 3 Apr 2002 14:58:26 stray) +0800",
		"Wed, 3 Apr 2002 14:58:26 GMT EST",
		"Wed, 3 Apr 2002 14:58:26 A B",
		"Wed, 3 Apr 2002 14:58:26xyz",
		"Wed, 3 Apr 2002 14:58:61",
		"31 Apr 2002 10:00 GMT",
		"29 Feb 2001 10:00 GMT",
		"3 Apr 2002 14:00 am",
	};
	for (const char* text : bad)
		EXPECT_EQ(-1, parse(text)) << text;
	EXPECT_EQ(951825600LL * kSec, parse("29 Feb 2000 12:00 GMT"));

	// Long texts are read without going deeper for each part.
	std::string joined, nested(100000, '(');
	for (int i = 0; i < 20000; i++)
		joined += "1-1T1";
	EXPECT_EQ(-1, parse(joined.c_str()));
	EXPECT_EQ(-1, parse(nested.c_str()));
	std::string inComment = nested + "x" + std::string(100000, ')') + " 5 Mar 2009 13:07:09 GMT";
	EXPECT_EQ(kInstant, parse(inComment.c_str()));
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
	y -= m <= 2;
	long long era = (y >= 0 ? y : y - 399) / 400;
	unsigned yoe = (unsigned)(y - era * 400);
	unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
	unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
	return era * 146097 + (long long)doe - 719468;
}

// Writes valid dates of mail headers in the many ways the standard and its old forms allow.
class DateWriter {
public:
	explicit DateWriter(unsigned seed) : mRandom(seed) {}

	int Pick(int n) { return (int)(mRandom() % (unsigned)n); }
	bool Coin() { return Pick(2) == 0; }

	// Whitespace, folded lines and comments that hold words and numbers of dates.
	std::string Gap(bool needed)
	{
		static const char* const spaces[] = {" ", "  ", "\t", "\r\n ", " \r\n\t"};
		static const char* const comments[] = {"(a)", "(PM)", "(12)", "(Fri)", "(Dec 31 1999)", "(+0100)",
			"(GMT-0800)", "(via (a 2nd) relay)", "(\\) 3 pm \\()", "()", "(EST)", "(Z)"};
		std::string gap;
		int kind = Pick(needed ? 4 : 6);
		if (kind >= 4)
			return gap;
		gap += spaces[Pick(5)];
		if (kind == 3) {
			gap += comments[Pick(12)];
			if (Coin())
				gap += spaces[Pick(5)];
		}
		return gap;
	}

	std::string Cased(const char* word)
	{
		std::string s = word;
		int how = Pick(4);
		for (char& c : s) {
			if (how == 1)
				c = (char)std::toupper((unsigned char)c);
			else if (how == 2)
				c = (char)std::tolower((unsigned char)c);
		}
		return s;
	}

	// A random date as text and the instant it names, in microseconds.
	std::string Next(long long& expect)
	{
		static const char* const months[] = {
			"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
		static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
		static const struct {
			const char* name;
			int minutes;
		} zones[] = {{"UT", 0}, {"GMT", 0}, {"Z", 0}, {"EST", -300}, {"EDT", -240}, {"CST", -360},
			{"CDT", -300}, {"MST", -420}, {"MDT", -360}, {"PST", -480}, {"PDT", -420}};

		int year = 1970 + Pick(68), month = 1 + Pick(12);
		static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
		bool leap = year % 4 == 0;
		int day = 1 + Pick(lengths[month - 1] + (month == 2 && leap ? 1 : 0));
		if (year == 1970 && month == 1 && day < 6)
			day = 6;
		int hour = Pick(24), minute = Pick(60), second = Pick(60);
		bool seconds = Pick(5) != 0;
		if (!seconds)
			second = 0;
		long long daysSince = daysFromCivil(year, (unsigned)month, (unsigned)day);

		// The zone: a numeric offset of any size, a name, or a military letter.
		std::string zone;
		int offset = 0;
		switch (Pick(4)) {
		case 0:
		case 1: {
			int hours = Pick(100), minutes = Pick(60);
			bool west = Coin();
			char buf[8];
			std::snprintf(buf, sizeof buf, "%c%02d%02d", west ? '-' : '+', hours, minutes);
			zone = buf;
			offset = (west ? -1 : 1) * (hours * 60 + minutes);
			break;
		}
		case 2: {
			int z = Pick(11);
			zone = Cased(zones[z].name);
			offset = zones[z].minutes;
			break;
		}
		default: {
			// A and P after a twelve-hour reading without seconds would be AM and PM.
			char letter;
			do
				letter = (char)('A' + Pick(26));
			while (letter == 'J' || (!seconds && (letter == 'A' || letter == 'P')));
			zone = std::string(1, Coin() ? letter : (char)std::tolower(letter));
			break;
		}
		}

		std::string text = Gap(false);
		if (Coin()) {
			int weekday = (int)((daysSince % 7 + 11) % 7);  // 1970-01-01 was a Thursday
			text += Cased(days[weekday]) + Gap(false) + "," + Gap(false);
		}
		text += std::to_string(day) + Gap(true) + Cased(months[month - 1]) + Gap(true);
		char buf[16];
		switch (Pick(3)) {
		case 0: text += std::to_string(year); break;
		case 1:
			std::snprintf(buf, sizeof buf, "%02d", year % 100);
			text += buf;
			break;
		default: text += std::to_string(year - 1900); break;
		}
		text += Gap(true);
		std::snprintf(buf, sizeof buf, "%02d", hour);
		text += buf + Gap(false) + ":" + Gap(false);
		std::snprintf(buf, sizeof buf, "%02d", minute);
		text += buf;
		if (seconds) {
			std::snprintf(buf, sizeof buf, "%02d", second);
			text += Gap(false) + ":" + Gap(false) + buf;
		}
		// An offset may follow the time without a space.
		bool glued = (zone[0] == '+' || zone[0] == '-') && Pick(3) == 0;
		text += (glued ? "" : Gap(true)) + zone + Gap(false);

		expect = ((daysSince * 24 + hour) * 60 + minute - offset) * 60 * kSec + second * kSec;
		return text;
	}

private:
	std::mt19937 mRandom;
};

}  // namespace

TEST_F(TimeParseTest, RandomValidDatesReadToTheirInstant)
{
	DateWriter writer(20261206);
	int wrong = 0;
	for (int i = 0; i < 20000 && wrong < 20; i++) {
		long long expect = 0;
		std::string text = writer.Next(expect);
		// The bias and the local zone must not matter: every text names its zone.
		long long got = parse(text.c_str(), i % 2 ? TimeCore::kBiasLocal : 7 * kHour);
		if (got != expect) {
			wrong++;
			std::string shown;
			for (char c : text)
				shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : std::string(1, c);
			ADD_FAILURE() << "\"" << shown << "\" gave " << got << ", expected " << expect;
		}
	}
}
