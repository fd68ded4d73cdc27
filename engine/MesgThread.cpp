#include "MesgThread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

#include "AcctMngr.h"
#include "Cache.h"
#include "CritSectLock.h"
#include "Database.h"
#include "DirIter.h"
#include "DirMngr.h"
#include "DiskFile.h"
#include "Err.h"
#include "FileMngr.h"
#include "HeaderUtil.h"
#include "InitFile.h"
#include "Md5.h"
#include "MessageFile.h"
#include "MessageHead.h"
#include "Notify.h"
#include "NotifyList.h"
#include "Output.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "TextFile.h"
#include "ThreadMngr.h"
#include "TimeCore.h"

#include <unistd.h>

MesgQueue MesgThread::sQueue;
MesgQueue MesgThread::sStoreQueue;
bool MesgThread::sStarted = false;

namespace {

const char* const kDestExt = "dest";
// A dest companion without its message file is only removed once it is this old: younger ones
// may be another process's claim on a name whose file is on its way in.
const long long kOrphanAge = 60 * TimeCore::kUsecsPerSecond;

std::mutex sWakeLock;
std::condition_variable sWakeCond;
bool sWakeFlag = false;
std::atomic<int> sWorking{0};
CritSect sInsertLock;
// The shared companion of each destination line, once checked (under sInsertLock).
std::map<std::string, TString> sCompanions;

void send(
	const NotifyItem& item, const TString& a, const TString& b = TString(), const TString& c = TString())
{
	TString payload(a);
	payload += "\n";
	payload += b;
	if (!c.Empty()) {
		payload += "\n";
		payload += c;
	}
	Notify::Send(item, payload);
}

TString joinPath(const TString& dir, const TString& leaf)
{
	TString path(dir);
	PathMngr::Append(path, leaf);
	return path;
}

TString companionOf(const TString& path)
{
	TString dest(path);
	PathMngr::ExtReplace(dest, kDestExt);
	return dest;
}

// A companion of its own: created only where no file of that name is, so that it never
// takes over another insertion's claim.
Error companionWrite(const TString& dest, const TString& line)
{
	DiskFile file;
	Error x = file.CreateNew(dest, Cache::kLockWait);
	if (x != ErrOkay)
		return x;
	x = file.WriteString(line);
	Error c = file.Close();
	if (x == ErrOkay)
		x = c;
	if (x != ErrOkay)
		FileMngr::Remove(dest);
	return x;
}

// Every companion of one mdir holds the same line, so they are made as links to one shared
// file holding it: a new name instead of a new file for each message. The shared file is a
// hidden one in the scratch folder (on the transfer directory's volume), named by the digest
// of its line, and is checked once per process.
Error companionShared(const TString& line, TString& out)
{
	std::string key(line.String());
	auto found = sCompanions.find(key);
	if (found != sCompanions.end()) {
		out = found->second;
		return out.Empty() ? ErrFileInvalidData : ErrOkay;
	}
	TString digest, leaf(".");
	Md5::HexDigest(line, digest);
	leaf += digest;
	leaf += ".";
	leaf += kDestExt;
	TString temp;
	StoragePath::PathTemp(temp);
	TString path = joinPath(temp, leaf);
	Error e = ErrOkay;
	for (int attempt = 0; attempt < 2; ++attempt) {
		TString held;
		TextFile file;
		e = file.Open(path, TextFile::ModeRead, Cache::kLockWait);
		if (e == ErrOkay) {
			e = file.Read(held);
			file.Close();
			held += "\n";
			if (e == ErrOkay && held == line) {
				sCompanions[key] = path;
				out = path;
				return ErrOkay;
			}
			sCompanions[key] = TString();
			return ErrFileInvalidData;
		}
		if (e != ErrFileNotFound)
			return e;
		// Written under a name of this process's own, then put in place whole.
		TString scratch(path);
		TString own;
		own.Fmt(".%ld", long(getpid()));
		scratch += own;
		FileMngr::Remove(scratch);
		e = companionWrite(scratch, line);
		if (e == ErrOkay) {
			e = FileMngr::Rename(scratch, path);
			if (e != ErrOkay)
				FileMngr::Remove(scratch);
		}
		if (e != ErrOkay && e != ErrFileAlreadyExists)
			return e;
	}
	return e;
}

// Group-level settings event: the display learns that the newsgroup's settings changed.
void groupPrefsEvent(const TString& account, const TString& group)
{
	send(NotifyList::GroupUpdate(), account, group);
}

bool initMissing(TString path)
{
	PathMngr::ExtReplace(path, InitFile::FileExtension());
	return FileMngr::Exists(path) == ErrFileNotFound;
}

void accountPrefsEvent(const TString& account)
{
	AcctMngr::GroupSet groups;
	if (!AcctMngr::GroupListGet(account, groups))
		return;
	for (const TString& group : groups) {
		if (!MesgThread::StoreQueue().Running())
			break;
		TString path;
		StoragePath::FileGroupPrefsGroup(account, group, path);
		if (initMissing(path))
			groupPrefsEvent(account, group);
	}
}

}  // namespace

