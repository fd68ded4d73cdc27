// One named event of the notification bus. Distributed events also reach the other running
// processes of the same user that share the data root.
#pragma once

#include "TString.h"

class NotifyItem {
public:
	NotifyItem(const char* name, bool distributed) : mName(name), mDistributed(distributed) {}

	const TString& Name() const { return mName; }
	bool Distributed() const { return mDistributed; }

private:
	TString mName;
	bool mDistributed;
};
