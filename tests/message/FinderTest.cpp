// Quote depths and links in rendered text, on the shapes real replies take: ">" and "> >"
// quoting, "|" and ":" quoting, nested attributions, wrapped long addresses, addresses in
// brackets and after punctuation, message-IDs and e-mail addresses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QuoteFinder.h"
#include "TermText.h"
#include "UrlFinder.h"

namespace {

std::vector<int> depths(const std::string& text)
{
	std::vector<QuoteFinder::Range> ranges;
	QuoteFinder::Locate(text, ranges);
	std::vector<int> d;
	size_t line = 0, start = 0;
	for (const auto& r : ranges) {
		while (start < size_t(r.pos)) {
			start = text.find('\n', start) + 1;
			++line;
			d.push_back(0);
		}
		d.push_back(r.depth);
		start = size_t(r.pos + r.len);
		++line;
	}
	return d;
}

std::vector<std::string> linkTexts(
	const std::string& text, std::vector<std::string>* targets = nullptr, std::vector<int>* kinds = nullptr)
{
	std::vector<UrlFinder::Link> links;
	long n = UrlFinder::Locate(text, links);
	EXPECT_EQ(n, long(links.size()));
	std::vector<std::string> out;
	for (const auto& l : links) {
		out.push_back(text.substr(size_t(l.pos), size_t(l.len)));
		if (targets)
			targets->push_back(l.target.String());
		if (kinds)
			kinds->push_back(l.kind);
	}
	return out;
}

}  // namespace

TEST(QuoteFinder, DepthsOfARealReply)
{
	std::string reply = "Anna wrote:\n"
						"> Bert wrote:\n"
						"> > Carl wrote:\n"
						"> > > The first point.\n"
						">> tight quoting\n"
						"| boxed quote\n"
						": colon quote\n"
						"\xC2\xA0> after a no-break space\n"
						"\t> after a tab\n"
						"My answer.\n"
						"> > | mixed\n";
	EXPECT_EQ(depths(reply), (std::vector<int>{0, 1, 2, 3, 2, 1, 1, 1, 1, 0, 3}));

	std::vector<QuoteFinder::Range> r;
	QuoteFinder::Locate("> a\n>>>>>>> deep\n>>>> four\nplain", r);
	ASSERT_EQ(r.size(), 3u);
	EXPECT_EQ(r[0].pos, 0);
	EXPECT_EQ(r[0].len, 4);  // the line feed included
	EXPECT_EQ(r[0].colour, 1);
	EXPECT_EQ(r[1].depth, 6);  // seven quote characters count as six
	EXPECT_EQ(r[1].colour, 4);
	EXPECT_EQ(r[2].depth, 4);
	EXPECT_EQ(r[2].colour, 4);
	// Only the first 40 characters are looked at.
	EXPECT_EQ(QuoteFinder::LineDepth(std::string(40, ' ') + ">"), 0);
	EXPECT_EQ(QuoteFinder::LineDepth(std::string(39, ' ') + ">"), 1);
	EXPECT_EQ(QuoteFinder::LineDepth(""), 0);
	EXPECT_EQ(QuoteFinder::LineDepth("x > y"), 0);
}

TEST(UrlFinder, WebAddressesAsPeopleWriteThem)
{
	std::vector<std::string> targets;
	std::vector<int> kinds;
	auto found =
		linkTexts("See (www.example.com). Or http://example.org/a?b=1&c=2, and\n"
				  "\"https://secure.example.net/x\" or <ftp://ftp.example.org/pub/> and ftp.gnu.org!\n"
				  "telnet://bbs.example.com:23 rtsp://media.example.com/s mms://m.example.com/x\n"
				  "file:///home/user/notes.txt but not xhttp://nope.example.com nor http://ab\n",
			&targets, &kinds);
	EXPECT_EQ(found,
		(std::vector<std::string>{"www.example.com", "http://example.org/a?b=1&c=2",
			"https://secure.example.net/x", "ftp://ftp.example.org/pub/", "ftp.gnu.org",
			"telnet://bbs.example.com:23", "rtsp://media.example.com/s", "mms://m.example.com/x",
			"file:///home/user/notes.txt"}));
	EXPECT_EQ(targets,
		(std::vector<std::string>{"http://www.example.com", "http://example.org/a?b=1&c=2",
			"https://secure.example.net/x", "ftp://ftp.example.org/pub/", "ftp://ftp.gnu.org",
			"telnet://bbs.example.com:23", "rtsp://media.example.com/s", "mms://m.example.com/x",
			"file:///home/user/notes.txt"}));
	EXPECT_EQ(kinds, (std::vector<int>{4, 4, 5, 3, 3, 8, 7, 7, 2}));

	// A scheme in capitals is linked; its target gets the scheme as spelled in the table.
	targets.clear();
	EXPECT_EQ(
		linkTexts("HTTP://EXAMPLE.COM/X", &targets), (std::vector<std::string>{"HTTP://EXAMPLE.COM/X"}));
	EXPECT_EQ(targets[0], "http://EXAMPLE.COM/X");
	// In typographic quotes the closing quote is not part of the link.
	EXPECT_EQ(linkTexts("\xE2\x80\x9Chttp://example.com/q\xE2\x80\x9D"),
		(std::vector<std::string>{"http://example.com/q"}));
	// Quoted lines keep their links.
	EXPECT_EQ(
		linkTexts("> > see http://example.com/old"), (std::vector<std::string>{"http://example.com/old"}));
}

