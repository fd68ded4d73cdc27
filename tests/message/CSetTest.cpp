// Charsets: which are available, names and codes, and conversion both ways with its fallbacks.
#include <gtest/gtest.h>

#include "CSet.h"
#include "TString.h"

TEST(CSet, AvailabilityNamesAndCodes)
{
	for (int i = 1; i <= kCharsetCount; ++i) {
		Charset cs = Charset(i);
		EXPECT_EQ(CSet::Available(cs), i != 11 && i != 12) << CSet::String(cs);
		EXPECT_EQ(CSet::CharValue(CSet::CharString(cs)), cs);
	}
	EXPECT_EQ(CSet::Value("iso-8859-15"), kCharsetISO8859_15);
	EXPECT_EQ(CSet::Value("ISO-8859-11"), kCharsetNone);
	EXPECT_EQ(CSet::Value("utf8"), kCharsetNone);
	EXPECT_STREQ(CSet::String(Charset(99)), "<None>");
	EXPECT_EQ(CSet::CharString(Charset(0)), 'x');
	EXPECT_EQ(CSet::MakeValid(Charset(40)), kCharsetISO8859_1);
}

TEST(CSet, ConvertsBothWaysAndFallsBack)
{
	struct Case {
		Charset cs;
		const char* bytes;
		const char* utf8;
	} cases[] = {
		{kCharsetISO8859_1, "caf\xE9", "caf\xC3\xA9"}, {kCharsetISO8859_15, "\xA4", "\xE2\x82\xAC"},
		{kCharsetWindows1252, "\x80", "\xE2\x82\xAC"},
		{kCharsetKOI8R, "\xF0\xD2\xC9\xD7\xC5\xD4", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
		{kCharsetMacintosh, "\x8E", "\xC3\xA9"},
		{kCharsetBIG5, "\xA4\xA4\xA4\xE5", "\xE4\xB8\xAD\xE6\x96\x87"},
		{kCharsetGB18030, "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
		{kCharsetUSASCII, "caf\xE9", "caf\xC3\xA9"},  // read as ISO-8859-1
	};
	for (const Case& c : cases) {
		TString in, out, back;
		in.CharsetSet(c.cs);
		in = c.bytes;
		EXPECT_TRUE(CSet::Convert(c.cs, in, kCharsetUTF8, out)) << CSet::String(c.cs);
		EXPECT_STREQ(out.String(), c.utf8);
		EXPECT_EQ(out.CharsetGet(), kCharsetUTF8);
		if (c.cs == kCharsetUSASCII)
			continue;
		EXPECT_TRUE(CSet::Convert(kCharsetUTF8, out, c.cs, back));
		EXPECT_STREQ(back.String(), c.bytes);
		EXPECT_EQ(back.CharsetGet(), c.cs);
	}
	// What the target cannot hold becomes "?".
	TString out;
	EXPECT_TRUE(CSet::Convert(kCharsetUTF8,
		TString("\xE4\xB8\xAD"
				"a"),
		kCharsetISO8859_1, out));
	EXPECT_STREQ(out.String(), "?a");
	// Between two 8-bit charsets nothing is converted: the bytes are copied.
	TString latin;
	latin.CharsetSet(kCharsetISO8859_1);
	latin = "\xE9";
	EXPECT_FALSE(CSet::Convert(kCharsetISO8859_1, latin, kCharsetKOI8R, out));
	EXPECT_EQ(out.ByteLength(), 1);
	// Bytes that are not valid in their charset are copied, cleaned of what is invalid.
	TString bad;
	bad.CharsetSet(kCharsetUTF8);
	bad.AllowInvalidSet(true);
	bad.AppendByte("ok\xFF", 3);
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	EXPECT_FALSE(CSet::Convert(kCharsetUTF8, bad, kCharsetISO8859_2, out));
	EXPECT_TRUE(out.Valid());
	EXPECT_TRUE(CSet::Convert(kCharsetUTF8, TString(""), kCharsetKOI8R, out));
	EXPECT_TRUE(out.Empty());
}
