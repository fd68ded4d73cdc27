// Header nodes: built from real header blocks, written as cache records and read back; the
// exact record text and what makes a record yield no node; line breaks inside values; the
// state letters; threads, unread display and sorting of children.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HeadersNode.h"
#include "MessageHead.h"
#include "TestSupport.h"

using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

std::string str(const TString& t)
{
	return std::string(t.String(), static_cast<size_t>(t.ByteLength()));
}

std::string opt(const HeadersNode::Text& t)
{
	return t ? str(*t) : std::string("(absent)");
}

TString ts(const std::string& s)
{
	TString t;
	t.AllowInvalidSet(true);
	t.AssignByte(s.data(), static_cast<long>(s.size()));
	return t;
}

std::string record(const HeadersNode& n)
{
	TString out;
	n.stringWrite(out);
	return str(out);
}

void expectSame(const HeadersNode& a, const HeadersNode& b)
{
	EXPECT_EQ(a.fMsgID, b.fMsgID);
	EXPECT_EQ(opt(a.fAuthor), opt(b.fAuthor));
	EXPECT_EQ(opt(a.fEmail), opt(b.fEmail));
	EXPECT_EQ(opt(a.fFilename), opt(b.fFilename));
	EXPECT_EQ(opt(a.fNewsgroupsTo), opt(b.fNewsgroupsTo));
	EXPECT_EQ(opt(a.fSubject), opt(b.fSubject));
	EXPECT_EQ(opt(a.fUserAgent), opt(b.fUserAgent));
	EXPECT_EQ(a.fData, b.fData);
	EXPECT_EQ(a.fCharset, b.fCharset);
	EXPECT_EQ(a.fDateTime, b.fDateTime);
	EXPECT_EQ(a.fLines, b.fLines);
	EXPECT_EQ(a.fPartNumber, b.fPartNumber);
	EXPECT_EQ(a.fPartTotal, b.fPartTotal);
	EXPECT_EQ(a.fRefList, b.fRefList);
}

const char* const kArticles[] = {
	"Path: news.example.net!not-for-mail\n"
	"From: Anna Andersson <anna@example.org>\n"
	"Newsgroups: comp.lang.c++,comp.os.linux.misc\n"
	"Subject: Re: build fails on ARM\n"
	"Date: Sat, 05 Dec 2026 14:03:11 +0100\n"
	"Message-ID: <ukq3a1$2f7$1@dont-email.me>\n"
	"References: <root.1@example.com> <mid.2@example.com>\n"
	" <ukp9z$1@dont-email.me>\n"
	"Lines: 42\n"
	"User-Agent: tin/2.6.2 (UNIX) (Linux/6.1.0 (x86_64))\n"
	"\n"
	"body\n",
	"From: =?ISO-8859-1?Q?J=F6rg_M=FCller?= <joerg@example.de>\n"
	"Newsgroups: de.comp.lang.c\n"
	"Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=\n"
	"Date: 1 Dec 2026 08:00:00 GMT\n"
	"Message-ID: <87h6x2b@gnus.example>\n"
	"X-Newsreader: Forte Agent 8.00/32.1186\n"
	"\n",
	"From: bert@mail.example.net\n"
	"To: Carla Castillo <carla@example.com>\n"
	"Subject: weekend\n"
	"Message-ID: <mail.77@mail.example.net>\n"
	"\n",
};

}  // namespace

