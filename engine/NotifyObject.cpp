#include "NotifyObject.h"

#include <cstring>

bool NotifyObject::Matches(const TString& name, bool distributed) const
{
	return mDistributed == distributed && mName.ByteLength() == name.ByteLength() &&
		memcmp(mName.String(), name.String(), static_cast<size_t>(name.ByteLength())) == 0;
}

bool NotifyObject::Matches(const TString& name, bool distributed, NotifyProc proc, void* context) const
{
	return mProc == proc && mContext == context && Matches(name, distributed);
}

void NotifyObject::Call(const TString& payload) const
{
	if (mActive.load() && mProc != nullptr)
		mProc(mContext, payload);
}
