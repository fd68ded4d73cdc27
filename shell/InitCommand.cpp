// quillfern init: start the engine once, which creates the storage tree, and print the root.
#include <cstdio>

#include "Command.h"
#include "StoragePath.h"
#include "TString.h"

namespace {

int run(const Args& args)
{
	if (args.Count() != 0)
		return Command::Usage(*Command::Find("init"), "takes no arguments");
	TString root;
	StoragePath::PathRoot(root);
	std::printf("%s\n", root.String());
	return Command::kExitOkay;
}

Command::Registrar sInit(
	{"init", "", "create the storage tree under the data root and print the root", "", {}, true, run});

}  // namespace
