// Composing from the command line: new articles and follow-ups written to the Outbox or
// Drafts with their subject, references, attribution, quoted text and signature; every
// refusal keeping the text; the editor; and the killfile commands with the unread lists and
// counts they change.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "HeaderUtil.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using TestSupport::ReadFile;
using TestSupport::RunResult;
using TestSupport::WriteFile;

class PostCommandTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		root = mRoot.Path();
		ASSERT_EQ(0, run({"init"}).status);
		// The texts below are checked as UTF-8: posting uses the charset preference, which another
		// test of this program may have changed.
		ASSERT_EQ(0, run({"config", "charset", "UTF-8"}).status);
		WriteFile(
			mRoot.Sub("sig.txt"), "\n\n\nline 1   \nline 2\n\nline 4\nline 5\nline 6\nline 7\nline 8\n");
		RunResult r = run({"identity", "add", "Jörg Poster", "--email", "joerg@example.org", "--signature",
			mRoot.Sub("sig.txt"), "--reply-signature", mRoot.Sub("sig.txt")});
		ASSERT_EQ(0, r.status) << r.err;
		r = run({"account", "add", "A", "--server", "127.0.0.1", "--identity", "Jörg Poster"});
		ASSERT_EQ(0, r.status) << r.err;
		fs::create_directories(root + "/News/Accounts/A/Groups/test.one");
		fs::create_directories(root + "/News/Accounts/A/Groups/test.two");
	}

	RunResult run(std::vector<std::string> args, const std::vector<std::string>& env = {},
		const std::string& input = "")
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args, env, input);
	}

	// An article left in the transfer directory for mdir, carried in by the next run.
	void seed(
		const std::string& mdir, const std::string& id, const std::string& headers, const std::string& body)
	{
		std::string transfer = root + "/News/Transfer";
		fs::create_directories(transfer);
		TString leaf;
		HeaderUtil::MessageFilename(leaf, TString(id.c_str()));
		std::string base = transfer + "/" + std::string(leaf.String()).substr(0, leaf.ByteLength() - 5);
		WriteFile(base + ".dest", mdir + "\n");
		WriteFile(base + ".qmsg",
			"Message-ID: " + id + "\nUser-Agent: Tester\nDate: Sat, 05 Dec 2026 10:00:00 +0000\n" + headers +
				"Lines: 1     \nX-Quillfern-State: UCNUNxxxxx\n\n" + body);
	}

	// The one message file of a folder.
	std::string only(const std::string& folder)
	{
		std::vector<std::string> files;
		for (const auto& e : fs::directory_iterator(root + "/" + folder))
			if (e.path().extension() == ".qmsg")
				files.push_back(e.path());
		EXPECT_EQ(files.size(), 1u) << folder;
		return files.empty() ? std::string() : ReadFile(files[0]);
	}

	static std::string header(const std::string& text, const std::string& name)
	{
		std::istringstream lines(text);
		std::string line, value;
		bool in = false;
		while (std::getline(lines, line) && !line.empty()) {
			if (in && (line[0] == ' ' || line[0] == '\t')) {
				value += line;
				continue;
			}
			in = line.rfind(name + ": ", 0) == 0;
			if (in)
				value = line.substr(name.size() + 2);
		}
		return value;
	}

	static std::string body(const std::string& text)
	{
		size_t end = text.find("\n\n");
		return end == std::string::npos ? std::string() : text.substr(end + 2);
	}

	static size_t files(const std::string& dir)
	{
		size_t n = 0;
		if (fs::exists(dir))
			for (const auto& e : fs::directory_iterator(dir))
				n += e.path().extension() == ".qmsg";
		return n;
	}

	TestSupport::TempDir mRoot;
	TestSupport::TempDir mWork;
	std::string root;
};

