#include "AcctMngr.h"

#include "AcctStrings.h"
#include "CritSectLock.h"
#include "DEntry.h"
#include "DirIter.h"
#include "DirMngr.h"
#include "Err.h"
#include "FileLock.h"
#include "GuiAlert.h"
#include "GuiDiskOp.h"
#include "Identity.h"
#include "InitFile.h"
#include "NetName.h"
#include "Notify.h"
#include "NotifyList.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "TextFile.h"
#include "ThreadMngr.h"

#include <algorithm>
#include <utility>

AcctMngr::List AcctMngr::sList;
bool AcctMngr::sStarted = false;
CritSect AcctMngr::sLock;

namespace {

// How long a change waits for another process's change of the account list.
const long long kListLockWait = FileLock::kWaitChange;

// Events are collected while the list is locked and sent once it is released.
struct Event {
	const NotifyItem& (*item)();
	TString payload;
};
using Events = std::vector<Event>;

void eventsSend(const Events& events)
{
	for (const Event& event : events)
		Notify::Send(event.item(), event.payload);
}

TString normal(const TString& text)
{
	TString out(text);
	if (!out.Empty())
		out.Normalize(true);
	return out;
}

TString joined(const TString& a, const TString& b)
{
	TString out(a);
	out.Append('\n');
	out.Append(b);
	return out;
}

TString finished(bool ok)
{
	TString out;
	out.Fmt("%ld", ok ? 1L : 0L);
	return out;
}

// A directory whose name is not in composed form is renamed to it, so that the account or
// newsgroup it holds is found under the name the engine uses. False when that cannot be done.
bool leafNormalize(const TString& parent, const TString& leaf, TString& normalLeaf)
{
	normalLeaf = normal(leaf);
	if (normalLeaf == leaf)
		return true;
	TString from(parent), to(parent);
	PathMngr::Append(from, leaf);
	PathMngr::Append(to, normalLeaf);
	return DirMngr::Rename(from, to) == ErrOkay;
}

// The names of the subdirectories of dir, in byte order so that loading is repeatable.
void subdirs(const TString& dir, std::vector<TString>& out)
{
	out.clear();
	DirIter iter;
	if (iter.Open(dir) != ErrOkay)
		return;
	DEntry entry;
	while (iter.Next(entry) == ErrOkay) {
		if (!entry.IsDirectory())
			continue;
		out.push_back(entry.Leaf());
	}
	iter.Close();
	std::sort(out.begin(), out.end(), [](const TString& a, const TString& b) { return a < b; });
}

}  // namespace

bool AcctMngr::Start()
{
	AcctStrings::Start();
	accountsLoad();
	if (StoragePath::PathType() == StoragePath::kTypeMail && CountCurrent() == 0) {
		AcctData data;
		data.Default();
		Create(data);
	}
	sStarted = true;
	return true;
}

void AcctMngr::Stop()
{
	CritSectLock lock(sLock);
	sList.clear();
	sStarted = false;
}

void AcctMngr::accountsLoad()
{
	Events events;
	{
		CritSectLock lock(sLock);
		sList.clear();
		TString dir;
		StoragePath::PathAccounts(dir);
		// An account that another process is creating or renaming right now is seen whole or
		// not at all. Should the lock not come, the accounts load anyway.
		FileLock listLock;
		TString lockFile(dir);
		PathMngr::Append(lockFile, TString("Accounts"));
		listLock.Lock(lockFile, kListLockWait);
		std::vector<TString> names;
		subdirs(dir, names);
		for (const TString& leaf : names) {
			if (static_cast<long>(sList.size()) >= CountMax())
				break;
			TString name;
			AcctData data;
			Error err = ErrOkay;
			if (!leafNormalize(dir, leaf, name))
				err = ErrDirRenameError;
			else {
				TString settings, settingsDir;
				StoragePath::FileAccountPrefs(name, settings);
				PathMngr::SplitRoot(settings, settingsDir);
				TextFile::TempSweep(settingsDir);
				err = data.InitRead(name);
			}
			if (err != ErrOkay) {
				// A damaged account is left on disk untouched; the others load.
				TString path, errText, text;
				StoragePath::FileAccountPrefs(name, path);
				PathMngr::ExtReplace(path, InitFile::FileExtension());
				Err::Str(errText, err);
				AcctStrings::Text(text, "AccountFileSkipped", leaf.String(), errText.String(), path.String());
				GuiAlert::Text(text);
				continue;
			}
			events.push_back({NotifyList::AcctCreate, data.name});
			groupsLoad(data);
			for (const TString& group : data.extra.groups)
				events.push_back({NotifyList::GroupCreate, joined(data.name, group)});
			listAdd(data);
		}
	}
	eventsSend(events);
}

