#include "Identity.h"

#include "AcctStrings.h"
#include "CritSectLock.h"
#include "FileBase.h"
#include "FileMngr.h"
#include "GuiDiskOp.h"
#include "InitFile.h"
#include "Notify.h"
#include "NotifyList.h"
#include "PathMngr.h"
#include "Str.h"
#include "StoragePath.h"

#include <unistd.h>

std::vector<IdentData> Identity::sList;
bool Identity::sDirty = false;
bool Identity::sStarted = false;
CritSect Identity::sLock;

namespace {

const long long kLockWait = 1000000;
const char* const kFileTitle = "Quillfern identity list";

TString pidText()
{
	TString text;
	text.Fmt("%ld", static_cast<long>(getpid()));
	return text;
}

// Moves an identity file that cannot be used out of the way, so that replacing it with the
// default list does not destroy what the user had in it.
void fileSetAside(const TString& pathNoExt)
{
	TString path(pathNoExt);
	PathMngr::ExtReplace(path, InitFile::FileExtension());
	if (FileMngr::Exists(path) != ErrOkay)
		return;
	TString dir, aside(path);
	StoragePath::PathIdentity(dir);
	if (FileBase::TrashName(dir, aside) == ErrOkay)
		FileMngr::Rename(path, aside);
}

}  // namespace

bool Identity::Start()
{
	AcctStrings::Start();
	Error err = IdentData::SignatureWrite(TString(IdentData::SignatureFilename()));
	if (err != ErrOkay) {
		TString path;
		IdentData::SignaturePath(path, TString(IdentData::SignatureFilename()));
		GuiDiskOp::AlertFile(path, GuiDiskOp::kOpWrite, err);
		return false;
	}
	Notify::Register(NotifyList::IdentityFileChange(), fileChanged, nullptr);
	Notify::Register(NotifyList::Reload(), fileChanged, &sList);
	SaveResult saved;
	{
		CritSectLock lock(sLock);
		sDirty = false;
		initRead(false);
		saved = initWriteIfDirty();
		sStarted = true;
	}
	saveAnnounce(saved);
	return true;
}

void Identity::Stop()
{
	SaveResult saved = SaveNone;
	bool wasStarted;
	{
		CritSectLock lock(sLock);
		wasStarted = sStarted;
		if (sStarted) {
			sStarted = false;
			saved = initWriteIfDirty();
		}
	}
	if (wasStarted) {
		saveAnnounce(saved);
		Notify::Unregister(NotifyList::IdentityFileChange(), fileChanged, nullptr);
		Notify::Unregister(NotifyList::Reload(), fileChanged, &sList);
	}
	CritSectLock lock(sLock);
	sList.clear();
	sDirty = false;
}

bool Identity::Started()
{
	CritSectLock lock(sLock);
	return sStarted;
}

long Identity::CountCurrent()
{
	CritSectLock lock(sLock);
	return static_cast<long>(sList.size());
}

bool Identity::IdentGet(const TString& itemID, IdentData& out)
{
	if (!IdentData::ItemIDValid(itemID))
		return false;
	CritSectLock lock(sLock);
	for (const IdentData& ident : sList) {
		if (ident.itemID == itemID) {
			out = ident;
			return true;
		}
	}
	return false;
}

bool Identity::IdentGet(long index, IdentData& out)
{
	CritSectLock lock(sLock);
	if (index < 0 || index >= static_cast<long>(sList.size()))
		return false;
	out = sList[index];
	return true;
}

long Identity::IndexMakeValid(long index)
{
	CritSectLock lock(sLock);
	long count = static_cast<long>(sList.size());
	if (index >= count)
		index = count - 1;
	if (index < 0)
		index = 0;
	return index;
}

bool Identity::IndexToItemID(long index, TString& out)
{
	CritSectLock lock(sLock);
	out.Erase();
	if (!sList.empty())
		out = sList[IndexMakeValid(index)].itemID;
	return true;
}

long Identity::IndexFromItemID(const TString& itemID)
{
	CritSectLock lock(sLock);
	for (size_t i = 0; i < sList.size(); i++)
		if (sList[i].itemID == itemID)
			return static_cast<long>(i);
	return -1;
}

long Identity::IndexFromName(const TString& name)
{
	CritSectLock lock(sLock);
	for (size_t i = 0; i < sList.size(); i++)
		if (sList[i].name == name)
			return static_cast<long>(i);
	return -1;
}

bool Identity::IdentSet(long index, const IdentData& data)
{
	SaveResult saved;
	{
		CritSectLock lock(sLock);
		if (index < 0 || index >= static_cast<long>(sList.size()))
			return false;
		TString id = sList[index].itemID;
		sList[index] = data;
		sList[index].itemID = id;
		sDirty = true;
		saved = initWriteIfDirty();
	}
	saveAnnounce(saved);
	return saved != SaveFailed;
}

