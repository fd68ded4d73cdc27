#include "Net.h"

#include <string>

#include "NetImp.h"
#include "NetName.h"
#include "TextFile.h"

bool Net::sStarted = false;
TString Net::sLocalHost;
TString Net::sLocalDomain;

bool Net::Start()
{
	NetImp::BrokenPipeIgnore();
	TString system, resolver;
	NetImp::HostName(system);
	DomainFromResolver("/etc/resolv.conf", resolver);
	LocalNamesMake(system, resolver, sLocalHost, sLocalDomain);
	sStarted = true;
	return true;
}

void Net::Stop()
{
	sStarted = false;
}

void Net::DomainFromResolver(const char* path, TString& domain)
{
	domain.Erase();
	TextFile file;
	if (file.Open(path, TextFile::ModeRead, 0) != ErrOkay)
		return;
	TString line, word;
	for (;;) {
		Error e = file.Read(line);
		if (e != ErrOkay && e != ErrFileLineTooLong)
			break;
		line.Trim();
		if (word.Token(0, line) && word == "domain" && word.Token(1, line)) {
			domain = word;
			break;
		}
	}
	file.Close();
	if (!domain.Valid())
		domain.Erase();
	NetName::HostClean(domain);
}

void Net::LocalNamesMake(
	const TString& systemHost, const TString& resolverDomain, TString& host, TString& domain)
{
	domain = resolverDomain;
	NetName::HostClean(domain);
	host = systemHost;
	const char* local = ".local";
	long n = host.ByteLength(), m = 6;
	if (n > m && std::string(host.String() + n - m) == local)
		host.EraseRightByte(m);
	NetName::HostClean(host);
	if (host.Empty())
		host = NetName::UnknownHost();
	if (domain.Empty())
		domain = NetName::UnknownDomain();
	NetName::HostOverlap(domain, host);
	NetName::HostNoDomain(domain, host);
}

Error Net::DnsLookup(uint32_t& address, const TString& name)
{
	address = 0;
	TString host(name);
	host.Trim();
	if (host.CompareNoCase("localhost") == 0)
		host = "127.0.0.1";
	uint32_t direct = static_cast<uint32_t>(NetName::IPAddrFromString(host));
	if (direct != 0) {
		address = direct;
		return ErrOkay;
	}
	if (host.Empty() || !NetName::HostValid(host))
		return ErrNetAddrNotAvailable;
	Error e = NetImp::HostLookup(host.String(), address);
	if (e != ErrOkay || address == 0) {
		address = 0;
		return ErrNetAddrNotAvailable;
	}
	return ErrOkay;
}

Error Net::DnsReverse(TString& name, uint32_t address)
{
	name.Erase();
	if (address == 0)
		return ErrNetAddrNotAvailable;
	return NetImp::HostReverse(address, name);
}

const char* Net::LocalHost(TString& out)
{
	out = sLocalHost.Empty() ? TString(NetName::UnknownHost()) : sLocalHost;
	return out.String();
}

const char* Net::LocalDomain(TString& out)
{
	out = sLocalDomain.Empty() ? TString(NetName::UnknownDomain()) : sLocalDomain;
	return out.String();
}

const char* Net::LocalFQDN(TString& out)
{
	TString domain;
	LocalHost(out);
	out += ".";
	out += LocalDomain(domain);
	return out.String();
}
