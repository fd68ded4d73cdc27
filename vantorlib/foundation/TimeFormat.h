// Text forms of times: the date-time format language, durations in words and back,
// elapsed-time clocks, and a parser for free-form dates such as those of message headers.
#pragma once

#include "TString.h"
#include "TimeCore.h"

class TimeFormat {
public:
	// Bits of the part mask of Parse: which parts the text gave (on output) and which parts
	// may be taken from the base time (on input).
	enum Part : unsigned long {
		PartAm = 0x001,
		PartDay = 0x002,
		PartHour = 0x004,
		PartMinute = 0x008,
		PartMonth = 0x010,
		PartPm = 0x020,
		PartSecond = 0x040,
		PartFraction = 0x080,
		PartWeekday = 0x100,
		PartYear = 0x200,
		PartZoneName = 0x400,
		PartZoneOffset = 0x800,
	};
	// The parts taken from the base time when the caller gives no mask.
	static constexpr unsigned long kPartsBaseDefault = 3647;

	// The format of log lines: 2009/03/05 14:07:09.
	static const char* const sFmtLog;

	// The date words of one language.
	// The reserved names found here are the compiler's own loop counters in the implicit copy
	// of the arrays, not ours.
	// NOLINTNEXTLINE(bugprone-reserved-identifier)
	struct TimeLocal {
		TString format;  // the default date-time format
		TString none;  // text shown for, and parsed as, no time
		TString am[4];  // "AM", "am", "A", "a"
		TString pm[4];  // "PM", "pm", "P", "p"
		TString monthLong[12];
		TString monthShort[12];
		TString weekdayLong[7];  // Sunday first
		TString weekdayShort[7];
		// Unit words by unit (month, week, day, hour, minute, second, millisecond,
		// microsecond), then singular/plural, then long/short form.
		TString unit[8][2][2];
	};

	// One row of the zone table: a name and its offset east of UTC in minutes.
	struct Zone {
		const char* name;
		int minutes;
	};
	static const Zone sIndexTimezone[];
	static const int sIndexTimezoneCount;

	static bool Start();
	static void Stop();
	// Reloads the English and current-language words (after a language change).
	static bool LocaleLoad();

	// Renders time with the format language; a null or empty format uses the locale's
	// default format, an invalid time gives the locale's "no time" text (and false).
	static bool DateTime(TString& out, const Time& time, const char* format, bool english);
	// ToTime, then DateTime; false (and the "no time" text) when the conversion fails.
	static bool DateTimeVal(TString& out, long long value, long long bias, const char* format, bool english);
	// The current local time, or the given one, in the log format.
	static bool LogStr(TString& out, bool english);
	static bool LogStr(TString& out, long long value, long long bias, bool english);
	// An elapsed time as hh:mm:ss, rounded up to whole seconds, at most 99:59:59.
	static void LengthStr(TString& out, long long usecs);

	// A duration in words ("3 days, 2 hours, 5 seconds"); with fraction the seconds carry
	// six decimals, else the duration is rounded to whole seconds first.
	static void Usecs(TString& out, long long usecs, bool fraction, bool english);
	// Parses a duration text; false (and 0) when it is not one.
	static bool Usecs(long long* out, const char* text, bool english);
	static bool Usecs(long long* out, const TString& text, bool english);

	// Parses a date text. bias is the zone the text is read in when it names none
	// (TimeCore::kBiasLocal for the local zone); base is the time that missing parts come
	// from (-1 for none, TimeCore::kBaseNow for now); parts holds on input the parts that
	// may come from the base (null for kPartsBaseDefault) and receives the parts found.
	static bool Parse(
		long long* out, const char* text, long long bias, long long base, unsigned long* parts, bool english);
	static bool Parse(long long* out, const TString& text, long long bias, long long base,
		unsigned long* parts, bool english);

	// A name of the zone table, or an offset such as +0100 or -0530.
	static bool TimezoneVerify(const char* text);
	// The offset of a zone name in microseconds; false for an unknown name.
	static bool TimezoneOffset(const char* name, long long* bias);

	// Month (1..12), weekday (1..7, Sunday first) or AM (1) / PM (2) of a long or short
	// name, ignoring ASCII case; 0 when not recognised.
	static int month(const char* text, bool english);
	static int weekday(const char* text, bool english);
	static int amPm(const char* text, bool english);

	static const TimeLocal& Locale(bool english);

private:
	static bool sStarted;
	static TimeLocal sEnglish;
	static TimeLocal sCurrent;
};