bool MesgThread::Start()
{
	sQueue.Clear();
	sStoreQueue.Clear();
	sQueue.AbortSet(false);
	sStoreQueue.AbortSet(false);
	transferLoad();
	sStarted = true;
	return true;
}

void MesgThread::Stop()
{
	sStarted = false;
	wake();
	// The shared companions that no transfer file links to any more.
	CritSectLock lock(sInsertLock);
	for (const auto& [line, path] : sCompanions) {
		struct stat st;
		if (!path.Empty() && FileBase::Stat(path, &st, false) == ErrOkay && st.st_nlink == 1)
			FileMngr::Remove(path);
	}
	sCompanions.clear();
}

void MesgThread::logError(const char* op, const TString& mdir, const TString& file, Error error)
{
	if (error == ErrOkay)
		return;
	TString text, leaf;
	Err::Str(text, error);
	if (!PathMngr::SplitLeaf(file, leaf))
		leaf = file;
	Output::MsgFmt("Message thread operation '%s' failed\nError: %s\nMdir: %s\nFile: %s", op, text.String(),
		mdir.String(), leaf.String());
}

// ---- the queues and the thread ----

void MesgThread::wake()
{
	{
		std::lock_guard<std::mutex> lock(sWakeLock);
		sWakeFlag = true;
	}
	sWakeCond.notify_all();
}

void MesgThread::waitForWork(long long usecs)
{
	std::unique_lock<std::mutex> lock(sWakeLock);
	sWakeCond.wait_for(lock, std::chrono::microseconds(usecs), [] { return sWakeFlag; });
	sWakeFlag = false;
}

void MesgThread::RequestPut(const MesgRequest& request)
{
	sQueue.RequestPut(request);
	wake();
}

void MesgThread::StoreRequestPut(const MesgRequest& request)
{
	sStoreQueue.RequestPut(request);
	wake();
}

bool MesgThread::Busy()
{
	return sWorking > 0 || !sQueue.Empty() || !sStoreQueue.Empty();
}

unsigned long MesgThread::Proc(void*)
{
	// Requests are carried out back to back for up to a tenth of a second before the
	// thread's pause, so that a run of downloads is not held to one message per pause; the
	// message-store queue still goes first each time.
	long long until = TimeCore::TickCount() + 100000;
	bool ran = false;
	do {
		MesgRequest request;
		++sWorking;
		bool taken = sStoreQueue.RequestGet(request);
		if (taken && request.type >= MreqAcctCreate && request.type <= MreqIdentChange)
			storeRun(request);
		ran = taken || Run();
		--sWorking;
	} while (ran && ThreadMngr::Running() && TimeCore::TickCount() < until);
	// Idle: wait for the next request (woken at once when one is put), at most half a second.
	if (!ran)
		waitForWork(500000);
	return ThreadMngr::ProcAgain;
}

