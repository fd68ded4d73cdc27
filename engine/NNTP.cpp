#include "NNTP.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>

#include "DirIter.h"
#include "FileMngr.h"
#include "HeaderUtil.h"
#include "MessageFile.h"
#include "MessageHead.h"
#include "NetName.h"
#include "PathMngr.h"
#include "TextFile.h"
#include "TimeCore.h"

namespace {

// The white-space-separated words of a line.
std::vector<std::string> words(const TString& line)
{
	std::vector<std::string> out;
	std::string s(line.String(), static_cast<size_t>(line.ByteLength()));
	size_t i = 0;
	while (i < s.size()) {
		while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
			i++;
		size_t start = i;
		while (i < s.size() && s[i] != ' ' && s[i] != '\t')
			i++;
		if (i > start)
			out.push_back(s.substr(start, i - start));
	}
	return out;
}

// A decimal number below 2^32 and nothing else.
bool number32(const std::string& word, uint32_t& value)
{
	if (word.empty() || word.size() > 10)
		return false;
	unsigned long long v = 0;
	for (char c : word) {
		if (c < '0' || c > '9')
			return false;
		v = v * 10 + static_cast<unsigned>(c - '0');
	}
	if (v > 0xFFFFFFFFULL)
		return false;
	value = static_cast<uint32_t>(v);
	return true;
}

TString numberText(uint32_t n)
{
	TString s;
	s.Fmt("%u", n);
	return s;
}

}  // namespace

NNTP::~NNTP()
{
	if (IsOpen())
		Disconnect();
}

Error NNTP::Connect(const TString& host, const TString& user, const TString& password, uint16_t port)
{
	Error e = TextProtocol::Connect(host, user, password, port);
	if (e != ErrOkay)
		return e;
	// A transit server hands the connection to its reader only after this; a plain reader
	// answers it or refuses it, and either way the session goes on.
	e = CmndSend("MODE READER");
	if (e == ErrGmCommandFailed && IsConnected())
		e = ErrOkay;
	return e;
}

Error NNTP::Connect(const char* host, const char* user, const char* password, uint16_t port)
{
	return Connect(TString(host), TString(user), TString(password), port);
}

// ---- settings

void NNTP::HardSet(const TString& name, const TString& value)
{
	if (name.Empty() || value.Empty() || mHard.count(name) != 0)
		return;
	mHard[name] = value;
}

void NNTP::HardSet(HeaderName name, const TString& value)
{
	const char* spelling = HeaderList::HeaderNameString(name);
	if (spelling)
		HardSet(TString(spelling), value);
}

// ---- common set-up

void NNTP::dataClear()
{
	mData.type = ActivityNone;
	mData.markedOnly = false;
	mData.nextIndex = 0;
	mData.files.clear();
	mData.fileIds.clear();
	mData.indexList.Clear();
	mData.sent.clear();
	mData.unsynced.clear();
	mBatch.Clear();
	mData.stateTime = TimeCore::TickCount();
}

void NNTP::dataSetup(ActivityType type, const TString& group)
{
	dataClear();
	mData.type = type;
	mData.markedOnly = type == ActivityDnldBodiesMarked;
	ActivityClear();
	Activity().group = group;
	dataSetupCount();
}

void NNTP::dataSetupCount()
{
	ActivityInfo& a = Activity();
	uint32_t remain = mData.indexList.IndexRemain();
	switch (mData.type) {
	case ActivityDnldMessages:
		a.total = (articleLimit != 0 && articleLimit < remain) ? articleLimit : remain;
		break;
	case ActivityDnldHeaders:
		a.total = (headerLimit != 0 && headerLimit < remain) ? headerLimit : remain;
		break;
	case ActivityDnldBodiesAll:
	case ActivityDnldBodiesMarked: a.total = static_cast<uint32_t>(mData.files.size()); break;
	case ActivityDnldBody: a.total = 1; break;
	default: a.total = 0; break;
	}
	a.done = mData.type == ActivityCatchupGroup ? 0 : 1;
	a.lines = 0;
}