bool Identity::IdentDel(long index)
{
	SaveResult saved;
	{
		CritSectLock lock(sLock);
		if (index < 0 || index >= static_cast<long>(sList.size()) || sList.size() < 2)
			return false;
		sList.erase(sList.begin() + index);
		sDirty = true;
		saved = initWriteIfDirty();
	}
	saveAnnounce(saved);
	return saved != SaveFailed;
}

bool Identity::IdentAdd()
{
	IdentData data;
	data.Default();
	return IdentAdd(data);
}

bool Identity::IdentAdd(const IdentData& data)
{
	SaveResult saved;
	{
		CritSectLock lock(sLock);
		if (static_cast<long>(sList.size()) >= CountMax())
			return false;
		IdentData added(data);
		idUnique(added, -1);
		sList.push_back(added);
		sDirty = true;
		saved = initWriteIfDirty();
	}
	saveAnnounce(saved);
	return saved != SaveFailed;
}

bool Identity::idUsed(const TString& id, long except)
{
	for (size_t i = 0; i < sList.size(); i++)
		if (static_cast<long>(i) != except && sList[i].itemID == id)
			return true;
	return false;
}

void Identity::idUnique(IdentData& data, long except)
{
	if (!IdentData::ItemIDValid(data.itemID))
		IdentData::ItemIDGen(data.itemID);
	while (idUsed(data.itemID, except))
		IdentData::ItemIDGen(data.itemID);
}

// Loads the list from the file (lock held). With keepOnFailure (a reload because another process
// wrote the file) a file that cannot be used leaves the current list alone. Returns whether the
// file was read.
bool Identity::initRead(bool keepOnFailure)
{
	TString path;
	StoragePath::FileIdentity(path);
	InitFile file;
	Error err = file.StateRead(path, kLockWait);
	bool read = err == ErrOkay;
	bool loaded = read;
	std::vector<IdentData> list;
	bool dirty = false;
	if (read) {
		for (long i = 0; i < CountMax(); i++) {
			IdentData ident;
			bool changed = false;
			if (ident.InitRead(file, i, changed) != ErrOkay) {
				if (i == 0)
					loaded = false;
				break;
			}
			if (changed)
				dirty = true;
			for (;;) {
				bool used = false;
				for (const IdentData& other : list)
					used = used || other.itemID == ident.itemID;
				if (!used)
					break;
				IdentData::ItemIDGen(ident.itemID);
				dirty = true;
			}
			list.push_back(ident);
		}
	}
	if (!loaded) {
		if (keepOnFailure && !sList.empty())
			return read;
		list.clear();
		IdentData ident;
		ident.Default();
		list.push_back(ident);
		if (err == ErrFileLocked) {
			// Someone else is holding the file: use the default for now, but do not write it
			// over their list.
			dirty = false;
		} else {
			if (err != ErrFileNotFound)
				fileSetAside(path);
			dirty = true;
		}
	}
	sList = list;
	if (dirty)
		sDirty = true;
	return read;
}

// Writes the list into the file (lock held), keeping the file's comments.
Error Identity::initWrite()
{
	TString path;
	StoragePath::FileIdentity(path);
	InitFile file;
	Error err = file.StateRead(path, kLockWait);
	if (err == ErrFileNotFound) {
		file.Clear();
		err = ErrOkay;
	}
	if (err != ErrOkay)
		return err;
	file.TitleSet(TString(kFileTitle));
	file.ItemSetStart();
	for (size_t i = 0; i < sList.size(); i++)
		if (sList[i].InitWrite(file, static_cast<long>(i)) != ErrOkay)
			err = ErrFileInvalidData;
	file.ItemSetStop();
	if (err != ErrOkay)
		return err;
	return file.StateWrite(path, kLockWait);
}

Identity::SaveResult Identity::initWriteIfDirty()
{
	if (!sDirty)
		return SaveNone;
	Error err = initWrite();
	if (err != ErrOkay) {
		TString path;
		StoragePath::FileIdentity(path);
		PathMngr::ExtReplace(path, InitFile::FileExtension());
		GuiDiskOp::AlertFile(path, GuiDiskOp::kOpWrite, err);
		return SaveFailed;
	}
	sDirty = false;
	return SaveDone;
}

// Tells every process (this one included) that the file changed; called without the lock.
void Identity::saveAnnounce(SaveResult result)
{
	if (result == SaveDone)
		Notify::Send(NotifyList::IdentityFileChange(), pidText());
}

// Registered with a context for the reload event: a lost change of the file may be among what
// was lost, so the file is read as after another process's change.
void Identity::fileChanged(void* context, const TString& payload)
{
	bool fromOther = context != nullptr;
	if (!fromOther && Str::ParseInteger(payload.String(), nullptr, nullptr))
		fromOther = payload.Atoll() != static_cast<long long>(getpid());
	if (fromOther) {
		bool read;
		{
			CritSectLock lock(sLock);
			if (!sStarted)
				return;
			read = initRead(true);
		}
		if (read)
			Notify::Send(NotifyList::IdentityChange(), TString());
		return;
	}
	Notify::Send(NotifyList::IdentityChange(), TString());
}
