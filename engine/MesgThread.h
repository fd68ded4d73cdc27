// Serves the message-store and message request queues on the message-store thread.
#pragma once

class MesgThread {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
};
