#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "Assert.h"
#include "TString.h"

namespace {

// Counts failed assertions instead of aborting, so contract violations can be checked.
class TStringTest : public testing::Test {
protected:
	static int sFailures;
	static void count(const char*, const char*, int) { sFailures++; }
	void SetUp() override
	{
		sFailures = 0;
		mPrevious = AssertHandlerSet(count);
	}
	void TearDown() override { AssertHandlerSet(mPrevious); }
	AssertHandler mPrevious = nullptr;
};
int TStringTest::sFailures = 0;

TString invalidAllowed(const char* bytes)
{
	TString s;
	s.AllowInvalidSet(true);
	s.Assign(bytes);
	return s;
}

}  // namespace

TEST_F(TStringTest, DefaultStringReadsAsEmpty)
{
	TString s;
	EXPECT_STREQ(s.String(), "");
	EXPECT_EQ(s.ByteLength(), 0);
	EXPECT_EQ(s.CharLength(), 0);
	EXPECT_TRUE(s.Empty());
	EXPECT_TRUE(s.Valid());
	EXPECT_TRUE(s == "");
	EXPECT_EQ(s.ByteFirst(), 0);
	EXPECT_EQ(s.ByteLast(), 0);
	TString out("x");
	EXPECT_FALSE(s.CharFirst(out));
	EXPECT_TRUE(out.Empty());
	EXPECT_EQ(s.FindPtr('a'), nullptr);
	s.Truncate(3);
	s.EraseRight(2);
	EXPECT_TRUE(s.Empty());
}

TEST_F(TStringTest, ContentIsClippedToTheLimit)
{
	TString s;
	s.Assign(std::string(12250, 'a').c_str());
	s.Append(std::string(100, 'b').c_str());
	EXPECT_EQ(s.ByteLength(), kStringMaxBytes);
	EXPECT_EQ(s.CharLength(), kStringMaxBytes);
	EXPECT_EQ(s.ByteAt(12249), 'a');
	EXPECT_EQ(s.ByteAt(12250), 'b');
	s.Append("more");
	s.Append('c', 5);
	s.InsertLeft("x");
	s.AppendByteStream("yz", 2);
	EXPECT_EQ(s.ByteLength(), kStringMaxBytes);
	EXPECT_EQ(s.ByteLast(), 'b');

	TString big(std::string(20000, 'q').c_str());
	EXPECT_EQ(big.ByteLength(), kStringMaxBytes);
	EXPECT_EQ(big.String()[kStringMaxBytes], 0);

	// A character the limit would split is dropped whole, in character and byte mode.
	TString u(std::string(kStringMaxBytes - 1, 'a').c_str());
	u.Append("é");
	EXPECT_EQ(u.ByteLength(), kStringMaxBytes - 1);
	u.AppendByte("éé", 4);
	EXPECT_EQ(u.ByteLength(), kStringMaxBytes - 1);
	EXPECT_TRUE(u.Valid());
	u.Append("!");
	EXPECT_EQ(u.ByteLength(), kStringMaxBytes);
	EXPECT_EQ(sFailures, 0);
}

