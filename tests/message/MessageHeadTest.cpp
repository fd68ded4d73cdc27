// Header blocks: reading with folding, duplicates and bad lines, the derived attributes, the
// order and folding of writing, a write-then-read round trip, and the in-place updates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MessageHead.h"
#include "NetName.h"
#include "TestSupport.h"
#include "TextFile.h"

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

std::string value(const HeaderList& h, const char* name)
{
	TString v;
	return h.HeaderGet(name, v) ? std::string(v.String()) : std::string("(missing)");
}

Error readText(MessageHead& head, const TempDir& dir, const std::string& text)
{
	std::string path = dir.Sub("m.qmsg");
	WriteFile(path, text);
	return head.HeaderRead(TString(path.c_str()), MessageHead::kLockWait);
}

}  // namespace

TEST(MessageHead, ReadsFoldedRepeatedAndBadLines)
{
	TempDir dir;
	MessageHead h;
	// 2001 characters over two folded lines.
	std::string longValue = std::string(1000, 'v') + "\r\n " + std::string(1000, 'w');
	std::string longName(61, 'N');
	ASSERT_EQ(readText(h, dir,
				  "Path: news.example.net!not-for-mail\r\n"
				  "Subject: hello\r\n"
				  " world\r\n"
				  "X-Tab: a\r\n"
				  "\tb\r\n"
				  "subject: second wins\r\n"
				  "Empty:\r\n"
				  "X-Long: " +
					  longValue + "\r\n" + longName +
					  ": x\r\n"
					  "Newsgroups: alt.test\r\n"
					  "\r\n"
					  "Body: not a header\r\n"),
		ErrOkay);
	EXPECT_EQ(value(h, "SUBJECT"), "second wins");
	EXPECT_EQ(value(h, "X-Tab"), "a\tb");
	EXPECT_EQ(value(h, "Empty"), "(missing)");
	EXPECT_EQ(value(h, "X-Long"), "(missing)");
	EXPECT_EQ(value(h, "Body"), "(missing)");
	EXPECT_EQ(h.GoodCount(), 5);
	EXPECT_EQ(h.BadCount(), 3);
	EXPECT_EQ(h.MessageTypeGet(), MessageTypeUsenet);
	EXPECT_STREQ(h.LeafGet().String(), "m.qmsg");

	ASSERT_EQ(readText(h, dir, "Subject: hello\n world\n\n"), ErrOkay);
	EXPECT_EQ(value(h, "Subject"), "hello world");

	EXPECT_EQ(readText(h, dir, "not a header\nnor this\nnor this one\n\nbody\n"), ErrFileInvalidData);
	EXPECT_EQ(readText(h, dir, "not a header\nnor this\n\nbody\n"), ErrOkay);
	EXPECT_EQ(h.HeaderTotal(), 0);
	// A block that never ends is read to the end of the file.
	EXPECT_EQ(readText(h, dir, "Subject: s\nFrom: a@b.cd"), ErrOkay);
	EXPECT_EQ(value(h, "From"), "a@b.cd");
}

