// The message list of one mdir for the reading commands: its cache read into message lists,
// with one wait for a rebuild when the cache was missing or refused.
#pragma once

#include <string>

#include "MessageList.h"

class MdirList {
public:
	// Reads mdir; false with a message on failure.
	// With skipPlonked, killfiled messages are left out (and not counted).
	static bool Read(const TString& mdir, bool includeRead, NodeList& msgIdList, NodeList& attachList,
		long& unread, std::string& error, bool skipPlonked = false);
};