void MesgThread::storeRun(const MesgRequest& r)
{
	switch (r.type) {
	case MreqAcctCreate: AcctMngr::Create(r.acctData); break;
	case MreqAcctDelete: AcctMngr::Delete(r.account); break;
	case MreqAcctUpdate: AcctMngr::Update(r.account, r.acctData); break;
	case MreqGPrefsAccount: accountPrefsEvent(r.account); break;
	case MreqGPrefsGroup: groupPrefsEvent(r.account, r.group); break;
	case MreqGPrefsGlobal: {
		std::vector<TString> accounts;
		AcctMngr::AccountList(accounts);
		for (const TString& account : accounts) {
			if (!sStoreQueue.Running())
				break;
			TString path;
			StoragePath::FileGroupPrefsAccount(account, path);
			if (initMissing(path))
				accountPrefsEvent(account);
		}
		break;
	}
	case MreqGroupCreate: AcctMngr::GroupCreate(r.account, r.group); break;
	case MreqGroupDelete: AcctMngr::GroupDelete(r.account, r.group); break;
	case MreqGroupUpdate: AcctMngr::GroupListSet(r.account, r.groupSet); break;
	case MreqIdentChange: AcctMngr::IdentityChange(); break;
	default: break;
	}
}

bool MesgThread::Run()
{
	MesgRequest request;
	if (!sQueue.RequestGet(request))
		return false;
	switch (request.type) {
	case MreqMesgCharsetChange:
	case MreqMesgCopy:
	case MreqMesgDelete:
	case MreqMesgInsert:
	case MreqMesgMarkChange:
	case MreqMesgMove:
	case MreqMesgReadChangeFolder:
	case MreqMesgReadChangeGroup:
	case MreqMesgReparse:
	case MreqMesgTrash: break;
	default: return false;
	}
	Error e = mesgRun(request);
	if (e != ErrGmBusy)
		request.ErrorLog(e, "Message thread");
	return true;
}

Error MesgThread::mesgRun(MesgRequest& r)
{
	switch (r.type) {
	case MreqMesgInsert: return mesgInsert(r);
	case MreqMesgMove: return mesgMove(r);
	case MreqMesgCopy: return mesgCopy(r);
	case MreqMesgDelete: return mesgDelete(r, false);
	case MreqMesgTrash: return mesgDelete(r, true);
	case MreqMesgMarkChange:
	case MreqMesgReadChangeFolder:
	case MreqMesgCharsetChange: return mesgStateChange(r);
	case MreqMesgReadChangeGroup: return mesgGroupRead(r);
	case MreqMesgReparse: return mesgReparse(r);
	default: return ErrOkay;
	}
}

// Opens the mdir's cache, rebuilding a missing or refused one at once; a cache that is still
// locked or cannot be rebuilt puts the request back at the end of the queue and gives ErrGmBusy.
Error MesgThread::openOrRetry(Database& db, const TString& mdir, const MesgRequest& request)
{
	Error e = Cache::DataOpen(db, mdir, true);
	if (Cache::MreqRetry(e)) {
		RequestPut(request);
		return ErrGmBusy;
	}
	return e;
}

// ---- the transfer directory ----

Error MesgThread::MesgInsert(const TString& mdir, const TString& path)
{
	TString transfer, leaf, name, ext, tilde(mdir);
	StoragePath::PathTransfer(transfer);
	if (!PathMngr::SplitLeaf(path, leaf) || !PathMngr::SplitLeafExt(leaf, name, ext))
		return ErrGmBadPath;
	Error e = DirMngr::TildePathFromPath(tilde);
	if (e != ErrOkay) {
		logError("move to transfer dir", mdir, path, e);
		return e;
	}
	tilde += "\n";

	CritSectLock lock(sInsertLock);
	// The dest companion is made first, exclusively: it claims the name (also against other
	// processes) and is complete before the message file appears beside it, so that a
	// message file in the transfer directory always has its destination.
	TString shared;
	bool linking = companionShared(tilde, shared) == ErrOkay;
	TString chosen;
	e = ErrGmCommandFailed;
	for (int letter = -1; letter < 26; ++letter) {
		TString candidate(name);
		if (letter >= 0)
			candidate += static_cast<char>('a' + letter);
		if (!ext.Empty()) {
			candidate += ".";
			candidate += ext;
		}
		TString target = joinPath(transfer, candidate);
		TString dest = companionOf(target);
		Error x = ErrFileNotFound;
		if (linking) {
			x = FileMngr::Link(shared, dest);
			if (x != ErrOkay && x != ErrFileAlreadyExists) {
				// No more links to it (or none on this volume): companions of their own.
				linking = false;
				sCompanions.erase(std::string(tilde.String()));
			}
		}
		if (!linking)
			x = companionWrite(dest, tilde);
		if (x == ErrFileAlreadyExists)
			continue;
		if (x == ErrOkay)
			x = FileMngr::Rename(path, target);
		if (x == ErrFileAlreadyExists) {
			FileMngr::Remove(dest);
			continue;
		}
		if (x != ErrOkay) {
			FileMngr::Remove(dest);
			e = x;
			break;
		}
		chosen = candidate;
		e = ErrOkay;
		break;
	}
	if (e != ErrOkay) {
		logError(e == ErrGmCommandFailed ? "rename transfer file" : "move to transfer dir", mdir, path, e);
		return e;
	}
	MesgRequest request;
	request.type = MreqMesgInsert;
	request.mdir = mdir;
	request.file = chosen;
	RequestPut(request);
	return ErrOkay;
}

