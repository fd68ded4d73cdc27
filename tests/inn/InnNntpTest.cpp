// The Usenet client against a real INN on 127.0.0.1:119: a generated group downloaded as
// headers and as whole articles, bodies of marked header-only messages, and posted articles
// read back from the server.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FileMngr.h"
#include "HeaderUtil.h"
#include "MessageFile.h"
#include "NNTP.h"
#include "TestSupport.h"

namespace {

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

#define REQUIRE_INN() \
	do { \
		if (!innAnswers()) { \
			if (std::getenv("QUILLFERN_REQUIRE_INN")) \
				FAIL() << "INN does not answer on 127.0.0.1:119"; \
			GTEST_SKIP() << "INN is not running on 127.0.0.1:119; start it with tests/servers/inn.sh start"; \
		} \
	} while (0)

// Downloaded files go into one folder, as the message store would file them.
struct Store {
	std::string dir;
	int count = 0;
	static void proc(void* user, const TString&, const TString&, const TString& path, ActivityType)
	{
		auto* s = static_cast<Store*>(user);
		std::string p(path.String());
		EXPECT_EQ(FileMngr::Rename(path, TString((s->dir + p.substr(p.rfind('/'))).c_str())), ErrOkay);
		s->count++;
	}
};

// Header lines joined with their continuations, names lower-cased, trailing blanks dropped.
std::vector<std::string> unfold(const std::vector<std::string>& lines, size_t count)
{
	std::vector<std::string> out;
	for (size_t i = 0; i < count; i++) {
		if (!out.empty() && (lines[i][0] == ' ' || lines[i][0] == '\t'))
			out.back() += lines[i];
		else
			out.push_back(lines[i]);
	}
	for (std::string& h : out) {
		for (size_t k = 0; k < h.size() && h[k] != ':'; k++)
			h[k] = char(std::tolower(static_cast<unsigned char>(h[k])));
		while (!h.empty() && (h.back() == ' ' || h.back() == '\t'))
			h.pop_back();
		size_t colon = h.find(':');
		while (
			colon != std::string::npos && colon + 2 < h.size() && h[colon + 1] == ' ' && h[colon + 2] == ' ')
			h.erase(colon + 1, 1);
	}
	return out;
}

MessageHead headOf(const std::filesystem::path& p)
{
	MessageHead h;
	EXPECT_EQ(h.HeaderRead(TString(p.string().c_str()), MessageHead::kLockWait), ErrOkay);
	return h;
}

}  // namespace

TEST(InnNntp, GroupAsHeadersArticlesAndMarkedBodies)
{
	REQUIRE_INN();
	TextProtocol::Start();
	const std::string group = "quillfern.test.nntp" + std::to_string(static_cast<long>(::getpid()));
	const int count = 300;
	ASSERT_EQ(inn({"newgroup", group}).status, 0);
	TestSupport::RunResult fed = inn({"feed", group, std::to_string(count)});
	ASSERT_EQ(fed.status, 0) << fed.err;

	TestSupport::TempDir dir;
	for (const char* sub : {"tmp", "heads", "whole"})
		::mkdir(dir.Sub(sub).c_str(), 0700);
	NNTP nntp;
	nntp.tempDirectory = dir.Sub("tmp").c_str();
	Store heads{dir.Sub("heads")};
	nntp.DownloadProcSet(&Store::proc, &heads);
	ASSERT_EQ(nntp.Connect("127.0.0.1", "", "", 119), ErrOkay);
	TString g(group.c_str());
	ASSERT_EQ(nntp.DownloadHeaders(g, TString(dir.Sub("heads.state").c_str())), ErrOkay);
	EXPECT_EQ(heads.count, count);
	EXPECT_NE(TestSupport::ReadFile(dir.Sub("heads.state")).find("1 - " + std::to_string(count)),
		std::string::npos);
	// Nothing new the second time.
	ASSERT_EQ(nntp.DownloadHeaders(g, TString(dir.Sub("heads.state").c_str())), ErrOkay);
	EXPECT_EQ(heads.count, count);

	Store whole{dir.Sub("whole")};
	nntp.DownloadProcSet(&Store::proc, &whole);
	ASSERT_EQ(nntp.DownloadArticles(g, TString(dir.Sub("whole.state").c_str())), ErrOkay);
	EXPECT_EQ(whole.count, count);
	for (const auto& e : std::filesystem::directory_iterator(dir.Sub("whole")))
		EXPECT_EQ(headOf(e.path()).MessageStateGet(), MessageStateComplete) << e.path();

	// Mark every tenth header-only message; only those get their bodies, which then match
	// the whole articles byte for byte from the blank line on.
	std::vector<std::string> marked;
	int i = 0;
	for (const auto& e : std::filesystem::directory_iterator(dir.Sub("heads"))) {
		if (i++ % 10 != 0)
			continue;
		MessageHead h = headOf(e.path());
		EXPECT_EQ(h.MessageStateGet(), MessageStateHeaders);
		h.MessageDownloadSet(MessageDownloadMarked);
		ASSERT_EQ(h.StateWrite(TString(e.path().string().c_str())), ErrOkay);
		marked.push_back(e.path().filename().string());
	}
	::mkdir(dir.Sub("bodies").c_str(), 0700);
	Store bodies{dir.Sub("bodies")};
	nntp.DownloadProcSet(&Store::proc, &bodies);
	ASSERT_EQ(nntp.DownloadBodiesMarked(g, TString(dir.Sub("heads").c_str())), ErrOkay);
	EXPECT_EQ(bodies.count, static_cast<int>(marked.size()));
	for (const std::string& leaf : marked) {
		std::string got = TestSupport::ReadFile(dir.Sub("bodies/" + leaf));
		std::string want = TestSupport::ReadFile(dir.Sub("whole/" + leaf));
		EXPECT_EQ(headOf(dir.Sub("bodies/" + leaf)).MessageStateGet(), MessageStateComplete);
		ASSERT_NE(got.find("\n\n"), std::string::npos);
		EXPECT_EQ(got.substr(got.find("\n\n")), want.substr(want.find("\n\n"))) << leaf;
	}
	nntp.Disconnect();
	inn({"rmgroup", group});
}

