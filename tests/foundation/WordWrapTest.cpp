#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WordWrap.h"

namespace {

struct Lines {
	std::vector<std::string> lines;
	size_t stopAfter = 1000000;
};

bool collect(void* context, const char* line)
{
	Lines* l = static_cast<Lines*>(context);
	l->lines.push_back(line);
	return l->lines.size() < l->stopAfter;
}

std::vector<std::string> wrap(
	const char* text, long width, bool hard, bool split, long indent = 0, bool first = false)
{
	Lines l;
	EXPECT_TRUE(WordWrap::Wrap(text, collect, &l, first, indent, width, hard, split));
	return l.lines;
}

using V = std::vector<std::string>;

// Input handed out in blocks of a few bytes, so that words and line ends straddle blocks.
struct Chunks {
	std::string text;
	size_t pos = 0;
	size_t size = 3;
};

bool chunkRead(void* context, const char** data, unsigned long* length)
{
	Chunks* c = static_cast<Chunks*>(context);
	if (c->pos >= c->text.size())
		return false;
	*data = c->text.data() + c->pos;
	*length = (unsigned long)std::min(c->size, c->text.size() - c->pos);
	c->pos += *length;
	return true;
}

}  // namespace

TEST(WordWrap, ExactWidths)
{
	EXPECT_EQ(V({"abcde", "fghij"}), wrap("abcde fghij", 5, false, false));
	EXPECT_EQ(V({"abcde", "fghij"}), wrap("abcde fghij", 10, false, false));
	EXPECT_EQ(V({"aa bb", "cc dd", "ee"}), wrap("aa bb cc dd ee", 5, false, false));
	// Runs of spaces between words stay; trailing spaces go.
	EXPECT_EQ(V({"a  b", "c"}), wrap("a  b    c   ", 6, false, false));
	// A tab is four spaces.
	EXPECT_EQ(V({"a    b"}), wrap("a\tb", 20, false, false));
	EXPECT_EQ(V({"a", "b"}), wrap("a\tb", 5, false, false));
	EXPECT_EQ(V(), wrap("", 10, true, true));
	EXPECT_EQ(V(), wrap("   ", 10, false, false));
}

TEST(WordWrap, LongWords)
{
	const char* word25 = "abcdefghijklmnopqrstuvwxy";
	EXPECT_EQ(V({"abcdefghij", "klmnopqrst", "uvwxy"}), wrap(word25, 10, false, true));
	EXPECT_EQ(V({word25}), wrap(word25, 10, false, false));
	// A long word after a short one: cut from the room left on the line when splitting,
	// else on a line of its own.
	EXPECT_EQ(V({"xy abcdefg", "hijklmnopq", "rstuvwxy z"}),
		wrap("xy abcdefghijklmnopqrstuvwxy z", 10, false, true));
	EXPECT_EQ(V({"xy", "abcdefghijklmnopqrstuvwxy", "z"}),
		wrap("xy abcdefghijklmnopqrstuvwxy z", 10, false, false));
	// A word that fits a fresh line is moved, not cut.
	EXPECT_EQ(V({"abcdef", "ghijklmnop"}), wrap("abcdef ghijklmnop", 10, false, true));
	// UTF-8 characters are never cut in two (each "é" is two bytes).
	EXPECT_EQ(V({"a\xC3\xA9", "\xC3\xA9\xC3\xA9", "b"}),
		wrap("a\xC3\xA9\xC3\xA9\xC3\xA9"
			 "b",
			4, false, true));
	// Even a width narrower than one character makes progress.
	EXPECT_EQ(V({"\xE2\x82\xAC", "\xE2\x82\xAC"}), wrap("\xE2\x82\xAC\xE2\x82\xAC", 1, false, true));
	EXPECT_EQ(V({"a", "b", "c"}), wrap("abc", 0, false, true));
}

