// Character set conversion services of the platform (ICU on Linux).
#pragma once

class CSetImp {
public:
	// Whether the platform has a converter of this name.
	static bool Exists(const char* converterName);
};
