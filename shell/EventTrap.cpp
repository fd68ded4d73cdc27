#include "EventTrap.h"

#include <string>

#include "Notify.h"

EventTrap::EventTrap(const NotifyItem& item) : mItem(item)
{
	Notify::Register(mItem, received, this);
}

EventTrap::~EventTrap()
{
	Notify::Unregister(mItem, received, this);
}

void EventTrap::received(void* context, const TString& payload)
{
	static_cast<EventTrap*>(context)->mPayloads.push_back(payload);
}

bool EventTrap::Seen(long line, const TString& text) const
{
	for (const TString& payload : mPayloads) {
		std::string all(payload.String());
		size_t start = 0;
		for (long n = 0; n < line && start != std::string::npos; ++n) {
			start = all.find('\n', start);
			if (start != std::string::npos)
				++start;
		}
		if (start == std::string::npos)
			continue;
		size_t end = all.find('\n', start);
		if (all.compare(start, end == std::string::npos ? std::string::npos : end - start, text.String()) ==
			0)
			return true;
	}
	return false;
}
