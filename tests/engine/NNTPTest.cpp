// The Usenet client against the scripted server: request order and pipelining, skipped and
// failed articles, the state file after drops, group and list replies that are wrong, bodies of
// stored header-only messages, posting, and servers that misbehave.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "FileMngr.h"
#include "HeaderUtil.h"
#include "MessageFile.h"
#include "NNTP.h"
#include "ScriptServer.h"
#include "SyncBatch.h"
#include "TestSupport.h"

using TestServers::ScriptServer;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

// A client with a scratch folder; every downloaded file is moved into "store", as the message
// store would take it.
struct Client {
	TempDir dir;
	NNTP nntp;
	std::vector<std::string> files;  // leaf names handed over, in order
	std::vector<std::string> posted;

	Client()
	{
		TextProtocol::Start();
		::mkdir(dir.Sub("tmp").c_str(), 0700);
		::mkdir(dir.Sub("store").c_str(), 0700);
		::mkdir(dir.Sub("outbox").c_str(), 0700);
		nntp.tempDirectory = dir.Sub("tmp").c_str();
		nntp.Activity().account = "joe";
		nntp.TimeoutSet(3000000);
		nntp.logMode = TextProtocol::LogProtocol;
		nntp.logPath = dir.Sub("log.txt").c_str();
		nntp.DownloadProcSet(&Client::downloaded, this);
		nntp.UploadProcSet(&Client::uploaded, this);
	}

	static void downloaded(
		void* user, const TString&, const TString& group, const TString& path, ActivityType)
	{
		auto* c = static_cast<Client*>(user);
		EXPECT_STREQ(group.String(), "alt.test");
		std::string p(path.String());
		std::string leaf = p.substr(p.rfind('/') + 1);
		EXPECT_EQ(FileMngr::Rename(path, TString(c->dir.Sub("store/" + leaf).c_str())), ErrOkay);
		c->files.push_back(leaf);
	}
	static void uploaded(void* user, const TString& account, const TString& path, ActivityType type)
	{
		EXPECT_STREQ(account.String(), "joe");
		EXPECT_EQ(type, ActivityUpload);
		static_cast<Client*>(user)->posted.push_back(path.String());
		FileMngr::Remove(path);  // as the move to the sent folder would
	}

	Error connect(ScriptServer& server)
	{
		server.Start();
		return nntp.Connect("127.0.0.1", "", "", server.Port());
	}
	TString state() const { return TString(dir.Sub("state.txt").c_str()); }
	// The counts line and the range lines of the state file.
	std::vector<std::string> stateLines() const
	{
		std::vector<std::string> out;
		std::istringstream in(ReadFile(dir.Sub("state.txt")));
		std::string line;
		while (std::getline(in, line))
			if (!line.empty() && line[0] != '#')
				out.push_back(line);
		return out;
	}
	std::string stored(const std::string& leaf) const { return ReadFile(dir.Sub("store/" + leaf)); }
	std::string lastError(Error e) const
	{
		TString t;
		nntp.LastError(t, e);
		return t.String();
	}
};

std::string article(uint32_t n, const char* code = "221", bool body = false)
{
	std::string s =
		std::string(code) + " " + std::to_string(n) + " <a" + std::to_string(n) + "@example.org>\r\n";
	s += "From: poster@example.org\r\nNewsgroups: alt.test\r\nSubject: article " + std::to_string(n) +
		"\r\nMessage-ID: <a" + std::to_string(n) + "@example.org>\r\n";
	if (body)
		s += "\r\nbody of " + std::to_string(n) + "\r\n..dotted line\r\n";
	return s + ".\r\n";
}

ScriptServer& greet(ScriptServer& s)
{
	return s.Line("200 ready").Reply("MODE READER", "200 reader");
}

