#include "NetSockImp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Err.h"

namespace {

sockaddr_in toSockaddr(const NetAddr& addr)
{
	sockaddr_in sa{};
	sa.sin_family = AF_INET;
	sa.sin_addr.s_addr = htonl(addr.Address());
	sa.sin_port = htons(addr.Port());
	return sa;
}

NetAddr fromSockaddr(const sockaddr_in& sa)
{
	return NetAddr(ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port));
}

Error lastError()
{
	return Err::StatusNet(errno);
}

short pollEvents(int flags)
{
	short events = 0;
	if (flags & SelectRead)
		events |= POLLIN;
	if (flags & SelectWrite)
		events |= POLLOUT;
	if (flags & SelectExcept)
		events |= POLLPRI;
	return events;
}

// Polls once; true when the descriptor is ready (or in error, which the next call reports).
Error pollOnce(int descriptor, int flags, int millis, bool& ready)
{
	pollfd p{descriptor, pollEvents(flags), 0};
	errno = 0;
	int n = ::poll(&p, 1, millis);
	if (n < 0) {
		ready = false;
		return errno == EINTR ? ErrOkay : lastError();
	}
	ready = n > 0;
	return ErrOkay;
}

}  // namespace

Error NetSockImp::SockOpen(int& descriptor, bool stream)
{
	errno = 0;
	descriptor = ::socket(AF_INET, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
	if (descriptor < 0) {
		Error e = lastError();
		descriptor = -1;
		return e == ErrOkay ? ErrNetCreateSocketError : e;
	}
	return ErrOkay;
}

Error NetSockImp::SockBind(int descriptor, const NetAddr& addr)
{
	sockaddr_in sa = toSockaddr(addr);
	errno = 0;
	if (::bind(descriptor, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
		return lastError();
	return ErrOkay;
}

Error NetSockImp::SockAddr(int descriptor, NetAddr& addr)
{
	sockaddr_in sa{};
	socklen_t len = sizeof sa;
	errno = 0;
	if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
		addr.Clear();
	else
		addr = fromSockaddr(sa);
	return ErrOkay;
}

Error NetSockImp::SockConnect(int descriptor, const NetAddr& addr)
{
	// A connect that failed in the background leaves its reason here; asking connect again
	// would start a new attempt instead of reporting it.
	int pending = 0;
	socklen_t len = sizeof pending;
	if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &pending, &len) == 0 && pending != 0) {
		Error e = Err::StatusNet(pending);
		return e == ErrErrorVague ? ErrNetConnectionError : e;
	}
	sockaddr_in sa = toSockaddr(addr);
	errno = 0;
	if (::connect(descriptor, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0)
		return ErrOkay;
	Error e = lastError();
	if (e == ErrErrorVague)
		return ErrNetConnectionError;
	if (e == ErrNetAlreadyConnected)
		return ErrOkay;
	return e;
}

Error NetSockImp::SockAccept(int descriptor, int& client, NetAddr& peer)
{
	sockaddr_in sa{};
	socklen_t len = sizeof sa;
	errno = 0;
	client = ::accept4(descriptor, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
	if (client < 0) {
		client = -1;
		return lastError();
	}
	peer = fromSockaddr(sa);
	return ErrOkay;
}

Error NetSockImp::SockDisconnect(int descriptor)
{
	errno = 0;
	if (::shutdown(descriptor, SHUT_RDWR) != 0)
		return lastError();
	return ErrOkay;
}

Error NetSockImp::SockClose(int& descriptor)
{
	errno = 0;
	int result = ::close(descriptor);
	descriptor = -1;
	if (result != 0)
		return lastError();
	return ErrOkay;
}

Error NetSockImp::OptBlocking(int descriptor, bool blocking)
{
	errno = 0;
	int flags = ::fcntl(descriptor, F_GETFL, 0);
	if (flags < 0)
		return lastError();
	flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
	if (::fcntl(descriptor, F_SETFL, flags) != 0)
		return lastError();
	return ErrOkay;
}

Error NetSockImp::OptListen(int descriptor, unsigned short backlog)
{
	errno = 0;
	if (::listen(descriptor, backlog) != 0)
		return lastError();
	return ErrOkay;
}

Error NetSockImp::OptBroadcast(int descriptor, bool on)
{
	int value = on ? 1 : 0;
	errno = 0;
	if (::setsockopt(descriptor, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0)
		return lastError();
	return ErrOkay;
}

Error NetSockImp::OptNoDelay(int descriptor)
{
	int value = 1;
	errno = 0;
	if (::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0)
		return lastError();
	return ErrOkay;
}

Error NetSockImp::SockRecv(int descriptor, void* buffer, size_t length, size_t& received)
{
	received = 0;
	bool ready = false;
	Error e = pollOnce(descriptor, SelectRead | SelectExcept, 0, ready);
	if (e != ErrOkay)
		return e;
	if (!ready)
		return ErrNetNoData;
	// Quick acknowledgement is switched off again by the kernel after a while; re-arm it.
	int one = 1;
	::setsockopt(descriptor, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
	errno = 0;
	ssize_t n = ::recv(descriptor, buffer, length, 0);
	if (n < 0)
		return errno == EINTR ? ErrNetNoData : lastError();
	if (n == 0)
		return ErrNetConnectionClosed;
	received = static_cast<size_t>(n);
	return ErrOkay;
}

Error NetSockImp::SockCheck(int descriptor)
{
	bool ready = false;
	Error e = pollOnce(descriptor, SelectRead | SelectExcept, 0, ready);
	if (e != ErrOkay || !ready)
		return e;
	char peek[4];
	errno = 0;
	ssize_t n = ::recv(descriptor, peek, sizeof peek, MSG_PEEK | MSG_DONTWAIT);
	if (n < 0)
		return errno == EAGAIN ? ErrOkay : lastError();
	if (n < 1)
		return ErrNetConnectionClosed;
	return ErrOkay;
}

Error NetSockImp::SockSend(int descriptor, const void* data, size_t length, size_t& sent)
{
	sent = 0;
	Error e = SockCheck(descriptor);
	if (e != ErrOkay)
		return e;
	const char* p = static_cast<const char*>(data);
	while (sent < length) {
		errno = 0;
		ssize_t n = ::send(descriptor, p + sent, length - sent, MSG_NOSIGNAL);
		if (n < 0) {
			if (errno == EINTR)
				continue;
			e = lastError();
			return e == ErrErrorVague ? ErrNetConnectionClosed : e;
		}
		sent += static_cast<size_t>(n);
	}
	return ErrOkay;
}

Error NetSockImp::SockDgramRecv(int descriptor, void* buffer, size_t length, size_t& received, NetAddr& from)
{
	received = 0;
	bool ready = false;
	Error e = pollOnce(descriptor, SelectRead | SelectExcept, 0, ready);
	if (e != ErrOkay)
		return e;
	if (!ready)
		return ErrNetNoData;
	sockaddr_in sa{};
	socklen_t len = sizeof sa;
	errno = 0;
	ssize_t n = ::recvfrom(descriptor, buffer, length, 0, reinterpret_cast<sockaddr*>(&sa), &len);
	if (n < 0)
		return errno == EINTR ? ErrNetNoData : lastError();
	received = static_cast<size_t>(n);
	from = fromSockaddr(sa);
	return ErrOkay;
}

Error NetSockImp::SockDgramSend(
	int descriptor, const void* data, size_t length, size_t& sent, const NetAddr& to)
{
	sent = 0;
	sockaddr_in sa = toSockaddr(to);
	errno = 0;
	ssize_t n = ::sendto(descriptor, data, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
	if (n < 0)
		return lastError();
	sent = static_cast<size_t>(n);
	return ErrOkay;
}

Error NetSockImp::SockWait(int descriptor, int flags, long long usecs)
{
	bool ready = false;
	int millis = static_cast<int>((usecs + 999) / 1000);
	return pollOnce(descriptor, flags, millis < 0 ? 0 : millis, ready);
}
