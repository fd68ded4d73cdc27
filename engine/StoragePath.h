// Every path of the storage tree under the data root. Nothing is cached: each operation
// rebuilds its path from the current root, so a path is always consistent with the root in use.
#pragma once

#include "TString.h"

class StoragePath {
public:
	// Flavour of the tree: 0 generic, 1 news (what this program runs with), 2 mail.
	enum { kTypeGeneric = 0, kTypeNews = 1, kTypeMail = 2 };

	static bool Start(int type);
	static void Stop();
	static int PathType();

	// Leaf names, for code that recognises files while walking a directory.
	static const char* const LeafAccountPrefs;
	static const char* const LeafCache;
	static const char* const LeafEventLog;
	static const char* const LeafGroupIndex;
	static const char* const LeafGroupList;
	static const char* const LeafGroupPrefs;
	static const char* const LeafIdentity;
	static const char* const LeafKillfile;
	static const char* const LeafStorageList;
	static const char* const LeafTransferLog;

	static void PathRoot(TString& out);
	static void PathIdentity(TString& out);
	static void FileIdentity(TString& out);
	static void PathSaved(TString& out);
	static void PathRootType(TString& out);
	static void PathRootNews(TString& out);
	static void PathRootMail(TString& out);
	static void PathDrafts(TString& out);
	static void PathOutbox(TString& out);
	static void PathSent(TString& out);
	static void PathInbox(TString& out);
	static void PathAccounts(TString& out);
	static void PathAccount(const TString& acct, TString& out);
	static void PathAccountData(const TString& acct, TString& out);
	static void FileAccountPrefs(const TString& acct, TString& out);
	static void FileGroupPrefsAccount(const TString& acct, TString& out);
	static void FileGroupList(const TString& acct, TString& out);
	static void FileTransferLog(const TString& acct, TString& out);
	static void PathAccountGroups(const TString& acct, TString& out);
	static void PathGroup(const TString& acct, const TString& group, TString& out);
	static void FileGroupPrefsGroup(const TString& acct, const TString& group, TString& out);
	static void FileGroupIndex(const TString& acct, const TString& group, TString& out);
	static void FileCache(const TString& mdir, TString& out);
	static void PathTemp(TString& out);
	static void FileGroupListTemp(const TString& acct, TString& out);
	static void PathTransfer(TString& out);
	static void PathTrash(TString& out);
	static void PathData(TString& out);
	static void FileStorageList(TString& out);
	static void FileKillfile(TString& out);
	static void FileGroupPrefsGlobal(TString& out);
	static void FileEventLog(TString& out);

	// True when path lies in (or is) the user folders' directory: a plain byte prefix test.
	static bool IsPathSaved(const TString& path);

	// The language keys of the fixed folders and their section.
	static const char* const kSectionFixed;

private:
	static void fixedFolder(const char* key, TString& out);
	static int sType;
};
