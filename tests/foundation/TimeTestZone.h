// Sets TZ for the life of a test and restores it afterwards.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class ZoneScope {
public:
	explicit ZoneScope(const char* zone)
		: mHad(std::getenv("TZ") != nullptr), mOld(mHad ? std::getenv("TZ") : "")
	{
		setenv("TZ", zone, 1);
		tzset();
	}
	~ZoneScope()
	{
		mHad ? setenv("TZ", mOld.c_str(), 1) : unsetenv("TZ");
		tzset();
	}

private:
	bool mHad;
	std::string mOld;
};
