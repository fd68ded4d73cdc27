// Message files: articles as posting software writes them, received line by line, with their
// sections found and stored; bodies appended later; composed messages; posting; hostile input.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "FileMngr.h"
#include "MessageFile.h"
#include "TestSupport.h"

using TestSupport::Exists;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

// Receives an article (lines split at LF) into a file of the folder and returns its path.
std::string receive(const TempDir& dir, const std::string& article, Charset suggest = kCharsetNone,
	const char* leaf = "a.qmsg")
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
	EXPECT_EQ(f.DownloadClose(suggest), ErrOkay);
	return path;
}

// The sections stored in a file, as "type encoding n/t filename" with the first line each
// offset points at.
std::vector<std::string> sections(const std::string& path)
{
	MessageHead h;
	EXPECT_EQ(h.HeaderRead(TString(path.c_str()), MessageHead::kLockWait), ErrOkay);
	std::string bytes = ReadFile(path);
	std::vector<std::string> out;
	for (const MessageSect& s : h.Sections()) {
		std::string at = bytes.substr(size_t(s.OffsetGet()));
		at = at.substr(0, at.find('\n'));
		std::string d = std::string(MessageSect::typeToString(s.TypeGet())) + " " +
			MessageSect::encToString(s.EncodingGet());
		if (s.PartTotalGet() > 0)
			d += " " + std::to_string(s.PartNumberGet()) + "/" + std::to_string(s.PartTotalGet());
		if (!s.FilenameGet().Empty()) {
			d += " ";
			d += s.FilenameGet().String();
		}
		d += " @";
		d += at;
		out.push_back(d);
	}
	return out;
}

MessageHead head(const std::string& path)
{
	MessageHead h;
	EXPECT_EQ(h.HeaderRead(TString(path.c_str()), MessageHead::kLockWait), ErrOkay);
	return h;
}

const char kMixed[] = "Path: news.example.net!not-for-mail\n"
					  "From: Anna <anna@example.org>\n"
					  "Newsgroups: alt.test\n"
					  "Subject: photo\n"
					  "Date: Mon, 2 Mar 2026 09:00:00 +0000\n"
					  "Message-ID: <mixed1@example.org>\n"
					  "MIME-Version: 1.0\n"
					  "Content-Type: multipart/mixed;\n"
					  " boundary=\"------------A1B2C3\"\n"
					  "Lines: 17\n"
					  "X-Quillfern-State: CCAUCUzzzz\n"
					  " continued private header\n"
					  "User-Agent: Mozilla/5.0 Thunderbird/115.0\n"
					  "\n"
					  "This is a multi-part message in MIME format.\n"
					  "--------------A1B2C3\n"
					  "Content-Type: text/plain; charset=UTF-8; format=flowed\n"
					  "Content-Transfer-Encoding: 8bit\n"
					  "\n"
					  "Gr\xC3\xBC\xC3\x9F"
					  "e!\n"
					  "--------------A1B2C3\n"
					  "Content-Type: image/jpeg\n"
					  "Content-Disposition: attachment; filename=\"beach.jpg\"\n"
					  "Content-Transfer-Encoding: base64\n"
					  "\n"
					  "/9j/4AAQSkZJRgABAQEASABIAAD/2wBDAP//////////////////////////////////////////\n"
					  "--------------A1B2C3\n"
					  "Content-Type: application/octet-stream\n"
					  "Content-Transfer-Encoding: base64\n"
					  "\n"
					  "AAAA\n"
					  "--------------A1B2C3--\n";

}  // namespace

