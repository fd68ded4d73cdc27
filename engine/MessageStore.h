// The message store: the storage tree on disk and the workers that keep it.
#pragma once

#include "TString.h"

class MessageStore {
public:
	static bool Start(int type);
	static void Stop();
	static bool Started() { return sStarted; }

private:
	static bool treeCreate(int type);
	static bool sStarted;
};
