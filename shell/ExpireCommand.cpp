// quillfern expire: one clean-up pass now, without the background's pauses: the local trash is
// emptied, stale scratch files go, and every subscribed newsgroup loses the messages older than
// its expiry age. Standard output gets one line per message removed (ACCOUNT/GROUP, TAB,
// MESSAGE-ID); standard error one line per step with its count.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "App.h"
#include "Command.h"
#include "EventTrap.h"
#include "NotifyList.h"
#include "ReaperThread.h"

namespace {

const char* const kName = "expire";

int run(const Args& args)
{
	if (args.Count() != 0)
		return Command::Usage(*Command::Find(kName), "expire takes no arguments");
	EventTrap deleted(NotifyList::MesgDel());
	ReaperThread::Report report;
	Error e = ReaperThread::Pass(false, &report);
	App::RunUntilIdle();
	if (App::Interrupted())
		return Command::Fail("interrupted");

	std::fprintf(stderr, "trash: %ld item(s) deleted\n", report.trashItems);
	std::fprintf(stderr, "scratch files: %ld item(s) deleted\n", report.tempItems);
	// Each newsgroup's messages, in the order the pass met them.
	std::map<std::string, std::string> names;  // mdir to ACCOUNT/GROUP
	std::vector<std::string> order;
	for (const ReaperThread::Expired& x : report.expired) {
		std::string mdir = x.mdir.String();
		if (names.emplace(mdir, std::string(x.account.String()) + "/" + x.group.String()).second)
			order.push_back(mdir);
	}
	std::map<std::string, long> counts;
	for (const TString& payload : deleted.Payloads()) {
		std::string all(payload.String());
		size_t newline = all.find('\n');
		if (newline == std::string::npos)
			continue;
		auto it = names.find(all.substr(0, newline));
		if (it == names.end())
			continue;
		std::printf("%s\t%s\n", it->second.c_str(), all.substr(newline + 1).c_str());
		++counts[it->first];
	}
	for (const std::string& mdir : order)
		std::fprintf(stderr, "%s: %ld message(s) expired\n", names[mdir].c_str(), counts[mdir]);
	if (e != ErrOkay)
		return Command::Fail(e);
	return Command::kExitOkay;
}

Command::Registrar sExpire(
	{kName, "", "empty the trash, delete stale scratch files and expire old messages now",
		"A message expires when its file was not modified within its newsgroup's \"Expire\" setting.\n"
		"Prints ACCOUNT/GROUP and MESSAGE-ID of every message removed; counts go to standard error.",
		{}, true, run});

}  // namespace
