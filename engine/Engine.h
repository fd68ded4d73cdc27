// Starts and stops the process-wide managers in their fixed order. The display layer (here the
// shell) supplies the steps that are its own through hooks, so that the engine never calls up.
#pragma once

class Engine {
public:
	struct DisplayHooks {
		bool (*levelOneStart)() = nullptr;  // alerts, menus, window controllers
		void (*levelOneStop)() = nullptr;
		bool (*stringsStart)() = nullptr;  // the display layer's language sections
		void (*stringsStop)() = nullptr;
		bool (*modelsStart)() = nullptr;  // header list, storage view, transfer list models
		void (*modelsStop)() = nullptr;
		bool (*windowsStart)() = nullptr;  // main and decode windows, before accounts are announced
		void (*afterAccounts)() = nullptr;
	};

	// Level one: language, time formats, errors, then the display layer's own classes.
	static bool StartLevelOne(const DisplayHooks& hooks);
	static void StopLevelOne();

	// Level two: every engine manager up to the accounts; then the worker threads may run.
	static bool StartLevelTwo(int type);
	static void StopLevelTwo();

	// Both levels, and both stops; a failed start has already run the whole stop sequence.
	static bool Start(int type, const DisplayHooks& hooks);
	static void Stop();

	static bool Running() { return sRunning; }

private:
	static DisplayHooks sHooks;
	static bool sRunning;
};