void MesgThread::transferLoad()
{
	TString transfer;
	StoragePath::PathTransfer(transfer);
	DirIter iter;
	if (iter.Open(transfer) != ErrOkay)
		return;
	std::vector<TString> messages, others;
	DEntry entry;
	while (iter.Next(entry) == ErrOkay) {
		if (!entry.IsFile())
			continue;
		if (HeaderUtil::IsMessageFile(entry))
			messages.push_back(entry.Leaf());
		else if (entry.Leaf().ByteLength() > 0 && entry.Leaf().String()[0] != '.')
			others.push_back(entry.Leaf());
	}
	iter.Close();
	std::sort(messages.begin(), messages.end());
	for (const TString& leaf : messages) {
		TString path = joinPath(transfer, leaf), dest = companionOf(path), line, mdir;
		TextFile file;
		Error e = file.Open(dest, TextFile::ModeRead, Cache::kLockWait);
		if (e == ErrOkay) {
			e = file.Read(line);
			file.Close();
		}
		if (e == ErrOkay || e == ErrFileEnd)
			e = line.Valid() && PathMngr::Valid(line) ? ErrOkay : ErrGmBadPath;
		if (e == ErrOkay) {
			mdir = line;
			e = DirMngr::TildePathToPath(mdir);
		}
		if (e != ErrOkay) {
			FileMngr::Remove(path);
			FileMngr::Remove(dest);
			logError("load transfer file", mdir, path, e);
			continue;
		}
		MesgRequest request;
		request.type = MreqMesgInsert;
		request.mdir = mdir;
		request.file = leaf;
		RequestPut(request);
	}
	// Companions left without a message file (a crash between the move and their removal)
	// and, when no message waits, the other visible files.
	long long now = TimeCore::TimeGet();
	for (const TString& leaf : others) {
		TString path = joinPath(transfer, leaf), ext, base;
		PathMngr::SplitLeafExt(leaf, base, ext);
		// The status-change time: a companion made as a link to an older shared file is as
		// young as the link.
		struct stat st;
		if (FileBase::Stat(path, &st, false) != ErrOkay)
			continue;
		long long time =
			static_cast<long long>(st.st_ctim.tv_sec) * TimeCore::kUsecsPerSecond + st.st_ctim.tv_nsec / 1000;
		if (now - time < kOrphanAge)
			continue;
		TString message(path);
		PathMngr::ExtReplace(message, HeaderUtil::MessageExtension());
		if (messages.empty() || (ext == kDestExt && FileMngr::Exists(message) == ErrFileNotFound))
			FileMngr::Remove(path);
	}
}

