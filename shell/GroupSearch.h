// quillfern groups search ACCOUNT [TEXT]: the names of the account's downloaded newsgroup list
// that hold TEXT (case matters), one a line.
#pragma once

#include "Args.h"

class GroupSearch {
public:
	// args: "search", ACCOUNT and an optional TEXT.
	static int Run(const Args& args);
};