void NNTP::tempPath(TString& path)
{
	path = tempDirectory;
	TString leaf;
	leaf.Fmt("%s Download.txt", Activity().account.Empty() ? "Account" : Activity().account.String());
	PathMngr::Append(path, leaf);
}

// The seam to the message store: every finished file leaves through here.
void NNTP::handOver(const TString& group, const TString& path)
{
	if (mDnldProc)
		mDnldProc(mDnldUser, Activity().account, group, path, mData.type);
}

// ---- state file and group

Error NNTP::stateRead(const TString& stateFile)
{
	Error e = mData.indexList.StateRead(stateFile);
	if (e == ErrFileNotFound)
		return ErrOkay;
	if (e != ErrOkay)
		ErrorLog(ErrorFileRead, e);
	return e;
}

Error NNTP::stateWrite(const TString& stateFile, Error err)
{
	Error e = mData.indexList.StateWrite(stateFile);
	if (e != ErrOkay)
		ErrorLog(ErrorFileWrite, e);
	return err != ErrOkay ? err : e;
}

// The message files handed over since the last time become durable together: their data
// and their entries in the folders the owner has filed them into. When that fails their
// numbers are made unvisited again, so that no number is recorded whose file may be lost.
Error NNTP::filesDurable()
{
	if (mData.unsynced.empty()) {
		mBatch.Clear();
		return ErrOkay;
	}
	Error e = mBatch.Sync();
	if (e != ErrOkay) {
		ErrorLog(ErrorFileWrite, e);
		for (uint32_t n : mData.unsynced)
			mData.indexList.IndexRemove(n);
	}
	mData.unsynced.clear();
	return e;
}

// The state file in the middle of a download: the files stored so far made durable first,
// and the numbers whose requests are still outstanding left out.
Error NNTP::stateCheckpoint(const TString& stateFile)
{
	mData.stateTime = TimeCore::TickCount();
	Error e = filesDurable();
	if (e != ErrOkay)
		return e;
	NNTPIndexList now = mData.indexList;
	for (uint32_t n : mData.sent)
		now.IndexRemove(n);
	e = now.StateWrite(stateFile);
	if (e != ErrOkay)
		ErrorLog(ErrorFileWrite, e);
	return e;
}

Error NNTP::cmndGroup(const TString& group)
{
	Error e = CmndSend("GROUP", group);
	if (e != ErrOkay)
		return e;
	TString reply;
	LastReply(reply);
	std::vector<std::string> w = words(reply);
	NNTPIndexList::GroupData now;
	if (w.size() < 4 || !number32(w[1], now.total) || !number32(w[2], now.low) || !number32(w[3], now.high)) {
		ErrorLog(ErrorDataRead, ErrGmCommandFailed);
		return ErrGmCommandFailed;
	}
	NNTPIndexList::GroupData before;
	mData.indexList.CurrentData(before);
	mData.indexList.GroupUpdate(now);
	if (LogModeGet() != LogOff) {
		auto width = [](uint32_t a, uint32_t b) {
			return static_cast<int>(numberText(std::max(a, b)).ByteLength());
		};
		int wl = width(before.low, now.low), wh = width(before.high, now.high),
			wt = width(before.total, now.total);
		LogWriteFmt("%s (low/high/total): %*u %*u %*u", "Previous", wl, before.low, wh, before.high, wt,
			before.total);
		LogWriteFmt("%s (low/high/total): %*u %*u %*u", " Current", wl, now.low, wh, now.high, wt, now.total);
	}
	return ErrOkay;
}

