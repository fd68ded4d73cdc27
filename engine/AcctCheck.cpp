#include "AcctCheck.h"

#include "AcctData.h"
#include "StoragePath.h"

AcctCheck::~AcctCheck()
{
	if (IsOpen())
		Disconnect();
}

Error AcctCheck::Run(const AcctData& account, TString& greeting, TString& errorText)
{
	greeting.Erase();
	errorText.Erase();
	logMode = static_cast<uint32_t>(account.logging);
	StoragePath::FileTransferLog(account.name, logPath);
	Activity().account = account.name;
	TimeoutSet(account.server.timeout);
	bool login = account.server.requiresLogin && !account.server.username.Empty();
	Error e = Connect(account.server.host, login ? account.server.username : TString(),
		login ? account.server.password : TString(), account.server.port);
	if (e != ErrOkay) {
		LastError(errorText, e);
		return e;
	}
	LastReply(greeting);
	Disconnect();
	return ErrOkay;
}
