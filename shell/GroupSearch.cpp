#include "GroupSearch.h"

#include <cstdio>
#include <string>

#include "AcctMngr.h"
#include "Command.h"
#include "GroupSelect.h"

int GroupSearch::Run(const Args& args)
{
	if (args.Count() < 2 || args.Count() > 3)
		return Command::Usage(*Command::Find("groups"), "groups search takes ACCOUNT and an optional TEXT");
	TString account(args[1].c_str());
	AcctData data;
	if (!AcctMngr::Get(account, data))
		return Command::Fail("no such account: " + args[1]);
	GroupSelect select(account);
	select.ReadStart();
	Error e = select.ReadWait();
	if (e == ErrFileNotFound)
		return Command::Fail("no newsgroup list downloaded for " + args[1] +
			" (run: quillfern groups refresh " + args[1] + ")");
	if (e != ErrOkay)
		return Command::Fail(e);
	if (args.Count() == 3)
		select.Search(TString(args[2].c_str()));
	for (const GroupItem& item : select.Shown())
		std::printf("%s\n", item.name.String());
	std::fflush(stdout);  // NOLINT(cert-err33-c): main() checks stdout at exit
	return Command::kExitOkay;
}
