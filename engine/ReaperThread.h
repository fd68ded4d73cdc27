// Expires old articles and empties the trash and temporary folders in the background.
#pragma once

class ReaperThread {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
};
