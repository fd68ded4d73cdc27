// The demonstration news server: a whole reader session over a socket, as a newsreader and a
// person at a terminal would hold it, then the server stopping when its standard input closes.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

// The server as a child process: its standard input a pipe we hold, its port read from the
// first line of its standard output.
class DemoProcess {
public:
	DemoProcess()
	{
		int in[2], out[2];
		if (pipe(in) != 0 || pipe(out) != 0)
			return;
		mPid = fork();
		if (mPid == 0) {
			dup2(in[0], 0);
			dup2(out[1], 1);
			close(in[1]);
			close(out[0]);
			execl(QUILLFERN_DEMO_SERVER, QUILLFERN_DEMO_SERVER, static_cast<char*>(nullptr));
			_exit(127);
		}
		close(in[0]);
		close(out[1]);
		mStdin = in[1];
		mStdout = out[0];
		std::string line;
		char c;
		while (read(mStdout, &c, 1) == 1 && c != '\n')
			line += c;
		// The first line is the port; anything else leaves the port 0, which the tests refuse.
		int port = 0;
		auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), port);
		if (ec == std::errc() && end == line.data() + line.size() && port > 0 && port < 65536)
			mPort = port;
	}

	~DemoProcess()
	{
		if (mPid > 0 && !mExited) {
			kill(mPid, SIGKILL);
			waitpid(mPid, nullptr, 0);
		}
		if (mStdin >= 0)
			close(mStdin);
		if (mStdout >= 0)
			close(mStdout);
	}

	// Closes its standard input and waits up to five seconds for it to end; its exit status.
	int CloseAndWait()
	{
		close(mStdin);
		mStdin = -1;
		for (int i = 0; i < 500; ++i) {
			int status = 0;
			if (waitpid(mPid, &status, WNOHANG) == mPid) {
				mExited = true;
				return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
			}
			usleep(10000);
		}
		return -2;
	}

	int Port() const { return mPort; }

private:
	pid_t mPid = -1;
	int mStdin = -1;
	int mStdout = -1;
	int mPort = 0;
	bool mExited = false;
};

