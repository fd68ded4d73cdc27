// Feeds arbitrary bytes to the demonstration server as a posted article (what a client sends
// after POST, dot-stuffing undone). An article it takes must be served back by its message-ID
// with a one-line overview; dates it writes must read back as the same instant.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "DemoArticles.h"

namespace {

DemoArticles& articles()
{
	static DemoArticles* sArticles = [] {
		auto* a = new DemoArticles;
		std::string error;
		if (!a->Load(QUILLFERN_DEMO_ARTICLES, error))
			std::fprintf(stderr, "demonstration articles: %s\n", error.c_str());
		return a;
	}();
	return *sArticles;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string text(reinterpret_cast<const char*>(data), size);
	time_t when = 0;
	long offset = 0;
	if (DemoArticles::DateParse(text, when, offset)) {
		time_t back = 0;
		long backOffset = 0;
		if (!DemoArticles::DateParse(DemoArticles::DateText(when, offset), back, backOffset) ||
			back != when || backOffset != offset)
			__builtin_trap();
	}
	std::string reason, id;
	if (!articles().Post(text, reason, &id))
		return 0;
	DemoArticles::Article posted;
	if (!articles().ById(id, posted))
		__builtin_trap();
	std::string overview = DemoArticles::Overview(posted);
	size_t tabs = 0;
	for (char c : overview) {
		if (c == '\r' || c == '\n')
			__builtin_trap();
		tabs += c == '\t';
	}
	if (tabs != 6)
		__builtin_trap();
	return 0;
}
