// quillfern identity list | add | set | delete: the posting identities.
#include <cstdio>
#include <string>

#include "AcctStrings.h"
#include "Command.h"
#include "IdentData.h"
#include "Identity.h"
#include "NetName.h"
#include "TString.h"

namespace {

const char* const kName = "identity";

const Command::Info& info()
{
	return *Command::Find(kName);
}

int failText(const char* key, const std::string& arg = "")
{
	TString text;
	AcctStrings::Text(text, key, arg.c_str());
	return Command::Fail(text.String());
}

// The identity named by its item identifier or, failing that, by its display name; -1 when none.
long identityFind(const std::string& text)
{
	TString key(text.c_str());
	long index = IdentData::ItemIDValid(key) ? Identity::IndexFromItemID(key) : -1;
	return index >= 0 ? index : Identity::IndexFromName(key);
}

// Applies the options of add and set, then checks the result the way the engine would refuse
// it. Returns an exit status other than kExitOkay on a wrong command line or refused data.
int optionsApply(const Args& args, IdentData& data)
{
	if (args.Has("--name"))
		data.name = args.Value("--name").c_str();
	if (args.Has("--email")) {
		// A munged address that was made from the old address follows the new one.
		TString madeFromOld(data.email);
		IdentData::EmailMunge(madeFromOld);
		bool mungedFollows = data.emailMunged.Empty() || data.emailMunged == madeFromOld;
		data.email = args.Value("--email").c_str();
		if (mungedFollows && !args.Has("--munged") && NetName::EmailValid(data.email)) {
			data.emailMunged = data.email;
			IdentData::EmailMunge(data.emailMunged);
		}
	}
	if (args.Has("--munged"))
		data.emailMunged = args.Value("--munged").c_str();
	if (args.Has("--organization"))
		data.organization = args.Value("--organization").c_str();
	bool sig = args.Has("--signature"), reply = args.Has("--reply-signature");
	if (sig && reply && args.Value("--signature") != args.Value("--reply-signature"))
		return Command::Usage(info(), "new messages and replies share one signature file");
	if (sig || reply) {
		std::string file = sig ? args.Value("--signature") : args.Value("--reply-signature");
		data.signature.filename = file.c_str();
		data.signature.enable = !file.empty();
		data.signature.enableForReplies = reply && !file.empty();
		if (file.empty())
			data.signature.filename = IdentData::SignatureFilename();
	}

	data.name.Trim();
	if (data.name.Empty())
		return failText("IdentityNameEmpty");
	if (!NetName::EmailValid(data.email))
		return failText("IdentityBadEmail", data.email.String());
	if (!NetName::EmailValid(data.emailMunged))
		return failText("IdentityBadEmail", data.emailMunged.String());
	if (data.signature.enable && !IdentData::SignatureExists(data.signature.filename)) {
		TString path;
		IdentData::SignaturePath(path, data.signature.filename);
		return failText("IdentitySignatureMissing", path.String());
	}
	return Command::kExitOkay;
}

int list()
{
	for (long i = 0; i < Identity::CountCurrent(); i++) {
		IdentData data;
		if (Identity::IdentGet(i, data))
			std::printf("%s\t%s\t%s\t%s\n", data.itemID.String(), data.name.String(), data.email.String(),
				data.organization.String());
	}
	return Command::kExitOkay;
}

int add(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(info(), "identity add takes one display name");
	if (!args.Has("--email"))
		return Command::Usage(info(), "identity add needs --email ADDRESS");
	if (args.Has("--name"))
		return Command::Usage(info(), "the name of a new identity is its argument");
	if (Identity::CountCurrent() >= Identity::CountMax()) {
		TString text;
		AcctStrings::Text(text, "IdentityTooMany", Identity::CountMax());
		return Command::Fail(text.String());
	}
	IdentData data;
	data.Default();
	data.name = args[1].c_str();
	data.organization.Erase();
	data.emailMunged.Erase();
	int status = optionsApply(args, data);
	if (status != Command::kExitOkay)
		return status;
	if (!Identity::IdentAdd(data))
		return Command::kExitFailed;
	IdentData added;
	Identity::IdentGet(Identity::CountCurrent() - 1, added);
	std::printf("%s\n", added.itemID.String());
	return Command::kExitOkay;
}

int set(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(info(), "identity set takes one identity, by ID or name");
	long index = identityFind(args[1]);
	IdentData data;
	if (index < 0 || !Identity::IdentGet(index, data))
		return failText("IdentityUnknown", args[1]);
	int status = optionsApply(args, data);
	if (status != Command::kExitOkay)
		return status;
	return Identity::IdentSet(index, data) ? Command::kExitOkay : Command::kExitFailed;
}

int remove(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(info(), "identity delete takes one identity, by ID or name");
	long index = identityFind(args[1]);
	if (index < 0)
		return failText("IdentityUnknown", args[1]);
	if (Identity::CountCurrent() < 2)
		return failText("IdentityLast");
	return Identity::IdentDel(index) ? Command::kExitOkay : Command::kExitFailed;
}

int run(const Args& args)
{
	if (args.Count() == 0)
		return Command::Usage(info(), "which action: list, add, set or delete?");
	const std::string& action = args[0];
	bool anyOption = false;
	for (const char* option :
		{"--email", "--munged", "--organization", "--signature", "--reply-signature", "--name"})
		anyOption = anyOption || args.Has(option);
	if (action != "add" && action != "set" && anyOption)
		return Command::Usage(info(), "identity " + action + " takes no options");
	if (action == "list") {
		if (args.Count() != 1)
			return Command::Usage(info(), "identity list takes no arguments");
		return list();
	}
	if (action == "add")
		return add(args);
	if (action == "set")
		return set(args);
	if (action == "delete")
		return remove(args);
	return Command::Usage(info(), "unknown action " + action);
}

Command::Registrar sIdentity(
	{kName, "list | add NAME --email ADDRESS [OPTIONS] | set ID|NAME [OPTIONS] | delete ID|NAME",
		"list, add, change and delete posting identities",
		"Options of add and set:\n"
		"  --email ADDRESS          the real e-mail address\n"
		"  --munged ADDRESS         the address shown in postings (default ADDRESS.invalid)\n"
		"  --organization TEXT      the Organization header\n"
		"  --signature FILE         append FILE to new messages (an empty FILE turns it off)\n"
		"  --reply-signature FILE   append FILE to new messages and replies\n"
		"  --name TEXT              (set) a new display name\n"
		"A FILE that is not absolute or ~/... lies in the data root's Identity folder.\n"
		"add prints the new identity's ID; list prints ID, NAME, E-MAIL and ORGANIZATION.",
		{{"--email", true}, {"--munged", true}, {"--organization", true}, {"--signature", true},
			{"--reply-signature", true}, {"--name", true}},
		true, run});

}  // namespace
