// The language sections of the command's own texts.
#pragma once

class ProgStrings {
public:
	static bool Start();
	static void Stop();
};
