// Makes sure the identity list and the accounts are loaded for the life of a scope: starts
// Identity and AcctMngr when the engine's start-up has not, and stops what it started.
#pragma once

#include "AcctMngr.h"
#include "Identity.h"

class AcctSession {
public:
	AcctSession()
	{
		mIdentity = !Identity::Started();
		mOkay = !mIdentity || Identity::Start();
		mAccounts = mOkay && !AcctMngr::Started();
		mOkay = mOkay && (!mAccounts || AcctMngr::Start());
	}
	~AcctSession()
	{
		if (mAccounts)
			AcctMngr::Stop();
		if (mIdentity)
			Identity::Stop();
	}
	AcctSession(const AcctSession&) = delete;
	AcctSession& operator=(const AcctSession&) = delete;

	bool Okay() const { return mOkay; }

private:
	bool mIdentity = false;
	bool mAccounts = false;
	bool mOkay = false;
};
