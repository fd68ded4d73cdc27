#include <gtest/gtest.h>

#include "ScriptServer.h"
#include "TString.h"
#include "TestSupport.h"
#include "TextProtocol.h"

namespace {

using TestServers::ScriptServer;

class Session : public TextProtocol {
public:
	~Session() override
	{
		if (IsOpen())
			Disconnect();
	}

protected:
	const char* CStrExit() const override { return "QUIT"; }
	const char* CStrPassword() const override { return "AUTHINFO PASS"; }
	const char* CStrUsername() const override { return "AUTHINFO USER"; }
};

class TextProtocolTest : public ::testing::Test {
protected:
	static void SetUpTestSuite() { TextProtocol::Start(); }

	Error connect(const char* user = "", const char* password = "")
	{
		server.Start();
		return session.Connect("127.0.0.1", user, password, server.Port());
	}

	std::string lastError(Error e)
	{
		TString text;
		return session.LastError(text, e);
	}

	void finish()
	{
		server.Finish();
		for (const std::string& failure : server.Failures())
			ADD_FAILURE() << failure;
	}

	ScriptServer server;
	Session session;
};

TEST_F(TextProtocolTest, GreetingAndGoodbye)
{
	server.Line("200 server ready").Reply("QUIT", "205 bye");
	ASSERT_EQ(connect(), ErrOkay);
	TString reply;
	EXPECT_STREQ(session.LastReply(reply), "200 server ready");
	EXPECT_TRUE(session.IsConnected());
	EXPECT_EQ(session.Disconnect(), ErrOkay);
	EXPECT_FALSE(session.IsOpen());
	finish();
}

TEST_F(TextProtocolTest, RefusedGreetingEndsTheSession)
{
	server.Line("502 access denied").Reply("QUIT", "205 bye");
	EXPECT_EQ(connect(), ErrGmCommandFailed);
	EXPECT_FALSE(session.IsOpen());
	EXPECT_EQ(lastError(ErrGmCommandFailed), "Failed: 502 access denied");
	finish();
}

TEST_F(TextProtocolTest, LoginPaths)
{
	struct Case {
		const char* password;
		std::vector<std::string> replies;  // to USER, then to PASS
		Error result;
		std::vector<std::string> sent;
	};
	const std::vector<Case> cases = {
		{"secret", {"281 welcome"}, ErrOkay, {"AUTHINFO USER joe", "QUIT"}},
		{"secret", {"381 password please", "281 welcome"}, ErrOkay,
			{"AUTHINFO USER joe", "AUTHINFO PASS secret", "QUIT"}},
		{"secret", {"381 password please", "481 wrong"}, ErrGmAccessDenied,
			{"AUTHINFO USER joe", "AUTHINFO PASS secret", "QUIT"}},
		{"", {"381 password please"}, ErrGmAccessDenied, {"AUTHINFO USER joe", "QUIT"}},
		{"secret", {"502 no login here"}, ErrGmCommandFailed, {"AUTHINFO USER joe", "QUIT"}},
	};
	for (const Case& c : cases) {
		ScriptServer script;
		script.Line("200 ready");
		script.ExpectAny().Line(c.replies[0]);
		if (c.replies.size() > 1)
			script.ExpectAny().Line(c.replies[1]);
		script.Reply("QUIT", "205 bye");
		script.Start();
		Session s;
		EXPECT_EQ(s.Connect("localhost", "joe", c.password, script.Port()), c.result) << c.replies.back();
		if (c.result == ErrOkay)
			s.Disconnect();
		EXPECT_FALSE(s.IsOpen());
		script.Finish();
		EXPECT_EQ(script.Received(), c.sent) << c.replies.back();
		TString text;
		if (c.result == ErrGmAccessDenied) {
			EXPECT_STREQ(s.LastError(text, c.result), "Can’t log in to server: Access denied");
		}
		if (c.result == ErrGmCommandFailed) {
			EXPECT_STREQ(s.LastError(text, c.result), "Failed: 502 no login here");
		}
	}
}

TEST_F(TextProtocolTest, RepliesWithoutACodeDropTheSession)
{
	for (const char* bad : {"2 ok", "OK", "1234567 too long", ""}) {
		ScriptServer script;
		script.Line("200 ready").Expect("DATE").Line(bad);
		script.Start();
		Session s;
		ASSERT_EQ(s.Connect("127.0.0.1", "", "", script.Port()), ErrOkay);
		EXPECT_EQ(s.CmndSend("DATE"), ErrGmCommandFailed) << bad;
		EXPECT_FALSE(s.IsConnected()) << bad;
		TString text;
		EXPECT_EQ(std::string(s.LastError(text, ErrGmCommandFailed)),
			std::string("Server response not understood: ‘") + bad + "’");
		// Out of sync: nothing more is sent.
		EXPECT_EQ(s.CmndSend("HELP"), ErrNetConnectionClosed);
		script.Finish();
		EXPECT_EQ(script.Received(), (std::vector<std::string>{"DATE"})) << bad;
	}
	EXPECT_EQ(TextProtocol::ReplyCode(TString("  211 1 2 3")), 211);
	EXPECT_EQ(TextProtocol::ReplyCode(TString("21")), 21);
}

TEST_F(TextProtocolTest, GarbageAndHugeRepliesLoseSyncSafely)
{
	// A greeting of binary garbage is not understood and ends the session.
	server.Raw(std::string("\x89PNG\r\n\x1a\n\0\0garbage\r\n", 18));
	EXPECT_EQ(connect(), ErrGmCommandFailed);
	EXPECT_EQ(lastError(ErrGmCommandFailed).rfind("Server response not understood: ‘?PNG’", 0), 0u)
		<< lastError(ErrGmCommandFailed);
	EXPECT_FALSE(session.IsOpen());
	finish();

	// A reply far longer than a line: its first 2000 bytes are the reply, the rest is not
	// taken for the next reply.
	ScriptServer huge;
	huge.Line("200 ready").Expect("HELP").Raw("100 ").Fill(size_t{10} * 1000 * 1000, 'x').Raw("\r\n");
	huge.Start();
	Session s;
	ASSERT_EQ(s.Connect("127.0.0.1", "", "", huge.Port()), ErrOkay);
	EXPECT_EQ(s.CmndSend("HELP"), ErrOkay);
	TString reply;
	EXPECT_EQ(s.LastReply(reply)[0], '1');
	EXPECT_EQ(reply.ByteLength(), 2000);
	EXPECT_EQ(s.CmndReply(), ErrGmCommandFailed);
	EXPECT_FALSE(s.IsConnected());
	s.Disconnect();
	huge.Finish();
}

TEST_F(TextProtocolTest, PipelinedCommandsGoOutBeforeTheReplies)
{
	server.Line("200 ready")
		.Expect("HEAD 1")
		.Expect("HEAD 2")
		.Expect("HEAD 3")
		.Line("221 1")
		.Line("430 no such article")
		.Line("221 3")
		.Reply("QUIT", "205 bye");
	ASSERT_EQ(connect(), ErrOkay);
	for (const char* n : {"1", "2", "3"})
		ASSERT_EQ(session.CmndSendAhead("HEAD", TString(n)), ErrOkay);
	EXPECT_EQ(session.CmndReply(), ErrOkay);
	EXPECT_EQ(session.CmndReply(), ErrGmCommandFailed);
	EXPECT_TRUE(session.IsConnected());  // a failure reply is no loss of sync
	EXPECT_EQ(lastError(ErrGmCommandFailed), "Failed: 430 no such article");
	EXPECT_EQ(session.CmndReply(), ErrOkay);
	session.Disconnect();
	finish();
}

TEST_F(TextProtocolTest, DotStuffingBothWays)
{
	server.Line("200 ready")
		.Line("..x")
		.Line("plain")
		.Line("..")
		.Line(std::string(2000, 'a') + ".")
		.Line(".")
		.Expect("..x")
		.Expect("y")
		.Expect("..")
		.Expect(".")
		.Reply("QUIT", "205 bye");
	ASSERT_EQ(connect(), ErrOkay);
	TString line;
	std::vector<std::string> lines;
	Error e;
	while ((e = session.DotLineRead(line)) == ErrOkay)
		lines.emplace_back(line.String());
	EXPECT_EQ(e, ErrFileEnd);
	// The rest of a cut line is data, even when it is a lone ".".
	EXPECT_EQ(lines, (std::vector<std::string>{".x", "plain", ".", std::string(2000, 'a'), "."}));
	EXPECT_EQ(session.DotLineSend(TString(".x"), false), ErrOkay);
	EXPECT_EQ(session.DotLineSend(TString("y"), false), ErrOkay);
	EXPECT_EQ(session.DotLineSend(TString("."), false), ErrOkay);
	EXPECT_EQ(session.DotLineSend(TString(), true), ErrOkay);
	session.Disconnect();
	finish();
}

TEST_F(TextProtocolTest, LineEndsInsideTextAreNeverSent)
{
	server.Line("200 ready").Reply("QUIT", "205 bye");
	ASSERT_EQ(connect(), ErrOkay);
	EXPECT_EQ(session.CmndSendAhead("GROUP", TString("a\r\nPOST")), ErrNetTransmitError);
	EXPECT_EQ(session.DotLineSend(TString("line\n.\nQUIT"), false), ErrNetTransmitError);
	EXPECT_FALSE(session.IsConnected());
	session.Disconnect();
	server.Finish();
	EXPECT_EQ(server.Received(), std::vector<std::string>{});
}

TEST_F(TextProtocolTest, FailureTextSurvivesTheGoodbye)
{
	server.Line("200 ready").Expect("LIST").Raw("215 list fol").Drop();
	ASSERT_EQ(connect(), ErrOkay);
	EXPECT_EQ(session.CmndSend("LIST"), ErrOkay);  // the last line before the close is delivered
	TString line;
	EXPECT_EQ(session.DotLineRead(line), ErrNetConnectionClosed);
	EXPECT_EQ(lastError(ErrNetConnectionClosed), "Can’t read data from server: Connection has been closed");
	session.Disconnect();
	EXPECT_EQ(lastError(ErrNetConnectionClosed), "Can’t read data from server: Connection has been closed");
	finish();
}

TEST_F(TextProtocolTest, UnreachableAndUnknownServers)
{
	Session s;
	EXPECT_EQ(s.Connect("127.0.0.1", "", "", ScriptServer::UnusedPort()), ErrNetConnectionError);
	TString text;
	EXPECT_STREQ(s.LastError(text, ErrNetConnectionError), "Can’t connect to server: Connection refused");
	EXPECT_EQ(s.Connect("no..such..host", "", "", 119), ErrNetAddrNotAvailable);
	EXPECT_STREQ(s.LastError(text, ErrNetAddrNotAvailable),
		"Can’t locate “no..such..host”: Network address not available");
	// A timeout is no network error of its own: the error's text is shown.
	EXPECT_STREQ(s.LastError(text, ErrGmTimeout), "Failed: Timed out waiting for response");
}

TEST_F(TextProtocolTest, ProtocolLogHidesThePassword)
{
	TestSupport::TempDir dir;
	server.Line("200 ready")
		.Reply("AUTHINFO USER joe", "381 more")
		.Reply("AUTHINFO PASS hunter2", "281 ok")
		.Reply("QUIT", "205 bye");
	session.logMode = TextProtocol::LogProtocol;
	session.logPath = dir.Sub("TransferLog.txt").c_str();
	ASSERT_EQ(connect("joe", "hunter2"), ErrOkay);
	session.Disconnect();
	finish();
	std::string log = TestSupport::ReadFile(dir.Sub("TransferLog.txt"));
	EXPECT_EQ(log.find("hunter2"), std::string::npos) << log;
	EXPECT_NE(log.find("C: AUTHINFO PASS xxxxxxxx"), std::string::npos) << log;
	EXPECT_NE(log.find("Connecting to server 127.0.0.1 ..."), std::string::npos) << log;
	EXPECT_NE(log.find("S: 281 ok"), std::string::npos) << log;
	EXPECT_NE(log.find("Total session time:"), std::string::npos) << log;
	EXPECT_NE(log.find("  sent: "), std::string::npos) << log;

	// Log mode 0: no file at all.
	ScriptServer quiet;
	quiet.Line("200 ready").Reply("QUIT", "205 bye");
	quiet.Start();
	Session s;
	s.logPath = dir.Sub("Quiet.txt").c_str();
	ASSERT_EQ(s.Connect("127.0.0.1", "", "", quiet.Port()), ErrOkay);
	s.Disconnect();
	quiet.Finish();
	EXPECT_FALSE(TestSupport::Exists(dir.Sub("Quiet.txt")));
}

TEST_F(TextProtocolTest, ActivityReports)
{
	std::vector<uint32_t> types;
	session.ActivityProcSet(
		[](void* user, const ActivityInfo& info) {
			static_cast<std::vector<uint32_t>*>(user)->push_back(info.type);
		},
		&types);
	server.Line("200 ready").Reply("QUIT", "205 bye");
	ASSERT_EQ(connect(), ErrOkay);
	EXPECT_EQ(session.Activity().address, "127.0.0.1");
	session.Disconnect();
	finish();
	EXPECT_EQ(
		types, (std::vector<uint32_t>{ActivityDns, ActivityConnect, ActivityDisconnect, ActivityFinished}));
	// Delayed reports: at most one per half second.
	types.clear();
	session.ActivityProcDelay(ActivityDnldHeaders);
	session.ActivityProcDelay(ActivityDnldHeaders);
	EXPECT_EQ(types.size(), 1u);
}

}  // namespace