TEST(MessageFile, MultipartArticleGivesTextAndAttachmentSections)
{
	TempDir dir;
	std::string path = receive(dir, kMixed);
	EXPECT_EQ(sections(path),
		(std::vector<std::string>{
			"text plain @--------------A1B2C3",
			"attachment base64 1/1 beach.jpg @--------------A1B2C3",
		}));
	MessageHead h = head(path);
	EXPECT_EQ(h.MessageStateGet(), MessageStateComplete);
	EXPECT_EQ(h.MessageDownloadGet(), MessageDownloadComplete);
	EXPECT_EQ(h.MessageAttachGet(), MessageAttachFirst);
	EXPECT_EQ(h.MessageReadGet(), MessageReadUnread);
	// Lines is the count of what arrived, not what the sender claimed.
	EXPECT_EQ(h.LinesGet(), 18);
	std::string text = ReadFile(path);
	// The sender's private header and its continuation never reach the file.
	EXPECT_EQ(text.find("zzzz"), std::string::npos);
	EXPECT_EQ(text.find("continued private"), std::string::npos);
	EXPECT_NE(text.find("Lines: 18    \n"), std::string::npos);
	// The body is stored exactly as received.
	std::string body = text.substr(text.find("\n\n") + 2);
	EXPECT_EQ(body, std::string(kMixed).substr(std::string(kMixed).find("\n\n") + 2));
}

TEST(MessageFile, NestedAlternativeAndBrokenMime)
{
	TempDir dir;
	std::string nested =
		"From: b@example.org\nNewsgroups: alt.test\nSubject: nested\nMessage-ID: <n@x.org>\n"
		"Mime-Version: 1.0\nContent-Type: Multipart/Mixed; boundary=outer\n\n"
		"--outer\nContent-Type: multipart/alternative; boundary=\"inner\"\n\n"
		"--inner\nContent-Type: text/plain; charset=ISO-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n"
		"caf=E9\n"
		"--inner\nContent-Type: text/html; charset=ISO-8859-1\n\n<p>caf\xE9</p>\n"
		"--inner--\n"
		"--outer\nContent-Type: application/pdf; name=\"doc.pdf\"\nContent-Transfer-Encoding: base64\n\nJVBERi0=\n"
		"--outer\nContent-Type: text/plain; name=notes.txt\n\nnotes\n";  // never closed
	std::string path = receive(dir, nested);
	EXPECT_EQ(sections(path),
		(std::vector<std::string>{
			"text quot-print @--inner",
			"html plain @--inner",
			"attachment base64 1/1 doc.pdf @--outer",
			"attachment plain 1/1 notes.txt @--outer",
		}));
	// A part whose header block never ends, and a boundary line inside one.
	std::string broken = "From: c@example.org\nNewsgroups: alt.test\nSubject: broken\nMessage-ID: <b@x.org>\n"
						 "Mime-Version: 1.0\nContent-Type: multipart/mixed; boundary=zz\n\n"
						 "--zz\nContent-Type: text/plain\n--zz\nContent-Type: image/gif; name=a.gif\n";
	path = receive(dir, broken, kCharsetNone, "b.qmsg");
	EXPECT_EQ(
		sections(path), (std::vector<std::string>{"text plain @--zz", "attachment plain 1/1 a.gif @--zz"}));
}

