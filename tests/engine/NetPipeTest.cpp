// The network pipeline against scripted servers: one connection per run of an account's
// requests, failures that drop only their account's requests, cancellation and moving the
// running request, reconnection after a dropped connection, and posting from the outbox.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "AcctMngr.h"
#include "GroupData.h"
#include "NetPipe.h"
#include "Notify.h"
#include "NotifyList.h"
#include "Output.h"
#include "ScriptServer.h"
#include "StoragePath.h"
#include "StoreFixture.h"
#include "Thread.h"
#include "ThreadMngr.h"

namespace {

using TestServers::ScriptServer;

std::atomic<int> sAlerts{0};
void alertCount(const char*, const char*)
{
	sAlerts++;
}

// A small news server: each group holds articles 1..count; ARTICLE and HEAD answer after
// delayMillis; dropAt (when not 0) drops the connection when that article is asked for.
struct NewsHandler {
	std::map<std::string, uint32_t> groups;
	int delayMillis = 0;
	uint32_t dropAt = 0;
	std::string current;

	static std::string id(const std::string& group, uint32_t n)
	{
		return "<" + group + "." + std::to_string(n) + "@example.org>";
	}
	std::string article(uint32_t n, bool body) const
	{
		std::string s =
			std::string(body ? "220 " : "221 ") + std::to_string(n) + " " + id(current, n) + "\r\n";
		s += "From: poster@example.org\r\nNewsgroups: " + current + "\r\nSubject: article " +
			std::to_string(n) + "\r\nDate: Sat, 05 Dec 2026 10:00:00 +0000\r\nMessage-ID: " + id(current, n) +
			"\r\n";
		if (body)
			s += "\r\nbody of " + std::to_string(n) + "\r\n";
		return s + ".\r\n";
	}
	ScriptServer::Handler handler()
	{
		return [this](const std::string& line) -> std::string {
			if (line == "MODE READER")
				return "200 reader\r\n";
			if (line.rfind("GROUP ", 0) == 0) {
				current = line.substr(6);
				auto it = groups.find(current);
				if (it == groups.end())
					return "411 no such group\r\n";
				return "211 " + std::to_string(it->second) + " 1 " + std::to_string(it->second) + " " +
					current + "\r\n";
			}
			bool head = line.rfind("HEAD ", 0) == 0;
			if (head || line.rfind("ARTICLE ", 0) == 0) {
				uint32_t n = uint32_t(std::stoul(line.substr(head ? 5 : 8)));
				if (dropAt != 0 && n == dropAt) {
					dropAt = 0;
					return ScriptServer::kClose;
				}
				if (delayMillis > 0)
					std::this_thread::sleep_for(std::chrono::milliseconds(delayMillis));
				return article(n, !head);
			}
			if (line == "POST")
				return "340 send it\r\n";
			if (line == ".")
				return "240 posted\r\n";
			if (line == "QUIT")
				return "205 bye\r\n";
			if (line.find(':') != std::string::npos || line.empty() || line.rfind("body", 0) == 0)
				return "";  // lines of a posted article
			return "500 what\r\n";
		};
	}
};

class NetPipeTest : public StoreFixture {
protected:
	void SetUp() override
	{
		StoreFixture::SetUp();
		Output::AlertProcSet(alertCount);
		sAlerts = 0;
		for (const NotifyItem* item : {&NotifyList::NetError(), &NotifyList::NetTransferStart(),
				 &NotifyList::NetTransferStop(), &NotifyList::NetQueueChange()})
			Notify::Register(*item, keep, this);
	}
	void TearDown() override
	{
		NetPipe::QueueDelAll();
		idle();
		for (const NotifyItem* item : {&NotifyList::NetError(), &NotifyList::NetTransferStart(),
				 &NotifyList::NetTransferStop(), &NotifyList::NetQueueChange()})
			Notify::Unregister(*item, keep, this);
		StoreFixture::TearDown();
	}

	static void keep(void* context, const TString& payload)
	{
		auto* self = static_cast<NetPipeTest*>(context);
		self->mNet.push_back(payload.String());
	}

