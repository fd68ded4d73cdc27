// Reads message directories into lists in the background.
#pragma once

class MdirReader {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
};