TEST(InnNntp, PostedArticlesReadBackByteForByte)
{
	REQUIRE_INN();
	TextProtocol::Start();
	const std::string group = "quillfern.test.post" + std::to_string(static_cast<long>(::getpid()));
	ASSERT_EQ(inn({"newgroup", group}).status, 0);

	TestSupport::TempDir dir;
	::mkdir(dir.Sub("outbox").c_str(), 0700);
	// The first and the last subject are encoded into words long enough to need folding; a
	// header line with nothing after its colon would make INN refuse the article.
	const char* subjects[] = {"Gr\xC3\xBC\xC3\x9F"
							  "e aus K\xC3\xB6ln \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC",
		"plain subject",
		"\xC3\x9C\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC"
		"berl\xC3\xA4nge \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE4\xBB\xB6\xE5\x90\x8D "
		"und noch viel mehr Text, der nicht in eine Zeile passt \xE2\x80\x94 \xC3\xA9t\xC3\xA9 \xC3\xA0 "
		"Z\xC3\xBCrich"};
	const char* bodies[] = {
		".signature\n..two dots\n.\nend", "line one\n. lone dot and space\n\xC3\xA9t\xC3\xA9", "short"};
	constexpr int kCount = 3;
	std::vector<std::vector<std::string>> sent;
	NNTP nntp;
	nntp.HardSet("User-Agent", "Quillfern test");
	for (int k = 0; k < kCount; k++) {
		MessageFile::Data d;
		d.subject = subjects[k];
		d.newsgroupsTo = group.c_str();
		d.authorName = "J\xC3\xB6rg";
		d.authorAddress = "joerg@example.org";
		d.account = "tester";
		d.charset = kCharsetUTF8;
		d.body = bodies[k];
		MessageFile f;
		TString path(dir.Sub("outbox/m" + std::to_string(k) + ".qmsg").c_str());
		ASSERT_EQ(f.Create(path, d), ErrOkay);
		ASSERT_EQ(f.RenameToPreferred(path), ErrOkay);
		// The lines as they go to the server.
		std::vector<std::string> lines;
		ASSERT_EQ(f.UploadOpen(path, nntp.HardGet()), ErrOkay);
		TString line;
		while (f.UploadLine(line) == ErrOkay)
			lines.emplace_back(line.String(), size_t(line.ByteLength()));
		f.UploadClose();
		for (const std::string& l : lines) {
			if (l.empty())
				break;
			bool continuation = l[0] == ' ' || l[0] == '\t';
			EXPECT_TRUE(continuation || l.back() != ':') << "header line without a value: " << l;
		}
		sent.push_back(lines);
	}
	nntp.Activity().account = "Tester";
	int posted = 0;
	nntp.UploadProcSet(
		[](void* user, const TString&, const TString& path, ActivityType) {
			++*static_cast<int*>(user);
			FileMngr::Remove(path);
		},
		&posted);
	ASSERT_EQ(nntp.Connect("127.0.0.1", "", "", 119), ErrOkay);
	Error up = nntp.Upload(TString(dir.Sub("outbox").c_str()));
	TString why;
	ASSERT_EQ(up, ErrOkay) << nntp.LastError(why, up);
	EXPECT_EQ(posted, kCount);

	for (size_t k = 0; k < sent.size(); k++) {
		const std::vector<std::string>& lines = sent[k];
		std::string id;
		for (const std::string& l : lines)
			if (l.rfind("Message-ID: ", 0) == 0)
				id = l.substr(12);
		ASSERT_FALSE(id.empty());
		ASSERT_EQ(nntp.CmndSend("ARTICLE", TString(id.c_str())), ErrOkay);
		std::vector<std::string> got;
		TString line;
		Error e;
		while ((e = nntp.DotLineRead(line)) == ErrOkay)
			got.emplace_back(line.String(), size_t(line.ByteLength()));
		ASSERT_EQ(e, ErrFileEnd);
		// Every header we sent comes back (unfolded, the name in any case, without trailing
		// blanks; the server adds its own), and the body is the same line for line.
		size_t sentBlank = 0, gotBlank = 0;
		while (sentBlank < lines.size() && !lines[sentBlank].empty())
			sentBlank++;
		while (gotBlank < got.size() && !got[gotBlank].empty())
			gotBlank++;
		std::vector<std::string> gotHeaders = unfold(got, gotBlank);
		for (const std::string& h : unfold(lines, sentBlank))
			EXPECT_NE(std::find(gotHeaders.begin(), gotHeaders.end(), h), gotHeaders.end()) << h;
		EXPECT_EQ(std::vector<std::string>(got.begin() + long(gotBlank), got.end()),
			std::vector<std::string>(lines.begin() + long(sentBlank), lines.end()));
		// The subject as the server keeps it decodes to the one written.
		TString subject;
		for (const std::string& h : gotHeaders)
			if (h.rfind("subject: ", 0) == 0)
				HeaderUtil::Decode(subject, TString(h.substr(9).c_str()));
		EXPECT_STREQ(subject.String(), subjects[k]);
	}
	nntp.Disconnect();
	inn({"rmgroup", group});
}
