// quillfern account check NAME: reach the account's server, log in when the account requires
// it, print the greeting.
#pragma once

#include "Args.h"

class AccountCheck {
public:
	// args[0] is "check", args[1] the account name.
	static int Run(const Args& args);
};
