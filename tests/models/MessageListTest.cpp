// Message lists: thread shapes of real-world References chains against drawn expectations
// (missing, late and looping parents, multi-part postings), flat and threaded sorts by every
// column both ways, single additions and deletions against a full re-read, and reading a
// directory's cache with its filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Database.h"
#include "MdirReader.h"
#include "MessageList.h"
#include "Notify.h"
#include "StoragePath.h"
#include "TestSupport.h"
#include "ThreadMngr.h"

using TestSupport::TempDir;

namespace {

struct Posting {
	Posting(std::string i, std::vector<std::string> r = {}, int64_t d = 0, std::string s = "Subject",
		std::string a = "Author", std::string at = "", int p = 0, int t = 0, bool u = true)
		: id(std::move(i)), refs(std::move(r)), date(d), subject(std::move(s)), author(std::move(a)),
		  attach(std::move(at)), part(p), total(t), unread(u)
	{}
	std::string id;  // without the angle brackets and domain
	std::vector<std::string> refs;
	int64_t date;
	std::string subject;
	std::string author;
	std::string attach;
	int part, total;
	bool unread;
};

TString mid(const std::string& id)
{
	return TString(("<" + id + "@example.org>").c_str());
}

std::string shortId(const TString& msgid)
{
	std::string s(msgid.String());
	return s.substr(1, s.find('@') - 1);
}

HeadersNodePtr node(const Posting& s)
{
	HeadersNodePtr n = HeadersNode::initWithMsgID(mid(s.id));
	for (const std::string& r : s.refs)
		n->fRefList.push_back(mid(r));
	n->fDateTime = s.date;
	n->fSubject = TString(s.subject.c_str());
	n->fAuthor = TString(s.author.c_str());
	n->fEmail = TString((s.author + "@example.org").c_str());
	n->fFilename = TString((s.id + ".msg").c_str());
	n->fUserAgent = TString("agent");
	n->fNewsgroupsTo = TString("alt.test");
	if (!s.attach.empty())
		n->fAttachID = TString(s.attach.c_str());
	n->fPartNumber = s.part;
	n->fPartTotal = s.total;
	n->fData.type = MessageTypeUsenet;
	n->fData.state = MessageStateComplete;
	n->unreadSet(s.unread);
	return n;
}

bool idLess(const HeadersNodePtr& a, const HeadersNodePtr& b)
{
	return a->fMsgID.Compare(b->fMsgID) < 0;
}

// The lists as a read leaves them.
struct Lists {
	NodeList byId, attach, display;
};

Lists build(const std::vector<Posting>& postings, EFSortInfo sort, bool threaded)
{
	Lists l;
	for (const Posting& s : postings) {
		HeadersNodePtr n = node(s);
		l.byId.push_back(n);
		if (n->fPartTotal > 1)
			l.attach.push_back(n);
	}
	std::sort(l.byId.begin(), l.byId.end(), idLess);
	std::sort(l.attach.begin(), l.attach.end(), [](const HeadersNodePtr& a, const HeadersNodePtr& b) {
		int c = HeadersNode::compareAttach(*a, *b);
		if (c != 0)
			return c < 0;
		return a->fPartTotal != b->fPartTotal ? a->fPartTotal < b->fPartTotal : idLess(a, b);
	});
	l.display = MessageList::ThreadAndSort(l.byId, l.attach, sort, threaded);
	return l;
}

// A tree drawn as "a(b c(d)) e": top level in display order, children by message-id.
std::string draw(const HeadersNode& n)
{
	std::string out = shortId(n.fMsgID);
	if (n.childCount() == 0)
		return out;
	std::vector<std::string> kids;
	for (long i = 0; i < n.childCount(); i++) {
		EXPECT_EQ(n.childAtIndex(i)->parent(), &n);
		kids.push_back(draw(*n.childAtIndex(i)));
	}
	std::sort(kids.begin(), kids.end());
	out += "(";
	for (size_t i = 0; i < kids.size(); i++)
		out += (i ? " " : "") + kids[i];
	return out + ")";
}

std::string draw(const NodeList& display)
{
	std::string out;
	for (const HeadersNodePtr& n : display) {
		EXPECT_EQ(n->parent(), nullptr);
		out += (out.empty() ? "" : " ") + draw(*n);
	}
	return out;
}

long counted(const NodeList& display)
{
	long total = 0;
	std::vector<HeadersNode*> stack;
	for (const HeadersNodePtr& n : display)
		stack.push_back(n.get());
	while (!stack.empty()) {
		HeadersNode* n = stack.back();
		stack.pop_back();
		total++;
		for (long i = 0; i < n->childCount(); i++)
			stack.push_back(n->childAtIndex(i));
	}
	return total;
}

const EFSortInfo kByDate{HeadersNode::compareDate, true};

std::string threaded(const std::vector<Posting>& postings, EFSortInfo sort = kByDate)
{
	Lists l = build(postings, sort, true);
	EXPECT_EQ(counted(l.display), static_cast<long>(postings.size()));
	return draw(l.display);
}

}  // namespace