	void account(const char* name, uint16_t port, const std::vector<std::string>& groups, bool login = false)
	{
		AcctData data;
		data.Default();
		data.name = name;
		data.server.host = "127.0.0.1";
		data.server.port = port;
		data.server.requiresLogin = login;
		data.server.username = login ? "joe" : "";
		data.server.password = login ? "pw" : "";
		ASSERT_TRUE(AcctMngr::Create(data));
		for (const std::string& g : groups)
			ASSERT_TRUE(AcctMngr::GroupCreate(TString(name), TString(g.c_str())));
		settle();
	}

	// Waits for the pipeline to run dry, then for the store to file everything.
	void idle()
	{
		for (int i = 0; i < 3000 && NetPipe::Busy(); ++i) {
			Notify::Deliver();
			Thread::Sleep(10000);
		}
		EXPECT_FALSE(NetPipe::Busy());
		settle();
	}

	// Waits until the running download of group has reported at least n items.
	void until(uint32_t n, const char* group = "alt.one")
	{
		for (int i = 0; i < 1000; ++i) {
			ActivityInfo a;
			NetPipe::ActivityGet(a);
			if (a.done >= n && a.type != ActivityNone && a.group == group)
				return;
			Thread::Sleep(5000);
		}
		FAIL() << "no progress";
	}

