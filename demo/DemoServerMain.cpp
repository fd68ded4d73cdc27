// quillfern-demo-server: a small news server on 127.0.0.1 serving the bundled demonstration
// articles, for trying the newsreader without a real server. It prints its port on the first
// line of standard output and runs until it gets SIGINT or SIGTERM or, unless it is a
// terminal, its standard input closes.
//
//   quillfern-demo-server [--port N] [--articles DIR]
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DemoArticles.h"
#include "DemoServer.h"

namespace {

int sSignalPipe[2] = {-1, -1};

void onSignal(int)
{
	char byte = 1;
	ssize_t n = write(sSignalPipe[1], &byte, 1);
	(void)n;
}

int usage()
{
	std::fprintf(stderr, "usage: quillfern-demo-server [--port N] [--articles DIR]\n");
	return 2;
}

}  // namespace

int main(int argc, char** argv)
{
	std::string dir = QUILLFERN_DEMO_ARTICLES;
	long port = 0;
	for (int i = 1; i < argc; ++i) {
		std::string a = argv[i];
		if ((a == "--port" || a == "--articles") && i + 1 < argc) {
			std::string v = argv[++i];
			if (a == "--articles") {
				dir = v;
				continue;
			}
			char* end = nullptr;
			port = std::strtol(v.c_str(), &end, 10);
			if (v.empty() || *end || port < 0 || port > 65535)
				return usage();
		} else if (a == "--help") {
			usage();
			return 0;
		} else {
			return usage();
		}
	}
	DemoArticles articles;
	std::string error;
	if (!articles.Load(dir, error)) {
		std::fprintf(stderr, "quillfern-demo-server: %s\n", error.c_str());
		return 1;
	}
	DemoServer server(articles);
	if (!server.Listen(static_cast<uint16_t>(port), error)) {
		std::fprintf(
			stderr, "quillfern-demo-server: cannot listen on 127.0.0.1:%ld: %s\n", port, error.c_str());
		return 1;
	}
	if (pipe2(sSignalPipe, O_CLOEXEC) != 0)
		return 1;
	struct sigaction sa = {};
	sa.sa_handler = onSignal;
	sigaction(SIGINT, &sa, nullptr);
	sigaction(SIGTERM, &sa, nullptr);
	signal(SIGPIPE, SIG_IGN);
	// Whoever started the server learns its port from this line: without it there is no point going on.
	std::printf("%u\n", static_cast<unsigned>(server.Port()));
	if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
		std::fprintf(stderr, "quillfern-demo-server: cannot write the port\n");
		return 1;
	}
	// A terminal is left alone (Ctrl-C stops the server there); a pipe or file is watched.
	if (isatty(STDIN_FILENO))
		server.Serve({-1, sSignalPipe[0]});
	else
		server.Serve({STDIN_FILENO, sSignalPipe[0]});
	server.Stop();
	return 0;
}
