#include "ScriptServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TestServers {

const char* const ScriptServer::kClose = "\x04close";

namespace {

constexpr int kPollMillis = 20;
constexpr int kExpectMillis = 10000;

long long nowMillis()
{
	using namespace std::chrono;
	return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int listenLoopback(uint16_t& port)
{
	int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return -1;
	int one = 1;
	::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
	sockaddr_in sa{};
	sa.sin_family = AF_INET;
	sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	sa.sin_port = 0;
	socklen_t len = sizeof sa;
	if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 8) != 0 ||
		::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
		::close(fd);
		return -1;
	}
	port = ntohs(sa.sin_port);
	return fd;
}

}  // namespace

ScriptServer::Step ScriptServer::stepOf(Step::Kind kind)
{
	Step s;
	s.kind = kind;
	return s;
}

ScriptServer::ScriptServer()
{
	mListen = listenLoopback(mPort);
}

ScriptServer::~ScriptServer()
{
	mStop = true;
	if (mThread.joinable())
		mThread.join();
	dropClient();
	if (mListen >= 0)
		::close(mListen);
}

uint16_t ScriptServer::UnusedPort()
{
	uint16_t port = 0;
	int fd = listenLoopback(port);
	if (fd >= 0)
		::close(fd);
	return port;
}

ScriptServer& ScriptServer::Line(const std::string& line)
{
	return Raw(line + "\r\n");
}

ScriptServer& ScriptServer::Raw(const std::string& bytes)
{
	Step s = stepOf(Step::Send);
	s.text = bytes;
	mSteps.push_back(s);
	return *this;
}

ScriptServer& ScriptServer::Pieces(const std::vector<std::string>& pieces, int pauseMillis)
{
	Step s = stepOf(Step::Pieces);
	s.pieces = pieces;
	s.millis = pauseMillis;
	mSteps.push_back(s);
	return *this;
}

ScriptServer& ScriptServer::Fill(size_t count, char byte)
{
	Step s = stepOf(Step::Fill);
	s.count = count;
	s.text = std::string(1, byte);
	mSteps.push_back(s);
	return *this;
}

ScriptServer& ScriptServer::Expect(const std::string& line)
{
	Step s = stepOf(Step::Expect);
	s.text = line;
	mSteps.push_back(s);
	return *this;
}

ScriptServer& ScriptServer::ExpectAny()
{
	mSteps.push_back(stepOf(Step::ExpectAny));
	return *this;
}

ScriptServer& ScriptServer::Delay(int millis)
{
	Step s = stepOf(Step::Delay);
	s.millis = millis;
	mSteps.push_back(s);
	return *this;
}

ScriptServer& ScriptServer::Drop()
{
	mSteps.push_back(stepOf(Step::Drop));
	return *this;
}

ScriptServer& ScriptServer::Accept()
{
	mSteps.push_back(stepOf(Step::Accept));
	return *this;
}

ScriptServer& ScriptServer::Serve(Handler handler)
{
	Step s = stepOf(Step::Serve);
	s.handler = std::move(handler);
	mSteps.push_back(s);
	return *this;
}

void ScriptServer::Start()
{
	if (mListen < 0) {
		fail("could not listen on 127.0.0.1");
		mDone = true;
		return;
	}
	mThread = std::thread([this] { run(); });
}

void ScriptServer::Finish(int waitMillis)
{
	long long end = nowMillis() + waitMillis;
	while (!mDone && nowMillis() < end)
		std::this_thread::sleep_for(std::chrono::milliseconds(5));
	if (!mDone)
		fail("script still running when the test finished");
	mStop = true;
	if (mThread.joinable())
		mThread.join();
}

std::vector<std::string> ScriptServer::Received() const
{
	std::lock_guard<std::mutex> lock(mLock);
	return mReceived;
}

std::vector<std::string> ScriptServer::Failures() const
{
	std::lock_guard<std::mutex> lock(mLock);
	return mFailures;
}

void ScriptServer::fail(const std::string& what)
{
	std::lock_guard<std::mutex> lock(mLock);
	mFailures.push_back(what);
}

