#include "NetAddr.h"

#include "TString.h"

const char* NetAddr::ToString(TString& out, bool padded) const
{
	unsigned a = (mAddress >> 24) & 0xFF, b = (mAddress >> 16) & 0xFF, c = (mAddress >> 8) & 0xFF,
			 d = mAddress & 0xFF;
	if (padded)
		out.Fmt("%03u.%03u.%03u.%03u:%05u", a, b, c, d, static_cast<unsigned>(mPort));
	else
		out.Fmt("%u.%u.%u.%u:%u", a, b, c, d, static_cast<unsigned>(mPort));
	return out.String();
}
