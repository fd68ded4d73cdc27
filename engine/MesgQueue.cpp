#include "MesgQueue.h"

#include "CritSectLock.h"
#include "Output.h"
#include "ThreadMngr.h"

void MesgQueue::RequestPut(const MesgRequest& request)
{
	MesgRequest copy(request);
	++copy.tries;
	if (copy.tries <= kTriesMax) {
		CritSectLock lock(mLock);
		mList.push_back(std::move(copy));
		return;
	}
	TString text;
	copy.ErrorRetry(text);
	Output::Msg(text.String());
}

bool MesgQueue::RequestGet(MesgRequest& out)
{
	CritSectLock lock(mLock);
	if (mList.empty()) {
		out.Clear();
		return false;
	}
	out = std::move(mList.front());
	mList.pop_front();
	return true;
}

bool MesgQueue::RequestGetIf(MesgRequestType type, const TString& mdir, MesgRequest& out)
{
	CritSectLock lock(mLock);
	if (mList.empty() || mList.front().type != type || !(mList.front().mdir == mdir))
		return false;
	out = std::move(mList.front());
	mList.pop_front();
	return true;
}

bool MesgQueue::Has(MesgRequestType type, const TString& mdir)
{
	CritSectLock lock(mLock);
	for (const MesgRequest& r : mList)
		if (r.type == type && r.mdir == mdir)
			return true;
	return false;
}

bool MesgQueue::Empty()
{
	CritSectLock lock(mLock);
	return mList.empty();
}

long MesgQueue::Count()
{
	CritSectLock lock(mLock);
	return static_cast<long>(mList.size());
}

void MesgQueue::Clear()
{
	CritSectLock lock(mLock);
	mList.clear();
}

bool MesgQueue::Running() const
{
	return ThreadMngr::Running() && !mAbort;
}
