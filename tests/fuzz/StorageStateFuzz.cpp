// Feeds arbitrary bytes to the storage view state reader as its file, then writes the state
// back and reads it again: whatever was taken must read back the same.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "DirMngr.h"
#include "GlobalPrefs.h"
#include "Language.h"
#include "StoragePath.h"
#include "StorageState.h"

namespace {

bool setUp()
{
	static char root[] = "/tmp/quillfern-fuzz-XXXXXX";
	if (!mkdtemp(root) || !Language::Start())
		return false;
	GlobalPrefs::RootOverrideSet(TString(root));
	if (!GlobalPrefs::Start() || !StoragePath::Start(StoragePath::kTypeNews))
		return false;
	TString path;
	StoragePath::PathRootType(path);
	DirMngr::Create(path);
	StoragePath::PathData(path);
	DirMngr::Create(path);
	return true;
}

// A path as a string, whatever bytes the input put into it.
TString pathOf(const std::string& path)
{
	TString t;
	t.AllowInvalidSet(true);
	t.Assign(path.c_str());
	return t;
}

std::map<std::string, std::pair<long, bool>> snapshot(const std::map<std::string, bool>& paths)
{
	std::map<std::string, std::pair<long, bool>> out;
	for (const auto& [path, unused] : paths) {
		// Entries of directories that are gone are dropped one per start.
		if (DirMngr::Exists(pathOf(path)) != ErrOkay)
			continue;
		StorageState::NodeData data;
		StorageState::NodeGet(pathOf(path), data);
		out[path] = {data.unread, data.expanded};
	}
	return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool ready = setUp();
	if (!ready)
		return 0;
	TString file, root;
	StoragePath::FileStorageList(file);
	StoragePath::PathRoot(root);
	FILE* f = std::fopen(file.String(), "wb");
	if (!f)
		return 0;
	bool written = std::fwrite(data, 1, size, f) == size;
	if (std::fclose(f) != 0 || !written)
		std::abort();

	StorageState::Start();
	// The paths the input may name: every line's first field joined to the root.
	std::map<std::string, bool> paths;
	std::string text(reinterpret_cast<const char*>(data), size);
	size_t start = 0;
	while (start < text.size()) {
		size_t end = text.find_first_of("\r\n", start);
		std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
		std::string field = line.substr(0, line.find('\t'));
		while (!field.empty() && field.back() == ' ')
			field.pop_back();
		while (!field.empty() && field.front() == ' ')
			field.erase(0, 1);
		paths[std::string(root.String()) + field] = true;
		start = end == std::string::npos ? text.size() : end + 1;
	}
	auto before = snapshot(paths);
	StorageState::Stop();
	StorageState::Start();
	if (snapshot(paths) != before)
		abort();
	StorageState::Stop();
	return 0;
}