Error NNTP::groupOperation(ActivityType type, const TString& group, const TString& stateFile)
{
	if (!IsConnected())
		return ErrNetConnectionClosed;
	dataSetup(type, group);
	if (type == ActivityCatchupGroup)
		ActivityProc(type);
	Error err = stateRead(stateFile);
	if (err == ErrOkay)
		err = cmndGroup(group);
	if (err == ErrOkay) {
		if (type == ActivityCatchupGroup)
			mData.indexList.GroupCatchup();
		else
			err = headLoop(group, stateFile);
	}
	Error synced = filesDurable();
	if (err == ErrOkay)
		err = synced;
	err = stateWrite(stateFile, err);
	Activity().lines = 0;
	return err;
}

Error NNTP::DownloadHeaders(const TString& group, const TString& stateFile)
{
	return groupOperation(ActivityDnldHeaders, group, stateFile);
}

Error NNTP::DownloadArticles(const TString& group, const TString& stateFile)
{
	return groupOperation(ActivityDnldMessages, group, stateFile);
}

Error NNTP::Catchup(const TString& group, const TString& stateFile)
{
	return groupOperation(ActivityCatchupGroup, group, stateFile);
}

// ---- requests and replies

Error NNTP::dnldSend(bool& nothingLeft)
{
	nothingLeft = false;
	ActivityInfo& a = Activity();
	long long q = static_cast<long long>(mData.sent.size());
	long long count = 0;
	if (q <= 3)
		count = std::min<long long>(static_cast<long long>(a.total) - a.done + 1 - q, a.done <= 1 ? 1 : 2);
	for (long long i = 0; i < count; i++) {
		if (TypeBody(mData.type)) {
			if (mData.nextIndex >= mData.files.size()) {
				nothingLeft = true;
				return ErrOkay;
			}
			uint32_t index = mData.nextIndex;
			MessageHead head;
			Error e = head.HeaderRead(mData.files[index], MessageHead::kLockWait);
			if (e != ErrOkay) {
				ErrorLog(ErrorFileRead, e);
				return e;
			}
			TString id;
			head.HeaderGet(kHeaderMessageID, id);
			id.Trim();
			if (!NetName::MsgIdValid(id)) {
				// No body can be asked for without a valid id: this message is skipped, and
				// counted as done like a body the server does not have, and the rest go on.
				TString path;
				mData.files[index].PathGet(path);
				LogWriteFmt("Invalid Message-ID, body skipped: %s", path.String());
				mData.nextIndex++;
				a.done++;
				i--;
				continue;
			}
			e = CmndSendAhead("BODY", id);
			if (e != ErrOkay)
				return e;
			mData.fileIds.resize(mData.files.size());
			mData.fileIds[index] = id;
			mData.sent.push_back(index);
			mData.nextIndex++;
		} else {
			uint32_t n = downloadOrder == OrderOldest ? mData.indexList.IndexOldest()
				: downloadOrder == OrderNewest        ? mData.indexList.IndexNewest()
													  : 0;
			if (n == 0) {
				nothingLeft = true;
				return ErrOkay;
			}
			Error e = CmndSendAhead(TypeHeader(mData.type) ? "HEAD" : "ARTICLE", numberText(n));
			if (e != ErrOkay)
				return e;
			mData.sent.push_back(n);
			mData.indexList.IndexUsed(n);
		}
	}
	return ErrOkay;
}

// Reads the reply to the oldest request. A success reply must be the one the request asks
// for (its code, and the article number when the server gives one): anything else means the
// replies no longer match the requests, and the session cannot go on.
Error NNTP::replyRead(const char* expectCode, uint32_t number)
{
	Error e = CmndReply();
	if (!IsConnected())
		return e == ErrOkay || e == ErrGmCommandFailed ? ErrNetReceiveError : e;
	if (e != ErrOkay)
		return e;
	TString reply;
	LastReply(reply);
	std::vector<std::string> w = words(reply);
	uint32_t n = 0;
	bool match = !w.empty() && w[0] == expectCode;
	if (match && number != 0 && w.size() > 1 && number32(w[1], n) && n != 0 && n != number)
		match = false;
	if (!match) {
		ErrorUnexpected(reply);
		OutOfSync();
		return ErrNetReceiveError;
	}
	return ErrOkay;
}

