// Whole-directory work on a newsgroup of 60,000 articles (as many as one cache holds): the
// cache rebuilt from the files (reindex), every file parsed again (reparse), and half of the
// articles expired by one clean-up pass, each until the store is idle again. Reference measured
// in the same run: reading every file once from start to end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "AcctData.h"
#include "AcctMngr.h"
#include "Cache.h"
#include "Engine.h"
#include "GlobalPrefs.h"
#include "HeaderUtil.h"
#include "MessageStore.h"
#include "Notify.h"
#include "Output.h"
#include "ReaperThread.h"
#include "StoragePath.h"
#include "Thread.h"
#include "TimeCore.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMessages = 60000;
constexpr long long kDay = 86400000000LL;

struct Setup {
	fs::path base;
	std::vector<std::string> leaves;
	TString mdir;
	bool started = false;
};

Setup& setup()
{
	static Setup s;
	if (s.started)
		return s;
	char tmpl[] = "/tmp/quillfern-bulk-XXXXXX";
	s.base = mkdtemp(tmpl);
	Output::StreamSet(stderr);
	GlobalPrefs::RootOverrideSet(TString((s.base / "root").c_str()));
	s.started = Engine::Start(StoragePath::kTypeNews, Engine::DisplayHooks());
	// No background clean-up pass while the other measurements run.
	ReaperThread::NextPassSet(TimeCore::TickCount() + 3600 * 1000000LL);
	AcctData data;
	data.Default();
	data.name = "Bench";
	data.server.host = "127.0.0.1";
	AcctMngr::Create(data);
	AcctMngr::GroupCreate(TString("Bench"), TString("comp.os.linux.misc"));
	StoragePath::PathGroup(TString("Bench"), TString("comp.os.linux.misc"), s.mdir);
	// Half of the articles are a month old, the others fresh.
	auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
	for (int i = 0; i < kMessages; ++i) {
		std::string id = "<bulk." + std::to_string(i) + "@news.example.org>";
		TString leaf;
		HeaderUtil::MessageFilename(leaf, TString(id.c_str()));
		std::string refs = i > 0 ? "References: <bulk." + std::to_string(i / 2) + "@news.example.org>\n" : "";
		// NOLINTBEGIN(performance-inefficient-string-concatenation): set-up, not measured
		std::string text = "Path: news.example.org!not-for-mail\nFrom: Poster " + std::to_string(i % 300) +
			" <poster" + std::to_string(i % 300) +
			"@example.org>\nNewsgroups: comp.os.linux.misc\nSubject: " + (i % 3 ? "Re: " : "") +
			"Question number " + std::to_string(i / 3) + " about the kernel\nDate: Sat, 05 Dec 2026 " +
			std::to_string(10 + i % 10) + ":00:00 +0000\nMessage-ID: " + id + "\n" + refs +
			"User-Agent: Bench/1.0\nLines: 12    \nX-Quillfern-State: UCNUNxxxxx\n\n";
		// NOLINTEND(performance-inefficient-string-concatenation)
		for (int line = 0; line < 12; ++line)
			text += "A line of body text that makes the file about as large as a short article.\n";
		fs::path path = fs::path(s.mdir.String()) / leaf.String();
		FILE* f = std::fopen(path.c_str(), "w");
		if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
			std::abort();
		if (i % 2)
			fs::last_write_time(path, old);
		s.leaves.push_back(leaf.String());
	}
	return s;
}

void waitIdle()
{
	while (MessageStore::Busy() || Notify::Pending() > 0) {
		Notify::Deliver();
		Thread::Sleep(2000);
	}
}

// Reference: every file read once, start to end.
void BM_ReadEveryFile(benchmark::State& state)
{
	Setup& s = setup();
	std::vector<char> buffer(1 << 16);
	for (auto _ : state) {
		size_t total = 0;
		for (const std::string& leaf : s.leaves) {
			FILE* f = std::fopen((fs::path(s.mdir.String()) / leaf).c_str(), "r");
			if (!f)
				continue;
			size_t n;
			while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
				total += n;
			std::fclose(f);  // NOLINT(cert-err33-c): only read
		}
		benchmark::DoNotOptimize(total);
	}
	state.counters["messages/s"] =
		benchmark::Counter(kMessages, benchmark::Counter::kIsIterationInvariantRate);
}

// Ours: the cache rebuilt from the 60,000 files on the bulk thread.
void BM_Reindex(benchmark::State& state)
{
	Setup& s = setup();
	for (auto _ : state) {
		MessageStore::MdirReindex(s.mdir);
		waitIdle();
	}
	std::vector<HeadersNodePtr> nodes;
	Error e = Cache::MdirRead(s.mdir, nodes, false);
	if (e != ErrOkay || nodes.size() != kMessages)
		state.SkipWithError(
			("the cache holds " + std::to_string(nodes.size()) + " messages, error " + std::to_string(int(e)))
				.c_str());
	state.counters["messages/s"] =
		benchmark::Counter(kMessages, benchmark::Counter::kIsIterationInvariantRate);
}

// Ours: every file parsed again and its record replaced.
void BM_Reparse(benchmark::State& state)
{
	Setup& s = setup();
	for (auto _ : state) {
		MessageStore::MdirReparse(s.mdir, kCharsetNone);
		waitIdle();
	}
	state.counters["messages/s"] =
		benchmark::Counter(kMessages, benchmark::Counter::kIsIterationInvariantRate);
}

long long tenDays(const TString&, const TString&)
{
	return 10 * kDay;
}

// Ours: one clean-up pass run now, expiring the older half, until every deletion is done.
void BM_ExpireHalf(benchmark::State& state)
{
	Setup& s = setup();
	// A re-parse rewrote every file: the older half is made old again.
	auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
	for (size_t i = 1; i < s.leaves.size(); i += 2)
		fs::last_write_time(fs::path(s.mdir.String()) / s.leaves[i], old);
	ReaperThread::ExpireProcSet(tenDays);
	long expired = 0;
	for (auto _ : state) {
		ReaperThread::Report report;
		ReaperThread::Pass(false, &report);
		waitIdle();
		expired = long(report.expired.size());
	}
	ReaperThread::ExpireProcSet(nullptr);
	std::vector<HeadersNodePtr> nodes;
	if (expired != kMessages / 2 || Cache::MdirRead(s.mdir, nodes, false) != ErrOkay ||
		nodes.size() != kMessages / 2)
		state.SkipWithError("not exactly the older half expired");
	state.counters["messages/s"] = benchmark::Counter(expired, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_ReadEveryFile)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Reindex)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Reparse)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ExpireHalf)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
	benchmark::Initialize(&argc, argv);
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	Setup& s = setup();
	if (s.started)
		Engine::Stop();
	fs::remove_all(s.base);
	return 0;
}
