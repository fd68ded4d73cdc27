#include "TimeFormat.h"

#include "LangSection.h"
#include "Language.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <strings.h>
#include <vector>

namespace {

const LangData kSpecialTexts[] = {
	{"DateTimeFormat", "", "%n3 %d1 %y1 %h1:%m1%a1"},
	{"DateTimeNoneGiven", "", "None"},
	{nullptr, nullptr, nullptr},
};

const LangData kAmPmTexts[] = {
	{"DateTimeAMUpperLong", "", "AM"},
	{"DateTimeAMLowerLong", "", "am"},
	{"DateTimeAMUpperShort", "", "A"},
	{"DateTimeAMLowerShort", "", "a"},
	{"DateTimePMUpperLong", "", "PM"},
	{"DateTimePMLowerLong", "", "pm"},
	{"DateTimePMUpperShort", "", "P"},
	{"DateTimePMLowerShort", "", "p"},
	{nullptr, nullptr, nullptr},
};

const LangData kMonthTexts[] = {
	{"DateTimeJanLong", "", "January"},
	{"DateTimeJanShort", "", "Jan"},
	{"DateTimeFebLong", "", "February"},
	{"DateTimeFebShort", "", "Feb"},
	{"DateTimeMarLong", "", "March"},
	{"DateTimeMarShort", "", "Mar"},
	{"DateTimeAprLong", "", "April"},
	{"DateTimeAprShort", "", "Apr"},
	{"DateTimeMayLong", "", "May"},
	{"DateTimeMayShort", "", "May"},
	{"DateTimeJunLong", "", "June"},
	{"DateTimeJunShort", "", "Jun"},
	{"DateTimeJulLong", "", "July"},
	{"DateTimeJulShort", "", "Jul"},
	{"DateTimeAugLong", "", "August"},
	{"DateTimeAugShort", "", "Aug"},
	{"DateTimeSepLong", "", "September"},
	{"DateTimeSepShort", "", "Sep"},
	{"DateTimeOctLong", "", "October"},
	{"DateTimeOctShort", "", "Oct"},
	{"DateTimeNovLong", "", "November"},
	{"DateTimeNovShort", "", "Nov"},
	{"DateTimeDecLong", "", "December"},
	{"DateTimeDecShort", "", "Dec"},
	{nullptr, nullptr, nullptr},
};

const LangData kWeekdayTexts[] = {
	{"DateTimeSunLong", "", "Sunday"},
	{"DateTimeSunShort", "", "Sun"},
	{"DateTimeMonLong", "", "Monday"},
	{"DateTimeMonShort", "", "Mon"},
	{"DateTimeTueLong", "", "Tuesday"},
	{"DateTimeTueShort", "", "Tue"},
	{"DateTimeWedLong", "", "Wednesday"},
	{"DateTimeWedShort", "", "Wed"},
	{"DateTimeThuLong", "", "Thursday"},
	{"DateTimeThuShort", "", "Thu"},
	{"DateTimeFriLong", "", "Friday"},
	{"DateTimeFriShort", "", "Fri"},
	{"DateTimeSatLong", "", "Saturday"},
	{"DateTimeSatShort", "", "Sat"},
	{nullptr, nullptr, nullptr},
};

// Per unit: singular long, singular short, plural long, plural short.
const LangData kUnitTexts[] = {
	{"DateTimeMonth1", "", "month"},
	{"DateTimeMonth2", "", "mon"},
	{"DateTimeMonths1", "", "months"},
	{"DateTimeMonths2", "", "mos"},
	{"DateTimeWeek1", "", "week"},
	{"DateTimeWeek2", "", "wk"},
	{"DateTimeWeeks1", "", "weeks"},
	{"DateTimeWeeks2", "", "wks"},
	{"DateTimeDay1", "", "day"},
	{"DateTimeDay2", "", "day"},
	{"DateTimeDays1", "", "days"},
	{"DateTimeDays2", "", "days"},
	{"DateTimeHour1", "", "hour"},
	{"DateTimeHour2", "", "hr"},
	{"DateTimeHours1", "", "hours"},
	{"DateTimeHours2", "", "hrs"},
	{"DateTimeMinute1", "", "minute"},
	{"DateTimeMinute2", "", "min"},
	{"DateTimeMinutes1", "", "minutes"},
	{"DateTimeMinutes2", "", "mins"},
	{"DateTimeSecond1", "", "second"},
	{"DateTimeSecond2", "", "sec"},
	{"DateTimeSeconds1", "", "seconds"},
	{"DateTimeSeconds2", "", "secs"},
	{"DateTimeMillisecond1", "", "millisecond"},
	{"DateTimeMillisecond2", "", "msec"},
	{"DateTimeMilliseconds1", "", "milliseconds"},
	{"DateTimeMilliseconds2", "", "msecs"},
	{"DateTimeMicrosecond1", "", "microsecond"},
	{"DateTimeMicrosecond2", "", "usec"},
	{"DateTimeMicroseconds1", "", "microseconds"},
	{"DateTimeMicroseconds2", "", "usecs"},
	{nullptr, nullptr, nullptr},
};

// The five sections of date words; localeField relies on this order.
const LangSection kSections[] = {
	{"Special time-related strings", LangSectionTimeSpecial, kSpecialTexts},
	{"AM/PM strings", LangSectionTimeAmPm, kAmPmTexts},
	{"Month strings", LangSectionTimeMonth, kMonthTexts},
	{"Weekday strings", LangSectionTimeWeekday, kWeekdayTexts},
	{"Time unit strings", LangSectionTimeUnit, kUnitTexts},
};
const int kSectionCount = (int)(sizeof(kSections) / sizeof(kSections[0]));

// Unit lengths in microseconds, in the order of the unit words.
const long long kUnitUsecs[8] = {
	30LL * TimeCore::kUsecsPerDay,
	7LL * TimeCore::kUsecsPerDay,
	TimeCore::kUsecsPerDay,
	TimeCore::kUsecsPerHour,
	TimeCore::kUsecsPerMinute,
	TimeCore::kUsecsPerSecond,
	1000LL,
	1LL,
};
const int kUnitSecond = 5;

std::once_flag sDefaultsOnce;
std::atomic<bool> sLoaded{false};

// The field of a locale that the row-th text of a section fills.
TString* localeField(TimeFormat::TimeLocal& loc, int section, int row)
{
	switch (section) {
	case 0: return row == 0 ? &loc.format : &loc.none;
	case 1: return row < 4 ? &loc.am[row] : &loc.pm[row - 4];
	case 2: return (row & 1) ? &loc.monthShort[row / 2] : &loc.monthLong[row / 2];
	case 3: return (row & 1) ? &loc.weekdayShort[row / 2] : &loc.weekdayLong[row / 2];
	default: return &loc.unit[row / 4][(row / 2) & 1][row & 1];
	}
}

// The text of a key in English or in the current language; the built-in English text while
// the language table is not running.
bool textGet(const LangData& row, bool english, TString& out)
{
	if (!Language::Started()) {
		out.Assign(row.english);
		return true;
	}
	return Language::String(row.key, out, english);
}

bool localeFill(TimeFormat::TimeLocal& loc, bool english)
{
	bool ok = true;
	for (int s = 0; s < kSectionCount; s++) {
		for (int r = 0; kSections[s].rows[r].key != nullptr; r++) {
			TString text;
			if (!textGet(kSections[s].rows[r], english, text))
				ok = false;
			localeField(loc, s, r)->Assign(text.String());
		}
	}
	return ok;
}

// Whether n takes the plural word (by the English rule while the language table is not running).
bool plural(long long n, bool english)
{
	if (!Language::Started())
		return n != 1 && n != -1;
	return Language::Plural(n, english);
}

bool isAsciiAlpha(char c)
{
	return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
	return c >= '0' && c <= '9';
}

// A letter of a date word: ASCII letters and every byte of a multi-byte character.
bool isLetter(char c)
{
	return isAsciiAlpha(c) || (unsigned char)c > 0x7F;
}

bool allDigits(const std::string& s)
{
	if (s.empty())
		return false;
	for (char c : s)
		if (!isDigit(c))
			return false;
	return true;
}

// Value of a run of digits; saturates instead of overflowing.
long long digitsValue(const std::string& s)
{
	long long v = 0;
	for (char c : s) {
		if (v > 100000000000LL)
			return 999999999999LL;
		v = v * 10 + (c - '0');
	}
	return v;
}

bool sameNoCase(const char* a, const TString& b)
{
	return !b.Empty() && strcasecmp(a, b.String()) == 0;
}

// Rendered text into a string: bytes that are not UTF-8 (from a format or a word of a
// language file) are kept as they are where the string allows them, else become "?".
void assignText(TString& out, const std::string& s)
{
	if (out.CharsetGet() != kCharsetUTF8 || out.AllowInvalidGet()) {
		out.Erase();
		out.AppendByte(s.data(), (long)s.size());
	} else {
		out.Assign(s);
	}
}

void appendf(std::string& s, const char* format, long long v)
{
	char buf[48];
	std::snprintf(buf, sizeof(buf), format, v);
	s += buf;
}

}  // namespace

