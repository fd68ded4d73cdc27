// One request at a time against a server that writes each reply in several pieces with Nagle's
// algorithm on, as INN does: the reply's last small piece waits until the client acknowledges
// the first. Our socket re-arms quick acknowledgements before each receive and waits in poll;
// the reference is a plain blocking socket reading the same replies.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "NetSock.h"
#include "TString.h"

namespace {

// Answers every line with "220 ...", a body and ".", written separately.
class PieceServer {
public:
	PieceServer()
	{
		mListen = ::socket(AF_INET, SOCK_STREAM, 0);
		sockaddr_in sa{};
		sa.sin_family = AF_INET;
		sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
		socklen_t len = sizeof sa;
		if (mListen < 0 || ::bind(mListen, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
			::listen(mListen, 4) != 0 || ::getsockname(mListen, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
			std::abort();  // without a server there is nothing to measure
		mPort = ntohs(sa.sin_port);
		mThread = std::thread([this] { run(); });
	}
	~PieceServer()
	{
		mStop = true;
		mThread.join();
		::close(mListen);
	}
	uint16_t Port() const { return mPort; }

private:
	void run()
	{
		std::string body;
		for (int i = 0; i < 40; i++)
			body += "Line " + std::to_string(i) + " of a typical article body, long enough to matter.\r\n";
		while (!mStop) {
			pollfd p{mListen, POLLIN, 0};
			if (::poll(&p, 1, 20) <= 0)
				continue;
			int fd = ::accept(mListen, nullptr, nullptr);
			std::string input;
			char buffer[4096];
			while (!mStop) {
				pollfd q{fd, POLLIN, 0};
				if (::poll(&q, 1, 20) <= 0)
					continue;
				ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
				if (n <= 0)
					break;
				input.append(buffer, static_cast<size_t>(n));
				size_t lf;
				while ((lf = input.find('\n')) != std::string::npos) {
					input.erase(0, lf + 1);
					const char* head = "220 1 <x@y> article\r\n";
					::send(fd, head, std::strlen(head), MSG_NOSIGNAL);
					::send(fd, body.data(), body.size(), MSG_NOSIGNAL);
					::send(fd, ".\r\n", 3, MSG_NOSIGNAL);
				}
			}
			::close(fd);
		}
	}

	int mListen = -1;
	uint16_t mPort = 0;
	std::atomic<bool> mStop{false};
	std::thread mThread;
};

PieceServer& server()
{
	static PieceServer s;
	return s;
}

void BM_OurSocket(benchmark::State& state)
{
	NetSock sock;
	if (sock.OpenClient(0, 0) != ErrOkay || sock.Connect(0x7F000001, server().Port()) != ErrOkay) {
		state.SkipWithError("cannot connect");
		return;
	}
	TString line;
	for (auto _ : state) {
		sock.SendLine("ARTICLE 1");
		while (sock.RecvLine(line, 2000) == ErrOkay && !(line == "."))
			;
	}
	state.SetItemsProcessed(state.iterations());
}

void BM_PlainBlockingSocket(benchmark::State& state)
{
	int fd = ::socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in sa{};
	sa.sin_family = AF_INET;
	sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	sa.sin_port = htons(server().Port());
	if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
		state.SkipWithError("cannot connect");
		return;
	}
	int one = 1;
	::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
	std::string input;
	char buffer[32768];
	for (auto _ : state) {
		::send(fd, "ARTICLE 1\r\n", 11, MSG_NOSIGNAL);
		for (;;) {
			size_t end = input.find("\r\n.\r\n");
			if (end != std::string::npos) {
				input.erase(0, end + 5);
				break;
			}
			ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
			if (n <= 0)
				break;
			input.append(buffer, static_cast<size_t>(n));
		}
	}
	::close(fd);
	state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_OurSocket)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_PlainBlockingSocket)->UseRealTime()->Iterations(100);

BENCHMARK_MAIN();