TEST(MessageFile, UuencodeAndYencInPlainBodies)
{
	TempDir dir;
	const std::string head1 = "From: d@example.org\nNewsgroups: alt.binaries.test\nMessage-ID: <u1@x.org>\n";
	std::string path = receive(dir,
		head1 +
			"Subject: file\n\nHere it is:\n\nbegin 644 my file.bin\n"
			"M86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7IA8F-D969G:&EJ:VQM;F]P<7)S\n`\nend\n");
	EXPECT_EQ(sections(path),
		(std::vector<std::string>{"attachment uuencode 1/1 my file.bin @begin 644 my file.bin"}));
	EXPECT_EQ(head(path).MessageAttachGet(), MessageAttachFirst);

	path = receive(dir, head1 + "Subject: file\n\nbegin 0644 x.bin\nM86)C\nend\n", kCharsetNone, "b.qmsg");
	EXPECT_TRUE(sections(path).empty());
	EXPECT_EQ(head(path).MessageAttachGet(), MessageAttachNone);

	// A later part: data from the first line, numbered by the subject's counter.
	const std::string data = "M86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7IA8F-D969G:&EJ:VQM;F]P<7)S\n";
	path = receive(
		dir, head1 + "Subject: big.bin (2/5)\n\n" + data + data + data + data, kCharsetNone, "c.qmsg");
	EXPECT_EQ(sections(path),
		(std::vector<std::string>{"attachment uuencode 2/5 @" + data.substr(0, data.size() - 1)}));
	EXPECT_EQ(head(path).MessageAttachGet(), MessageAttachSecondary);
	path = receive(dir, head1 + "Subject: big.bin\n\n" + data + data + data, kCharsetNone, "d.qmsg");
	EXPECT_TRUE(sections(path).empty());
	// The first part, cut off before "end": numbered by the subject too.
	path = receive(
		dir, head1 + "Subject: big.bin [1/5]\n\nbegin 644 big.bin\n" + data + data, kCharsetNone, "e.qmsg");
	EXPECT_EQ(
		sections(path), (std::vector<std::string>{"attachment uuencode 1/5 big.bin @begin 644 big.bin"}));

	path = receive(dir,
		head1 +
			"Subject: yenc\n\nintro\n=ybegin line=128 size=3 name=tiny file.dat\n"
			"\x8B\x8C\x8D\n=yend size=3 crc32=00000000\n",
		kCharsetNone, "f.qmsg");
	EXPECT_EQ(sections(path),
		(std::vector<std::string>{
			"attachment yenc 1/1 tiny file.dat @=ybegin line=128 size=3 name=tiny file.dat"}));
	path = receive(dir,
		head1 +
			"Subject: \"big.dat\" yEnc (2/3)\n\n=ybegin part=2 line=128 size=300 name=big.dat\n"
			"=ypart begin=101 end=200\nxx\n=yend size=100 part=2 pcrc32=1234abcd\n",
		kCharsetNone, "g.qmsg");
	EXPECT_EQ(sections(path),
		(std::vector<std::string>{"attachment yenc 2/3 @=ybegin part=2 line=128 size=300 name=big.dat"}));
}

TEST(MessageFile, MessagePartialParts)
{
	TempDir dir;
	std::string path = receive(dir,
		"From: e@example.org\nNewsgroups: alt.test\nSubject: p1\nMessage-ID: <p1@x.org>\nMime-Version: 1.0\n"
		"Content-Type: message/partial; id=\"abc@x.org\"; number=1; total=3\n\n"
		"Content-Type: application/zip; name=\"all.zip\"\nContent-Transfer-Encoding: base64\n\nUEsDBA==\n");
	EXPECT_EQ(sections(path),
		(std::vector<std::string>{
			"attachment base64 1/3 all.zip @Content-Type: application/zip; name=\"all.zip\""}));
	TString base;
	long n, t;
	MessageHead h = head(path);
	h.AttrAttachmentPart(base, n, t);
	EXPECT_STREQ(base.String(), "abc@x.org");
	EXPECT_EQ(n, 1);
	EXPECT_EQ(t, 3);
	path = receive(dir,
		"From: e@example.org\nNewsgroups: alt.test\nSubject: p2\nMessage-ID: <p2@x.org>\nMime-Version: 1.0\n"
		"Content-Type: message/partial; id=\"abc@x.org\"; number=2; total=3\n\nUEsDBA==\n",
		kCharsetNone, "b.qmsg");
	EXPECT_EQ(sections(path), (std::vector<std::string>{"attachment base64 2/3 @UEsDBA=="}));

	// A MIME message whose plain text holds a yEnc part is grouped by subject and sender, not
	// left without a group.
	path = receive(dir,
		"From: e@example.org\nNewsgroups: alt.test\nSubject: big.dat (2/3)\nMessage-ID: <y2@x.org>\n"
		"Mime-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n\n"
		"=ybegin part=2 line=128 size=300 name=big.dat\n=ypart begin=101 end=200\nxx\n"
		"=yend size=100 part=2 pcrc32=1234abcd\n",
		kCharsetNone, "y.qmsg");
	h = head(path);
	h.AttrAttachmentPart(base, n, t);
	EXPECT_STREQ(base.String(), "e@example.org big.dat");
	EXPECT_EQ(n, 2);
	EXPECT_EQ(t, 3);
}

