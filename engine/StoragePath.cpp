#include "StoragePath.h"

#include "GlobalPrefs.h"
#include "Language.h"
#include "PathMngr.h"

const char* const StoragePath::LeafAccountPrefs = "Account";
const char* const StoragePath::LeafCache = "Cache";
const char* const StoragePath::LeafEventLog = "EventLog.txt";
const char* const StoragePath::LeafGroupIndex = "ArticleIndex.txt";
const char* const StoragePath::LeafGroupList = "NewsgroupList.txt";
const char* const StoragePath::LeafGroupPrefs = "Newsgroup";
const char* const StoragePath::LeafIdentity = "Identity";
const char* const StoragePath::LeafKillfile = "Killfile.txt";
const char* const StoragePath::LeafStorageList = "StorageNodeList.txt";
const char* const StoragePath::LeafTransferLog = "TransferLog.txt";

const char* const StoragePath::kSectionFixed = "Storage view fixed folder names";

int StoragePath::sType = StoragePath::kTypeNews;

namespace {

const LangData kFixedRows[] = {
	{"FixedDrafts", "", "Drafts"},
	{"FixedInbox", "", "Inbox"},
	{"FixedOutbox", "", "Outbox"},
	{"FixedSent", "", "Sent Messages"},
	{nullptr, nullptr, nullptr},
};

const LangSection kFixedSection = {StoragePath::kSectionFixed, LangSectionStorageFolders, kFixedRows};

}  // namespace

bool StoragePath::Start(int type)
{
	sType = type;
	return Language::SectionAdd(&kFixedSection);
}

void StoragePath::Stop()
{}

int StoragePath::PathType()
{
	return sType;
}

void StoragePath::fixedFolder(const char* key, TString& out)
{
	PathRootType(out);
	TString leaf;
	Language::String(key, leaf, false);
	PathMngr::Append(out, leaf);
}

void StoragePath::PathRoot(TString& out)
{
	GlobalPrefs::PathRoot(out);
}

void StoragePath::PathIdentity(TString& out)
{
	PathRoot(out);
	PathMngr::Append(out, "Identity");
}

void StoragePath::FileIdentity(TString& out)
{
	PathIdentity(out);
	PathMngr::Append(out, LeafIdentity);
}

void StoragePath::PathSaved(TString& out)
{
	PathRoot(out);
	PathMngr::Append(out, "Saved");
}

void StoragePath::PathRootType(TString& out)
{
	if (sType == kTypeMail)
		PathRootMail(out);
	else
		PathRootNews(out);
}

void StoragePath::PathRootNews(TString& out)
{
	PathRoot(out);
	PathMngr::Append(out, "News");
}

void StoragePath::PathRootMail(TString& out)
{
	PathRoot(out);
	PathMngr::Append(out, "Mail");
}

void StoragePath::PathDrafts(TString& out)
{
	fixedFolder("FixedDrafts", out);
}

void StoragePath::PathOutbox(TString& out)
{
	fixedFolder("FixedOutbox", out);
}

void StoragePath::PathSent(TString& out)
{
	fixedFolder("FixedSent", out);
}

void StoragePath::PathInbox(TString& out)
{
	fixedFolder("FixedInbox", out);
}

void StoragePath::PathAccounts(TString& out)
{
	PathRootType(out);
	PathMngr::Append(out, "Accounts");
}

void StoragePath::PathAccount(const TString& acct, TString& out)
{
	PathAccounts(out);
	PathMngr::Append(out, acct);
}

void StoragePath::PathAccountData(const TString& acct, TString& out)
{
	PathAccount(acct, out);
	PathMngr::Append(out, "Data");
}

void StoragePath::FileAccountPrefs(const TString& acct, TString& out)
{
	PathAccountData(acct, out);
	PathMngr::Append(out, LeafAccountPrefs);
}

void StoragePath::FileGroupPrefsAccount(const TString& acct, TString& out)
{
	PathAccountData(acct, out);
	PathMngr::Append(out, LeafGroupPrefs);
}

void StoragePath::FileGroupList(const TString& acct, TString& out)
{
	PathAccountData(acct, out);
	PathMngr::Append(out, LeafGroupList);
}

void StoragePath::FileTransferLog(const TString& acct, TString& out)
{
	PathAccountData(acct, out);
	PathMngr::Append(out, LeafTransferLog);
}

void StoragePath::PathAccountGroups(const TString& acct, TString& out)
{
	PathAccount(acct, out);
	PathMngr::Append(out, "Groups");
}

void StoragePath::PathGroup(const TString& acct, const TString& group, TString& out)
{
	PathAccountGroups(acct, out);
	PathMngr::Append(out, group);
}

void StoragePath::FileGroupPrefsGroup(const TString& acct, const TString& group, TString& out)
{
	PathGroup(acct, group, out);
	PathMngr::Append(out, LeafGroupPrefs);
}

void StoragePath::FileGroupIndex(const TString& acct, const TString& group, TString& out)
{
	PathGroup(acct, group, out);
	PathMngr::Append(out, LeafGroupIndex);
}

void StoragePath::FileCache(const TString& mdir, TString& out)
{
	out = mdir;
	PathMngr::Append(out, LeafCache);
}

void StoragePath::PathTemp(TString& out)
{
	PathRootType(out);
	PathMngr::Append(out, "Temp");
}

void StoragePath::FileGroupListTemp(const TString& acct, TString& out)
{
	PathTemp(out);
	TString leaf(acct);
	leaf.Append(" ");
	leaf.Append(LeafGroupList);
	PathMngr::Append(out, leaf);
}

void StoragePath::PathTransfer(TString& out)
{
	PathRootType(out);
	PathMngr::Append(out, "Transfer");
}

void StoragePath::PathTrash(TString& out)
{
	PathRootType(out);
	PathMngr::Append(out, "Trash");
}

void StoragePath::PathData(TString& out)
{
	PathRootType(out);
	PathMngr::Append(out, "Data");
}

void StoragePath::FileStorageList(TString& out)
{
	PathData(out);
	PathMngr::Append(out, LeafStorageList);
}

void StoragePath::FileKillfile(TString& out)
{
	PathData(out);
	PathMngr::Append(out, LeafKillfile);
}

void StoragePath::FileGroupPrefsGlobal(TString& out)
{
	PathData(out);
	PathMngr::Append(out, LeafGroupPrefs);
}

void StoragePath::FileEventLog(TString& out)
{
	PathData(out);
	PathMngr::Append(out, LeafEventLog);
}

bool StoragePath::IsPathSaved(const TString& path)
{
	TString saved;
	PathSaved(saved);
	return !saved.Empty() && path.ByteLength() >= saved.ByteLength() &&
		path.Compare(saved, saved.CharLength()) == 0;
}