// The account's newsgroups are the valid newsgroup names among its group directories.
void AcctMngr::groupsLoad(AcctData& data)
{
	data.extra.Clear();
	if (StoragePath::PathType() != StoragePath::kTypeNews)
		return;
	TString dir;
	StoragePath::PathAccountGroups(data.name, dir);
	std::vector<TString> names;
	subdirs(dir, names);
	for (const TString& leaf : names) {
		TString group;
		if (NetName::NewsValid(normal(leaf)) && leafNormalize(dir, leaf, group))
			data.extra.groups.insert(group);
	}
}

bool AcctMngr::listAdd(const AcctData& data)
{
	TString key = normal(data.name);
	if (sList.count(key))
		return false;
	AcctData stored(data);
	stored.name = key;
	sList.emplace(key, stored);
	return true;
}

void AcctMngr::alertText(const char* key, const TString& a, const TString& b)
{
	TString text;
	AcctStrings::Text(text, key, a.String(), b.String());
	GuiAlert::Text(text);
}

bool AcctMngr::checkTooMany()
{
	if (static_cast<long>(sList.size()) < CountMax())
		return true;
	TString text;
	AcctStrings::Text(text, "AccountTooMany", CountMax());
	GuiAlert::Text(text);
	return false;
}

bool AcctMngr::checkDuplicate(const TString& name)
{
	if (!sList.count(normal(name)))
		return true;
	alertText("AccountNameDuplicate", name);
	return false;
}

AcctMngr::List::iterator AcctMngr::checkUnknown(const TString& name)
{
	List::iterator it = sList.find(normal(name));
	if (it == sList.end())
		alertText("AccountNameUnknown", name);
	return it;
}

bool AcctMngr::checkVerify(const AcctData& data, const TString& alertName)
{
	if (data.Valid())
		return true;
	alertText("AccountBadData", alertName);
	return false;
}

bool AcctMngr::settingsWrite(const AcctData* before, AcctData& data)
{
	Error err = AcctData::InitUpdate(before, data);
	if (err == ErrOkay)
		return true;
	TString path;
	StoragePath::FileAccountPrefs(data.name, path);
	PathMngr::ExtReplace(path, InitFile::FileExtension());
	GuiDiskOp::AlertFile(path, GuiDiskOp::kOpWrite, err);
	return false;
}

bool AcctMngr::Create(const AcctData& input)
{
	// Paths are made from the composed form of the name, the form the account is known by.
	AcctData data(input);
	data.name = normal(input.name);
	data.extra.Clear();
	bool ok = false;
	{
		CritSectLock lock(sLock);
		// The checks and the new directories are one step for every process of the root: the
		// limit and the names hold across processes, not only in this one's list.
		FileLock listLock;
		ok = checkTooMany() && checkDuplicate(data.name) && checkVerify(data, data.name) &&
			listLocked(listLock) && checkOnDisk(data.name);
		TString top, dir;
		StoragePath::PathAccount(data.name, top);
		bool made = false;
		if (ok) {
			ok = GuiDiskOp::DirCreate(top);
			made = ok;
		}
		if (ok) {
			StoragePath::PathAccountData(data.name, dir);
			ok = GuiDiskOp::DirCreate(dir);
		}
		if (ok && StoragePath::PathType() == StoragePath::kTypeNews) {
			StoragePath::PathAccountGroups(data.name, dir);
			ok = GuiDiskOp::DirCreate(dir);
		}
		ok = ok && settingsWrite(nullptr, data);
		// A refused account leaves nothing behind.
		if (!ok && made)
			DirMngr::Obliterate(top, true, nullptr, nullptr);
		ok = ok && listAdd(data);
	}
	if (ok)
		Notify::Send(NotifyList::AcctCreate(), data.name);
	Notify::Send(NotifyList::AcctFinish(), finished(ok));
	return ok;
}

