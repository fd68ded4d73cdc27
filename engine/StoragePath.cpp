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

void append(TString& path, const char* leaf)
{
	PathMngr::Append(path, leaf);
}

void append(TString& path, const TString& leaf)
{
	PathMngr::Append(path, leaf);
}

}  // namespace

bool StoragePath::Start(int type)
{
	sType = type;
	return Language::SectionAdd(&kFixedSection);
}

void StoragePath::Stop() {}

int StoragePath::PathType()
{
	return sType;
}

void StoragePath::fixedFolder(const char* key, TString& out)
{
	PathRootType(out);
	TString leaf;
	Language::String(key, leaf, false);
	append(out, leaf);
}

void StoragePath::PathRoot(TString& out)
{
	GlobalPrefs::PathRoot(out);
}

void StoragePath::PathIdentity(TString& out)
{
	PathRoot(out);
	append(out, "Identity");
}

void StoragePath::FileIdentity(TString& out)
{
	PathIdentity(out);
	append(out, LeafIdentity);
}

void StoragePath::PathSaved(TString& out)
{
	PathRoot(out);
	append(out, "Saved");
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
	append(out, "News");
}

void StoragePath::PathRootMail(TString& out)
{
	PathRoot(out);
	append(out, "Mail");
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
	append(out, "Accounts");
}

void StoragePath::PathAccount(const TString& acct, TString& out)
{
	PathAccounts(out);
	append(out, acct);
}

void StoragePath::PathAccountData(const TString& acct, TString& out)
{
	PathAccount(acct, out);
	append(out, "Data");
}

void StoragePath::FileAccountPrefs(const TString& acct, TString& out)
{
	PathAccountData(acct, out);
	append(out, LeafAccountPrefs);
}

void StoragePath::FileGroupPrefsAccount(const TString& acct, TString& out)
{
	PathAccountData(acct, out);
	append(out, LeafGroupPrefs);
}

void StoragePath::FileGroupList(const TString& acct, TString& out)
{
	PathAccountData(acct, out);
	append(out, LeafGroupList);
}

void StoragePath::FileTransferLog(const TString& acct, TString& out)
{
	PathAccountData(acct, out);
	append(out, LeafTransferLog);
}

void StoragePath::PathAccountGroups(const TString& acct, TString& out)
{
	PathAccount(acct, out);
	append(out, "Groups");
}

void StoragePath::PathGroup(const TString& acct, const TString& group, TString& out)
{
	PathAccountGroups(acct, out);
	append(out, group);
}

void StoragePath::FileGroupPrefsGroup(const TString& acct, const TString& group, TString& out)
{
	PathGroup(acct, group, out);
	append(out, LeafGroupPrefs);
}

void StoragePath::FileGroupIndex(const TString& acct, const TString& group, TString& out)
{
	PathGroup(acct, group, out);
	append(out, LeafGroupIndex);
}

void StoragePath::FileCache(const TString& mdir, TString& out)
{
	out = mdir;
	append(out, LeafCache);
}

void StoragePath::PathTemp(TString& out)
{
	PathRootType(out);
	append(out, "Temp");
}

void StoragePath::FileGroupListTemp(const TString& acct, TString& out)
{
	PathTemp(out);
	TString leaf(acct);
	leaf.Append(" ");
	leaf.Append(LeafGroupList);
	append(out, leaf);
}

void StoragePath::PathTransfer(TString& out)
{
	PathRootType(out);
	append(out, "Transfer");
}

void StoragePath::PathTrash(TString& out)
{
	PathRootType(out);
	append(out, "Trash");
}

void StoragePath::PathData(TString& out)
{
	PathRootType(out);
	append(out, "Data");
}

void StoragePath::FileStorageList(TString& out)
{
	PathData(out);
	append(out, LeafStorageList);
}

void StoragePath::FileKillfile(TString& out)
{
	PathData(out);
	append(out, LeafKillfile);
}

void StoragePath::FileGroupPrefsGlobal(TString& out)
{
	PathData(out);
	append(out, LeafGroupPrefs);
}

void StoragePath::FileEventLog(TString& out)
{
	PathData(out);
	append(out, LeafEventLog);
}

bool StoragePath::IsPathSaved(const TString& path)
{
	TString saved;
	PathSaved(saved);
	return !saved.Empty() && path.ByteLength() >= saved.ByteLength()
		&& path.Compare(saved, saved.CharLength()) == 0;
}