class Client {
public:
	explicit Client(int port)
	{
		mFd = socket(AF_INET, SOCK_STREAM, 0);
		sockaddr_in addr{};
		addr.sin_family = AF_INET;
		addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		addr.sin_port = htons(static_cast<uint16_t>(port));
		mConnected = connect(mFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
	}
	~Client() { close(mFd); }
	bool Connected() const { return mConnected; }

	void Send(const std::string& text)
	{
		ASSERT_EQ(write(mFd, text.data(), text.size()), (ssize_t)text.size());
	}

	// One line without CR LF; "" on time-out or close.
	std::string Line()
	{
		for (;;) {
			size_t end = mIn.find("\r\n");
			if (end != std::string::npos) {
				std::string line = mIn.substr(0, end);
				mIn.erase(0, end + 2);
				return line;
			}
			pollfd p{mFd, POLLIN, 0};
			char buf[4096];
			ssize_t n = poll(&p, 1, 5000) > 0 ? read(mFd, buf, sizeof buf) : 0;
			if (n <= 0) {
				mDead = true;
				return "";
			}
			mIn.append(buf, static_cast<size_t>(n));
		}
	}

	std::string Command(const std::string& line)
	{
		Send(line + "\r\n");
		return Line();
	}

	// The lines of a multi-line block up to the "." line, dot-stuffing undone.
	std::vector<std::string> Block()
	{
		std::vector<std::string> lines;
		for (std::string line = Line(); line != "." && !mDead; line = Line()) {
			lines.push_back(line.size() > 1 && line[0] == '.' ? line.substr(1) : line);
		}
		return lines;
	}

private:
	int mFd = -1;
	bool mConnected = false;
	bool mDead = false;  // timed out or closed
	std::string mIn;
};

bool startsWith(const std::string& s, const std::string& prefix)
{
	return s.compare(0, prefix.size(), prefix) == 0;
}

TEST(DemoServer, AnswersAWholeReaderSession)
{
	DemoProcess server;
	ASSERT_GT(server.Port(), 0);
	Client c(server.Port());
	ASSERT_TRUE(c.Connected());
	EXPECT_TRUE(startsWith(c.Line(), "200 "));
	EXPECT_TRUE(startsWith(c.Command("MODE READER"), "200 "));

	ASSERT_TRUE(startsWith(c.Command("LIST"), "215 "));
	std::vector<std::string> list = c.Block();
	EXPECT_EQ(list.size(), 5u);
	EXPECT_NE(std::find(list.begin(), list.end(), "rec.gardening.ferns 7 1 y"), list.end());
	EXPECT_NE(std::find(list.begin(), list.end(), "misc.test 0 0 y"), list.end());

	EXPECT_EQ(c.Command("GROUP no.such.group"), "411 No such newsgroup");
	EXPECT_EQ(c.Command("HEAD 1"), "412 No newsgroup selected");
	EXPECT_EQ(c.Command("GROUP rec.gardening.ferns"), "211 7 1 7 rec.gardening.ferns");

	// Overview: the thread's References, and dates moved to the recent past.
	ASSERT_TRUE(startsWith(c.Command("XOVER 1-3"), "224 "));
	std::vector<std::string> over = c.Block();
	ASSERT_EQ(over.size(), 3u);
	EXPECT_TRUE(startsWith(over[0], "1\tMaidenhair fern browning at the tips\tMargaret Holloway"));
	EXPECT_NE(
		over[2].find("\t<mh.20261130081422@example.com> <a7f3k2@news.example.net>\t"), std::string::npos);
	EXPECT_TRUE(startsWith(c.Command("OVER 7-"), "224 "));
	EXPECT_EQ(c.Block().size(), 1u);

	ASSERT_EQ(c.Command("HEAD 1"), "221 1 <mh.20261130081422@example.com>");
	std::vector<std::string> head = c.Block();
	EXPECT_EQ(head.front(), "Path: demo.example.net!not-for-mail");
	EXPECT_EQ(head.back(), "Xref: demo.example.net rec.gardening.ferns:1");
	std::string date;
	for (const std::string& h : head)
		if (startsWith(h, "Date: "))
			date = h.substr(6);
	// Within the last fortnight, so that no expiry takes the demonstration away.
	struct tm t = {};
	ASSERT_NE(strptime(date.c_str(), "%a, %d %b %Y %H:%M:%S", &t), nullptr) << date;
	double age = std::difftime(std::time(nullptr), timegm(&t));
	EXPECT_GT(age, 0);
	EXPECT_LT(age, 14 * 86400.0);

	ASSERT_EQ(c.Command("BODY <a7f3k2@news.example.net>"), "222 0 <a7f3k2@news.example.net>");
	std::vector<std::string> body = c.Block();
	EXPECT_EQ(body[0], "Margaret Holloway wrote:");
	EXPECT_TRUE(startsWith(c.Command("ARTICLE 7"), "220 7 <dv-offline-2026@example.net>"));
	std::vector<std::string> article = c.Block();
	EXPECT_NE(std::find(article.begin(), article.end(),
				  "Xref: demo.example.net news.software.readers:1 "
				  "rec.gardening.ferns:7"),
		article.end());
	EXPECT_EQ(c.Command("STAT 8"), "423 No article with that number");
	EXPECT_EQ(c.Command("STAT <none@example.com>"), "430 No article with that message-id");
	EXPECT_EQ(c.Command("STAT"), "223 7 <dv-offline-2026@example.net>");
	EXPECT_EQ(c.Command("NEXT"), "421 No next article in this group");
	EXPECT_EQ(c.Command("LAST"), "223 6 <b81d40@news.example.net>");

	// A post is kept in memory and served at once, dot-stuffing undone both ways.
	ASSERT_TRUE(startsWith(c.Command("POST"), "340 "));
	c.Send("From: Test Poster <poster@example.com>\r\nNewsgroups: misc.test\r\nSubject: Hello\r\n"
		   "Message-ID: <posted.1@example.com>\r\n\r\nFirst line\r\n..leading dot\r\n.\r\n");
	EXPECT_EQ(c.Line(), "240 Article received OK");
	ASSERT_TRUE(startsWith(c.Command("POST"), "340 "));
	c.Send("From: Test Poster <poster@example.com>\r\nNewsgroups: misc.test\r\nSubject: Again\r\n"
		   "Message-ID: <posted.1@example.com>\r\n\r\nSame id\r\n.\r\n");
	EXPECT_TRUE(startsWith(c.Line(), "441 "));
	ASSERT_TRUE(startsWith(c.Command("POST"), "340 "));
	c.Send(
		"From: Test Poster <poster@example.com>\r\nNewsgroups: no.such.group\r\nSubject: Lost\r\n\r\nx\r\n.\r\n");
	EXPECT_TRUE(startsWith(c.Line(), "441 "));
	EXPECT_EQ(c.Command("GROUP misc.test"), "211 1 1 1 misc.test");
	ASSERT_EQ(c.Command("BODY 1"), "222 1 <posted.1@example.com>");
	EXPECT_EQ(c.Block(), (std::vector<std::string>{"First line", ".leading dot"}));

	// Garbage and over-long lines get error replies; the session goes on.
	EXPECT_TRUE(startsWith(c.Command("FROBNICATE"), "500 "));
	EXPECT_TRUE(startsWith(c.Command(std::string(100000, 'x')), "501 "));
	EXPECT_TRUE(startsWith(c.Command("XOVER abc"), "501 "));
	EXPECT_TRUE(startsWith(c.Command("DATE"), "111 "));
	EXPECT_EQ(c.Command("QUIT"), "205 Bye");

	EXPECT_EQ(server.CloseAndWait(), 0);
}

// What make run shows, checked: the list downloaded, groups subscribed, every article fetched
// and filed, threads and charsets right, and the two-part binary decoded whole.
TEST(DemoServer, TheNewsreaderReadsItsGroups)
{
	DemoProcess server;
	ASSERT_GT(server.Port(), 0);
	TestSupport::TempDir root;
	auto run = [&](std::vector<std::string> args) {
		args.insert(args.begin(), {"--root", root.Path()});
		return TestSupport::RunQuillfern(args);
	};
	TestSupport::RunResult r =
		run({"account", "add", "demo", "--server", "127.0.0.1", "--port", std::to_string(server.Port())});
	ASSERT_EQ(r.status, 0) << r.err;
	r = run({"account", "check", "demo"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.out.find("demonstration news server"), std::string::npos) << r.out;

	r = run({"groups", "refresh", "demo"});
	ASSERT_EQ(r.status, 0) << r.err;
	r = run({"groups", "search", "demo", "ferns"});
	EXPECT_EQ(r.out, "alt.binaries.pictures.ferns\nrec.gardening.ferns\n");
	r = run({"subscribe", "demo", "rec.gardening.ferns", "de.rec.garten", "alt.binaries.pictures.ferns"});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.err, "");
	r = run({"fetch", "demo"});
	ASSERT_EQ(r.status, 0) << r.err;
	const char* counts =
		"alt.binaries.pictures.ferns\t2\t2\nde.rec.garten\t3\t3\nrec.gardening.ferns\t7\t7\n";
	EXPECT_EQ(run({"groups", "demo"}).out, counts);

	// The thread of four: the start, two replies to it, and a reply to a reply.
	r = run({"list", "demo/rec.gardening.ferns", "--threaded"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.out.find("0\t<mh.20261130081422@example.com>\t"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("2\t<mh.20261130180251@example.com>\t"), std::string::npos) << r.out;
	// Encoded words decoded (UTF-8) ...
	EXPECT_NE(r.out.find("Spore sowing: Dryopteris \xc3\x97 complexa"), std::string::npos) << r.out;
	EXPECT_NE(r.out.find("Ren\xc3\xa9"), std::string::npos) << r.out;
	// ... and ISO-8859-1 bodies read as UTF-8.
	r = run({"read", "demo/de.rec.garten", "<bru.77120@mail.example.com>"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_NE(r.out.find("J\xc3\xbcrgen K\xc3\xb6hler schrieb:"), std::string::npos) << r.out;

	TestSupport::TempDir files;
	r = run({"decode", "demo/alt.binaries.pictures.ferns", "<part1of2.hartstongue.png@example.com>", "--to",
		files.Path()});
	EXPECT_EQ(r.status, 0) << r.err;
	std::string png = TestSupport::ReadFile(files.Sub("hartstongue.png"));
	EXPECT_EQ(png.size(), 5876u);
	EXPECT_EQ(png.substr(0, 4), "\x89PNG");

	// A second fetch finds nothing new and loses nothing (the article read stays read).
	r = run({"fetch", "demo"});
	EXPECT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(run({"groups", "demo"}).out,
		"alt.binaries.pictures.ferns\t2\t2\nde.rec.garten\t2\t3\nrec.gardening.ferns\t7\t7\n");
	EXPECT_EQ(server.CloseAndWait(), 0);
}

}  // namespace
