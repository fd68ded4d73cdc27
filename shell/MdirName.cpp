#include "MdirName.h"

#include <vector>

#include <map>

#include "AcctMngr.h"
#include "Cache.h"
#include "Command.h"
#include "DirMngr.h"
#include "NetName.h"
#include "PathMngr.h"
#include "StoragePath.h"

namespace {

std::vector<std::string> split(const std::string& text)
{
	std::vector<std::string> parts;
	size_t start = 0;
	while (true) {
		size_t slash = text.find('/', start);
		parts.push_back(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
		if (slash == std::string::npos)
			break;
		start = slash + 1;
	}
	return parts;
}

bool leafUsable(const std::string& leaf)
{
	TString t(leaf.c_str());
	return !leaf.empty() && leaf != "." && leaf != ".." && t.Valid() && PathMngr::ValidLeaf(t) &&
		leaf.find_first_of("\t\r\n") == std::string::npos;
}

}  // namespace

bool MdirName::FolderPath(const std::string& name, TString& path, std::string& error)
{
	std::string rest = name.rfind("Saved/", 0) == 0 ? name.substr(6) : name;
	StoragePath::PathSaved(path);
	for (const std::string& leaf : split(rest)) {
		if (!leafUsable(leaf)) {
			error = "not a usable folder name: " + name;
			return false;
		}
		PathMngr::Append(path, TString(leaf.c_str()));
	}
	return true;
}

std::string MdirName::FolderName(const TString& path)
{
	TString saved;
	StoragePath::PathSaved(saved);
	std::string p(path.String());
	return "Saved" + p.substr(static_cast<size_t>(saved.ByteLength()));
}

bool MdirName::Resolve(const std::string& name, TString& path, std::string& error)
{
	if (name == "Drafts" || name == "Outbox" || name == "Sent Messages") {
		if (name == "Drafts")
			StoragePath::PathDrafts(path);
		else if (name == "Outbox")
			StoragePath::PathOutbox(path);
		else
			StoragePath::PathSent(path);
	} else if (name.rfind("Saved/", 0) == 0) {
		if (!FolderPath(name, path, error))
			return false;
	} else {
		std::vector<std::string> parts = split(name);
		if (parts.size() != 2 || !leafUsable(parts[0]) || !leafUsable(parts[1])) {
			error = "not a message directory: " + name +
				" (ACCOUNT/GROUP, Drafts, Outbox, Sent Messages or Saved/NAME)";
			return false;
		}
		TString account(parts[0].c_str()), group(parts[1].c_str());
		AcctMngr::GroupSet groups;
		if (!AcctMngr::GroupListGet(account, groups) || !AcctMngr::GroupListFind(groups, group)) {
			error = "no subscribed newsgroup " + name;
			return false;
		}
		StoragePath::PathGroup(account, group, path);
	}
	if (DirMngr::Exists(path) != ErrOkay) {
		error = "no such message directory: " + name;
		return false;
	}
	return true;
}

bool MdirName::All(const TString& mdir, std::vector<HeadersNodePtr>& nodes, std::string& error)
{
	Error e = Cache::MdirRead(mdir, nodes, true);
	if (e != ErrOkay) {
		error = Command::ErrorText(e);
		return false;
	}
	return true;
}

bool MdirName::Lookup(const TString& mdir, const std::vector<std::string>& ids,
	std::vector<HeadersNodePtr>& nodes, std::string& error)
{
	std::vector<HeadersNodePtr> all;
	if (!All(mdir, all, error))
		return false;
	std::map<std::string, HeadersNodePtr> byId;
	for (const HeadersNodePtr& node : all)
		byId[node->fMsgID.String()] = node;
	nodes.clear();
	for (const std::string& id : ids) {
		if (!NetName::MsgIdValid(TString(id.c_str()))) {
			error = "not a message-id: " + id;
			return false;
		}
		auto it = byId.find(id);
		if (it == byId.end() || !it->second->fFilename) {
			error = "no such message: " + id;
			return false;
		}
		nodes.push_back(it->second);
	}
	return true;
}
