#include <gtest/gtest.h>

#include <cstring>

#include "Unicode.h"

TEST(UnicodeTest, EncodeDecodeEveryLength)
{
	struct {
		unsigned long cp;
		long len;
	} cases[] = {{0x41, 1}, {0x7F, 1}, {0x80, 2}, {0x7FF, 2}, {0x800, 3}, {0xFFFF, 3}, {0x10000, 4},
		{0x1FFFFF, 4}, {0x200000, 5}, {0x3FFFFFF, 5}, {0x4000000, 6}, {0x7FFFFFFF, 6}};
	for (auto& c : cases) {
		char buf[8];
		ASSERT_EQ(Unicode::Char32ToUtf8(buf, c.cp, sizeof buf), c.len) << std::hex << c.cp;
		EXPECT_EQ(static_cast<long>(std::strlen(buf)), c.len);
		EXPECT_EQ(Unicode::CharLen(static_cast<unsigned char>(buf[0])), c.len);
		unsigned long back = 0;
		EXPECT_EQ(Unicode::Char32FromUtf8(back, buf), c.len);
		EXPECT_EQ(back, c.cp);
	}
	char buf[4] = "xx";
	EXPECT_EQ(Unicode::Char32ToUtf8(buf, 0x20AC, 3), 0);  // needs 4 with the NUL
	EXPECT_STREQ(buf, "");
	EXPECT_EQ(Unicode::Char32ToUtf8(buf, 0, 4), 0);
	EXPECT_EQ(Unicode::Char32ToUtf8(buf, 0x80000000UL, 4), 0);

	unsigned long cp = 7;
	EXPECT_EQ(Unicode::Char32FromUtf8(cp, "\xC3("), 0);
	EXPECT_EQ(cp, 0u);
	EXPECT_EQ(Unicode::Char32FromUtf8(cp, "\xE2\x82"), 0);
	EXPECT_EQ(Unicode::Char32FromUtf8(cp, "\x80"), 0);
	EXPECT_EQ(Unicode::Char32FromUtf8(cp, ""), 0);

	EXPECT_EQ(Unicode::CharLen(0xFE), 0);
	EXPECT_EQ(Unicode::CharLen(0x00), 0);
	EXPECT_TRUE(Unicode::CharInvalid(0xFF));
	EXPECT_FALSE(Unicode::CharBegin(0xA9));
	EXPECT_TRUE(Unicode::CharBegin('a'));
}

TEST(UnicodeTest, ValidateStopsBeforeACharacterThatWouldNotFit)
{
	long bytes = -1, chars = -1;
	EXPECT_TRUE(Unicode::Validate("aé€", 100, 100, &bytes, &chars));
	EXPECT_EQ(bytes, 6);
	EXPECT_EQ(chars, 3);
	EXPECT_TRUE(Unicode::Validate("aé€", 5, 100, &bytes, &chars));
	EXPECT_EQ(bytes, 3);
	EXPECT_EQ(chars, 2);
	EXPECT_TRUE(Unicode::Validate("aé€", 100, 2, &bytes, &chars));
	EXPECT_EQ(bytes, 3);
	// Malformed data beyond the limit is not looked at.
	EXPECT_TRUE(Unicode::Validate("ab\xFF", 2, 100, &bytes, &chars));
	EXPECT_EQ(bytes, 2);
	EXPECT_FALSE(Unicode::Validate("ab\xFF", 3, 100, &bytes, &chars));
	EXPECT_EQ(bytes, 0);
	EXPECT_EQ(chars, 0);
	EXPECT_FALSE(Unicode::Validate("a\xC3", 100, 100, &bytes, &chars));  // cut by the NUL
	EXPECT_FALSE(Unicode::Validate("\xE2\x28\xA1", 100, 100, nullptr, nullptr));
	EXPECT_TRUE(Unicode::Validate(nullptr, 10, 10, &bytes, &chars));
	EXPECT_EQ(bytes, 0);
	EXPECT_TRUE(Unicode::Validate("abc", 0, 10, &bytes, &chars));
	EXPECT_EQ(chars, 0);

	const char* s = "aéb";
	EXPECT_TRUE(Unicode::ValidateRange(s, 4, 1, 2));
	EXPECT_FALSE(Unicode::ValidateRange(s, 4, 2, 1));
	EXPECT_FALSE(Unicode::ValidateRange(s, 4, 0, 2));
	EXPECT_TRUE(Unicode::ValidateRange(s, 4, 0, 4));
	EXPECT_FALSE(Unicode::ValidateRange(s, 4, 0, 5));  // past the end
	EXPECT_FALSE(Unicode::ValidateRange(s, 4, -1, 1));
	EXPECT_EQ(Unicode::StringLen("aé€😀"), 4);
}

TEST(UnicodeTest, Utf16Conversions)
{
	unsigned short wide[16];
	EXPECT_TRUE(Unicode::Utf16FromUtf8(wide, sizeof wide, "aé€😀", 100));
	EXPECT_EQ(wide[0], 'a');
	EXPECT_EQ(wide[1], 0xE9);
	EXPECT_EQ(wide[2], 0x20AC);
	EXPECT_EQ(wide[3], '?');
	EXPECT_EQ(wide[4], 0);
	EXPECT_EQ(Unicode::StringLen(wide), 4);

	char narrow[16];
	EXPECT_TRUE(Unicode::Utf16ToUtf8(narrow, sizeof narrow, wide, sizeof wide));
	EXPECT_STREQ(narrow, "aé€?");
	EXPECT_FALSE(Unicode::Utf16ToUtf8(narrow, 5, wide, sizeof wide));  // € needs 3 bytes + NUL
	EXPECT_STREQ(narrow, "aé");
	EXPECT_TRUE(Unicode::Utf16ToUtf8(narrow, sizeof narrow, wide, 4));  // two units only
	EXPECT_STREQ(narrow, "aé");

	unsigned short small[3];
	EXPECT_FALSE(Unicode::Utf16FromUtf8(small, sizeof small, "abc", 3));
	EXPECT_EQ(small[2], 0);
	EXPECT_EQ(small[1], 'b');
	EXPECT_TRUE(Unicode::Utf16FromUtf8(small, sizeof small, "abc", 2));
	EXPECT_FALSE(Unicode::Utf16FromUtf8(wide, sizeof wide, "a\xC3(", 3));
	EXPECT_EQ(wide[1], 0);
	EXPECT_FALSE(Unicode::Utf16FromUtf8(wide, 1, "a", 1));

	unsigned short rot[] = {'H', 'i', 0xE9, 0};
	Unicode::Rot13(rot);
	EXPECT_EQ(rot[0], 'U');
	EXPECT_EQ(rot[1], 'v');
	EXPECT_EQ(rot[2], 0xE9);
	EXPECT_EQ(Unicode::ToLower('Q'), 'q');
}

TEST(UnicodeTest, InPlaceCleaning)
{
	char a[] = "ok\xC3\xA9\xC3(\x80\xFF\xF0\x9F\x98\x80\xE2\x82";
	Unicode::Clean(a);
	EXPECT_STREQ(a, "ok\xC3\xA9?(??\xF0\x9F\x98\x80??");
	char b[] = "a\r\nb\xC2\x85"
			   "c\xC2\xA9";
	Unicode::RemoveNewlines(b);
	EXPECT_STREQ(b, "abc\xC2\xA9");
	Unicode::Clean(nullptr);
}