TEST(UrlFinder, WrappedAddresses)
{
	std::string first = "Read the whole story at http://news.example.com/2026/12/06/a-rather-long-";
	ASSERT_GE(first.size(), 64u);
	std::vector<std::string> targets;
	auto found = linkTexts(first + "\npath/article.html for details.\n", &targets);
	ASSERT_EQ(found.size(), 1u);
	EXPECT_EQ(found[0], "http://news.example.com/2026/12/06/a-rather-long-\npath/article.html");
	EXPECT_EQ(targets[0], "http://news.example.com/2026/12/06/a-rather-long-path/article.html");

	// A short line ends the link at its line feed.
	found = linkTexts("http://example.com/short\ncontinued\n");
	EXPECT_EQ(found, (std::vector<std::string>{"http://example.com/short"}));
	// A next line that starts a link of its own is not joined.
	found = linkTexts(first + "\nhttp://other.example.com/\n");
	EXPECT_EQ(found.size(), 2u);
	// The link search looks at most 400 characters ahead.
	std::string longUrl = "http://example.com/" + std::string(600, 'a');
	found = linkTexts(longUrl);
	ASSERT_EQ(found.size(), 1u);
	EXPECT_EQ(found[0].size(), 400u);
}

TEST(UrlFinder, AddressesAndMessageIds)
{
	std::vector<std::string> targets;
	std::vector<int> kinds;
	auto found = linkTexts("Mail anna.b@example.org, or mailto:bert@example.net.\n"
						   "In <abc123.4567@news.example.com> and news:comp.lang.c++ you will find\n"
						   "(carl@example.com) and <2026120612@server.example>\n",
		&targets, &kinds);
	EXPECT_EQ(found,
		(std::vector<std::string>{"anna.b@example.org", "mailto:bert@example.net",
			"<abc123.4567@news.example.com>", "news:comp.lang.c++", "carl@example.com",
			"<2026120612@server.example>"}));
	EXPECT_EQ(targets,
		(std::vector<std::string>{"mailto:anna.b@example.org", "mailto:bert@example.net",
			"news:abc123.4567@news.example.com", "news:comp.lang.c++", "mailto:carl@example.com",
			"news:2026120612@server.example"}));
	EXPECT_EQ(kinds, (std::vector<int>{1, 1, 6, 6, 1, 6}));

	// An address in angle brackets with few digits reads as an address, not a message-ID; it
	// is linked from its "@" as an address.
	targets.clear();
	found = linkTexts("From: Anna <anna@example.org>", &targets);
	EXPECT_EQ(found, (std::vector<std::string>{"anna@example.org"}));
	// Not addresses: a lone "@", a handle, a word glued to text before it.
	EXPECT_TRUE(linkTexts("@ @@ @anna x@y").empty());
}

TEST(TermText, ControlCharactersNeverReachTheTerminal)
{
	std::string out;
	TermText::Sanitize("a\x1b[31mred\x1b]0;title\x07\tb\r\nc\x7f\xC2\x9B"
					   "2J\xE2\x80\xAE"
					   "evil\xFF\n",
		out);
	EXPECT_EQ(out,
		"a^[[31mred^[]0;title^G\tb^M\nc^?\xEF\xBF\xBD"
		"2J\xEF\xBF\xBD"
		"evil\xEF\xBF\xBD\n");
	EXPECT_EQ(out.find('\x1b'), std::string::npos);

	out.clear();
	TermText::Colour("> quoted http://example.com/x\nplain \x1b[2J\n>> deeper\n", out);
	EXPECT_EQ(out,
		"\x1b[0m\x1b[36m> quoted \x1b[0m\x1b[36;4;34mhttp://example.com/x\x1b[0m\x1b[36m\n"
		"\x1b[0mplain ^[[2J\n\x1b[0m\x1b[32m>> deeper\n\x1b[0m");
}

TEST(TermText, HtmlAsText)
{
	std::string out;
	TermText::FromHtml(
		"<html><head><title>T</title><style>p{color:red}</style><script>alert(1)</script></head>"
		"<body><p>Hello&nbsp;&amp; <b>welcome</b>,\n   friend.</p><!-- hidden --><ul><li>one</li>"
		"<li>two &#233;&#x20AC;</li></ul>a<br>b<pre>  keep\n  this</pre>&bogus; &#0;</body></html>",
		out);
	EXPECT_EQ(out,
		"T\n\nHello\xC2\xA0& welcome, friend.\n\n* one\n* two \xC3\xA9\xE2\x82\xAC\na\nb\n  keep\n  this\n"
		"&bogus; \xEF\xBF\xBD\n");
}
