// Message-ids: what counts as one, the ids the program makes, and finding an address in text.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "NetName.h"

TEST(MsgId, ValidIdsAndGeneratedOnes)
{
	for (const char* ok : {"<a@b>", "<abc.def$1@news.example.org>", "<x.y@z>"})
		EXPECT_TRUE(NetName::MsgIdValid(TString(ok))) << ok;
	for (const char* bad : {"a@b", "<ab>", "<@b>", "<a@>", "<a@b@c>", "<a b@c>", "<a<b@c>", "<@>", ""})
		EXPECT_FALSE(NetName::MsgIdValid(TString(bad))) << bad;
	EXPECT_FALSE(NetName::MsgIdValid(TString(("<" + std::string(250, 'a') + "@b.c>").c_str())));

	// Ids made in a tight loop all differ and are recognised as the program's own.
	std::set<std::string> ids;
	for (int i = 0; i < 1000; ++i) {
		TString id;
		NetName::MsgIdGen(id, false);
		EXPECT_TRUE(NetName::MsgIdValid(id)) << id;
		EXPECT_TRUE(NetName::MsgIdGenValid(id)) << id;
		ids.insert(id.String());
	}
	EXPECT_EQ(ids.size(), 1000u);
	TString bogus;
	NetName::MsgIdGen(bogus, true);
	EXPECT_TRUE(NetName::MsgIdValid(bogus));
	EXPECT_FALSE(NetName::MsgIdGenValid(bogus));
	EXPECT_NE(std::string(bogus.String()).find(".invalid>"), std::string::npos);
}

TEST(MsgId, FindsAnAddressInText)
{
	TString found;
	EXPECT_TRUE(NetName::EmailFind(TString("Anna Berg <anna.berg@example.org> (home)"), found));
	EXPECT_STREQ(found.String(), "anna.berg@example.org");
	EXPECT_TRUE(NetName::EmailFind(TString("x@ y@example.com"), found));
	EXPECT_STREQ(found.String(), "y@example.com");
	EXPECT_FALSE(NetName::EmailFind(TString("no address @ here"), found));
	EXPECT_TRUE(found.Empty());
}
