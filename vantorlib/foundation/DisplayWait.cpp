#include "DisplayWait.h"

#include "TimeCore.h"

bool DisplayWait::DisplayNow(long count)
{
	long long now = TimeCore::TickCount();
	if (count < 2 || now - mLast >= kInterval) {
		mLast = now;
		return true;
	}
	return false;
}
