// Rendering message bodies: choosing the part to show, the transfer encodings and charsets,
// quoting for replies, hidden binary blocks, chunked delivery and abandoning, and hostile
// bodies that must render safely.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "MessageFile.h"
#include "QuoteFinder.h"
#include "TestSupport.h"
#include "UrlFinder.h"

using TestSupport::TempDir;

namespace {

// Receives an article (lines split at LF, bytes kept) into the folder as the NNTP client would.
std::string receive(const TempDir& dir, const std::string& article, const std::string& leaf = "m.qmsg")
{
	std::string path = dir.Sub(leaf);
	MessageFile f;
	EXPECT_EQ(f.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0), ErrOkay);
	std::istringstream in(article);
	std::string line;
	while (std::getline(in, line)) {
		TString t;
		t.AllowInvalidSet(true);
		t.AppendByte(line.data(), long(line.size()));
		EXPECT_EQ(f.LineAppend(t), ErrOkay);
	}
	EXPECT_EQ(f.DownloadClose(kCharsetNone), ErrOkay);
	return path;
}

const char kHead[] = "From: A Poster <poster@example.org>\nNewsgroups: comp.test\nSubject: test\n"
					 "Date: Mon, 2 Mar 2026 09:00:00 +0000\nMessage-ID: <r1@example.org>\n";

// What the callback saw.
struct Seen {
	std::string plain, html;
	std::vector<std::string> chunks;
	int done = 0;
	int after = 0;  // calls after the finished call
	long stopAfter = -1;  // answer false at this call
	long calls = 0;
	size_t largest = 0;
};

bool collect(void* context, RenderText kind, const TString& text)
{
	Seen& s = *static_cast<Seen*>(context);
	++s.calls;
	if (s.done)
		++s.after;
	std::string t(text.String(), size_t(text.ByteLength()));
	EXPECT_TRUE(text.Valid());
	if (size_t(text.ByteLength()) > s.largest)
		s.largest = size_t(text.ByteLength());
	if (kind == RenderTextDone) {
		EXPECT_TRUE(t.empty());
		++s.done;
	} else {
		(kind == RenderTextHtml ? s.html : s.plain) += t;
		s.chunks.push_back(t);
	}
	return s.stopAfter < 0 || s.calls < s.stopAfter;
}

Seen render(const std::string& path, RenderMode mode, Error expect = ErrOkay)
{
	Seen s;
	MessageBody body;
	EXPECT_EQ(body.Render(TString(path.c_str()), mode, collect, &s), expect);
	EXPECT_EQ(s.after, 0);
	return s;
}

std::string mime(const std::string& type, const std::string& encoding, const std::string& body)
{
	return std::string(kHead) + "Mime-Version: 1.0\nContent-Type: " + type +
		"\nContent-Transfer-Encoding: " + encoding + "\n\n" + body;
}

}  // namespace

