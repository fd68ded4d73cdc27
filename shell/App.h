// The application object of the command: starts the engine with the display layer's steps,
// shows alerts on standard error, and stops everything at the end of the run.
#pragma once

#include <string>

class App {
public:
	// Starts the whole engine on the given data root (empty: the stored preference).
	static bool Start(const std::string& root);
	static void Stop();

	// Set by Ctrl-C: work in progress is to be cancelled and the run ended cleanly.
	static bool Interrupted();

private:
	static bool sStarted;
};