bool ScriptServer::acceptOne()
{
	while (!mStop) {
		pollfd p{mListen, POLLIN, 0};
		if (::poll(&p, 1, kPollMillis) > 0) {
			mClient = ::accept4(mListen, nullptr, nullptr, SOCK_CLOEXEC);
			if (mClient >= 0) {
				int one = 1;
				::setsockopt(mClient, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
				mInput.clear();
				mConnections++;
				return true;
			}
		}
	}
	return false;
}

void ScriptServer::dropClient()
{
	if (mClient >= 0) {
		::close(mClient);
		mClient = -1;
	}
}

bool ScriptServer::sendAll(const std::string& bytes)
{
	size_t sent = 0;
	while (sent < bytes.size() && !mStop) {
		if (mClient < 0)
			return false;
		pollfd p{mClient, POLLOUT, 0};
		if (::poll(&p, 1, kPollMillis) <= 0)
			continue;
		ssize_t n = ::send(mClient, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
		if (n < 0) {
			if (errno == EINTR || errno == EAGAIN)
				continue;
			return false;
		}
		sent += static_cast<size_t>(n);
	}
	return sent == bytes.size();
}

bool ScriptServer::lineRead(std::string& line, int waitMillis)
{
	long long end = waitMillis < 0 ? -1 : nowMillis() + waitMillis;
	for (;;) {
		size_t lf = mInput.find('\n');
		if (lf != std::string::npos) {
			line = mInput.substr(0, lf);
			mInput.erase(0, lf + 1);
			if (!line.empty() && line.back() == '\r')
				line.pop_back();
			std::lock_guard<std::mutex> lock(mLock);
			mReceived.push_back(line);
			return true;
		}
		if (mStop || mClient < 0 || (end >= 0 && nowMillis() >= end))
			return false;
		pollfd p{mClient, POLLIN, 0};
		if (::poll(&p, 1, kPollMillis) <= 0)
			continue;
		char buffer[4096];
		ssize_t n = ::recv(mClient, buffer, sizeof buffer, 0);
		if (n < 0 && (errno == EINTR || errno == EAGAIN))
			continue;
		if (n <= 0)
			return false;
		mInput.append(buffer, static_cast<size_t>(n));
	}
}

void ScriptServer::run()
{
	if (!acceptOne()) {
		mDone = true;
		return;
	}
	std::string line;
	for (size_t i = 0; i < mSteps.size() && !mStop; i++) {
		const Step& step = mSteps[i];
		switch (step.kind) {
		case Step::Send:
			if (!sendAll(step.text))
				fail("step " + std::to_string(i) + ": could not send");
			break;
		case Step::Pieces:
			for (const std::string& piece : step.pieces) {
				if (!sendAll(piece)) {
					fail("step " + std::to_string(i) + ": could not send");
					break;
				}
				std::this_thread::sleep_for(std::chrono::milliseconds(step.millis));
			}
			break;
		case Step::Fill: {
			std::string block(65536, step.text[0]);
			size_t left = step.count;
			while (left > 0 && !mStop) {
				size_t n = std::min(left, block.size());
				if (!sendAll(block.substr(0, n)))
					break;  // the client may give up on a huge line: that is its right
				left -= n;
			}
			break;
		}
		case Step::Expect:
			if (!lineRead(line, kExpectMillis))
				fail("step " + std::to_string(i) + ": expected \"" + step.text + "\", got nothing");
			else if (line != step.text)
				fail("step " + std::to_string(i) + ": expected \"" + step.text + "\", got \"" + line + "\"");
			break;
		case Step::ExpectAny:
			if (!lineRead(line, kExpectMillis))
				fail("step " + std::to_string(i) + ": expected a line, got nothing");
			break;
		case Step::Delay: std::this_thread::sleep_for(std::chrono::milliseconds(step.millis)); break;
		case Step::Drop: dropClient(); break;
		case Step::Accept:
			dropClient();
			if (!acceptOne())
				fail("step " + std::to_string(i) + ": no further connection");
			break;
		case Step::Serve:
			while (lineRead(line, -1)) {
				std::string answer = step.handler(line);
				if (answer == kClose) {
					dropClient();
					break;
				}
				if (!sendAll(answer))
					break;
			}
			break;
		}
	}
	mDone = true;
	// Keep the connection until the client closes it, recording what it still sends.
	while (mClient >= 0 && !mStop && lineRead(line, -1)) {
	}
}

}  // namespace TestServers