TEST(MessageFile, HeadersOnlyThenBodyAppended)
{
	TempDir dir;
	std::string path = dir.Sub("h.qmsg");
	MessageFile f;
	ASSERT_EQ(f.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0), ErrOkay);
	for (const char* l : {"From: f@example.org", "Newsgroups: alt.test", "Subject: bin (1/2)", "Lines: 4"})
		ASSERT_EQ(f.LineAppend(TString(l)), ErrOkay);
	ASSERT_EQ(f.DownloadClose(kCharsetKOI8R), ErrOkay);
	std::string text = ReadFile(path);
	// No Message-ID came, so one was made; the block ends with the state line and one empty line.
	EXPECT_NE(text.find("Message-ID: <QM"), std::string::npos);
	ASSERT_GE(text.size(), 32u);
	EXPECT_EQ(text.substr(text.size() - 31), "X-Quillfern-State: UHNUNRxxxx\n\n");
	EXPECT_EQ(f.LineAppend(TString("late")), ErrFileNotOpen);

	std::string before = text;
	ASSERT_EQ(f.BodyOpen(TString(path.c_str())), ErrOkay);
	ASSERT_EQ(f.LineAppend(TString("partial body")), ErrOkay);
	ASSERT_EQ(f.BodyClose(false), ErrOkay);
	MessageHead h = head(path);
	EXPECT_EQ(h.MessageDownloadGet(), MessageDownloadFailed);
	EXPECT_EQ(h.MessageStateGet(), MessageStateHeaders);
	// Nothing of the failed body stays; only the state letter changed.
	text = ReadFile(path);
	EXPECT_EQ(text.size(), before.size());
	EXPECT_EQ(text.find("partial body"), std::string::npos);

	ASSERT_EQ(f.BodyOpen(TString(path.c_str())), ErrOkay);
	for (const char* l :
		{"begin 644 x.bin", "M86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7IA8F-D969G:&EJ:VQM;F]P<7)S", "more"})
		ASSERT_EQ(f.LineAppend(TString(l)), ErrOkay);
	ASSERT_EQ(f.BodyClose(true), ErrOkay);
	h = head(path);
	EXPECT_EQ(h.MessageStateGet(), MessageStateComplete);
	EXPECT_EQ(h.MessageDownloadGet(), MessageDownloadComplete);
	EXPECT_EQ(h.LinesGet(), 3);
	EXPECT_EQ(sections(path), (std::vector<std::string>{"attachment uuencode 1/2 x.bin @begin 644 x.bin"}));
	EXPECT_EQ(f.BodyOpen(TString(path.c_str())), ErrFileInvalidData);
}

TEST(MessageFile, ReparseRenamesAndKeepsOffsets)
{
	TempDir dir;
	std::string article = std::string(kMixed);
	// A stored file without sections, under another extension, with CR LF line ends.
	std::string crlf;
	for (char c : article) {
		if (c == '\n')
			crlf += '\r';
		crlf += c;
	}
	std::string path = dir.Sub("old.txt");
	WriteFile(path, crlf);
	MessageFile f;
	TString p(path.c_str());
	ASSERT_EQ(f.Parse(p, 0, kCharsetNone, MessageHead::kLockWait), ErrOkay);
	EXPECT_STREQ(p.String(), dir.Sub("old.qmsg").c_str());
	EXPECT_FALSE(Exists(path));
	std::vector<std::string> s = sections(p.String());
	ASSERT_EQ(s.size(), 2u);
	EXPECT_EQ(s[0], "text plain @--------------A1B2C3\r");
	// The stored state line is replaced, its last four places kept, its continuation dropped.
	std::string text = ReadFile(p.String());
	EXPECT_NE(text.find("X-Quillfern-State: UCAUCUzzzz\n"), std::string::npos);
	EXPECT_EQ(text.find("continued private"), std::string::npos);
	// Re-parsing again finds the same sections at the same places.
	ASSERT_EQ(f.Parse(p, 0, kCharsetNone, MessageHead::kLockWait), ErrOkay);
	EXPECT_EQ(sections(p.String()), s);
	MessageHead h = head(p.String());
	EXPECT_EQ(h.LinesGet(), 18);
	EXPECT_FALSE(h.ParseNeeded());
}

