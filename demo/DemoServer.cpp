#include "DemoServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sstream>

namespace {

const size_t kCommandMax = 2048;  // longer command lines are refused
const size_t kPostMax = 1 << 20;  // a posted article may have this many bytes

// One client connection: lines in, replies out.
class Conn {
public:
	explicit Conn(int fd) : mFd(fd) {}

	// The next line without its CR LF; false when the client went. A line longer than max
	// comes back cut, with tooLong set, its rest skipped.
	bool Line(std::string& line, size_t max, bool& tooLong)
	{
		tooLong = false;
		for (;;) {
			size_t end = mIn.find('\n');
			if (end != std::string::npos) {
				if (mSkip) {
					mSkip = false;  // line holds the kept start already
					tooLong = true;
				} else {
					tooLong = end > max;
					line = mIn.substr(0, std::min(end, max));
				}
				mIn.erase(0, end + 1);
				if (!line.empty() && line.back() == '\r')
					line.pop_back();
				return true;
			}
			if (!mSkip && mIn.size() > max) {
				line = mIn.substr(0, max);
				mSkip = true;
			}
			if (mSkip)
				mIn.clear();
			int on = 1;
			setsockopt(mFd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
			char buf[65536];
			ssize_t n = recv(mFd, buf, sizeof buf, 0);
			if (n < 0 && errno == EINTR)
				continue;
			if (n <= 0)
				return false;
			mIn.append(buf, static_cast<size_t>(n));
		}
	}

	bool Send(const std::string& bytes)
	{
		size_t done = 0;
		while (done < bytes.size()) {
			ssize_t n = send(mFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
			if (n < 0 && errno == EINTR)
				continue;
			if (n <= 0)
				return false;
			done += static_cast<size_t>(n);
		}
		return true;
	}

	bool Reply(const std::string& line) { return Send(line + "\r\n"); }

	// Text lines as a multi-line block: CR LF ends, dot-stuffed, ended by ".".
	bool Block(const std::string& status, const std::string& text)
	{
		std::string out = status + "\r\n";
		std::stringstream in(text);
		std::string line;
		while (std::getline(in, line)) {
			if (!line.empty() && line[0] == '.')
				out += '.';
			out += line + "\r\n";
		}
		return Send(out + ".\r\n");
	}

private:
	int mFd;
	std::string mIn;
	bool mSkip = false;
};

std::string upper(std::string s)
{
	std::transform(
		s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
	return s;
}

std::vector<std::string> words(const std::string& line)
{
	std::vector<std::string> out;
	std::stringstream in(line);
	std::string w;
	while (in >> w)
		out.push_back(w);
	return out;
}

// A decimal article number of at most 15 digits; false for anything else.
bool number(const std::string& text, long& out)
{
	if (text.empty() || text.size() > 15 || !std::all_of(text.begin(), text.end(), ::isdigit))
		return false;
	out = std::stol(text);
	return true;
}

// "N", "N-" or "N-M"; the default is the whole group.
bool range(const std::string& text, long high, long& from, long& to)
{
	size_t dash = text.find('-');
	if (dash == std::string::npos) {
		if (!number(text, from))
			return false;
		to = from;
		return true;
	}
	if (!number(text.substr(0, dash), from))
		return false;
	if (dash + 1 == text.size()) {
		to = high;
		return true;
	}
	return number(text.substr(dash + 1), to);
}

// A simple wildmat: "*" and "?" only, several patterns separated by ",".
bool wildmatOne(const char* p, const char* s)
{
	if (!*p)
		return !*s;
	if (*p == '*')
		return wildmatOne(p + 1, s) || (*s && wildmatOne(p, s + 1));
	if (!*s)
		return false;
	return (*p == '?' || *p == *s) && wildmatOne(p + 1, s + 1);
}

bool wildmat(const std::string& patterns, const std::string& name)
{
	std::stringstream in(patterns);
	std::string p;
	bool match = false;
	while (std::getline(in, p, ',')) {
		bool negate = !p.empty() && p[0] == '!';
		if (negate)
			p.erase(0, 1);
		if (p.size() <= 256 && wildmatOne(p.c_str(), name.c_str()))
			match = !negate;
	}
	return match;
}

// The system's text for an error number; strerror_r, since clients are served on threads.
std::string errorText(int err)
{
	char text[128];
	return strerror_r(err, text, sizeof text);
}

}  // namespace

DemoServer::~DemoServer()
{
	Stop();
}

bool DemoServer::Listen(uint16_t port, std::string& error)
{
	mListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (mListen < 0) {
		error = errorText(errno);
		return false;
	}
	int on = 1;
	setsockopt(mListen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
	sockaddr_in addr{};
	addr.sin_family = AF_INET;
	addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	addr.sin_port = htons(port);
	socklen_t len = sizeof addr;
	if (bind(mListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(mListen, 16) != 0 ||
		getsockname(mListen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
		error = errorText(errno);
		close(mListen);
		mListen = -1;
		return false;
	}
	mPort = ntohs(addr.sin_port);
	return true;
}

void DemoServer::Serve(const std::vector<int>& stopFds)
{
	std::vector<pollfd> fds;
	fds.push_back({mListen, POLLIN, 0});
	for (int fd : stopFds)
		fds.push_back({fd, POLLIN, 0});
	for (;;) {
		int n = poll(fds.data(), fds.size(), -1);
		if (n < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		for (size_t i = 1; i < fds.size(); ++i) {
			if (!fds[i].revents)
				continue;
			char buf[512];
			ssize_t got = read(fds[i].fd, buf, sizeof buf);
			if (got <= 0 && !(got < 0 && errno == EINTR))
				return;  // the pipe closed
			if (got > 0 && i > 1)
				return;  // a signal's byte
		}
		if (fds[0].revents & POLLIN) {
			int client = accept4(mListen, nullptr, nullptr, SOCK_CLOEXEC);
			if (client < 0)
				continue;
			int on = 1;
			setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
			std::lock_guard<std::mutex> held(mLock);
			mClients.insert(client);
			mThreads.emplace_back(&DemoServer::session, this, client);
		}
	}
}

void DemoServer::Stop()
{
	{
		std::lock_guard<std::mutex> held(mLock);
		for (int fd : mClients)
			shutdown(fd, SHUT_RDWR);
	}
	for (std::thread& t : mThreads)
		if (t.joinable())
			t.join();
	mThreads.clear();
	if (mListen >= 0)
		close(mListen);
	mListen = -1;
}

void DemoServer::session(int fd)
{
	Conn c(fd);
	std::string group;  // the current newsgroup
	long current = 0;  // the current article number; 0 when none
	bool authUser = false;
	c.Reply("200 Quillfern demonstration news server ready (posting ok)");
	std::string line;
	bool tooLong = false;
	auto select = [&](const std::string& arg, DemoArticles::Article& a, long& num) -> bool {
		// By message-ID, by number in the current group, or the current article.
		num = 0;
		if (!arg.empty() && arg[0] == '<') {
			if (!mArticles.ById(arg, a))
				return c.Reply("430 No article with that message-id"), false;
			return true;
		}
		if (group.empty())
			return c.Reply("412 No newsgroup selected"), false;
		if (arg.empty()) {
			if (current == 0 || !mArticles.ByNumber(group, current, a))
				return c.Reply("420 Current article number is invalid"), false;
			num = current;
			return true;
		}
		if (!number(arg, num))
			return c.Reply("501 Syntax error"), false;
		if (!mArticles.ByNumber(group, num, a))
			return c.Reply("423 No article with that number"), false;
		current = num;
		return true;
	};
	while (c.Line(line, kCommandMax, tooLong)) {
		if (tooLong) {
			c.Reply("501 Command line too long");
			continue;
		}
		std::vector<std::string> w = words(line);
		if (w.empty()) {
			c.Reply("500 Empty command");
			continue;
		}
		std::string cmd = upper(w[0]);
		std::string arg = w.size() > 1 ? w[1] : "";
		if (cmd == "QUIT") {
			c.Reply("205 Bye");
			break;
		} else if (cmd == "MODE" && upper(arg) == "READER") {
			c.Reply("200 Reader mode, posting allowed");
		} else if (cmd == "CAPABILITIES") {
			c.Block("101 Capability list:",
				"VERSION 2\nREADER\nPOST\nLIST ACTIVE NEWSGROUPS OVERVIEW.FMT\nOVER\n"
				"AUTHINFO USER\nIMPLEMENTATION Quillfern demonstration server\n");
		} else if (cmd == "DATE") {
			char out[32];
			time_t now = std::time(nullptr);
			struct tm t = {};
			gmtime_r(&now, &t);
			std::strftime(out, sizeof out, "111 %Y%m%d%H%M%S", &t);
			c.Reply(out);
		} else if (cmd == "HELP") {
			c.Block("100 Help text follows",
				"ARTICLE BODY HEAD STAT [number|<message-id>]\nGROUP newsgroup\nLISTGROUP [newsgroup]\n"
				"LIST [ACTIVE|NEWSGROUPS [wildmat]|OVERVIEW.FMT]\nOVER XOVER [range]\nNEXT LAST\nPOST\nDATE\n"
				"MODE READER\nQUIT\n");
		} else if (cmd == "AUTHINFO") {
			std::string kind = upper(arg);
			if (kind == "USER" && w.size() > 2) {
				authUser = true;
				c.Reply("381 Password required");
			} else if (kind == "PASS" && w.size() > 2 && authUser) {
				c.Reply("281 Authentication accepted");
			} else if (kind == "PASS") {
				c.Reply("482 Authentication commands issued out of sequence");
			} else {
				c.Reply("501 Syntax error");
			}
		} else if (cmd == "LIST") {
			std::string kind = arg.empty() ? "ACTIVE" : upper(arg);
			std::string pattern = w.size() > 2 ? w[2] : "*";
			std::string out;
			if (kind == "OVERVIEW.FMT") {
				c.Block("215 Order of fields in overview database",
					"Subject:\nFrom:\nDate:\nMessage-ID:\nReferences:\n:bytes\n:lines\n");
				continue;
			}
			if (kind != "ACTIVE" && kind != "NEWSGROUPS") {
				c.Reply("503 Not supported by this server");
				continue;
			}
			for (const std::string& name : mArticles.GroupNames()) {
				DemoArticles::Group g;
				if (!wildmat(pattern, name) || !mArticles.GroupInfo(name, g))
					continue;
				long high = static_cast<long>(g.articles.size());
				if (kind == "ACTIVE")
					out += name + " " + std::to_string(high) + " " + std::to_string(high ? 1 : 0) + " y\n";
				else
					out += name + "\t" + g.description + "\n";
			}
			c.Block(kind == "ACTIVE" ? "215 List of newsgroups follows" : "215 Descriptions follow", out);
		} else if (cmd == "GROUP" || cmd == "LISTGROUP") {
			std::string name = arg.empty() && cmd == "LISTGROUP" ? group : arg;
			DemoArticles::Group g;
			if (name.empty()) {
				c.Reply(cmd == "GROUP" ? "501 Syntax error" : "412 No newsgroup selected");
				continue;
			}
			if (!mArticles.GroupInfo(name, g)) {
				c.Reply("411 No such newsgroup");
				continue;
			}
			group = name;
			long high = static_cast<long>(g.articles.size());
			current = high ? 1 : 0;
			std::string status = "211 " + std::to_string(high) + " " + std::to_string(high ? 1 : 0) + " " +
				std::to_string(high) + " " + name;
			if (cmd == "GROUP") {
				c.Reply(status);
			} else {
				std::string out;
				for (long n = 1; n <= high; ++n)
					out += std::to_string(n) + "\n";
				c.Block(status + " list follows", out);
			}
		} else if (cmd == "OVER" || cmd == "XOVER") {
			DemoArticles::Group g;
			if (group.empty() || !mArticles.GroupInfo(group, g)) {
				c.Reply("412 No newsgroup selected");
				continue;
			}
			long high = static_cast<long>(g.articles.size());
			long from = current, to = current;
			if (!arg.empty() && arg[0] == '<') {
				DemoArticles::Article a;
				if (!mArticles.ById(arg, a)) {
					c.Reply("430 No article with that message-id");
					continue;
				}
				c.Block("224 Overview information follows", "0\t" + DemoArticles::Overview(a) + "\n");
				continue;
			}
			if (!arg.empty() && !range(arg, high, from, to)) {
				c.Reply("501 Syntax error");
				continue;
			}
			if (arg.empty() && current == 0) {
				c.Reply("420 Current article number is invalid");
				continue;
			}
			from = std::max(from, 1L);
			to = std::min(to, high);
			if (from > to) {
				c.Reply("423 No articles in that range");
				continue;
			}
			std::string out;
			for (long n = from; n <= to; ++n) {
				DemoArticles::Article a;
				if (mArticles.ByNumber(group, n, a))
					out += std::to_string(n) + "\t" + DemoArticles::Overview(a) + "\n";
			}
			c.Block("224 Overview information follows", out);
		} else if (cmd == "ARTICLE" || cmd == "HEAD" || cmd == "BODY" || cmd == "STAT") {
			DemoArticles::Article a;
			long num = 0;
			if (!select(arg, a, num))
				continue;
			std::string tail = " " + std::to_string(num) + " " + a.messageId;
			if (cmd == "STAT")
				c.Reply("223" + tail);
			else if (cmd == "HEAD")
				c.Block("221" + tail, a.head);
			else if (cmd == "BODY")
				c.Block("222" + tail, a.body);
			else
				c.Block("220" + tail, a.head + "\n" + a.body);
		} else if (cmd == "NEXT" || cmd == "LAST") {
			DemoArticles::Group g;
			if (group.empty() || !mArticles.GroupInfo(group, g)) {
				c.Reply("412 No newsgroup selected");
				continue;
			}
			long high = static_cast<long>(g.articles.size());
			if (current == 0) {
				c.Reply("420 Current article number is invalid");
				continue;
			}
			long n = cmd == "NEXT" ? current + 1 : current - 1;
			DemoArticles::Article a;
			if (n < 1 || n > high || !mArticles.ByNumber(group, n, a)) {
				c.Reply(cmd == "NEXT" ? "421 No next article in this group"
									  : "422 No previous article in this group");
				continue;
			}
			current = n;
			c.Reply("223 " + std::to_string(n) + " " + a.messageId);
		} else if (cmd == "POST") {
			c.Reply("340 Input article; end with <CR-LF>.<CR-LF>");
			std::string text;
			bool ended = false, tooBig = false;
			while (c.Line(line, kPostMax, tooLong)) {
				if (line == ".") {
					ended = true;
					break;
				}
				if (!line.empty() && line[0] == '.')
					line.erase(0, 1);
				if (text.size() + line.size() + 1 > kPostMax || tooLong)
					tooBig = true;
				else
					text += line + "\n";
			}
			if (!ended)
				break;
			std::string reason;
			if (tooBig)
				c.Reply("441 Posting failed: article too long");
			else if (!mArticles.Post(text, reason))
				c.Reply("441 Posting failed: " + reason);
			else
				c.Reply("240 Article received OK");
		} else if (cmd == "IHAVE") {
			c.Reply("502 Transfer permission denied");
		} else {
			c.Reply("500 Unknown command");
		}
	}
	std::lock_guard<std::mutex> held(mLock);
	mClients.erase(fd);
	close(fd);
}
