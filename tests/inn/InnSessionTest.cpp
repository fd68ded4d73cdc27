// A protocol session against a real INN on 127.0.0.1:119: reader mode, a group of our own fed
// with generated articles, and pipelined article requests read as dot-terminated blocks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "NetSock.h"
#include "TestSupport.h"
#include "TextProtocol.h"

namespace {

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

bool innAnswers()
{
	NetSock sock;
	sock.TimeoutSet(2000000);
	if (sock.OpenClient(0, 0) != ErrOkay || sock.Connect(0x7F000001, 119) != ErrOkay)
		return false;
	TString line;
	return sock.RecvLine(line, 2000) == ErrOkay && line.ByteFirst() == '2';
}

TestSupport::RunResult inn(const std::vector<std::string>& args)
{
	return TestSupport::RunProgram(std::string(QUILLFERN_TEST_SERVERS) + "/inn.sh", args);
}

TEST(InnSession, PipelinedArticlesFromAFreshGroup)
{
	if (!innAnswers()) {
		if (std::getenv("QUILLFERN_REQUIRE_INN"))
			FAIL() << "INN does not answer on 127.0.0.1:119";
		GTEST_SKIP() << "INN is not running on 127.0.0.1:119; start it with tests/servers/inn.sh start";
	}
	TextProtocol::Start();
	const std::string group = "quillfern.test.session" + std::to_string(static_cast<long>(::getpid()));
	const int count = 25;
	ASSERT_EQ(inn({"newgroup", group}).status, 0);
	TestSupport::RunResult fed = inn({"feed", group, std::to_string(count)});
	ASSERT_EQ(fed.status, 0) << fed.err;

	Session s;
	ASSERT_EQ(s.Connect("localhost", "", "", 119), ErrOkay);
	ASSERT_EQ(s.CmndSend("MODE READER"), ErrOkay);
	ASSERT_EQ(s.CmndSend("GROUP", TString(group.c_str())), ErrOkay);
	TString reply;
	s.LastReply(reply);
	EXPECT_EQ(std::string(reply.String()),
		"211 " + std::to_string(count) + " 1 " + std::to_string(count) + " " + group);

	// Up to five requests outstanding, as the downloads will send them.
	int sent = 0, read = 0, messageIds = 0;
	while (read < count) {
		while (sent < count && sent - read < 5)
			ASSERT_EQ(s.CmndSendAhead("ARTICLE", TString(std::to_string(++sent).c_str())), ErrOkay);
		ASSERT_EQ(s.CmndReply(), ErrOkay);
		TString line;
		Error e;
		while ((e = s.DotLineRead(line)) == ErrOkay)
			if (std::string(line.String()).rfind("Message-ID: <", 0) == 0)
				messageIds++;
		ASSERT_EQ(e, ErrFileEnd);
		read++;
	}
	EXPECT_EQ(messageIds, count);
	EXPECT_EQ(s.CmndSend("ARTICLE", TString("999999")), ErrGmCommandFailed);
	EXPECT_TRUE(s.IsConnected());
	EXPECT_EQ(s.Disconnect(), ErrOkay);
	inn({"rmgroup", group});
}

}  // namespace
