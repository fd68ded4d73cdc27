// quillfern groups ACCOUNT: the subscribed newsgroups with their unread and total counts;
// groups refresh and groups search work on the server's newsgroup list.
#include <cstdio>
#include <string>

#include "AcctMngr.h"
#include "Command.h"
#include "GroupSearch.h"
#include "MdirList.h"
#include "NetPipe.h"
#include "NetRun.h"
#include "StoragePath.h"

namespace {

const char* const kName = "groups";

const Command::Info& info()
{
	return *Command::Find(kName);
}

// groups refresh ACCOUNT: download the server's newsgroup list.
int refresh(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(info(), "groups refresh takes one ACCOUNT");
	TString account;
	if (!NetRun::AccountFind(args[1], account))
		return Command::kExitFailed;
	NetPipe::DnldGroupList(account);
	return NetRun::Wait();
}

int run(const Args& args)
{
	if (args.Count() >= 1 && args[0] == "refresh")
		return refresh(args);
	if (args.Count() >= 1 && args[0] == "search")
		return GroupSearch::Run(args);
	if (args.Count() != 1)
		return Command::Usage(info(), "groups takes one ACCOUNT");
	TString account(args[0].c_str());
	AcctData data;
	if (!AcctMngr::Get(account, data))
		return Command::Fail("no such account: " + args[0]);
	AcctMngr::GroupSet groups;
	AcctMngr::GroupListGet(account, groups);
	int status = Command::kExitOkay;
	for (const TString& group : groups) {
		TString mdir;
		StoragePath::PathGroup(account, group, mdir);
		NodeList byId, attach;
		long unread = 0;
		std::string error;
		if (!MdirList::Read(mdir, true, byId, attach, unread, error)) {
			Command::Warn(std::string(group.String()) + ": " + error);
			status = Command::kExitFailed;
			continue;
		}
		std::printf("%s\t%ld\t%zu\n", group.String(), unread, byId.size());
	}
	std::fflush(stdout);
	return status;
}

Command::Registrar sGroups({kName, "ACCOUNT | refresh ACCOUNT | search ACCOUNT [TEXT]",
	"list the subscribed newsgroups with their message counts",
	"Prints NAME, UNREAD and TOTAL for each newsgroup the account subscribes to.\n"
	"refresh: downloads the server's newsgroup list.\n"
	"search: the names of the downloaded newsgroup list that contain TEXT (case matters).",
	{}, true, run});

}  // namespace
