// The line codecs that section finding relies on: uuencode start, end and data lines, yEnc
// header lines and their checks, and Base64.
#include <gtest/gtest.h>

#include <string>

#include "BinText.h"
#include "YencSect.h"

TEST(BinText, UuencodeLines)
{
	TString name;
	EXPECT_TRUE(BinText::UuLineStart(TString("begin 644 my file.bin "), name));
	EXPECT_STREQ(name.String(), "my file.bin");
	EXPECT_TRUE(BinText::UuLineStart(TString("BEGIN +600 x")));
	for (const char* no :
		{"begin 0644 x", "begin 64 x", "begin 644", "beginning 644 x", "begin -644 x", "begin"})
		EXPECT_FALSE(BinText::UuLineStart(TString(no))) << no;
	EXPECT_TRUE(BinText::UuLineStop(TString("end")));
	EXPECT_TRUE(BinText::UuLineStop(TString("END  ")));
	EXPECT_FALSE(BinText::UuLineStop(TString("ending")));
	EXPECT_TRUE(
		BinText::UuLineData(TString("M86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7IA8F-D969G:&EJ:VQM;F]P<7)S")));
	EXPECT_TRUE(BinText::UuLineData(TString("#86)C")));
	EXPECT_FALSE(BinText::UuLineData(TString("#86)C9&")));
	EXPECT_FALSE(BinText::UuLineData(TString("Hello there")));
	EXPECT_FALSE(BinText::UuLineData(TString(" 86)C")));
	unsigned char out[64];
	EXPECT_EQ(BinText::UuDecode("#86)C", out, sizeof(out), BinText::DataBinary), 3);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "abc");
	// A line that declares fewer bytes than it carries gives only those.
	EXPECT_EQ(BinText::UuDecode("\"86)C", out, sizeof(out), BinText::DataBinary), 2);

	EXPECT_EQ(BinText::Base64Decode("aGVs\nbG8=", out, sizeof(out), BinText::DataBinary), 5);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 5), "hello");
	EXPECT_EQ(BinText::Base64Decode("AA==", out, sizeof(out), BinText::DataText), 1);
	EXPECT_EQ(out[0], ' ');
	EXPECT_EQ(out[1], 0);
}

TEST(YencSect, HeaderLinesAndChecks)
{
	YencSect y;
	TString name;
	ASSERT_TRUE(y.LineStart(TString("=ybegin part=2 line=128 size=300 name=big file.dat"), name));
	EXPECT_STREQ(name.String(), "big file.dat");
	EXPECT_EQ(y.part, 2);
	EXPECT_EQ(y.size, 300);
	EXPECT_TRUE(y.LinePart(TString("=ypart begin=101 end=200")));
	EXPECT_TRUE(y.LineStop(TString("=yend size=100 part=2 pcrc32=0 crc32=abcd")));
	EXPECT_EQ(y.crc, 0xABCDu);
	EXPECT_TRUE(y.Valid());
	EXPECT_FALSE(y.SinglePart());

	y.Clear();
	ASSERT_TRUE(y.LineStart(TString("=ybegin line=128 size=300 name=x")));
	y.LinePart(TString("=ypart begin=1 end=100"));
	y.LineStop(TString("=yend size=100 part=1"));
	EXPECT_TRUE(y.Valid());
	EXPECT_FALSE(y.SinglePart());
	EXPECT_FALSE(y.LineStart(TString("=ybegin line=128 size=3")));

	// Decoding with an escape, and the CRC over the bytes.
	y.Clear();
	y.LineStart(TString("=ybegin line=128 size=4 name=a"));
	unsigned char out[16];
	TString line;
	line.CharsetSet(kCharsetISO8859_1);
	line = "\x8B\x8C\x8D=J";  // "abc", then an escaped byte
	EXPECT_EQ(y.LineDecode(line, out, sizeof(out)), 4);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "abc");
	EXPECT_EQ(out[3], static_cast<unsigned char>('J' - 64 - 42));
	y.LineStop(TString("=yend size=4 crc32=1"));
	EXPECT_FALSE(y.CrcValid());
	EXPECT_TRUE(y.SinglePart());
}