TEST(Render, TransferEncodingsAndCharsets)
{
	TempDir dir;
	// Quoted-printable: soft breaks join lines; an encoded "=" at the end of a line stays one
	// "=" followed by a line break; escaped Latin-1 becomes UTF-8.
	std::string qp = mime("text/plain; charset=ISO-8859-1", "quoted-printable",
		"Caf=E9 au lait, tr=\nes bien=\nfait.\nsum =3D\nnext line\n");
	Seen s = render(receive(dir, qp), RenderModeText);
	EXPECT_EQ(s.plain, "Caf\xC3\xA9 au lait, tres bienfait.\nsum =\nnext line\n");
	EXPECT_EQ(s.done, 1);

	// Base64 text in KOI8-R ("Привет, мир" and a CRLF line end), in Windows-1252 and UTF-8.
	std::string koi = "\xF0\xD2\xC9\xD7\xC5\xD4, \xCD\xC9\xD2\r\nok\r\n";
	std::string koiB64 = "8NLJ18XULCDNydINCm9rDQo=";
	s = render(receive(dir, mime("text/plain; charset=KOI8-R", "base64", koiB64 + "\n")), RenderModeText);
	EXPECT_EQ(s.plain, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80\nok\n");
	(void)koi;
	s = render(receive(dir, mime("text/plain; charset=windows-1252", "base64", "k0VVUk+UIDEwgA==\n")),
		RenderModeText);
	EXPECT_EQ(s.plain,
		"\xE2\x80\x9C"
		"EURO\xE2\x80\x9D 10\xE2\x82\xAC");

	// 8-bit ISO-8859-2 without any transfer encoding.
	s = render(receive(dir, mime("text/plain; charset=ISO-8859-2", "8bit", "\xB3\xF3\xBF\x6B\x6F\n")),
		RenderModeText);
	EXPECT_EQ(s.plain, "\xC5\x82\xC3\xB3\xC5\xBCko\n");

	// Invalid UTF-8 in a UTF-8 body becomes U+FFFD; the valid text around it is kept.
	s = render(receive(dir,
				   mime("text/plain; charset=UTF-8", "8bit",
					   "a\xFF"
					   "b \xC3\xA9\n")),
		RenderModeText);
	EXPECT_EQ(s.plain,
		"a\xEF\xBF\xBD"
		"b \xC3\xA9\n");

	// A plain article without MIME headers reads in ISO-8859-1 unless a charset is forced.
	s = render(receive(dir, std::string(kHead) + "\nna\xEFve\n"), RenderModeText);
	EXPECT_EQ(s.plain, "na\xC3\xAFve\n");
}

TEST(Render, BrokenEncodingsAreSafe)
{
	TempDir dir;
	// Broken escapes stay as they were; a lone "=" at the end is a soft break.
	Seen s = render(
		receive(dir, mime("text/plain; charset=UTF-8", "quoted-printable", "a=ZZb =4\n=\n=G1 end=3\n")),
		RenderModeText);
	EXPECT_EQ(s.plain, "a=ZZb =4\n=G1 end=3\n");
	EXPECT_EQ(s.done, 1);
	// Garbage among base64 is skipped; a line of nothing but garbage gives nothing.
	s = render(
		receive(dir, mime("text/plain", "base64", "aGVs!!bG8K\n*** ###\n\nd29y?bGQ=\n")), RenderModeText);
	EXPECT_EQ(s.plain, "hello\nworld");
	EXPECT_EQ(s.done, 1);
	// A NUL byte cannot reach the text as such.
	s = render(receive(dir, mime("text/plain; charset=UTF-8", "base64", "YQBiCg==\n")), RenderModeText);
	EXPECT_EQ(s.plain,
		"a\xEF\xBF\xBD"
		"b\n");
}

TEST(Render, ChoosesThePartToShow)
{
	TempDir dir;
	std::string alt = std::string(kHead) +
		"Mime-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"outer\"\n\n"
		"preamble\n--outer\nContent-Type: multipart/alternative; boundary=\"inner\"\n\n"
		"--inner\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: quoted-printable\n\n"
		"Plain =C3=A9dition\n--inner\nContent-Type: text/html; charset=UTF-8\n\n<p>HTML</p>\n--inner--\n"
		"--outer\nContent-Type: image/png; name=\"a.png\"\nContent-Transfer-Encoding: base64\n\n"
		"iVBORw0KGgo=\n--outer--\n";
	std::string path = receive(dir, alt);
	Seen s = render(path, RenderModeText);
	EXPECT_EQ(s.plain,
		"Plain \xC3\xA9"
		"dition\n");
	EXPECT_TRUE(s.html.empty());
	s = render(path, RenderModeHtml);
	EXPECT_EQ(s.html, "<p>HTML</p>\n");
	EXPECT_TRUE(s.plain.empty());
	EXPECT_EQ(s.done, 1);

	// HTML only: shown as HTML even when text is preferred.
	std::string htmlOnly = std::string(kHead) +
		"Mime-Version: 1.0\nContent-Type: multipart/alternative; boundary=bb\n\n--bb\n"
		"Content-Type: text/html\n\n<b>bold</b>\n--bb--\n";
	s = render(receive(dir, htmlOnly), RenderModeText);
	EXPECT_EQ(s.html, "<b>bold</b>\n");

	// Only an image: nothing rendered and no finished call.
	std::string image = std::string(kHead) +
		"Mime-Version: 1.0\nContent-Type: multipart/mixed; boundary=bb\n\n--bb\n"
		"Content-Type: image/gif; name=x.gif\nContent-Transfer-Encoding: base64\n\nR0lGODlh\n--bb--\n";
	s = render(receive(dir, image), RenderModeText);
	EXPECT_TRUE(s.plain.empty() && s.html.empty());
	EXPECT_EQ(s.calls, 0);

	// A boundary that never closes: the part runs to the end of the file.
	std::string open = std::string(kHead) +
		"Mime-Version: 1.0\nContent-Type: multipart/mixed; boundary=zz\n\n--zz\n"
		"Content-Type: text/plain\n\nfirst\nsecond\n";
	s = render(receive(dir, open), RenderModeText);
	EXPECT_EQ(s.plain, "first\nsecond\n");
	EXPECT_EQ(s.done, 1);

	// Raw: the stored file as it is.
	s = render(path, RenderModeRaw);
	EXPECT_EQ(s.plain, TestSupport::ReadFile(path));
	EXPECT_EQ(s.done, 1);
}

TEST(Render, HeadersOnlyAndBadModesTellWhy)
{
	TempDir dir;
	std::string path = dir.Sub("h.qmsg");
	MessageFile f;
	ASSERT_EQ(f.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0), ErrOkay);
	std::istringstream in(kHead);
	std::string line;
	while (std::getline(in, line))
		ASSERT_EQ(f.LineAppend(TString(line.c_str())), ErrOkay);
	ASSERT_EQ(f.DownloadClose(kCharsetNone), ErrOkay);
	Seen s = render(path, RenderModeText, ErrGmCommandFailed);
	EXPECT_EQ(s.plain, "\nCannot display message: Does not have a body");
	EXPECT_EQ(s.done, 0);
	std::string full = receive(dir, std::string(kHead) + "\nbody\n", "f.qmsg");
	s = render(full, RenderMode(9), ErrGmCommandFailed);
	EXPECT_EQ(s.plain, "\nCannot display message: Does not have a body");

	// A section offset that no longer points at its boundary asks for a reparse.
	std::string text = TestSupport::ReadFile(full);
	std::string sect = "X-Quillfern-Section: 00000010 \ttext \tplain\n";
	text.insert(text.find("X-Quillfern-State"), sect);
	TestSupport::WriteFile(full, text);
	s = render(full, RenderModeText, ErrFileInvalidData);
	EXPECT_NE(s.plain.find("\n\nReparse this message, then try again"), std::string::npos);
}