TEST(HeadersNode, RealHeadersRoundTripThroughTheRecordText)
{
	TempDir dir;
	for (const char* article : kArticles) {
		SCOPED_TRACE(article);
		std::string path = dir.Sub("m.qmsg");
		WriteFile(path, article);
		MessageHead head;
		ASSERT_EQ(head.HeaderRead(ts(path), MessageHead::kLockWait), ErrOkay);
		HeadersNodePtr node = HeadersNode::initWithHeader(head);
		ASSERT_TRUE(node);
		std::string text = record(*node);
		HeadersNodePtr back = HeadersNode::initWithMsgID(node->fMsgID, ts(text));
		ASSERT_TRUE(back);
		expectSame(*node, *back);
		EXPECT_EQ(record(*back), text);
	}

	std::string path = dir.Sub("first.qmsg");
	WriteFile(path, kArticles[0]);
	MessageHead head;
	ASSERT_EQ(head.HeaderRead(ts(path), MessageHead::kLockWait), ErrOkay);
	HeadersNodePtr n = HeadersNode::initWithHeader(head);
	EXPECT_EQ(str(n->fMsgID), "<ukq3a1$2f7$1@dont-email.me>");
	EXPECT_EQ(opt(n->fAuthor), "Anna Andersson");
	EXPECT_EQ(opt(n->fEmail), "anna@example.org");
	EXPECT_EQ(opt(n->fFilename), "first.qmsg");
	EXPECT_EQ(opt(n->fSubject), "Re: build fails on ARM");
	EXPECT_EQ(n->fLines, 42);
	EXPECT_EQ(n->fDateTime, 1796475791000000LL);
	ASSERT_EQ(n->refCount(), 3);
	EXPECT_EQ(str(*n->refAt(2)), "<ukp9z$1@dont-email.me>");
	EXPECT_EQ(n->refAt(3), nullptr);
	EXPECT_EQ(str(n->threadID()), "<root.1@example.com>");
	EXPECT_EQ(n->fData.type, MessageTypeUsenet);

	WriteFile(path, kArticles[1]);
	ASSERT_EQ(head.HeaderRead(ts(path), MessageHead::kLockWait), ErrOkay);
	n = HeadersNode::initWithHeader(head);
	EXPECT_EQ(opt(n->fAuthor), "J\xC3\xB6rg M\xC3\xBCller");
	EXPECT_EQ(opt(n->fSubject),
		"Gr\xC3\xBC\xC3\x9F"
		"e aus K\xC3\xB6ln");
	EXPECT_EQ(str(n->threadID()), "<87h6x2b@gnus.example>");
}

TEST(HeadersNode, RecordTextLayoutAndWhatYieldsNoNode)
{
	const std::string text =
		"UCAUR1xxxx\nISO-8859-1\n-5\n3100\nBert Dubois\nbert@example.net\n0f1e.msg\nalt.binaries.misc\n"
		"photos (3/12)\nForte Agent 8.00\n0f1e2d3c\n3/12\n<a@b>\n<c@d>\n";
	HeadersNodePtr n = HeadersNode::initWithMsgID(ts("<p3@x>"), ts(text));
	ASSERT_TRUE(n);
	EXPECT_EQ(n->fData.state, MessageStateComplete);
	EXPECT_EQ(n->fData.attach, MessageAttachFirst);
	EXPECT_EQ(n->fData.read, MessageReadUnread);
	EXPECT_EQ(n->fData.download, MessageDownloadMarked);
	EXPECT_EQ(n->fDateTime, -5);
	EXPECT_EQ(n->fPartNumber, 3);
	EXPECT_EQ(n->fPartTotal, 12);
	EXPECT_EQ(str(n->fCharsetStr), "ISO-8859-1");
	EXPECT_EQ(n->refCount(), 2);
	std::string written = record(*n);
	EXPECT_EQ(written.substr(0, 5), text.substr(0, 5));
	EXPECT_EQ(written.substr(10), text.substr(10));

	// One line at a time made empty: four of them are required, three are not.
	auto without = [&](int line, const std::string& with) {
		std::vector<std::string> lines;
		size_t at = 0;
		for (size_t lf; (lf = text.find('\n', at)) != std::string::npos; at = lf + 1)
			lines.push_back(text.substr(at, lf - at));
		lines[static_cast<size_t>(line)] = with;
		std::string t;
		for (const auto& l : lines)
			t += l + "\n";
		return HeadersNode::initWithMsgID(ts("<m@x>"), ts(t));
	};
	for (int required : {4, 6, 8, 9}) {
		EXPECT_FALSE(without(required, "")) << required;
		EXPECT_FALSE(without(required, "bad \xFF utf-8")) << required;
	}
	for (int optional : {5, 7, 10})
		EXPECT_TRUE(without(optional, "")) << optional;
	// Unknown letters read as unknown; the references end at the first empty line.
	HeadersNodePtr odd = without(0, "QQQQQ");
	ASSERT_TRUE(odd);
	EXPECT_EQ(record(*odd).substr(0, 5), "xxxxx");
	HeadersNodePtr cut = without(12, "");
	ASSERT_TRUE(cut);
	EXPECT_EQ(cut->refCount(), 0);
	EXPECT_FALSE(HeadersNode::initWithMsgID(ts("<m@x>"), ts("")));
	EXPECT_FALSE(HeadersNode::initWithMsgID(ts("<m@x>"), ts("UHNUN0xxxx\nUTF-8\n1\n2\na\n")));
}

