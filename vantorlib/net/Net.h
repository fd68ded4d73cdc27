// The process-wide network facility: start and stop, name lookups, and the local host and
// domain names.
#pragma once

#include <cstdint>

#include "Error.h"
#include "TString.h"

class Net {
public:
	// Makes writes to a closed connection fail instead of ending the process, and works out
	// the local host and domain names.
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	// "localhost" and dotted quads directly, else the resolver's first IPv4 address.
	static Error DnsLookup(uint32_t& address, const TString& name);
	static Error DnsReverse(TString& name, uint32_t address);

	static const char* LocalHost(TString& out);
	static const char* LocalDomain(TString& out);
	// host + "." + domain.
	static const char* LocalFQDN(TString& out);

	// The longest pause between two polls of a waiting socket.
	static long long SleepTime() { return 10000; }

	// The domain named by a resolver configuration file ("domain NAME"); empty when none.
	static void DomainFromResolver(const char* path, TString& domain);
	// Works out host and domain from the system host name and the resolver's domain.
	static void LocalNamesMake(
		const TString& systemHost, const TString& resolverDomain, TString& host, TString& domain);

private:
	static bool sStarted;
	static TString sLocalHost;
	static TString sLocalDomain;
};