// The data lines of one reply into the file, up to the closing ".".
Error NNTP::dataLines(MessageFile& file)
{
	ActivityInfo& a = Activity();
	long long bytes = 0;
	TString line;
	for (;;) {
		Error e = DotLineRead(line);
		if (e == ErrFileEnd)
			return ErrOkay;
		if (e != ErrOkay)
			return e;
		bytes += line.ByteLength() + 2;
		if (bytes > articleBytesMax) {
			LogWriteFmt("Article longer than %lld bytes: transfer stopped", articleBytesMax);
			ErrorLog(ErrorDataRead, ErrFileFull);
			OutOfSync();
			return ErrFileFull;
		}
		e = file.LineAppend(line);
		if (e != ErrOkay) {
			ErrorLog(ErrorFileWrite, e);
			OutOfSync();
			return e;
		}
		a.lines++;
		ActivityProcDelay(mData.type);
	}
}

Error NNTP::headFile(const TString& group, uint32_t number)
{
	TString path;
	tempPath(path);
	MessageFile file;
	Activity().lines = 0;
	// Made durable together with the others before the state file records the number.
	file.SyncLater(&mBatch);
	// Nobody else writes into the temporary folder: no locks or look-ups for its scratch file.
	file.ScratchSet(true);
	Error err = file.DownloadOpen(path, MessageTypeUsenet, fileCreator);
	if (err != ErrOkay)
		ErrorLog(ErrorFileOpen, err);
	if (err == ErrOkay)
		err = dataLines(file);
	Error closeErr = file.DownloadClose(charset);
	if (err == ErrOkay && closeErr != ErrOkay && closeErr != ErrFileNotOpen) {
		ErrorLog(ErrorFileWrite, closeErr);
		err = closeErr;
	}
	if (err == ErrOkay) {
		err = file.RenameToPreferred(path);
		if (err != ErrOkay)
			ErrorLog(ErrorFileWrite, err);
	}
	if (err == ErrOkay) {
		handOver(group, path);
		mData.unsynced.push_back(number);
		Activity().done++;
	} else {
		mData.indexList.IndexRemove(number);
		FileMngr::Remove(path);
		OutOfSync();
	}
	Activity().lines = 0;
	return err;
}

Error NNTP::headLoop(const TString& group, const TString& stateFile)
{
	dataSetupCount();
	mData.sent.clear();
	ActivityInfo& a = Activity();
	const char* code = TypeHeader(mData.type) ? "221" : "220";
	Error err = ErrOkay;
	while (a.done <= a.total) {
		ActivityProcDelay(mData.type);
		bool nothingLeft = false;
		err = dnldSend(nothingLeft);
		if (err != ErrOkay || mData.sent.empty())
			break;
		uint32_t n = mData.sent.front();
		mData.sent.pop_front();
		err = replyRead(code, n);
		if (err == ErrOkay) {
			err = headFile(group, n);
			if (err == ErrOkay &&
				(mData.unsynced.size() >= stateEveryArticles ||
					TimeCore::TickCount() - mData.stateTime >= stateEveryMicros))
				err = stateCheckpoint(stateFile);
		} else if (err == ErrGmCommandFailed) {
			err = ErrOkay;  // not on the server: skipped for good
			continue;
		} else {
			mData.indexList.IndexRemove(n);
		}
		if (err != ErrOkay)
			break;
	}
	// Replies still on their way could be taken for those of the next command: the session
	// cannot go on after a failure here.
	if (err != ErrOkay && !mData.sent.empty())
		OutOfSync();
	// Requests never answered are asked again next time.
	for (uint32_t n : mData.sent)
		mData.indexList.IndexRemove(n);
	mData.sent.clear();
	a.done = a.total;
	a.lines = 0;
	ActivityProc(mData.type);
	return err;
}

// ---- bodies

