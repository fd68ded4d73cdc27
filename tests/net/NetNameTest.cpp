#include <gtest/gtest.h>

#include "Net.h"
#include "NetName.h"
#include "TString.h"

namespace {

std::string cleaned(const char* text)
{
	TString s(text);
	NetName::HostClean(s);
	return s.String();
}

TEST(NetName, HostCleaning)
{
	EXPECT_EQ(cleaned("..news..example.net.."), "news.example.net");
	EXPECT_EQ(cleaned("my host_name!"), "myhostname");
	EXPECT_EQ(cleaned(""), "");
	EXPECT_EQ(cleaned(std::string(100, 'a').c_str()), std::string(70, 'a'));
	EXPECT_TRUE(NetName::HostValid(TString("10.0.0.1")));
	EXPECT_FALSE(NetName::HostValid(TString("123")));
	EXPECT_TRUE(NetName::HostValid(TString("a")));
	EXPECT_FALSE(NetName::HostValid(TString("-")));
	TString text;
	EXPECT_STREQ(NetName::IPAddrToString(text, 0x7F000001, false), "127.0.0.1");
	EXPECT_STREQ(NetName::IPAddrToString(text, 0x0A000001, true), "010.000.000.001");
}

TEST(NetName, LocalHostAndDomain)
{
	TString host, domain;
	// Three labels and no resolver domain: the first label is the host, the rest the domain.
	Net::LocalNamesMake(TString("box.example.org"), TString(), host, domain);
	EXPECT_EQ(host, "box");
	EXPECT_EQ(domain, "example.org");
	// The domain is cut off a host that ends with it.
	Net::LocalNamesMake(TString("box.lan.example.org"), TString("example.org"), host, domain);
	EXPECT_EQ(host, "box.lan");
	EXPECT_EQ(domain, "example.org");
	Net::LocalNamesMake(TString("laptop.local"), TString(), host, domain);
	EXPECT_EQ(host, "laptop");
	EXPECT_EQ(domain, "unknown.dom");
	Net::LocalNamesMake(TString(""), TString(""), host, domain);
	EXPECT_EQ(host, "unknown");
	EXPECT_EQ(domain, "unknown.dom");
	Net::LocalNamesMake(TString("example.org"), TString("example.org"), host, domain);
	EXPECT_EQ(host, "unknown");
}

TEST(NetName, MessageIds)
{
	EXPECT_FALSE(NetName::MsgIdValid(TString("<@b>")));
	EXPECT_TRUE(NetName::MsgIdValid(TString("<a@b>")));
	EXPECT_FALSE(NetName::MsgIdValid(TString("<a@b@c>")));
	EXPECT_FALSE(NetName::MsgIdValid(TString("<a b@c>")));
	EXPECT_FALSE(NetName::MsgIdValid(TString("a@b.c")));
	TString id;
	NetName::MsgIdGen(id, false);
	EXPECT_TRUE(NetName::MsgIdGenValid(id)) << id;
	NetName::MsgIdGen(id, true);
	EXPECT_TRUE(NetName::MsgIdValid(id)) << id;
	EXPECT_FALSE(NetName::MsgIdGenValid(id)) << id;
	EXPECT_NE(std::string(id.String()).find(".invalid>"), std::string::npos);
}

TEST(NetName, AddressesInText)
{
	TString found;
	EXPECT_TRUE(NetName::EmailFind(TString("Jane Doe <jane.doe@example.net> wrote"), found));
	EXPECT_EQ(found, "jane.doe@example.net");
	EXPECT_FALSE(NetName::EmailFind(TString("a@b and @@ and x@"), found));
	EXPECT_TRUE(found.Empty());
	EXPECT_TRUE(NetName::EmailOrMsgId(TString("jane@example.net")));
	EXPECT_FALSE(NetName::EmailOrMsgId(TString("12345@news.example.net")));
	EXPECT_FALSE(NetName::EmailOrMsgId(TString("@example.net")));
}

TEST(NetName, NewsgroupLists)
{
	EXPECT_TRUE(NetName::NewsListValid(TString("comp.lang.c,comp.lang.c++")));
	EXPECT_FALSE(NetName::NewsListValid(TString("comp.lang.c,comp.lang.c")));
	EXPECT_FALSE(NetName::NewsListValid(TString("a.b,c.d,e.f,g.h,i.j")));
	EXPECT_TRUE(NetName::NewsListValid(TString("a.b,c.d,e.f,g.h")));
	EXPECT_FALSE(NetName::NewsListValid(TString(",a.b")));
	EXPECT_FALSE(NetName::NewsListValid(TString("a.b,,c.d")));
	EXPECT_FALSE(NetName::NewsListValid(TString("a.b, c.d")));
	EXPECT_FALSE(NetName::NewsListValid(TString("")));
}

}  // namespace