// Answers GROUP with the given counts and HEAD/ARTICLE from a handler deciding per number.
ScriptServer::Handler groupServer(const std::string& group, std::function<std::string(uint32_t, bool)> art)
{
	return [group, art](const std::string& line) -> std::string {
		if (line == "GROUP alt.test")
			return group + "\r\n";
		if (line.rfind("HEAD ", 0) == 0)
			return art(uint32_t(std::stoul(line.substr(5))), false);
		if (line.rfind("ARTICLE ", 0) == 0)
			return art(uint32_t(std::stoul(line.substr(8))), true);
		if (line == "QUIT")
			return "205 bye\r\n";
		return "500 what\r\n";
	};
}

std::string leafOf(uint32_t n)
{
	TString leaf;
	HeaderUtil::MessageFilename(leaf, TString(("<a" + std::to_string(n) + "@example.org>").c_str()));
	return leaf.String();
}

}  // namespace

TEST(NNTP, HeaderSequenceSendsFirstAloneThenTwoPerReply)
{
	ScriptServer s;
	greet(s).Reply("GROUP alt.test", "211 3 10 12 alt.test").Expect("HEAD 10").Raw(article(10));
	s.Expect("HEAD 11").Expect("HEAD 12").Raw(article(11) + article(12)).Reply("QUIT", "205 bye");
	Client c;
	c.nntp.headerLimit = 300;
	ASSERT_EQ(c.connect(s), ErrOkay);
	ASSERT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrOkay);
	EXPECT_EQ(c.files, (std::vector<std::string>{leafOf(10), leafOf(11), leafOf(12)}));
	EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"10 12 3", "10 - 12"}));
	std::string text = c.stored(leafOf(11));
	EXPECT_NE(text.find("Subject: article 11\n"), std::string::npos);
	EXPECT_EQ(c.nntp.Activity().done, 3u);
	c.nntp.Disconnect();
	s.Finish();
	EXPECT_TRUE(s.Failures().empty()) << s.Failures()[0];

	// Deeper: after the second reply three requests wait, after the third four; never more
	// than five.
	ScriptServer d;
	greet(d).Reply("GROUP alt.test", "211 7 1 7 alt.test").Expect("HEAD 1").Raw(article(1));
	d.Expect("HEAD 2").Expect("HEAD 3").Raw(article(2)).Expect("HEAD 4").Expect("HEAD 5").Raw(article(3));
	d.Expect("HEAD 6").Expect("HEAD 7").Raw(article(4) + article(5) + article(6) + article(7));
	Client e;
	ASSERT_EQ(e.connect(d), ErrOkay);
	ASSERT_EQ(e.nntp.DownloadHeaders("alt.test", e.state()), ErrOkay);
	EXPECT_EQ(e.files.size(), 7u);
	EXPECT_EQ(e.stateLines(), (std::vector<std::string>{"1 7 7", "1 - 7"}));
	e.nntp.Disconnect();
	d.Finish();
	EXPECT_TRUE(d.Failures().empty()) << d.Failures()[0];
}

TEST(NNTP, LimitsOrderSkipsAndEmptyGroup)
{
	// Newest first with a limit: exactly the highest numbers; a 430 among them is skipped for
	// good and the count is still reached.
	ScriptServer s;
	greet(s).Serve(groupServer("211 1000 1 1000 alt.test",
		[](uint32_t n, bool) { return n == 998 ? std::string("430 no such article\r\n") : article(n); }));
	Client c;
	c.nntp.headerLimit = 300;
	c.nntp.downloadOrder = NNTP::OrderNewest;
	ASSERT_EQ(c.connect(s), ErrOkay);
	ASSERT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrOkay);
	ASSERT_EQ(c.files.size(), 300u);
	EXPECT_EQ(c.files.front(), leafOf(1000));
	EXPECT_EQ(c.files.back(), leafOf(700));
	EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"1 1000 1000", "700 - 1000"}));
	// The next run goes on below, from the state file.
	c.nntp.headerLimit = 10;
	c.files.clear();
	ASSERT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrOkay);
	EXPECT_EQ(c.files.front(), leafOf(699));
	EXPECT_EQ(c.files.size(), 10u);
	c.nntp.Disconnect();
	s.Finish();

	ScriptServer z;
	greet(z).Reply("GROUP alt.test", "211 0 0 0 alt.test").Reply("QUIT", "205 bye");
	Client e;
	ASSERT_EQ(e.connect(z), ErrOkay);
	EXPECT_EQ(e.nntp.DownloadArticles("alt.test", e.state()), ErrOkay);
	EXPECT_TRUE(e.files.empty());
	EXPECT_EQ(e.stateLines(), (std::vector<std::string>{"0 0 0"}));
	e.nntp.Disconnect();
	z.Finish();
	EXPECT_TRUE(z.Failures().empty()) << z.Failures()[0];
}

