// Checks that an account's server can be reached: connects, logs in when the account requires
// it, keeps the greeting and says goodbye. Uses the account's time-out and protocol log.
#pragma once

#include "Error.h"
#include "TString.h"
#include "TextProtocol.h"

class AcctData;

class AcctCheck : public TextProtocol {
public:
	AcctCheck() = default;
	~AcctCheck() override;

	// On success greeting is the server's greeting line; on failure errorText is what the
	// user is shown. A continue callback set beforehand can cancel the waits.
	Error Run(const AcctData& account, TString& greeting, TString& errorText);

protected:
	const char* CStrExit() const override { return "QUIT"; }
	const char* CStrPassword() const override { return "AUTHINFO PASS"; }
	const char* CStrUsername() const override { return "AUTHINFO USER"; }
};
