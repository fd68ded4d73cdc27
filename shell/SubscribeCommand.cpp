// quillfern subscribe ACCOUNT GROUP... and quillfern unsubscribe ACCOUNT GROUP...: change the
// account's subscribed newsgroups through the selection model; the message store then creates
// or deletes the newsgroups' directories.
//
// subscribe refuses names that are not valid newsgroup names. When the account's newsgroup
// list has been downloaded, every name must be in it (so that a misspelt name is caught), unless
// --force is given; with no list downloaded yet it warns and subscribes anyway. Names subscribed
// already (in any case) are left as they are. unsubscribe refuses names the account does not
// subscribe to; a name matches the subscribed one without regard to case. A refused command
// changes nothing.
#include <cstdio>
#include <string>
#include <vector>

#include "AcctMngr.h"
#include "App.h"
#include "Command.h"
#include "EventTrap.h"
#include "GroupSelect.h"
#include "NetName.h"
#include "NotifyList.h"

namespace {

std::string joined(const std::vector<TString>& names)
{
	std::string out;
	for (const TString& name : names) {
		if (!out.empty())
			out += ", ";
		out += name.String();
	}
	return out;
}

// Queues the changed selection and waits for the store to carry it out.
int apply(GroupSelect& select)
{
	EventTrap finished(NotifyList::GroupFinish());
	if (!select.Apply())
		return Command::kExitOkay;
	App::RunUntilIdle();
	if (App::Interrupted())
		return Command::Fail("interrupted");
	return finished.Seen(0, "1") ? Command::kExitOkay : Command::kExitFailed;
}

bool accountCheck(const std::string& name)
{
	AcctData data;
	if (AcctMngr::Get(TString(name.c_str()), data))
		return true;
	Command::Fail("no such account: " + name);
	return false;
}

int subscribe(const Args& args)
{
	const Command::Info& info = *Command::Find("subscribe");
	if (args.Count() < 2)
		return Command::Usage(info, "subscribe takes ACCOUNT and one or more GROUP names");
	std::vector<TString> names;
	for (size_t i = 1; i < args.Count(); ++i) {
		TString name(args[i].c_str());
		if (!NetName::NewsValid(name))
			return Command::Usage(info, "not a valid newsgroup name: " + args[i]);
		names.push_back(name);
	}
	if (!accountCheck(args[0]))
		return Command::kExitFailed;
	TString account(args[0].c_str());
	GroupSelect select(account);
	select.ReadStart();
	Error e = select.ReadWait();
	bool force = args.Has("--force");
	if (e == ErrFileNotFound) {
		Command::Warn("no newsgroup list downloaded for " + args[0] +
			": the names are not checked (run: " + "quillfern groups refresh " + args[0] + ")");
	} else if (e != ErrOkay && !force) {
		return Command::Fail(
			"the newsgroup list of " + args[0] + " cannot be read: " + Command::ErrorText(e));
	} else if (e == ErrOkay && !force) {
		std::vector<TString> unknown;
		for (const TString& name : names)
			if (GroupItem::ListFind(select.ServerList(), name) < 0)
				unknown.push_back(name);
		if (!unknown.empty())
			return Command::Fail("not in the newsgroup list of " + args[0] + ": " + joined(unknown) +
				" (check the name, run quillfern groups refresh " + args[0] + ", or use --force)");
	}
	MesgRequest::GroupSet have = select.SubscribedSet();
	std::vector<TString> added;
	for (const TString& name : names)
		if (have.insert(name).second)
			added.push_back(name);
	if (added.empty())
		return Command::kExitOkay;
	select.Subscribe(added);
	return apply(select);
}

int unsubscribe(const Args& args)
{
	const Command::Info& info = *Command::Find("unsubscribe");
	if (args.Count() < 2)
		return Command::Usage(info, "unsubscribe takes ACCOUNT and one or more GROUP names");
	if (!accountCheck(args[0]))
		return Command::kExitFailed;
	TString account(args[0].c_str());
	GroupSelect select(account);
	MesgRequest::GroupSet have = select.SubscribedSet();
	std::vector<TString> removed, unknown;
	for (size_t i = 1; i < args.Count(); ++i) {
		auto found = have.find(TString(args[i].c_str()));
		if (found == have.end())
			unknown.push_back(TString(args[i].c_str()));
		else
			removed.push_back(*found);  // as the account spells it
	}
	if (!unknown.empty())
		return Command::Fail(args[0] + " does not subscribe to " + joined(unknown));
	select.Unsubscribe(removed);
	return apply(select);
}

Command::Registrar sSubscribe({"subscribe", "ACCOUNT GROUP... [--force]", "subscribe to newsgroups",
	"Adds the newsgroups to the account. Each name must be in the account's downloaded newsgroup\n"
	"list (quillfern groups refresh ACCOUNT) unless --force is given; with no list downloaded the\n"
	"names are not checked. Names subscribed already are left as they are.",
	{{"--force", false}}, true, subscribe});

Command::Registrar sUnsubscribe(
	{"unsubscribe", "ACCOUNT GROUP...", "unsubscribe from newsgroups (their stored messages are deleted)",
		"Removes the newsgroups from the account, with their stored messages. Every name must be one\n"
		"the account subscribes to (in any case); otherwise nothing changes.",
		{}, true, unsubscribe});

}  // namespace