TEST(NNTP, FailuresInTheMiddleLeaveNumbersToFetchAgain)
{
	// Whole articles, a 430 among the pipelined requests, then a drop while article 5 arrives
	// with 6 to 9 outstanding: 5 to 9 are unvisited afterwards, 1 to 4 stay.
	ScriptServer s;
	greet(s).Reply("GROUP alt.test", "211 10 1 10 alt.test").Expect("ARTICLE 1").Raw(article(1, "220", true));
	s.Expect("ARTICLE 2").Expect("ARTICLE 3").Line("430 gone").Expect("ARTICLE 4").Expect("ARTICLE 5");
	s.Raw(article(3, "220", true)).Expect("ARTICLE 6").Raw(article(4, "220", true)).Expect("ARTICLE 7");
	s.Expect("ARTICLE 8")
		.Expect("ARTICLE 9")
		.Raw("220 5 <a5@example.org>\r\nFrom: x@example.org\r\nSubject: half\r\n")
		.Drop();
	Client c;
	ASSERT_EQ(c.connect(s), ErrOkay);
	Error e = c.nntp.DownloadArticles("alt.test", c.state());
	EXPECT_NE(e, ErrOkay);
	EXPECT_FALSE(c.nntp.IsConnected());
	EXPECT_FALSE(c.lastError(e).empty());
	EXPECT_EQ(c.files, (std::vector<std::string>{leafOf(1), leafOf(3), leafOf(4)}));
	EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"1 10 10", "1 - 4"}));
	EXPECT_NE(c.stored(leafOf(1)).find("\n.dotted line\n"), std::string::npos);
	// Nothing half-made is left in the scratch folder.
	EXPECT_FALSE(TestSupport::Exists(c.dir.Sub("tmp/joe Download.txt")));
	s.Finish();
	EXPECT_TRUE(s.Failures().empty()) << s.Failures()[0];
}

TEST(NNTP, StateFileWrittenDuringALongDownloadNeverGetsAheadOfTheFiles)
{
	// The state is written every two stored articles: whenever an article is handed over, the
	// state file on disk records only articles handed over before it, and it keeps up.
	ScriptServer s;
	greet(s).Serve(groupServer("211 7 1 7 alt.test", [](uint32_t n, bool) { return article(n); }));
	struct Watch {
		Client* client;
		std::vector<std::string> seen;  // the state's range line at each hand-over
	} watch;
	Client c;
	watch.client = &c;
	c.nntp.stateEveryArticles = 2;
	c.nntp.stateEveryMicros = 60000000;
	c.nntp.DownloadProcSet(
		[](void* user, const TString& account, const TString& group, const TString& path, ActivityType t) {
			auto* w = static_cast<Watch*>(user);
			std::vector<std::string> lines = TestSupport::Exists(w->client->dir.Sub("state.txt"))
				? w->client->stateLines()
				: std::vector<std::string>();
			w->seen.push_back(lines.size() > 1 ? lines[1] : "none");
			Client::downloaded(w->client, account, group, path, t);
		},
		&watch);
	ASSERT_EQ(c.connect(s), ErrOkay);
	ASSERT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrOkay);
	EXPECT_EQ(
		watch.seen, (std::vector<std::string>{"none", "none", "1 - 2", "1 - 2", "1 - 4", "1 - 4", "1 - 6"}));
	EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"1 7 7", "1 - 7"}));
	c.nntp.Disconnect();
	s.Finish();
	EXPECT_TRUE(s.Failures().empty()) << s.Failures()[0];
}