TEST(MessageFile, SectionLinesUpdatedInPlace)
{
	TempDir dir;
	std::string path = receive(dir, kMixed);
	std::string before = ReadFile(path);
	MessageHead h = head(path);
	ASSERT_EQ(h.sectCount(), 2);
	long first = h.Sections()[0].OffsetGet(), second = h.Sections()[1].OffsetGet();
	ASSERT_EQ(h.sectUpdate(TString(path.c_str()), 0x100), ErrOkay);
	std::string after = ReadFile(path);
	EXPECT_EQ(after.size(), before.size());
	MessageHead moved = head(path);
	ASSERT_EQ(moved.sectCount(), 2);
	EXPECT_EQ(moved.Sections()[0].OffsetGet(), first + 0x100);
	EXPECT_EQ(moved.Sections()[1].OffsetGet(), second + 0x100);
	// A list that does not match the file's lines is refused and the file left alone.
	MessageHead fewer;
	fewer.sectAppend(h.Sections()[0]);
	EXPECT_EQ(fewer.sectUpdate(TString(path.c_str()), 1), ErrFileInvalidData);
	EXPECT_EQ(ReadFile(path), after);
}

TEST(MessageFile, ComposedMessageAndPosting)
{
	TempDir dir;
	std::string path = dir.Sub("c.qmsg");
	MessageFile::Data d;
	d.subject = "Gr\xC3\xBC\xC3\x9F"
				"e";
	d.newsgroupsTo = "alt.test";
	d.authorName = "J\xC3\xB6rg";
	d.authorAddress = "joerg@example.de";
	d.account = "Home";
	d.charset = kCharsetISO8859_1;
	d.lineLen = 10;  // clamped to 60
	d.body = std::string(70, 'a').c_str();
	d.body += " \xC3\xA9t\xC3\xA9\nsecond";
	MessageFile f;
	ASSERT_EQ(f.Create(TString(path.c_str()), d), ErrOkay);
	MessageHead h = head(path);
	EXPECT_EQ(h.LinesGet(), 3);
	EXPECT_EQ(h.MessageStateGet(), MessageStateComplete);
	EXPECT_EQ(h.MessageTypeGet(), MessageTypeUsenet);
	TString t;
	h.AttrSubject(t);
	EXPECT_STREQ(t.String(),
		"Gr\xC3\xBC\xC3\x9F"
		"e");
	h.AttrAuthor(t);
	EXPECT_STREQ(t.String(), "J\xC3\xB6rg");
	std::string text = ReadFile(path);
	// Wrapped at the clamped width, long words split, in the message's charset.
	EXPECT_NE(
		text.find("\n\n" + std::string(60, 'a') + "\naaaaaaaaaa \xE9t\xE9\nsecond\n"), std::string::npos);
	EXPECT_NE(text.find("Content-Type: text/plain; charset=ISO-8859-1\n"), std::string::npos);

	HeaderMap upload;
	upload[TString("Organization")] = "Caf\xC3\xA9";
	upload[TString("Newsgroups")] = "alt.test2";
	ASSERT_EQ(f.UploadOpen(TString(path.c_str()), upload), ErrOkay);
	std::vector<std::string> lines;
	TString line;
	Error e;
	while ((e = f.UploadLine(line)) == ErrOkay)
		lines.push_back(line.String());
	EXPECT_EQ(e, ErrFileEnd);
	f.UploadClose();
	std::string all;
	for (const std::string& l : lines)
		all += l + "\n";
	EXPECT_EQ(all.find("Date:"), std::string::npos);
	EXPECT_EQ(all.find("X-Quillfern"), std::string::npos);
	EXPECT_NE(all.find("Newsgroups: alt.test2\n"), std::string::npos);
	EXPECT_NE(all.find("Organization: =?ISO-8859-1?Q?Caf=E9?=\n"), std::string::npos);
	EXPECT_NE(all.find("\n\n" + std::string(60, 'a') + "\n"), std::string::npos);
	EXPECT_EQ(f.UploadLine(line), ErrFileNotOpen);

	d.body = "";
	EXPECT_EQ(f.Create(TString(dir.Sub("e.qmsg").c_str()), d), ErrFileWriteError);
}

