// Feeds arbitrary server output to the Usenet client through a real loopback connection, as the
// replies to a header download of a group and then to a newsgroup list request.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FileMngr.h"
#include "NNTP.h"
#include "Net.h"
#include "NetSock.h"

namespace {

class Client : public NNTP {
public:
	// Takes over an accepted connection, in sync, as after a greeting.
	Error Take(NetSock& server) { return server.Accept(*this, true); }
};

void dropFile(void*, const TString&, const TString&, const TString& path, ActivityType)
{
	FileMngr::Remove(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static NetSock listener;
	static const bool ready =
		Net::Start() && TextProtocol::Start() && listener.OpenServer(0x7F000001, 0, 4) == ErrOkay;
	static const std::string dir = "/tmp/quillfern-nntpfuzz-" + std::to_string(::getpid());
	if (!ready || size > 60000)
		return 0;
	::mkdir(dir.c_str(), 0700);
	NetSock peer;
	Client client;
	client.TimeoutSet(2000000);
	client.tempDirectory = dir.c_str();
	client.articleBytesMax = 20000;
	client.DownloadProcSet(&dropFile, nullptr);
	if (peer.OpenClient(0, 0) != ErrOkay ||
		peer.Connect(0x7F000001, listener.AddrLocal().Port()) != ErrOkay || client.Take(listener) != ErrOkay)
		return 0;
	if (size > 0 && peer.Send(data, size) != ErrOkay)
		return 0;
	peer.Close();
	TString state((dir + "/state.txt").c_str());
	FileMngr::Remove(state);
	client.DownloadHeaders("alt.test", state);
	client.NewsgroupList(TString((dir + "/list.txt").c_str()));
	if (client.DnldDataGet().sent.size() > 5)
		std::abort();
	return 0;
}
