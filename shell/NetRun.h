// Runs the network work a transfer command queued: waits for the pipeline to finish, shows
// progress on standard error (a bar on a terminal, one line per finished step otherwise),
// cancels cleanly on Ctrl-C, and turns the results into the command's exit status.
#pragma once

#include <string>

#include "TString.h"

class NetRun {
public:
	// Waits until the pipeline is idle and the store has filed what came in. Returns the exit
	// status: 0 when every request succeeded, 1 when one failed or the run was interrupted.
	static int Wait();

	// The account's exact name; false (with a message) when there is none.
	static bool AccountFind(const std::string& name, TString& account);
	// Whether account subscribes to group (with a message when not); group gets the stored name.
	static bool GroupFind(const TString& account, const std::string& name, TString& group);

private:
	static void barDraw(bool final);
	static void resultsReport(int& status);
};