TEST_F(PostCommandTest, NewArticleGoesToTheOutboxWithItsSignature)
{
	WriteFile(mWork.Sub("body.txt"), "Grüße aus Köln.\r\n.single dot\nFrom the start\n");
	RunResult r = run({"post", "A", "--newsgroups", "test.one, test.two", "--subject", "Grüße – ünïcode",
		"--body", mWork.Sub("body.txt")});
	ASSERT_EQ(0, r.status) << r.err;
	std::string id = r.out.substr(0, r.out.find('\t'));
	EXPECT_EQ(r.out, id + "\tOutbox\n");
	std::string text = only("News/Outbox");
	EXPECT_EQ(header(text, "Message-ID"), id);
	EXPECT_EQ(header(text, "Newsgroups"), "test.one,test.two");
	EXPECT_EQ(header(text, "References"), "");
	EXPECT_EQ(header(text, "X-Quillfern-Account"), "A");
	EXPECT_NE(header(text, "Subject").find("=?"), std::string::npos) << "non-ASCII subject is encoded";
	EXPECT_NE(header(text, "From").find("joerg@example.org.invalid"), std::string::npos)
		<< header(text, "From");
	EXPECT_EQ(header(text, "User-Agent").rfind("Quillfern/", 0), 0u);
	// The text, then the separator and the first six signature lines (blank ones at its start
	// skipped, trailing blanks stripped).
	std::string b = body(text);
	EXPECT_NE(b.find("Grüße aus Köln.\n.single dot\nFrom the start\n"), std::string::npos) << b;
	EXPECT_NE(b.find("\n-- \nline 1\nline 2\n\nline 4\nline 5\nline 6\n"), std::string::npos) << b;
	EXPECT_EQ(b.find("line 7"), std::string::npos);
	r = run({"list", "Outbox"});
	EXPECT_EQ(r.out.substr(0, id.size()), id);

	// --draft files it in Drafts; the text may come from standard input.
	r = run({"post", "A", "--newsgroups", "test.one", "--subject", "Draft", "--body", "-", "--draft"}, {},
		"draft text\n");
	ASSERT_EQ(0, r.status) << r.err;
	EXPECT_NE(body(only("News/Drafts")).find("draft text\n"), std::string::npos);
	EXPECT_EQ(files(root + "/News/Outbox"), 1u);
}

TEST_F(PostCommandTest, FollowupQuotesThreadsAndSigns)
{
	std::string group = root + "/News/Accounts/A/Groups/test.one";
	seed(group, "<parent@example.net>",
		"From: Ann Author <ann@example.net>\nSubject: re: Question\nNewsgroups: test.one\n"
		"References: <root@example.net> junk <mid@example.net>\n",
		"Her own line\n> an older quote\n\n-- \nAnn's signature\n");
	seed(group, "<second@example.net>",
		"From: Bob <bob@example.net>\nSubject: Re: Question\nNewsgroups: test.one,test.two\n", "Short\n");
	RunResult r = run({"followup", "A/test.one", "<parent@example.net>", "--body", "-"}, {}, "My answer\n");
	ASSERT_EQ(0, r.status) << r.err;
	std::string text = only("News/Outbox");
	// The prefix goes in front of a subject whose "re: " differs in case.
	EXPECT_EQ(header(text, "Subject"), "Re: re: Question");
	EXPECT_EQ(header(text, "Newsgroups"), "test.one");
	EXPECT_EQ(header(text, "References"), "<root@example.net> <mid@example.net> <parent@example.net>");
	std::string b = body(text);
	EXPECT_EQ(
		b.rfind("Ann Author wrote:\n> Her own line\n>> an older quote\n>\nMy answer\n\n-- \nline 1\n", 0), 0u)
		<< b;
	EXPECT_EQ(b.find("Ann's signature"), std::string::npos);

	// "Re: " is taken once; a draft of a cross-posted article keeps both groups.
	r = run({"followup", "A/test.one", "<second@example.net>", "--body", "-", "--draft"}, {}, "More\n");
	ASSERT_EQ(0, r.status) << r.err;
	text = only("News/Drafts");
	EXPECT_EQ(header(text, "Subject"), "Re: Question");
	EXPECT_EQ(header(text, "Newsgroups"), "test.one,test.two");
	EXPECT_EQ(header(text, "References"), "<second@example.net>");
}