TEST(Render, QuotingForAReply)
{
	TempDir dir;
	std::string path = receive(dir,
		std::string(kHead) +
			"\nA Poster wrote:\n> earlier\n>> older\n\nmy answer\n-- \nA Poster, signature\nhome page\n");
	Seen s = render(path, RenderModeQuote);
	EXPECT_EQ(s.plain, "> A Poster wrote:\n>> earlier\n>>> older\n> \n> my answer\n");
	EXPECT_EQ(s.done, 1);
	// Without quoting the signature is shown.
	s = render(path, RenderModeText);
	EXPECT_NE(s.plain.find("-- \nA Poster, signature\n"), std::string::npos);
	// "--" without the space, or with more after it, is no separator.
	s = render(receive(dir, std::string(kHead) + "\na\n--\n-- x\nb", "2.qmsg"), RenderModeQuote);
	EXPECT_EQ(s.plain, "> a\n> --\n> -- x\n> b\n");
	// A last line without its line end is still quoted.
	s = render(receive(dir, mime("text/plain", "base64", "bGluZTEKbGluZTI=\n"), "3.qmsg"), RenderModeQuote);
	EXPECT_EQ(s.plain, "> line1\n> line2");

	std::string a = "> x", b = "plain", c;
	MessageBody::LineQuote(a);
	MessageBody::LineQuote(b);
	MessageBody::LineQuote(c);
	EXPECT_EQ(a, ">> x");
	EXPECT_EQ(b, "> plain");
	EXPECT_EQ(c, "> ");
	TString t(">>");
	MessageBody::LineQuote(t);
	EXPECT_EQ(std::string(t.String()), ">>>");
}

