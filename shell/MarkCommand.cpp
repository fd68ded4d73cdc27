// quillfern mark MDIR (MESSAGE-ID... | --all) read|unread|download|no-download
#include <string>
#include <vector>

#include "AcctMngr.h"
#include "App.h"
#include "BulkProgress.h"
#include "Command.h"
#include "EventTrap.h"
#include "MdirName.h"
#include "MessageStore.h"
#include "NotifyList.h"
#include "StoragePath.h"

namespace {

const char* const kName = "mark";

const Command::Info& info()
{
	return *Command::Find(kName);
}

// Every message of the mdir at once, on the bulk thread.
int markAll(const TString& mdir, const std::string& name, bool readChange, bool flag)
{
	EventTrap complete(NotifyList::MdirComplete());
	BulkProgress progress(mdir, name);
	if (readChange)
		MessageStore::MdirReadChange(mdir, flag);
	else
		MessageStore::MdirMarkChange(mdir, flag);
	App::RunUntilIdle();
	progress.Finish();
	if (App::Interrupted())
		return Command::Fail("interrupted");
	if (!complete.Seen(0, mdir))
		return Command::Fail("the messages of " + name + " could not all be marked");
	return Command::kExitOkay;
}

int run(const Args& args)
{
	bool all = args.Has("--all");
	if (args.Count() < 2 || (all && args.Count() != 2) || (!all && args.Count() < 3))
		return Command::Usage(
			info(), "mark takes MDIR, message-ids (or --all) and read, unread, download or no-download");
	const std::string& what = args[args.Count() - 1];
	bool readChange = what == "read" || what == "unread";
	if (!readChange && what != "download" && what != "no-download")
		return Command::Usage(info(), "mark what: read, unread, download or no-download");
	bool flag = what == "unread" || what == "download";

	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return Command::Fail(error);
	if (all)
		return markAll(mdir, args[0], readChange, flag);
	std::vector<HeadersNodePtr> nodes;
	std::vector<std::string> ids(args.Positional().begin() + 1, args.Positional().end() - 1);
	if (!MdirName::Lookup(mdir, ids, nodes, error))
		return Command::Fail(error);

	// A newsgroup's article is marked read in every subscribed newsgroup it was posted to.
	TString groups;
	StoragePath::PathAccounts(groups);
	std::string account, group;
	if (mdir.Compare(groups, groups.ByteLength()) == 0 && args[0].find('/') != std::string::npos &&
		args[0].rfind("Saved/", 0) != 0) {
		account = args[0].substr(0, args[0].find('/'));
		group = args[0].substr(args[0].find('/') + 1);
	}
	EventTrap modified(NotifyList::MesgMod());
	for (const HeadersNodePtr& node : nodes) {
		const TString& leaf = *node->fFilename;
		if (!readChange)
			MessageStore::MesgMarkChange(mdir, leaf, flag);
		else if (!account.empty())
			MessageStore::MesgReadChangeGroup(TString(account.c_str()), TString(group.c_str()), leaf,
				node->fMsgID, node->fNewsgroupsTo.value_or(TString()), flag);
		else
			MessageStore::MesgReadChangeFolder(mdir, leaf, flag);
	}
	App::RunUntilIdle();
	if (App::Interrupted())
		return Command::Fail("interrupted");
	long failed = 0;
	for (const HeadersNodePtr& node : nodes)
		if (!modified.Seen(1, node->fMsgID))
			++failed;
	if (failed > 0)
		return Command::Fail(std::to_string(failed) + " message(s) could not be marked");
	return Command::kExitOkay;
}

Command::Registrar sMark({kName, "MDIR (MESSAGE-ID... | --all) read|unread|download|no-download",
	"mark messages read or unread, or for body download",
	"MDIR is ACCOUNT/GROUP, Drafts, Outbox, Sent Messages or Saved/NAME.", {{"--all", false}}, true, run});

}  // namespace
