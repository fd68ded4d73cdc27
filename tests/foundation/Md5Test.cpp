// MD5 against the test suite of RFC 1321, and input fed in pieces that cross block edges.
#include <gtest/gtest.h>

#include <string>

#include "Md5.h"
#include "TString.h"

TEST(Md5, MatchesTheRfcTestSuite)
{
	struct Case {
		const char* text;
		const char* digest;
	} cases[] = {
		{"", "D41D8CD98F00B204E9800998ECF8427E"},
		{"a", "0CC175B9C0F1B6A831C399E269772661"},
		{"abc", "900150983CD24FB0D6963F7D28E17F72"},
		{"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
		{"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
		{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
			"D174AB98D277D9F5A5611C2C9F419D9F"},
		{"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
			"57EDF4A22BE3C955AC49DA2E2107B67A"},
	};
	for (const Case& c : cases) {
		TString out;
		Md5::HexDigest(c.text, std::string(c.text).size(), out);
		EXPECT_STREQ(out.String(), c.digest) << c.text;
	}
}

TEST(Md5, PiecesGiveTheSameDigestAsTheWhole)
{
	std::string text;
	for (int i = 0; i < 1000; ++i)
		text += char('a' + i % 26);
	TString whole;
	Md5::HexDigest(text.data(), text.size(), whole);
	for (size_t step : {1u, 55u, 56u, 63u, 64u, 65u, 127u}) {
		Md5 md5;
		for (size_t at = 0; at < text.size(); at += step)
			md5.Update(text.data() + at, std::min(step, text.size() - at));
		unsigned char digest[16];
		md5.Final(digest);
		char hex[33];
		for (size_t i = 0; i < 16; ++i)
			snprintf(hex + i * 2, 3, "%02X", digest[i]);
		EXPECT_STREQ(hex, whole.String()) << step;
	}
}