TEST_F(TStringTest, CharacterPositionsInUtf8)
{
	TString s("héllo");
	EXPECT_EQ(s.ByteLength(), 6);
	EXPECT_EQ(s.CharLength(), 5);
	EXPECT_EQ(s.Substring(1, 1), "é");
	EXPECT_EQ(s.Substring(2), "llo");
	EXPECT_EQ(s.SubstringRight(4), "éllo");
	EXPECT_EQ(s.SubstringRight(40), "héllo");
	EXPECT_TRUE(s.Substring(5).Empty());
	EXPECT_TRUE(s.Substring(-1, 2).Empty());

	TString c;
	EXPECT_TRUE(s.CharAt(1, c));
	EXPECT_EQ(c, "é");
	EXPECT_EQ(c.CharLength(), 1);
	EXPECT_FALSE(s.CharAt(5, c));

	TString t(s);
	t.Truncate(2);
	EXPECT_EQ(t, "hé");
	EXPECT_EQ(t.CharLength(), 2);
	t = s;
	t.Erase(1, 2);
	EXPECT_EQ(t, "hlo");
	EXPECT_EQ(t.CharLength(), 3);
	t = s;
	t.Insert(2, "ü€");
	EXPECT_EQ(t, "héü€llo");
	EXPECT_EQ(t.CharLength(), 7);
	t.Insert(100, "!");
	t.Insert(-4, "<");
	EXPECT_EQ(t, "<héü€llo!");
	t.Replace(3, 'u');
	EXPECT_EQ(t, "<héu€llo!");
	EXPECT_EQ(t.CharLength(), 9);
	t.EraseRight(5);
	EXPECT_EQ(t, "<héu");
	t.EraseLeft(2);
	EXPECT_EQ(t.CharLength(), 2);

	// Mixed: the first n characters of this string bound the comparison.
	TString a("é-x"), b("é-y");
	EXPECT_EQ(a.Compare(b, 2), 0);
	EXPECT_LT(a.Compare(b, 3), 0);
	EXPECT_NE(TString("ab").Compare(TString("abc"), 5), 0);
	EXPECT_EQ(sFailures, 0);
}

TEST_F(TStringTest, GrowthReservesSlackAndShrinksOnlyPastTheThreshold)
{
	TString s("abcd");
	EXPECT_EQ(s.Capacity(), 4 + 6);
	for (int i = 0; i < 6; i++)
		s.Append('x');
	EXPECT_EQ(s.Capacity(), 10);  // no reallocation while the slack lasts
	s.Append('y');
	EXPECT_EQ(s.Capacity(), 11 + 9);

	s.Assign(std::string(5000, 'a').c_str());
	EXPECT_EQ(s.Capacity(), 5160);
	s.Erase();
	EXPECT_EQ(s.Capacity(), 4);
	EXPECT_STREQ(s.String(), "");

	s.Assign(std::string(1000, 'a').c_str());
	s.Erase();
	EXPECT_EQ(s.Capacity(), 1160);  // not enough slack to be worth shrinking

	s.Assign(std::string(kStringMaxBytes, 'a').c_str());
	EXPECT_EQ(s.Capacity(), kStringMaxBytes);
	s.Assign("tiny");
	EXPECT_EQ(s.Capacity(), 10);
	EXPECT_EQ(s, "tiny");
}

TEST_F(TStringTest, MalformedUtf8IsAContractViolationUnlessAllowed)
{
	TString s;
	s.Assign("ab\xC3(");
	EXPECT_EQ(sFailures, 1);
	EXPECT_FALSE(s.Valid());
	EXPECT_EQ(s.ByteLength(), 4);

	sFailures = 0;
	TString a = invalidAllowed("h\xE9llo w\xC3\xB6rld");
	EXPECT_EQ(sFailures, 0);
	EXPECT_FALSE(a.Valid());
	EXPECT_EQ(a.CharLength(), a.ByteLength());  // addressed by bytes from now on
	EXPECT_EQ(a.Substring(1, 1).ByteAt(0), '\xE9');
	a.Append("é");
	EXPECT_EQ(a.CharLength(), a.ByteLength());
	a.Clean();
	EXPECT_TRUE(a.Valid());
	EXPECT_EQ(a, "h?llo wörldé");
	EXPECT_EQ(a.CharLength(), 12);

	TString c = invalidAllowed("\x80\xFE"
							   "a\xE2\x82"
							   "b\xF0\x9F\x98\x80");
	c.Clean();
	EXPECT_EQ(c, "??a??b😀");

	// Erase() and assignment from a valid string make it valid again.
	TString e = invalidAllowed("\xFF");
	e.Erase();
	EXPECT_TRUE(e.Valid());
	e = invalidAllowed("\xFF");
	e = TString("ok");
	EXPECT_TRUE(e.Valid());
	EXPECT_EQ(sFailures, 0);
}