TEST(MessageFile, CopyAndPreferredName)
{
	TempDir dir;
	std::string path = receive(dir, kMixed);
	std::string copy = dir.Sub("copy.qmsg");
	ASSERT_EQ(MessageFile::Copy(TString(copy.c_str()), TString(path.c_str())), ErrOkay);
	EXPECT_EQ(ReadFile(copy), ReadFile(path));
	EXPECT_NE(
		MessageFile::Copy(TString(dir.Sub("x.qmsg").c_str()), TString(dir.Sub("missing").c_str())), ErrOkay);
	EXPECT_FALSE(Exists(dir.Sub("x.qmsg")));

	MessageFile f;
	ASSERT_EQ(f.HeaderRead(TString(copy.c_str()), MessageHead::kLockWait), ErrOkay);
	TString p(copy.c_str());
	WriteFile(dir.Sub("QM3F2A9DD44D0ACB2F1A8A5FC3CB0C6C9D.qmsg"), "stale");
	ASSERT_EQ(f.RenameToPreferred(p), ErrOkay);
	TString leaf;
	HeaderUtil::MessageFilename(leaf, TString("<mixed1@example.org>"));
	EXPECT_EQ(std::string(p.String()), dir.Sub(leaf.String()));
	EXPECT_EQ(ReadFile(p.String()), ReadFile(path));
}

TEST(MessageFile, HostileInputIsSafe)
{
	TempDir dir;
	// A 100 KB header line, binary garbage, an encoded word that never ends, no blank line.
	std::string huge = "Subject: " + std::string(size_t(100) * 1024, 'x') + "\n";
	std::string garbage;
	for (int i = 0; i < 4096; ++i)
		garbage += char((i * 7919) % 255 + 1);
	std::string article = "From: g@example.org\nNewsgroups: alt.test\nMessage-ID: <g@x.org>\n" + huge +
		"X-Garbage: " + garbage.substr(0, 1000) + "\nX-Word: =?UTF-8?B?" + std::string(5000, 'Q') + "\n" +
		"Mime-Version: 1.0\nContent-Type: multipart/mixed; boundary=never\n\n--never\nContent-Type: text/plain\n\n" +
		garbage + "\n";
	std::string path = receive(dir, article);
	MessageHead h = head(path);
	TString t;
	h.HeaderDecode("X-Word", t);
	EXPECT_TRUE(t.Valid());
	EXPECT_EQ(sections(path), (std::vector<std::string>{"text plain @--never"}));

	// A header line cut into pieces where one piece reads as a Lines header: the final count
	// lands where a reader of the file finds it.
	std::string planted = "From: p@example.org\nLines: 2\nX-Long: " + std::string(1992, 'y') +
		"Lines: 7777777\nMessage-ID: <p@x.org>\n\none\ntwo\nthree\n";
	path = receive(dir, planted, kCharsetNone, "p.qmsg");
	h = head(path);
	EXPECT_EQ(h.LinesGet(), 3);
	EXPECT_EQ(h.MessageStateGet(), MessageStateComplete);
	EXPECT_NE(ReadFile(path).find("\nLines: 3      \n"), std::string::npos);

	// Many headers: each is read, memory stays bounded.
	std::string many = "From: h@example.org\n";
	for (int i = 0; i < 200000; ++i)
		many += "X-H" + std::to_string(i) + ": v\n";
	path = receive(dir, many + "\nbody\n", kCharsetNone, "m.qmsg");
	h = head(path);
	EXPECT_EQ(size_t(h.HeaderTotal()), HeaderList::kHeaderMax);

	// Only headers, no blank line, and a file of pure garbage.
	path = dir.Sub("n.qmsg");
	WriteFile(path, "Subject: s\nFrom: x@y.zz");
	EXPECT_EQ(head(path).HeaderTotal(), 2);
	WriteFile(path, garbage);
	MessageHead g;
	Error e = g.HeaderRead(TString(path.c_str()), MessageHead::kLockWait);
	EXPECT_TRUE(e == ErrOkay || e == ErrFileInvalidData) << e;
	MessageFile f;
	TString p(path.c_str());
	e = f.Parse(p, 0, kCharsetNone, MessageHead::kLockWait);
	EXPECT_TRUE(e == ErrOkay || e == ErrFileInvalidData) << e;
}

