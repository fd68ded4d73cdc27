// An IPv4 address and port, both in host byte order (127.0.0.1 is 0x7F000001).
#pragma once

#include <cstdint>

class TString;

// The same two fields as a plain record.
struct NetAddrRep {
	uint32_t address;
	uint16_t port;
};

class NetAddr {
public:
	NetAddr() = default;
	NetAddr(uint32_t address, uint16_t port) : mAddress(address), mPort(port) {}
	NetAddr(const NetAddrRep& rep) : mAddress(rep.address), mPort(rep.port) {}
	NetAddr(const NetAddr& other) = default;
	NetAddr& operator=(const NetAddr& other) = default;

	bool operator==(const NetAddr& other) const { return mAddress == other.mAddress && mPort == other.mPort; }
	bool operator!=(const NetAddr& other) const { return !(*this == other); }

	// Valid only when both address and port are non-zero.
	bool Valid() const { return mAddress != 0 && mPort != 0; }
	bool Empty() const { return !Valid(); }
	void Clear()
	{
		mAddress = 0;
		mPort = 0;
	}
	void Assign(uint32_t address, uint16_t port)
	{
		mAddress = address;
		mPort = port;
	}

	uint32_t Address() const { return mAddress; }
	uint16_t Port() const { return mPort; }
	NetAddrRep Rep() const { return NetAddrRep{mAddress, mPort}; }

	// "a.b.c.d:port"; padded gives "%03u.%03u.%03u.%03u:%05u".
	const char* ToString(TString& out, bool padded) const;

private:
	uint32_t mAddress = 0;
	uint16_t mPort = 0;
};
