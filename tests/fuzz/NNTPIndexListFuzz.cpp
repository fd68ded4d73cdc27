// Feeds arbitrary files to the article range state file reader; what it accepts must write and
// read back to the same list.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "NNTPIndexList.h"
#include "TString.h"

namespace {

std::string tempPath(const char* leaf)
{
	return "/tmp/quillfern-fuzz-" + std::to_string(static_cast<long>(::getpid())) + "-" + leaf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const std::string in = tempPath("in.txt"), out = tempPath("out.txt");
	FILE* f = std::fopen(in.c_str(), "wb");
	if (!f)
		return 0;
	bool written = std::fwrite(data, 1, size, f) == size;
	if (std::fclose(f) != 0 || !written)
		std::abort();
	NNTPIndexList list;
	if (list.StateRead(TString(in.c_str())) != ErrOkay)
		return 0;
	if (list.Ranges().size() > NNTPIndexList::kRangeMax)
		std::abort();
	list.IndexOldest();
	list.IndexNewest();
	list.IndexRemain();
	if (list.StateWrite(TString(out.c_str())) != ErrOkay)
		return 0;
	NNTPIndexList back;
	if (back.StateRead(TString(out.c_str())) != ErrOkay || back.Ranges() != list.Ranges())
		std::abort();
	NNTPIndexList::GroupData a, b;
	list.CurrentData(a);
	back.CurrentData(b);
	if (a.low != b.low || a.high != b.high || a.total != b.total)
		std::abort();
	return 0;
}