// Takes the lock of the account list of the data root; an alert when another process holds it
// for too long.
bool AcctMngr::listLocked(FileLock& lock)
{
	TString dir, file;
	StoragePath::PathAccounts(dir);
	file = dir;
	PathMngr::Append(file, TString("Accounts"));
	Error err = lock.Lock(file, kListLockWait);
	if (err == ErrOkay)
		return true;
	TString lockPath;
	FileLock::PathFor(file, lockPath);
	if (err == ErrFileLocked)
		alertText("AccountListLocked", lockPath);
	else
		GuiDiskOp::AlertFile(lockPath, GuiDiskOp::kOpOpen, err);
	return false;
}

// The checks of a new account name against the account folders as they are now on disk, which
// other processes may have added to (list lock held).
bool AcctMngr::checkOnDisk(const TString& name)
{
	TString dir;
	StoragePath::PathAccounts(dir);
	std::vector<TString> names;
	subdirs(dir, names);
	if (static_cast<long>(names.size()) >= CountMax()) {
		TString text;
		AcctStrings::Text(text, "AccountTooMany", CountMax());
		GuiAlert::Text(text);
		return false;
	}
	for (const TString& leaf : names) {
		if (normal(leaf) == name) {
			alertText("AccountNameDuplicate", name);
			return false;
		}
	}
	return true;
}

bool AcctMngr::Update(const TString& oldName, const AcctData& input)
{
	AcctData data(input);
	data.name = normal(input.name);
	TString oldKey = normal(oldName);
	bool ok = false;
	{
		CritSectLock lock(sLock);
		List::iterator it = checkUnknown(oldName);
		ok = it != sList.end() && checkVerify(data, oldName);
		bool renamed = false;
		TString oldDir, newDir;
		FileLock listLock;
		if (ok && data.name != oldKey) {
			ok = checkDuplicate(data.name) && listLocked(listLock);
			// Another process may have made an account of the new name meanwhile.
			if (ok) {
				StoragePath::PathAccount(data.name, newDir);
				TString oldDirNow;
				StoragePath::PathAccount(oldKey, oldDirNow);
				if (DirMngr::Exists(newDir) == ErrOkay && newDir.CompareNoCase(oldDirNow) != 0) {
					alertText("AccountNameDuplicate", data.name);
					ok = false;
				}
			}
			if (ok) {
				StoragePath::PathAccount(oldKey, oldDir);
				ok = GuiDiskOp::DirRename(oldDir, data.name);
				renamed = ok;
			}
		}
		if (ok) {
			// The newsgroups are the account's directories, not something the caller sets.
			data.extra = it->second.extra;
			ok = settingsWrite(&it->second, data);
			if (!ok && renamed) {
				// Keep the directory where the list (and its old settings file) says it is.
				StoragePath::PathAccount(data.name, newDir);
				DirMngr::Rename(newDir, oldDir);
			}
		}
		if (ok) {
			sList.erase(it);
			listAdd(data);
		}
	}
	if (ok)
		Notify::Send(NotifyList::AcctUpdate(), joined(oldKey, data.name));
	Notify::Send(NotifyList::AcctFinish(), finished(ok));
	return ok;
}

bool AcctMngr::Delete(const TString& name)
{
	TString key = normal(name);
	bool ok = false;
	{
		CritSectLock lock(sLock);
		List::iterator it = checkUnknown(name);
		ok = it != sList.end();
		FileLock listLock;
		ok = ok && listLocked(listLock);
		if (ok) {
			TString dir;
			StoragePath::PathAccount(key, dir);
			ok = GuiDiskOp::DirTrashLocal(dir);
		}
		if (ok)
			sList.erase(it);
	}
	if (ok)
		Notify::Send(NotifyList::AcctDelete(), key);
	return ok;
}

bool AcctMngr::GroupCreate(const TString& account, const TString& groupName)
{
	TString group = normal(groupName);
	TString key = normal(account);
	bool ok = false;
	{
		CritSectLock lock(sLock);
		List::iterator it = checkUnknown(account);
		ok = it != sList.end();
		// The name becomes a directory: ".." or a name with a "/" would reach outside the
		// account's newsgroups.
		if (ok && !NetName::NewsValid(group)) {
			alertText("GroupNameInvalid", group);
			ok = false;
		}
		if (ok && GroupListFind(it->second.extra.groups, group)) {
			alertText("GroupDuplicate", key, group);
			ok = false;
		}
		if (ok) {
			TString dir;
			StoragePath::PathGroup(key, group, dir);
			ok = GuiDiskOp::DirCreate(dir);
		}
		if (ok)
			it->second.extra.groups.insert(group);
	}
	if (ok)
		Notify::Send(NotifyList::GroupCreate(), joined(key, group));
	return ok;
}

