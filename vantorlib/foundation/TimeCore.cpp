#include "TimeCore.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

#include "TimeCoreImp.h"

namespace {

std::mutex sRandomLock;

long long floorDiv(long long a, long long b)
{
	long long q = a / b;
	if ((a % b != 0) && ((a < 0) != (b < 0)))
		q--;
	return q;
}

}  // namespace

long long TimeCore::TimeGet()
{
	return TimeCoreImp::Now();
}

long long TimeCore::TickCount()
{
	return TimeCoreImp::Tick();
}

void TimeCore::Sleep(long long usecs)
{
	TimeCoreImp::Sleep(usecs);
}

bool TimeCore::TimeSet(long long value)
{
	if (value < 200000000LL)
		return false;
	return TimeCoreImp::ClockSet(value);
}

long long TimeCore::Seconds(long long usecs)
{
	long long s = usecs / kUsecsPerSecond;
	if (usecs % kUsecsPerSecond != 0)
		s += usecs < 0 ? -1 : 1;
	return s;
}

unsigned long TimeCore::Random(unsigned long n)
{
	if (n == 0)
		return 0;
	// Seeded from the system's entropy, not the clock: two processes started in the same
	// second must not draw the same numbers. Uniform over the whole range, however large.
	std::lock_guard<std::mutex> lock(sRandomLock);
	static std::mt19937_64 generator = [] {
		std::random_device device;
		std::seed_seq seed{device(), device(), device(), device(), unsigned(TimeGet())};
		return std::mt19937_64(seed);
	}();
	return std::uniform_int_distribution<unsigned long>(0, n - 1)(generator);
}

int TimeCore::MonthDays(int year, int month)
{
	static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
	if (month < 1 || month > 12)
		return 0;
	if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
		return 29;
	return days[month - 1];
}

long long TimeCore::DaysFromCivil(int year, int month, int day)
{
	long long y = year - (month <= 2 ? 1 : 0);
	long long era = floorDiv(y, 400);
	long long yoe = y - era * 400;
	long long mp = (month + 9) % 12;
	long long doy = (153 * mp + 2) / 5 + day - 1;
	long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
	return era * 146097 + doe - 719468;
}

void TimeCore::CivilFromDays(long long days, int& year, int& month, int& day)
{
	long long z = days + 719468;
	long long era = floorDiv(z, 146097);
	long long doe = z - era * 146097;
	long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
	long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
	long long mp = (5 * doy + 2) / 153;
	day = (int)(doy - (153 * mp + 2) / 5 + 1);
	month = (int)(mp < 10 ? mp + 3 : mp - 9);
	year = (int)(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

bool TimeCore::ToTime(Time& out, long long value, long long bias)
{
	Clear(out);
	if (value < 0)
		return false;
	if (value == 0)
		return true;
	if (bias == kBiasLocal) {
		struct tm tm;
		if (!TimeCoreImp::LocalBreak(floorDiv(value, kUsecsPerSecond), tm))
			return false;
		int year = tm.tm_year + 1900;
		out.year = (int16_t)(year < kYearFirst || year > kYearLast ? 0 : year);
		out.month = (int8_t)(tm.tm_mon + 1);
		out.day = (int8_t)tm.tm_mday;
		out.hour = (int8_t)tm.tm_hour;
		out.minute = (int8_t)tm.tm_min;
		// A leap second (60) is shown as the last second of the minute.
		out.second = (int8_t)(tm.tm_sec > 59 ? 59 : tm.tm_sec);
		out.microsecond = (int32_t)(value % kUsecsPerSecond);
		out.weekday = (int8_t)(tm.tm_wday + 1);
		out.dayOfYear = (int16_t)(tm.tm_yday + 1);
		out.bias = (int64_t)tm.tm_gmtoff * kUsecsPerSecond;
		out.daylight = tm.tm_isdst > 0;
		if (tm.tm_zone != nullptr) {
			std::strncpy(out.zoneName, tm.tm_zone, sizeof(out.zoneName) - 1);
			out.zoneName[sizeof(out.zoneName) - 1] = 0;
		}
	} else {
		long long shifted = value + bias;
		long long secs = floorDiv(shifted, kUsecsPerSecond);
		long long days = floorDiv(secs, 86400);
		long long rest = secs - days * 86400;
		int y, m, d;
		CivilFromDays(days, y, m, d);
		if (y < kYearFirst || y > kYearLast) {
			Clear(out);
			return false;
		}
		out.year = (int16_t)y;
		out.month = (int8_t)m;
		out.day = (int8_t)d;
		out.hour = (int8_t)(rest / 3600);
		out.minute = (int8_t)(rest / 60 % 60);
		out.second = (int8_t)(rest % 60);
		out.microsecond = (int32_t)(shifted - secs * kUsecsPerSecond);
		// 1970-01-01 was a Thursday (5 counting Sunday as 1).
		out.weekday = (int8_t)((days % 7 + 7 + 4) % 7 + 1);
		out.dayOfYear = (int16_t)(days - DaysFromCivil(y, 1, 1) + 1);
		out.bias = bias;
		out.daylight = false;
		if (bias == 0)
			std::strcpy(out.zoneName, "GMT");
	}
	if (!Valid(out)) {
		Clear(out);
		return false;
	}
	return true;
}

bool TimeCore::ToTimeVal(long long& value, const Time& time, long long bias)
{
	value = 0;
	if (!Valid(time))
		return false;
	long long secs = 0;
	if (bias == kBiasLocal) {
		struct tm tm;
		std::memset(&tm, 0, sizeof(tm));
		tm.tm_year = time.year - 1900;
		tm.tm_mon = time.month - 1;
		tm.tm_mday = time.day;
		tm.tm_hour = time.hour;
		tm.tm_min = time.minute;
		tm.tm_sec = time.second;
		// The daylight flag tells the two instants of the repeated hour apart, but only a
		// Time broken down in a zone (with a zone name) carries one.
		tm.tm_isdst = time.zoneName[0] != 0 ? (time.daylight ? 1 : 0) : -1;
		if (!TimeCoreImp::LocalMake(tm, secs))
			return false;
		value = secs * kUsecsPerSecond + time.microsecond;
	} else {
		secs = DaysFromCivil(time.year, time.month, time.day) * 86400LL + time.hour * 3600LL +
			time.minute * 60LL + time.second;
		value = secs * kUsecsPerSecond + time.microsecond - bias;
	}
	return true;
}

void TimeCore::Clear(Time& time)
{
	std::memset(&time, 0, sizeof(time));
}

void TimeCore::Copy(Time& dst, const Time& src)
{
	std::memcpy(&dst, &src, sizeof(dst));
}

bool TimeCore::Valid(const Time& time)
{
	if (time.year < kYearFirst || time.year > kYearLast)
		return false;
	if (time.month < 1 || time.month > 12)
		return false;
	if (time.day < 1 || time.day > 31)
		return false;
	if (time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59)
		return false;
	if (time.second < 0 || time.second > 59)
		return false;
	if (time.microsecond < 0 || time.microsecond > 999999)
		return false;
	if (time.weekday < 0 || time.weekday > 7)
		return false;
	if (time.dayOfYear < 0 || time.dayOfYear > 366)
		return false;
	return true;
}
