#include "MessageStore.h"

#include <vector>

#include "AcctMngr.h"
#include "BulkThread.h"
#include "DecodeThread.h"
#include "DirMngr.h"
#include "GuiDiskOp.h"
#include "HeaderUtil.h"
#include "Killfile.h"
#include "LogFile.h"
#include "MesgThread.h"
#include "Notify.h"
#include "NotifyList.h"
#include "Output.h"
#include "PathMngr.h"
#include "ReaperThread.h"
#include "StoragePath.h"
#include "ThreadMngr.h"

bool MessageStore::sStarted = false;
MesgQueue MessageStore::sBulkQueue;
MesgQueue MessageStore::sDecodeQueue;

bool MessageStore::Start(int type)
{
	if (!StoragePath::Start(type))
		return false;
	if (!treeCreate(type))
		return false;

	TString path;
	StoragePath::FileEventLog(path);
	if (!LogFile::Start(path))
		return false;
	if (!BulkThread::Start() || !ReaperThread::Start() || !MesgThread::Start() || !DecodeThread::Start())
		return false;
	StoragePath::FileKillfile(path);
	if (!Killfile::Start(path))
		return false;
	Notify::Register(NotifyList::IdentityChange(), identityChanged, nullptr);
	if (ThreadMngr::Spawn(MesgThread::Proc, nullptr, nullptr, 20000, ThreadPriorityNormal) ==
		Thread::HandleNone)
		return false;
	sStarted = true;
	return true;
}

// Creates the fixed folders of the tree. When one cannot be made, the folders this call made
// are removed again, so that a failed start leaves nothing half made behind.
bool MessageStore::treeCreate(int type)
{
	typedef void (*PathProc)(TString&);
	std::vector<PathProc> procs = {StoragePath::PathRoot, StoragePath::PathIdentity,
		StoragePath::PathRootType, StoragePath::PathDrafts, StoragePath::PathOutbox, StoragePath::PathSaved,
		StoragePath::PathSent, StoragePath::PathAccounts, StoragePath::PathTemp, StoragePath::PathTransfer,
		StoragePath::PathTrash, StoragePath::PathData};
	if (type == StoragePath::kTypeMail)
		procs.push_back(StoragePath::PathInbox);

	// The folders that hold the root are made first, as the default root's parent
	// ("~/Library") does not exist on a fresh Linux account.
	std::vector<TString> paths;
	TString root;
	StoragePath::PathRoot(root);
	TString child(root), parent;
	while (PathMngr::SplitRoot(child, parent) && parent.ByteLength() > 1 &&
		DirMngr::Exists(parent) == ErrDirNotFound) {
		paths.insert(paths.begin(), parent);
		child = parent;
	}
	for (PathProc proc : procs) {
		TString path;
		proc(path);
		paths.push_back(path);
	}

	std::vector<TString> made;
	for (const TString& path : paths) {
		bool existed = DirMngr::Exists(path) == ErrOkay;
		if (!GuiDiskOp::DirCreate(path)) {
			for (auto it = made.rbegin(); it != made.rend(); ++it)
				DirMngr::Remove(*it);
			return false;
		}
		if (!existed)
			made.push_back(path);
	}
	return true;
}

void MessageStore::Stop()
{
	Killfile::Stop();
	DecodeThread::Stop();
	MesgThread::Stop();
	ReaperThread::Stop();
	BulkThread::Stop();
	LogFile::Stop();
	StoragePath::Stop();
	if (sStarted) {
		sStarted = false;
		Notify::Unregister(NotifyList::IdentityChange(), identityChanged, nullptr);
	}
	sBulkQueue.Clear();
	sDecodeQueue.Clear();
}

void MessageStore::identityChanged(void*, const TString&)
{
	MesgRequest request;
	request.type = MreqIdentChange;
	storePut(request);
}

void MessageStore::storePut(MesgRequest& request)
{
	MesgThread::StoreRequestPut(request);
}

void MessageStore::mesgPut(MesgRequest& request)
{
	MesgThread::RequestPut(request);
}

bool MessageStore::Busy()
{
	return MesgThread::Busy() || BulkThread::Busy();
}

// ---- accounts, newsgroups, identities ----

void MessageStore::AcctCreate(const AcctData& data, void* window)
{
	MesgRequest r;
	r.type = MreqAcctCreate;
	r.acctData = data;
	r.window = window;
	storePut(r);
}

void MessageStore::AcctDelete(const TString& name, void* window)
{
	MesgRequest r;
	r.type = MreqAcctDelete;
	r.account = name;
	r.window = window;
	storePut(r);
}

void MessageStore::AcctUpdate(const TString& oldName, const AcctData& data, void* window)
{
	MesgRequest r;
	r.type = MreqAcctUpdate;
	r.account = oldName;
	r.acctData = data;
	r.window = window;
	storePut(r);
}

void MessageStore::GPrefsAccount(const TString& account)
{
	MesgRequest r;
	r.type = MreqGPrefsAccount;
	r.account = account;
	storePut(r);
}

void MessageStore::GPrefsGroup(const TString& account, const TString& group)
{
	MesgRequest r;
	r.type = MreqGPrefsGroup;
	r.account = account;
	r.group = group;
	storePut(r);
}

void MessageStore::GPrefsGlobal()
{
	MesgRequest r;
	r.type = MreqGPrefsGlobal;
	storePut(r);
}

void MessageStore::GroupCreate(const TString& account, const TString& group, void* window)
{
	MesgRequest r;
	r.type = MreqGroupCreate;
	r.account = account;
	r.group = group;
	r.window = window;
	storePut(r);
}

