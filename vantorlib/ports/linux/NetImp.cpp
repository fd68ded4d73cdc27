#include "NetImp.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Err.h"
#include "TString.h"

bool NetImp::BrokenPipeIgnore()
{
	return Err::SignalEmpty(SIGPIPE);
}

Error NetImp::HostLookup(const char* name, uint32_t& address)
{
	address = 0;
	addrinfo hints{};
	hints.ai_family = AF_INET;
	hints.ai_socktype = SOCK_STREAM;
	addrinfo* list = nullptr;
	if (::getaddrinfo(name, nullptr, &hints, &list) != 0 || !list)
		return ErrNetAddrNotAvailable;
	for (addrinfo* p = list; p; p = p->ai_next) {
		if (p->ai_family == AF_INET && p->ai_addr) {
			address = ntohl(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr);
			break;
		}
	}
	::freeaddrinfo(list);
	return address != 0 ? ErrOkay : ErrNetAddrNotAvailable;
}

Error NetImp::HostReverse(uint32_t address, TString& name)
{
	name.Erase();
	sockaddr_in sa{};
	sa.sin_family = AF_INET;
	sa.sin_addr.s_addr = htonl(address);
	char host[NI_MAXHOST];
	if (::getnameinfo(
			reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0)
		return ErrNetAddrNotAvailable;
	name.AllowInvalidSet(true);
	name.AssignByte(host, static_cast<long>(std::strlen(host)));
	return ErrOkay;
}

void NetImp::HostName(TString& name)
{
	char buffer[1024];
	std::memset(buffer, 0, sizeof buffer);
	name.Erase();
	if (::gethostname(buffer, 1022) != 0)
		return;
	buffer[1022] = 0;
	name.AllowInvalidSet(true);
	name.AssignByte(buffer, static_cast<long>(std::strlen(buffer)));
}