TEST_F(TStringTest, ByteOperationsThatSplitACharacterMarkTheStringInvalid)
{
	TString s("aéb");
	s.AllowInvalidSet(true);
	TString part = s.SubstringByte(0, 2);
	EXPECT_FALSE(part.Valid());
	EXPECT_TRUE(s.Valid());
	EXPECT_EQ(s.SubstringByte(StringRange(1, 2)), "é");

	TString t(s);
	t.EraseByte(StringRange(1, 2));
	EXPECT_EQ(t, "ab");
	EXPECT_TRUE(t.Valid());
	EXPECT_EQ(t.CharLength(), 2);
	t = s;
	t.EraseByte(2, 1);
	EXPECT_FALSE(t.Valid());
	t = s;
	t.InsertByte(2, 'x');
	EXPECT_FALSE(t.Valid());

	// Byte-counted assignment that stops inside a character.
	TString b;
	b.AllowInvalidSet(true);
	b.AssignByte("aé", 2);
	EXPECT_FALSE(b.Valid());
	b.AssignByte("aé", 3);
	EXPECT_TRUE(b.Valid());
	EXPECT_EQ(b.CharLength(), 2);
	b.ReplaceByte(1, 2, 'e');
	EXPECT_EQ(b, "ae");
	EXPECT_EQ(b.CharLength(), 2);
	EXPECT_EQ(sFailures, 0);
}

TEST_F(TStringTest, CharsetsAndMixing)
{
	TString s;
	s.Assign('\x80');
	EXPECT_TRUE(s.Empty());
	s.Append('\x01');
	s.Append('\0');
	EXPECT_TRUE(s.Empty());
	s.CharsetSet(kCharsetISO8859_1);
	s.Assign('\x80');
	EXPECT_EQ(s.ByteLength(), 1);
	s.Assign("caf\xE9");
	EXPECT_EQ(s.CharLength(), 4);
	EXPECT_TRUE(s.Valid());

	TString u("é");
	TString before(u);
	u.Append(s);
	EXPECT_EQ(sFailures, 1);
	EXPECT_EQ(u, before);
	u.Insert(0, s);
	EXPECT_EQ(sFailures, 2);

	// Changing the charset recounts from the bytes.
	TString l("aé");
	l.CharsetSet(kCharsetISO8859_1);
	EXPECT_EQ(l.CharLength(), 3);
	l.CharsetSet(kCharsetUTF8);
	EXPECT_EQ(l.CharLength(), 2);
	EXPECT_EQ(sFailures, 2);
}

TEST_F(TStringTest, ByteStreamTracksSplitCharacters)
{
	TString s;
	const char* text = "aé€😀";
	for (const char* p = text; *p; p++)
		s.AppendByteStream(*p);
	EXPECT_TRUE(s.Valid());
	EXPECT_EQ(s.CharLength(), 4);
	EXPECT_EQ(s, text);

	TString half;
	half.AppendByteStream("x\xE2\x82", 3);
	EXPECT_FALSE(half.Valid());
	EXPECT_EQ(half.CharLength(), 2);
	half.AppendByteStream("\xAC", 1);
	EXPECT_TRUE(half.Valid());
	EXPECT_EQ(half, "x€");

	TString bad;
	bad.AllowInvalidSet(true);
	bad.AppendByteStream("a\xC3", 2);
	bad.AppendByteStream("b", 1);  // a lead byte still waiting
	EXPECT_FALSE(bad.Valid());
	EXPECT_EQ(bad.CharLength(), 3);
	bad.AppendByteStream("\xA9\xA9", 2);
	EXPECT_EQ(bad.CharLength(), 5);

	TString stray;
	stray.AllowInvalidSet(true);
	stray.AppendByteStream("\x85", 1);
	EXPECT_FALSE(stray.Valid());

	TString latin;
	latin.CharsetSet(kCharsetISO8859_1);
	latin.AppendByteStream("\xC3\xA9", 2);
	EXPECT_EQ(latin.CharLength(), 2);
	EXPECT_EQ(sFailures, 0);
}