TEST(MessageListThread, ParentsMissingLateOrBroken)
{
	// A reply whose direct parent never arrived hangs under the nearest ancestor present.
	EXPECT_EQ(threaded({{"a", {}, 1}, {"c", {"a", "b"}, 3}}), "a(c)");
	// Replies listed (and dated) before their parents still hang under them.
	EXPECT_EQ(threaded({{"z", {}, 5}, {"b", {"z"}, 1}, {"a", {"z", "b"}, 2}}), "z(b(a))");
	// References to messages that never arrived leave roots; two such roots with the same first
	// reference stay next to each other although another thread falls between them by date.
	EXPECT_EQ(threaded({{"p", {"gone"}, 1}, {"q", {}, 2}, {"r", {"gone", "x"}, 3}}), "p r q");
	// A reference to itself is no parent; an empty-looking or duplicated chain changes nothing.
	EXPECT_EQ(threaded({{"s", {"s"}, 1}, {"t", {"s", "s"}, 2}}), "s(t)");
}

TEST(MessageListThread, LoopingReferencesKeepEveryMessage)
{
	// Two messages naming each other: the lower message-id is the root, and nothing is lost.
	EXPECT_EQ(threaded({{"a", {"b"}, 1}, {"b", {"a"}, 2}}), "a(b)");
	// A circle of three with a reply hanging off it.
	EXPECT_EQ(threaded({{"m", {"o"}, 1}, {"n", {"m"}, 2}, {"o", {"n"}, 3}, {"r", {"o"}, 4}}), "m(n(o(r)))");
	// The same circle found from a different starting point gives the same tree.
	EXPECT_EQ(threaded({{"o", {"n"}, 1}, {"m", {"o"}, 2}, {"n", {"m"}, 3}, {"r", {"o"}, 4}}), "m(n(o(r)))");
}

TEST(MessageListThread, SubjectsDoNotDecideThreads)
{
	// Replies in several languages thread by their References; a "Re:" subject without them
	// is a root of its own.
	EXPECT_EQ(
		threaded({{"a", {}, 1, "Frage"}, {"b", {"a"}, 2, "AW: Frage"}, {"c", {"a"}, 3, "SV: Frage"},
			{"d", {"a", "c"}, 4, "Odp: Frage"}, {"e", {}, 5, "Re: Frage"}, {"f", {"a"}, 6, "RE: Frage"}}),
		"a(b c(d) f) e");
}

