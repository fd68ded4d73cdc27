// quillfern list and read end to end: a folder's messages listed flat and threaded in the
// requested order, read with their charset converted, and marked read by reading.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "HeaderUtil.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::RunResult;

class ReadingCommandTest : public ::testing::Test {
protected:
	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}

	// A message file left in the transfer directory for folder F, carried in by the next run.
	void seed(const std::string& id, const std::string& headers, const std::string& body,
		const std::string& state = "UCNUNxxxxx")
	{
		std::string transfer = mRoot.Path() + "/News/Transfer";
		fs::create_directories(transfer);
		TString leaf;
		HeaderUtil::MessageFilename(leaf, TString(id.c_str()));
		std::string base = transfer + "/" + std::string(leaf.String()).substr(0, leaf.ByteLength() - 5);
		TestSupport::WriteFile(base + ".dest", mRoot.Path() + "/Saved/F\n");
		TestSupport::WriteFile(base + ".qmsg",
			"Message-ID: " + id + "\nNewsgroups: test.one\nUser-Agent: Tester\n" + headers +
				"Lines: 1     \nX-Quillfern-State: " + state + "\n\n" + body);
	}

	// The given field of every output line.
	static std::vector<std::string> column(const std::string& out, size_t field)
	{
		std::vector<std::string> values;
		std::istringstream lines(out);
		std::string line;
		while (std::getline(lines, line)) {
			std::istringstream fields(line);
			std::string f;
			for (size_t i = 0; i <= field && std::getline(fields, f, '\t'); i++) {
			}
			values.push_back(f);
		}
		return values;
	}

	TestSupport::TempDir mRoot;
};