TEST_F(TStringTest, QuotedTextRoundTrips)
{
	const char* texts[] = {"plain", "", "tab\there", "two\nlines", "say \"hi\"", "C:\\new\\table",
		"ends in a backslash\\", "\\\"", "\\r is fine", "ünïcødé\t€"};
	for (const char* text : texts) {
		TString q, back;
		ASSERT_TRUE(q.QuoteEncode(text)) << text;
		EXPECT_EQ(q.ByteFirst(), '"');
		EXPECT_EQ(q.FindPtr('\t'), nullptr);
		EXPECT_EQ(q.FindPtr('\n'), nullptr);
		const char* end = nullptr;
		TString line(q);
		line.Append(" ; comment");
		ASSERT_TRUE(back.QuoteDecode(line, &end)) << q.String();
		EXPECT_EQ(back, text);
		EXPECT_STREQ(end, " ; comment");
	}
	TString q;
	EXPECT_FALSE(q.QuoteEncode("a\rb"));
	EXPECT_TRUE(q.Empty());
	EXPECT_FALSE(q.QuoteEncode(std::string(kStringMaxBytes - 1, 'a').c_str()));
	EXPECT_TRUE(q.QuoteEncode(std::string(kStringMaxBytes - 2, 'a').c_str()));
}

TEST_F(TStringTest, QuotedTextDecoding)
{
	TString s("old");
	const char* end = nullptr;
	EXPECT_TRUE(s.QuoteDecode("\"a\\\"b\"", &end));
	EXPECT_EQ(s, "a\"b");
	EXPECT_EQ(*end, 0);
	EXPECT_TRUE(s.QuoteDecode("\"a\\tb\\nc\\xd\"rest", &end));
	EXPECT_EQ(s, "a\tb\nc\\xd");
	EXPECT_STREQ(end, "rest");
	EXPECT_TRUE(s.QuoteDecode("\"\""));
	EXPECT_TRUE(s.Empty());

	const char* bad[] = {
		"\"no end", "no quote\"", "\"a\\rb\"", "\"cr\rin\"", "\"lf\nin\"", "\"esc at end\\\"", ""};
	for (const char* text : bad) {
		s = "old";
		end = "set";
		EXPECT_FALSE(s.QuoteDecode(text, &end)) << text;
		EXPECT_TRUE(s.Empty());
		EXPECT_EQ(end, nullptr);
	}
	EXPECT_FALSE(s.QuoteDecode(nullptr));
}

TEST_F(TStringTest, TokensAndFormatting)
{
	TString t;
	EXPECT_TRUE(t.Token(1, "  one  two three"));
	EXPECT_EQ(t, "two");
	EXPECT_TRUE(t.Token(1, ",,a,,b", ','));
	EXPECT_EQ(t, "b");
	EXPECT_TRUE(t.Token(0, "a b,c", ','));
	EXPECT_EQ(t, "a b");
	EXPECT_FALSE(t.Token(3, "  one  two three"));
	EXPECT_TRUE(t.Empty());
	EXPECT_FALSE(t.Token(-1, "x"));
	EXPECT_FALSE(t.Token(0, "   "));
	TString src("211 1234 3000234 3002322 misc.test");
	EXPECT_TRUE(t.Token(4, src));
	EXPECT_EQ(t, "misc.test");
	EXPECT_TRUE(src.Token(2, src));  // from itself
	EXPECT_EQ(src, "3000234");
	EXPECT_EQ(src.Atoll(), 3000234);

	t.Fmt("%s=%d %s", "n", -5, "é");
	EXPECT_EQ(t, "n=-5 é");
	EXPECT_EQ(t.CharLength(), 6);
	t.Fmt(Str::sFmt_int64, static_cast<int64_t>(-9000000000));
	EXPECT_EQ(t, "-9000000000");
	t.Fmt(Str::sFmt_uint32, static_cast<uint32_t>(4000000000u));
	EXPECT_EQ(t, "4000000000");
	t.Fmt("%s", std::string(5000, 'a').c_str());
	EXPECT_EQ(t.ByteLength(), 4095);
	// Output cut inside a character loses the whole character.
	t.Fmt("%s%s", std::string(4094, 'a').c_str(), "é");
	EXPECT_EQ(t.ByteLength(), 4094);
	EXPECT_TRUE(t.Valid());
	EXPECT_EQ(sFailures, 0);
}

