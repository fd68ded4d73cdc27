// Renders message bodies to display text.
#pragma once

class MessageBody {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
};
