#include "Identity.h"

#include "AcctStrings.h"
#include "CritSectLock.h"
#include "Err.h"
#include "FileBase.h"
#include "FileLock.h"
#include "FileMngr.h"
#include "GuiAlert.h"
#include "GuiDiskOp.h"
#include "InitFile.h"
#include "Notify.h"
#include "NotifyList.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "Str.h"
#include "TextFile.h"

#include <unistd.h>

std::vector<IdentData> Identity::sList;
bool Identity::sDirty = false;
bool Identity::sStarted = false;
bool Identity::sSaved = false;
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
	bool saved;
	{
		CritSectLock lock(sLock);
		sSaved = false;
		startLoad();
		saved = sSaved;
		sStarted = true;
	}
	saveAnnounce(saved ? SaveDone : SaveNone);
	return true;
}

void Identity::Stop()
{
	bool wasStarted, dirty;
	{
		CritSectLock lock(sLock);
		wasStarted = sStarted;
		dirty = sDirty;
	}
	// Repairs that could not be saved at start are tried again, on the file as it is now.
	if (wasStarted && dirty)
		listUpdate([](std::vector<IdentData>&) { return true; });
	{
		CritSectLock lock(sLock);
		sStarted = false;
	}
	if (wasStarted) {
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
	TString id;
	{
		CritSectLock lock(sLock);
		if (index < 0 || index >= static_cast<long>(sList.size()))
			return false;
		id = sList[index].itemID;
	}
	// The identity is found again by its identifier in the list as the file holds it now.
	return listUpdate([&](std::vector<IdentData>& list) {
		for (IdentData& ident : list) {
			if (ident.itemID == id) {
				ident = data;
				ident.itemID = id;
				return true;
			}
		}
		alertText("IdentityUnknown", id);
		return false;
	});
}

bool Identity::IdentDel(long index)
{
	TString id;
	{
		CritSectLock lock(sLock);
		if (index < 0 || index >= static_cast<long>(sList.size()) || sList.size() < 2)
			return false;
		id = sList[index].itemID;
	}
	return listUpdate([&](std::vector<IdentData>& list) {
		for (size_t i = 0; i < list.size(); i++) {
			if (list[i].itemID != id)
				continue;
			if (list.size() < 2) {
				alertText("IdentityLast", TString());
				return false;
			}
			list.erase(list.begin() + static_cast<long>(i));
			return true;
		}
		alertText("IdentityUnknown", id);
		return false;
	});
}

bool Identity::IdentAdd()
{
	IdentData data;
	data.Default();
	return IdentAdd(data);
}

bool Identity::IdentAdd(const IdentData& data)
{
	{
		CritSectLock lock(sLock);
		if (static_cast<long>(sList.size()) >= CountMax())
			return false;
	}
	return listUpdate([&](std::vector<IdentData>& list) {
		if (static_cast<long>(list.size()) >= CountMax()) {
			TString text;
			AcctStrings::Text(text, "IdentityTooMany", CountMax());
			GuiAlert::Text(text);
			return false;
		}
		IdentData added(data);
		if (!IdentData::ItemIDValid(added.itemID))
			IdentData::ItemIDGen(added.itemID);
		for (;;) {
			bool used = false;
			for (const IdentData& other : list)
				used = used || other.itemID == added.itemID;
			if (!used)
				break;
			IdentData::ItemIDGen(added.itemID);
		}
		list.push_back(added);
		return true;
	});
}

void Identity::alertText(const char* key, const TString& arg)
{
	TString text;
	AcctStrings::Text(text, key, arg.String());
	GuiAlert::Text(text);
}

// Takes the identities of a file that was read; false when the first one is incomplete. Later
// incomplete ones end the list. Repairs and duplicate identifiers made unique set repaired.
bool Identity::listFromFile(const InitFile& file, std::vector<IdentData>& list, bool& repaired)
{
	list.clear();
	for (long i = 0; i < CountMax(); i++) {
		IdentData ident;
		bool changed = false;
		if (ident.InitRead(file, i, changed) != ErrOkay)
			break;
		if (changed)
			repaired = true;
		for (;;) {
			bool used = false;
			for (const IdentData& other : list)
				used = used || other.itemID == ident.itemID;
			if (!used)
				break;
			IdentData::ItemIDGen(ident.itemID);
			repaired = true;
		}
		list.push_back(ident);
	}
	return !list.empty();
}

// Loads the list from the file (list lock held). With keepOnFailure (a reload because another
// process wrote the file) a file that cannot be used leaves the current list alone. Returns
// whether the file was read.
bool Identity::initRead(bool keepOnFailure)
{
	TString path;
	StoragePath::FileIdentity(path);
	InitFile file;
	Error err = file.StateRead(path, kLockWait);
	std::vector<IdentData> list;
	bool repaired = false;
	bool loaded = err == ErrOkay && listFromFile(file, list, repaired);
	if (!loaded) {
		if (keepOnFailure && !sList.empty())
			return err == ErrOkay;
		list.clear();
		IdentData ident;
		ident.Default();
		list.push_back(ident);
	}
	sList = list;
	return err == ErrOkay;
}

// The start-up load (list lock held): under the file's lock, the file is read and, when it
// needed repairs or is missing, written back repaired. A damaged file is moved aside and
// replaced by a default list, and that is reported; a file that cannot be read for a passing
// reason (another process holds it) is never overwritten.
void Identity::startLoad()
{
	TString path, file;
	StoragePath::FileIdentity(path);
	file = path;
	PathMngr::ExtReplace(file, InitFile::FileExtension());
	TString dir;
	StoragePath::PathIdentity(dir);
	TextFile::TempSweep(dir);

	FileLock fileLock;
	Error err = fileLock.Lock(file, FileLock::kWaitChange);
	InitFile init;
	if (err == ErrOkay)
		err = init.StateRead(file, kLockWait);
	std::vector<IdentData> list;
	bool repaired = false;
	bool write = false;
	if (err == ErrOkay) {
		if (!listFromFile(init, list, repaired))
			err = ErrFileInvalidData;
		write = repaired;
	} else if (err == ErrFileNotFound) {
		init.Clear();
		write = true;
		err = ErrOkay;
	}
	if (err == ErrFileInvalidData || err == ErrFileLineTooLong) {
		TString aside(file), errText, text;
		if (FileBase::TrashName(dir, aside) == ErrOkay && FileMngr::Rename(file, aside) == ErrOkay) {
			Err::Str(errText, err);
			AcctStrings::Text(text, "IdentityFileSetAside", errText.String(), file.String(), aside.String());
			GuiAlert::Text(text);
			init.Clear();
			list.clear();
			write = true;
			err = ErrOkay;
		}
	}
	if (err != ErrOkay) {
		TString errText, text;
		Err::Str(errText, err);
		AcctStrings::Text(text, "IdentityFileUnread", errText.String(), file.String());
		GuiAlert::Text(text);
	}
	if (list.empty()) {
		IdentData ident;
		ident.Default();
		list.push_back(ident);
	}
	sList = list;
	sDirty = false;
	if (write && err == ErrOkay) {
		Error w = listWrite(init, list);
		if (w == ErrOkay)
			w = init.StateWrite(file, kLockWait);
		if (w != ErrOkay) {
			GuiDiskOp::AlertFile(file, GuiDiskOp::kOpWrite, w);
			sDirty = true;
		} else {
			sSaved = true;
		}
	}
}

// Puts the list into the file, keeping the file's comments and removing what is no longer in it.
Error Identity::listWrite(InitFile& file, const std::vector<IdentData>& list)
{
	Error err = ErrOkay;
	file.TitleSet(TString(kFileTitle));
	file.ItemSetStart();
	for (size_t i = 0; i < list.size(); i++)
		if (list[i].InitWrite(file, static_cast<long>(i)) != ErrOkay)
			err = ErrFileInvalidData;
	file.ItemSetStop();
	return err;
}

// Applies change to the list as the file holds it now, under the file's lock, so that changes of
// other processes made since this one loaded are kept; writes the result and makes it this
// process's list. False when change refused (it has said why) or the file could not be read or
// written (an alert names it).
bool Identity::listUpdate(const std::function<bool(std::vector<IdentData>&)>& change)
{
	TString path;
	StoragePath::FileIdentity(path);
	PathMngr::ExtReplace(path, InitFile::FileExtension());
	bool refused = false;
	std::vector<IdentData> list;
	Error err;
	{
		CritSectLock lock(sLock);
		InitFile file;
		err = file.Update(path, kLockWait, [&](InitFile& f) {
			bool repaired = false;
			if (!listFromFile(f, list, repaired)) {
				if (!f.Lines().empty())
					return ErrFileInvalidData;
				IdentData ident;
				ident.Default();
				list.assign(1, ident);
			}
			if (!change(list)) {
				refused = true;
				return ErrFileInvalidData;
			}
			return listWrite(f, list);
		});
		if (err == ErrOkay) {
			sList = list;
			sDirty = false;
		}
	}
	if (refused)
		return false;
	if (err != ErrOkay) {
		GuiDiskOp::AlertFile(path,
			err == ErrFileInvalidData || err == ErrFileLineTooLong ? GuiDiskOp::kOpRead : GuiDiskOp::kOpWrite,
			err);
		return false;
	}
	saveAnnounce(SaveDone);
	return true;
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
