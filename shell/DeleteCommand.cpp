// quillfern delete MDIR MESSAGE-ID...
#include <string>
#include <vector>

#include "App.h"
#include "Command.h"
#include "EventTrap.h"
#include "MdirName.h"
#include "MessageStore.h"
#include "NotifyList.h"

namespace {

const char* const kName = "delete";

int run(const Args& args)
{
	if (args.Count() < 2)
		return Command::Usage(*Command::Find(kName), "delete takes MDIR and one or more message-ids");
	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return Command::Fail(error);
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

Command::Registrar sDelete({kName, "MDIR MESSAGE-ID...", "delete messages",
	"MDIR is ACCOUNT/GROUP, Drafts, Outbox, Sent Messages or Saved/NAME.", {}, true, run});

}  // namespace
