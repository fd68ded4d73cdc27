// quillfern folder list | create NAME | delete NAME | rename NAME NEW: the fixed folders and
// the user's folders under "Saved".
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Cache.h"
#include "Command.h"
#include "DEntry.h"
#include "DirMngr.h"
#include "GuiDiskOp.h"
#include "MdirName.h"
#include "Notify.h"
#include "NotifyList.h"
#include "PathMngr.h"
#include "StoragePath.h"

namespace {

const char* const kName = "folder";

const Command::Info& info()
{
	return *Command::Find(kName);
}

bool collect(void* context, bool& more, unsigned long, const DEntry& entry)
{
	more = true;
	if (entry.IsDirectory()) {
		TString path;
		if (entry.PathGet(path) == ErrOkay)
			static_cast<std::vector<TString>*>(context)->push_back(path);
	}
	return true;
}

void listOne(const std::string& name, const TString& path)
{
	std::vector<HeadersNodePtr> nodes;
	if (Cache::MdirRead(path, nodes, true) != ErrOkay) {
		std::printf("%s\t?\t?\n", name.c_str());
		return;
	}
	long unread = 0;
	for (const HeadersNodePtr& node : nodes)
		if (node->unreadGet())
			++unread;
	std::printf("%s\t%ld\t%zu\n", name.c_str(), unread, nodes.size());
}

int list()
{
	TString path;
	StoragePath::PathDrafts(path);
	listOne("Drafts", path);
	StoragePath::PathOutbox(path);
	listOne("Outbox", path);
	StoragePath::PathSent(path);
	listOne("Sent Messages", path);
	TString saved;
	StoragePath::PathSaved(saved);
	std::vector<TString> folders;
	DirMngr::Iterate(saved, true, collect, &folders);
	std::sort(folders.begin(), folders.end());
	for (const TString& folder : folders)
		listOne(MdirName::FolderName(folder), folder);
	return Command::kExitOkay;
}

int create(const std::string& name)
{
	TString path, parent;
	std::string error;
	if (!MdirName::FolderPath(name, path, error))
		return Command::Usage(info(), error);
	if (DirMngr::Exists(path) == ErrOkay)
		return Command::Fail("folder exists already: " + MdirName::FolderName(path));
	PathMngr::SplitRoot(path, parent);
	if (DirMngr::Exists(parent) != ErrOkay)
		return Command::Fail("no such folder: " + MdirName::FolderName(parent));
	Error e = DirMngr::Create(path);
	if (e == ErrOkay)
		e = Cache::Rebuild(path);
	if (e != ErrOkay)
		return Command::Fail(e);
	Notify::Send(NotifyList::FolderCreate(), path);
	return Command::kExitOkay;
}

bool userFolder(const std::string& name, TString& path, std::string& error)
{
	if (!MdirName::FolderPath(name, path, error))
		return false;
	if (DirMngr::Exists(path) != ErrOkay) {
		error = "no such folder: " + MdirName::FolderName(path);
		return false;
	}
	return true;
}

int remove(const std::string& name)
{
	TString path;
	std::string error;
	if (!userFolder(name, path, error))
		return Command::Fail(error);
	// Into the store's own trash, from which the reaper empties it.
	if (!GuiDiskOp::DirTrashLocal(path))
		return Command::kExitFailed;
	Notify::Send(NotifyList::FolderDelete(), path);
	return Command::kExitOkay;
}

int rename(const std::string& name, const std::string& leaf)
{
	TString path, renamed, parent;
	std::string error;
	if (!userFolder(name, path, error))
		return Command::Fail(error);
	if (leaf.find('/') != std::string::npos)
		return Command::Usage(info(), "the new name is one folder name, without '/'");
	PathMngr::SplitRoot(path, parent);
	std::string target = MdirName::FolderName(parent) + "/" + leaf;
	if (!MdirName::FolderPath(target, renamed, error))
		return Command::Usage(info(), error);
	if (DirMngr::Exists(renamed) == ErrOkay)
		return Command::Fail("folder exists already: " + MdirName::FolderName(renamed));
	if (!GuiDiskOp::DirRename(path, TString(leaf.c_str())))
		return Command::kExitFailed;
	TString payload(path);
	payload += "\n";
	payload += leaf.c_str();
	Notify::Send(NotifyList::FolderRename(), payload);
	return Command::kExitOkay;
}

int run(const Args& args)
{
	if (args.Count() == 0)
		return Command::Usage(info(), "which action: list, create, delete or rename?");
	const std::string& action = args[0];
	if (action == "list" && args.Count() == 1)
		return list();
	if (action == "create" && args.Count() == 2)
		return create(args[1]);
	if (action == "delete" && args.Count() == 2)
		return remove(args[1]);
	if (action == "rename" && args.Count() == 3)
		return rename(args[1], args[2]);
	return Command::Usage(info(), "folder list | create NAME | delete NAME | rename NAME NEW");
}

Command::Registrar sFolder({kName, "list | create NAME | delete NAME | rename NAME NEW",
	"list, create, delete and rename folders",
	"NAME is a user folder, \"NAME\" or \"Saved/NAME[/NAME...]\"; create makes one inside an existing one.\n"
	"list prints NAME, UNREAD and TOTAL for the fixed folders and every user folder.",
	{}, true, run});

}  // namespace