TEST(Render, BinaryBlocksAreHidden)
{
	TempDir dir;
	std::string uu = "begin 644 cat.txt\n#8V%T\n`\nend\n";
	Seen s =
		render(receive(dir, std::string(kHead) + "\nHere is the file:\n" + uu + "Enjoy.\n"), RenderModeText);
	EXPECT_EQ(s.plain, "Here is the file:\nEnjoy.\n");
	std::string yenc = "=ybegin line=128 size=3 name=a.bin\nklm\n=yend size=3 crc32=00000000\n";
	s = render(receive(dir, std::string(kHead) + "\nbefore\n" + yenc + "after\n", "y.qmsg"), RenderModeText);
	EXPECT_EQ(s.plain, "before\nafter\n");
	// Inside a MIME text part too.
	s = render(receive(dir, mime("text/plain", "7bit", "see\n" + uu + "done\n"), "m.qmsg"), RenderModeText);
	EXPECT_EQ(s.plain, "see\ndone\n");
}

TEST(Render, ChunksAndAbandoning)
{
	TempDir dir;
	std::string body;
	for (int i = 0; i < 100; ++i)
		body += "line " + std::to_string(i) + "\n";
	std::string path = receive(dir, std::string(kHead) + "\n" + body);
	Seen s = render(path, RenderModeText);
	EXPECT_EQ(s.plain, body);
	ASSERT_GE(s.chunks.size(), 4u);
	for (const std::string& c : s.chunks)
		EXPECT_LE(std::count(c.begin(), c.end(), '\n'), 29);
	// Answering false stops at once, with no finished call and no error text.
	s.stopAfter = 2;
	Seen stop;
	stop.stopAfter = 2;
	MessageBody b;
	EXPECT_EQ(b.Render(TString(path.c_str()), RenderModeText, collect, &stop), ErrGmCancelled);
	EXPECT_EQ(stop.calls, 2);
	EXPECT_EQ(stop.done, 0);
	EXPECT_EQ(stop.plain.find("Cannot"), std::string::npos);
}

TEST(Render, HugeSingleLineBody)
{
	TempDir dir;
	std::string path = receive(dir, std::string(kHead) + "\nstart\n");
	const size_t size = 50u << 20;
	{
		std::ofstream out(path, std::ios::app | std::ios::binary);
		std::string block(1 << 20, 'x');
		for (size_t i = 0; i < size; i += block.size())
			out << block;
		out << "\nend\n";
	}
	struct rusage before {};
	getrusage(RUSAGE_SELF, &before);
	struct Count {
		size_t bytes = 0, largest = 0, done = 0;
		bool valid = true;
	} count;
	MessageBody body;
	Error e = body.Render(
		TString(path.c_str()), RenderModeQuote,
		[](void* ctx, RenderText kind, const TString& text) {
			Count& c = *static_cast<Count*>(ctx);
			c.bytes += size_t(text.ByteLength());
			c.largest = std::max(c.largest, size_t(text.ByteLength()));
			c.valid = c.valid && text.Valid();
			c.done += kind == RenderTextDone;
			return true;
		},
		&count);
	EXPECT_EQ(e, ErrOkay);
	EXPECT_EQ(count.done, 1u);
	EXPECT_TRUE(count.valid);
	EXPECT_LE(count.largest, size_t(MessageBody::kRenderChunkMax));
	// "> start\n", the long line quoted once, "> end\n".
	EXPECT_EQ(count.bytes, 8 + 2 + size + 1 + 6);
	struct rusage after {};
	getrusage(RUSAGE_SELF, &after);
	// The peak resident size grows by far less than the body. AddressSanitizer holds freed memory
	// back from reuse, so there the resident size says nothing about the renderer.
#if !defined(__SANITIZE_ADDRESS__)
	EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 20 * 1024);