const char* const TimeFormat::sFmtLog = "%y1/%n1/%d1 %h3:%m1:%s1";

bool TimeFormat::sStarted = false;
TimeFormat::TimeLocal TimeFormat::sEnglish;
TimeFormat::TimeLocal TimeFormat::sCurrent;

const TimeFormat::Zone TimeFormat::sIndexTimezone[] = {
	{"GMT", 0},
	{"UT", 0},
	{"UTC", 0},
	{"CUT", 0},
	{"Z", 0},
	{"EST", -300},
	{"EDT", -240},
	{"CST", -360},
	{"CDT", -300},
	{"MST", -420},
	{"MDT", -360},
	{"PST", -480},
	{"PDT", -420},
	// Newfoundland keeps half an hour east of Atlantic time.
	{"NST", -210},
	{"NDT", -150},
	{"AST", -240},
	{"ADT", -180},
	{"YST", -540},
	{"YDT", -480},
	{"AKST", -540},
	{"AKDT", -480},
	{"HST", -600},
	{"HAST", -600},
	{"HADT", -540},
	{"WET", 0},
	{"BST", 60},
	{"CET", 60},
	{"CES", 120},
	{"CEST", 120},
	{"MET", 60},
	{"MEZ", 60},
	{"MEZT", 120},
	{"EET", 120},
	{"MSK", 180},
	{"MSD", 240},
	{"WAST", 480},
	{"WADT", 540},
	{"HKT", 480},
	{"CCT", 480},
	{"JST", 540},
	{"KST", 540},
	{"KDT", 600},
	{"CAST", 570},
	{"CADT", 630},
	{"EAST", 600},
	{"EADT", 660},
	{"NZST", 720},
	{"NZDT", 780},
};
const int TimeFormat::sIndexTimezoneCount = (int)(sizeof(sIndexTimezone) / sizeof(sIndexTimezone[0]));

bool TimeFormat::Start()
{
	if (sStarted)
		return true;
	int added = 0;
	while (added < kSectionCount && Language::SectionAdd(&kSections[added]))
		added++;
	if (added < kSectionCount || !LocaleLoad()) {
		while (added > 0)
			Language::SectionRemove(&kSections[--added]);
		return false;
	}
	sStarted = true;
	return true;
}

void TimeFormat::Stop()
{
	if (sStarted)
		for (int i = 0; i < kSectionCount; i++)
			Language::SectionRemove(&kSections[i]);
	sStarted = false;
}

bool TimeFormat::LocaleLoad()
{
	TimeLocal english, current;
	bool ok = localeFill(english, true) && localeFill(current, false);
	if (!ok)
		return false;
	sEnglish = english;
	sCurrent = current;
	sLoaded = true;
	return true;
}