void MessageStore::GroupDelete(const TString& account, const TString& group, void* window)
{
	MesgRequest r;
	r.type = MreqGroupDelete;
	r.account = account;
	r.group = group;
	r.window = window;
	storePut(r);
}

void MessageStore::GroupUpdate(const TString& account, const MesgRequest::GroupSet& groups, void* window)
{
	MesgRequest r;
	r.type = MreqGroupUpdate;
	r.account = account;
	r.groupSet = groups;
	r.window = window;
	storePut(r);
}

// ---- whole directories ----

namespace {

void bulkPut(MesgRequestType type, const TString& mdir, bool flag = false, Charset charset = kCharsetNone)
{
	MesgRequest r;
	r.type = type;
	r.mdir = mdir;
	r.flag = flag;
	r.charset = charset;
	MessageStore::BulkQueue().RequestPut(r);
}

}  // namespace

void MessageStore::MdirDelete(const TString& mdir)
{
	bulkPut(MreqMdirDelete, mdir);
}

void MessageStore::MdirMarkChange(const TString& mdir, bool mark)
{
	bulkPut(MreqMdirMarkChange, mdir, mark);
}

void MessageStore::MdirReadChange(const TString& mdir, bool unread)
{
	bulkPut(MreqMdirReadChange, mdir, unread);
}

void MessageStore::MdirReindex(const TString& mdir)
{
	// Many requests may find the same cache missing; one rebuild is enough.
	if (!sBulkQueue.Has(MreqMdirReindex, mdir))
		bulkPut(MreqMdirReindex, mdir);
}

void MessageStore::MdirReparse(const TString& mdir, Charset charset)
{
	bulkPut(MreqMdirReparse, mdir, false, charset);
}

// ---- single messages ----

namespace {

MesgRequest mesgRequest(MesgRequestType type, const TString& mdir, const TString& file)
{
	MesgRequest r;
	r.type = type;
	r.mdir = mdir;
	r.file = file;
	return r;
}

}  // namespace

void MessageStore::MesgCharsetChange(const TString& mdir, const TString& file, Charset charset)
{
	MesgRequest r = mesgRequest(MreqMesgCharsetChange, mdir, file);
	r.charset = charset;
	mesgPut(r);
}

void MessageStore::MesgCopy(const TString& mdir, const TString& source)
{
	MesgRequest r = mesgRequest(MreqMesgCopy, mdir, source);
	mesgPut(r);
}

void MessageStore::MesgDecode(const TString& destination, const std::vector<TString>& paths,
	long sectionIndex, bool openAfter, void* window)
{
	MesgRequest r;
	r.type = MreqMesgDecode;
	r.file = destination;
	r.fileList = paths;
	r.count = sectionIndex;
	r.flag = openAfter;
	r.window = window;
	sDecodeQueue.RequestPut(r);
}

void MessageStore::MesgDelete(const TString& mdir, const TString& file)
{
	MesgRequest r = mesgRequest(MreqMesgDelete, mdir, file);
	mesgPut(r);
}

Error MessageStore::MesgInsert(const TString& mdir, const TString& path)
{
	return MesgThread::MesgInsert(mdir, path);
}

void MessageStore::MesgMarkChange(const TString& mdir, const TString& file, bool mark)
{
	MesgRequest r = mesgRequest(MreqMesgMarkChange, mdir, file);
	r.flag = mark;
	mesgPut(r);
}

void MessageStore::MesgMove(const TString& mdir, const TString& source)
{
	MesgRequest r = mesgRequest(MreqMesgMove, mdir, source);
	mesgPut(r);
}

void MessageStore::MesgReadChangeFolder(const TString& mdir, const TString& file, bool unread)
{
	MesgRequest r = mesgRequest(MreqMesgReadChangeFolder, mdir, file);
	r.flag = unread;
	mesgPut(r);
}

void MessageStore::MesgReadChangeGroup(const TString& account, const TString& group, const TString& file,
	const TString& msgid, const TString& newsgroups, bool unread)
{
	NewsgroupSet parsed;
	HeaderUtil::ParseNewsgroups(newsgroups, parsed);
	AcctMngr::GroupSet subscribed;
	AcctMngr::GroupListGet(account, subscribed);
	long queued = 0;
	for (const TString& name : parsed) {
		if (!AcctMngr::GroupListFind(subscribed, name))
			continue;
		MesgRequest r;
		r.type = MreqMesgReadChangeGroup;
		r.account = account;
		r.group = name;
		StoragePath::PathGroup(account, name, r.mdir);
		r.msgid = msgid;
		r.flag = unread;
		mesgPut(r);
		++queued;
	}
	if (queued == 0) {
		Output::MsgFmt("Cross-post detection failed\nAccount: %s  Group: %s\nMsgID: %s\nNewsgroups: %s",
			account.String(), group.String(), msgid.String(), newsgroups.String());
		TString mdir;
		StoragePath::PathGroup(account, group, mdir);
		MesgReadChangeFolder(mdir, file, unread);
	}
}

void MessageStore::MesgReparse(const TString& mdir, const TString& file, Charset charset)
{
	MesgRequest r = mesgRequest(MreqMesgReparse, mdir, file);
	r.charset = charset;
	mesgPut(r);
}

void MessageStore::MesgTrash(const TString& mdir, const TString& file)
{
	MesgRequest r = mesgRequest(MreqMesgTrash, mdir, file);
	mesgPut(r);
}
