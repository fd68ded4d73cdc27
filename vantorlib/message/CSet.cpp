#include "CSet.h"

#include <strings.h>

#include <mutex>

#include "CSetImp.h"

namespace {

struct Row {
	char code;
	const char* name;
	const char* platform;  // converter name; nullptr when never available
};

// Indexed by Charset value - 1. GBK maps to the same converter as GB2312 on purpose, and
// US-ASCII is read as ISO-8859-1 so that stray 8-bit bytes survive.
const Row kRows[kCharsetCount] = {
	{'1', "ISO-8859-1", "ISO-8859-1"},
	{'2', "ISO-8859-2", "ISO-8859-2"},
	{'3', "ISO-8859-3", "ISO-8859-3"},
	{'4', "ISO-8859-4", "ISO-8859-4"},
	{'5', "ISO-8859-5", "ISO-8859-5"},
	{'6', "ISO-8859-6", "ISO-8859-6"},
	{'7', "ISO-8859-7", "ISO-8859-7"},
	{'8', "ISO-8859-8", "ISO-8859-8"},
	{'9', "ISO-8859-9", "ISO-8859-9"},
	{'0', "ISO-8859-10", "ISO-8859-10"},
	{'&', "ISO-8859-11", nullptr},
	{'@', "ISO-8859-12", nullptr},
	{'$', "ISO-8859-13", "ISO-8859-13"},
	{'#', "ISO-8859-14", "ISO-8859-14"},
	{'*', "ISO-8859-15", "ISO-8859-15"},
	{'B', "BIG5", "Big5"},
	{'E', "GB18030", "GB18030"},
	{'C', "GB2312", "EUC-CN"},
	{'D', "HZ-GB-2312", "HZ-GB-2312"},
	{'G', "GBK", "EUC-CN"},
	{'R', "KOI8-R", "KOI8-R"},
	{'M', "Macintosh", "macintosh"},
	{'A', "US-ASCII", "ISO-8859-1"},
	{'U', "UTF-8", "UTF-8"},
	{'q', "Windows-1250", "windows-1250"},
	{'r', "Windows-1251", "windows-1251"},
	{'s', "Windows-1252", "windows-1252"},
};

// Asked of the platform once, on first use.
std::once_flag sAvailableOnce;
bool sAvailable[kCharsetCount];

void availableCompute()
{
	for (int i = 0; i < kCharsetCount; ++i)
		sAvailable[i] = kRows[i].platform != nullptr && CSetImp::Builtin(Charset(i + 1));
}

}  // namespace

bool CSet::Valid(Charset cs)
{
	return cs >= 1 && cs <= kCharsetCount;
}

Charset CSet::MakeValid(Charset cs)
{
	return Valid(cs) ? cs : kCharsetISO8859_1;
}

bool CSet::Available(Charset cs)
{
	if (!Valid(cs))
		return false;
	std::call_once(sAvailableOnce, availableCompute);
	return sAvailable[cs - 1];
}

const char* CSet::String(Charset cs)
{
	return Valid(cs) ? kRows[cs - 1].name : "<None>";
}

Charset CSet::Value(const char* name)
{
	if (!name || !*name)
		return kCharsetNone;
	for (int i = 0; i < kCharsetCount; ++i) {
		if (strcasecmp(name, kRows[i].name) == 0) {
			Charset cs = Charset(i + 1);
			return Available(cs) ? cs : kCharsetNone;
		}
	}
	return kCharsetNone;
}

char CSet::CharString(Charset cs)
{
	return Valid(cs) ? kRows[cs - 1].code : 'x';
}

Charset CSet::CharValue(char code)
{
	for (int i = 0; i < kCharsetCount; ++i)
		if (kRows[i].code == code)
			return Charset(i + 1);
	return kCharsetNone;
}

const char* CSet::PlatformName(Charset cs)
{
	return Valid(cs) ? kRows[cs - 1].platform : nullptr;
}

bool CSet::Convert(Charset from, const TString& text, Charset to, TString& out)
{
	Charset before = out.CharsetGet();
	TString result;
	bool ok = CSetImp::Convert(from, text, to, result);
	if (ok) {
		out = std::move(result);
	} else {
		// The fallback bytes, under the tag out had.
		result.AllowInvalidSet(true);
		out.AllowInvalidSet(true);
		out.CharsetSet(before);
		out.Erase();
		result.CharsetSet(before);
		out.Append(result);
		if (!out.Valid())
			out.Clean();
		out.AllowInvalidSet(false);
	}
	return ok;
}

bool CSet::Convert(Charset from, const char* text, Charset to, TString& out)
{
	TString in;
	in.CharsetSet(from == kCharsetUTF8 ? kCharsetISO8859_1 : from);
	in = text;
	in.AllowInvalidSet(true);
	in.CharsetSet(from);
	return Convert(from, in, to, out);
}
