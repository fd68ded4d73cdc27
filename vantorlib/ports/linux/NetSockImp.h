// The POSIX half of NetSock: thin wrappers over the socket calls. Each clears errno first and
// maps a failure through Err::StatusNet; addresses and ports are in host byte order.
#pragma once

#include <cstddef>

#include "Error.h"
#include "NetAddr.h"

// Conditions a poll waits for; the bits of NetSock's select flags.
enum SelectFlags : int {
	SelectExcept = 1,
	SelectRead = 2,
	SelectWrite = 4,
};

class NetSockImp {
public:
	static Error SockOpen(int& descriptor, bool stream);
	static Error SockBind(int descriptor, const NetAddr& addr);
	// The local address; a failure still succeeds with a cleared address.
	static Error SockAddr(int descriptor, NetAddr& addr);
	// One non-blocking connect attempt: ErrNetNoData while it is in progress, success once
	// established, or the reason the connection failed.
	static Error SockConnect(int descriptor, const NetAddr& addr);
	// One accept attempt: ErrNetNoData when no one is waiting.
	static Error SockAccept(int descriptor, int& client, NetAddr& peer);
	static Error SockDisconnect(int descriptor);
	// Closes and sets the descriptor to -1.
	static Error SockClose(int& descriptor);

	static Error OptBlocking(int descriptor, bool blocking);
	static Error OptListen(int descriptor, unsigned short backlog);
	static Error OptBroadcast(int descriptor, bool on);
	// Small writes go out at once instead of waiting to be merged (TCP_NODELAY).
	static Error OptNoDelay(int descriptor);

	// One receive of what is ready: ErrNetNoData when nothing is, ErrNetConnectionClosed when
	// the peer has closed. Re-arms quick acknowledgements first, so that the peer's next
	// segment is not held back waiting for our delayed acknowledgement.
	static Error SockRecv(int descriptor, void* buffer, size_t length, size_t& received);
	// The broken-connection check, then one send.
	static Error SockSend(int descriptor, const void* data, size_t length, size_t& sent);
	static Error SockDgramRecv(int descriptor, void* buffer, size_t length, size_t& received, NetAddr& from);
	static Error SockDgramSend(
		int descriptor, const void* data, size_t length, size_t& sent, const NetAddr& to);

	// Before a send on a stream: fails with ErrNetConnectionClosed when the peer has closed.
	static Error SockCheck(int descriptor);
	// Waits up to usecs for one of the select flags; success whether or not it became ready.
	static Error SockWait(int descriptor, int flags, long long usecs);
};
