// The progress record a protocol session hands to its activity callback.
#pragma once

#include <cstdint>

#include "TString.h"

enum ActivityType : uint32_t {
	ActivityNone = 0,
	ActivityConnect = 1,
	ActivityDisconnect = 2,
	ActivityDns = 3,
	ActivityFinished = 4,
	ActivityLogin = 5,
	ActivityCatchupGroup = 8,
	ActivityDnldMessages = 9,
	ActivityDnldBodiesAll = 10,
	ActivityDnldBodiesMarked = 11,
	ActivityLocateMessages = 12,
	ActivityDnldBody = 13,
	ActivityDnldHeaders = 14,
	ActivityDnldGroupList = 15,
	ActivityUpload = 16,
};

struct ActivityInfo {
	ActivityType type = ActivityNone;  // what is happening; 0 outside a report
	bool flag = false;
	TString account;
	TString group;  // newsgroup worked on, or the name just read during a list download
	TString host;  // as given to Connect
	TString address;  // the server's address after the name lookup
	uint32_t done = 0;  // number of the item being worked on, or items done
	uint32_t total = 0;  // items in the job
	uint32_t lines = 0;  // lines transferred of the current message; 0 between messages
};
