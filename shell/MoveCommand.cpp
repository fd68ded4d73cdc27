// quillfern move MDIR MESSAGE-ID... --to FOLDER
#include <string>
#include <vector>

#include "App.h"
#include "Cache.h"
#include "Command.h"
#include "MdirName.h"
#include "MessageStore.h"
#include "PathMngr.h"

namespace {

const char* const kName = "move";

int run(const Args& args)
{
	const Command::Info& info = *Command::Find(kName);
	if (args.Count() < 2 || !args.Has("--to"))
		return Command::Usage(info, "move takes MDIR, one or more message-ids and --to FOLDER");
	TString source, target;
	std::string error;
	if (!MdirName::Resolve(args[0], source, error) || !MdirName::Resolve(args.Value("--to"), target, error))
		return Command::Fail(error);
	if (source == target)
		return Command::Usage(info, "the messages are in that folder already");
	std::vector<HeadersNodePtr> nodes;
	std::vector<std::string> ids(args.Positional().begin() + 1, args.Positional().end());
	if (!MdirName::Lookup(source, ids, nodes, error))
		return Command::Fail(error);
	for (const HeadersNodePtr& node : nodes) {
		TString path(source);
		PathMngr::Append(path, *node->fFilename);
		MessageStore::MesgMove(target, path);
	}
	App::RunUntilIdle();
	// Each message must have arrived: its record is in the destination's cache.
	long failed = 0;
	for (const HeadersNodePtr& node : nodes) {
		HeadersNodePtr found;
		if (Cache::MesgFind(target, node->fMsgID, found) != ErrOkay)
			++failed;
	}
	if (failed > 0)
		return Command::Fail(std::to_string(failed) + " message(s) could not be moved");
	return Command::kExitOkay;
}

Command::Registrar sMove({kName, "MDIR MESSAGE-ID... --to FOLDER", "move messages to another folder",
	"MDIR and FOLDER are ACCOUNT/GROUP, Drafts, Outbox, Sent Messages or Saved/NAME.", {{"--to", true}}, true,
	run});

}  // namespace