const TimeFormat::TimeLocal& TimeFormat::Locale(bool english)
{
	// Before Start the built-in English words serve both copies, so that early log lines
	// and dates already render.
	if (!sLoaded)
		std::call_once(sDefaultsOnce, [] {
			if (!sLoaded) {
				localeFill(sEnglish, true);
				localeFill(sCurrent, true);
				sLoaded = true;
			}
		});
	return english ? sEnglish : sCurrent;
}

// ---- Rendering -------------------------------------------------------------------------

namespace {

// Appends the field of one format code; false for an unknown code or style.
bool formatField(std::string& s, char code, int style, const Time& t, const TimeFormat::TimeLocal& loc)
{
	switch (code) {
	case 'y':
		if (style == 1)
			appendf(s, "%04lld", t.year);
		else if (style == 2)
			appendf(s, "%02lld", t.year % 100);
		else
			return false;
		return true;
	case 'c':
		if (style != 1)
			return false;
		appendf(s, "%02lld", t.year / 100);
		return true;
	case 'n':
		if (style == 1 || style == 2)
			appendf(s, style == 1 ? "%02lld" : "%lld", t.month);
		else if (style == 3 || style == 4)
			s += (style == 3 ? loc.monthShort : loc.monthLong)[(t.month - 1) % 12].String();
		else
			return false;
		return true;
	case 'd':
		if (style != 1 && style != 2)
			return false;
		appendf(s, style == 1 ? "%02lld" : "%lld", t.day);
		return true;
	case 'h': {
		if (style < 1 || style > 4)
			return false;
		long long h = t.hour;
		if (style <= 2)
			h = h % 12 == 0 ? 12 : h % 12;
		appendf(s, (style & 1) ? "%02lld" : "%lld", h);
		return true;
	}
	case 'm':
		if (style != 1 && style != 2)
			return false;
		appendf(s, style == 1 ? "%02lld" : "%lld", t.minute);
		return true;
	case 's':
		if (style != 1 && style != 2)
			return false;
		appendf(s, style == 1 ? "%02lld" : "%lld", t.second);
		return true;
	case 'f': {
		if (style > 6)
			return false;
		char buf[16];
		std::snprintf(buf, sizeof(buf), "%06ld", (long)t.microsecond);
		s.append(buf, (size_t)style);
		return true;
	}
	case 'a':
		if (style > 4)
			return false;
		s += (t.hour < 12 ? loc.am : loc.pm)[style - 1].String();
		return true;
	case 'w': {
		if (style != 1 && style != 2)
			return false;
		int wd = t.weekday;
		if (wd < 1 || wd > 7) {
			// Not known: work it out from the date (1970-01-01 was a Thursday).
			long long days = TimeCore::DaysFromCivil(t.year, t.month, t.day);
			wd = (int)(((days % 7) + 7 + 4) % 7) + 1;
		}
		s += (style == 1 ? loc.weekdayShort : loc.weekdayLong)[wd - 1].String();
		return true;
	}
	case 't': {
		if (style != 1)
			return false;
		if (t.bias == 0) {
			s += "GMT";
			return true;
		}
		long long minutes = (t.bias < 0 ? -t.bias : t.bias) / TimeCore::kUsecsPerMinute;
		s += t.bias < 0 ? '-' : '+';
		char buf[32];
		std::snprintf(
			buf, sizeof(buf), "%02lu%02lu", (unsigned long)(minutes / 60), (unsigned long)(minutes % 60));
		s += buf;
		return true;
	}
	default: return false;
	}
}

}  // namespace

bool TimeFormat::DateTime(TString& out, const Time& time, const char* format, bool english)
{
	const TimeLocal& loc = Locale(english);
	if (!TimeCore::Valid(time)) {
		out.Assign(loc.none.String());
		return false;
	}
	if (format == nullptr || *format == 0)
		format = loc.format.String();
	std::string s;
	for (const char* p = format; *p != 0;) {
		if (p[0] == '%' && isAsciiAlpha(p[1]) && p[2] >= '1' && p[2] <= '9') {
			char code = p[1] | 0x20;
			if (!formatField(s, code, p[2] - '0', time, loc))
				s.append(p, 3);
			p += 3;
			continue;
		}
		s += *p++;
	}
	assignText(out, s);
	return true;
}

bool TimeFormat::DateTimeVal(TString& out, long long value, long long bias, const char* format, bool english)
{
	Time t;
	bool ok = TimeCore::ToTime(t, value, bias);
	DateTime(out, t, format, english);
	return ok;
}

bool TimeFormat::LogStr(TString& out, bool english)
{
	return LogStr(out, TimeCore::TimeGet(), TimeCore::kBiasLocal, english);
}

bool TimeFormat::LogStr(TString& out, long long value, long long bias, bool english)
{
	return DateTimeVal(out, value, bias, sFmtLog, english);
}

void TimeFormat::LengthStr(TString& out, long long usecs)
{
	unsigned long long a = usecs < 0 ? 0ULL - (unsigned long long)usecs : (unsigned long long)usecs;
	unsigned long long secs = a / 1000000ULL + (a % 1000000ULL != 0 ? 1 : 0);
	if (secs > 359999)
		secs = 359999;
	out.Fmt("%02u:%02u:%02u", (unsigned)(secs / 3600), (unsigned)(secs / 60 % 60), (unsigned)(secs % 60));
}

// ---- Durations --------------------------------------------------------------------------

