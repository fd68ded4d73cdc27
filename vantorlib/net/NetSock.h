// A socket (TCP client, TCP server or UDP) that reads through its own receive buffer and waits
// by polling, so that every wait can be timed out or cancelled through the continue callback.
// IPv4 only; addresses and ports in host byte order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Error.h"
#include "NetAddr.h"
#include "TString.h"

class NetSock {
public:
	// Asked before each wait step; false means "cancel".
	using ContinueProc = bool (*)(void* user);

	static constexpr uint32_t kBufferSize = 32768;
	static constexpr long long kTimeoutDefault = 30000000;
	static constexpr long long kTimeoutMin = 500000;
	static constexpr long long kTimeoutMax = 600000000;

	NetSock() = default;
	virtual ~NetSock();
	NetSock(const NetSock&) = delete;
	NetSock& operator=(const NetSock&) = delete;

	// Each closes first, creates the socket, binds it (0, 0 = any) and reads back the local
	// address. Any failure leaves the socket closed.
	Error OpenClient(uint32_t address, uint16_t port);
	Error OpenServer(uint32_t address, uint16_t port, uint16_t backlog);
	Error OpenDatagram(uint32_t address, uint16_t port, bool broadcast);

	Error Connect(const NetAddr& addr);
	Error Connect(uint32_t address, uint16_t port) { return Connect(NetAddr(address, port)); }
	// Waits for a connection on a server socket and hands it to client; with sleep false
	// gives ErrNetNoData at once when no one is waiting.
	Error Accept(NetSock& client, bool sleep);

	Error Send(const void* data, size_t length);
	Error Send(const char* text);
	// The text and CR LF, as one send.
	Error SendLine(const TString& text);
	Error SendLine(const char* text);

	// One line without its line end (CR, LF, CR LF, or a lone CR). A line longer than
	// maxLength bytes is cut there; the byte after the cut goes to overflowByte (when given)
	// and the rest arrives as the next line. A wait that is cancelled or times out keeps the
	// partial line for the next call and gives an empty line.
	Error RecvLine(TString& line, long maxLength, char* overflowByte = nullptr);
	// Raw bytes, up to length; with sleep false gives ErrNetNoData at once when none are ready.
	Error Recv(void* buffer, size_t length, size_t& received, bool sleep);

	virtual Error Disconnect();
	Error Close();
	virtual bool IsConnected() const;

	// Clamped to 0.5 s .. 600 s.
	void TimeoutSet(long long usecs);
	long long TimeoutGet() const { return mTimeout; }

	void ContinueProcSet(ContinueProc proc, void* user)
	{
		mContinueProc = proc;
		mContinueUser = user;
	}
	ContinueProc ContinueProcGet(void** user = nullptr) const
	{
		if (user)
			*user = mContinueUser;
		return mContinueProc;
	}
	void ContinueProcEnableSet(bool enable) { mContinueEnabled = enable; }
	bool ContinueProcEnableGet() const { return mContinueEnabled; }

	const NetAddr& AddrLocal() const { return mAddrLocal; }
	const NetAddr& AddrPeer() const { return mAddrPeer; }
	Error AddrDgram(const NetAddr& addr);
	bool IsLoopback() const { return mLoopback; }
	virtual uint32_t BytesRecv() const { return mBytesRecv; }
	virtual uint32_t BytesSent() const { return mBytesSent; }

	bool IsOpen() const { return mDescriptor != -1; }
	bool IsClient() const { return IsOpen() && mStream && mBacklog == 0; }
	bool IsServer() const { return IsOpen() && mStream && mBacklog != 0; }
	bool IsDatagram() const { return IsOpen() && !mStream; }

protected:
	// The continue callback's answer (true when none is set or it is disabled).
	bool continueCheck() const;

private:
	Error open(uint32_t address, uint16_t port, bool stream, uint16_t backlog, bool broadcast);
	Error bufferCreate();
	void reset();
	// One step of a wait after an attempt that gave err, waiting for the select flags.
	Error waitStep(Error err, int flags);
	Error bufferFill();
	Error byteRead(unsigned char& c);

	unsigned char* mBuffer = nullptr;
	uint32_t mBufferCapacity = kBufferSize;
	uint32_t mBufferFill = 0;
	uint32_t mBufferPos = 0;
	unsigned char mPushback = 0;
	long long mWaitStart = 0;
	bool mSleepWaiting = false;
	TString mPendingLine;
	NetAddr mAddrLocal;
	NetAddr mAddrDgram;
	NetAddr mAddrPeer;
	ContinueProc mContinueProc = nullptr;
	void* mContinueUser = nullptr;
	bool mContinueEnabled = true;
	uint32_t mBytesRecv = 0;
	uint32_t mBytesSent = 0;
	bool mConnected = false;
	uint16_t mBacklog = 0;
	bool mLoopback = false;
	int mDescriptor = -1;
	bool mStream = true;
	long long mTimeout = kTimeoutDefault;
};
