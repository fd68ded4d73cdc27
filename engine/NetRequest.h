// One unit of network work, as the network pipeline queues it: a copyable value.
#pragma once

#include <cstdint>

#include "TString.h"

enum NetRequestType : uint32_t {
	NetRqstNone = 0,
	NetRqstCatchupGroup = 1,
	NetRqstDnldBodiesAll = 2,
	NetRqstDnldBodiesMarked = 3,
	NetRqstDnldBody = 4,
	NetRqstDnldGroup = 5,
	NetRqstDnldGroupList = 6,
	NetRqstUpload = 7,
};

// The kind of connection a request needs.
enum ConnectType : uint32_t {
	ConnectNone = 0,
	ConnectFetch = 1,
	ConnectPost = 2,
};

class NetRequest {
public:
	static constexpr uint32_t kIconUnknown = 19;

	NetRequestType type = NetRqstNone;
	TString account;
	TString group;
	TString path;  // the message file of a single body download
	uint32_t iconType = kIconUnknown;

	void Clear();
	// Weight of the request in the overall progress.
	float Units() const;
	ConnectType Connection() const { return type == NetRqstUpload ? ConnectPost : ConnectFetch; }
	// The localized label of the request's kind.
	void TypeString(TString& text) const;
	// The language key of the label.
	const char* TypeKey() const;
	uint32_t IconTypeGet();

	bool operator==(const NetRequest& other) const
	{
		return type == other.type && account == other.account && group == other.group && path == other.path;
	}
};