TEST_F(PostCommandTest, RefusalsSayWhyAndKeepTheText)
{
	std::string group = root + "/News/Accounts/A/Groups/test.one";
	seed(group, "<elsewhere@example.net>",
		"From: Ann <ann@example.net>\nSubject: Away\nNewsgroups: test.one,no.such.group\n", "Body\n");
	seed(group, "<plain@example.net>", "From: Ann <ann@example.net>\nSubject: Here\nNewsgroups: test.one\n",
		"Body\n");
	std::string bodyFile = mWork.Sub("mine.txt");
	WriteFile(bodyFile, "precious words\n");

	struct Case {
		std::vector<std::string> args;
		std::string why;
	};
	const std::vector<Case> cases = {
		{{"post", "A", "--newsgroups", "test.one", "--subject", "   ", "--body", bodyFile},
			"Enter a subject."},
		{{"post", "A", "--newsgroups", "a.b,c.d,e.f,g.h,i.j", "--subject", "S", "--body", bodyFile},
			"Enter 1 to 4 newsgroup names"},
		{{"post", "A", "--newsgroups", "test.one,test.one", "--subject", "S", "--body", bodyFile},
			"Enter 1 to 4 newsgroup names"},
		{{"post", "A", "--newsgroups", "not.here", "--subject", "S", "--body", bodyFile},
			"Newsgroup not.here does not exist on account A."},
		{{"post", "B", "--newsgroups", "test.one", "--subject", "S", "--body", bodyFile},
			"There is no account named B."},
		{{"followup", "A/test.one", "<elsewhere@example.net>", "--body", bodyFile},
			"Newsgroup no.such.group does not exist on account A."},
		{{"followup", "A/test.one", "<plain@example.net>"}, "Message has no contents"},
	};
	for (const Case& c : cases) {
		RunResult r = run(c.args);
		EXPECT_EQ(r.status, 1) << c.args[4];
		EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
		EXPECT_EQ(ReadFile(bodyFile), "precious words\n");
	}
	EXPECT_EQ(files(root + "/News/Outbox"), 0u);
	EXPECT_EQ(files(root + "/News/Drafts"), 0u);

	// Text from standard input that is refused is written to a file that is named.
	std::string longText(13000, 'x');
	longText += "\n";
	RunResult r = run({"post", "A", "--newsgroups", "test.one", "--subject", "Long", "--body", "-"},
		{"TMPDIR=" + mWork.Path()}, longText);
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("bytes long, more than the 12288 bytes"), std::string::npos) << r.err;
	size_t at = r.err.find("the text is kept in ");
	ASSERT_NE(at, std::string::npos) << r.err;
	std::string kept = r.err.substr(at + 20, r.err.find('\n', at) - at - 20);
	EXPECT_EQ(ReadFile(kept), longText);
	r = run({"post", "A", "--newsgroups", "test.one", "--subject", "Bad", "--body", "-"},
		{"TMPDIR=" + mWork.Path()}, "bad \xff byte\n");
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("not valid UTF-8"), std::string::npos) << r.err;
	EXPECT_EQ(files(root + "/News/Outbox"), 0u);
	// A command line that is wrong is a usage error.
	EXPECT_EQ(run({"post", "A", "--subject", "S"}).status, 2);
	EXPECT_EQ(
		run({"post", "A", "--newsgroups", "test.one", "--subject", "S", "--body", "-", "--edit"}).status, 2);
}

TEST_F(PostCommandTest, EditorTextIsTakenAndUnchangedTextCancels)
{
	std::string append = mWork.Sub("append.sh"), empty = mWork.Sub("empty.sh");
	WriteFile(append, "#!/bin/sh\necho 'typed in the editor' >> \"$1\"\n");
	WriteFile(empty, "#!/bin/sh\n: > \"$1\"\n");
	fs::permissions(append, fs::perms::owner_all);
	fs::permissions(empty, fs::perms::owner_all);
	std::vector<std::string> post = {
		"post", "A", "--newsgroups", "test.one", "--subject", "Edited", "--edit"};
	RunResult r = run(post, {"VISUAL=", "EDITOR=true", "TMPDIR=" + mWork.Path()});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("cancelled"), std::string::npos) << r.err;
	r = run(post, {"VISUAL=" + empty, "EDITOR=true", "TMPDIR=" + mWork.Path()});
	EXPECT_EQ(r.status, 1);
	EXPECT_EQ(files(root + "/News/Outbox"), 0u);
	r = run(post, {"VISUAL=" + append, "EDITOR=true", "TMPDIR=" + mWork.Path()});
	ASSERT_EQ(r.status, 0) << r.err;
	std::string b = body(only("News/Outbox"));
	// The prepared text (the signature) is what the editor saw.
	EXPECT_NE(b.find("line 6\ntyped in the editor\n"), std::string::npos) << b;
	// No editor file is left behind.
	size_t left = 0;
	for (const auto& e : fs::directory_iterator(mWork.Path()))
		left += e.path().filename().string().rfind("quillfern-", 0) == 0;
	EXPECT_EQ(left, 0u);
}

