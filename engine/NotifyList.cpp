#include "NotifyList.h"

// Each item is made on first use, so that other facilities may name events while they start.

const NotifyItem& NotifyList::AcctCreate()
{
	static const NotifyItem sItem("QuillfernAccountCreate", false);
	return sItem;
}

const NotifyItem& NotifyList::AcctDelete()
{
	static const NotifyItem sItem("QuillfernAccountDelete", false);
	return sItem;
}

const NotifyItem& NotifyList::AcctFinish()
{
	static const NotifyItem sItem("QuillfernAccountFinish", false);
	return sItem;
}

const NotifyItem& NotifyList::AcctUpdate()
{
	static const NotifyItem sItem("QuillfernAccountUpdate", false);
	return sItem;
}

const NotifyItem& NotifyList::DecodeProgress()
{
	static const NotifyItem sItem("QuillfernDecodeProgress", false);
	return sItem;
}

const NotifyItem& NotifyList::DecodeStart()
{
	static const NotifyItem sItem("QuillfernDecodeStart", false);
	return sItem;
}

const NotifyItem& NotifyList::DecodeStop()
{
	static const NotifyItem sItem("QuillfernDecodeStop", false);
	return sItem;
}

const NotifyItem& NotifyList::FolderCreate()
{
	static const NotifyItem sItem("QuillfernFolderCreate", true);
	return sItem;
}

const NotifyItem& NotifyList::FolderDelete()
{
	static const NotifyItem sItem("QuillfernFolderDelete", true);
	return sItem;
}

const NotifyItem& NotifyList::FolderRename()
{
	static const NotifyItem sItem("QuillfernFolderRename", true);
	return sItem;
}

const NotifyItem& NotifyList::GroupCreate()
{
	static const NotifyItem sItem("QuillfernNewsgroupCreate", false);
	return sItem;
}

const NotifyItem& NotifyList::GroupDelete()
{
	static const NotifyItem sItem("QuillfernNewsgroupDelete", false);
	return sItem;
}

const NotifyItem& NotifyList::GroupFinish()
{
	static const NotifyItem sItem("QuillfernNewsgroupFinish", false);
	return sItem;
}

const NotifyItem& NotifyList::GroupUpdate()
{
	static const NotifyItem sItem("QuillfernNewsgroupUpdate", false);
	return sItem;
}

const NotifyItem& NotifyList::IdentityChange()
{
	static const NotifyItem sItem("QuillfernIdentityListChanged", false);
	return sItem;
}

const NotifyItem& NotifyList::IdentityFileChange()
{
	static const NotifyItem sItem("QuillfernIdentityFileChanged", true);
	return sItem;
}

const NotifyItem& NotifyList::MdirComplete()
{
	static const NotifyItem sItem("QuillfernMessageDirectoryComplete", true);
	return sItem;
}

const NotifyItem& NotifyList::MdirUnread()
{
	static const NotifyItem sItem("QuillfernMessageDirectoryUnread", true);
	return sItem;
}

const NotifyItem& NotifyList::MdirUpdate()
{
	static const NotifyItem sItem("QuillfernMessageDirectoryUpdate", true);
	return sItem;
}

const NotifyItem& NotifyList::MesgAdd()
{
	static const NotifyItem sItem("QuillfernMessageAdd", true);
	return sItem;
}

const NotifyItem& NotifyList::MesgDel()
{
	static const NotifyItem sItem("QuillfernMessageDel", true);
	return sItem;
}

const NotifyItem& NotifyList::MesgMod()
{
	static const NotifyItem sItem("QuillfernMessageMod", true);
	return sItem;
}

const NotifyItem& NotifyList::NetActionComplete()
{
	static const NotifyItem sItem("QuillfernNetworkActionComplete", false);
	return sItem;
}

const NotifyItem& NotifyList::NetError()
{
	static const NotifyItem sItem("QuillfernNetworkError", false);
	return sItem;
}

const NotifyItem& NotifyList::NetQueueChange()
{
	static const NotifyItem sItem("QuillfernNetworkQueueChange", false);
	return sItem;
}

const NotifyItem& NotifyList::NetTransferStart()
{
	static const NotifyItem sItem("QuillfernNetworkTransferStart", false);
	return sItem;
}

const NotifyItem& NotifyList::NetTransferStop()
{
	static const NotifyItem sItem("QuillfernNetworkTransferStop", false);
	return sItem;
}

const NotifyItem& NotifyList::Reload()
{
	static const NotifyItem sItem("QuillfernReload", true);
	return sItem;
}

const NotifyItem* const* NotifyList::All(long& count)
{
	static const NotifyItem* const sAll[] = {
		&AcctCreate(),
		&AcctDelete(),
		&AcctFinish(),
		&AcctUpdate(),
		&DecodeProgress(),
		&DecodeStart(),
		&DecodeStop(),
		&FolderCreate(),
		&FolderDelete(),
		&FolderRename(),
		&GroupCreate(),
		&GroupDelete(),
		&GroupFinish(),
		&GroupUpdate(),
		&IdentityChange(),
		&IdentityFileChange(),
		&MdirComplete(),
		&MdirUnread(),
		&MdirUpdate(),
		&MesgAdd(),
		&MesgDel(),
		&MesgMod(),
		&NetActionComplete(),
		&NetError(),
		&NetQueueChange(),
		&NetTransferStart(),
		&NetTransferStop(),
		&Reload(),
	};
	count = static_cast<long>(sizeof sAll / sizeof sAll[0]);
	return sAll;
}

const NotifyItem* NotifyList::Find(const TString& name)
{
	long count = 0;
	const NotifyItem* const* all = All(count);
	for (long i = 0; i < count; i++) {
		if (all[i]->Name() == name)
			return all[i];
	}
	return nullptr;
}