	static TString mdir(const char* account, const char* group)
	{
		TString path;
		StoragePath::PathGroup(TString(account), TString(group), path);
		return path;
	}
	static std::vector<std::string> ids(const std::string& group, uint32_t first, uint32_t last)
	{
		std::vector<std::string> out;
		for (uint32_t n = first; n <= last; ++n)
			out.push_back(NewsHandler::id(group, n));
		std::sort(out.begin(), out.end());
		return out;
	}
	static long count(const std::vector<std::string>& lines, const std::string& prefix)
	{
		return std::count_if(
			lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
	}

	std::vector<std::string> mNet;  // payloads of the network events (only errors carry text)
};

TEST_F(NetPipeTest, OneConnectionServesAnAccountsRequestsAndArticlesReachTheStore)
{
	NewsHandler a, b;
	a.groups = {{"alt.one", 3}, {"alt.two", 2}};
	b.groups = {{"alt.one", 1}};
	ScriptServer serverA, serverB;
	serverA.Line("200 ready").Serve(a.handler());
	serverB.Line("200 ready").Serve(b.handler());
	account("A", serverA.Port(), {"alt.one", "alt.two"});
	account("B", serverB.Port(), {"alt.one"});
	serverA.Start();
	serverB.Start();

	NetPipe::DnldAccount(TString("A"));
	NetPipe::DnldGroup(TString("B"), TString("alt.one"));
	idle();
	serverA.Finish();
	serverB.Finish();
	EXPECT_EQ(serverA.Connections(), 1);
	EXPECT_EQ(serverB.Connections(), 1);
	// A's session was closed before B's began, and B's when the queue ran dry.
	EXPECT_EQ(serverA.Received().back(), "QUIT");
	EXPECT_EQ(serverB.Received().back(), "QUIT");
	EXPECT_EQ(count(serverA.Received(), "GROUP"), 2);
	EXPECT_EQ(cacheIds(mdir("A", "alt.one")), ids("alt.one", 1, 3));
	EXPECT_EQ(cacheIds(mdir("A", "alt.two")), ids("alt.two", 1, 2));
	EXPECT_EQ(cacheIds(mdir("B", "alt.one")), ids("alt.one", 1, 1));
	EXPECT_EQ(sAlerts, 0);

	std::vector<NetResult> results;
	NetPipe::ResultsTake(results);
	ASSERT_EQ(results.size(), 3u);
	EXPECT_EQ(results[0].count, 3u);
	EXPECT_STREQ(results[1].request.group.String(), "alt.two");
	EXPECT_EQ(results[2].error, ErrOkay);

	ProgressBarData p;
	NetPipe::ProgressData(p);
	EXPECT_EQ(p.total, 100);
	EXPECT_EQ(p.done, 100);
}

TEST_F(NetPipeTest, AFailedLoginDropsOnlyThatAccountsRequestsAndAlertsOnce)
{
	NewsHandler b;
	b.groups = {{"alt.one", 2}};
	ScriptServer serverA, serverB;
	serverA.Line("200 ready").Reply("AUTHINFO USER joe", "381 more").Reply("AUTHINFO PASS pw", "481 refused");
	serverB.Line("200 ready").Serve(b.handler());
	account("A", serverA.Port(), {"alt.one", "alt.two"}, true);
	account("B", serverB.Port(), {"alt.one"});
	mNet.clear();
	serverA.Start();
	serverB.Start();
	ThreadMngr::State(false);  // everything queued before the first request runs
	NetPipe::DnldAccount(TString("A"));
	NetPipe::CatchupGroup(TString("A"), TString("alt.one"));
	NetPipe::DnldGroup(TString("B"), TString("alt.one"));
	std::deque<NetRequest> queue;
	NetPipe::QueueGet(queue);
	EXPECT_EQ(queue.size(), 4u);
	ThreadMngr::State(true);
	idle();
	serverA.Finish();
	serverB.Finish();
	EXPECT_EQ(serverA.Connections(), 1);
	EXPECT_EQ(cacheIds(mdir("B", "alt.one")), ids("alt.one", 1, 2));
	std::vector<std::string> errors;
	for (const std::string& p : mNet)
		if (!p.empty())
			errors.push_back(p);
	ASSERT_EQ(errors.size(), 1u);
	EXPECT_NE(errors[0].find("Account “A”"), std::string::npos) << errors[0];
	EXPECT_EQ(sAlerts, 1);
}

TEST_F(NetPipeTest, DeletingEverythingCancelsTheDownloadAndTheNextRunGoesOnWhereItStopped)
{
	NewsHandler a;
	a.groups = {{"alt.one", 60}};
	a.delayMillis = 25;
	ScriptServer server;
	server.Line("200 ready").Serve(a.handler()).Accept().Line("200 ready").Serve(a.handler());
	account("A", server.Port(), {"alt.one"});
	server.Start();
	NetPipe::DnldGroup(TString("A"), TString("alt.one"));
	until(10);
	NetPipe::QueueDelAll();
	ProgressBarData p;
	NetPipe::ProgressData(p);
	EXPECT_EQ(p.done, p.total);
	idle();
	std::vector<NetResult> results;
	NetPipe::ResultsTake(results);
	ASSERT_EQ(results.size(), 1u);
	EXPECT_EQ(results[0].error, ErrGmCancelled);
	EXPECT_EQ(sAlerts, 0);
	size_t first = cacheIds(mdir("A", "alt.one")).size();
	EXPECT_GE(first, 9u);
	EXPECT_LT(first, 60u);

	a.delayMillis = 0;
	NetPipe::DnldGroup(TString("A"), TString("alt.one"));
	idle();
	server.Finish();
	// Every article once: none skipped, none stored twice.
	EXPECT_EQ(cacheIds(mdir("A", "alt.one")), ids("alt.one", 1, 60));
	EXPECT_EQ(fileIds(mdir("A", "alt.one")).size(), 60u);
}

TEST_F(NetPipeTest, MovingTheRunningRequestDownRunsItAgainAfterTheNext)
{
	NewsHandler a;
	a.groups = {{"alt.one", 40}, {"alt.two", 3}};
	a.delayMillis = 30;
	ScriptServer server;
	server.Line("200 ready").Serve(a.handler()).Accept().Line("200 ready").Serve(a.handler());
	account("A", server.Port(), {"alt.one", "alt.two"});
	server.Start();
	NetPipe::DnldAccount(TString("A"));
	until(3);
	NetPipe::QueueMoveDn(0);
	idle();
	server.Finish();
	std::vector<std::string> groups;
	for (const std::string& line : server.Received())
		if (line.rfind("GROUP ", 0) == 0)
			groups.push_back(line.substr(6));
	EXPECT_EQ(groups, (std::vector<std::string>{"alt.one", "alt.two", "alt.one"}));
	EXPECT_EQ(cacheIds(mdir("A", "alt.one")), ids("alt.one", 1, 40));
	EXPECT_EQ(sAlerts, 0);
}

TEST_F(NetPipeTest, ADroppedConnectionFailsTheGroupAndTheNextRunCompletesIt)
{
	NewsHandler a;
	a.groups = {{"alt.one", 30}};
	a.dropAt = 12;
	ScriptServer server;
	server.Line("200 ready").Serve(a.handler()).Accept().Line("200 ready").Serve(a.handler());
	account("A", server.Port(), {"alt.one"});
	server.Start();
	NetPipe::DnldGroup(TString("A"), TString("alt.one"));
	idle();
	std::vector<NetResult> results;
	NetPipe::ResultsTake(results);
	ASSERT_EQ(results.size(), 1u);
	EXPECT_NE(results[0].error, ErrOkay);
	EXPECT_NE(std::string(results[0].text.String()).find("newsgroup alt.one"), std::string::npos)
		<< results[0].text.String();
	EXPECT_EQ(sAlerts, 1);

	NetPipe::DnldGroup(TString("A"), TString("alt.one"));
	idle();
	server.Finish();
	EXPECT_EQ(cacheIds(mdir("A", "alt.one")), ids("alt.one", 1, 30));
	EXPECT_EQ(fileIds(mdir("A", "alt.one")).size(), 30u);
}

TEST_F(NetPipeTest, GroupSettingsDecideWhatIsQueued)
{
	ScriptServer server;
	account("A", server.Port(), {"alt.one", "alt.two"});
	GroupData off;
	off.downloadType = GroupData::TypeNone;
	ASSERT_EQ(off.GroupSet(TString("A"), TString("alt.one")), ErrOkay);
	settle();
	ThreadMngr::State(false);
	mNet.clear();
	NetPipe::DnldGroup(TString("A"), TString("alt.one"));
	std::deque<NetRequest> queue;
	NetPipe::QueueGet(queue);
	EXPECT_TRUE(queue.empty());
	Notify::Deliver();
	EXPECT_EQ(mNet.size(), 1u);  // the queue-changed event all the same
	// Bodies are fetched only for header-only groups; alt.two takes full messages.
	NetPipe::DnldBodies(TString("A"), TString("alt.two"));
	NetPipe::DnldBodiesMarked(TString("A"));
	NetPipe::QueueGet(queue);
	EXPECT_TRUE(queue.empty());
	EXPECT_FALSE(NetPipe::UpldAccount(TString("A")));  // nothing in the outbox
	ProgressBarData p;
	NetPipe::ProgressData(p);
	EXPECT_EQ(p.total, 100);
	EXPECT_EQ(p.done, 100);
	ThreadMngr::State(true);
}

TEST_F(NetPipeTest, PostedMessagesLeaveTheOutboxForSentMessages)
{
	NewsHandler a;
	ScriptServer server;
	server.Line("200 ready").Serve(a.handler());
	account("A", server.Port(), {});
	server.Start();
	TString outbox, sent;
	StoragePath::PathOutbox(outbox);
	StoragePath::PathSent(sent);
	std::string text = messageText("<post1@example.org>");
	text.insert(0, "X-Quillfern-Account: a\n");  // the account's name in another case
	TestSupport::WriteFile(std::string(outbox.String()) + "/" + leafOf("<post1@example.org>"), text);
	std::string other = messageText("<other@example.org>");
	other.insert(0, "X-Quillfern-Account: Someone Else\n");
	TestSupport::WriteFile(std::string(outbox.String()) + "/" + leafOf("<other@example.org>"), other);

	ASSERT_TRUE(NetPipe::UpldAccount(TString("A")));
	idle();
	server.Finish();
	EXPECT_EQ(count(server.Received(), "POST"), 1);
	EXPECT_EQ(fileIds(outbox), (std::vector<std::string>{"<other@example.org>"}));
	EXPECT_EQ(fileIds(sent), (std::vector<std::string>{"<post1@example.org>"}));
}

}  // namespace