TEST(MessageListThread, MultiPartPostingsHangUnderPartOne)
{
	Posting p1{"p1", {"orig"}, 10, "bin (1/3)", "A", "bin", 1, 3};
	Posting p2{"p2", {"orig"}, 11, "bin (2/3)", "A", "bin", 2, 3};
	Posting p3{"p3", {"other"}, 12, "bin (3/3)", "A", "bin", 3, 3};
	Posting orig{"orig", {}, 1};
	Posting other{"other", {}, 2};
	// Out of order, and part 3 referring elsewhere: still under part 1.
	EXPECT_EQ(threaded({p3, other, p1, orig, p2}), "orig(p1(p2 p3)) other");
	// Without part 1 the parts thread by their References.
	EXPECT_EQ(threaded({p3, other, orig, p2}), "orig(p2) other(p3)");
	// The same identifier with another part total is another posting.
	Posting q2{"q2", {}, 13, "bin (2/4)", "A", "bin", 2, 4};
	EXPECT_EQ(threaded({p1, q2, orig}), "orig(p1) q2");

	Lists l = build({p3, p1, p2, orig}, kByDate, true);
	std::vector<TString> paths;
	HeadersNodePtr first = MessageList::AttachFind(l.attach, TString("bin"), 1, 3);
	ASSERT_TRUE(first);
	EXPECT_TRUE(MessageList::AttachParts(TString("/m"), l.attach, *first, paths));
	ASSERT_EQ(paths.size(), 3u);
	EXPECT_STREQ(paths[2].String(), "/m/p3.msg");
	// A part without its body, or a missing part, makes the set incomplete.
	MessageList::AttachFind(l.attach, TString("bin"), 2, 3)->fData.state = MessageStateHeaders;
	EXPECT_FALSE(MessageList::AttachParts(TString("/m"), l.attach, *first, paths));
	EXPECT_TRUE(paths.empty());
	Lists two = build({p1, p3}, kByDate, true);
	EXPECT_FALSE(MessageList::AttachParts(TString("/m"), two.attach, *two.attach[0], paths));
}

TEST(MessageListSort, EveryColumnBothWays)
{
	std::vector<Posting> postings;
	const char* names[] = {"carol", "Alice", "bob", "alice", "Dave"};
	for (int i = 0; i < 12; i++) {
		Posting s{"m" + std::to_string(i), {}, (i * 7) % 5, "Subj " + std::to_string(i % 4), names[i % 5]};
		if (i % 3 == 0) {
			s.attach = "bin" + std::to_string(i % 2);
			s.part = 1 + i % 4;
			s.total = 4;
		}
		postings.push_back(s);
	}
	using C = EFSortInfo::Compare;
	const C columns[] = {HeadersNode::compareMsgID, HeadersNode::compareThreadID, HeadersNode::compareAttach,
		HeadersNode::compareAttachView, HeadersNode::compareAuthor, HeadersNode::compareEmail,
		HeadersNode::compareNewsgroupsTo, HeadersNode::compareSubject, HeadersNode::compareUserAgent,
		HeadersNode::compareFilename, HeadersNode::compareCharset, HeadersNode::compareLines,
		HeadersNode::compareDate, HeadersNode::comparePlonk};
	for (C column : columns) {
		for (bool up : {true, false}) {
			Lists l = build(postings, EFSortInfo{column, up}, false);
			ASSERT_EQ(l.display.size(), postings.size());
			for (size_t i = 1; i < l.display.size(); i++) {
				int c = column(*l.display[i - 1], *l.display[i]);
				EXPECT_TRUE(up ? c <= 0 : c >= 0) << i;
				// Equal entries come in message-id order, however the list was reached.
				if (c == 0) {
					EXPECT_LT(l.display[i - 1]->fMsgID.Compare(l.display[i]->fMsgID), 0);
				}
			}
		}
	}
}

