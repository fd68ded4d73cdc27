// The network pipeline: one request queue served by one network thread.
#pragma once

class NetPipe {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
};
