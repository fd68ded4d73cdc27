// The fixed table of the bus's events. Payload parts are joined with line feeds; the comment
// beside each names what its payload holds.
#pragma once

#include "NotifyItem.h"

class NotifyList {
public:
	static const NotifyItem& AcctCreate();  // account name
	static const NotifyItem& AcctDelete();  // account name
	static const NotifyItem& AcctFinish();  // "1" success or "0" failure, after create and update
	static const NotifyItem& AcctUpdate();  // old name, new name
	static const NotifyItem&
	DecodeProgress();  // bytes written, bytes expected, section number, section count, each followed by a line feed
	static const NotifyItem& DecodeStart();  // leaf name of the file being decoded
	static const NotifyItem& DecodeStop();  // empty
	static const NotifyItem& FolderCreate();  // the folder's path
	static const NotifyItem& FolderDelete();  // the folder's path
	static const NotifyItem& FolderRename();  // old path, new leaf name
	static const NotifyItem& GroupCreate();  // account, newsgroup
	static const NotifyItem& GroupDelete();  // account, newsgroup
	static const NotifyItem& GroupFinish();  // "1" or "0", after setting a newsgroup list
	static const NotifyItem& GroupUpdate();  // account, newsgroup
	static const NotifyItem& IdentityChange();  // empty
	static const NotifyItem& IdentityFileChange();  // the posting process's id in decimal
	static const NotifyItem& MdirComplete();  // mdir path
	static const NotifyItem& MdirUnread();  // mdir path, then a change ("+1", "-1") or the unread count
	static const NotifyItem& MdirUpdate();  // mdir path, then a status text (empty to clear it)
	static const NotifyItem& MesgAdd();  // mdir path, message file leaf name
	static const NotifyItem& MesgDel();  // mdir path, message-id
	static const NotifyItem& MesgMod();  // mdir path, message-id, new cache record text
	static const NotifyItem& NetActionComplete();  // empty
	static const NotifyItem& NetError();  // the account's last error text
	static const NotifyItem& NetQueueChange();  // empty
	static const NotifyItem& NetTransferStart();  // empty
	static const NotifyItem& NetTransferStop();  // empty
	// Distributed events from other processes were lost (a full queue, a stalled process):
	// everything they could have changed is to be reloaded.
	static const NotifyItem& Reload();  // empty

	// Every event, in the order above; and the one with a given name (null when none).
	static const NotifyItem* const* All(long& count);
	static const NotifyItem* Find(const TString& name);
};