// Sees every file the download makes durable, with the state file's range line at that moment;
// fails the sync of the file whose name ends in failOn.
struct SyncWatch {
	Client* client;
	std::string failOn;
	std::vector<std::string> paths;
	std::vector<std::string> ranges;

	explicit SyncWatch(Client* c) : client(c) { SyncBatch::SyncProcSet(&SyncWatch::proc, this); }
	~SyncWatch() { SyncBatch::SyncProcSet(nullptr, nullptr); }

	static Error proc(void* user, const TString& path)
	{
		auto* w = static_cast<SyncWatch*>(user);
		std::string p(path.String());
		w->paths.push_back(p);
		std::vector<std::string> lines = TestSupport::Exists(w->client->dir.Sub("state.txt"))
			? w->client->stateLines()
			: std::vector<std::string>();
		w->ranges.push_back(lines.size() > 1 ? lines[1] : "none");
		bool fail = !w->failOn.empty() && p.size() >= w->failOn.size() &&
			p.compare(p.size() - w->failOn.size(), w->failOn.size(), w->failOn) == 0;
		return fail ? ErrFileWriteError : ErrOkay;
	}
};

TEST(NNTP, EachStoredFileIsSyncedOnceBeforeTheStateRecordsIt)
{
	ScriptServer s;
	greet(s).Serve(
		groupServer("211 5 1 5 alt.test", [](uint32_t n, bool) { return article(n, "220", true); }));
	Client c;
	SyncWatch watch(&c);
	c.nntp.stateEveryArticles = 2;
	c.nntp.stateEveryMicros = 60000000;
	ASSERT_EQ(c.connect(s), ErrOkay);
	ASSERT_EQ(c.nntp.DownloadArticles("alt.test", c.state()), ErrOkay);
	// Exactly the files stored, each once, where the store has put them, and each while the
	// state file did not list it yet.
	std::vector<std::string> expected;
	for (uint32_t n = 1; n <= 5; n++)
		expected.push_back(c.dir.Sub("store/" + leafOf(n)));
	EXPECT_EQ(watch.paths, expected);
	EXPECT_EQ(watch.ranges, (std::vector<std::string>{"none", "none", "1 - 2", "1 - 2", "1 - 4"}));
	EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"1 5 5", "1 - 5"}));
	// Nothing is left open of the files made durable.
	EXPECT_EQ(c.nntp.DnldDataGet().unsynced.size(), 0u);
	c.nntp.Disconnect();
	s.Finish();
	EXPECT_TRUE(s.Failures().empty()) << s.Failures()[0];
}

TEST(NNTP, AFailedSyncLeavesItsArticlesToFetchAgain)
{
	// The sync of the batch holding articles 3 and 4 fails: the download stops, the state keeps
	// 1 and 2 only, and the next download fetches 3 onwards again.
	ScriptServer s;
	greet(s).Serve(groupServer("211 6 1 6 alt.test", [](uint32_t n, bool) { return article(n); }));
	Client c;
	SyncWatch watch(&c);
	watch.failOn = leafOf(3);
	c.nntp.stateEveryArticles = 2;
	c.nntp.stateEveryMicros = 60000000;
	ASSERT_EQ(c.connect(s), ErrOkay);
	EXPECT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrFileWriteError);
	EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"1 6 6", "1 - 2"}));
	// Replies to requests still outstanding would be taken for the next command's.
	EXPECT_FALSE(c.nntp.IsConnected());
	c.nntp.Disconnect();
	s.Finish();

	ScriptServer again;
	greet(again).Serve(groupServer("211 6 1 6 alt.test", [](uint32_t n, bool) { return article(n); }));
	watch.failOn.clear();
	c.files.clear();
	for (uint32_t n = 3; n <= 6; n++)
		std::filesystem::remove(c.dir.Sub("store/" + leafOf(n)));
	ASSERT_EQ(c.connect(again), ErrOkay);
	ASSERT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrOkay);
	EXPECT_EQ(c.files, (std::vector<std::string>{leafOf(3), leafOf(4), leafOf(5), leafOf(6)}));
	EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"1 6 6", "1 - 6"}));
	c.nntp.Disconnect();
	again.Finish();
	EXPECT_TRUE(again.Failures().empty()) << again.Failures()[0];
}

