// The demonstration news server's network side: a small NNTP reader server on 127.0.0.1 that
// serves DemoArticles to any number of clients at once, each on its own thread. It answers what
// a newsreader sends: MODE READER, CAPABILITIES, LIST (ACTIVE, NEWSGROUPS, OVERVIEW.FMT), GROUP,
// LISTGROUP, OVER/XOVER, HEAD, BODY, ARTICLE, STAT, NEXT, LAST, POST (kept in memory), DATE,
// HELP, AUTHINFO (any user is welcome) and QUIT.
#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "DemoArticles.h"

class DemoServer {
public:
	explicit DemoServer(DemoArticles& articles) : mArticles(articles) {}
	~DemoServer();
	DemoServer(const DemoServer&) = delete;
	DemoServer& operator=(const DemoServer&) = delete;

	// Listens on 127.0.0.1:port (0: a free port). False with error when it cannot.
	bool Listen(uint16_t port, std::string& error);
	uint16_t Port() const { return mPort; }

	// Accepts and serves clients until one of the stop descriptors is readable and reads as
	// closed or signalled (a pipe's end of file, a byte from a signal handler).
	void Serve(const std::vector<int>& stopFds);
	// Closes every connection and waits for their threads.
	void Stop();

private:
	void session(int fd);

	DemoArticles& mArticles;
	int mListen = -1;
	uint16_t mPort = 0;
	std::mutex mLock;
	std::set<int> mClients;
	std::vector<std::thread> mThreads;
};