// Kind 20: from the transfer directory into the mdir. The cache is changed before the file is
// moved and the companion goes last, so that a crash at any point leaves either a cache that
// is rebuilt or a transfer file that is inserted again at the next start. Insertions into the
// same mdir that follow in the queue are carried out under the same opening of its cache.
Error MesgThread::mesgInsert(const MesgRequest& first)
{
	TString transfer;
	StoragePath::PathTransfer(transfer);
	TString tpath = joinPath(transfer, first.file), dest = companionOf(tpath);
	// Another process that shares the data root may have carried it in already.
	if (FileMngr::Exists(tpath) == ErrFileNotFound)
		return ErrOkay;
	Database db;
	Error e = Cache::DataOpen(db, first.mdir, true);
	if (e == ErrDirNotFound) {
		FileMngr::Remove(tpath);
		FileMngr::Remove(dest);
		return e;
	}
	if (Cache::MreqRetry(e)) {
		RequestPut(first);
		return ErrGmBusy;
	}
	if (e != ErrOkay)
		return e;
	std::vector<std::pair<MesgRequest, InsertResult>> done;
	MesgRequest r(first);
	long count = 0;
	do {
		InsertResult result;
		result.error = insertOne(db, r, transfer, result);
		done.emplace_back(r, result);
	} while (++count < 1000 && sQueue.RequestGetIf(MreqMesgInsert, first.mdir, r));
	Error c = Cache::DataClose(db);
	Error firstError = ErrOkay;
	for (auto& [request, result] : done) {
		Error x = result.error;
		if (x == ErrOkay && c != ErrOkay)
			x = c;
		if (&request != &done.front().first)
			request.ErrorLog(x, "Message thread");
		else
			firstError = x;
		if (x != ErrOkay || result.skipped)
			continue;
		if (result.added) {
			send(NotifyList::MesgAdd(), request.mdir, request.file);
			if (result.unread && !result.plonked)
				send(NotifyList::MdirUnread(), request.mdir, "+1");
		} else
			send(NotifyList::MesgMod(), request.mdir, result.msgid, result.record);
	}
	return firstError;
}

Error MesgThread::insertOne(Database& db, const MesgRequest& r, const TString& transfer, InsertResult& out)
{
	TString tpath = joinPath(transfer, r.file), dest = companionOf(tpath);
	if (FileMngr::Exists(tpath) == ErrFileNotFound) {
		out.skipped = true;
		return ErrOkay;
	}
	Error e = ErrOkay;

	// The final name drops a letter added while the name was chosen.
	TString name, ext, leaf(r.file);
	PathMngr::SplitLeafExt(r.file, name, ext);
	if (name.ByteLength() > 1) {
		TString shorter = name.SubstringByte(0, name.ByteLength() - 1);
		shorter += ".";
		shorter += ext;
		if (HeaderUtil::IsMessageFilename(shorter))
			leaf = shorter;
	}
	TString final = joinPath(r.mdir, leaf);
	TString& msgid = out.msgid;
	TString& record = out.record;
	bool& unread = out.unread;
	bool& plonked = out.plonked;
	bool& added = out.added;
	bool moved = false;
	long point = 0;
	Error x = FileMngr::Exists(final);
	if (x == ErrFileNotFound) {
		added = true;
		e = Cache::MesgAdd(db, tpath, unread, plonked, &leaf);
		if (e == ErrGmCommandFailed)  // a record without its file: the cache was out of step
			e = Cache::MesgReplace(db, tpath, msgid, record, unread, &leaf);
		// A message without a usable record is stored all the same, without a record.
		if (e == ErrOkay || e == ErrFileInvalidData) {
			Error m = FileMngr::Rename(tpath, final);
			moved = m == ErrOkay;
			if (!moved && e == ErrOkay) {
				// Take the record out again: the file stays in the transfer directory.
				TString id, text;
				bool u, p;
				if (Cache::FileRecord(tpath, id, text) == ErrOkay)
					Cache::MesgDel(db, id, u, p);
				point = 6;
				e = m;
			}
		}
		if (e != ErrOkay && point == 0)
			point = 7;
	} else if (x == ErrOkay) {
		e = Cache::MesgReplace(db, tpath, msgid, record, unread, &leaf);
		if (e != ErrOkay)
			point = 4;
		if (e == ErrOkay && (e = FileMngr::Remove(final)) != ErrOkay)
			point = 2;
		if (e == ErrOkay) {
			e = FileMngr::Rename(tpath, final);
			moved = e == ErrOkay;
			if (!moved)
				point = 3;
		}
	} else
		return x;
	if (moved) {
		Error d = FileMngr::Remove(dest);
		if (d != ErrOkay && d != ErrFileNotFound && point == 0) {
			point = 1;
			e = d;
		}
	}
	if (point != 0) {
		TString text;
		Err::Str(text, e);
		Output::MsgFmt("tranToMdir fail point: %ld  Error: %s", point, text.String());
	}
	return e;
}

