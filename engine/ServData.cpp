#include "ServData.h"

#include "AcctStrings.h"
#include "InitFile.h"
#include "InitItem.h"
#include "NetName.h"

namespace {

const char* const kKeyHost = "DNSName";
const char* const kKeyLogin = "RequiresLogin";
const char* const kKeyPassword = "Password";
const char* const kKeyPort = "Port";
const char* const kKeyTimeout = "Timeout";
const char* const kKeyUsername = "Username";

const long long kTimeoutDefault = 30000000;

}  // namespace

ServData::ServData() = default;

void ServData::Clear()
{
	host.Erase();
	port = 0;
	timeout = 0;
	requiresLogin = false;
	username.Erase();
	password.Erase();
}

void ServData::Default()
{
	Clear();
	host = defaultHost;
	port = defaultPort;
	timeout = kTimeoutDefault;
	requiresLogin = defaultLogin;
	AcctStrings::Text(username, "UsernameDefault");
	AcctStrings::Text(password, "PasswordDefault");
}

void ServData::SetDefault(const TString& newHost, unsigned short newPort, bool login)
{
	defaultHost = newHost;
	defaultPort = newPort;
	defaultLogin = login;
}

void ServData::SetSection(const TString& name)
{
	section = name;
}

void ServData::copy(const ServData& other)
{
	*this = other;
}

long long ServData::TimeoutMin()
{
	return 1000000;
}

long long ServData::TimeoutMax()
{
	return 3600000000LL;
}

long long ServData::TimeoutMakeValid(long long usecs)
{
	if (usecs < TimeoutMin())
		return TimeoutMin();
	if (usecs > TimeoutMax())
		return TimeoutMax();
	return usecs;
}

void ServData::makeValid()
{
	if (port == 0)
		port = defaultPort;
	timeout = TimeoutMakeValid(timeout);
	if (username.Empty() || password.Empty()) {
		requiresLogin = false;
		username.Erase();
		password.Erase();
	}
}

bool ServData::Valid() const
{
	if (!NetName::HostValid(host))
		return false;
	if (timeout < TimeoutMin() || timeout > TimeoutMax())
		return false;
	if (port == 0)
		return false;
	if (requiresLogin && (username.Empty() || password.Empty()))
		return false;
	return true;
}

Error ServData::InitRead(const InitFile& file)
{
	const char* sect = section.String();
	long number = 0;
	bool ok = InitItem::TextGet(file, sect, kKeyHost, host);
	ok = ok && InitItem::BoolGet(file, sect, kKeyLogin, requiresLogin);
	ok = ok && InitItem::TextGet(file, sect, kKeyPassword, password);
	ok = ok && file.ItemGet(sect, kKeyPort, number);
	ok = ok && InitItem::DurationGet(file, sect, kKeyTimeout, timeout);
	ok = ok && InitItem::TextGet(file, sect, kKeyUsername, username);
	if (!ok)
		return ErrFileInvalidData;
	port = (number >= 1 && number <= 65535) ? static_cast<unsigned short>(number) : 0;
	host.Trim();
	makeValid();
	return Valid() ? ErrOkay : ErrFileInvalidData;
}

Error ServData::InitWrite(InitFile& file) const
{
	const char* sect = section.String();
	bool ok = file.ItemSet(sect, kKeyHost, host);
	ok = InitItem::BoolSet(file, sect, kKeyLogin, requiresLogin) && ok;
	ok = file.ItemSet(sect, kKeyPassword, password) && ok;
	ok = file.ItemSet(sect, kKeyPort, static_cast<long>(port)) && ok;
	ok = InitItem::DurationSet(file, sect, kKeyTimeout, timeout) && ok;
	ok = file.ItemSet(sect, kKeyUsername, username) && ok;
	return ok ? ErrOkay : ErrFileInvalidData;
}
