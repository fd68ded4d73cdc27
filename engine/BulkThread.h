// Runs whole-directory work (delete, mark, read, reindex, reparse) in the background, taking
// requests from the bulk queue of the message store one at a time.
#pragma once

class BulkThread {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	// The thread's procedure: one request per call.
	static unsigned long Proc(void* data);
	// Carries out one request of the bulk queue; false when there was none.
	static bool Run();
	// Requests are queued or one is under way.
	static bool Busy();

private:
	static bool sStarted;
};
