// Runs whole-directory work (delete, mark, read, reindex, reparse) in the background.
#pragma once

class BulkThread {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
};