// Kind 22: the file leaves its mdir's cache, then moves into the transfer directory toward
// the destination. When it cannot move, its record is put back.
Error MesgThread::mesgMove(const MesgRequest& r)
{
	TString source;
	if (!PathMngr::SplitRoot(r.file, source))
		return ErrGmBadPath;
	Database db;
	Error e = openOrRetry(db, source, r);
	if (e != ErrOkay)
		return e;
	MessageHead head;
	TString msgid;
	bool unread = false, plonked = false, deleted = false;
	e = head.HeaderRead(r.file, Cache::kLockWait);
	if (e == ErrOkay) {
		head.AttrMessageID(msgid);
		e = Cache::MesgDel(db, msgid, unread, plonked);
		deleted = e == ErrOkay;
		if (e == ErrGmCommandFailed || e == ErrFileInvalidData)
			e = ErrOkay;  // no usable record: the file moves all the same
	}
	if (e == ErrOkay) {
		e = MesgInsert(r.mdir, r.file);
		if (e != ErrOkay && deleted) {
			bool u, p;
			Cache::MesgAdd(db, r.file, u, p);
			deleted = false;
		}
	}
	Error c = Cache::DataClose(db);
	if (e == ErrFileLocked) {
		RequestPut(r);
		return ErrGmBusy;
	}
	if (e == ErrOkay)
		e = c;
	if (e != ErrOkay)
		return e;
	if (deleted && unread && !plonked)
		send(NotifyList::MdirUnread(), source, "-1");
	send(NotifyList::MesgDel(), source, msgid);
	return ErrOkay;
}

// Kind 17: a copy in the temp directory, inserted like a download.
Error MesgThread::mesgCopy(const MesgRequest& r)
{
	TString temp, leaf;
	StoragePath::PathTemp(temp);
	if (!PathMngr::SplitLeaf(r.file, leaf))
		return ErrGmBadPath;
	TString copy = joinPath(temp, leaf);
	FileMngr::Remove(copy);
	Error e = MessageFile::Copy(copy, r.file);
	if (e == ErrOkay)
		e = MesgInsert(r.mdir, copy);
	if (e != ErrOkay)
		FileMngr::Remove(copy);
	return e;
}

// Kinds 19 and 26: the record goes first, then the file.
Error MesgThread::mesgDelete(const MesgRequest& r, bool trash)
{
	Database db;
	Error e = openOrRetry(db, r.mdir, r);
	if (e != ErrOkay)
		return e;
	TString path = joinPath(r.mdir, r.file), msgid;
	// An expiry (count: the time before which the file must have been modified) leaves a
	// message that came anew meanwhile, and one that is gone already, quietly alone.
	if (r.count > 0) {
		long long modified = 0;
		e = FileMngr::TimeGet(path, modified);
		if (e != ErrOkay || modified > r.count) {
			Cache::DataClose(db);
			return e == ErrFileNotFound ? ErrOkay : e;
		}
	}
	MessageHead head;
	bool unread = false, plonked = false, deleted = false;
	e = head.HeaderRead(path, Cache::kFileWait);
	if (e == ErrOkay) {
		head.AttrMessageID(msgid);
		e = Cache::MesgDel(db, msgid, unread, plonked);
		deleted = e == ErrOkay;
		if (e == ErrGmCommandFailed || e == ErrFileInvalidData)
			e = ErrOkay;
	}
	if (e == ErrOkay)
		e = trash ? FileMngr::Trash(path) : FileMngr::Remove(path);
	if (e != ErrOkay && deleted) {
		bool u, p;
		Cache::MesgAdd(db, path, u, p);
	}
	Error c = Cache::DataClose(db);
	if (e == ErrOkay)
		e = c;
	if (e != ErrOkay)
		return e;
	send(NotifyList::MesgDel(), r.mdir, msgid);
	if (deleted && unread && !plonked)
		send(NotifyList::MdirUnread(), r.mdir, "-1");
	return ErrOkay;
}