Error NNTP::bodyScan(const TString& groupDirectory)
{
	ActivityType type = mData.type;
	mData.type = ActivityLocateMessages;
	ActivityInfo& a = Activity();
	a.total = 0;
	a.done = 0;
	DirIter dir;
	Error err = dir.Open(groupDirectory);
	if (err != ErrOkay)
		ErrorLog(ErrorFileRead, err);
	DEntry entry;
	while (err == ErrOkay) {
		err = dir.Next(entry);
		if (err == ErrDirEnd) {
			err = ErrOkay;
			break;
		}
		if (err != ErrOkay) {
			ErrorLog(ErrorFileRead, err);
			break;
		}
		if (!entry.IsFile() || !HeaderUtil::IsMessageFilename(entry.Leaf()))
			continue;
		a.total++;
		MessageHead head;
		err = head.HeaderRead(entry, MessageHead::kLockWait);
		if (err != ErrOkay) {
			ErrorLog(ErrorFileRead, err);
			break;
		}
		if (head.MessageStateGet() == MessageStateHeaders &&
			(!mData.markedOnly || head.MessageDownloadGet() == MessageDownloadMarked))
			mData.files.push_back(entry);
		a.done = static_cast<uint32_t>(mData.files.size());
		ActivityProcDelay(mData.type);
	}
	dir.Close();
	mData.type = type;
	return err;
}

Error NNTP::bodyFile(const TString& group)
{
	uint32_t index = mData.sent.front();
	TString path, source;
	tempPath(path);
	Error err = mData.files[index].PathGet(source);
	MessageFile file;
	FileMngr::Remove(path);  // a scratch file left by an earlier crash
	if (err == ErrOkay)
		err = MessageFile::Copy(path, source);
	if (err == ErrOkay)
		err = file.BodyOpen(path);
	if (err != ErrOkay) {
		ErrorLog(ErrorFileOpen, err);
		file.BodyClose(false);
		FileMngr::Remove(path);
		OutOfSync();
		return err;
	}
	mData.sent.pop_front();
	Activity().lines = 0;
	err = replyRead("222", 0);
	bool success = err == ErrOkay;
	if (err == ErrOkay) {
		TString reply;
		LastReply(reply);
		std::vector<std::string> w = words(reply);
		for (size_t i = 1; i < w.size(); i++) {
			TString id(w[i]);
			if (NetName::MsgIdValid(id)) {
				if (id.Compare(mData.fileIds[index]) != 0)
					LogWriteFmt("WARNING: incorrect msg-id\nServ: %s\nFile: %s", id.String(),
						mData.fileIds[index].String());
				break;
			}
		}
		err = dataLines(file);
		success = err == ErrOkay;
	} else if (err == ErrGmCommandFailed) {
		err = ErrOkay;  // not on the server: the message is marked as failed
	}
	Error closeErr = file.BodyClose(success);
	if (err == ErrOkay && closeErr != ErrOkay) {
		ErrorLog(ErrorFileWrite, closeErr);
		err = closeErr;
	}
	if (err == ErrOkay) {
		err = file.RenameToPreferred(path);
		if (err != ErrOkay)
			ErrorLog(ErrorFileWrite, err);
	}
	if (err == ErrOkay) {
		handOver(group, path);
		Activity().done++;
	} else {
		FileMngr::Remove(path);
		OutOfSync();
	}
	Activity().lines = 0;
	return err;
}

Error NNTP::bodyLoop(const TString& group)
{
	ActivityInfo& a = Activity();
	Error err = ErrOkay;
	while (a.done <= a.total) {
		ActivityProcDelay(mData.type);
		bool nothingLeft = false;
		err = dnldSend(nothingLeft);
		if (err != ErrOkay || mData.sent.empty())
			break;
		err = bodyFile(group);
		if (err != ErrOkay)
			break;
	}
	a.done = a.total;
	a.lines = 0;
	ActivityProc(mData.type);
	mData.sent.clear();
	return err;
}

