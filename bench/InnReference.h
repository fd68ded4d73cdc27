// The INN side of the download benchmarks: the benchmark group on 127.0.0.1:119, made and fed on
// first use, and the minimal reference client that the benchmarks measure our figures against.
#pragma once

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

namespace InnBench {

inline const char kGroup[] = "quillfern.bench.nntp";
inline constexpr uint32_t kCount = 20000;

// The bare client: blocking socket, TCP_NODELAY, quick acknowledgements re-armed before each
// receive, lines taken from a buffer.
class RawClient {
public:
	bool Open()
	{
		mFd = ::socket(AF_INET, SOCK_STREAM, 0);
		int one = 1;
		::setsockopt(mFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
		sockaddr_in sa{};
		sa.sin_family = AF_INET;
		sa.sin_port = htons(119);
		sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		if (::connect(mFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
			return false;
		std::string line;
		return Line(line) && line[0] == '2' && Command("MODE READER", line) && line[0] == '2';
	}
	~RawClient()
	{
		if (mFd >= 0)
			::close(mFd);
	}
	bool Send(const std::string& text)
	{
		return ::send(mFd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
	}
	bool Command(const std::string& text, std::string& reply) { return Send(text + "\r\n") && Line(reply); }
	bool Line(std::string& line)
	{
		for (;;) {
			size_t lf = mBuffer.find('\n', mPos);
			if (lf != std::string::npos) {
				size_t end = lf > mPos && mBuffer[lf - 1] == '\r' ? lf - 1 : lf;
				line.assign(mBuffer, mPos, end - mPos);
				mPos = lf + 1;
				return true;
			}
			mBuffer.erase(0, mPos);
			mPos = 0;
			int one = 1;
			::setsockopt(mFd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
			char chunk[65536];
			ssize_t n = ::recv(mFd, chunk, sizeof chunk, 0);
			if (n <= 0)
				return false;
			mBuffer.append(chunk, size_t(n));
		}
	}

private:
	int mFd = -1;
	std::string mBuffer;
	size_t mPos = 0;
};

inline std::string innScript()
{
	std::string here(__FILE__);
	return here.substr(0, here.rfind('/')) + "/../tests/servers/inn.sh";
}

// "211 COUNT LOW HIGH ...": the three numbers.
inline bool groupReply(
	const std::string& reply, unsigned long& count, unsigned long& low, unsigned long& high)
{
	if (reply.rfind("211 ", 0) != 0)
		return false;
	const char* p = reply.c_str() + 4;
	const char* end = reply.c_str() + reply.size();
	for (unsigned long* v : {&count, &low, &high}) {
		while (p < end && *p == ' ')
			++p;
		auto [next, ec] = std::from_chars(p, end, *v);
		if (ec != std::errc() || next == p)
			return false;
		p = next;
	}
	return true;
}

// Articles in the group now, or -1 when INN does not answer.
inline long groupCount()
{
	RawClient c;
	std::string reply;
	if (!c.Open() || !c.Command(std::string("GROUP ") + kGroup, reply))
		return -1;
	unsigned long count = 0, low = 0, high = 0;
	return groupReply(reply, count, low, high) ? long(count) : 0;
}

inline bool groupReady()
{
	static int ready = -1;
	if (ready >= 0)
		return ready == 1;
	long have = groupCount();
	if (have >= 0 && have < long(kCount)) {
		std::string script = innScript();
		std::string newgroup = script + " newgroup " + kGroup + " >/dev/null";
		std::string feed = script + " feed " + kGroup + " " + std::to_string(kCount - uint32_t(have));
		// NOLINTNEXTLINE(cert-env33-c): the project's own INN script
		if (std::system(newgroup.c_str()) != 0 || std::system(feed.c_str()) != 0)
			return false;
		have = groupCount();
	}
	ready = have >= long(kCount) ? 1 : 0;
	return ready == 1;
}

// The same requests in the same rhythm: the first alone, then up to two per reply read,
// never more than five waiting.
inline void referenceRun(benchmark::State& state, bool headers)
{
	if (!groupReady()) {
		state.SkipWithError("INN with the benchmark group is not available on 127.0.0.1:119");
		return;
	}
	uint64_t articles = 0;
	for (auto _ : state) {
		RawClient c;
		std::string reply;
		if (!c.Open() || !c.Command(std::string("GROUP ") + kGroup, reply)) {
			state.SkipWithError("GROUP failed");
			break;
		}
		unsigned long low = 0, high = 0, count = 0;
		if (!groupReply(reply, count, low, high) || high < low) {
			state.SkipWithError("GROUP answered without a range");
			break;
		}
		unsigned long next = low, done = 1, total = high - low + 1;
		std::deque<unsigned long> sent;
		const char* verb = headers ? "HEAD " : "ARTICLE ";
		while (done <= total) {
			long room =
				sent.size() > 3 ? 0 : std::min<long>(long(total - done + 1 - sent.size()), done <= 1 ? 1 : 2);
			for (long i = 0; i < room && next <= high; i++) {
				c.Send(verb + std::to_string(next) + "\r\n");
				sent.push_back(next++);
			}
			if (sent.empty())
				break;
			sent.pop_front();
			std::string line;
			if (!c.Line(line))
				break;
			if (line[0] == '2') {
				while (c.Line(line) && line != ".") {
				}
				done++;
			}
		}
		articles += done - 1;
		c.Send("QUIT\r\n");
	}
	state.counters["articles/s"] = benchmark::Counter(double(articles), benchmark::Counter::kIsRate);
}

}  // namespace InnBench
