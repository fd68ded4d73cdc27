// Fetching a 20,000-article group from the INN on 127.0.0.1:119 end to end: the network
// pipeline downloads whole articles, the message store files each one through the transfer
// directory into the group's directory and its cache. Beside it, the minimal reference client
// that sends the same commands in the same rhythm and only reads the replies.
// Needs INN running (tests/servers/inn.sh start); the group is created and fed on first use.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>

#include "AcctMngr.h"
#include "Engine.h"
#include "GlobalPrefs.h"
#include "GroupData.h"
#include "InnReference.h"
#include "MessageStore.h"
#include "NetPipe.h"
#include "Notify.h"
#include "Output.h"
#include "StoragePath.h"
#include "Thread.h"

namespace {

using namespace InnBench;

// Waits until the pipeline and the store have nothing left to do.
void settle()
{
	while (NetPipe::Busy() || MessageStore::Busy() || Notify::Pending() > 0) {
		Notify::Deliver();
		Thread::Sleep(2000);
	}
}

void BM_FetchArticles(benchmark::State& state)
{
	if (!groupReady()) {
		state.SkipWithError("INN with the benchmark group is not available on 127.0.0.1:119");
		return;
	}
	uint64_t articles = 0;
	for (auto _ : state) {
		state.PauseTiming();
		std::string root = std::filesystem::temp_directory_path().string() + "/quillfern-fetchbench";
		std::filesystem::remove_all(root);
		GlobalPrefs::RootOverrideSet(TString(root.c_str()));
		if (!Engine::Start(StoragePath::kTypeNews, Engine::DisplayHooks())) {
			state.SkipWithError("engine start failed");
			break;
		}
		AcctData account;
		account.Default();
		account.name = "bench";
		account.server.host = "127.0.0.1";
		account.server.port = 119;
		AcctMngr::Create(account);
		AcctMngr::GroupCreate(TString("bench"), TString(kGroup));
		GroupData settings;
		settings.limitsEnabled = false;
		settings.downloadType = GroupData::TypeFull;
		settings.GroupSet(TString("bench"), TString(kGroup));
		settle();
		state.ResumeTiming();

		NetPipe::DnldGroup(TString("bench"), TString(kGroup));
		settle();

		state.PauseTiming();
		std::vector<NetResult> results;
		NetPipe::ResultsTake(results);
		if (results.size() != 1 || results[0].error != ErrOkay)
			state.SkipWithError("fetch failed");
		else
			articles += results[0].count;
		Engine::Stop();
		std::filesystem::remove_all(root);
		state.ResumeTiming();
	}
	state.counters["articles/s"] = benchmark::Counter(double(articles), benchmark::Counter::kIsRate);
}

void BM_ReferenceArticles(benchmark::State& state)
{
	referenceRun(state, false);
}

}  // namespace

BENCHMARK(BM_ReferenceArticles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FetchArticles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_MAIN();