TEST(NNTP, GroupAndListRepliesThatCannotBeUsed)
{
	ScriptServer s;
	greet(s)
		.Reply("GROUP alt.test", "211 5 10 alt.test")
		.Reply("GROUP alt.test", "211 5 10 99999999999 alt.test");
	s.Reply("GROUP alt.test", "411 no such group").Reply("LIST", "215 list follows");
	s.Line("Bad..Name 1 1 y").Line("..dot 2 1 y").Line("").Line(std::string("caf\xE9 1 1 y")).Line(".");
	s.Reply("LIST", "215 list follows").Line("comp.lang.c 10 1 y").Line("alt.test 5 1 y");
	s.Line("comp.lang.c 10 1 y").Line("..hidden 1 1 y").Line(".");
	Client c;
	ASSERT_EQ(c.connect(s), ErrOkay);
	// Missing and oversized fields fail; the state file is written anyway.
	EXPECT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrGmCommandFailed);
	EXPECT_TRUE(TestSupport::Exists(c.dir.Sub("state.txt")));
	EXPECT_EQ(c.nntp.Catchup("alt.test", c.state()), ErrGmCommandFailed);
	EXPECT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrGmCommandFailed);
	EXPECT_NE(c.lastError(ErrGmCommandFailed).find("411 no such group"), std::string::npos);

	TString list(c.dir.Sub("groups.txt").c_str());
	EXPECT_EQ(c.nntp.NewsgroupList(list), ErrGmCommandFailed);
	EXPECT_FALSE(TestSupport::Exists(c.dir.Sub("groups.txt")));
	ASSERT_EQ(c.nntp.NewsgroupList(list), ErrOkay);
	EXPECT_EQ(ReadFile(c.dir.Sub("groups.txt")), "alt.test\ncomp.lang.c\n");
	EXPECT_EQ(c.nntp.Activity().total, 2u);
	EXPECT_EQ(c.nntp.NewsgroupList(TString("")), ErrGmBadPath);
	s.Finish();
	EXPECT_TRUE(s.Failures().empty()) << s.Failures()[0];
}

TEST(NNTP, CatchupMarksTheServerRangeVisited)
{
	ScriptServer s;
	greet(s).Reply("GROUP alt.test", "211 40 100 139 alt.test").Reply("QUIT", "205 bye");
	Client c;
	WriteFile(c.dir.Sub("state.txt"), "not a state file\n");
	ASSERT_EQ(c.connect(s), ErrOkay);
	// A damaged state file fails the operation and is replaced by an empty state.
	EXPECT_NE(c.nntp.Catchup("alt.test", c.state()), ErrOkay);
	EXPECT_TRUE(c.stateLines().empty() || c.stateLines()[0] == "0 0 0");
	ASSERT_EQ(c.nntp.Catchup("alt.test", c.state()), ErrOkay);
	EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"100 139 40", "100 - 139"}));
	c.nntp.Disconnect();
	s.Finish();
	EXPECT_TRUE(s.Failures().empty()) << s.Failures()[0];
}

