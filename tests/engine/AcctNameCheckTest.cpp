// The name checks that account and identity validation rest on: server host names, e-mail
// addresses and newsgroup names.
#include <gtest/gtest.h>

#include "NetName.h"

namespace {

TEST(AcctNameCheck, HostNames)
{
	for (const char* good :
		{"a", "7", "news.example.org", "10.0.0.1", "127.0.0.1", "news-1.example", "1news.example"})
		EXPECT_TRUE(NetName::HostValid(TString(good))) << good;
	for (const char* bad : {"", "-", "123", "1.2.3", ".example.org", "example.org.", "news..example",
			 "news example", "news_example", "b\xc3\xa4r.example"})
		EXPECT_FALSE(NetName::HostValid(TString(bad))) << bad;
	EXPECT_TRUE(NetName::HostValid(TString(std::string(70, 'a').c_str())));
	EXPECT_FALSE(NetName::HostValid(TString(std::string(71, 'a').c_str())));

	EXPECT_EQ(0x01020304ul, NetName::IPAddrFromString(TString("1.2.3.4")));
	for (const char* bad : {"1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", "1..2.3", "1234.1.1.1"})
		EXPECT_EQ(0ul, NetName::IPAddrFromString(TString(bad))) << bad;
}

TEST(AcctNameCheck, EmailAddresses)
{
	for (const char* good : {"a@b.c", "first.last+tag@example.org", "a_b@x-y.example", "12345@example.org"})
		EXPECT_TRUE(NetName::EmailValid(TString(good))) << good;
	for (const char* bad : {"a@b", "ab.example.org", "a@@example.org", "a@b@example.org", ".a@example.org",
			 "a.@example.org", "a@.example.org", "a..b@example.org", "a b@example.org", "123456@example.org",
			 "a@example.org.", "j\xc3\xb6rg@example.org"})
		EXPECT_FALSE(NetName::EmailValid(TString(bad))) << bad;
	std::string longest = std::string(53, 'a') + "@example.org";
	EXPECT_TRUE(NetName::EmailValid(TString(longest.c_str())));
	EXPECT_FALSE(NetName::EmailValid(TString(("a" + longest).c_str())));
}

TEST(AcctNameCheck, NewsgroupNames)
{
	for (const char* good : {"alt.test", "comp.lang.c++", "de.rec.b\xc3\xbc\x63her", "alt.2600", "x"})
		EXPECT_TRUE(NetName::NewsValid(TString(good))) << good;
	for (const char* bad :
		{"", ".", "..", "alt..test", ".alt", "alt.", "alt_", "_alt", "a/b", "alt test", "12.34"})
		EXPECT_FALSE(NetName::NewsValid(TString(bad))) << bad;
	EXPECT_TRUE(NetName::NewsValid(TString(std::string(72, 'g').c_str())));
	EXPECT_FALSE(NetName::NewsValid(TString(std::string(73, 'g').c_str())));
}

}  // namespace
