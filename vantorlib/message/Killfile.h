// The killfile: authors whose articles are left out of the lists and the unread counts.
#pragma once

#include "TString.h"

class Killfile {
public:
	static bool Start(const TString& path);
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
	static TString sPath;
};