TEST(WordWrap, IndentsAndHeaderFolding)
{
	std::string header = "Subject:";
	for (int i = 0; i < 23; i++)
		header += " word";  // 8 + 23 * 5 = 123 characters
	std::vector<std::string> lines = wrap(header.c_str(), 76, true, false, 1, false);
	ASSERT_EQ(2u, lines.size());
	EXPECT_LE(lines[0].size(), 76u);
	EXPECT_EQ("Subject:", lines[0].substr(0, 8));
	EXPECT_EQ(' ', lines[1][0]);
	EXPECT_NE(' ', lines[1][1]);
	EXPECT_LE(lines[1].size(), 76u);
	EXPECT_EQ(header, lines[0] + lines[1]);

	// Every later line is indented, the first only when asked; empty lines carry no indent.
	EXPECT_EQ(V({"aaa bbb", "  ccc", "  ddd"}), wrap("aaa bbb ccc ddd", 7, false, false, 2, false));
	EXPECT_EQ(V({"  aaa", "  bbb", "", "  ccc"}), wrap("aaa bbb\n\nccc", 7, true, false, 2, true));
}

TEST(WordWrap, LineFeeds)
{
	// Hard breaks keep every line, empty ones included.
	EXPECT_EQ(V({"a", "", "b"}), wrap("a\n\nb", 10, true, false));
	EXPECT_EQ(V({"a", "", "", "b"}), wrap("a\n\n\nb", 10, true, false));
	EXPECT_EQ(V({"a", "", "b"}), wrap("a\r\n\r\nb", 10, true, false));
	EXPECT_EQ(V({"", "", "a"}), wrap("\n\na", 10, true, false));
	// Leading spaces of a kept line stay.
	EXPECT_EQ(V({"a", "    b"}), wrap("a\n    b", 10, true, false));
	// A line that exactly fills the width is not followed by a spurious empty line.
	EXPECT_EQ(V({"abcde", "fg"}), wrap("abcde\nfg", 5, true, false));
	EXPECT_EQ(V({"abcde", "", "fg"}), wrap("abcde\n\nfg", 5, true, false));
	EXPECT_EQ(V({"abcde", "fghij", "k"}), wrap("abcdefghij\nk", 5, true, true));

	// Without hard breaks a single line feed is a space; a paragraph break stays.
	EXPECT_EQ(V({"a b"}), wrap("a\nb", 10, false, false));
	EXPECT_EQ(V({"one two", "three"}), wrap("one\ntwo\nthree", 7, false, false));
	EXPECT_EQ(V({"a b", "", "c"}), wrap("a\nb\n\nc", 10, false, false));
}

TEST(WordWrap, SignatureSeparator)
{
	EXPECT_EQ(V({"Body text", "-- ", "Sig"}), wrap("Body text\n-- \nSig", 72, true, true));
	EXPECT_EQ(V({"--"}), wrap("--  ", 72, true, true));
}

TEST(WordWrap, StringOutputAndStopping)
{
	TString out;
	EXPECT_TRUE(WordWrap::Wrap("aaa bbb ccc", out, false, 0, 7, true, false));
	EXPECT_STREQ("aaa bbb\nccc", out.String());
	EXPECT_TRUE(WordWrap::Wrap("line one\nline two\n", out, false, 0, 72, true, false));
	EXPECT_STREQ("line one\nline two\n", out.String());
	EXPECT_TRUE(WordWrap::Wrap("a\n", out, false, 0, 72, false, false));
	EXPECT_STREQ("a", out.String());

	// Input and output may be the same string; bytes that are not UTF-8 survive.
	TString text;
	text.AllowInvalidSet(true);
	text.AssignByte("caf\xE9 ol\xE9 ab", 11);
	EXPECT_TRUE(WordWrap::Wrap(text, text, false, 0, 6, true, false));
	EXPECT_STREQ("caf\xE9\nol\xE9 ab", text.String());

	// Blocks from a reader give the same lines as one string.
	const char* body = "Hello there,\r\n\r\nthis\tis a test of a longer body that wraps.\r\n-- \r\nMe\r\n";
	Chunks chunks;
	chunks.text = body;
	TString fromChunks, whole;
	EXPECT_TRUE(WordWrap::Wrap(chunkRead, &chunks, fromChunks, false, 0, 20, true, true));
	EXPECT_TRUE(WordWrap::Wrap(body, whole, false, 0, 20, true, true));
	EXPECT_STREQ(whole.String(), fromChunks.String());
	EXPECT_STREQ(
		"Hello there,\n\nthis    is a test of\na longer body that\nwraps.\n-- \nMe\n", whole.String());

	// A callback that answers false stops the wrap.
	Lines l;
	l.stopAfter = 2;
	EXPECT_FALSE(WordWrap::Wrap("a b c d e f", collect, &l, false, 0, 1, true, false));
	EXPECT_EQ(V({"a", "b"}), l.lines);
}
