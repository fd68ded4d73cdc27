// quillfern against a real INN on 127.0.0.1:119 (tests/servers/inn.sh start). Skipped when INN
// is not running, unless QUILLFERN_REQUIRE_INN is set (as the CI run does): then it fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "NetSock.h"
#include "TestSupport.h"

namespace {

using TestSupport::RunResult;

bool innAnswers()
{
	NetSock sock;
	sock.TimeoutSet(2000000);
	if (sock.OpenClient(0, 0) != ErrOkay || sock.Connect(0x7F000001, 119) != ErrOkay)
		return false;
	TString line;
	return sock.RecvLine(line, 2000) == ErrOkay && line.ByteFirst() == '2';
}

class InnTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		if (innAnswers())
			return;
		if (std::getenv("QUILLFERN_REQUIRE_INN"))
			FAIL() << "INN does not answer on 127.0.0.1:119";
		GTEST_SKIP() << "INN is not running on 127.0.0.1:119; start it with tests/servers/inn.sh start";
	}

	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}

	TestSupport::TempDir mRoot;
};

TEST_F(InnTest, AccountCheckPrintsTheGreeting)
{
	ASSERT_EQ(run({"account", "add", "inn", "--server", "localhost", "--logging", "1"}).status, 0);
	RunResult r = run({"account", "check", "inn"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out.rfind("200 ", 0), 0u) << r.out;
	EXPECT_NE(r.out.find("INN"), std::string::npos) << r.out;
	std::string log = TestSupport::ReadFile(mRoot.Sub("News/Accounts/inn/Data/TransferLog.txt"));
	EXPECT_NE(log.find("C: QUIT"), std::string::npos) << log;
}

TEST_F(InnTest, AccountCheckWithARefusedLogin)
{
	ASSERT_EQ(
		run({"account", "add", "inn", "--server", "127.0.0.1", "--user", "nobody", "--password", "nothing"})
			.status,
		0);
	RunResult r = run({"account", "check", "inn"});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(r.out, "");
	EXPECT_NE(r.err.find("Failed: 5"), std::string::npos) << r.err;
}

}  // namespace