TEST(MessageListSort, ThreadsOrderByTheirFirstMember)
{
	// The roots of a thread whose first message never arrived (dated 5, 1 and 9) order by
	// their earliest member against thread u (dated 3), and stay together.
	std::vector<Posting> broken = {
		{"a", {"gone"}, 5}, {"b", {"gone", "x"}, 1}, {"u", {}, 3}, {"c", {"gone"}, 9}};
	EXPECT_EQ(threaded(broken), "b a c u");
	EXPECT_EQ(threaded(broken, EFSortInfo{HeadersNode::compareDate, false}), "c a b u");
	EXPECT_EQ(threaded(broken, EFSortInfo{HeadersNode::compareSubject, true}), "a b c u");
}

// Random threads grown and shrunk one message at a time give the same lists as a fresh build.
TEST(MessageListChange, SingleChangesMatchAFullRead)
{
	// --gtest_random_seed=N tries other shapes.
	std::mt19937 rng(16 + static_cast<unsigned>(::testing::UnitTest::GetInstance()->random_seed()));
	for (int round = 0; round < 12; round++) {
		std::vector<Posting> postings;
		for (int i = 0; i < 60; i++) {
			Posting s{"n" + std::to_string(i), {}, static_cast<int64_t>(rng() % 20), "S", "A"};
			if (i > 0 && rng() % 4 != 0) {
				// A chain of ancestors from an earlier message, sometimes with gaps or loops.
				int parent = static_cast<int>(rng() % i);
				s.refs = postings[static_cast<size_t>(parent)].refs;
				s.refs.push_back(postings[static_cast<size_t>(parent)].id);
				if (rng() % 6 == 0)
					s.refs.insert(s.refs.begin() + static_cast<long>(rng() % s.refs.size()), "missing");
				if (rng() % 10 == 0)
					s.refs.push_back("n" + std::to_string(i + 1 + rng() % 5));
			}
			if (rng() % 7 == 0) {
				s.attach = "bin" + std::to_string(rng() % 3);
				s.total = 3;
				s.part = 1 + static_cast<int>(rng() % 3);
			}
			postings.push_back(s);
		}
		std::shuffle(postings.begin(), postings.end(), rng);
		bool thr = round % 3 != 2;
		EFSortInfo sort = round % 2 ? kByDate : EFSortInfo{HeadersNode::compareMsgID, false};

		Lists grown;
		std::vector<HeadersNodePtr> nodes;
		for (size_t i = 0; i < postings.size(); i++) {
			nodes.push_back(node(postings[i]));
			MessageList::NodeAdd(grown.byId, grown.display, grown.attach, {nodes.back()}, sort, thr);
			if (i % 15 == 14 || i + 1 == postings.size()) {
				std::vector<Posting> so_far(postings.begin(), postings.begin() + static_cast<long>(i) + 1);
				Lists fresh = build(so_far, sort, thr);
				ASSERT_EQ(draw(grown.display), draw(fresh.display)) << "round " << round << " after " << i;
				ASSERT_EQ(grown.attach.size(), fresh.attach.size());
			}
		}
		// Now delete in another random order, a few at a time.
		std::vector<size_t> order(postings.size());
		for (size_t i = 0; i < order.size(); i++)
			order[i] = i;
		std::shuffle(order.begin(), order.end(), rng);
		std::vector<bool> gone(postings.size(), false);
		for (size_t k = 0; k < order.size(); k += 3) {
			NodeList del;
			for (size_t j = k; j < std::min(k + 3, order.size()); j++) {
				del.push_back(nodes[order[j]]);
				gone[order[j]] = true;
			}
			MessageList::NodeDel(grown.byId, grown.display, grown.attach, del, sort, thr);
			std::vector<Posting> left;
			for (size_t i = 0; i < postings.size(); i++)
				if (!gone[i])
					left.push_back(postings[i]);
			Lists fresh = build(left, sort, thr);
			ASSERT_EQ(draw(grown.display), draw(fresh.display)) << "round " << round << " deleting " << k;
			ASSERT_EQ(grown.byId.size(), left.size());
			ASSERT_EQ(grown.attach.size(), fresh.attach.size());
		}
	}
}