TEST(MessageFile, MimeYencPartsMatchBySubject)
{
	// yEnc posts that carry MIME-Version are not message/partial: their parts match by sender
	// and subject, as plain ones do.
	TempDir dir;
	auto part = [&](int n, const char* leaf) {
		std::string num = std::to_string(n);
		std::string path = receive(dir,
			"From: Owen <owen@example.com>\nNewsgroups: alt.binaries.test\nSubject: \"pic.png\" yEnc (" +
				num + "/2)\nMessage-ID: <part" + num +
				"@example.com>\nMime-Version: 1.0\nContent-Type: text/plain; charset=us-ascii\n\n=ybegin part=" +
				num + " total=2 line=128 size=4 name=pic.png\n=ypart begin=" +
				(n == 1 ? "1 end=2" : "3 end=4") + "\nxx\n=yend size=2 part=" + num + " pcrc32=1234abcd\n",
			kCharsetNone, leaf);
		TString base;
		long x = 0, y = 0;
		head(path).AttrAttachmentPart(base, x, y);
		EXPECT_EQ(x, n);
		EXPECT_EQ(y, 2);
		return std::string(base.String());
	};
	std::string first = part(1, "m1.qmsg");
	EXPECT_NE(first.find("pic.png"), std::string::npos);
	EXPECT_EQ(part(2, "m2.qmsg"), first);
}

// The Lines and state values are put in while the article's file is still open, where the
// header block was followed as written: they must land exactly where reading the file back
// finds them, also after long folded lines, with a body beyond the write buffer, and for a
// header line that reads back as two (the block is then read back instead).
TEST(MessageFile, ReceivedValuesLandWhereTheHeaderReadsThem)
{
	TempDir dir;
	std::string body;
	for (int i = 0; i < 3000; ++i)
		body += "body line " + std::to_string(i) + " with some text to fill the buffer\n";
	struct Case {
		const char* name;
		std::string head;
	} cases[] = {
		{"plain", "From: a@example.org\nSubject: s\nLines: 2\nMessage-ID: <p@x>\n"},
		{"long",
			"From: a@example.org\nX-Long: " + std::string(4500, 'y') + "\nLines: 2\nMessage-ID: <l@x>\n"},
		{"carriage", "From: a@example.org\nSubject: one\rLines: 77\nLines: 2\nMessage-ID: <c@x>\n"},
	};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		std::string path = dir.Sub(std::string(c.name) + ".qmsg");
		MessageFile f;
		ASSERT_EQ(f.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0), ErrOkay);
		std::istringstream in(c.head + "\n" + body);
		std::string line;
		while (std::getline(in, line)) {
			TString t;
			t.AllowInvalidSet(true);
			t.AppendByte(line.data(), long(line.size()));
			ASSERT_EQ(f.LineAppend(t), ErrOkay);
		}
		ASSERT_EQ(f.DownloadClose(kCharsetNone), ErrOkay);
		std::string stored = ReadFile(path);
		MessageHead h = head(path);
		EXPECT_EQ(h.LinesGet(), 3000);
		EXPECT_EQ(h.MessageStateGet(), MessageStateComplete);
		EXPECT_EQ(h.MessageDownloadGet(), MessageDownloadComplete);
		// Writing the same values again through a read-back finds nothing to change.
		ASSERT_EQ(f.StateWrite(TString(path.c_str())), ErrOkay);
		EXPECT_EQ(ReadFile(path), stored);
		EXPECT_NE(stored.find("body line 2999 with"), std::string::npos);
	}
}
