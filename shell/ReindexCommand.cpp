// quillfern reindex MDIR: rebuilds the mdir's cache from its message files.
#include <string>

#include "App.h"
#include "Command.h"
#include "EventTrap.h"
#include "MdirName.h"
#include "MessageStore.h"
#include "NotifyList.h"

namespace {

const char* const kName = "reindex";

int run(const Args& args)
{
	if (args.Count() != 1)
		return Command::Usage(*Command::Find(kName), "reindex takes one MDIR");
	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return Command::Fail(error);
	EventTrap complete(NotifyList::MdirComplete());
	MessageStore::MdirReindex(mdir);
	App::RunUntilIdle();
	if (!complete.Seen(0, mdir))
		return Command::Fail("the cache of " + args[0] + " could not be rebuilt");
	return Command::kExitOkay;
}

Command::Registrar sReindex({kName, "MDIR", "rebuild a message directory's cache from its files",
	"MDIR is ACCOUNT/GROUP, Drafts, Outbox, Sent Messages or Saved/NAME.", {}, true, run});

}  // namespace