void TimeFormat::Usecs(TString& out, long long usecs, bool fraction, bool english)
{
	const TimeLocal& loc = Locale(english);
	unsigned long long a = usecs < 0 ? 0ULL - (unsigned long long)usecs : (unsigned long long)usecs;
	if (!fraction) {
		unsigned long long secs = a / 1000000ULL + (a % 1000000ULL != 0 ? 1 : 0);
		a = secs * 1000000ULL;
	}
	std::string s;
	// A negative duration is marked once, in front of its first number.
	const char* sign = usecs < 0 ? "-" : "";
	for (int unit = 0; unit < kUnitSecond; unit++) {
		unsigned long long n = a / (unsigned long long)kUnitUsecs[unit];
		a %= (unsigned long long)kUnitUsecs[unit];
		if (n == 0)
			continue;
		if (!s.empty())
			s += ", ";
		s += sign;
		sign = "";
		appendf(s, "%lld ", (long long)n);
		s += loc.unit[unit][plural((long long)n, english) ? 1 : 0][0].String();
	}
	long long secs = (long long)(a / 1000000ULL);
	long long micro = (long long)(a % 1000000ULL);
	if (secs != 0 || s.empty() || micro != 0) {
		if (!s.empty())
			s += ", ";
		char buf[64];
		if (fraction)
			std::snprintf(buf, sizeof(buf), "%s%lld.%06lld ", sign, secs, micro);
		else
			std::snprintf(buf, sizeof(buf), "%s%lld ", sign, secs);
		s += buf;
		bool many = plural(secs, english) || (fraction && micro != 0);
		s += loc.unit[kUnitSecond][many ? 1 : 0][0].String();
	}
	assignText(out, s);
}

namespace {

// The unit (0..7) a word names in any of its forms; -1 when none.
int unitFind(const std::string& word, const TimeFormat::TimeLocal& loc)
{
	for (int unit = 0; unit < 8; unit++)
		for (int number = 0; number < 2; number++)
			for (int form = 0; form < 2; form++)
				if (sameNoCase(word.c_str(), loc.unit[unit][number][form]))
					return unit;
	return -1;
}

}  // namespace

bool TimeFormat::Usecs(long long* out, const char* text, bool english)
{
	if (out != nullptr)
		*out = 0;
	if (text == nullptr)
		return false;
	std::vector<std::string> tokens;
	std::string cur;
	for (const char* p = text;; p++) {
		char c = *p;
		if (c == 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
			if (!cur.empty())
				tokens.push_back(cur);
			cur.clear();
			if (c == 0)
				break;
		} else {
			cur += c;
		}
	}
	if (tokens.empty())
		return false;

	long long total = 0;
	bool unitless = false;
	bool negative = false;
	for (size_t i = 0; i < tokens.size(); i++) {
		const std::string& tok = tokens[i];
		size_t pos = 0;
		// A leading minus on the first number makes the whole duration negative.
		if (i == 0 && tok[0] == '-' && tok.size() > 1) {
			negative = true;
			pos = 1;
		}
		size_t numEnd = pos;
		while (numEnd < tok.size() && (isDigit(tok[numEnd]) || tok[numEnd] == '.'))
			numEnd++;
		std::string number = tok.substr(pos, numEnd - pos);
		std::string word = tok.substr(numEnd);
		if (number.empty())
			return false;
		if (word.empty() && i + 1 < tokens.size() && !isDigit(tokens[i + 1][0]) && tokens[i + 1][0] != '.')
			word = tokens[++i];

		int unit = kUnitSecond;
		if (word.empty()) {
			if (unitless)
				return false;
			unitless = true;
		} else {
			unit = unitFind(word, Locale(english));
			if (unit < 0 && !english)
				unit = unitFind(word, Locale(true));
			if (unit < 0)
				return false;
		}

		long long value = 0;
		size_t dot = number.find('.');
		if (dot == std::string::npos) {
			if (number.size() > 12)
				return false;
			long long n = digitsValue(number);
			if (__builtin_mul_overflow(n, kUnitUsecs[unit], &value))
				return false;
		} else {
			std::string whole = number.substr(0, dot);
			std::string frac = number.substr(dot + 1);
			if (unit != kUnitSecond || !allDigits(whole) || !allDigits(frac) || whole.size() > 3 ||
				frac.size() > 6)
				return false;
			frac.append(6 - frac.size(), '0');
			value = digitsValue(whole) * TimeCore::kUsecsPerSecond + digitsValue(frac);
		}
		if (__builtin_add_overflow(total, value, &total))
			return false;
	}
	if (out != nullptr)
		*out = negative ? -total : total;
	return true;
}

bool TimeFormat::Usecs(long long* out, const TString& text, bool english)
{
	return Usecs(out, text.String(), english);
}

// ---- Names ------------------------------------------------------------------------------

int TimeFormat::month(const char* text, bool english)
{
	if (text == nullptr || *text == 0)
		return 0;
	const TimeLocal& loc = Locale(english);
	for (int i = 0; i < 12; i++)
		if (sameNoCase(text, loc.monthLong[i]) || sameNoCase(text, loc.monthShort[i]))
			return i + 1;
	return 0;
}

int TimeFormat::weekday(const char* text, bool english)
{
	if (text == nullptr || *text == 0)
		return 0;
	const TimeLocal& loc = Locale(english);
	for (int i = 0; i < 7; i++)
		if (sameNoCase(text, loc.weekdayLong[i]) || sameNoCase(text, loc.weekdayShort[i]))
			return i + 1;
	return 0;
}

int TimeFormat::amPm(const char* text, bool english)
{
	if (text == nullptr || *text == 0)
		return 0;
	const TimeLocal& loc = Locale(english);
	for (int i = 0; i < 4; i++) {
		if (sameNoCase(text, loc.am[i]))
			return 1;
		if (sameNoCase(text, loc.pm[i]))
			return 2;
	}
	return 0;
}

bool TimeFormat::TimezoneOffset(const char* name, long long* bias)
{
	if (name == nullptr)
		return false;
	for (int i = 0; i < sIndexTimezoneCount; i++) {
		if (strcasecmp(name, sIndexTimezone[i].name) == 0) {
			if (bias != nullptr)
				*bias = sIndexTimezone[i].minutes * TimeCore::kUsecsPerMinute;
			return true;
		}
	}
	return false;
}

