// The message list of a full directory: 60,000 cache records (threads of up to a few hundred
// replies, some References gaps, multi-part postings) read, threaded and sorted by date, as the
// display does on opening the directory; then the same directory followed as it grows by single
// additions. The reference is a plain std::sort by date of the same 60,000 nodes, and the
// memory figure is the growth of the resident set over the read.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "Database.h"
#include "HeadersNode.h"
#include "MessageList.h"
#include "StoragePath.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kMessages = 60000;
constexpr size_t kAdded = 500;  // single additions measured at the end of a full directory

struct Work {
	fs::path dir;
	std::vector<HeadersNodePtr> nodes;  // in arrival order
};

TString ts(const std::string& s)
{
	return TString(s.c_str());
}

long residentKiB()
{
	long pages = 0, resident = 0;
	FILE* f = std::fopen("/proc/self/statm", "r");
	if (f) {
		// NOLINTNEXTLINE(cert-err34-c): the kernel's own numbers
		if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
			resident = 0;
		std::fclose(f);  // NOLINT(cert-err33-c): only read
	}
	return resident * 4;
}

HeadersNodePtr makeNode(std::mt19937& rng, size_t i, const std::vector<HeadersNodePtr>& earlier)
{
	static const char* const authors[] = {"Anna Brückner", "Bert Dubois", "Carla García", "Dmitri Ivanov",
		"Eve Jansen", "Fritz Kowalski", "Gwen Moreau", "Hiro Novak", "Ines Petrov", "Jules O'Brien"};
	static const char* const words[] = {"question", "about", "the", "new", "release", "problem", "kernel",
		"compiler", "build", "fails", "memory", "leak", "solved", "weekend", "photos", "upgrade"};
	HeadersNodePtr n = HeadersNode::initWithMsgID(
		ts("<" + std::to_string(rng()) + "." + std::to_string(i) + "@news.example.org>"));
	std::string subject;
	// Two in three messages reply to a recent one; one reference in twenty is lost.
	if (!earlier.empty() && rng() % 3 != 0) {
		size_t window = std::min<size_t>(earlier.size(), 3000);
		const HeadersNode& parent = *earlier[earlier.size() - 1 - rng() % window];
		n->fRefList = parent.fRefList;
		if (n->fRefList.size() > 20)
			n->fRefList.erase(n->fRefList.begin() + 1, n->fRefList.begin() + 6);
		n->fRefList.push_back(parent.fMsgID);
		if (rng() % 20 == 0)
			n->fRefList.insert(n->fRefList.end() - 1, ts("<lost." + std::to_string(i) + "@example.org>"));
		subject = "Re: " + std::string(parent.fSubject ? parent.fSubject->String() : "");
		if (subject.size() > 60)
			subject.resize(60);
	} else {
		for (int w = 0; w < 5; w++)
			subject += std::string(w ? " " : "") + words[rng() % 16];
	}
	if (rng() % 50 == 0) {
		n->fAttachID = ts("bin" + std::to_string(i / 8));
		n->fPartNumber = static_cast<int32_t>(1 + i % 8);
		n->fPartTotal = 8;
	}
	n->fSubject = ts(subject);
	n->fAuthor = ts(authors[rng() % 10]);
	n->fEmail = ts("user" + std::to_string(rng() % 500) + "@example.org");
	n->fFilename = ts("msg" + std::to_string(i) + ".eml");
	n->fNewsgroupsTo = ts("comp.lang.c++");
	n->fUserAgent = ts("tin/2.6.2 (UNIX) (Linux/6.1.0 (x86_64))");
	n->fDateTime = 1700000000LL + static_cast<long long>(i) * 37 + rng() % 3600;
	n->fLines = static_cast<int32_t>(rng() % 400);
	n->fData.type = MessageTypeUsenet;
	n->fData.state = MessageStateHeaders;
	n->fData.attach = MessageAttachNone;
	n->fData.download = MessageDownloadNone;
	n->unreadSet(rng() % 4 != 0);
	return n;
}

Work& work()
{
	static Work w;
	if (!w.nodes.empty())
		return w;
	std::mt19937 rng(60000);  // NOLINT(cert-msc51-cpp): the same data every run
	for (size_t i = 0; i < kMessages; i++)
		w.nodes.push_back(makeNode(rng, i, w.nodes));
	char tmpl[] = "/tmp/quillfern-listbench-XXXXXX";
	w.dir = mkdtemp(tmpl);
	TString path;
	StoragePath::FileCache(ts(w.dir.string()), path);
	Database db;
	if (db.Open(path, 1000000) != ErrOkay)
		std::abort();
	TString text;
	for (const HeadersNodePtr& n : w.nodes) {
		n->stringWrite(text);
		if (db.RecordAppend(n->fMsgID, text) != ErrOkay)
			std::abort();
	}
	db.Close();
	return w;
}

