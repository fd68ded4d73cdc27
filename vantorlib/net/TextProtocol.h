// A line-based protocol session over one connection, with its log.
#pragma once

class TextProtocol {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
};