namespace {

// A header-only message stored in the group folder; returns its path.
std::string headerOnly(const Client& c, const std::string& id, bool marked)
{
	TString leaf;
	HeaderUtil::MessageFilename(leaf, TString(id.c_str()));
	std::string path = c.dir.Sub(std::string("group/") + leaf.String());
	MessageFile f;
	EXPECT_EQ(f.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0), ErrOkay);
	for (const std::string& l : std::vector<std::string>{"From: poster@example.org", "Newsgroups: alt.test",
			 "Subject: stored", std::string("Message-ID: ") + id})
		EXPECT_EQ(f.LineAppend(TString(l.c_str())), ErrOkay);
	EXPECT_EQ(f.DownloadClose(kCharsetNone), ErrOkay);
	if (marked) {
		MessageHead h;
		EXPECT_EQ(h.HeaderRead(TString(path.c_str()), MessageHead::kLockWait), ErrOkay);
		h.MessageDownloadSet(MessageDownloadMarked);
		EXPECT_EQ(h.StateWrite(TString(path.c_str())), ErrOkay);
	}
	return path;
}

MessageHead headOf(const std::string& path)
{
	MessageHead h;
	EXPECT_EQ(h.HeaderRead(TString(path.c_str()), MessageHead::kLockWait), ErrOkay);
	return h;
}

}  // namespace

TEST(NNTP, BodiesOfStoredHeaderOnlyMessages)
{
	ScriptServer s;
	greet(s).Reply("BODY <c@d>", "222 0 <a@b>").Line("first line").Line("..signature").Line(".");
	s.Reply("BODY <m2@example.org>", "430 gone").Reply("QUIT", "205 bye");
	Client c;
	::mkdir(c.dir.Sub("group").c_str(), 0700);
	std::string one = headerOnly(c, "<c@d>", false);
	headerOnly(c, "<m1@example.org>", false);
	headerOnly(c, "<m2@example.org>", true);
	ASSERT_EQ(c.connect(s), ErrOkay);
	// A mismatched message-id in the reply is logged and the body stored anyway.
	ASSERT_EQ(c.nntp.DownloadBody("alt.test", TString(one.c_str())), ErrOkay);
	ASSERT_EQ(c.files.size(), 1u);
	std::string text = c.stored(c.files[0]);
	EXPECT_NE(text.find("\nfirst line\n.signature\n"), std::string::npos);
	EXPECT_EQ(headOf(c.dir.Sub("store/" + c.files[0])).MessageStateGet(), MessageStateComplete);
	// Only the marked one is asked for; the server lacks it, so it is marked as failed.
	ASSERT_EQ(c.nntp.DownloadBodiesMarked("alt.test", TString(c.dir.Sub("group").c_str())), ErrOkay);
	ASSERT_EQ(c.files.size(), 2u);
	MessageHead failed = headOf(c.dir.Sub("store/" + c.files[1]));
	EXPECT_EQ(failed.MessageStateGet(), MessageStateHeaders);
	EXPECT_EQ(failed.MessageDownloadGet(), MessageDownloadFailed);
	EXPECT_EQ(
		c.nntp.DownloadBody("alt.test", TString(c.dir.Sub("group/none.qmsg").c_str())), ErrFileNotFound);
	c.nntp.Disconnect();
	s.Finish();
	EXPECT_TRUE(s.Failures().empty()) << s.Failures()[0];
}