const EFSortInfo kByDate{HeadersNode::compareDate, true};

void ReadThreadSort(benchmark::State& state)
{
	Work& w = work();
	TString mdir = ts(w.dir.string());
	long grown = 0;
	size_t shown = 0;
	for (auto _ : state) {
		long before = residentKiB();
		NodeList byId, attach;
		long unread = 0;
		if (MessageList::ReadMdir(mdir, byId, attach, true, false, unread) != ErrOkay)
			state.SkipWithError("read failed");
		NodeList display = MessageList::ThreadAndSort(byId, attach, kByDate, state.range(0) != 0);
		shown = display.size();
		grown = std::max(grown, residentKiB() - before);
		benchmark::DoNotOptimize(display.data());
	}
	state.counters["top_level"] = static_cast<double>(shown);
	state.counters["memory_MB"] = static_cast<double>(grown) / 1024.0;
}

void ThreadSortOnly(benchmark::State& state)
{
	Work& w = work();
	TString mdir = ts(w.dir.string());
	NodeList byId, attach;
	long unread = 0;
	MessageList::ReadMdir(mdir, byId, attach, true, false, unread);
	for (auto _ : state) {
		for (const HeadersNodePtr& n : byId)
			n->childDelAll();
		for (const HeadersNodePtr& n : byId)
			n->fParent = nullptr;
		NodeList display = MessageList::ThreadAndSort(byId, attach, kByDate, true);
		benchmark::DoNotOptimize(display.data());
	}
}

// Reference: a plain sort of the same nodes by date.
void PlainSortReference(benchmark::State& state)
{
	Work& w = work();
	for (auto _ : state) {
		NodeList copy(w.nodes);
		std::sort(copy.begin(), copy.end(),
			[](const HeadersNodePtr& a, const HeadersNodePtr& b) { return a->fDateTime < b->fDateTime; });
		benchmark::DoNotOptimize(copy.data());
	}
}

// The last kAdded messages arrive one at a time into the threaded, date-sorted list of the rest.
void SingleAdditions(benchmark::State& state)
{
	Work& w = work();
	bool threaded = state.range(0) != 0;
	for (auto _ : state) {
		state.PauseTiming();
		NodeList byId, attach, display;
		std::vector<HeadersNodePtr> fresh;
		for (size_t i = 0; i < w.nodes.size(); i++) {
			// Copies, so that every run starts from untouched nodes.
			TString text;
			w.nodes[i]->stringWrite(text);
			HeadersNodePtr n = HeadersNode::initWithMsgID(w.nodes[i]->fMsgID, text);
			if (i + kAdded < w.nodes.size()) {
				byId.push_back(n);
				if (n->fPartTotal > 1)
					attach.push_back(n);
			} else {
				fresh.push_back(n);
			}
		}
		std::sort(byId.begin(), byId.end(), [](const HeadersNodePtr& a, const HeadersNodePtr& b) {
			return a->fMsgID.Compare(b->fMsgID) < 0;
		});
		std::sort(attach.begin(), attach.end(), [](const HeadersNodePtr& a, const HeadersNodePtr& b) {
			int c = HeadersNode::compareAttach(*a, *b);
			if (c != 0)
				return c < 0;
			if (a->fPartTotal != b->fPartTotal)
				return a->fPartTotal < b->fPartTotal;
			return a->fMsgID.Compare(b->fMsgID) < 0;
		});
		display = MessageList::ThreadAndSort(byId, attach, kByDate, threaded);
		state.ResumeTiming();
		for (const HeadersNodePtr& n : fresh)
			MessageList::NodeAdd(byId, display, attach, {n}, kByDate, threaded);
		benchmark::DoNotOptimize(display.data());
	}
	state.counters["per_addition"] = benchmark::Counter(static_cast<double>(kAdded),
		benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(ReadThreadSort)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(ThreadSortOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(PlainSortReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(SingleAdditions)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

int main(int argc, char** argv)
{
	benchmark::Initialize(&argc, argv);
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	std::error_code ec;
	if (!work().dir.empty())
		fs::remove_all(work().dir, ec);
	return 0;
}
