// The POSIX half of Net: the broken-pipe signal, name lookups and the system host name.
#pragma once

#include <cstdint>

#include "Error.h"

class TString;

class NetImp {
public:
	// Writes to a closed connection then fail with an error instead of ending the process.
	static bool BrokenPipeIgnore();
	// The first IPv4 address of a host name (host byte order); ErrNetAddrNotAvailable when none.
	static Error HostLookup(const char* name, uint32_t& address);
	// The name of an address; ErrNetAddrNotAvailable when it has none.
	static Error HostReverse(uint32_t address, TString& name);
	// The system's host name; empty when it cannot be read.
	static void HostName(TString& name);
};