TEST(NNTP, BodyOfAMessageWithAnInvalidIdIsSkippedAndTheRestFetched)
{
	// Any body asked for is there; the one message whose stored id is not a message-id is never
	// asked for, and the others still arrive.
	ScriptServer s;
	greet(s).Serve([](const std::string& line) -> std::string {
		if (line.rfind("BODY <", 0) == 0)
			return "222 0 " + line.substr(5) + "\r\nthe body\r\n.\r\n";
		return line == "QUIT" ? "205 bye\r\n" : "500 what\r\n";
	});
	Client c;
	::mkdir(c.dir.Sub("group").c_str(), 0700);
	headerOnly(c, "<m1@example.org>", true);
	std::string broken = headerOnly(c, "<m2@example.org>", true);
	headerOnly(c, "<m3@example.org>", true);
	std::string text = ReadFile(broken);
	size_t at = text.find("<m2@example.org>");
	ASSERT_NE(at, std::string::npos);
	text.replace(at, 16, "m2 at example.org");
	WriteFile(broken, text);
	ASSERT_EQ(c.connect(s), ErrOkay);
	ASSERT_EQ(c.nntp.DownloadBodiesMarked("alt.test", TString(c.dir.Sub("group").c_str())), ErrOkay);
	ASSERT_EQ(c.files.size(), 2u);
	for (const std::string& leaf : c.files) {
		EXPECT_NE(c.stored(leaf).find("\nthe body\n"), std::string::npos) << leaf;
		EXPECT_EQ(headOf(c.dir.Sub("store/" + leaf)).MessageStateGet(), MessageStateComplete);
	}
	EXPECT_TRUE(c.nntp.IsConnected());
	EXPECT_EQ(ReadFile(broken), text);
	c.nntp.Disconnect();
	s.Finish();
	EXPECT_NE(ReadFile(c.dir.Sub("log.txt")).find("Invalid Message-ID"), std::string::npos);
	int bodies = 0;
	for (const std::string& line : s.Received())
		bodies += line.rfind("BODY ", 0) == 0;
	EXPECT_EQ(bodies, 2);
	EXPECT_TRUE(s.Failures().empty()) << s.Failures()[0];
}

namespace {

void outboxMessage(const Client& c, const char* leaf, const char* account, const char* body)
{
	MessageFile::Data d;
	d.subject = "Gr\xC3\xBC\xC3\x9F"
				"e";
	d.newsgroupsTo = "alt.test";
	d.authorName = "Joe";
	d.authorAddress = "joe@example.org";
	d.account = account;
	d.charset = kCharsetUTF8;
	d.body = body;
	MessageFile f;
	TString path(c.dir.Sub(std::string("outbox/") + leaf).c_str());
	ASSERT_EQ(f.Create(path, d), ErrOkay);
	ASSERT_EQ(f.RenameToPreferred(path), ErrOkay);
}

}  // namespace

TEST(NNTP, PostingWithDotStuffingAndRefusal)
{
	ScriptServer s;
	std::vector<std::string> article;
	greet(s).Serve([&article](const std::string& line) -> std::string {
		static bool inArticle = false;
		if (inArticle) {
			if (line == ".") {
				inArticle = false;
				return "240 posted\r\n";
			}
			article.push_back(line);
			return "";
		}
		if (line == "POST") {
			inArticle = article.empty();
			return inArticle ? "340 send it\r\n" : "440 posting not allowed\r\n";
		}
		return line == "QUIT" ? "205 bye\r\n" : "500 what\r\n";
	});
	Client c;
	c.nntp.HardSet("User-Agent", "Quillfern/1");
	c.nntp.HardSet("user-agent", "ignored");
	c.nntp.HardSet(kHeaderProgramURL, "https://quillfern.example");
	outboxMessage(c, "a.qmsg", "JOE", "hello\n.signature\n.");
	outboxMessage(c, "c.qmsg", "other", "not ours");
	ASSERT_EQ(c.connect(s), ErrOkay);
	ASSERT_EQ(c.nntp.Upload(TString(c.dir.Sub("outbox").c_str())), ErrOkay);
	ASSERT_EQ(c.posted.size(), 1u);
	std::string joined;
	for (const std::string& l : article)
		joined += l + "\n";
	EXPECT_NE(joined.find("\nhello\n..signature\n..\n"), std::string::npos) << joined;
	EXPECT_NE(joined.find("User-Agent: Quillfern/1\n"), std::string::npos) << joined;
	EXPECT_NE(joined.find("X-Program-URL: https://quillfern.example\n"), std::string::npos) << joined;
	EXPECT_EQ(joined.find("X-Quillfern"), std::string::npos) << joined;

	// The server refuses the next one: it stays in the outbox.
	outboxMessage(c, "b.qmsg", "joe", "second");
	Error e = c.nntp.Upload(TString(c.dir.Sub("outbox").c_str()));
	EXPECT_EQ(e, ErrGmCommandFailed);
	EXPECT_NE(c.lastError(e).find("440 posting not allowed"), std::string::npos);
	EXPECT_EQ(c.posted.size(), 1u);
	EXPECT_EQ(std::distance(std::filesystem::directory_iterator(c.dir.Sub("outbox")), {}), 2);

	// Without an account name nothing is sent.
	size_t before = s.Received().size();
	c.nntp.Activity().account = "";
	EXPECT_EQ(c.nntp.Upload(TString(c.dir.Sub("outbox").c_str())), ErrOkay);
	EXPECT_EQ(s.Received().size(), before);
	c.nntp.Disconnect();
	s.Finish();
}