Error NNTP::bodyDownload(ActivityType type, const TString& group, const TString& where)
{
	if (!IsConnected())
		return ErrNetConnectionClosed;
	dataSetup(type, group);
	Error err = ErrOkay;
	if (type == ActivityDnldBody) {
		DEntry entry;
		err = entry.Assign(where);
		if (err == ErrOkay)
			err = entry.Stat();
		if (err == ErrOkay)
			mData.files.push_back(entry);
		else
			ErrorLog(ErrorFileRead, err);
	} else {
		err = bodyScan(where);
	}
	if (err != ErrOkay)
		return err;
	std::vector<DEntry> files;
	files.swap(mData.files);
	dataSetup(type, group);
	mData.files.swap(files);
	dataSetupCount();
	return bodyLoop(group);
}

Error NNTP::DownloadBodiesAll(const TString& group, const TString& groupDirectory)
{
	return bodyDownload(ActivityDnldBodiesAll, group, groupDirectory);
}

Error NNTP::DownloadBodiesMarked(const TString& group, const TString& groupDirectory)
{
	return bodyDownload(ActivityDnldBodiesMarked, group, groupDirectory);
}

Error NNTP::DownloadBody(const TString& group, const TString& messageFile)
{
	return bodyDownload(ActivityDnldBody, group, messageFile);
}

// ---- newsgroup list

Error NNTP::NewsgroupList(const TString& listFile)
{
	if (!IsConnected())
		return ErrNetConnectionClosed;
	if (!PathMngr::Valid(listFile))
		return ErrGmBadPath;
	dataSetup(ActivityDnldGroupList, TString(""));
	ActivityInfo& a = Activity();
	a.total = kListEstimate;
	a.done = 0;
	TextFile out;
	Error err = out.Open(listFile, TextFile::ModeWrite, MessageHead::kLockWait);
	if (err != ErrOkay) {
		ErrorLog(ErrorFileOpen, err);
		return err;
	}
	out.TextSet();
	out.EditorSet();
	std::set<TString> names;
	err = CmndSend("LIST");
	TString line;
	unsigned long long lines = 0;
	while (err == ErrOkay) {
		Error e = DotLineRead(line);
		if (e == ErrFileEnd)
			break;
		if (e != ErrOkay) {
			err = e;
			break;
		}
		if (++lines > 4 * kListNamesMax) {
			LogWriteFmt("More than %llu lines in the newsgroup list: list stopped", lines - 1);
			ErrorLog(ErrorDataRead, ErrFileFull);
			OutOfSync();
			err = ErrFileFull;
			break;
		}
		std::vector<std::string> w = words(line);
		if (w.empty())
			continue;
		TString name;
		name.AllowInvalidSet(true);
		name.AssignByte(w[0].data(), static_cast<long>(w[0].size()));
		if (!name.Valid() || !NetName::NewsValid(name))
			continue;
		names.insert(name);
		if (names.size() > kListNamesMax) {
			LogWriteFmt("More than %zu newsgroups: list stopped", kListNamesMax);
			ErrorLog(ErrorDataRead, ErrFileFull);
			OutOfSync();
			err = ErrFileFull;
			break;
		}
		a.done = static_cast<uint32_t>(names.size());
		a.total = std::max(a.total, a.done);
		a.group = name;
		ActivityProcDelay(ActivityDnldGroupList);
	}
	if (err == ErrOkay) {
		a.total = a.done;
		ActivityProc(ActivityDnldGroupList);
		if (names.empty()) {
			ErrorLog(ErrorDataRead, ErrGmCommandFailed);
			err = ErrGmCommandFailed;
		}
	}
	for (auto it = names.begin(); err == ErrOkay && it != names.end(); ++it) {
		err = out.Write(*it);
		if (err != ErrOkay)
			ErrorLog(ErrorFileWrite, err);
	}
	Error closeErr = out.Close();
	if (err == ErrOkay && closeErr != ErrOkay) {
		ErrorLog(ErrorFileWrite, closeErr);
		err = closeErr;
	}
	if (err != ErrOkay)
		FileMngr::Remove(listFile);
	return err;
}