bool TimeFormat::TimezoneVerify(const char* text)
{
	if (text == nullptr)
		return false;
	if (TimezoneOffset(text, nullptr))
		return true;
	if (std::strlen(text) != 5 || (text[0] != '+' && text[0] != '-'))
		return false;
	for (int i = 1; i < 5; i++)
		if (!isDigit(text[i]))
			return false;
	int hours = (text[1] - '0') * 10 + (text[2] - '0');
	int minutes = (text[3] - '0') * 10 + (text[4] - '0');
	return hours <= 14 && minutes <= 59;
}

// ---- Date parsing -----------------------------------------------------------------------

namespace {

enum WordClass {
	WordUnknown,  // ignored: a word of letters that names nothing, or punctuation alone
	WordBad,  // holds digits but is no date part: the text cannot be read
	WordAmPm,
	WordLetter,  // a single letter: AM/PM ("a", "p") or an old military zone
	WordMonth,
	WordWeekday,
	WordZoneName,
	WordYear,
	WordNumber,
	WordZoneOffset,
	WordDate,
	WordTime,
	WordNamedOffset,
};

struct DateWord {
	std::string text;
	WordClass kind = WordUnknown;
	int value = 0;
};

const int kMaxDateWords = 20;
const char* const kEnglishMonths[12] = {"january", "february", "march", "april", "may", "june", "july",
	"august", "september", "october", "november", "december"};
const char* const kEnglishWeekdays[7] = {
	"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};

bool isSpace(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Index + 1 of the English name that word abbreviates with at least three letters ("Sept",
// "Thurs"); 0 when none.
int englishPrefix(const std::string& word, const char* const* names, int count)
{
	if (word.size() < 3)
		return 0;
	for (int i = 0; i < count; i++)
		if (word.size() <= std::strlen(names[i]) && strncasecmp(word.c_str(), names[i], word.size()) == 0)
			return i + 1;
	return 0;
}

// Recognises a name in the language asked for, then in English (headers are English).
int nameFind(int (*find)(const char*, bool), const std::string& word, bool english)
{
	int v = find(word.c_str(), english);
	if (v == 0 && !english)
		v = find(word.c_str(), true);
	return v;
}

// The military zones of old mail software: one letter, "J" excepted. Their signs were
// given the wrong way round in the first mail standard, so they tell nothing but that the
// time is in UTC ("Z" is in the zone table).
bool militaryLetter(const std::string& s)
{
	return s.size() == 1 && isAsciiAlpha(s[0]) && (s[0] | 0x20) != 'j';
}

// The class of a word of letters (dots already dropped): AM/PM, a month or weekday name,
// a zone name, or a military zone letter; WordUnknown when it names nothing.
WordClass nameClass(const std::string& name, bool english, int* value)
{
	*value = 0;
	if ((*value = nameFind(TimeFormat::amPm, name, english)) != 0)
		return name.size() == 1 ? WordLetter : WordAmPm;
	if ((*value = nameFind(TimeFormat::month, name, english)) != 0 ||
		(*value = englishPrefix(name, kEnglishMonths, 12)) != 0)
		return WordMonth;
	if ((*value = nameFind(TimeFormat::weekday, name, english)) != 0 ||
		(*value = englishPrefix(name, kEnglishWeekdays, 7)) != 0)
		return WordWeekday;
	if (TimeFormat::TimezoneOffset(name.c_str(), nullptr))
		return WordZoneName;
	if (militaryLetter(name))
		return WordLetter;
	return WordUnknown;
}

// Sign, two digits of hours and two of minutes, with an optional colon between them:
// the offset in minutes (up to 99 hours 59 minutes either way); false when malformed.
bool offsetMinutes(const std::string& s, int* minutes)
{
	std::string digits;
	if (s.size() == 6 && s[3] == ':')
		digits = s.substr(1, 2) + s.substr(4, 2);
	else if (s.size() == 5)
		digits = s.substr(1);
	else
		return false;
	if ((s[0] != '+' && s[0] != '-') || !allDigits(digits))
		return false;
	int h = (digits[0] - '0') * 10 + (digits[1] - '0');
	int m = (digits[2] - '0') * 10 + (digits[3] - '0');
	if (m > 59)
		return false;
	*minutes = (s[0] == '-' ? -1 : 1) * (h * 60 + m);
	return true;
}

void classify(DateWord& w, bool english)
{
	const std::string& s = w.text;
	bool letters = false, digits = false;
	bool colon = false, dot = false, slash = false, dash = false, plus = false;
	for (char c : s) {
		if (isLetter(c))
			letters = true;
		else if (isDigit(c))
			digits = true;
		else if (c == ':')
			colon = true;
		else if (c == '.')
			dot = true;
		else if (c == '/')
			slash = true;
		else if (c == '-')
			dash = true;
		else if (c == '+')
			plus = true;
	}
	w.kind = WordUnknown;
	if (s.empty())
		return;
	if (letters && !digits && !colon && !slash && !dash && !plus) {
		// Names, with any dots dropped ("Tue." and "p.m." are names too).
		std::string name;
		for (char c : s)
			if (c != '.')
				name += c;
		w.kind = nameClass(name, english, &w.value);
		if (w.kind == WordZoneName || w.kind == WordLetter)
			w.text = name;
		return;
	}
	if (digits && !letters && !colon && !dot && !slash && !dash && !plus) {
		long long v = digitsValue(s);
		w.kind =
			s.size() == 4 && v >= TimeCore::kYearFirst && v <= TimeCore::kYearLast ? WordYear : WordNumber;
		return;
	}
	int minutes = 0;
	if ((s[0] == '+' || s[0] == '-') && offsetMinutes(s, &minutes)) {
		w.kind = WordZoneOffset;
		w.value = minutes;
		return;
	}
	if (digits && !letters && !colon && !dot && !plus)
		w.kind = WordDate;
	else if (digits && letters && (slash || dash) && !colon && !dot && !plus &&
		strncasecmp(s.c_str(), "GMT", 3) != 0 && strncasecmp(s.c_str(), "UTC", 3) != 0)
		w.kind = WordDate;  // with a month name, as in "05-Mar-09"
	else if (digits && !slash && !dash && !plus)
		w.kind = WordTime;
	else if (letters && (plus || dash) && !slash && !dot)
		w.kind = WordNamedOffset;
	// A word with digits that is none of the above is a part of the date that cannot be
	// read; ignoring it would give a wrong time without a word.
	if (w.kind == WordUnknown && digits)
		w.kind = WordBad;
}

// Two-digit years: 69..99 are the twentieth century, the rest the twenty-first.
int twoDigitYear(long long v)
{
	return (int)(v >= 69 ? 1900 + v : 2000 + v);
}

int monthDays(int year, int month)
{
	static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
	bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
	return month == 2 && leap ? 29 : days[(month - 1) % 12];
}

// The text without its comments (RFC 5322: parenthesised, nested, with backslash escapes),
// each replaced by a space, and with the whitespace around the colons of a clock dropped
// ("14 : 07" is an old form of "14:07"). False for a parenthesis without its partner.
bool textClean(const char* text, std::string& out)
{
	std::string plain;
	int depth = 0;
	for (const char* p = text; *p != 0; p++) {
		char c = *p;
		if (depth > 0) {
			if (c == '\\' && p[1] != 0)
				p++;
			else if (c == '(')
				depth++;
			else if (c == ')' && --depth == 0)
				plain += ' ';
			continue;
		}
		if (c == '(')
			depth = 1;
		else if (c == ')')
			return false;
		else
			plain += c;
	}
	if (depth != 0)
		return false;
	out.clear();
	for (size_t i = 0; i < plain.size(); i++) {
		if (plain[i] == ':') {
			size_t before = out.size();
			while (before > 0 && isSpace(out[before - 1]))
				before--;
			size_t after = i + 1;
			while (after < plain.size() && isSpace(plain[after]))
				after++;
			if (before > 0 && isDigit(out[before - 1]) && after < plain.size() && isDigit(plain[after])) {
				out.resize(before);
				out += ':';
				i = after - 1;
				continue;
			}
		}
		out += plain[i];
	}
	return true;
}

// Splits the words that join two parts: an ISO date and its time ("2009-03-05T14:07:09"), and
// a clock and the zone offset written right after it ("14:58:26+0800").
void wordSplit(const std::string& word, std::vector<std::string>& out)
{
	std::string rest = word;
	size_t t = word.find_first_of("Tt");
	if (t != std::string::npos && t > 0 && t + 1 < word.size() && isDigit(word[t - 1]) &&
		isDigit(word[t + 1]) && word.find_first_of("-/") < t && word.find(':') > t) {
		out.push_back(word.substr(0, t));
		rest = word.substr(t + 1);
	}
	size_t colon = rest.find(':');
	size_t sign = colon == std::string::npos ? std::string::npos : rest.find_first_of("+-", colon);
	if (sign != std::string::npos && sign + 1 < rest.size() && rest.find('/') == std::string::npos &&
		!isLetter(rest[0])) {
		out.push_back(rest.substr(0, sign));
		out.push_back(rest.substr(sign));
		return;
	}
	out.push_back(rest);
}

class DateParse {
public:
	Time t;
	unsigned long found = 0;
	long long zoneBias = 0;  // of a zone offset
	long long nameBias = 0;  // of a zone name
	char letter = 0;  // a single letter still to be read as AM/PM or as a zone
	bool leapSecond = false;
	bool ok = true;

	DateParse() { TimeCore::Clear(t); }

	bool take(unsigned long part)
	{
		if (found & part)
			return false;
		found |= part;
		return true;
	}

	void apply(const std::vector<DateWord>& words, size_t i, bool english)
	{
		const DateWord& w = words[i];
		bool good = true;
		switch (w.kind) {
		case WordUnknown: break;
		case WordBad: good = false; break;
		case WordAmPm: good = ampm(w.value); break;
		case WordLetter: good = letterTake(w.text[0]); break;
		case WordMonth:
			good = take(TimeFormat::PartMonth);
			t.month = (int8_t)w.value;
			break;
		case WordWeekday:
			good = take(TimeFormat::PartWeekday);
			t.weekday = (int8_t)w.value;
			break;
		case WordZoneName: good = zoneName(w.text); break;
		case WordYear:
			good = take(TimeFormat::PartYear);
			t.year = (int16_t)digitsValue(w.text);
			break;
		case WordNumber: {
			bool monthBeside = (i > 0 && words[i - 1].kind == WordMonth) ||
				(i + 1 < words.size() && words[i + 1].kind == WordMonth);
			good = number(w.text, monthBeside);
			break;
		}
		case WordZoneOffset:
			good = take(TimeFormat::PartZoneOffset);
			zoneBias = w.value * TimeCore::kUsecsPerMinute;
			break;
		case WordDate: good = date(w.text, english); break;
		case WordTime: good = time(w.text, english); break;
		case WordNamedOffset: good = namedOffset(w.text); break;
		}
		if (!good)
			ok = false;
	}

	// Once every word is in: a single letter is AM or PM after an hour of the twelve-hour
	// clock given without seconds ("2:07 p"), else a military zone ("14:07:09 A"). False when
	// it can be neither.
	bool letterResolve(bool english)
	{
		if (letter == 0)
			return true;
		std::string name(1, letter);
		int which = nameFind(TimeFormat::amPm, name, english);
		bool twelveHour = (found & TimeFormat::PartHour) && !(found & TimeFormat::PartSecond) &&
			t.hour >= 1 && t.hour <= 12;
		if (which != 0 && twelveHour)
			return ampm(which);
		if (!militaryLetter(name))
			return false;
		return zoneName(name);
	}

private:
	bool ampm(int which)
	{
		if (found & (TimeFormat::PartAm | TimeFormat::PartPm))
			return false;
		found |= which == 1 ? TimeFormat::PartAm : TimeFormat::PartPm;
		return true;
	}

	bool letterTake(char c)
	{
		if (letter != 0)
			return false;
		letter = c;
		return true;
	}

	bool zoneName(const std::string& name)
	{
		if (!take(TimeFormat::PartZoneName))
			return false;
		std::snprintf(t.zoneName, sizeof(t.zoneName), "%s", name.c_str());
		if (!TimeFormat::TimezoneOffset(name.c_str(), &nameBias))
			nameBias = 0;  // a military letter: UTC
		return true;
	}

	bool setYear(int y)
	{
		if (!take(TimeFormat::PartYear))
			return false;
		t.year = (int16_t)y;
		return true;
	}

	bool number(const std::string& s, bool monthBeside)
	{
		long long v = digitsValue(s);
		if (v >= TimeCore::kYearFirst && v <= TimeCore::kYearLast && !(found & TimeFormat::PartYear))
			return setYear((int)v);
		if (s.size() <= 2) {
			if (v >= 1 && v <= 31 && !(found & TimeFormat::PartDay)) {
				found |= TimeFormat::PartDay;
				t.day = (int8_t)v;
				return true;
			}
			if (v >= 1 && v <= 12 && !(found & TimeFormat::PartMonth) && !monthBeside) {
				found |= TimeFormat::PartMonth;
				t.month = (int8_t)v;
				return true;
			}
			if (s.size() == 2 && !(found & TimeFormat::PartYear))
				return setYear(twoDigitYear(v));
			return false;
		}
		// Old software wrote the years since 1900 ("109" for 2009).
		if (s.size() == 3 && !(found & TimeFormat::PartYear))
			return setYear((int)(1900 + v));
		return false;
	}

	bool date(const std::string& text, bool english)
	{
		std::vector<std::string> fields;
		std::string cur;
		for (char c : text) {
			if (c == '/' || c == '-') {
				fields.push_back(cur);
				cur.clear();
			} else {
				cur += c;
			}
		}
		fields.push_back(cur);
		// A month name among the fields goes first, so that the numbers beside it are
		// read as day and year.
		for (const std::string& f : fields) {
			if (f.empty())
				return false;
			if (!allDigits(f)) {
				int m = nameFind(TimeFormat::month, f, english);
				if (m == 0)
					m = englishPrefix(f, kEnglishMonths, 12);
				if (m == 0 || !take(TimeFormat::PartMonth))
					return false;
				t.month = (int8_t)m;
			}
		}
		for (const std::string& f : fields) {
			if (!allDigits(f))
				continue;
			long long v = digitsValue(f);
			if (f.size() <= 4 && v >= TimeCore::kYearFirst && v <= TimeCore::kYearLast &&
				!(found & TimeFormat::PartYear))
				setYear((int)v);
			else if (v >= 1 && v <= 12 && !(found & TimeFormat::PartMonth)) {
				found |= TimeFormat::PartMonth;
				t.month = (int8_t)v;
			} else if (v >= 1 && v <= 31 && !(found & TimeFormat::PartDay)) {
				found |= TimeFormat::PartDay;
				t.day = (int8_t)v;
			} else if (f.size() == 2 && !(found & TimeFormat::PartYear))
				setYear(twoDigitYear(v));
			else
				return false;
		}
		return true;
	}

	bool time(const std::string& text, bool english)
	{
		size_t end = 0;
		while (end < text.size() && !isLetter(text[end]))
			end++;
		std::string clock = text.substr(0, end);
		std::string suffix;
		for (size_t i = end; i < text.size(); i++) {
			if (text[i] == '.')
				continue;
			if (!isLetter(text[i]))
				return false;
			suffix += text[i];
		}
		// Letters right after the clock: AM/PM ("2:07pm") or a zone ("14:07:09Z").
		bool good = true;
		if (!suffix.empty()) {
			int value = 0;
			switch (nameClass(suffix, english, &value)) {
			case WordAmPm: good = ampm(value); break;
			case WordLetter: good = letterTake(suffix[0]); break;
			case WordZoneName: good = zoneName(suffix); break;
			default: return false;
			}
		}
		// A trailing dot belongs to the sentence ("at 2.30."), not to the clock.
		while (!clock.empty() && clock.back() == '.')
			clock.pop_back();
		if (clock.empty())
			return false;
		std::vector<std::string> fields;
		std::string cur;
		for (char c : clock) {
			if (c == ':' || c == '.') {
				fields.push_back(cur);
				cur.clear();
			} else {
				cur += c;
			}
		}
		fields.push_back(cur);
		if (fields.size() > 4)
			return false;
		static const unsigned long parts[4] = {
			TimeFormat::PartHour, TimeFormat::PartMinute, TimeFormat::PartSecond, TimeFormat::PartFraction};
		// A second of 60 is a leap second.
		static const long long limits[3] = {23, 59, 60};
		for (size_t i = 0; i < fields.size(); i++) {
			const std::string& f = fields[i];
			if (!allDigits(f))
				return false;
			long long v = digitsValue(f);
			if (i < 3) {
				if (f.size() > 2 || v > limits[i] || !take(parts[i]))
					return false;
				if (i == 0)
					t.hour = (int8_t)v;
				else if (i == 1)
					t.minute = (int8_t)v;
				else if (v == 60) {
					t.second = 59;
					leapSecond = true;
				} else
					t.second = (int8_t)v;
			} else {
				if (f.size() > 6 || !take(parts[i]))
					return false;
				std::string padded = f + std::string(6 - f.size(), '0');
				t.microsecond = (int32_t)digitsValue(padded);
			}
		}
		return good;
	}

	bool namedOffset(const std::string& text)
	{
		if (text.size() < 5 ||
			(strncasecmp(text.c_str(), "GMT", 3) != 0 && strncasecmp(text.c_str(), "UTC", 3) != 0))
			return false;
		std::string rest = text.substr(3);
		int minutes = 0;
		if (rest.size() == 5 || rest.size() == 6) {
			if (!offsetMinutes(rest, &minutes))
				return false;
		} else {
			if ((rest[0] != '+' && rest[0] != '-') || rest.size() > 3 || !allDigits(rest.substr(1)))
				return false;
			long long h = digitsValue(rest.substr(1));
			if (h > 23)
				return false;
			minutes = (int)(rest[0] == '-' ? -h : h) * 60;
		}
		if (!take(TimeFormat::PartZoneOffset))
			return false;
		zoneBias = minutes * TimeCore::kUsecsPerMinute;
		return true;
	}
};

}  // namespace

bool TimeFormat::Parse(
	long long* out, const char* text, long long bias, long long base, unsigned long* parts, bool english)
{
	unsigned long allowed = parts != nullptr ? *parts : kPartsBaseDefault;
	if (parts != nullptr)
		*parts = 0;
	if (out != nullptr)
		*out = 0;
	if (text == nullptr)
		return false;

	// The "no time" text.
	std::string trimmed(text);
	while (!trimmed.empty() && isSpace(trimmed.back()))
		trimmed.pop_back();
	size_t lead = trimmed.find_first_not_of(" \t\r\n");
	trimmed = lead == std::string::npos ? std::string() : trimmed.substr(lead);
	if (sameNoCase(trimmed.c_str(), Locale(english).none) || sameNoCase(trimmed.c_str(), Locale(true).none))
		return true;

	std::string clean;
	if (!textClean(text, clean))
		return false;

	// Words: everything but letters, digits and + - . / : separates.
	std::vector<DateWord> words;
	std::string cur;
	for (size_t i = 0; i <= clean.size(); i++) {
		char c = i < clean.size() ? clean[i] : 0;
		bool keep =
			c != 0 && (isLetter(c) || isDigit(c) || c == '+' || c == '-' || c == '.' || c == '/' || c == ':');
		if (keep) {
			cur += c;
			continue;
		}
		if (!cur.empty()) {
			std::vector<std::string> pieces;
			wordSplit(cur, pieces);
			for (std::string& piece : pieces) {
				if ((int)words.size() == kMaxDateWords)
					return false;
				DateWord w;
				w.text = std::move(piece);
				words.push_back(std::move(w));
			}
			cur.clear();
		}
	}
	for (DateWord& w : words)
		classify(w, english);

	DateParse p;
	for (size_t i = 0; i < words.size(); i++)
		p.apply(words, i, english);
	if (!p.letterResolve(english))
		p.ok = false;
	Time& t = p.t;

	// Fix-ups.
	if (t.month < 1 || t.month > 12)
		t.month = 1;
	if (t.day < 1 || t.day > 31)
		t.day = 1;
	bool hasOffset = (p.found & PartZoneOffset) != 0;
	if ((p.found & PartZoneName) && !hasOffset) {
		p.zoneBias = p.nameBias;
		hasOffset = true;
	}
	if (p.found & PartAm) {
		// The twelve-hour clock: "12 am" is midnight; "14:00 am" cannot be read.
		if (t.hour > 12)
			p.ok = false;
		else if (t.hour == 12)
			t.hour = 0;
	} else if (p.found & PartPm) {
		if (t.hour < 12)
			t.hour = (int8_t)(t.hour + 12);
	}
	if (hasOffset)
		bias = p.zoneBias;
	if (bias != TimeCore::kBiasLocal)
		t.bias = bias;

	// Parts the text did not give come from the base time.
	long long now = 0;
	if (base != -1) {
		if (base == TimeCore::kBaseNow)
			base = now = TimeCore::TimeGet();
		Time b;
		if (!TimeCore::ToTime(b, base, bias))
			p.ok = false;
		unsigned long fill = allowed & ~p.found;
		if (fill & PartYear)
			t.year = b.year;
		if (fill & PartMonth)
			t.month = b.month;
		if (fill & PartDay)
			t.day = b.day;
		if (fill & PartHour)
			t.hour = b.hour;
		if (fill & PartMinute)
			t.minute = b.minute;
		if (fill & PartSecond)
			t.second = b.second;
		if (fill & PartFraction)
			t.microsecond = b.microsecond;
		if (fill & PartWeekday)
			t.weekday = b.weekday;
		if (bias == TimeCore::kBiasLocal) {
			if (!(p.found & PartWeekday))
				t.weekday = b.weekday;
			std::memcpy(t.zoneName, b.zoneName, sizeof(t.zoneName));
			t.bias = b.bias;
			t.daylight = b.daylight;
		} else if (fill & PartZoneName) {
			std::memcpy(t.zoneName, b.zoneName, sizeof(t.zoneName));
		}
	}

	// A day the month does not have ("31 Apr") would roll over into the next month.
	long long value = 0;
	if (t.day > monthDays(t.year, t.month) || !TimeCore::ToTimeVal(value, t, bias))
		p.ok = false;

	// A date without a year read against now is never more than a day ahead: it is last
	// year's (a day of slack allows for zones and clocks that are a little off).
	if (p.ok && now != 0 && !(p.found & PartYear) && value > now + TimeCore::kUsecsPerDay) {
		t.year = (int16_t)(t.year - 1);
		// A later conversion reads the fields afresh; the old day's flag would mislead it.
		if (bias == TimeCore::kBiasLocal)
			t.zoneName[0] = 0;
		if (t.day > monthDays(t.year, t.month) || !TimeCore::ToTimeVal(value, t, bias))
			p.ok = false;
	}
	if (p.leapSecond)
		value += TimeCore::kUsecsPerSecond;

	if (parts != nullptr)
		*parts = p.found;
	if (!p.ok)
		return false;
	if (out != nullptr)
		*out = value;
	return true;
}

bool TimeFormat::Parse(
	long long* out, const TString& text, long long bias, long long base, unsigned long* parts, bool english)
{
	return Parse(out, text.String(), bias, base, parts, english);
}
