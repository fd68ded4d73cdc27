#include "NetRequest.h"

#include "GroupData.h"
#include "Language.h"

void NetRequest::Clear()
{
	type = NetRqstNone;
	account.Erase();
	group.Erase();
	path.Erase();
	iconType = kIconUnknown;
}

float NetRequest::Units() const
{
	switch (type) {
	case NetRqstCatchupGroup: return 7;
	case NetRqstDnldBodiesAll: return 1500;
	case NetRqstDnldBodiesMarked: return 750;
	case NetRqstDnldBody: return 5;
	case NetRqstDnldGroup: return 2100;
	case NetRqstDnldGroupList: return 50000;
	case NetRqstUpload: return 28;
	default: return 1;
	}
}

const char* NetRequest::TypeKey() const
{
	switch (type) {
	case NetRqstCatchupGroup: return "NetActionCatchupGroup";
	case NetRqstDnldBodiesAll: return "NetActionDnldBodiesAll";
	case NetRqstDnldBodiesMarked: return "NetActionDnldBodiesMarked";
	case NetRqstDnldBody: return "NetActionDnldBody";
	case NetRqstDnldGroupList: return "NetActionDnldGroupList";
	case NetRqstUpload: return "NetActionUpload";
	default: return "NetActionDnldGroup";
	}
}

void NetRequest::TypeString(TString& text) const
{
	if (!Language::String(TypeKey(), text, false))
		text = TypeKey();
}

uint32_t NetRequest::IconTypeGet()
{
	if (iconType != kIconUnknown)
		return iconType;
	switch (type) {
	case NetRqstCatchupGroup:
	case NetRqstDnldGroup: {
		GroupData data;
		data.GroupGet(account, group);
		iconType = data.IconTypeGet();
		break;
	}
	case NetRqstDnldBodiesAll:
	case NetRqstDnldBody: iconType = 13; break;
	case NetRqstDnldBodiesMarked: iconType = 10; break;
	default: iconType = 0; break;
	}
	return iconType;
}