TEST(MessageHead, DerivesAttributes)
{
	TempDir dir;
	MessageHead h;
	ASSERT_EQ(readText(h, dir,
				  "From: =?ISO-8859-1?Q?J=F6rg_M=FCller?= <joerg@example.de>\n"
				  "Subject: =?UTF-8?B?w5xiZXJzaWNodA==?= (1/3)\n"
				  "Date: Tue, 03 Mar 2026 10:15:00 +0100\n"
				  "References: <a@x.org> stray <b@x.org>\n"
				  "Lines: 1234567\n"
				  "Mime-Version: 1.0\n"
				  "Content-Type: multipart/mixed; boundary=\"=-=-=\"\n"
				  "Content-Transfer-Encoding: QUOTED-PRINTABLE\n"
				  "User-Agent: Gnus/5.13\n"
				  "To: someone@example.org\n"
				  "\n"),
		ErrOkay);
	TString t;
	h.AttrAuthor(t);
	EXPECT_STREQ(t.String(),
		"J\xC3\xB6rg M\xC3\xBC"
		"ller");
	h.AttrEmail(t);
	EXPECT_STREQ(t.String(), "joerg@example.de");
	h.AttrSubject(t);
	EXPECT_STREQ(t.String(),
		"\xC3\x9C"
		"bersicht (1/3)");
	h.AttrUserAgent(t);
	EXPECT_STREQ(t.String(), "Gnus/5.13");
	EXPECT_EQ(h.AttrDate(), 1772529300LL * 1000000LL);
	EXPECT_EQ(h.RefCount(), 2);
	EXPECT_TRUE(h.RefAt(1, t));
	EXPECT_STREQ(t.String(), "<b@x.org>");
	EXPECT_FALSE(h.RefAt(2, t));
	EXPECT_EQ(h.LinesGet(), 1);
	EXPECT_EQ(h.ContentTypeGet(), ContentTypeMultipart);
	EXPECT_EQ(h.ContentEncodingSect(), MsgSectQuotPrint);
	EXPECT_EQ(h.MessageTypeGet(), MessageTypeEmail);
	bool isEnd = true;
	EXPECT_TRUE(h.boundFind(TString("--=-=-="), isEnd));
	EXPECT_FALSE(isEnd);
	EXPECT_TRUE(h.boundFind(TString("--=-=-=--"), isEnd));
	EXPECT_TRUE(isEnd);
	EXPECT_FALSE(h.boundFind(TString("-=-=-="), isEnd));
	// Without a charset anywhere, 8-bit bytes are read as ISO-8859-1.
	EXPECT_EQ(h.CharsetForceGet(), kCharsetISO8859_1);
	h.CharsetSuggest(kCharsetKOI8R);
	EXPECT_EQ(h.CharsetForceGet(), kCharsetKOI8R);
}

TEST(MessageHead, SplitsFromValues)
{
	struct Case {
		const char* from;
		const char* name;
		const char* address;
	} cases[] = {
		{"John Doe <john@example.com>", "John Doe", "john@example.com"},
		{"john@example.com (John Doe)", "John Doe", "john@example.com"},
		{"<john@example.com>", "john@example.com", "john@example.com"},
		{"\"Doe, John\" <john@example.com>", "Doe, John", "john@example.com"},
		{"john@example.com", "john@example.com", "john@example.com"},
		{"Just A Name", "Just A Name", "<None>"},
		{"", "<None>", "<None>"},
		{"O\\'Brien \"Pat\" pat@example.ie", "O'Brien \"Pat\"", "pat@example.ie"},
	};
	for (const Case& c : cases) {
		TString name, address;
		HeaderAttr::ParseFrom(TString(c.from), name, address);
		EXPECT_STREQ(name.String(), c.name) << c.from;
		EXPECT_STREQ(address.String(), c.address) << c.from;
	}
}

TEST(MessageHead, WritesInOrderFoldedAndReadsBack)
{
	TempDir dir;
	MessageHead h;
	h.MessageTypeSet('U');
	h.MessageStateSet('C');
	h.MessageReadSet('U');
	h.MessageAttachSet('N');
	h.MessageDownloadSet('C');
	h.CharsetForceSet(kCharsetKOI8R);
	h.LinesSet(42);
	std::string subject(60, 's');
	subject += " " + std::string(39, 't');
	for (const char* name :
		{"X-Foo", "x-bar", "References", "Newsgroups", "Message-ID", "To", "Subject", "From", "Date"})
		h.HeaderSet(name, TString(name[0] == 'S' ? subject.c_str() : name[0] == 'M' ? "<id@x.org>" : "v"));
	std::string path = dir.Sub("w.qmsg");
	ASSERT_EQ(h.HeaderWrite(TString(path.c_str()), 0), ErrOkay);
	std::string text = ReadFile(path);
	EXPECT_EQ(text,
		"Date: v\n"
		"From: v\n"
		"Subject: " +
			std::string(60, 's') +
			"\n"
			" " +
			std::string(39, 't') +
			"\n"
			"To: v\n"
			"Message-ID: <id@x.org>\n"
			"Newsgroups: v\n"
			"References: v\n"
			"Lines: 42    \n"
			"Content-Type: text/plain; charset=KOI8-R\n"
			"Content-Transfer-Encoding: 8bit\n"
			"X-Quillfern-State: UCNUCRxxxx\n"
			"x-bar: v\n"
			"X-Foo: v\n"
			"\n");

	MessageHead back;
	ASSERT_EQ(back.HeaderRead(TString(path.c_str()), MessageHead::kLockWait), ErrOkay);
	MessageData a, b;
	h.AttrMessageData(a);
	back.AttrMessageData(b);
	EXPECT_EQ(a, b);
	EXPECT_EQ(back.LinesGet(), 42);
	EXPECT_EQ(value(back, "Subject"), subject.substr(0, 60) + " " + subject.substr(61));
	EXPECT_GE(back.LinesOffsetGet(), 0);
	EXPECT_GE(back.StateOffsetGet(), 0);
}

