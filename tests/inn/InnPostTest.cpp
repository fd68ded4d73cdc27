// Posting against a real INN on 127.0.0.1:119 (tests/servers/inn.sh start): an article and a
// follow-up with non-ASCII subject, author and body and lines starting with "." or "From "
// are sent, fetched back, read back as written, and the follow-up threads under its parent.
// Skipped when INN is not running, unless QUILLFERN_REQUIRE_INN is set.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "NetSock.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
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

class InnPostTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		if (!innAnswers()) {
			if (std::getenv("QUILLFERN_REQUIRE_INN"))
				FAIL() << "INN does not answer on 127.0.0.1:119";
			GTEST_SKIP() << "INN is not running on 127.0.0.1:119; start it with tests/servers/inn.sh start";
		}
		group =
			"quillfern.test.post" + std::to_string(getpid()) + "x" + std::to_string(time(nullptr) % 100000);
		RunResult r =
			TestSupport::RunProgram(std::string(QUILLFERN_TEST_SERVERS) + "/inn.sh", {"newgroup", group});
		ASSERT_EQ(r.status, 0) << r.err;
	}
	void TearDown() override
	{
		if (!group.empty())
			TestSupport::RunProgram(std::string(QUILLFERN_TEST_SERVERS) + "/inn.sh", {"rmgroup", group});
	}

	RunResult run(std::vector<std::string> args, const std::string& input = "")
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args, {}, input);
	}

	std::vector<std::vector<std::string>> records(const std::string& out)
	{
		std::vector<std::vector<std::string>> all;
		std::istringstream lines(out);
		std::string line;
		while (std::getline(lines, line)) {
			std::vector<std::string> fields;
			std::istringstream in(line);
			std::string f;
			while (std::getline(in, f, '\t'))
				fields.push_back(f);
			all.push_back(fields);
		}
		return all;
	}

	TestSupport::TempDir mRoot;
	std::string group;
};

TEST_F(InnPostTest, ArticleAndFollowupReadBackAsWritten)
{
	ASSERT_EQ(run({"init"}).status, 0);
	RunResult r = run({"identity", "add", "Zoë Ünïcode-Łukasz", "--email", "zoe@example.org"});
	ASSERT_EQ(r.status, 0) << r.err;
	r = run({"account", "add", "inn", "--server", "127.0.0.1", "--identity", "Zoë Ünïcode-Łukasz"});
	ASSERT_EQ(r.status, 0) << r.err;
	fs::create_directories(mRoot.Sub("News/Accounts/inn/Groups/" + group));
	r = run({"settings", "inn", group, "DownloadType=3"});
	ASSERT_EQ(r.status, 0) << r.err;

	const std::string subject = "Grüße – ünïcode ☃ subject";
	const std::string body =
		"Première ligne, ça va?\n.\n..two dots\n.leading dot\nFrom the start\n>From quoted\n";
	r = run({"post", "inn", "--newsgroups", group, "--subject", subject, "--body", "-"}, body);
	ASSERT_EQ(r.status, 0) << r.err;
	std::string parentId = r.out.substr(0, r.out.find('\t'));
	r = run({"send", "inn"});
	ASSERT_EQ(r.status, 0) << r.err;
	r = run({"fetch", "inn", group});
	ASSERT_EQ(r.status, 0) << r.err;

	r = run({"followup", "inn/" + group, parentId, "--body", "-"}, "Réponse: d'accord.\n.\nFrom me too\n");
	ASSERT_EQ(r.status, 0) << r.err;
	std::string childId = r.out.substr(0, r.out.find('\t'));
	r = run({"send", "inn"});
	ASSERT_EQ(r.status, 0) << r.err;
	r = run({"fetch", "inn", group});
	ASSERT_EQ(r.status, 0) << r.err;

	// The follow-up threads under its parent; author and subjects read back as written.
	r = run({"list", "inn/" + group, "--threaded"});
	ASSERT_EQ(r.status, 0) << r.err;
	auto rows = records(r.out);
	ASSERT_EQ(rows.size(), 2u) << r.out;
	EXPECT_EQ(rows[0][0], "0");
	EXPECT_EQ(rows[0][1], parentId);
	EXPECT_EQ(rows[0][4], "Zoë Ünïcode-Łukasz");
	EXPECT_EQ(rows[0][5], subject);
	EXPECT_EQ(rows[1][0], "1");
	EXPECT_EQ(rows[1][1], childId);
	EXPECT_EQ(rows[1][5], "Re: " + subject);

	// Every body line reads back, the dot-stuffed ones included.
	r = run({"read", "inn/" + group, parentId});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out.rfind(body, 0), 0u) << r.out;
	r = run({"read", "inn/" + group, childId});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.out.find("Zoë Ünïcode-Łukasz wrote:\n> Première ligne, ça va?\n> .\n> ..two dots\n"),
		std::string::npos)
		<< r.out;
	EXPECT_NE(r.out.find("Réponse: d'accord.\n.\nFrom me too\n"), std::string::npos) << r.out;
	// Sent messages left the Outbox.
	EXPECT_EQ(run({"list", "Outbox"}).out, "");
}

}  // namespace
