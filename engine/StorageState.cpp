#include "StorageState.h"

#include <string>
#include <vector>

#include "DirMngr.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "Str.h"
#include "TextFile.h"

std::map<TString, StorageState::NodeData> StorageState::sMap;
bool StorageState::sStarted = false;

namespace {

const long long kLockWait = 1000000;

bool integerParse(std::string text, long& value)
{
	size_t a = text.find_first_not_of(" \t\r\n");
	size_t b = text.find_last_not_of(" \t\r\n");
	if (a == std::string::npos)
		return false;
	text = text.substr(a, b - a + 1);
	if (text.size() > 18 || !Str::ParseInteger(text.c_str(), nullptr, nullptr))
		return false;
	value = static_cast<long>(Str::Atoll(text.c_str()));
	return true;
}

}  // namespace

bool StorageState::lineParse(const TString& root, const TString& line, TString& path, NodeData& data)
{
	std::string all(line.String());
	size_t t1 = all.find('\t');
	size_t t2 = t1 == std::string::npos ? t1 : all.find('\t', t1 + 1);
	if (t2 == std::string::npos)
		return false;
	std::string field = all.substr(0, t1);
	size_t a = field.find_first_not_of(" \r\n");
	size_t b = field.find_last_not_of(" \r\n");
	if (a == std::string::npos)
		return false;
	// Checked below: a damaged file may hold bytes that are not UTF-8.
	TString relative;
	relative.AllowInvalidSet(true);
	relative.Assign(field.substr(a, b - a + 1).c_str());
	if (!relative.Valid() || !PathMngr::Valid(relative) || relative.FindPtr('~'))
		return false;
	path = root;
	path += relative;
	if (!PathMngr::Valid(path))
		return false;
	long expanded = 0;
	if (!integerParse(all.substr(t1 + 1, t2 - t1 - 1), data.unread) ||
		!integerParse(all.substr(t2 + 1), expanded))
		return false;
	data.expanded = expanded != 0;
	return true;
}

bool StorageState::Start()
{
	sMap.clear();
	TString root, file;
	StoragePath::PathRoot(root);
	StoragePath::FileStorageList(file);
	TextFile text;
	if (text.Open(file, TextFile::ModeRead, kLockWait) == ErrOkay) {
		TString line;
		Error e;
		while ((e = text.Read(line)) == ErrOkay || e == ErrFileLineTooLong) {
			TString path;
			NodeData data;
			if (e == ErrOkay && lineParse(root, line, path, data))
				sMap.emplace(path, data);  // the first line of a path wins
		}
		text.Close();
	}
	// At most one entry whose directory is gone is dropped per start.
	for (auto it = sMap.begin(); it != sMap.end(); ++it)
		if (DirMngr::Exists(it->first) != ErrOkay) {
			sMap.erase(it);
			break;
		}
	sStarted = true;
	return true;
}

void StorageState::Stop()
{
	if (!sStarted)
		return;
	sStarted = false;
	TString root, file;
	StoragePath::PathRoot(root);
	StoragePath::FileStorageList(file);
	// Written beside and renamed over the old file, so that a reader never sees half of it.
	std::vector<TString> lines;
	for (const auto& [path, data] : sMap) {
		std::string p(path.String());
		if (p.compare(0, static_cast<size_t>(root.ByteLength()), root.String()) != 0)
			continue;
		TString line;
		line.Fmt("%s \t %ld \t %d", p.substr(static_cast<size_t>(root.ByteLength())).c_str(), data.unread,
			data.expanded ? 1 : 0);
		lines.push_back(line);
	}
	TextFile::WriteReplace(file, lines, kLockWait);
	sMap.clear();
}

void StorageState::NodeGet(const TString& path, NodeData& data)
{
	auto it = sMap.find(path);
	data = it == sMap.end() ? NodeData() : it->second;
}

void StorageState::NodeSet(const TString& path, const NodeData& data)
{
	sMap[path] = data;
}

void StorageState::NodeDel(const TString& path)
{
	sMap.erase(path);
}