#endif
}

// Real articles of the fuzz corpus, received and rendered.
TEST(Render, RealMessages)
{
	TempDir dir;
	auto corpus = [&](const char* name) {
		return receive(dir,
			TestSupport::ReadFile(
				std::string(QUILLFERN_SOURCE_DIR) + "/tests/fuzz/corpus/RenderFuzz/" + name),
			std::string(name) + ".qmsg");
	};
	// A quoted-printable reply in ISO-8859-15 with nested attributions and a signature.
	std::string reply = corpus("reply-qp");
	Seen s = render(reply, RenderModeText);
	const std::string body =
		"Anna wrote:\n> Carl wrote:\n> > Is there a FAQ? See <q0.12345@news.example.com>\n> > or www.c-faq.com.\n"
		"> | boxed\n: colon\n\nYes, it is at http://c-faq.com/decl/spiral.anderson.html, and the long one\n"
		"http://www.example.org/very/long/path/that/goes/on/and/on/for/quite-a-while/index.html "
		"(caf\xC3\xA9, 10 \xE2\x82\xAC, sum =\n2).\n";
	EXPECT_EQ(s.plain, body + "-- \nBert  bert@example.net\n");
	std::vector<QuoteFinder::Range> quotes;
	QuoteFinder::Locate(s.plain, quotes);
	std::vector<int> depth;
	for (const auto& q : quotes)
		depth.push_back(q.depth);
	EXPECT_EQ(depth, (std::vector<int>{1, 2, 2, 2, 1}));
	std::vector<UrlFinder::Link> links;
	UrlFinder::Locate(s.plain, links);
	std::vector<std::string> targets;
	for (const auto& l : links)
		targets.push_back(l.target.String());
	EXPECT_EQ(targets,
		(std::vector<std::string>{"news:q0.12345@news.example.com", "http://www.c-faq.com",
			"http://c-faq.com/decl/spiral.anderson.html",
			"http://www.example.org/very/long/path/that/goes/on/and/on/for/quite-a-while/index.html",
			"mailto:bert@example.net"}));
	s = render(reply, RenderModeQuote);
	std::string quoted;
	std::istringstream lines(body);
	std::string line;
	while (std::getline(lines, line)) {
		MessageBody::LineQuote(line);
		quoted += line + "\n";
	}
	EXPECT_EQ(s.plain, quoted);

	// Base64 in KOI8-R.
	s = render(corpus("base64-koi8r"), RenderModeText);
	EXPECT_EQ(s.plain,
		"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80!\n"
		"\xD0\x9A\xD0\xB0\xD0\xBA \xD0\xB4\xD0\xB5\xD0\xBB\xD0\xB0?\n");
	// HTML in Windows-1252 inside multipart/related inside multipart/alternative.
	s = render(corpus("html-nested"), RenderModeText);
	EXPECT_EQ(s.html,
		"<html><body><p>Hello &amp; \xE2\x80\x9Cwelcome\xE2\x80\x9D</p><ul><li>one</li></ul></body></html>\n");
	// Flowed text is kept as sent: its lines are already short, and joining them would lose
	// the quoting of flowed replies in plain readers.
	std::string flowedPath = corpus("flowed");
	s = render(flowedPath, RenderModeText);
	EXPECT_EQ(s.plain,
		"This paragraph is sent as flowed text, so each line ends with a space \nand the reader may join them. \n"
		"> quoted flowed line \n> continues here\n >space-stuffed\n");
	// A multipart/mixed from Thunderbird: the text part, not the image.
	s = render(corpus("thunderbird-mixed"), RenderModeText);
	EXPECT_EQ(s.plain,
		"Gr\xC3\xBC\xC3\x9F"
		"e!\n");
}
