// The message store on 20,000 articles in one newsgroup-sized folder: every file goes in the
// way a download hands it over (through the transfer directory, into the folder and its cache,
// on the message-store thread), then the folder is opened for display (every cache record
// read back as a node). References measured in the same run: plain copies of the same files,
// and opening the folder without a cache (reading every file's header).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Cache.h"
#include "DirMngr.h"
#include "Engine.h"
#include "GlobalPrefs.h"
#include "HeaderUtil.h"
#include "HeadersNode.h"
#include "MessageHead.h"
#include "MessageStore.h"
#include "Notify.h"
#include "Output.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "Thread.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMessages = 20000;

struct Setup {
	fs::path base;
	fs::path staging;  // the generated files, copied afresh for each run
	std::vector<std::string> leaves;
	TString mdir;
	bool started = false;
};

Setup& setup()
{
	static Setup s;
	if (s.started)
		return s;
	char tmpl[] = "/tmp/quillfern-bench-XXXXXX";
	s.base = mkdtemp(tmpl);
	s.staging = s.base / "staging";
	fs::create_directories(s.staging);
	for (int i = 0; i < kMessages; ++i) {
		std::string id =
			"<bench." + std::to_string(i) + ".x" + std::to_string(i * 7919 % 10007) + "@news.example.org>";
		TString leaf;
		HeaderUtil::MessageFilename(leaf, TString(id.c_str()));
		std::string refs =
			i > 0 ? "References: <bench." + std::to_string(i / 2) + ".x@news.example.org>\n" : "";
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
		FILE* f = std::fopen((s.staging / leaf.String()).c_str(), "w");
		if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
			std::abort();
		s.leaves.push_back(leaf.String());
	}
	Output::StreamSet(stderr);
	GlobalPrefs::RootOverrideSet(TString((s.base / "root").c_str()));
	s.started = Engine::Start(StoragePath::kTypeNews, Engine::DisplayHooks());
	StoragePath::PathSaved(s.mdir);
	PathMngr::Append(s.mdir, "Group");
	return s;
}

void freshCopy(Setup& s, const fs::path& to)
{
	fs::remove_all(to);
	fs::create_directories(to);
	for (const std::string& leaf : s.leaves)
		fs::copy_file(s.staging / leaf, to / leaf);
}

void waitIdle()
{
	while (MessageStore::Busy() || Notify::Pending() > 0) {
		Notify::Deliver();
		Thread::Sleep(2000);
	}
}

// Ours: 20,000 files handed to the store, until all are in the folder and its cache.
void BM_InsertThroughTransfer(benchmark::State& state)
{
	Setup& s = setup();
	for (auto _ : state) {
		state.PauseTiming();
		fs::path downloads = s.base / "downloads";
		freshCopy(s, downloads);
		fs::remove_all(s.mdir.String());
		DirMngr::Create(s.mdir);
		Cache::Rebuild(s.mdir);
		state.ResumeTiming();
		for (const std::string& leaf : s.leaves)
			MessageStore::MesgInsert(s.mdir, TString((downloads / leaf).c_str()));
		waitIdle();
	}
	state.counters["messages/s"] =
		benchmark::Counter(kMessages, benchmark::Counter::kIsIterationInvariantRate);
}

// Reference: the same files merely copied into a folder.
void BM_PlainFileCopy(benchmark::State& state)
{
	Setup& s = setup();
	for (auto _ : state) {
		fs::path to = s.base / "copies";
		state.PauseTiming();
		fs::remove_all(to);
		fs::create_directories(to);
		state.ResumeTiming();
		for (const std::string& leaf : s.leaves)
			fs::copy_file(s.staging / leaf, to / leaf);
	}
	state.counters["messages/s"] =
		benchmark::Counter(kMessages, benchmark::Counter::kIsIterationInvariantRate);
}

// Ours: opening the 20,000-message folder for display (target: under 0.2 s).
void BM_OpenFromCache(benchmark::State& state)
{
	Setup& s = setup();
	for (auto _ : state) {
		std::vector<HeadersNodePtr> nodes;
		Cache::MdirRead(s.mdir, nodes, false);
		if (nodes.size() != kMessages)
			state.SkipWithError("the folder does not hold every message");
	}
}

// Reference: the same folder read without a cache, one header per file.
void BM_OpenFromFileHeaders(benchmark::State& state)
{
	Setup& s = setup();
	for (auto _ : state) {
		std::vector<HeadersNodePtr> nodes;
		for (const std::string& leaf : s.leaves) {
			TString path(s.mdir);
			PathMngr::Append(path, TString(leaf.c_str()));
			MessageHead head;
			if (head.HeaderRead(path, MessageHead::kLockWait) == ErrOkay)
				nodes.push_back(HeadersNode::initWithHeader(head));
		}
		benchmark::DoNotOptimize(nodes.size());
	}
}

BENCHMARK(BM_InsertThroughTransfer)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PlainFileCopy)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_OpenFromCache)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_OpenFromFileHeaders)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

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
