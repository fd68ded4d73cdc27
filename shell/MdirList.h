// The message list of one mdir for the reading commands: read, threaded and sorted by the
// message directory reader, with one wait for a rebuild when the cache was missing or refused.
#pragma once

#include <string>

#include "MessageList.h"

class MdirList {
public:
	// Reads mdir; false with a message on failure. A sort without a comparison leaves the
	// display list in the order read.
	static bool Read(const TString& mdir, bool includeRead, NodeList& msgIdList, NodeList& attachList,
		long& unread, std::string& error, const EFSortInfo& sort = EFSortInfo(), bool threaded = false,
		NodeList* displayList = nullptr);
};
