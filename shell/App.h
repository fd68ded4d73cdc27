// The application object of the command: starts the engine with the display layer's steps,
// shows alerts on standard error, and stops everything at the end of the run.
#pragma once

#include <string>

class App {
public:
	// Starts the whole engine on the given data root (empty: the stored preference).
	static bool Start(const std::string& root);
	static void Stop();

	// The main loop: delivers notifications on this (the main) thread as they come, until no
	// background work that the run queued is left, or until Ctrl-C.
	static void RunUntilIdle();
	// A test of whether some background work is still under way; RunUntilIdle waits while any
	// of them says so.
	static void BusyProbeAdd(bool (*probe)());

	// Set by Ctrl-C: work in progress is to be cancelled and the run ended cleanly.
	static bool Interrupted();

private:
	static bool sStarted;
};
