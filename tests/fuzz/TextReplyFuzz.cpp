// Feeds arbitrary server output through a real loopback connection to the line receiver, the
// reply code parser and the dot-terminated block reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Net.h"
#include "NetSock.h"
#include "TextProtocol.h"

namespace {

class Session : public TextProtocol {
public:
	// Takes over an accepted connection, in sync, as after a greeting.
	Error Take(NetSock& server) { return server.Accept(*this, true); }

protected:
	const char* CStrExit() const override { return "QUIT"; }
	const char* CStrPassword() const override { return "AUTHINFO PASS"; }
	const char* CStrUsername() const override { return "AUTHINFO USER"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static NetSock listener;
	static const bool ready =
		Net::Start() && TextProtocol::Start() && listener.OpenServer(0x7F000001, 0, 4) == ErrOkay;
	if (!ready || size > 60000)
		return 0;
	NetSock peer;
	Session session;
	session.TimeoutSet(2000000);
	if (peer.OpenClient(0, 0) != ErrOkay ||
		peer.Connect(0x7F000001, listener.AddrLocal().Port()) != ErrOkay || session.Take(listener) != ErrOkay)
		return 0;
	if (size > 0 && peer.Send(data, size) != ErrOkay)
		return 0;
	peer.Close();
	// The first line as a reply, the rest as a data block.
	TString line;
	bool reply = true;
	for (int guard = 0; guard < 200000; guard++) {
		Error e = reply ? session.CmndReply() : session.DotLineRead(line);
		if (e == ErrNetConnectionClosed || e == ErrGmTimeout)
			break;
		if (!reply && line.ByteLength() > TextProtocol::kLineMax)
			std::abort();
		if (reply) {
			TString last;
			session.LastReply(last);
			int code = TextProtocol::ReplyCode(last);
			if (code < 0 || code > 999999)
				std::abort();
		}
		reply = e == ErrFileEnd || !session.IsConnected();
		if (!session.IsConnected())
			break;
	}
	return 0;
}
