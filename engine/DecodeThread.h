// Decodes binary attachments in the background.
#pragma once

class DecodeThread {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool sStarted;
};
