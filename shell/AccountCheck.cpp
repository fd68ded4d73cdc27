#include "AccountCheck.h"

#include <cstdio>

#include "AcctCheck.h"
#include "AcctData.h"
#include "AcctMngr.h"
#include "AcctStrings.h"
#include "App.h"
#include "Command.h"
#include "TString.h"

namespace {

// Ctrl-C cancels the wait in progress.
bool keepGoing(void*)
{
	return !App::Interrupted();
}

}  // namespace

int AccountCheck::Run(const Args& args)
{
	const Command::Info& info = *Command::Find("account");
	if (args.Count() != 2)
		return Command::Usage(info, "account check takes one account name");
	AcctData data;
	if (!AcctMngr::Get(TString(args[1].c_str()), data)) {
		TString text;
		AcctStrings::Text(text, "AccountNameUnknown", args[1].c_str());
		return Command::Fail(text.String());
	}
	AcctCheck check;
	check.ContinueProcSet(keepGoing, nullptr);
	TString greeting, errorText;
	if (check.Run(data, greeting, errorText) != ErrOkay)
		return Command::Fail(errorText.String());
	std::printf("%s\n", greeting.String());
	return Command::kExitOkay;
}
