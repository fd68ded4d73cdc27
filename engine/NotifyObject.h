// A registered observer of the notification bus: the event it listens to and the procedure it
// calls, with its context, on the main thread.
#pragma once

#include <atomic>

#include "TString.h"

// A callback gets its context and the event's payload (empty when the event carried none).
typedef void (*NotifyProc)(void* context, const TString& payload);

class NotifyObject {
public:
	NotifyObject(const TString& name, bool distributed, NotifyProc proc, void* context)
		: mName(name), mDistributed(distributed), mProc(proc), mContext(context)
	{}

	bool Matches(const TString& name, bool distributed) const;
	bool Matches(const TString& name, bool distributed, NotifyProc proc, void* context) const;

	// Calls the callback unless the observer was unregistered since the event was posted.
	void Call(const TString& payload) const;
	void Withdraw() { mActive = false; }

private:
	TString mName;
	bool mDistributed;
	NotifyProc mProc;
	void* mContext;
	std::atomic<bool> mActive{true};
};