TEST_F(TStringTest, EditingInPlace)
{
	TString s(" \t é x \r\n");
	s.Trim();
	EXPECT_EQ(s, "é x");
	EXPECT_EQ(s.CharLength(), 3);
	s.StripSpace();
	EXPECT_EQ(s, "éx");
	EXPECT_EQ(s.CharLength(), 2);

	s = "a\r\nb\rc";
	s.NormalizeLineEnds();
	EXPECT_EQ(s, "a\nb\nc");
	EXPECT_EQ(s.CharLength(), 5);
	s = "é\xC2\x85x\r\n";
	s.NormalizeLineEnds();
	EXPECT_EQ(s, "é\nx\n");
	EXPECT_EQ(s.CharLength(), 4);
	s = "a\r\n\xC2\x85ö\n";
	s.RemoveNewlines();
	EXPECT_EQ(s, "aö");
	EXPECT_EQ(s.CharLength(), 2);
	TString latin;
	latin.CharsetSet(kCharsetISO8859_1);
	latin.Assign("\xC2\x85\r\n");
	latin.RemoveNewlines();
	EXPECT_EQ(latin, "\xC2\x85");

	s = "tab\tline\nback\\slash\\x";
	TString w(s);
	w.WhiteEncode();
	EXPECT_EQ(w, "tab\\tline\\nback\\slash\\x");
	w.WhiteDecode();
	EXPECT_EQ(w, s);

	const char* floats[][2] = {{"3.000000", "3.00"}, {"1.500000", "1.50"}, {"2.125000", "2.125"},
		{"10", "10"}, {"7.5", "7.5"}, {"-0.100000", "-0.10"}, {"v1.000", "v1.000"}};
	for (auto& f : floats) {
		s = f[0];
		s.FloatFixup();
		EXPECT_EQ(s, f[1]);
	}

	s = "a\xC3\xA9\xC2\x90z";
	s.ToAscii();
	EXPECT_EQ(s, "aC)B z");
	EXPECT_EQ(s.CharLength(), 6);
	s = "Hello, World! é";
	s.Rot13();
	EXPECT_EQ(s, "Uryyb, Jbeyq! é");
	s.Rot13();
	EXPECT_EQ(s, "Hello, World! é");
	s.ToUpper();
	EXPECT_EQ(s, "HELLO, WORLD! é");
	s = "é";
	s.Pad('.', 4);
	EXPECT_EQ(s, "é...");
	s = "+1 (555) é 01";
	s.StripNonDigit();
	EXPECT_EQ(s, "155501");
	EXPECT_EQ(s.CharLength(), 6);
	s = "a.b.c";
	s.ReplaceAll('.', '\x80');
	s.StripChar('\x80');
	EXPECT_EQ(s, "a.b.c");
	s.ReplaceAll('.', '/');
	s.StripChar('b');
	EXPECT_EQ(s, "a//c");
	EXPECT_EQ(sFailures, 0);
}

TEST_F(TStringTest, Normalisation)
{
	TString s("e\xCC\x81te\xCC\x81");  // e + combining acute, twice
	EXPECT_EQ(s.CharLength(), 5);
	s.Normalize(true);
	EXPECT_EQ(s, "été");
	EXPECT_EQ(s.CharLength(), 3);
	s.Normalize(false);
	EXPECT_EQ(s, "e\xCC\x81te\xCC\x81");
	EXPECT_EQ(s.CharLength(), 5);

	TString latin;
	latin.CharsetSet(kCharsetISO8859_1);
	latin.Assign("e\xCC\x81");
	latin.Normalize(true);
	EXPECT_EQ(latin.ByteLength(), 3);
}