TEST_F(ReadingCommandTest, ListsFlatAndThreaded)
{
	ASSERT_EQ(run({"folder", "create", "F"}).status, 0);
	seed("<a@x>", "From: Carol <c@x>\nSubject: Start\nDate: Sat, 05 Dec 2026 10:00:00 +0000\n", "one\n");
	seed("<b@x>",
		"From: Alice <a@x>\nSubject: AW: Start\nReferences: <a@x>\nDate: Sat, 05 Dec 2026 12:00:00 +0000\n",
		"two\n");
	seed("<c@x>",
		"From: Bob <b@x>\nSubject: Re: Start\nReferences: <a@x> <gone@x>\n"
		"Date: Sat, 05 Dec 2026 11:00:00 +0000\n",
		"three\n");
	seed("<d@x>", "From: Dora\t<d@x>\nSubject: Other\nDate: Sat, 05 Dec 2026 09:00:00 +0000\n", "four\n");

	RunResult r = run({"list", "Saved/F"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(column(r.out, 0), (std::vector<std::string>{"<d@x>", "<a@x>", "<c@x>", "<b@x>"})) << r.out;
	r = run({"list", "Saved/F", "--sort", "author:desc"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(column(r.out, 0), (std::vector<std::string>{"<d@x>", "<a@x>", "<c@x>", "<b@x>"})) << r.out;
	EXPECT_EQ(column(r.out, 4)[2], "Re: Start");

	r = run({"list", "Saved/F", "--threaded"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(column(r.out, 1), (std::vector<std::string>{"<d@x>", "<a@x>", "<c@x>", "<b@x>"})) << r.out;
	EXPECT_EQ(column(r.out, 0), (std::vector<std::string>{"0", "0", "1", "1"})) << r.out;
	r = run({"list", "Saved/F", "--threaded", "--sort", "date:desc"});
	EXPECT_EQ(column(r.out, 1), (std::vector<std::string>{"<a@x>", "<b@x>", "<c@x>", "<d@x>"})) << r.out;

	EXPECT_EQ(run({"list", "Saved/F", "--sort", "colour"}).status, 2);
	EXPECT_EQ(run({"list", "Saved/F", "--sort", "date:sideways"}).status, 2);
	EXPECT_EQ(run({"list", "Saved/Nowhere"}).status, 1);
}

TEST_F(ReadingCommandTest, ReadConvertsAndMarksRead)
{
	ASSERT_EQ(run({"folder", "create", "F"}).status, 0);
	seed("<l1@x>",
		"From: Anna <a@x>\nSubject: Grüße\nContent-Type: text/plain; charset=ISO-8859-1\n"
		"Date: Sat, 05 Dec 2026 10:00:00 +0000\n",
		"Gr\xFC\xDF"
		"e aus K\xF6ln\n");
	seed("<l2@x>", "From: Anna <a@x>\nSubject: Second\nDate: Sat, 05 Dec 2026 11:00:00 +0000\n", "plain\n");

	RunResult r = run({"read", "Saved/F", "<l1@x>"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "Grüße aus Köln\n");
	r = run({"list", "Saved/F", "--unread"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(column(r.out, 0), (std::vector<std::string>{"<l2@x>"})) << r.out;

	r = run({"read", "Saved/F", "<l2@x>", "--headers"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.out.find("Subject: Second\n"), std::string::npos) << r.out;
	EXPECT_EQ(r.out.find("plain"), std::string::npos) << r.out;
	r = run({"read", "Saved/F", "<l2@x>", "--raw"});
	EXPECT_NE(r.out.find("Subject: Second\n"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("\n\nplain\n"), std::string::npos) << r.out;

	EXPECT_EQ(run({"read", "Saved/F", "<none@x>"}).status, 1);
	EXPECT_EQ(run({"read", "Saved/F", "not-an-id"}).status, 2);
	EXPECT_EQ(run({"read", "Saved/F", "<l2@x>", "--raw", "--headers"}).status, 2);

	// A full disk behind standard output fails the read, rendered or raw.
	for (const char* extra : {"", " --raw"}) {
		std::string cmd = std::string(QUILLFERN_BINARY) + " --root '" + mRoot.Path() +
			"' read Saved/F '<l2@x>'" + extra + " >/dev/full 2>/dev/null";
		int rc = std::system(cmd.c_str());
		ASSERT_TRUE(WIFEXITED(rc)) << extra;
		EXPECT_EQ(WEXITSTATUS(rc), 1) << extra;
	}
}

TEST_F(ReadingCommandTest, ReadRendersPartsAndKeepsTheTerminalSafe)
{
	ASSERT_EQ(run({"folder", "create", "F"}).status, 0);
	const std::string date = "Date: Sat, 05 Dec 2026 10:00:00 +0000\n";
	// Stored without section lines: the parts are found when the message is read.
	seed("<alt@x>",
		"From: A <a@x>\nSubject: Alt\n" + date +
			"Mime-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"zz\"\n",
		"--zz\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: quoted-printable\n\n"
		"Caf=C3=A9 plain\n--zz\nContent-Type: text/html; charset=UTF-8\n\n<p>Caf&eacute; <b>html</b></p>\n"
		"--zz--\n");
	seed("<html@x>",
		"From: A <a@x>\nSubject: Html\n" + date +
			"Mime-Version: 1.0\nContent-Type: text/html; charset=UTF-8\n",
		"<html><body><p>Hello &amp; welcome</p><script>x()</script><p>bye</p></body></html>\n");
	seed("<esc@x>", "From: A <a@x>\nSubject: Escapes\n" + date,
		"> quoted http://example.com/x\nring\x07 \x1b[2J\x1b]0;title\x07 end\n");
	seed("<head@x>", "From: A <a@x>\nSubject: Headers only\n" + date, "", "UHNUNxxxxx");
	seed("<img@x>",
		"From: A <a@x>\nSubject: Image\n" + date +
			"Mime-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"zz\"\n",
		"--zz\nContent-Type: image/gif; name=a.gif\nContent-Transfer-Encoding: base64\n\nR0lGODlh\n--zz--\n");

	RunResult r = run({"read", "Saved/F", "<alt@x>"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "Caf\xC3\xA9 plain\n");
	r = run({"read", "Saved/F", "<alt@x>", "--html"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "<p>Caf&eacute; <b>html</b></p>\n");
	r = run({"read", "Saved/F", "<html@x>"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "Hello & welcome\n\nbye\n");

	// Control characters are shown, never passed on; --raw gives the stored bytes to a pipe.
	r = run({"read", "Saved/F", "<esc@x>"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "> quoted http://example.com/x\nring^G ^[[2J^[]0;title^G end\n");
	r = run({"read", "Saved/F", "<esc@x>", "--raw"});
	EXPECT_NE(r.out.find("ring\x07 \x1b[2J"), std::string::npos);

	r = run({"read", "Saved/F", "<head@x>"});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("Cannot display message: Does not have a body"), std::string::npos) << r.err;
	r = run({"read", "Saved/F", "<img@x>"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "");
	EXPECT_NE(r.err.find("only attachments"), std::string::npos) << r.err;
	EXPECT_EQ(run({"read", "Saved/F", "<alt@x>", "--html", "--raw"}).status, 2);

	// On a terminal: quoted lines coloured, links underlined, still no raw escape from the body;
	// NO_COLOR turns the colours off.
	std::string command =
		std::string(QUILLFERN_BINARY) + " --root " + mRoot.Path() + " read Saved/F '<esc@x>'";
	r = TestSupport::RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, {"NO_COLOR"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.out.find("\x1b[36m> quoted "), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("4;34mhttp://example.com/x"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("^[[2J"), std::string::npos) << r.out;
	EXPECT_EQ(r.out.find("\x1b[2J"), std::string::npos) << r.out;
	r = TestSupport::RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, {"NO_COLOR=1"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
	r = TestSupport::RunProgram("/usr/bin/script", {"-qec", command + " --raw", "/dev/null"});
	EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
}

}  // namespace
