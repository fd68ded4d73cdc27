#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Net.h"
#include "NetAddr.h"
#include "NetSock.h"
#include "ScriptServer.h"
#include "TString.h"

namespace {

using TestServers::ScriptServer;
using namespace std::string_literals;

constexpr uint32_t kLoopback = 0x7F000001;

// A client connected to the scripted server, which is started here.
void connectTo(NetSock& sock, ScriptServer& server)
{
	server.Start();
	ASSERT_EQ(sock.OpenClient(0, 0), ErrOkay);
	ASSERT_EQ(sock.Connect(kLoopback, server.Port()), ErrOkay);
	ASSERT_TRUE(sock.IsConnected());
	ASSERT_TRUE(sock.IsLoopback());
}

std::vector<std::string> readLines(NetSock& sock, size_t count, long maxLength = 2000)
{
	std::vector<std::string> lines;
	TString line;
	for (size_t i = 0; i < count; i++) {
		Error e = sock.RecvLine(line, maxLength);
		if (e != ErrOkay) {
			lines.push_back("error " + std::to_string(e));
			break;
		}
		lines.emplace_back(line.String(), static_cast<size_t>(line.ByteLength()));
	}
	return lines;
}

TEST(NetAddr, TextForms)
{
	TString text;
	EXPECT_STREQ(NetAddr(0x7F000001, 119).ToString(text, false), "127.0.0.1:119");
	EXPECT_STREQ(NetAddr(0x0A000102, 80).ToString(text, true), "010.000.001.002:00080");
	EXPECT_TRUE(NetAddr(1, 0).Empty());
	EXPECT_TRUE(NetAddr(1, 1).Valid());
}

TEST(NetSock, EveryLineEnd)
{
	ScriptServer server;
	server.Raw("crlf\r\nlf\ncr\rlfcr\n\rnul\0byte\r\n\r\nlast"s).Drop();
	NetSock sock;
	connectTo(sock, server);
	EXPECT_EQ(readLines(sock, 8),
		(std::vector<std::string>{"crlf", "lf", "cr", "lfcr", "", "nul byte", "", "last"}));
	TString line;
	EXPECT_EQ(sock.RecvLine(line, 2000), ErrNetConnectionClosed);
	EXPECT_FALSE(sock.IsConnected());
	server.Finish();
}

TEST(NetSock, LinesSplitAcrossReads)
{
	ScriptServer server;
	server.Pieces({"abc\r", "def\n", "gh", "i\r", "\n", "jk\n\r", "\n"}, 30).Drop();
	NetSock sock;
	connectTo(sock, server);
	EXPECT_EQ(readLines(sock, 5), (std::vector<std::string>{"abc", "def", "ghi", "jk", ""}));
	server.Finish();
}

TEST(NetSock, LongLinesAreCutAtTheLimit)
{
	ScriptServer server;
	server.Raw(std::string(10, 'a') + "\r\n" + std::string(12, 'b') + "\r\n").Drop();
	NetSock sock;
	connectTo(sock, server);
	TString line;
	char overflow = 0;
	ASSERT_EQ(sock.RecvLine(line, 10, &overflow), ErrOkay);
	EXPECT_EQ(line, std::string(10, 'a').c_str());  // exactly the limit: whole, no empty line after it
	EXPECT_EQ(overflow, 0);
	ASSERT_EQ(sock.RecvLine(line, 10, &overflow), ErrOkay);
	EXPECT_EQ(line, std::string(10, 'b').c_str());
	EXPECT_EQ(overflow, 'b');
	ASSERT_EQ(sock.RecvLine(line, 10, &overflow), ErrOkay);
	EXPECT_EQ(line, "bb");
	EXPECT_EQ(overflow, 0);
	server.Finish();
}

TEST(NetSock, PeerClosingMidLineDeliversTheRest)
{
	ScriptServer server;
	server.Raw("last line").Drop();
	NetSock sock;
	connectTo(sock, server);
	TString line;
	ASSERT_EQ(sock.RecvLine(line, 2000), ErrOkay);
	EXPECT_EQ(line, "last line");
	EXPECT_EQ(sock.RecvLine(line, 2000), ErrNetConnectionClosed);
	EXPECT_TRUE(line.Empty());
	// Sending to a closed connection fails instead of ending the process.
	EXPECT_EQ(sock.SendLine("QUIT"), ErrNetConnectionClosed);
	server.Finish();
}

TEST(NetSock, TimeOutMidLineKeepsThePartialLine)
{
	ScriptServer server;
	server.Raw("par").Delay(1500).Raw("tial\r\n").Raw("abc\r").Delay(1500).Raw("\ndef\n");
	NetSock sock;
	sock.TimeoutSet(0);
	EXPECT_EQ(sock.TimeoutGet(), 500000);
	connectTo(sock, server);
	TString line;
	EXPECT_EQ(sock.RecvLine(line, 2000), ErrGmTimeout);
	EXPECT_TRUE(line.Empty());
	EXPECT_TRUE(sock.IsConnected());
	sock.TimeoutSet(5000000);
	ASSERT_EQ(sock.RecvLine(line, 2000), ErrOkay);
	EXPECT_EQ(line, "partial");
	// Interrupted between CR and LF: the CR still ends the line and the LF is no empty line.
	sock.TimeoutSet(500000);
	EXPECT_EQ(sock.RecvLine(line, 2000), ErrGmTimeout);
	sock.TimeoutSet(5000000);
	EXPECT_EQ(readLines(sock, 2), (std::vector<std::string>{"abc", "def"}));
	server.Finish();
}

TEST(NetSock, CancelMidLine)
{
	std::atomic<bool> cancel{false};
	ScriptServer server;
	server.Raw("half").Delay(1500).Raw(" and half\r\n");
	NetSock sock;
	sock.ContinueProcSet([](void* user) { return !static_cast<std::atomic<bool>*>(user)->load(); }, &cancel);
	connectTo(sock, server);
	std::thread canceller([&] {
		std::this_thread::sleep_for(std::chrono::milliseconds(200));
		cancel = true;
	});
	TString line;
	EXPECT_EQ(sock.RecvLine(line, 2000), ErrGmCancelled);
	canceller.join();
	EXPECT_TRUE(line.Empty());
	cancel = false;
	ASSERT_EQ(sock.RecvLine(line, 2000), ErrOkay);
	EXPECT_EQ(line, "half and half");
	// Close keeps the callback and the time-out.
	sock.TimeoutSet(7000000);
	sock.Close();
	EXPECT_NE(sock.ContinueProcGet(), nullptr);
	EXPECT_EQ(sock.TimeoutGet(), 7000000);
	server.Finish();
}

TEST(NetSock, TenMegabyteLineWithoutEnd)
{
	const size_t size = size_t{10} * 1024 * 1024;
	ScriptServer server;
	server.Fill(size, 'x').Drop();
	NetSock sock;
	connectTo(sock, server);
	TString line;
	size_t total = 0, lines = 0;
	Error e = ErrOkay;
	while ((e = sock.RecvLine(line, 2000)) == ErrOkay) {
		ASSERT_LE(line.ByteLength(), 2000);
		total += static_cast<size_t>(line.ByteLength());
		lines++;
	}
	EXPECT_EQ(e, ErrNetConnectionClosed);
	EXPECT_EQ(total, size);
	EXPECT_EQ(lines, (size + 1999) / 2000);
	EXPECT_EQ(sock.BytesRecv(), size);
	server.Finish();
}

TEST(NetSock, RawReceiveAndSend)
{
	ScriptServer server;
	server.Expect("hello there").Raw("12345");
	NetSock sock;
	connectTo(sock, server);
	ASSERT_EQ(sock.SendLine("hello there"), ErrOkay);
	EXPECT_EQ(sock.BytesSent(), 13u);
	char buffer[16];
	size_t received = 0, total = 0;
	while (total < 5) {
		ASSERT_EQ(sock.Recv(buffer + total, sizeof buffer - total, received, true), ErrOkay);
		total += received;
	}
	EXPECT_EQ(std::string(buffer, total), "12345");
	// Without sleeping, nothing waiting is reported at once.
	EXPECT_EQ(sock.Recv(buffer, sizeof buffer, received, false), ErrNetNoData);
	server.Finish();
	EXPECT_TRUE(server.Failures().empty()) << server.Failures()[0];
}

TEST(NetSock, WrongKindsAndRefusedConnections)
{
	NetSock sock;
	TString line;
	EXPECT_EQ(sock.RecvLine(line, 100), ErrNetConnectionClosed);
	EXPECT_EQ(sock.SendLine("x"), ErrNetConnectionClosed);
	EXPECT_EQ(sock.Connect(kLoopback, 119), ErrNetConnectionClosed);  // not open
	EXPECT_EQ(sock.Close(), ErrNetConnectionClosed);

	ASSERT_EQ(sock.OpenClient(0, 0), ErrOkay);
	EXPECT_EQ(sock.Connect(kLoopback, ScriptServer::UnusedPort()), ErrNetConnectionError);
	EXPECT_FALSE(sock.IsOpen());

	ASSERT_EQ(sock.OpenDatagram(0, 0, false), ErrOkay);
	EXPECT_EQ(sock.Send("x", 1), ErrNetTransmitError);  // no destination
}

TEST(NetSock, ServerAcceptsAndTalks)
{
	NetSock server, client, accepted;
	ASSERT_EQ(server.OpenServer(kLoopback, 0, 4), ErrOkay);
	ASSERT_TRUE(server.IsServer());
	uint16_t port = server.AddrLocal().Port();
	ASSERT_NE(port, 0);
	EXPECT_EQ(server.Accept(accepted, false), ErrNetNoData);
	ASSERT_EQ(client.OpenClient(0, 0), ErrOkay);
	ASSERT_EQ(client.Connect(kLoopback, port), ErrOkay);
	EXPECT_EQ(client.Connect(kLoopback, port), ErrNetAlreadyConnected);
	ASSERT_EQ(server.Accept(accepted, true), ErrOkay);
	EXPECT_TRUE(accepted.IsConnected());
	EXPECT_EQ(accepted.AddrPeer(), client.AddrLocal());
	ASSERT_EQ(client.SendLine("ping"), ErrOkay);
	TString line;
	ASSERT_EQ(accepted.RecvLine(line, 100), ErrOkay);
	EXPECT_EQ(line, "ping");
}

TEST(NetSock, DatagramsBothWays)
{
	NetSock a, b;
	ASSERT_EQ(a.OpenDatagram(kLoopback, 0, false), ErrOkay);
	ASSERT_EQ(b.OpenDatagram(kLoopback, 0, false), ErrOkay);
	ASSERT_EQ(a.AddrDgram(b.AddrLocal()), ErrOkay);
	ASSERT_EQ(a.Send("datagram", 8), ErrOkay);
	char buffer[32];
	size_t received = 0;
	ASSERT_EQ(b.Recv(buffer, sizeof buffer, received, true), ErrOkay);
	EXPECT_EQ(std::string(buffer, received), "datagram");
}

TEST(Net, LookupsStayLocal)
{
	uint32_t address = 0;
	EXPECT_EQ(Net::DnsLookup(address, TString(" localhost ")), ErrOkay);
	EXPECT_EQ(address, kLoopback);
	EXPECT_EQ(Net::DnsLookup(address, TString("10.1.2.3")), ErrOkay);
	EXPECT_EQ(address, 0x0A010203u);
	// Not a host name at all: refused without asking a resolver.
	EXPECT_EQ(Net::DnsLookup(address, TString("bad..name")), ErrNetAddrNotAvailable);
	EXPECT_EQ(Net::DnsLookup(address, TString("")), ErrNetAddrNotAvailable);
	EXPECT_EQ(address, 0u);
}

}  // namespace
