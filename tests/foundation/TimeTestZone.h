// Sets TZ for the life of a test and restores it afterwards.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class ZoneScope {
public:
	explicit ZoneScope(const char* zone)
	{
		const char* old = std::getenv("TZ");
		mHad = old != nullptr;
		if (mHad)
			mOld = old;
		setenv("TZ", zone, 1);
		tzset();
	}
	~ZoneScope()
	{
		if (mHad)
			setenv("TZ", mOld.c_str(), 1);
		else
			unsetenv("TZ");
		tzset();
	}

private:
	bool mHad = false;
	std::string mOld;
};