TEST(MessageListChange, AdditionsReportTheirParents)
{
	Lists l = build({{"b", {"a"}, 2}, {"c", {"a", "b"}, 3}}, kByDate, true);
	EXPECT_EQ(draw(l.display), "b(c)");
	// The missing parent arrives: the earlier root moves under it.
	auto parents = MessageList::NodeAdd(l.byId, l.display, l.attach, {node({"a", {}, 1})}, kByDate, true);
	EXPECT_EQ(draw(l.display), "a(b(c))");
	ASSERT_EQ(parents.size(), 1u);
	EXPECT_EQ(shortId(parents[0]->fMsgID), "a");
	// Deleting it promotes b to a root again.
	MessageList::NodeDel(
		l.byId, l.display, l.attach, {MessageList::MsgIdFind(l.byId, mid("a"))}, kByDate, true);
	EXPECT_EQ(draw(l.display), "b(c)");
	EXPECT_FALSE(MessageList::MsgIdFind(l.byId, mid("a")));
	EXPECT_FALSE(MessageList::MsgIdDelete(l.byId, mid("a")));
}

namespace {

void writeCache(const std::string& mdir, const std::vector<Posting>& postings)
{
	TString path;
	StoragePath::FileCache(TString(mdir.c_str()), path);
	Database db;
	ASSERT_EQ(db.Open(path, 1000000), ErrOkay);
	for (const Posting& s : postings) {
		TString text;
		node(s)->stringWrite(text);
		ASSERT_EQ(db.RecordAppend(mid(s.id), text), ErrOkay);
	}
	// A record that yields no node (no subject line) is passed over.
	ASSERT_EQ(
		db.RecordAppend(mid("bad"), TString("UCNUNxxxxx\nUTF-8\n0\n0\nA\n\nf\n\n\nua\n\n0/0\n")), ErrOkay);
	ASSERT_EQ(db.Close(), ErrOkay);
}

}  // namespace

TEST(MessageListRead, FiltersCountsAndAttachments)
{
	TempDir dir;
	std::vector<Posting> postings = {{"a", {}, 1}, {"b", {"a"}, 2, "Re", "B", "", 0, 0, false},
		{"p1", {}, 3, "bin", "C", "bin", 1, 2, false}, {"p2", {}, 4, "bin", "C", "bin", 2, 2}};
	writeCache(dir.Path(), postings);
	NodeList byId, attach;
	long unread = -1;
	TString mdir(dir.Path().c_str());
	ASSERT_EQ(MessageList::ReadMdir(mdir, byId, attach, false, false, unread), ErrOkay);
	EXPECT_EQ(unread, 2);
	ASSERT_EQ(byId.size(), 2u);
	EXPECT_EQ(shortId(byId[0]->fMsgID), "a");
	EXPECT_EQ(shortId(byId[1]->fMsgID), "p2");
	// Every multi-part message is listed, shown or not, in part order.
	ASSERT_EQ(attach.size(), 2u);
	EXPECT_EQ(attach[0]->fPartNumber, 1);

	ASSERT_EQ(MessageList::ReadMdir(mdir, byId, attach, true, false, unread), ErrOkay);
	EXPECT_EQ(byId.size(), 4u);
	EXPECT_EQ(unread, 2);
	NodeList display = MessageList::ThreadAndSort(byId, attach, kByDate, true);
	EXPECT_EQ(draw(display), "a(b) p1(p2)");

	// A cancelled read leaves nothing behind.
	EXPECT_EQ(
		MessageList::ReadMdir(mdir, byId, attach, true, false, unread, [] { return false; }), ErrGmCancelled);
	EXPECT_TRUE(byId.empty());
	EXPECT_TRUE(attach.empty());
}

TEST(MessageListRead, MissingCacheIsReported)
{
	TempDir dir;
	NodeList byId{node({"x"})}, attach;
	long unread = 5;
	EXPECT_EQ(MessageList::ReadMdir(TString(dir.Path().c_str()), byId, attach, true, false, unread),
		ErrFileNotFound);
	EXPECT_TRUE(byId.empty());
	EXPECT_EQ(unread, 0);
}