bool AcctMngr::GroupDelete(const TString& account, const TString& groupName)
{
	TString key = normal(account);
	TString group = normal(groupName);
	bool ok = false;
	{
		CritSectLock lock(sLock);
		List::iterator it = checkUnknown(account);
		ok = it != sList.end();
		GroupSet::iterator found;
		if (ok) {
			found = it->second.extra.groups.find(group);
			if (found == it->second.extra.groups.end()) {
				alertText("GroupUnknown", key, group);
				ok = false;
			}
		}
		if (ok) {
			// The directory has the name as it is in the set, whatever the case asked for.
			group = *found;
			TString dir;
			StoragePath::PathGroup(key, group, dir);
			ok = GuiDiskOp::DirTrashLocal(dir);
		}
		if (ok)
			it->second.extra.groups.erase(found);
	}
	if (ok)
		Notify::Send(NotifyList::GroupDelete(), joined(key, group));
	return ok;
}

void AcctMngr::GroupListSet(const TString& account, const GroupSet& groups)
{
	AcctData copy;
	bool ok = false;
	{
		CritSectLock lock(sLock);
		List::iterator it = checkUnknown(account);
		ok = it != sList.end();
		if (ok)
			copy = it->second;
	}
	if (ok) {
		for (const TString& group : copy.extra.groups) {
			if (GroupListFind(groups, group))
				continue;
			if (!ThreadMngr::Running())
				return;
			if (!GroupDelete(account, group)) {
				ok = false;
				break;
			}
		}
	}
	if (ok) {
		for (const TString& group : groups) {
			if (GroupListFind(copy.extra.groups, group))
				continue;
			if (!ThreadMngr::Running())
				return;
			if (!GroupCreate(account, group)) {
				ok = false;
				break;
			}
		}
	}
	Notify::Send(NotifyList::GroupFinish(), finished(ok));
}

void AcctMngr::IdentityChange()
{
	std::vector<TString> changed;
	{
		CritSectLock lock(sLock);
		IdentData ident;
		for (auto& [key, data] : sList) {
			if (Identity::IdentGet(data.identity, ident))
				continue;
			Identity::IndexToItemID(0, data.identity);
			changed.push_back(key);
		}
	}
	for (const TString& name : changed)
		Notify::Send(NotifyList::AcctUpdate(), joined(name, name));
}

bool AcctMngr::Get(const TString& name, AcctData& out)
{
	CritSectLock lock(sLock);
	List::iterator it = sList.find(normal(name));
	if (it == sList.end())
		return false;
	out = it->second;
	return true;
}

bool AcctMngr::GroupListGet(const TString& account, GroupSet& out)
{
	out.clear();
	CritSectLock lock(sLock);
	List::iterator it = sList.find(normal(account));
	if (it == sList.end())
		return false;
	out = it->second.extra.groups;
	return true;
}

bool AcctMngr::GroupListFind(const GroupSet& set, const TString& group)
{
	return set.count(group) != 0;
}

void AcctMngr::AccountList(std::vector<TString>& out)
{
	out.clear();
	CritSectLock lock(sLock);
	for (const auto& entry : sList)
		out.push_back(entry.first);
}

long AcctMngr::CountCurrent()
{
	CritSectLock lock(sLock);
	return static_cast<long>(sList.size());
}

bool AcctMngr::IndexToName(long index, TString& out)
{
	out.Erase();
	CritSectLock lock(sLock);
	if (index < 0 || index >= static_cast<long>(sList.size()))
		return false;
	out = std::next(sList.begin(), index)->first;
	return true;
}

long AcctMngr::IndexFromName(const TString& name)
{
	CritSectLock lock(sLock);
	long index = 0;
	for (const auto& entry : sList) {
		if (entry.first.CompareNoCase(name) == 0)
			return index;
		index++;
	}
	return -1;
}

long AcctMngr::IndexMakeValid(long index)
{
	CritSectLock lock(sLock);
	long count = static_cast<long>(sList.size());
	if (index >= count)
		index = count - 1;
	if (index < 0)
		index = 0;
	return index;
}
