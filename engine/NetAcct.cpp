#include "NetAcct.h"

#include "AcctMngr.h"
#include "DirMngr.h"
#include "FileMngr.h"
#include "GroupData.h"
#include "Language.h"
#include "MessageStore.h"
#include "Output.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "ThreadMngr.h"
#include "TimeCore.h"
#include "TimeFormat.h"

#include <unistd.h>

const char* const NetAcct::kUserAgent = "Quillfern News/" QUILLFERN_VERSION;
const char* const NetAcct::kProgramUrl = "https://quillfern.example/";

NetAcct::~NetAcct()
{
	Disconnect();
}

bool NetAcct::continueProc(void* user)
{
	auto* self = static_cast<NetAcct*>(user);
	return ThreadMngr::Running() && !self->mAbort;
}

void NetAcct::dnldProc(
	void* user, const TString& account, const TString& group, const TString& path, ActivityType)
{
	auto* self = static_cast<NetAcct*>(user);
	TString mdir;
	StoragePath::PathGroup(account, group, mdir);
	Error err = MessageStore::MesgInsert(mdir, path);
	if (err == ErrOkay) {
		self->mCount++;
		return;
	}
	self->mRefused++;
	TString text;
	text.Fmt("Downloaded message could not be filed into %s: error %d", mdir.String(), int(err));
	Output::Log(text.String());
	FileMngr::Remove(path);
}

void NetAcct::upldProc(void* user, const TString&, const TString& path, ActivityType)
{
	auto* self = static_cast<NetAcct*>(user);
	TString sent;
	StoragePath::PathSent(sent);
	MessageStore::MesgMove(sent, path);
	self->mCount++;
}

void NetAcct::ActivitySetup(TextProtocol::ActivityCallback proc, void* user)
{
	mSession.ActivityProcSet(proc, user);
}

Error NetAcct::Connect(const TString& account, ConnectType)
{
	// The abort flag is cleared when the pipeline takes up a request, not here: a cancel that
	// comes between the two must not be lost.
	mGroup.Erase();
	if (mAbort)
		return ErrGmCancelled;
	if (mSession.IsConnected() && mAccount == account)
		return ErrOkay;
	AcctData data;
	if (!AcctMngr::Get(account, data)) {
		if (mSession.IsOpen())
			mSession.Disconnect();
		mSession.Activity().account = account;
		mAccount = account;
		return ErrNetConnectionError;
	}
	if (mSession.IsOpen())
		mSession.Disconnect();
	StoragePath::FileTransferLog(data.name, mSession.logPath);
	// Each process downloads into its own temporary folder, so that runs side by side on one
	// data root never write the same file.
	TString temp;
	StoragePath::PathTemp(temp);
	TString leaf;
	leaf.Fmt("Network %ld", long(getpid()));
	PathMngr::Append(temp, leaf);
	DirMngr::Create(temp);
	mSession.tempDirectory = temp;
	mSession.Activity().account = data.name;
	mAccount = data.name;
	mSession.ContinueProcSet(continueProc, this);
	mSession.DownloadProcSet(dnldProc, this);
	mSession.UploadProcSet(upldProc, this);
	mSession.echoLog = false;
	mSession.logMode = uint32_t(data.logging);
	mSession.TimeoutSet(data.server.timeout);
	bool login = data.server.requiresLogin && !data.server.username.Empty();
	return mSession.Connect(data.server.host, login ? data.server.username : TString(),
		login ? data.server.password : TString(), data.server.port);
}

void NetAcct::Disconnect()
{
	if (mSession.IsOpen())
		mSession.Disconnect();
	if (!mSession.tempDirectory.Empty()) {
		DirMngr::Obliterate(mSession.tempDirectory, true, nullptr, nullptr);
		mSession.tempDirectory.Erase();
	}
}

bool NetAcct::IsConnected() const
{
	return mSession.IsConnected();
}

void NetAcct::LastError(TString& text, Error error) const
{
	TString reason, when;
	mSession.LastError(reason, error);
	TimeFormat::DateTimeVal(when, TimeCore::TimeGet(), TimeCore::kBiasLocal, nullptr, false);
	const TString& account = mAccount;
	if (!mGroup.Empty())
		Language::String("GroupNetError", text, false, when, account, mGroup, reason);
	else
		Language::String("AccountNetError", text, false, when, account, reason);
}

void NetAcct::groupSettings(const TString& group, Charset& charset)
{
	GroupData data;
	data.GroupGet(Account(), group);
	charset = data.charset;
}

Error NetAcct::DnldGroup(const TString& group)
{
	mGroup = group;
	TString stateFile;
	StoragePath::FileGroupIndex(Account(), group, stateFile);
	GroupData data;
	data.GroupGet(Account(), group);
	if (data.downloadType == GroupData::TypeNone)
		return ErrOkay;
	mSession.articleLimit = data.limitsEnabled ? data.articleLimit : 0;
	mSession.headerLimit = data.limitsEnabled ? data.headerLimit : 0;
	mSession.downloadOrder = data.downloadOrder;
	mSession.charset = data.charset;
	if (data.downloadType == GroupData::TypeHeaders)
		return mSession.DownloadHeaders(group, stateFile);
	return mSession.DownloadArticles(group, stateFile);
}

Error NetAcct::DnldBodiesAll(const TString& group)
{
	mGroup = group;
	TString mdir;
	StoragePath::PathGroup(Account(), group, mdir);
	groupSettings(group, mSession.charset);
	return mSession.DownloadBodiesAll(group, mdir);
}

Error NetAcct::DnldBodiesMarked(const TString& group)
{
	mGroup = group;
	TString mdir;
	StoragePath::PathGroup(Account(), group, mdir);
	groupSettings(group, mSession.charset);
	return mSession.DownloadBodiesMarked(group, mdir);
}

Error NetAcct::DnldBody(const TString& group, const TString& path)
{
	mGroup = group;
	groupSettings(group, mSession.charset);
	return mSession.DownloadBody(group, path);
}

Error NetAcct::Catchup(const TString& group)
{
	mGroup = group;
	TString stateFile;
	StoragePath::FileGroupIndex(Account(), group, stateFile);
	return mSession.Catchup(group, stateFile);
}

Error NetAcct::DnldGroupList()
{
	mGroup.Erase();
	TString temp, list;
	StoragePath::FileGroupListTemp(Account(), temp);
	StoragePath::FileGroupList(Account(), list);
	Error err = mSession.NewsgroupList(temp);
	if (err == ErrOkay) {
		// A rename replaces the old list in one step: a reader sees the old list or the new one.
		err = FileMngr::Rename(temp, list);
	} else {
		FileMngr::Remove(temp);
	}
	return err;
}

Error NetAcct::UpldAccount()
{
	mGroup.Erase();
	mSession.HardSet("User-Agent", TString(kUserAgent));
	mSession.HardSet("X-Program-URL", TString(kProgramUrl));
	TString outbox;
	StoragePath::PathOutbox(outbox);
	return mSession.Upload(outbox);
}

Error NetAcct::Run(const NetRequest& r)
{
	mCount = 0;
	mRefused = 0;
	switch (r.type) {
	case NetRqstCatchupGroup: return Catchup(r.group);
	case NetRqstDnldBodiesAll: return DnldBodiesAll(r.group);
	case NetRqstDnldBodiesMarked: return DnldBodiesMarked(r.group);
	case NetRqstDnldBody: return DnldBody(r.group, r.path);
	case NetRqstDnldGroup: return DnldGroup(r.group);
	case NetRqstDnldGroupList: return DnldGroupList();
	case NetRqstUpload: return UpldAccount();
	default: return ErrOkay;
	}
}