// ---- the background reader ----

namespace {

// Keeps every hand-over of the reader.
struct Collected : MdirReader::Target {
	void MdirRead(const TString& mdir, NodeList& msgIdList, NodeList& displayList, NodeList& attachList,
		long unread, bool expanded) override
	{
		reads.push_back(mdir.String());
		byId = msgIdList;
		display = displayList;
		attach = attachList;
		count = unread;
		open = expanded;
	}
	void MdirReadFailed(const TString& mdir, Error e) override
	{
		failures.push_back(mdir.String());
		error = e;
	}
	std::vector<std::string> reads, failures;
	NodeList byId, display, attach;
	long count = -1;
	bool open = false;
	Error error = ErrOkay;
};

// The reader with what it needs around it: the notification bus (its hand-over) and running
// worker threads.
class ReaderRun : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(Notify::Start());
		ASSERT_TRUE(ThreadMngr::Start());
		ASSERT_TRUE(MessageList::Start());
		ASSERT_TRUE(MdirReader::Start());
		ThreadMngr::State(true);
	}
	void TearDown() override
	{
		ThreadMngr::Stop();
		MdirReader::Stop();
		MessageList::Stop();
		Notify::Stop();
	}
	static void waitIdle()
	{
		for (int i = 0; i < 200 && MdirReader::Busy(); i++)
			Notify::WaitAndDeliver(50000);
		Notify::Deliver();
	}
};

}  // namespace

TEST_F(ReaderRun, DeliversOnlyTheLastDirectoryAskedFor)
{
	TempDir first, second;
	writeCache(first.Path(), {{"x"}, {"y", {"x"}}});
	writeCache(second.Path(),
		{{"a", {}, 1}, {"b", {"a"}, 2, "Re", "B", "", 0, 0, false}, {"p1", {}, 3, "bin", "C", "bin", 1, 2},
			{"p2", {}, 4, "bin", "C", "bin", 2, 2}});
	Collected got;
	MdirReader::Read(TString(first.Path().c_str()), &got, kByDate, true, false, true, false);
	MdirReader::Read(TString(second.Path().c_str()), &got, kByDate, true, true, true, false);
	waitIdle();
	EXPECT_FALSE(MdirReader::Busy());
	ASSERT_EQ(got.reads, std::vector<std::string>{second.Path()});
	EXPECT_TRUE(got.failures.empty());
	EXPECT_EQ(draw(got.display), "a(b) p1(p2)");
	EXPECT_EQ(got.byId.size(), 4u);
	EXPECT_EQ(got.attach.size(), 2u);
	EXPECT_EQ(got.count, 3);
	EXPECT_TRUE(got.open);

	// Read messages left out, flat and newest first.
	MdirReader::Read(
		TString(second.Path().c_str()), &got, {HeadersNode::compareDate, false}, false, false, false, false);
	waitIdle();
	ASSERT_EQ(got.reads.size(), 2u);
	EXPECT_EQ(draw(got.display), "p2 p1 a");
	EXPECT_EQ(got.attach.size(), 2u);
}

TEST_F(ReaderRun, MissingCacheIsReportedToTheTarget)
{
	TempDir dir;
	Collected got;
	MdirReader::Read(TString(dir.Path().c_str()), &got, kByDate, false, false, true, false);
	waitIdle();
	EXPECT_TRUE(got.reads.empty());
	ASSERT_EQ(got.failures, std::vector<std::string>{dir.Path()});
	EXPECT_EQ(got.error, ErrFileNotFound);
	// An empty path ends the reading without a hand-over.
	MdirReader::Read(TString(), &got, kByDate, false, false, true, false);
	waitIdle();
	EXPECT_EQ(got.failures.size(), 1u);
}