TEST(MessageHead, EncodedSubjectFoldsAfterItsFirstWord)
{
	// A subject whose encoded words are each too long to follow "Subject: " on one line: the
	// first word still stays on the header's first line, and the value reads back unchanged.
	TempDir dir;
	MessageHead h;
	h.CharsetForceSet(kCharsetUTF8);
	std::string subject;
	for (int i = 0; i < 6; i++)
		subject += std::string(i ? " " : "") +
			"\xC3\x9C\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC"
			"berl\xC3\xA4ngen\xE2\x80\x94\xE6\x97\xA5\xE6\x9C\xAC";
	h.HeaderEncode(kHeaderSubject, TString(subject.c_str()));
	h.HeaderSet(kHeaderMessageID, TString("<fold@x.org>"));
	std::string path = dir.Sub("f.qmsg");
	ASSERT_EQ(h.HeaderWrite(TString(path.c_str()), 0), ErrOkay);
	std::string text = ReadFile(path);
	size_t at = text.find("Subject:");
	ASSERT_NE(at, std::string::npos);
	EXPECT_EQ(text.compare(at, 12, "Subject: =?U"), 0) << text;
	EXPECT_NE(text.find("?=\n =?", at), std::string::npos) << text;
	MessageHead back;
	ASSERT_EQ(back.HeaderRead(TString(path.c_str()), MessageHead::kLockWait), ErrOkay);
	TString decoded;
	back.AttrSubject(decoded);
	EXPECT_EQ(std::string(decoded.String()), subject);
}

TEST(MessageHead, StateWriteKeepsTheFileLength)
{
	TempDir dir;
	std::string path = dir.Sub("s.qmsg");
	std::string head =
		"Subject: s\nLines: 7     \nX-Quillfern-State: UHNUNRabcd\nMessage-ID: <s@x>\n\nbody\n";
	WriteFile(path, head);
	MessageHead h;
	ASSERT_EQ(h.HeaderRead(TString(path.c_str()), MessageHead::kLockWait), ErrOkay);
	h.LinesSet(123456);
	h.MessageStateSet('C');
	h.MessageDownloadSet('C');
	ASSERT_EQ(h.StateWrite(TString(path.c_str())), ErrOkay);
	std::string after = ReadFile(path);
	EXPECT_EQ(after, "Subject: s\nLines: 123456\nX-Quillfern-State: UCNUCRabcd\nMessage-ID: <s@x>\n\nbody\n");
	// A count longer than the room left is written as the largest that fits.
	h.LinesSet(12345678);
	ASSERT_EQ(h.StateWrite(TString(path.c_str())), ErrOkay);
	EXPECT_NE(ReadFile(path).find("Lines: 999999\n"), std::string::npos);

	// A damaged state value is refused and the file left as it was.
	std::string bad = "Subject: s\nLines: 7     \nX-Quillfern-State: UHNUNRabc  x\n\n";
	WriteFile(path, "Subject: s\nLines: 7     \nX-Quillfern-State: UHNUNRabc\n\n");
	ASSERT_EQ(h.HeaderRead(TString(path.c_str()), MessageHead::kLockWait), ErrOkay);
	EXPECT_EQ(h.StateWrite(TString(path.c_str())), ErrOkay);  // too short a line: no offset known
	WriteFile(path, bad);
	ASSERT_EQ(h.HeaderRead(TString(path.c_str()), MessageHead::kLockWait), ErrOkay);
	h.LinesSet(99);
	EXPECT_EQ(h.StateWrite(TString(path.c_str())), ErrFileInvalidData);
	EXPECT_EQ(ReadFile(path), bad);
}

