// One account: its name (also the name of its directory), the posting identity it uses, its
// subscribed newsgroups, the protocol log level of its connections and its server settings.
#pragma once

#include "AcctExtra.h"
#include "Error.h"
#include "ServData.h"
#include "TString.h"

class InitFile;

class AcctData {
public:
	// A new account has the placeholder server as its default host, port 119, no login, and
	// its server settings in the section "NNTP"; everything else is empty.
	AcctData();
	AcctData(const AcctData& other) = default;
	AcctData& operator=(const AcctData& other) = default;

	void Clear();
	// The settings offered for a new account: placeholder name, the first identity, the
	// server's defaults.
	void Default();
	void copy(const AcctData& other);

	bool Valid() const;
	// Gives an account whose identity is gone the first identity, and a bad log level 0.
	void makeValid();

	// Reads the account named `accountName` from its settings file. Any missing item or failed
	// check leaves the account cleared and gives ErrFileInvalidData.
	Error InitRead(const TString& accountName);
	// Writes the settings file, keeping every other section and item already in it. The file
	// holds the password, so it is readable by its owner only.
	Error InitWrite() const;
	// Writes the settings file under its lock. With `before` (the account as this process
	// loaded it), only the fields in which data differs from before are written, onto the
	// file as it is now, so that what other processes changed meanwhile is kept; data then
	// receives the account as written. A file that cannot be read is not overwritten.
	static Error InitUpdate(const AcctData* before, AcctData& data);

	Error dataRead(const InitFile& file, const TString& accountName);
	Error dataWrite(InitFile& file) const;

	static bool logModeValid(long mode) { return mode >= 0 && mode <= 2; }
	// A name that can serve as the account's directory.
	static bool nameValid(const TString& name);

	TString name;
	TString identity;  // item identifier of the posting identity
	AcctExtra extra;
	int logging = 0;  // protocol log level, 0 to 2
	ServData server;
};
