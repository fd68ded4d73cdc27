// Feeds arbitrary bytes to the newsgroup list reader as a downloaded list file: whatever it
// takes must be a sorted list of distinct valid newsgroup names, each found in the input, and
// adding them to a list again one by one must give the same list.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "GroupItem.h"
#include "NetName.h"

namespace {

std::string sPath;

bool setUp()
{
	static char dir[] = "/tmp/quillfern-fuzz-XXXXXX";
	if (!mkdtemp(dir))
		return false;
	sPath = std::string(dir) + "/NewsgroupList.txt";
	return true;
}

void fail(const char* what, const TString& name)
{
	std::fprintf(stderr, "%s: \"%s\"\n", what, name.String());
	__builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool ready = setUp();
	if (!ready)
		return 0;
	FILE* f = std::fopen(sPath.c_str(), "wb");
	if (!f)
		return 0;
	bool written = std::fwrite(data, 1, size, f) == size;
	if (std::fclose(f) != 0 || !written)
		std::abort();
	std::string text(reinterpret_cast<const char*>(data), size);

	GroupItem::List list;
	if (GroupItem::ListRead(list, TString(sPath.c_str()), nullptr) != ErrOkay)
		return 0;
	GroupItem::List again;
	for (size_t i = 0; i < list.size(); ++i) {
		const TString& name = list[i].name;
		if (!name.Valid() || !NetName::NewsValid(name))
			fail("not a valid name", name);
		if (i > 0 && !(list[i - 1].name < name))
			fail("out of order or twice", name);
		if (text.find(name.String()) == std::string::npos)
			fail("not in the input", name);
		GroupItem::ListAdd(again, {name});
	}
	if (again.size() != list.size())
		__builtin_trap();
	return 0;
}