TEST(MessageHead, DownloadDropsPrivateHeadersAndPadsLines)
{
	MessageHead h;
	h.downloadOpen(MessageTypeUsenet);
	std::vector<std::string> kept;
	for (const char* l : {"Subject: s", "X-Quillfern-State: CCNRCU", " continued", "Lines: 42",
			 "x-quillfern-section: 1", "Newsgroups: a.b"}) {
		TString line(l);
		if (h.headLineAppend(line))
			kept.push_back(line.String());
	}
	h.downloadClose();
	EXPECT_EQ(kept, (std::vector<std::string>{"Subject: s", "Lines: 42    ", "Newsgroups: a.b"}));
	EXPECT_EQ(h.MessageStateGet(), MessageStateHeaders);
	EXPECT_EQ(h.MessageReadGet(), MessageReadUnread);
	EXPECT_EQ(h.LinesGet(), 42);
	EXPECT_EQ(h.sectCount(), 0);
}

TEST(MessageHead, TableAndHeaderEdits)
{
	HeaderList h;
	h.HeaderSet("Path", TString("a!b"));
	h.HeaderSet("Xref", TString("x 1"));
	h.RemoveNonDisplayHeaders();
	EXPECT_EQ(h.HeaderTotal(), 1);
	EXPECT_EQ(value(h, "Subject"), "<None>");
	EXPECT_EQ(HeaderList::infoSort(TString("newsgroups")), 6);
	EXPECT_EQ(HeaderList::infoSort(TString("X-Unknown")), -1);
	EXPECT_TRUE(HeaderList::infoCustom(TString("x-quillfern-leaf")));
	EXPECT_FALSE(HeaderList::infoCustom(TString("X-Program-URL")));
	EXPECT_EQ(HeaderList::infoFind(HeaderName(18)), nullptr);
	// A million different names cannot grow the list without end.
	for (int i = 0; i < 5000; ++i)
		h.HeaderSet(("X-H" + std::to_string(i)).c_str(), TString("v"));
	EXPECT_EQ(size_t(h.HeaderTotal()), HeaderList::kHeaderMax);
	EXPECT_TRUE(h.HeaderSet("Subject", TString("still replaced")));
	EXPECT_EQ(value(h, "Subject"), "still replaced");
}

TEST(MessageHead, DownloadFixupAndStateString)
{
	MessageHead h;
	h.MessageTypeSet('U');
	h.MessageStateSet('H');
	h.MessageDownloadSet('N');
	h.MessageDownloadSetFixup('R');
	EXPECT_EQ(h.MessageDownloadGet(), MessageDownloadMarked);
	h.MessageDownloadSetFixup('N');
	EXPECT_EQ(h.MessageDownloadGet(), MessageDownloadNone);
	h.MessageDownloadSet('F');
	h.MessageDownloadSetFixup('R');
	EXPECT_EQ(h.MessageDownloadGet(), MessageDownloadFailed);
	h.MessageReadSet('Q');
	EXPECT_EQ(h.MessageReadGet(), MessageReadUnknown);

	MessageData d;
	MessageData::FromString(d, TString("EC"));
	EXPECT_EQ(d.type, MessageTypeEmail);
	EXPECT_EQ(d.state, MessageStateComplete);
	EXPECT_EQ(d.attach, MessageAttachUnknown);
	EXPECT_EQ(d.charset, kCharsetNone);
	TString s;
	MessageData::ToString(d, s);
	EXPECT_STREQ(s.String(), "ECxxxxxxxx");
}
