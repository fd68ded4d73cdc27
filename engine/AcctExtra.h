// The newsgroups an account subscribes to: a set of names compared without regard to case. The
// set is never stored in the account settings file; it is rebuilt at every start from the
// account's newsgroup directories.
#pragma once

#include "Error.h"
#include "TString.h"

#include <set>

class InitFile;

class AcctExtra {
public:
	using GroupSet = std::set<TString, TString::CompNoCase>;

	void Clear() { groups.clear(); }
	void Default() { groups.clear(); }
	void copy(const AcctExtra& other) { groups = other.groups; }
	bool Valid() const { return true; }

	Error InitRead(const InitFile&) { return ErrOkay; }
	Error InitWrite(InitFile&) const { return ErrOkay; }

	GroupSet groups;
};
