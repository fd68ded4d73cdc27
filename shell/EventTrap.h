// Collects the payloads of one notification while a command waits for the background work it
// queued: the engine reports the results of queued work only as notifications.
#pragma once

#include <vector>

#include "NotifyItem.h"
#include "TString.h"

class EventTrap {
public:
	explicit EventTrap(const NotifyItem& item);
	~EventTrap();
	EventTrap(const EventTrap&) = delete;
	EventTrap& operator=(const EventTrap&) = delete;

	const std::vector<TString>& Payloads() const { return mPayloads; }
	// Whether a payload's line number `line` (from 0) equals text.
	bool Seen(long line, const TString& text) const;

private:
	static void received(void* context, const TString& payload);

	const NotifyItem& mItem;
	std::vector<TString> mPayloads;
};