TEST(HeadersNode, LineBreaksInValuesCannotShiftTheFields)
{
	HeadersNodePtr n = HeadersNode::initWithMsgID(ts("<lf@x>"));
	n->fAuthor = ts("Eve\nEvil");
	n->fFilename = ts("f.msg");
	n->fSubject = ts("line one\r\nline two");
	n->fUserAgent = ts("agent");
	n->fRefList = {ts("<r1@x>"), ts("<inject\n@x>")};
	HeadersNodePtr back = HeadersNode::initWithMsgID(n->fMsgID, ts(record(*n)));
	ASSERT_TRUE(back);
	EXPECT_EQ(opt(back->fAuthor), "Eve Evil");
	EXPECT_EQ(opt(back->fSubject), "line one  line two");
	EXPECT_EQ(opt(back->fUserAgent), "agent");
	ASSERT_EQ(back->refCount(), 2);
	EXPECT_EQ(str(*back->refAt(1)), "<inject @x>");
}

TEST(HeadersNode, StateLetters)
{
	HeadersNodePtr n = HeadersNode::initWithMsgID(ts("<s@x>"));
	n->fData.type = MessageTypeUsenet;
	n->fData.state = MessageStateHeaders;
	n->fData.download = MessageDownloadNone;
	n->markSet(true);
	EXPECT_TRUE(n->markGet());
	EXPECT_TRUE(n->bodyDownload());
	EXPECT_TRUE(n->autoMarkChange());
	n->markSet(false);
	EXPECT_EQ(n->fData.download, MessageDownloadNone);
	n->fData.download = MessageDownloadComplete;
	n->markSet(true);
	EXPECT_EQ(n->fData.download, MessageDownloadComplete);
	EXPECT_FALSE(n->bodyDownload());
	n->fData.state = MessageStateComplete;
	EXPECT_TRUE(n->hasBody());
	EXPECT_FALSE(n->autoMarkChange());
	n->unreadSet(true);
	EXPECT_EQ(n->fData.read, MessageReadUnread);
	n->unreadSet(false);
	EXPECT_FALSE(n->unreadGet());

	TString letter;
	n->fData.attach = MessageAttachSecondary;
	n->attachString(letter);
	EXPECT_EQ(str(letter), "S");
}

TEST(HeadersNode, ThreadsUnreadDisplayAndSorting)
{
	auto node = [](const char* id, bool unread) {
		HeadersNodePtr n = HeadersNode::initWithMsgID(ts(id));
		n->unreadSet(unread);
		return n;
	};
	HeadersNodePtr root = node("<r@x>", false), mid = node("<m@x>", false), leaf = node("<l@x>", true);
	root->childAdd(mid);
	mid->childAdd(leaf);
	EXPECT_EQ(leaf->parent(), mid.get());
	EXPECT_EQ(root->childFind(ts("<m@x>")), mid.get());
	// Collapsed, the unread grandchild shows through; an expanded node shows only itself,
	// and its collapsed child takes over.
	EXPECT_TRUE(root->unreadDisplay());
	root->fExpanded = true;
	EXPECT_FALSE(root->unreadDisplay());
	EXPECT_TRUE(mid->unreadDisplay());
	mid->fExpanded = true;
	EXPECT_FALSE(mid->unreadDisplay());
	root->fExpanded = false;
	EXPECT_TRUE(mid->unreadDisplay());  // an ancestor is collapsed
	EXPECT_TRUE(leaf->unreadDisplay());
	EXPECT_TRUE(mid->childDel(leaf.get()));
	EXPECT_EQ(leaf->parent(), nullptr);
	EXPECT_FALSE(mid->childDel(leaf.get()));

	HeadersNodePtr a = node("<a@x>", false), s = node("<s@x>", false), none = node("<n@x>", false);
	a->fData.attach = MessageAttachFirst;
	s->fData.attach = MessageAttachSecondary;
	none->fData.attach = MessageAttachNone;
	HeadersNodePtr parent = node("<p@x>", false);
	for (const auto& c : {none, s, a})
		parent->childAdd(c);
	EFSortInfo view{HeadersNode::compareAttachView, true};
	parent->childSort(view);
	EXPECT_EQ(parent->childAtIndex(0), a.get());
	EXPECT_EQ(parent->childAtIndex(1), s.get());
	EXPECT_EQ(parent->childAtIndex(2), none.get());
	// The same sort again is skipped; a reversed one reorders.
	std::swap(parent->fChildList[0], parent->fChildList[2]);
	parent->childSort(view);
	EXPECT_EQ(parent->childAtIndex(0), none.get());
	parent->childSort({HeadersNode::compareMsgID, false});
	EXPECT_EQ(parent->childAtIndex(0), s.get());
	EXPECT_EQ(parent->childAtIndex(2), a.get());
	parent->childDelAll();
	EXPECT_EQ(a->parent(), nullptr);
}
