// The server half of an account's settings: where the NNTP server is, how long to wait for it,
// and how to log in.
#pragma once

#include "Error.h"
#include "TString.h"

class InitFile;

class ServData {
public:
	ServData();
	ServData(const ServData& other) = default;
	ServData& operator=(const ServData& other) = default;

	// Empties host, user name and password and zeroes port, time-out and login; the default
	// fields and the section stay.
	void Clear();
	// The settings of a new account: the default host, port and login, a time-out of 30 seconds
	// and the placeholder user name and password.
	void Default();
	void SetDefault(const TString& host, unsigned short port, bool login);
	void SetSection(const TString& name);
	void copy(const ServData& other);

	bool Valid() const;
	void makeValid();

	// Reads or writes the items of this server's section of an account settings file.
	Error InitRead(const InitFile& file);
	Error InitWrite(InitFile& file) const;

	static long long TimeoutMin();
	static long long TimeoutMax();
	static long long TimeoutMakeValid(long long usecs);

	TString host;
	unsigned short port = 0;
	long long timeout = 0;  // microseconds
	bool requiresLogin = false;
	TString username;
	TString password;  // kept as plain text
	bool defaultLogin = false;
	TString defaultHost;
	unsigned short defaultPort = 0;
	TString section;
};
