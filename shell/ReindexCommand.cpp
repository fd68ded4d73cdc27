// quillfern reindex MDIR: rebuilds the mdir's cache from its message files.
// quillfern reparse MDIR: parses every message file again, then its cache holds the new records.
#include <string>

#include "App.h"
#include "BulkProgress.h"
#include "Command.h"
#include "EventTrap.h"
#include "MdirName.h"
#include "MessageStore.h"
#include "NotifyList.h"

namespace {

int bulkRun(const char* name, const Args& args, bool reparse)
{
	if (args.Count() != 1)
		return Command::Usage(*Command::Find(name), std::string(name) + " takes one MDIR");
	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return Command::Fail(error);
	EventTrap complete(NotifyList::MdirComplete());
	BulkProgress progress(mdir, args[0]);
	if (reparse)
		MessageStore::MdirReparse(mdir, kCharsetNone);
	else
		MessageStore::MdirReindex(mdir);
	App::RunUntilIdle();
	progress.Finish();
	if (App::Interrupted())
		return Command::Fail("interrupted");
	if (!complete.Seen(0, mdir))
		return Command::Fail(reparse ? "the messages of " + args[0] + " could not all be parsed"
									 : "the cache of " + args[0] + " could not be rebuilt");
	return Command::kExitOkay;
}

int reindex(const Args& args)
{
	return bulkRun("reindex", args, false);
}

int reparse(const Args& args)
{
	return bulkRun("reparse", args, true);
}

Command::Registrar sReindex({"reindex", "MDIR", "rebuild a message directory's cache from its files",
	"MDIR is ACCOUNT/GROUP, Drafts, Outbox, Sent Messages or Saved/NAME.", {}, true, reindex});

Command::Registrar sReparse({"reparse", "MDIR", "parse every message file of a message directory again",
	"MDIR is ACCOUNT/GROUP, Drafts, Outbox, Sent Messages or Saved/NAME.\n"
	"Message files of older versions (\".qmf\") become message files.",
	{}, true, reparse});

}  // namespace
