// Serves the message-store and message request queues on the message-store thread.
#pragma once

class MesgThread {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	// The message-store thread's procedure: one unit of queued work per call.
	static unsigned long Proc(void* data);

private:
	static bool sStarted;
};
