// quillfern account list | add | set | delete | show: the accounts and their server settings.
#include <cstdio>
#include <string>

#include "AccountCheck.h"
#include "AcctData.h"
#include "AcctMngr.h"
#include "AcctStrings.h"
#include "App.h"
#include "Command.h"
#include "EventTrap.h"
#include "IdentData.h"
#include "Identity.h"
#include "MessageStore.h"
#include "NotifyList.h"
#include "Str.h"
#include "TString.h"
#include "TimeFormat.h"

namespace {

const char* const kName = "account";

const Command::Info& info()
{
	return *Command::Find(kName);
}

// The identity named by its item identifier or, failing that, by its display name; -1 when none.
long identityFind(const std::string& text)
{
	TString key(text.c_str());
	long index = IdentData::ItemIDValid(key) ? Identity::IndexFromItemID(key) : -1;
	return index >= 0 ? index : Identity::IndexFromName(key);
}

std::string identityName(const TString& itemID)
{
	IdentData ident;
	return Identity::IdentGet(itemID, ident) ? ident.name.String() : "";
}

// Applies the options of add and set to data. Returns an exit status other than kExitOkay when
// the command line or a named identity is wrong.
int optionsApply(const Args& args, AcctData& data, bool adding)
{
	if (args.Has("--server"))
		data.server.host = args.Value("--server").c_str();
	if (args.Has("--port")) {
		std::string port = args.Value("--port");
		long long value = Str::ParseInteger(port.c_str(), nullptr, nullptr) && port.size() <= 6
			? Str::Atoll(port.c_str())
			: -1;
		if (value < 1 || value > 65535)
			return Command::Usage(info(), "--port takes a number from 1 to 65535");
		data.server.port = static_cast<unsigned short>(value);
	}
	if (args.Has("--timeout")) {
		TString text(args.Value("--timeout").c_str());
		long long usecs = 0;
		if (!TimeFormat::Usecs(&usecs, text, true) && !TimeFormat::Usecs(&usecs, text, false))
			return Command::Usage(
				info(), "--timeout takes a duration such as \"45 seconds\" or \"2 minutes\"");
		long long valid = ServData::TimeoutMakeValid(usecs);
		if (valid != usecs) {
			Command::Warn("time-out outside 1 second to 1 hour; using " + Command::DurationText(valid));
		}
		data.server.timeout = valid;
	}
	if (args.Has("--logging")) {
		std::string level = args.Value("--logging");
		if (level != "0" && level != "1" && level != "2")
			return Command::Usage(info(), "--logging takes 0, 1 or 2");
		data.logging = level[0] - '0';
	}
	if (args.Has("--identity")) {
		std::string name = args.Value("--identity");
		long index = identityFind(name);
		if (index < 0) {
			TString text;
			AcctStrings::Text(text, "IdentityUnknown", name.c_str());
			return Command::Fail(text.String());
		}
		Identity::IndexToItemID(index, data.identity);
	}
	if (adding && args.Has("--user") != args.Has("--password"))
		return Command::Usage(info(), "--user and --password go together");
	if (args.Has("--user"))
		data.server.username = args.Value("--user").c_str();
	if (args.Has("--password"))
		data.server.password = args.Value("--password").c_str();
	// Login is on exactly when there is a user name and a password to log in with.
	data.server.requiresLogin = !data.server.username.Empty() && !data.server.password.Empty();
	if (!data.server.requiresLogin) {
		data.server.username.Erase();
		data.server.password.Erase();
	}
	return Command::kExitOkay;
}

int list()
{
	std::vector<TString> names;
	AcctMngr::AccountList(names);
	for (const TString& name : names) {
		AcctData data;
		if (!AcctMngr::Get(name, data))
			continue;
		std::printf("%s\t%s\t%u\t%s\t%zu\n", data.name.String(), data.server.host.String(),
			static_cast<unsigned>(data.server.port), identityName(data.identity).c_str(),
			data.extra.groups.size());
	}
	return Command::kExitOkay;
}

int add(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(info(), "account add takes one account name");
	if (!args.Has("--server"))
		return Command::Usage(info(), "account add needs --server HOST");
	AcctData data;
	data.Default();
	data.name = args[1].c_str();
	data.server.username.Erase();
	data.server.password.Erase();
	int status = optionsApply(args, data, true);
	if (status != Command::kExitOkay)
		return status;
	// Account work runs on the message-store thread; its outcome comes back as notifications.
	EventTrap finished(NotifyList::AcctFinish());
	MessageStore::AcctCreate(data);
	App::RunUntilIdle();
	return finished.Seen(0, "1") ? Command::kExitOkay : Command::kExitFailed;
}

int set(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(info(), "account set takes one account name");
	TString name(args[1].c_str());
	AcctData data;
	if (!AcctMngr::Get(name, data)) {
		TString text;
		AcctStrings::Text(text, "AccountNameUnknown", name.String());
		return Command::Fail(text.String());
	}
	int status = optionsApply(args, data, false);
	if (status != Command::kExitOkay)
		return status;
	if (args.Has("--rename"))
		data.name = args.Value("--rename").c_str();
	EventTrap finished(NotifyList::AcctFinish());
	MessageStore::AcctUpdate(name, data);
	App::RunUntilIdle();
	return finished.Seen(0, "1") ? Command::kExitOkay : Command::kExitFailed;
}

int remove(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(info(), "account delete takes one account name");
	EventTrap deleted(NotifyList::AcctDelete());
	MessageStore::AcctDelete(TString(args[1].c_str()));
	App::RunUntilIdle();
	return deleted.Payloads().empty() ? Command::kExitFailed : Command::kExitOkay;
}

int show(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(info(), "account show takes one account name");
	AcctData data;
	if (!AcctMngr::Get(TString(args[1].c_str()), data)) {
		TString text;
		AcctStrings::Text(text, "AccountNameUnknown", args[1].c_str());
		return Command::Fail(text.String());
	}
	std::string timeout = Command::DurationText(data.server.timeout);
	std::printf("name\t%s\n", data.name.String());
	std::printf("server\t%s\n", data.server.host.String());
	std::printf("port\t%u\n", static_cast<unsigned>(data.server.port));
	std::printf("timeout\t%s\n", timeout.c_str());
	std::printf("login\t%s\n", data.server.requiresLogin ? "yes" : "no");
	std::printf("user\t%s\n", data.server.username.String());
	std::printf("identity\t%s\n", identityName(data.identity).c_str());
	std::printf("identity-id\t%s\n", data.identity.String());
	std::printf("logging\t%d\n", data.logging);
	std::printf("groups\t%zu\n", data.extra.groups.size());
	return Command::kExitOkay;
}

int run(const Args& args)
{
	if (args.Count() == 0)
		return Command::Usage(info(), "which action: list, add, set, delete, show or check?");
	const std::string& action = args[0];
	bool takesSettings = action == "add" || action == "set";
	bool anyOption = false;
	for (const char* option :
		{"--server", "--port", "--user", "--password", "--timeout", "--identity", "--logging", "--rename"})
		anyOption = anyOption || args.Has(option);
	if (!takesSettings && anyOption)
		return Command::Usage(info(), "account " + action + " takes no options");
	if (action != "set" && args.Has("--rename"))
		return Command::Usage(info(), "--rename belongs to account set");
	if (action == "list") {
		if (args.Count() != 1)
			return Command::Usage(info(), "account list takes no arguments");
		return list();
	}
	if (action == "add")
		return add(args);
	if (action == "set")
		return set(args);
	if (action == "delete")
		return remove(args);
	if (action == "show")
		return show(args);
	if (action == "check")
		return AccountCheck::Run(args);
	return Command::Usage(info(), "unknown action " + action);
}

Command::Registrar sAccount({kName,
	"list | add NAME --server HOST [OPTIONS] | set NAME [OPTIONS] [--rename NEW] | delete NAME | show NAME | check NAME",
	"list, add, change and delete accounts",
	"Options of add and set:\n"
	"  --server HOST        the NNTP server\n"
	"  --port N             its port (default 119)\n"
	"  --user NAME --password WORD   log in with these (an empty --user turns login off)\n"
	"  --timeout DURATION   network time-out, 1 second to 1 hour (default 30 seconds)\n"
	"  --identity NAME      the posting identity, by name or ID (default the first)\n"
	"  --logging 0|1|2      protocol log level\n"
	"  --rename NEW         (set) give the account a new name\n"
	"list prints NAME, HOST, PORT, IDENTITY and the number of subscribed groups.",
	{{"--server", true}, {"--port", true}, {"--user", true}, {"--password", true}, {"--timeout", true},
		{"--identity", true}, {"--logging", true}, {"--rename", true}},
	true, run});

}  // namespace