// ---- posting

Error NNTP::Upload(const TString& outboxDirectory)
{
	if (!IsConnected())
		return ErrNetConnectionClosed;
	dataClear();
	mData.type = ActivityUpload;
	const TString account = Activity().account;
	if (account.Empty())
		return ErrOkay;
	DirIter dir;
	Error err = dir.Open(outboxDirectory);
	if (err != ErrOkay)
		ErrorLog(ErrorFileRead, err);
	DEntry entry;
	while (err == ErrOkay) {
		err = dir.Next(entry);
		if (err == ErrDirEnd) {
			err = ErrOkay;
			break;
		}
		if (err != ErrOkay) {
			ErrorLog(ErrorFileRead, err);
			break;
		}
		if (!entry.IsFile() || !HeaderUtil::IsMessageFilename(entry.Leaf()))
			continue;
		MessageHead head;
		err = head.HeaderRead(entry, MessageHead::kLockWait);
		if (err != ErrOkay) {
			ErrorLog(ErrorFileRead, err);
			break;
		}
		TString raw, name;
		head.HeaderGet(kHeaderQuillfernAccount, raw);
		HeaderUtil::Decode(name, raw);
		if (name.CompareNoCase(account) == 0)
			mData.files.push_back(entry);
	}
	dir.Close();
	if (err != ErrOkay)
		return err;
	// Posting order: by file name, so that a run is repeatable.
	std::sort(mData.files.begin(), mData.files.end());

	ActivityInfo& a = Activity();
	a.done = 1;
	a.total = static_cast<uint32_t>(mData.files.size());
	while (!mData.files.empty()) {
		TString path;
		err = mData.files.front().PathGet(path);
		MessageFile file;
		if (err == ErrOkay)
			err = file.UploadOpen(path, mHard);
		if (err != ErrOkay) {
			ErrorLog(ErrorFileRead, err);
			break;
		}
		a.lines = 0;
		ActivityProc(ActivityUpload);
		err = CmndSend("POST");
		if (err == ErrNeedMoreData) {
			err = ErrOkay;
			TString line;
			for (;;) {
				Error e = file.UploadLine(line);
				if (e == ErrFileEnd)
					break;
				if (e != ErrOkay) {
					ErrorLog(ErrorFileRead, e);
					err = e;
					break;
				}
				e = DotLineSend(line, false);
				if (e != ErrOkay) {
					err = e;
					break;
				}
				a.lines++;
				ActivityProcDelay(ActivityUpload);
			}
			// The closing dot goes out however the lines ended, so the server is not left
			// waiting for the rest of an article: only the socket must still be open, whatever
			// the protocol's own state after a failed line.
			// NOLINTNEXTLINE(bugprone-parent-virtual-call)
			Error endErr = NetSock::IsConnected() ? DotLineSend(TString(""), true) : ErrNetConnectionClosed;
			if (err == ErrOkay)
				err = endErr;
			if (err == ErrOkay)
				err = CmndReply();
		} else if (err == ErrOkay) {
			// A success reply where the server should ask for the article.
			TString reply;
			LastReply(reply);
			ErrorUnexpected(reply);
			OutOfSync();
			err = ErrNetReceiveError;
		}
		Error closeErr = file.UploadClose();
		if (err == ErrOkay)
			err = closeErr;
		if (err != ErrOkay)
			break;
		if (mUpldProc)
			mUpldProc(mUpldUser, account, path, ActivityUpload);
		mData.files.erase(mData.files.begin());
		a.done++;
	}
	a.done = a.total;
	a.lines = 0;
	ActivityProc(ActivityUpload);
	mData.files.clear();
	ActivityClear();
	return err;
}
