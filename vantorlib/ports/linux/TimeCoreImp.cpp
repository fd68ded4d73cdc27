#include "TimeCoreImp.h"

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <sys/time.h>

namespace {

std::once_flag sDstOnce;
// Seconds subtracted from a converted local time that has daylight saving in effect,
// for C libraries whose mktime gets it wrong (0 on a sound library).
long long sDstCorrection = 0;

bool sameFields(const struct tm& a, const struct tm& b)
{
	return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
		a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

}  // namespace

long long TimeCoreImp::Now()
{
	struct timespec ts;
	clock_gettime(CLOCK_REALTIME, &ts);
	return (long long)ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

long long TimeCoreImp::Tick()
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return (long long)ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

void TimeCoreImp::Sleep(long long usecs)
{
	if (usecs <= 0)
		return;
	struct timespec ts;
	ts.tv_sec = (time_t)(usecs / 1000000LL);
	ts.tv_nsec = (long)(usecs % 1000000LL) * 1000L;
	// Resume after signals so that the whole pause is taken.
	while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
	}
}

bool TimeCoreImp::ClockSet(long long value)
{
	struct timeval tv;
	tv.tv_sec = (time_t)(value / 1000000LL);
	tv.tv_usec = (suseconds_t)(value % 1000000LL);
	return settimeofday(&tv, nullptr) == 0;
}

bool TimeCoreImp::LocalBreak(long long seconds, struct tm& out)
{
	// localtime_r need not look at TZ again; tzset makes a changed TZ count.
	tzset();
	time_t t = (time_t)seconds;
	return localtime_r(&t, &out) != nullptr;
}

bool TimeCoreImp::localMakeRaw(struct tm tm, long long& seconds)
{
	int isdst = tm.tm_isdst;
	time_t t = mktime(&tm);
	if (t == (time_t)-1) {
		// -1 is also the valid instant one second before the epoch; tell them apart.
		struct tm check;
		time_t m1 = -1;
		if (localtime_r(&m1, &check) == nullptr || !sameFields(check, tm))
			return false;
	}
	seconds = (long long)t;
	if (isdst > 0 || (isdst < 0 && tm.tm_isdst > 0))
		seconds -= sDstCorrection;
	return true;
}

void TimeCoreImp::dstBugCheck()
{
	tzset();
	time_t now = time(nullptr);
	for (int week = 0; week <= 30; week++) {
		time_t t = now - (time_t)week * 7 * 86400;
		struct tm tm;
		if (localtime_r(&t, &tm) == nullptr || tm.tm_isdst <= 0)
			continue;
		struct tm copy = tm;
		time_t back = mktime(&copy);
		if (back == t)
			return;
		copy = tm;
		back = mktime(&copy) - 3600;
		if (back == t) {
			sDstCorrection = 3600;
			return;
		}
		std::printf("Cannot determine proper DST offset\n");
		return;
	}
}

bool TimeCoreImp::LocalMake(const struct tm& in, long long& seconds)
{
	std::call_once(sDstOnce, dstBugCheck);
	if (in.tm_isdst >= 0) {
		// The caller knows the daylight flag (the fields came from a local breakdown):
		// honour it so that the repeated hour at the end of summer time converts back
		// to the instant it came from, but only when it really describes these fields.
		struct tm tm = in;
		long long s = 0;
		struct tm back;
		if (localMakeRaw(tm, s) && LocalBreak(s, back) && sameFields(back, in) &&
			(back.tm_isdst > 0) == (in.tm_isdst > 0)) {
			seconds = s;
			return true;
		}
	}
	struct tm tm = in;
	tm.tm_isdst = -1;
	return localMakeRaw(tm, seconds);
}
