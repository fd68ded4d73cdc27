#include "MdirList.h"

#include "App.h"
#include "Command.h"
#include "MdirReader.h"

namespace {

// Keeps what the reader hands over.
class Collect : public MdirReader::Target {
public:
	void MdirRead(const TString&, NodeList& msgIdList, NodeList& displayList, NodeList& attachList,
		long unread, bool) override
	{
		mMsgIds.swap(msgIdList);
		mDisplay.swap(displayList);
		mAttach.swap(attachList);
		mUnread = unread;
		mError = ErrOkay;
		mDone = true;
	}
	void MdirReadFailed(const TString&, Error e) override
	{
		mError = e;
		mDone = true;
	}

	NodeList mMsgIds, mDisplay, mAttach;
	long mUnread = 0;
	Error mError = ErrOkay;
	bool mDone = false;
};

Error readOnce(const TString& mdir, bool includeRead, const EFSortInfo& sort, bool threaded, Collect& out)
{
	out = Collect();
	MdirReader::Read(mdir, &out, sort, threaded, false, includeRead, false);
	App::RunUntilIdle();
	if (!out.mDone) {
		// Interrupted, or a reader that could not run: nothing was read.
		MdirReader::Read(TString(), nullptr, EFSortInfo(), false, false, true, false);
		return ErrGmCancelled;
	}
	return out.mError;
}

}  // namespace

bool MdirList::Read(const TString& mdir, bool includeRead, NodeList& msgIdList, NodeList& attachList,
	long& unread, std::string& error, const EFSortInfo& sort, bool threaded, NodeList* displayList)
{
	msgIdList.clear();
	attachList.clear();
	unread = 0;
	if (displayList)
		displayList->clear();
	// Messages still on their way into the directory (the transfer directory) are carried in first.
	App::RunUntilIdle();
	Collect got;
	Error e = readOnce(mdir, includeRead, sort, threaded, got);
	if (e == ErrFileNotFound || e == ErrFileInvalidData) {
		// The store rebuilds the cache from the message files; read what it made.
		App::RunUntilIdle();
		e = readOnce(mdir, includeRead, sort, threaded, got);
	}
	if (e == ErrFileNotFound)
		return true;
	if (e != ErrOkay) {
		error = Command::ErrorText(e);
		return false;
	}
	msgIdList.swap(got.mMsgIds);
	attachList.swap(got.mAttach);
	unread = got.mUnread;
	if (displayList)
		displayList->swap(got.mDisplay);
	return true;
}
