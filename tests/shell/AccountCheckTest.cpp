// quillfern account check NAME: against the scripted server, end to end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptServer.h"
#include "TestSupport.h"

namespace {

using TestServers::ScriptServer;
using TestSupport::RunResult;

class AccountCheckTest : public ::testing::Test {
protected:
	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}

	void add(const std::string& name, uint16_t port, const std::vector<std::string>& extra = {})
	{
		std::vector<std::string> args = {
			"account", "add", name, "--server", "127.0.0.1", "--port", std::to_string(port)};
		args.insert(args.end(), extra.begin(), extra.end());
		ASSERT_EQ(run(args).status, 0);
	}

	TestSupport::TempDir mRoot;
};

TEST_F(AccountCheckTest, PrintsTheGreeting)
{
	ScriptServer server;
	server.Line("200 scripted news server ready").Reply("QUIT", "205 bye");
	add("plain", server.Port(), {"--logging", "1"});
	server.Start();
	RunResult r = run({"account", "check", "plain"});
	server.Finish();
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "200 scripted news server ready\n");
	EXPECT_EQ(server.Received(), (std::vector<std::string>{"QUIT"}));
	std::string log = TestSupport::ReadFile(mRoot.Sub("News/Accounts/plain/Data/TransferLog.txt"));
	EXPECT_NE(log.find("S: 200 scripted news server ready"), std::string::npos) << log;
}

TEST_F(AccountCheckTest, LogsInWhenTheAccountSaysSo)
{
	ScriptServer server;
	server.Line("200 ready")
		.Reply("AUTHINFO USER joe", "381 more")
		.Reply("AUTHINFO PASS s3cret", "281 ok")
		.Reply("QUIT", "205 bye");
	add("login", server.Port(), {"--user", "joe", "--password", "s3cret", "--logging", "2"});
	server.Start();
	RunResult r = run({"account", "check", "login"});
	server.Finish();
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_TRUE(server.Failures().empty()) << server.Failures()[0];
	std::string log = TestSupport::ReadFile(mRoot.Sub("News/Accounts/login/Data/TransferLog.txt"));
	EXPECT_EQ(log.find("s3cret"), std::string::npos) << log;
}

TEST_F(AccountCheckTest, RefusedLoginAndUnreachableServerFail)
{
	ScriptServer server;
	server.Line("200 ready")
		.Reply("AUTHINFO USER joe", "381 more")
		.Reply("AUTHINFO PASS wrong", "481 no")
		.Reply("QUIT", "205 bye");
	add("refused", server.Port(), {"--user", "joe", "--password", "wrong"});
	server.Start();
	RunResult r = run({"account", "check", "refused"});
	server.Finish();
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, "");
	EXPECT_NE(r.err.find("Can’t log in to server: Access denied"), std::string::npos) << r.err;

	add("nowhere", ScriptServer::UnusedPort());
	r = run({"account", "check", "nowhere"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("Connection refused"), std::string::npos) << r.err;

	r = run({"account", "check", "missing"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(run({"account", "check"}).status, 2);
}

TEST_F(AccountCheckTest, ServerTextIsShownSafely)
{
	ScriptServer server;
	server.Raw("200 ready \x1b[31mred\xff\r\n").Reply("QUIT", "205 bye");
	add("odd", server.Port());
	server.Start();
	RunResult r = run({"account", "check", "odd"});
	server.Finish();
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "200 ready ?[31mred?\n");
}

}  // namespace
