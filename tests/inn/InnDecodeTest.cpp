// Binaries through a real INN on 127.0.0.1:119: a file encoded by uuenview as multi-part yEnc
// and as multi-part uuencode is posted, the group downloaded into a message directory, and
// quillfern decode gives back the original byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "FileMngr.h"
#include "HeaderUtil.h"
#include "MessageFile.h"
#include "MessageHead.h"
#include "NNTP.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

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

// Downloaded articles go into the message directory under their message file names.
struct Filed {
	std::string mdir;
	int count = 0;
	static void proc(void* user, const TString&, const TString&, const TString& path, ActivityType)
	{
		auto* f = static_cast<Filed*>(user);
		MessageHead h;
		EXPECT_EQ(h.HeaderRead(path, MessageHead::kLockWait), ErrOkay);
		TString leaf;
		h.AttrFilename(leaf);
		EXPECT_EQ(FileMngr::Rename(path, TString((f->mdir + "/" + leaf.String()).c_str())), ErrOkay);
		f->count++;
	}
};

// An outbox message for the account "tester", made as composing makes it, whose body is then the
// encoder's lines as they are; returns its Message-ID.
std::string outboxPut(const std::string& outbox, int number, const std::string& group,
	const std::string& subject, const std::string& body)
{
	MessageFile::Data d;
	d.subject = subject.c_str();
	d.newsgroupsTo = group.c_str();
	d.authorName = "Poster";
	d.authorAddress = "poster@example.org";
	d.account = "tester";
	d.charset = kCharsetUTF8;
	d.body = "-";  // replaced below
	MessageFile f;
	TString path((outbox + "/m" + std::to_string(number) + ".qmsg").c_str());
	EXPECT_EQ(f.Create(path, d), ErrOkay);
	EXPECT_EQ(f.RenameToPreferred(path), ErrOkay);
	std::string text = TestSupport::ReadFile(path.String());
	size_t blank = text.find("\n\n");
	EXPECT_NE(blank, std::string::npos);
	TestSupport::WriteFile(path.String(), text.substr(0, blank + 2) + body);
	MessageHead h;
	EXPECT_EQ(h.HeaderRead(path, MessageHead::kLockWait), ErrOkay);
	TString id;
	h.AttrMessageID(id);
	return id.String();
}

}  // namespace

TEST(InnDecode, UuenviewBinariesPostedDownloadedAndDecoded)
{
	if (!innAnswers()) {
		if (std::getenv("QUILLFERN_REQUIRE_INN"))
			FAIL() << "INN does not answer on 127.0.0.1:119";
		GTEST_SKIP() << "INN is not running on 127.0.0.1:119; start it with tests/servers/inn.sh start";
	}
	if (std::system("command -v uuenview >/dev/null 2>&1") != 0)
		GTEST_SKIP() << "uuenview (Debian package uudeview) is not installed";
	TextProtocol::Start();
	const std::string pid = std::to_string(static_cast<long>(::getpid()));
	const std::string group = "quillfern.test.binaries" + pid;
	ASSERT_EQ(inn({"newgroup", group}).status, 0);

	TestSupport::TempDir tmp;
	std::string root = tmp.Sub("root");
	ASSERT_EQ(TestSupport::RunQuillfern({"--root", root, "init"}).status, 0);
	std::string mdir = root + "/Saved/Bin";
	fs::create_directories(mdir);
	for (const char* sub : {"src", "yenc", "uu", "outbox", "tmp", "out"})
		fs::create_directories(tmp.Sub(sub));

	// Random bytes, every byte value, and a size that leaves a short last line.
	std::string data(180001, '\0');
	std::mt19937 gen(22);
	for (char& c : data)
		c = char(gen() & 0xFF);
	TestSupport::WriteFile(tmp.Sub("src/pic.dat"), data);
	TestSupport::WriteFile(tmp.Sub("src/notes.bin"), data.substr(0, 70000));
	std::string cmd = "cd '" + tmp.Sub("src") + "' && uuenview -y -500 -od '" + tmp.Sub("yenc") +
		"' pic.dat >/dev/null 2>&1 && uuenview -u -300 -od '" + tmp.Sub("uu") + "' notes.bin >/dev/null 2>&1";
	ASSERT_EQ(std::system(cmd.c_str()), 0);

	// Every part file becomes an article; the parts go out in reverse so that the server's
	// order is not the part order.
	struct Set {
		std::string name, dir, firstId;
		int parts = 0;
	};
	std::vector<Set> sets = {{"pic.dat", "yenc", "", 0}, {"notes.bin", "uu", "", 0}};
	int made = 0;
	for (Set& s : sets) {
		std::vector<std::string> files;
		for (const auto& e : fs::directory_iterator(tmp.Sub(s.dir)))
			files.push_back(e.path().string());
		std::sort(files.begin(), files.end());
		s.parts = int(files.size());
		ASSERT_GE(s.parts, 3) << s.name;
		for (int i = s.parts; i >= 1; --i) {
			std::string subject = s.name + " (" + std::to_string(i) + "/" + std::to_string(s.parts) + ")";
			std::string id = outboxPut(
				tmp.Sub("outbox"), ++made, group, subject, TestSupport::ReadFile(files[size_t(i - 1)]));
			if (i == 1)
				s.firstId = id;
		}
	}

	NNTP nntp;
	nntp.tempDirectory = tmp.Sub("tmp").c_str();
	nntp.Activity().account = "tester";
	int posted = 0;
	nntp.UploadProcSet(
		[](void* user, const TString&, const TString& path, ActivityType) {
			++*static_cast<int*>(user);
			FileMngr::Remove(path);
		},
		&posted);
	ASSERT_EQ(nntp.Connect("127.0.0.1", "", "", 119), ErrOkay);
	Error up = nntp.Upload(TString(tmp.Sub("outbox").c_str()));
	TString why;
	ASSERT_EQ(up, ErrOkay) << nntp.LastError(why, up);
	ASSERT_EQ(posted, sets[0].parts + sets[1].parts);

	Filed filed{mdir};
	nntp.DownloadProcSet(&Filed::proc, &filed);
	TString g(group.c_str());
	ASSERT_EQ(nntp.DownloadArticles(g, TString(tmp.Sub("state").c_str())), ErrOkay);
	EXPECT_EQ(filed.count, posted);
	nntp.Disconnect();
	inn({"rmgroup", group});

	for (const Set& s : sets) {
		TestSupport::RunResult r = TestSupport::RunQuillfern(
			{"--root", root, "decode", "Saved/Bin", s.firstId, "--to", tmp.Sub("out")});
		ASSERT_EQ(r.status, 0) << s.name << ": " << r.err;
		EXPECT_EQ(r.out, tmp.Sub("out/" + s.name) + "\n");
		EXPECT_EQ(
			TestSupport::ReadFile(tmp.Sub("out/" + s.name)), TestSupport::ReadFile(tmp.Sub("src/" + s.name)))
			<< s.name;
	}
	// Nothing else was left in the folder: no temporary or half-written file.
	int files = 0;
	for ([[maybe_unused]] const auto& e : fs::directory_iterator(tmp.Sub("out")))
		++files;
	EXPECT_EQ(files, 2);
}
