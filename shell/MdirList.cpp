#include "MdirList.h"

#include "App.h"
#include "Command.h"

bool MdirList::Read(const TString& mdir, bool includeRead, NodeList& msgIdList, NodeList& attachList,
	long& unread, std::string& error, bool skipPlonked)
{
	// Messages still on their way into the directory (the transfer directory) are carried in first.
	App::RunUntilIdle();
	MessageList::Start();
	Error e = MessageList::ReadMdir(mdir, msgIdList, attachList, includeRead, skipPlonked, unread);
	if (e == ErrFileNotFound || e == ErrFileInvalidData) {
		// The store rebuilds the cache from the message files; read what it made.
		App::RunUntilIdle();
		e = MessageList::ReadMdir(mdir, msgIdList, attachList, includeRead, skipPlonked, unread);
	}
	MessageList::Stop();
	if (e == ErrOkay)
		return true;
	if (e == ErrFileNotFound) {
		msgIdList.clear();
		attachList.clear();
		unread = 0;
		return true;
	}
	error = Command::ErrorText(e);
	return false;
}
