#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Str.h"

TEST(StrTest, ListOrderInterleavesCaseAndPutsPunctuationLast)
{
	std::vector<std::string> names{"cherry", "_x", "banana", "Zoo", "Banana", "apple", "app", "[b]"};
	std::sort(names.begin(), names.end(),
		[](const std::string& a, const std::string& b) { return Str::CmpList(a.c_str(), b.c_str()) < 0; });
	std::vector<std::string> want{"app", "apple", "Banana", "banana", "cherry", "Zoo", "[b]", "_x"};
	EXPECT_EQ(names, want);
	EXPECT_EQ(Str::CmpList("Same", "Same"), 0);
	EXPECT_LT(Str::CmpList(nullptr, "a"), 0);

	EXPECT_EQ(Str::sCmap['A'], 0x41);
	EXPECT_EQ(Str::sCmap['a'], 0x42);
	EXPECT_EQ(Str::sCmap['z'], 0x74);
	EXPECT_EQ(Str::sCmap['['], 0x75);
	EXPECT_EQ(Str::sCmap['`'], 0x7A);
	EXPECT_EQ(Str::sCmap['{'], '{');
	EXPECT_EQ(Str::sCmap[0xE9], 0xE9);
	for (int i = 0x41; i < 0x7A; i++)  // still a permutation of the range
		for (int j = i + 1; j <= 0x7A; j++)
			ASSERT_NE(Str::sCmap[i], Str::sCmap[j]);
}

TEST(StrTest, NumberSyntax)
{
	char sign = 0;
	long digits = 0;
	EXPECT_TRUE(Str::ParseInteger("-12", &sign, &digits));
	EXPECT_EQ(sign, '-');
	EXPECT_EQ(digits, 2);
	EXPECT_TRUE(Str::ParseInteger("+0", &sign, &digits));
	EXPECT_EQ(sign, '+');
	EXPECT_TRUE(Str::ParseInteger("7", &sign, nullptr));
	EXPECT_EQ(sign, '+');
	EXPECT_TRUE(Str::ParseInteger(std::string(45, '9').c_str(), nullptr, &digits));
	EXPECT_EQ(digits, 45);
	for (const char* bad : {"", "-", "1-2", " 1", "1 ", "0x1", "++1"})
		EXPECT_FALSE(Str::ParseInteger(bad, nullptr, nullptr)) << bad;
	EXPECT_FALSE(Str::ParseInteger(std::string(46, '1').c_str(), nullptr, nullptr));
	EXPECT_FALSE(Str::ParseInteger(nullptr, nullptr, nullptr));

	long i = 0, f = 0;
	EXPECT_TRUE(Str::ParseFloat("-3.25", &sign, &i, &f));
	EXPECT_EQ(sign, '-');
	EXPECT_EQ(i, 1);
	EXPECT_EQ(f, 2);
	EXPECT_TRUE(Str::ParseFloat("42", nullptr, &i, &f));
	EXPECT_EQ(f, 0);
	for (const char* bad : {".5", "5.", "1.2.3", "1e5", "-", "1,5"})
		EXPECT_FALSE(Str::ParseFloat(bad, nullptr, nullptr, nullptr)) << bad;
	EXPECT_FALSE(Str::ParseFloat(("1." + std::string(49, '0')).c_str(), nullptr, nullptr, nullptr));

	EXPECT_EQ(Str::Atoll("-9000000000"), -9000000000LL);
	EXPECT_EQ(Str::Atoull("18446744073709551615"), 18446744073709551615ULL);
	EXPECT_EQ(Str::Atoll(nullptr), 0);
	EXPECT_EQ(Str::Atoll("12abc"), 12);
}

TEST(StrTest, BoundedCopyAndAppend)
{
	char buf[8];
	Str::Cpy(buf, "abcdefghij", sizeof buf);
	EXPECT_STREQ(buf, "abcdefg");
	Str::Cpy(buf, nullptr, sizeof buf);
	EXPECT_STREQ(buf, "");
	Str::Cpy(buf, "ab", sizeof buf);
	Str::Cat(buf, "cdefghij", sizeof buf);
	EXPECT_STREQ(buf, "abcdefg");
	Str::Cat(buf, "x", sizeof buf);
	EXPECT_STREQ(buf, "abcdefg");
	buf[0] = 'q';
	Str::Cpy(buf, "zz", 0);  // size 0 writes nothing
	EXPECT_EQ(buf[0], 'q');
	Str::Cpy(buf, buf + 1, sizeof buf);  // overlapping
	EXPECT_STREQ(buf, "bcdefg");

	char mem[6] = "hello";
	Str::MemCpy(mem + 1, mem, 3);
	EXPECT_STREQ(mem, "hhelo");
	EXPECT_EQ(Str::MemCmp("ABC", "abd", 2, false), 0);
	EXPECT_EQ(Str::MemCmp("ABC", "abd", 3, false), -1);
	EXPECT_EQ(Str::MemCmp("b", "A", 1, false), 1);
	EXPECT_EQ(Str::Cmp(nullptr, ""), 0);
	EXPECT_EQ(Str::Cmp("abc", "ABC", false), 0);
	EXPECT_GT(Str::Cmp("abc", "ABC", true), 0);
}

TEST(StrTest, SearchingAndTokens)
{
	const char* s = "Re: re: RE: subject";
	EXPECT_EQ(Str::FindPtr(s, "re:", false), s);
	EXPECT_EQ(Str::FindPtr(s, "re:", true), s + 4);
	EXPECT_EQ(Str::LastPtr(s, "re:", false), s + 8);
	EXPECT_EQ(Str::LastPtr(s, ':'), s + 10);
	EXPECT_EQ(Str::FindPtr(s, ""), nullptr);
	EXPECT_EQ(Str::FindPtr(s, '\0'), nullptr);
	EXPECT_EQ(Str::FindPtr(nullptr, "x"), nullptr);
	EXPECT_EQ(Str::LastPtr("ab", "abc"), nullptr);

	const char* line = "  211 5 1 5 group  ";
	EXPECT_STREQ(Str::TokenPtr(4, line), "group  ");
	EXPECT_EQ(Str::TokenPtr(5, line), nullptr);
	EXPECT_STREQ(Str::TokenPtr(2, "a::b:c", ':'), "c");
	EXPECT_EQ(Str::TokenPtr(0, ":::", ':'), nullptr);

	EXPECT_TRUE(Str::IsWhite(" \t\r\n"));
	EXPECT_TRUE(Str::IsWhite(nullptr));
	EXPECT_FALSE(Str::NonWhite(""));
	EXPECT_FALSE(Str::NonWhite("a b"));
	EXPECT_TRUE(Str::IsAscii("tab\tok~\x7F"));
	EXPECT_FALSE(Str::IsAscii("bell\a"));
	EXPECT_FALSE(Str::IsAscii("é"));
}

TEST(StrTest, CharacterClasses)
{
	EXPECT_EQ(Str::Rot13('\0'), ' ');
	EXPECT_TRUE(Str::IsAlphaUtf8('\xC3'));
	EXPECT_FALSE(Str::IsAlpha('\xC3'));
	EXPECT_EQ(Str::ToUpper('\xE9'), '\xE9');
	EXPECT_FALSE(Str::IsAscii('\x1B'));
	const unsigned short units[] = {'a', 0xE9, 0};
	EXPECT_EQ(Str::Len(units), 4);
}