// Kinds 16, 21 and 23: the new record is stored before the file's state header is rewritten.
Error MesgThread::mesgStateChange(MesgRequest& r)
{
	Database db;
	Error e = openOrRetry(db, r.mdir, r);
	if (e != ErrOkay)
		return e;
	TString path = joinPath(r.mdir, r.file), msgid, record;
	MessageHead head;
	long changed = 0;
	e = head.HeaderRead(path, Cache::kFileWait);
	if (e == ErrOkay) {
		MessageRead before = head.MessageReadGet();
		if (r.type == MreqMesgMarkChange)
			Cache::StateApply(head, Cache::ChangeMark, r.flag);
		else if (r.type == MreqMesgReadChangeFolder)
			Cache::StateApply(head, Cache::ChangeRead, r.flag);
		else
			Cache::StateApply(head, Cache::ChangeCharset, r.charset);
		if (head.MessageReadGet() != before)
			++changed;
		e = Cache::FileRecord(path, msgid, record, &head);
	}
	TString old;
	bool had = false;
	if (e == ErrOkay) {
		had = db.RecordFind(msgid, old) == ErrOkay;
		e = had ? db.RecordReplace(msgid, record) : db.RecordAppend(msgid, record);
	}
	if (e == ErrOkay) {
		e = head.StateWrite(path);
		// The file kept its state: so does its record.
		if (e != ErrOkay) {
			if (had)
				db.RecordReplace(msgid, old);
			else
				db.RecordDelete(msgid);
		}
	}
	Error c = Cache::DataClose(db);
	if (e == ErrFileLocked) {
		RequestPut(r);
		return ErrOkay;
	}
	if (e == ErrOkay)
		e = c;
	if (e != ErrOkay)
		return e;
	send(NotifyList::MesgMod(), r.mdir, msgid, record);
	if (r.type == MreqMesgReadChangeFolder && changed > 0)
		send(NotifyList::MdirUnread(), r.mdir, r.flag ? "+1" : "-1");
	return ErrOkay;
}

// Kind 24: one newsgroup's copy of a cross-posted article, found by message-id.
Error MesgThread::mesgGroupRead(MesgRequest& r)
{
	Database db;
	Error e = openOrRetry(db, r.mdir, r);
	if (e != ErrOkay)
		return e;
	TString leaf, msgid, record;
	long changed = 0;
	e = Cache::MesgReadChange(db, r.msgid, leaf, r.flag, changed);
	if (e == ErrOkay) {
		long ignored = 0;
		e = Cache::FileReadChange(r.mdir, leaf, r.flag, msgid, record, ignored);
	}
	Error c = Cache::DataClose(db);
	if (e == ErrGmCommandFailed)
		return ErrOkay;  // not in this newsgroup
	if (e == ErrFileLocked) {
		RequestPut(r);
		return ErrOkay;
	}
	if (e == ErrOkay)
		e = c;
	if (e != ErrOkay)
		return e;
	send(NotifyList::MesgMod(), r.mdir, r.msgid, record);
	if (changed > 0)
		send(NotifyList::MdirUnread(), r.mdir, r.flag ? "+1" : "-1");
	return ErrOkay;
}

// Kind 25: the record is rewritten unchanged first so that the cache counts as changed (and is
// rebuilt after a crash) while the file is rewritten.
Error MesgThread::mesgReparse(MesgRequest& r)
{
	Database db;
	Error e = openOrRetry(db, r.mdir, r);
	if (e != ErrOkay)
		return e;
	TString path = joinPath(r.mdir, r.file), msgid, record, old;
	e = Cache::FileRecord(path, msgid, old);
	if (e == ErrOkay && db.RecordFind(msgid, record) == ErrOkay)
		e = db.RecordReplace(msgid, record);
	if (e == ErrOkay)
		e = Cache::FileParse(r.mdir, r.file, kCreator, r.charset, msgid, record);
	if (e == ErrOkay) {
		e = Cache::MesgDataUpdate(db, msgid, record);
		if (e == ErrGmCommandFailed)
			e = db.RecordAppend(msgid, record);
	}
	Error c = Cache::DataClose(db);
	if (e == ErrFileLocked) {
		RequestPut(r);
		return ErrOkay;
	}
	if (e == ErrOkay)
		e = c;
	if (e != ErrOkay)
		return e;
	send(NotifyList::MesgMod(), r.mdir, msgid, record);
	return ErrOkay;
}
