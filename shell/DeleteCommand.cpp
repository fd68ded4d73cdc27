// quillfern delete MDIR (MESSAGE-ID... | --all)
#include <string>
#include <vector>

#include "App.h"
#include "BulkProgress.h"
#include "Command.h"
#include "EventTrap.h"
#include "MdirName.h"
#include "MessageStore.h"
#include "NotifyList.h"

namespace {

const char* const kName = "delete";

// Every message of the mdir at once, on the bulk thread.
int deleteAll(const TString& mdir, const std::string& name)
{
	EventTrap complete(NotifyList::MdirComplete());
	BulkProgress progress(mdir, name);
	MessageStore::MdirDelete(mdir);
	App::RunUntilIdle();
	progress.Finish();
	if (App::Interrupted())
		return Command::Fail("interrupted");
	if (!complete.Seen(0, mdir))
		return Command::Fail("the messages of " + name + " could not all be deleted");
	return Command::kExitOkay;
}

int run(const Args& args)
{
	bool all = args.Has("--all");
	if (all ? args.Count() != 1 : args.Count() < 2)
		return Command::Usage(
			*Command::Find(kName), "delete takes MDIR and one or more message-ids (or --all)");
	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return Command::Fail(error);
	if (all)
		return deleteAll(mdir, args[0]);
	std::vector<HeadersNodePtr> nodes;
	std::vector<std::string> ids(args.Positional().begin() + 1, args.Positional().end());
	if (!MdirName::Lookup(mdir, ids, nodes, error))
		return Command::Fail(error);
	EventTrap deleted(NotifyList::MesgDel());
	for (const HeadersNodePtr& node : nodes)
		MessageStore::MesgDelete(mdir, *node->fFilename);
	App::RunUntilIdle();
	long failed = 0;
	for (const HeadersNodePtr& node : nodes)
		if (!deleted.Seen(1, node->fMsgID))
			++failed;
	if (failed > 0)
		return Command::Fail(std::to_string(failed) + " message(s) could not be deleted");
	return Command::kExitOkay;
}

Command::Registrar sDelete({kName, "MDIR (MESSAGE-ID... | --all)", "delete messages",
	"MDIR is ACCOUNT/GROUP, Drafts, Outbox, Sent Messages or Saved/NAME.", {{"--all", false}}, true, run});

}  // namespace