TEST(NNTP, HostileServersEndTheOperationAndKeepWhatIsStored)
{
	// A greeting that never comes: Connect gives up at the time-out.
	{
		ScriptServer s;
		s.Delay(4000);
		Client c;
		c.nntp.TimeoutSet(600000);
		auto start = std::chrono::steady_clock::now();
		EXPECT_NE(c.connect(s), ErrOkay);
		EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
		s.Finish(100);
	}
	// Endless data with no closing dot, a single huge line: stopped at the article bound.
	{
		ScriptServer s;
		greet(s).Reply("GROUP alt.test", "211 3 1 3 alt.test").Expect("HEAD 1").Raw(article(1));
		s.Expect("HEAD 2")
			.Expect("HEAD 3")
			.Raw("221 2 <a2@example.org>\r\nSubject: x\r\n\r\n")
			.Fill(8 << 20, 'x');
		Client c;
		c.nntp.articleBytesMax = 1 << 20;
		ASSERT_EQ(c.connect(s), ErrOkay);
		EXPECT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrFileFull);
		EXPECT_EQ(c.files, (std::vector<std::string>{leafOf(1)}));
		EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"1 3 3", "1 - 1"}));
		EXPECT_FALSE(TestSupport::Exists(c.dir.Sub("tmp/joe Download.txt")));
		c.nntp.Disconnect();
		s.Finish(1000);
	}
	// A garbage code, and a reply for an article never asked for: both end the download with
	// the session out of sync, and the numbers are asked again next time.
	for (std::string bad : {"2x1 what", "221 77 <a77@example.org>", "211 1 1 1 alt.test"}) {
		ScriptServer s;
		greet(s).Reply("GROUP alt.test", "211 3 1 3 alt.test").Expect("HEAD 1").Raw(article(1));
		s.Expect("HEAD 2").Expect("HEAD 3").Line(bad).Raw(article(3));
		Client c;
		ASSERT_EQ(c.connect(s), ErrOkay);
		Error e = c.nntp.DownloadHeaders("alt.test", c.state());
		EXPECT_NE(e, ErrOkay) << bad;
		EXPECT_NE(e, ErrGmCommandFailed) << bad;
		EXPECT_FALSE(c.nntp.IsConnected()) << bad;
		EXPECT_EQ(c.files.size(), 1u) << bad;
		EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"1 3 3", "1 - 1"})) << bad;
		EXPECT_EQ(c.nntp.DownloadHeaders("alt.test", c.state()), ErrNetConnectionClosed);
		c.nntp.Disconnect();
		s.Finish(1000);
	}
	// A server that goes silent in the middle of an article: the time-out ends it.
	{
		ScriptServer s;
		greet(s)
			.Reply("GROUP alt.test", "211 1 1 1 alt.test")
			.Expect("HEAD 1")
			.Raw("221 1 <a1@x>\r\nSubject: y\r\n");
		s.Delay(2500);
		Client c;
		ASSERT_EQ(c.connect(s), ErrOkay);
		c.nntp.TimeoutSet(600000);
		auto start = std::chrono::steady_clock::now();
		EXPECT_NE(c.nntp.DownloadHeaders("alt.test", c.state()), ErrOkay);
		EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
		EXPECT_EQ(c.stateLines(), (std::vector<std::string>{"1 1 1"}));
		s.Finish(100);
	}
}
