// A 20,000-article group from the INN on 127.0.0.1:119, downloaded by the Usenet client as
// headers and as whole articles into message files, beside a minimal reference client that
// sends the same commands with the same number outstanding and only reads the replies.
// Needs INN running (tests/servers/inn.sh start); the group is created and fed on first use.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>

#include "FileMngr.h"
#include "InnReference.h"
#include "NNTP.h"

namespace {

using namespace InnBench;

void removeFile(void*, const TString&, const TString&, const TString& path, ActivityType)
{
	FileMngr::Remove(path);
}

void clientRun(benchmark::State& state, bool headers)
{
	if (!groupReady()) {
		state.SkipWithError("INN with the benchmark group is not available on 127.0.0.1:119");
		return;
	}
	TextProtocol::Start();
	std::string tmp = std::filesystem::temp_directory_path().string() + "/quillfern-nntpbench";
	std::filesystem::create_directories(tmp);
	TString stateFile((tmp + "/state.txt").c_str());
	uint64_t articles = 0;
	for (auto _ : state) {
		NNTP nntp;
		nntp.tempDirectory = tmp.c_str();
		nntp.DownloadProcSet(&removeFile, nullptr);
		FileMngr::Remove(stateFile);
		if (nntp.Connect("127.0.0.1", "", "", 119) != ErrOkay) {
			state.SkipWithError("connect failed");
			break;
		}
		Error e =
			headers ? nntp.DownloadHeaders(kGroup, stateFile) : nntp.DownloadArticles(kGroup, stateFile);
		if (e != ErrOkay) {
			state.SkipWithError("download failed");
			break;
		}
		articles += nntp.Activity().total;
		nntp.Disconnect();
	}
	std::filesystem::remove_all(tmp);
	state.counters["articles/s"] = benchmark::Counter(double(articles), benchmark::Counter::kIsRate);
}

void BM_ClientHeaders(benchmark::State& state)
{
	clientRun(state, true);
}
void BM_ReferenceHeaders(benchmark::State& state)
{
	referenceRun(state, true);
}
void BM_ClientArticles(benchmark::State& state)
{
	clientRun(state, false);
}
void BM_ReferenceArticles(benchmark::State& state)
{
	referenceRun(state, false);
}

}  // namespace

BENCHMARK(BM_ReferenceHeaders)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ClientHeaders)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ReferenceArticles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ClientArticles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_MAIN();
