// quillfern fetch [ACCOUNT [GROUP...]], send [ACCOUNT], catchup ACCOUNT GROUP: the transfers.
#include <cstdio>
#include <string>
#include <vector>

#include "AcctMngr.h"
#include "Command.h"
#include "GroupData.h"
#include "Language.h"
#include "NetPipe.h"
#include "NetRun.h"

namespace {

// The shell's explanation of a group that its settings keep from being downloaded.
void explain(const char* key, const TString& group)
{
	TString text;
	if (!Language::String(key, text, false))
		text = key;
	std::string s = text.String();
	size_t tab = s.find('\t');
	if (tab != std::string::npos)
		s = s.substr(0, tab) + ": " + s.substr(tab + 1);
	Command::Warn(std::string(group.String()) + ": " + s);
}

int fetch(const Args& args)
{
	std::vector<TString> accounts;
	std::vector<TString> groups;
	if (args.Count() >= 1) {
		TString account;
		if (!NetRun::AccountFind(args[0], account))
			return Command::kExitFailed;
		accounts.push_back(account);
		for (size_t i = 1; i < args.Count(); ++i) {
			TString group;
			if (!NetRun::GroupFind(account, args[i], group))
				return Command::kExitFailed;
			GroupData data;
			data.GroupGet(account, group);
			if (data.downloadType == GroupData::TypeNone) {
				explain("GroupNoDownload", group);
				return Command::kExitFailed;
			}
			groups.push_back(group);
		}
	} else {
		AcctMngr::AccountList(accounts);
	}
	// Posting first, then new articles, then the bodies marked for download.
	if (args.Count() >= 1)
		NetPipe::UpldAccount(accounts[0]);
	else
		NetPipe::UpldAll();
	if (!groups.empty()) {
		for (const TString& group : groups)
			NetPipe::DnldGroup(accounts[0], group);
		for (const TString& group : groups)
			NetPipe::DnldBodiesMarked(accounts[0], group);
	} else if (args.Count() >= 1) {
		NetPipe::DnldAccount(accounts[0]);
		NetPipe::DnldBodiesMarked(accounts[0]);
	} else {
		NetPipe::DnldAll();
		NetPipe::DnldBodiesMarked();
	}
	return NetRun::Wait();
}

int send(const Args& args)
{
	if (args.Count() > 1)
		return Command::Usage(*Command::Find("send"), "send takes at most one ACCOUNT");
	bool queued = false;
	if (args.Count() == 1) {
		TString account;
		if (!NetRun::AccountFind(args[0], account))
			return Command::kExitFailed;
		queued = NetPipe::UpldAccount(account);
	} else {
		queued = NetPipe::UpldAll();
	}
	if (!queued) {
		std::fprintf(stderr, "nothing to send\n");
		return Command::kExitOkay;
	}
	return NetRun::Wait();
}

int catchup(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(*Command::Find("catchup"), "catchup takes ACCOUNT and GROUP");
	TString account, group;
	if (!NetRun::AccountFind(args[0], account) || !NetRun::GroupFind(account, args[1], group))
		return Command::kExitFailed;
	NetPipe::CatchupGroup(account, group);
	return NetRun::Wait();
}

Command::Registrar sFetch({"fetch", "[ACCOUNT [GROUP...]]",
	"post the Outbox, download new articles and the bodies marked for download",
	"Without ACCOUNT, every account; without GROUP, every subscribed newsgroup of the account.\n"
	"Each newsgroup is fetched as its settings say (see quillfern settings). Progress goes to\n"
	"standard error: a bar on a terminal, one line per finished newsgroup otherwise. Ctrl-C\n"
	"cancels; the next fetch goes on where this one stopped.",
	{}, true, fetch});

Command::Registrar sSend({"send", "[ACCOUNT]", "post the messages waiting in the Outbox",
	"Without ACCOUNT, the messages of every account. Posted messages move to Sent Messages.", {}, true,
	send});

Command::Registrar sCatchup({"catchup", "ACCOUNT GROUP", "mark everything on the server as seen",
	"The next fetch of the newsgroup gets only articles that arrive after this.", {}, true, catchup});

}  // namespace
