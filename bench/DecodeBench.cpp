// Decoding a large binary posted as 300 yEnc parts: our decoder reading the stored message
// files beside Debian's uudeview decoding the same files, and the bare yEnc line decoder on
// data in memory. The file is 200 MB; QUILLFERN_DECODE_MB sets another size.
// Encoding is done once, by uuenview, before the timed runs.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "MessageFile.h"
#include "TimeFormat.h"
#include "YencSect.h"

namespace fs = std::filesystem;

namespace {

constexpr int kParts = 300;
fs::path sDir;  // removed at exit

struct Work {
	fs::path dir;
	size_t bytes = 0;
	std::vector<TString> paths;  // the message files, in part order
	std::string original;
	std::vector<std::string> lines;  // yEnc data lines of the first parts, for the line decoder
	size_t lineBytes = 0;  // bytes those lines decode to
	bool ready = false;
};

std::string readAll(const fs::path& p)
{
	std::ifstream in(p, std::ios::binary);
	std::ostringstream s;
	s << in.rdbuf();
	return s.str();
}

Work& work()
{
	static Work w;
	static bool tried = false;
	if (tried)
		return w;
	tried = true;
	TimeFormat::Start();
	const char* mb = getenv("QUILLFERN_DECODE_MB");
	long megabytes = mb ? std::strtol(mb, nullptr, 10) : 200;
	if (megabytes <= 0 || megabytes > 100000) {
		std::fprintf(stderr, "QUILLFERN_DECODE_MB is not a number of megabytes: %s\n", mb);
		return w;
	}
	w.bytes = size_t(megabytes) << 20;
	w.dir = fs::temp_directory_path() / ("qf-decode-bench-" + std::to_string(getpid()));
	sDir = w.dir;
	fs::create_directories(w.dir / "enc");
	fs::create_directories(w.dir / "mdir");
	std::mt19937_64 gen(17);  // NOLINT(cert-msc51-cpp): the same data every run
	w.original.resize(w.bytes);
	for (size_t i = 0; i + 8 <= w.bytes; i += 8) {
		uint64_t v = gen();
		std::memcpy(&w.original[i], &v, 8);
	}
	std::ofstream(w.dir / "big.bin", std::ios::binary).write(w.original.data(), std::streamsize(w.bytes));
	// Lines per part so that the file comes out in kParts parts (128 bytes a line, a little
	// more with escapes).
	size_t lines = w.bytes / 128 / kParts + 1;
	lines += lines / 50 + 1;
	std::string cmd = "cd '" + w.dir.string() + "' && uuenview -y -" + std::to_string(lines) +
		" -od enc big.bin >/dev/null 2>&1";
	if (system(cmd.c_str()) != 0)  // NOLINT(cert-env33-c): the reference decoder
		return w;
	std::vector<fs::path> parts;
	for (int i = 1;; ++i) {
		char leaf[32];
		std::snprintf(leaf, sizeof(leaf), "big.%03d", i);
		if (!fs::exists(w.dir / "enc" / leaf))
			break;
		parts.push_back(w.dir / "enc" / leaf);
	}
	// Each part received as an article into the message directory, as the client stores it.
	for (size_t i = 0; i < parts.size(); ++i) {
		std::string body = readAll(parts[i]);
		std::string article = "From: Poster <poster@example.org>\nNewsgroups: alt.binaries.test\n"
							  "Subject: big.bin yEnc (" +
			std::to_string(i + 1) + "/" + std::to_string(parts.size()) + ")\nMessage-ID: <part" +
			std::to_string(i + 1) + "@example.org>\n\n" + body;
		fs::path path = w.dir / "mdir" / ("part" + std::to_string(i + 1) + ".qmsg");
		MessageFile f;
		if (f.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0) != ErrOkay)
			return w;
		size_t start = 0;
		while (start < article.size()) {
			size_t end = article.find('\n', start);
			if (end == std::string::npos)
				end = article.size();
			TString line;
			line.AllowInvalidSet(true);
			line.AppendByte(article.data() + start, long(end - start));
			f.LineAppend(line);
			start = end + 1;
		}
		f.DownloadClose(kCharsetNone);
		w.paths.emplace_back(path.c_str());
		// The data lines of the first parts, for the in-memory loop.
		if (i < 10) {
			std::istringstream in(body);
			std::string l;
			while (std::getline(in, l))
				if (!l.empty() && l.compare(0, 2, "=y") != 0) {
					YencSect y;
					std::vector<unsigned char> out(l.size());
					w.lineBytes +=
						size_t(y.LineDecode(l.data(), long(l.size()), out.data(), long(out.size())));
					w.lines.push_back(l);
				}
		}
	}
	w.ready = !w.paths.empty();
	return w;
}

void BM_OurDecodeFromMessageFiles(benchmark::State& state)
{
	Work& w = work();
	if (!w.ready) {
		state.SkipWithError("uuenview is not installed or encoding failed");
		return;
	}
	std::string out = (w.dir / "ours.bin").string();
	for (auto _ : state) {
		MessageBody body;
		Error e = body.Decode(w.paths, TString(out.c_str()), nullptr, nullptr);
		if (e != ErrOkay) {
			state.SkipWithError("decode failed");
			return;
		}
	}
	if (fs::file_size(out) != w.bytes || readAll(out) != w.original)
		state.SkipWithError("decoded file differs from the original");
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(w.bytes));
	state.counters["parts"] = double(w.paths.size());
}

void BM_UudeviewFromMessageFiles(benchmark::State& state)
{
	Work& w = work();
	if (!w.ready) {
		state.SkipWithError("uuenview is not installed or encoding failed");
		return;
	}
	fs::path outDir = w.dir / "uudeview";
	std::string cmd = "uudeview -i -o -q -p '" + outDir.string() + "' '" + (w.dir / "mdir").string() +
		"'/*.qmsg >/dev/null 2>&1";
	for (auto _ : state) {
		fs::remove_all(outDir);
		fs::create_directories(outDir);
		if (system(cmd.c_str()) != 0) {  // NOLINT(cert-env33-c): the reference decoder
			state.SkipWithError("uudeview failed");
			return;
		}
	}
	if (!fs::exists(outDir / "big.bin") || fs::file_size(outDir / "big.bin") != w.bytes)
		state.SkipWithError("uudeview gave no complete file");
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(w.bytes));
}

void BM_YencLineDecodeInMemory(benchmark::State& state)
{
	Work& w = work();
	if (!w.ready) {
		state.SkipWithError("uuenview is not installed or encoding failed");
		return;
	}
	std::vector<unsigned char> out(4096);
	YencSect y;
	for (auto _ : state) {
		y.CrcClear();
		for (const std::string& l : w.lines)
			y.LineDecode(l.data(), long(l.size()), out.data(), long(out.size()));
		benchmark::DoNotOptimize(y.crcRunning);
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(w.lineBytes));
}

BENCHMARK(BM_YencLineDecodeInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OurDecodeFromMessageFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_UudeviewFromMessageFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

struct Cleanup {
	~Cleanup()
	{
		if (!sDir.empty())
			fs::remove_all(sDir);
	}
} sCleanup;

}  // namespace

BENCHMARK_MAIN();
