// Every account, in memory, in step with its directories and settings file. Loads the accounts
// at start from the storage tree; creates, updates (renaming the account directory), deletes
// (into the local trash) and changes their newsgroups; announces every change.
//
// The operations that change something show the failed-operation alert of their first failing
// check and return false; they run on the message-store thread (start-up on the main thread).
#pragma once

class FileLock;

#include "AcctData.h"
#include "CritSect.h"
#include "TString.h"

#include <map>
#include <vector>

class AcctMngr {
public:
	using GroupSet = AcctExtra::GroupSet;

	// Loads the accounts; for the mail flavour creates a default account when there is none.
	static bool Start();
	// Empties the list.
	static void Stop();
	static bool Started() { return sStarted; }

	static bool Create(const AcctData& data);
	// Replaces the account oldName with data, renaming its directory when the name changes.
	// The account keeps its newsgroups whatever data.extra holds: they are its directories.
	static bool Update(const TString& oldName, const AcctData& data);
	static bool Delete(const TString& name);

	static bool GroupCreate(const TString& account, const TString& group);
	static bool GroupDelete(const TString& account, const TString& group);
	// Makes the account's newsgroups equal to groups; the result is announced.
	static void GroupListSet(const TString& account, const GroupSet& groups);

	// Gives every account whose identity is gone the first identity.
	static void IdentityChange();

	static bool Get(const TString& name, AcctData& out);
	static bool GroupListGet(const TString& account, GroupSet& out);
	static bool GroupListFind(const GroupSet& set, const TString& group);
	// Every account name, in list order.
	static void AccountList(std::vector<TString>& out);
	static long CountCurrent();
	static long CountMax() { return 20; }

	static bool IndexToName(long index, TString& out);
	// The position of the first account whose name equals name without regard to case, or -1.
	static long IndexFromName(const TString& name);
	static long IndexMakeValid(long index);

private:
	struct NameLess {
		bool operator()(const TString& a, const TString& b) const { return a < b; }
	};
	using List = std::map<TString, AcctData, NameLess>;

	static void accountsLoad();
	static void groupsLoad(AcctData& data);
	static bool listAdd(const AcctData& data);
	static bool checkTooMany();
	static bool checkDuplicate(const TString& name);
	static List::iterator checkUnknown(const TString& name);
	static bool checkVerify(const AcctData& data, const TString& alertName);
	static bool settingsWrite(const AcctData* before, AcctData& data);
	static bool listLocked(FileLock& lock);
	static bool checkOnDisk(const TString& name);
	static void alertText(const char* key, const TString& a, const TString& b = TString());

	static List sList;
	static bool sStarted;
	static CritSect sLock;
};
