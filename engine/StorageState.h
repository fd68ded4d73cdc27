// Keeps the state of the storage view (the folder tree) between runs.
#pragma once

class StorageState {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
};
