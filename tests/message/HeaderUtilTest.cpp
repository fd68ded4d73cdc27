// Header values: encoded words in many charsets and broken ones, encoding for posting, MIME
// parameters, part counters, References for follow-ups and message file names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CSet.h"
#include "HeaderUtil.h"
#include "TString.h"

namespace {

// Raw header bytes as they arrive, read in the given charset.
TString raw(const std::string& bytes, Charset cs = kCharsetISO8859_1)
{
	TString t;
	t.CharsetSet(cs);
	t.AllowInvalidSet(true);
	t.AppendByte(bytes.data(), long(bytes.size()));
	return t;
}

std::string decode(const std::string& bytes, Charset cs = kCharsetISO8859_1)
{
	TString out;
	HeaderUtil::Decode(out, raw(bytes, cs));
	EXPECT_TRUE(out.Valid());
	EXPECT_EQ(out.CharsetGet(), kCharsetUTF8);
	return out.String();
}

std::string encode(const std::string& utf8, Charset cs)
{
	TString out;
	HeaderUtil::Encode(out, TString(utf8.c_str()), cs);
	return out.String();
}

}  // namespace

TEST(HeaderDecode, EncodedWordsInManyCharsets)
{
	struct Case {
		const char* in;
		const char* out;
	} cases[] = {
		{"=?ISO-8859-1?Q?Caf=E9_cr=E8me?=", "Caf\xC3\xA9 cr\xC3\xA8me"},
		{"=?iso-8859-15?q?Preis_100_=A4?=", "Preis 100 \xE2\x82\xAC"},
		{"=?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=",
			"Gr\xC3\xBC\xC3\x9F"
			"e aus K\xC3\xB6ln"},
		{"=?KOI8-R?B?8NLJ18XU?=", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
		{"=?windows-1251?Q?=CF=F0=E8=E2=E5=F2?=", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
		{"=?ISO-8859-7?Q?=E5=EB=EB=E7=ED=E9=EA=DC?=",
			"\xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC"},
		{"=?GB2312?B?1tDOxA==?=", "\xE4\xB8\xAD\xE6\x96\x87"},
		{"=?Big5?B?pKSk5Q==?=", "\xE4\xB8\xAD\xE6\x96\x87"},
		{"=?UTF-8*en?Q?caf=C3=A9?=", "caf\xC3\xA9"},
		// White space between two encoded words goes; around plain words it stays.
		{"=?ISO-8859-1?Q?a=E9?= =?ISO-8859-1?Q?b=E9?=",
			"a\xC3\xA9"
			"b\xC3\xA9"},
		{"=?ISO-8859-1?Q?a=E9?=  \t =?ISO-8859-1?Q?b?=",
			"a\xC3\xA9"
			"b"},
		{"=?ISO-8859-1?Q?a_?= =?ISO-8859-1?Q?b?=", "a b"},
		{"=?ISO-8859-1?Q?a=E9?= plain", "a\xC3\xA9 plain"},
		{"Re: =?UTF-8?Q?=C3=A9t=C3=A9?= (2/5)", "Re: \xC3\xA9t\xC3\xA9 (2/5)"},
		// A Q word keeps "=00" as it is and turns "_" into a space.
		{"=?ISO-8859-1?Q?a=00b_c?=", "a=00b c"},
		// A B word's line ends and tabs become spaces.
		{"=?UTF-8?B?YQ0KYgli?=", "a b b"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(decode(c.in), c.out) << c.in;
}

TEST(HeaderDecode, BrokenEncodedWordsStayAsReceived)
{
	const char* literal[] = {
		"=?ISO-8859-11?Q?abc?=",  // never available
		"=?X-UNKNOWN?Q?abcdef?=",  // unknown charset
		"=?UTF-8?X?abcdef?=",  // no such encoding
		"=?UTF-8?Q?\?=",  // no encoded text
		"=?UTF-8?Q?never ends",  // no closing "?="
		"=?UTF-8?Q?abc",  // cut short
		"=?",
		"?=",
	};
	for (const char* in : literal)
		EXPECT_EQ(decode(in), in) << in;
	std::string longWord = "=?UTF-8?Q?" + std::string(200, 'a') + "?=";
	EXPECT_EQ(decode(longWord), longWord);
	// A Q word whose bytes are not valid UTF-8 gives nothing; the rest of the text stays.
	EXPECT_EQ(decode("x =?UTF-8?Q?=FF=FE?= y"), "x  y");
	// Undecodable bytes are cleaned rather than passed on as invalid text.
	EXPECT_EQ(decode("=?UTF-8?B?/w==?= ok"), "? ok");
}

TEST(HeaderDecode, RawBytesFollowTheForcedCharset)
{
	EXPECT_EQ(decode("J\xF6rg"), "J\xC3\xB6rg");
	EXPECT_EQ(decode("J\xC3\xB6rg", kCharsetUTF8), "J\xC3\xB6rg");
	EXPECT_EQ(decode("\xF0\xD2\xC9\xD7\xC5\xD4", kCharsetKOI8R),
		"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
	// Invalid bytes in a UTF-8 header are cleaned, the valid characters kept.
	EXPECT_EQ(decode("J\xC3\xB6rg \xFF", kCharsetUTF8), "J\xC3\xB6rg ?");
	EXPECT_EQ(decode("  \t "), "<None>");
	EXPECT_EQ(decode("a\tb"), "a b");
}

TEST(HeaderEncode, AsciiStaysAndOtherTextBecomesEncodedWords)
{
	EXPECT_EQ(encode("Plain subject (1/2)", kCharsetISO8859_1), "Plain subject (1/2)");
	EXPECT_EQ(encode("", kCharsetISO8859_1), "<None>");
	EXPECT_EQ(encode("caf\xC3\xA9", kCharsetISO8859_1), "=?ISO-8859-1?Q?caf=E9?=");
	// An address is never hidden inside one encoded word.
	std::string from = encode("J\xC3\xB6rg M\xC3\xBCller <jm@example.org>", kCharsetISO8859_1);
	EXPECT_NE(from.find("<jm@example.org>"), std::string::npos) << from;
}

TEST(HeaderEncode, RoundTripsLongTextInEveryCharset)
{
	struct Case {
		Charset cs;
		const char* text;
	} cases[] = {
		{kCharsetISO8859_1,
			"\xC3\xA9t\xC3\xA9 \xC3\xA0 Paris, \xC3\xA9t\xC3\xA9 \xC3\xA0 Lyon, \xC3\xA9t\xC3\xA9 \xC3\xA0 Nice, "
			"\xC3\xA9t\xC3\xA9 \xC3\xA0 Brest, \xC3\xA9t\xC3\xA9 \xC3\xA0 Caen"},
		{kCharsetUTF8,
			"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
			"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
			"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
		{kCharsetKOI8R,
			"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80 and more words"},
		{kCharsetGB18030, "\xE4\xB8\xAD\xE6\x96\x87 \xE4\xB8\xAD\xE6\x96\x87 test"},
	};
	for (const Case& c : cases) {
		std::string encoded = encode(c.text, c.cs);
		EXPECT_TRUE(TString(encoded.c_str()).IsAscii()) << encoded;
		EXPECT_EQ(decode(encoded), c.text) << encoded;
	}
}

TEST(HeaderFold, FoldsInsideTheValueOnlyAndUnfoldsToTheSameLine)
{
	auto fold = [](const std::string& line, long width = 76) {
		TString out;
		HeaderUtil::Fold(out, raw(line), width);
		return std::string(out.String(), size_t(out.ByteLength()));
	};
	auto unfold = [](std::string text) {
		for (size_t at; (at = text.find('\n')) != std::string::npos;)
			text.erase(at, 1);
		return text;
	};
	std::string word = "=?UTF-8?B?" + std::string(60, 'Q') + "?=";
	const std::string lines[] = {
		// An encoded word too long to follow the name on a short line stays beside it.
		"Subject: " + word + " " + word + " " + word,
		// White space runs, tabs and trailing blanks come back as they were.
		"Subject: " + std::string(70, 'a') + "  \t b" + std::string(80, 'c') + " d   ",
		"References: <a@example.org> <b@example.org> <c@example.org> <d@example.org> <e@example.org>",
		"X-Long-Name-Header-Without-Much-Room-Left-Over-For-Anything-At-All-Really: value",
		"Subject: short",
		"Subject: ",
	};
	for (const std::string& line : lines) {
		std::string folded = fold(line);
		EXPECT_EQ(unfold(folded), line) << folded;
		size_t start = 0;
		for (size_t i = 0; start <= folded.size(); i++) {
			size_t end = folded.find('\n', start);
			std::string one =
				folded.substr(start, end == std::string::npos ? std::string::npos : end - start);
			if (i == 0) {
				// The first line holds the name and the first word of the value.
				size_t colon = one.find(':');
				ASSERT_NE(colon, std::string::npos) << folded;
				if (line.find_first_not_of(' ', line.find(':') + 1) != std::string::npos) {
					EXPECT_NE(one.find_first_not_of(" \t", colon + 1), std::string::npos) << folded;
				}
			} else {
				// A continuation starts with white space and holds a word; only a single word
				// may make it longer than the width.
				EXPECT_TRUE(one[0] == ' ' || one[0] == '\t') << folded;
				EXPECT_NE(one.find_first_not_of(" \t"), std::string::npos) << folded;
				if (one.size() > 76) {
					EXPECT_EQ(one.find_first_of(" \t", one.find_first_not_of(" \t")), std::string::npos)
						<< folded;
				}
			}
			if (end == std::string::npos)
				break;
			start = end + 1;
		}
	}
	EXPECT_EQ(fold("Subject: " + word + " " + word), "Subject: " + word + "\n " + word);
	EXPECT_EQ(fold("Subject: one two three four", 14), "Subject: one\n two three\n four");
}

TEST(HeaderMime, ContentTypeAndParameters)
{
	ContentType type;
	Charset cs;
	EXPECT_TRUE(HeaderUtil::ParseContentType(raw("text/plain; charset=\"utf-8\""), type, cs));
	EXPECT_EQ(type, ContentTypePlain);
	EXPECT_EQ(cs, kCharsetUTF8);
	HeaderUtil::ParseContentType(raw("text /plain"), type, cs);
	EXPECT_EQ(type, ContentTypeNone);
	EXPECT_EQ(HeaderUtil::contValue(raw("Multipart/Mixed; boundary=x")), ContentTypeMultipart);
	EXPECT_EQ(HeaderUtil::contValue(raw("image/jpeg")), ContentTypeOther);
	EXPECT_EQ(HeaderUtil::contValue(raw("foo/bar")), ContentTypeNone);
	EXPECT_EQ(HeaderUtil::contValue(raw("multipart/")), ContentTypeNone);
	EXPECT_EQ(HeaderUtil::contValue(raw("MESSAGE/PARTIAL; id=x")), ContentTypePartial);

	TString boundary;
	EXPECT_TRUE(HeaderUtil::ParseContentTypeMultipart(
		raw("multipart/mixed;\n boundary=\"------------=_1710 4c; x\""), boundary));
	EXPECT_STREQ(boundary.String(), "------------=_1710 4c; x");

	TString mime, name;
	EXPECT_TRUE(HeaderUtil::ParseContentTypeAttachment(raw("image/png; name=\"a b.png\""), mime, name));
	EXPECT_STREQ(mime.String(), "image/png");
	EXPECT_STREQ(name.String(), "a b.png");
	EXPECT_TRUE(HeaderUtil::ParseContentDisposition(raw("attachment; filename=c.zip; name=d.zip"), name));
	EXPECT_STREQ(name.String(), "c.zip");

	TString id;
	long number, total;
	EXPECT_TRUE(HeaderUtil::ParseContentTypePartial(
		raw("message/partial; id=\"abc@x\"; number=2; total=3"), id, number, total));
	EXPECT_EQ(number, 2);
	EXPECT_EQ(total, 3);
	EXPECT_FALSE(HeaderUtil::ParseContentTypePartial(
		raw("message/partial; id=a; number=4; total=3"), id, number, total));
	EXPECT_FALSE(HeaderUtil::ParseContentTypePartial(
		raw("message/partial; id=a; number=x; total=3"), id, number, total));

	EXPECT_EQ(HeaderUtil::ParseContentEncoding(raw(" BASE64 ")), ContentEncodingBase64);
	EXPECT_EQ(HeaderUtil::ParseContentEncoding(raw("quoted-printable")), ContentEncodingQuotedPrintable);
	EXPECT_EQ(HeaderUtil::ParseContentEncoding(raw("x-uuencode")), ContentEncoding8bit);
	for (const char* v : {"0", "abc", "600001", "-5", ""})
		EXPECT_EQ(HeaderUtil::ParseLines(raw(v)), 1) << v;
	EXPECT_EQ(HeaderUtil::ParseLines(raw("42    ")), 42);
	EXPECT_EQ(HeaderUtil::ParseLines(raw("600000")), 600000);
}

TEST(HeaderMime, PartCounters)
{
	struct Case {
		const char* subject;
		long x, y;
		const char* rest;
	} cases[] = {
		{"holiday.jpg (3/12)", 3, 12, "holiday.jpg"},
		{"files [02/15] - \"a.rar\" yEnc (1/1)", 2, 15, "files  - \"a.rar\" yEnc (1/1)"},
		{"x (1/1)", 0, 0, "x (1/1)"},
		{"x (0/5)", 0, 0, "x (0/5)"},
		{"x (6/5)", 0, 0, "x (6/5)"},
		{"x ( 7 / 1000 )", 7, 1000, "x"},
		{"x (1/1001)", 0, 0, "x (1/1001)"},
		{"no counter", 0, 0, "no counter"},
		{"unbalanced ) (", 0, 0, "unbalanced ) ("},
	};
	for (const Case& c : cases) {
		long x = -1, y = -1;
		TString rest;
		EXPECT_EQ(HeaderUtil::PartXofY(TString(c.subject), rest, x, y), c.x != 0) << c.subject;
		EXPECT_EQ(x, c.x) << c.subject;
		EXPECT_EQ(y, c.y) << c.subject;
		EXPECT_STREQ(rest.String(), c.rest) << c.subject;
	}
}

TEST(HeaderLists, ReferencesForFollowUpsKeepTheRootAndTheNewest)
{
	std::string refs;
	for (int i = 1; i <= 25; ++i)
		refs += "<id" + std::to_string(i) + "@x.org> " + (i == 3 ? "stray " : "");
	TString out;
	HeaderUtil::CreateReferences(out, TString("<parent@x.org>"), TString(refs.c_str()));
	std::string expect = "<id1@x.org>";
	for (int i = 8; i <= 25; ++i)
		expect += " <id" + std::to_string(i) + "@x.org>";
	expect += " <parent@x.org>";
	EXPECT_EQ(std::string(out.String()), expect);

	HeaderUtil::CreateReferences(out, TString("<p@x>"), TString(""));
	EXPECT_STREQ(out.String(), "<p@x>");

	NewsgroupSet groups;
	EXPECT_TRUE(HeaderUtil::ParseNewsgroups(TString("comp.lang.c++, alt.test,,bad group,ALT.TEST"), groups));
	EXPECT_EQ(groups.size(), 2u);
	EXPECT_FALSE(HeaderUtil::ParseNewsgroups(TString(" , "), groups));
}

TEST(HeaderNames, MessageFileNamesComeFromTheMessageId)
{
	TString name;
	HeaderUtil::MessageFilename(name, TString("<abc@example.com>"));
	EXPECT_STREQ(name.String(), "QMA5DDD17199FB031F9D4636E7CC7B0AB6.qmsg");
	EXPECT_TRUE(HeaderUtil::IsMessageFilename(name));
	HeaderUtil::MessageFilename(name, TString(""));
	EXPECT_STREQ(name.String(), "QM4FB40CC0EA94F255965410098E82BB31.qmsg");
	EXPECT_TRUE(HeaderUtil::IsMessageFile(TString("/a/b/QM00.QMSG")));
	EXPECT_FALSE(HeaderUtil::IsMessageFilename(TString("/a/b/QM00.qmsg")));
	EXPECT_FALSE(HeaderUtil::IsMessageFilename(TString("/a/QMXX000000000000000000000000000000.qmsg")));
	EXPECT_TRUE(HeaderUtil::IsMessageFilename(TString("/a/QM0123456789abcdef0123456789ABCDEF.qmsg")));
	EXPECT_FALSE(HeaderUtil::IsMessageFile(TString("/a/QM0123456789abcdef0123456789ABCDEF.txt")));
}

// Found by fuzzing: raw bytes taken from a buffer with no terminating zero were read one byte
// past their end while being checked for UTF-8, and so was an empty run at a buffer's end.
TEST(HeaderDecode, UnterminatedRawBytes)
{
	std::vector<char> bytes = {
		'=', '?', 'U', 'T', 'F', '-', '8', '?', 'B', '?', 'w', '5', 'w', '=', '?', '='};
	TString t;
	t.CharsetSet(kCharsetUTF8);
	t.AllowInvalidSet(true);
	t.AppendByte(bytes.data(), long(bytes.size()));
	TString out;
	HeaderUtil::Decode(out, t);
	EXPECT_STREQ(out.String(), "\xC3\x9C");
	// No bytes at all, taken from just past the end of a buffer.
	t.AppendByte(bytes.data() + bytes.size(), 0);
	EXPECT_EQ(t.ByteLength(), long(bytes.size()));
}