TEST_F(TStringTest, ContainersAndComparison)
{
	std::map<TString, int, TString::CompNoCase> groups;
	groups["Alt.Test"] = 1;
	groups["alt.test"] = 2;
	EXPECT_EQ(groups.size(), 1u);
	EXPECT_EQ(groups.begin()->second, 2);
	EXPECT_NE(groups.find("ALT.TEST"), groups.end());

	std::set<TString> plain{"b", "B", "a"};
	EXPECT_EQ(*plain.begin(), "B");  // strcmp order: upper case first

	std::unordered_map<TString, int> byName;
	byName["comp.lang"] = 3;
	TString key("comp.");
	key.Append("lang");
	EXPECT_EQ(byName.count(key), 1u);

	TString a("abc");
	EXPECT_TRUE(a == "abc");
	EXPECT_TRUE("abc" == a);
	EXPECT_TRUE(a != "abd");
	EXPECT_EQ(a.CompareNoCase("ABC"), 0);
	EXPECT_TRUE(TString("Abc") < a);
	EXPECT_EQ(a.FindPtr("BC", false), a.String() + 1);
	EXPECT_EQ(a.FindPtr("BC", true), nullptr);
	TString r("a.b.c");
	EXPECT_EQ(r.LastPtr('.'), r.String() + 3);
	EXPECT_EQ(r.LastPtr(TString(".B"), false), r.String() + 1);
}

TEST_F(TStringTest, CopiesMovesAndSelfReferences)
{
	TString s;
	s.CharsetSet(kCharsetISO8859_1);
	s.AllowInvalidSet(true);
	s.Assign("abc\xE9");
	TString c(s);
	EXPECT_EQ(c.CharsetGet(), kCharsetISO8859_1);
	EXPECT_TRUE(c.AllowInvalidGet());
	EXPECT_EQ(c, s);
	TString m(std::move(c));
	EXPECT_EQ(m, s);
	EXPECT_TRUE(c.Empty());  // NOLINT(bugprone-use-after-move): the state left after a move is tested

	TString t("hello");
	t.Append(t);
	EXPECT_EQ(t, "hellohello");
	t.Assign(t.String() + 5);
	EXPECT_EQ(t, "hello");
	t.Insert(2, t.String());
	EXPECT_EQ(t, "hehellollo");
	t = t;
	EXPECT_EQ(t, "hehellollo");
	TString sub = t.Substring(2, 5);
	EXPECT_EQ(sub, "hello");
}

TEST_F(TStringTest, StdStringConversionsAreLossy)
{
	TString s(std::string("ok é \xFF\xC3 end"));
	EXPECT_EQ(s, "ok é ?? end");
	EXPECT_TRUE(s.Valid());
	s = std::string("a\0b", 3);
	EXPECT_EQ(s, "a");
	s = std::string("\xED\xA0\x80");  // a surrogate is not UTF-8
	EXPECT_EQ(s, "???");
	s = std::string();
	EXPECT_TRUE(s.Empty());
	s = std::string(20000, 'x');
	EXPECT_EQ(s.ByteLength(), kStringMaxBytes);

	EXPECT_EQ(TString("grüße").ToStdString(), "grüße");
	TString bad = invalidAllowed("a\xC3(");
	EXPECT_EQ(bad.ToStdString(), "a?(");
	TString latin;
	latin.CharsetSet(kCharsetISO8859_1);
	latin.Assign("caf\xE9");
	EXPECT_EQ(latin.ToStdString(), "");

	unsigned char pascal[256];
	TString("news").ToPascalString(pascal);
	EXPECT_EQ(pascal[0], 4);
	TString back;
	back.AssignPascal(pascal);
	EXPECT_EQ(back, "news");
	TString("é").ToPascalString(pascal);
	EXPECT_EQ(pascal[0], 0);
	EXPECT_EQ(sFailures, 0);
}
