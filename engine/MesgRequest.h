// One unit of local background work: an account, newsgroup, identity or message operation,
// copied into a MesgQueue and out again by the worker thread that serves it.
#pragma once

#include <set>
#include <vector>

#include "AcctData.h"
#include "Charset.h"
#include "Error.h"
#include "TString.h"

enum MesgRequestType : int {
	MreqNone = 0,
	MreqAcctCreate = 1,
	MreqAcctDelete = 2,
	MreqAcctUpdate = 3,
	MreqGPrefsAccount = 4,
	MreqGPrefsGroup = 5,
	MreqGPrefsGlobal = 6,
	MreqGroupCreate = 7,
	MreqGroupDelete = 8,
	MreqGroupUpdate = 9,
	MreqIdentChange = 10,
	MreqMdirDelete = 11,
	MreqMdirMarkChange = 12,
	MreqMdirReadChange = 13,
	MreqMdirReindex = 14,
	MreqMdirReparse = 15,
	MreqMesgCharsetChange = 16,
	MreqMesgCopy = 17,
	MreqMesgDecode = 18,
	MreqMesgDelete = 19,
	MreqMesgInsert = 20,
	MreqMesgMarkChange = 21,
	MreqMesgMove = 22,
	MreqMesgReadChangeFolder = 23,
	MreqMesgReadChangeGroup = 24,
	MreqMesgReparse = 25,
	MreqMesgTrash = 26,
};

class MesgRequest {
public:
	using GroupSet = std::set<TString, TString::CompNoCase>;

	MesgRequest() = default;

	void Clear();
	void copy(const MesgRequest& other) { *this = other; }

	const char* TypeString() const { return typeString(type); }
	static const char* typeString(long kind);

	// "Request '%s' failed after %ld tries" and the details.
	void ErrorRetry(TString& out) const;
	// "%s request '%s' failed\nError: %s" and the details.
	void ErrorFail(Error error, TString& out, const char* caller) const;
	// Writes ErrorFail to the diagnostic output for any error but ErrOkay; returns error.
	Error ErrorLog(Error error, const char* caller) const;

	MesgRequestType type = MreqNone;
	TString account;
	AcctData acctData;
	std::vector<TString> fileList;
	TString group;
	GroupSet groupSet;
	TString mdir;
	TString file;
	TString msgid;
	bool flag = false;
	void* window = nullptr;
	Charset charset = kCharsetNone;
	long count = 0;
	long tries = 0;

private:
	void detailsAppend(TString& out) const;
};