TEST_F(PostCommandTest, EditedDraftMovesToTheOutboxLeavingNoCopy)
{
	RunResult r =
		run({"post", "A", "--newsgroups", "test.one", "--subject", "Later", "--body", "-", "--draft"}, {},
			"first words\n");
	ASSERT_EQ(0, r.status) << r.err;
	std::string draftId = r.out.substr(0, r.out.find('\t'));
	// Saved again as a draft with new text: one draft, the new one.
	r = run({"edit", "Drafts", draftId, "--body", "-", "--draft"}, {}, "second words\n");
	ASSERT_EQ(0, r.status) << r.err;
	std::string secondId = r.out.substr(0, r.out.find('\t'));
	EXPECT_NE(secondId, draftId);
	std::string text = only("News/Drafts");
	EXPECT_EQ(header(text, "Subject"), "Later");
	EXPECT_EQ(header(text, "X-Quillfern-Account"), "A");
	EXPECT_EQ(body(text).rfind("second words\n", 0), 0u) << body(text);
	// No second signature is added when editing.
	EXPECT_EQ(body(text).find("-- "), body(text).rfind("-- "));
	// Filed in the Outbox: nothing stays in Drafts.
	r = run({"edit", "Drafts", secondId});
	ASSERT_EQ(0, r.status) << r.err;
	EXPECT_EQ(files(root + "/News/Drafts"), 0u);
	EXPECT_EQ(body(only("News/Outbox")).rfind("second words\n", 0), 0u);
	EXPECT_EQ(run({"edit", "A/test.one", "<x@example.net>"}).status, 1);
}

TEST_F(PostCommandTest, KilledAuthorsLeaveUnreadListsAndCounts)
{
	std::string group = root + "/News/Accounts/A/Groups/test.one";
	seed(group, "<t1@example.net>", "From: Troll <troll@example.net>\nSubject: Bait\nNewsgroups: test.one\n",
		"x\n");
	seed(group, "<t2@example.net>",
		"From: Troll <troll@example.net>\nSubject: More bait\nNewsgroups: test.one\n", "x\n");
	seed(group, "<ok@example.net>", "From: Nice <nice@example.net>\nSubject: Fine\nNewsgroups: test.one\n",
		"x\n");
	RunResult r = run({"groups", "A"});
	EXPECT_NE(r.out.find("test.one\t3\t3\n"), std::string::npos) << r.out;
	r = run({"kill", "A/test.one", "<t1@example.net>"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, "Troll\ttroll@example.net\n");
	r = run({"killfile", "list"});
	EXPECT_EQ(r.out.rfind("Troll\ttroll@example.net\t", 0), 0u) << r.out;
	r = run({"list", "A/test.one", "--unread"});
	EXPECT_EQ(r.out.find("troll"), std::string::npos);
	EXPECT_EQ(r.out.rfind("<ok@example.net>\t", 0), 0u) << r.out;
	EXPECT_NE(run({"list", "A/test.one"}).out.find("<t2@example.net>"), std::string::npos);
	r = run({"groups", "A"});
	EXPECT_NE(r.out.find("test.one\t1\t3\n"), std::string::npos) << r.out;
	r = run({"killfile", "remove", "Nobody"});
	EXPECT_EQ(r.status, 1);
	ASSERT_EQ(run({"killfile", "remove", "Troll"}).status, 0);
	EXPECT_EQ(run({"killfile", "list"}).out, "");
	r = run({"groups", "A"});
	EXPECT_NE(r.out.find("test.one\t3\t3\n"), std::string::npos) << r.out;
}

}  // namespace
