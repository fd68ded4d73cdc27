#include "NetSock.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "Net.h"
#include "NetSockImp.h"
#include "TimeCore.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

}  // namespace

NetSock::~NetSock()
{
	if (IsOpen())
		Close();
	delete[] mBuffer;
}

Error NetSock::OpenClient(uint32_t address, uint16_t port)
{
	return open(address, port, true, 0, false);
}

Error NetSock::OpenServer(uint32_t address, uint16_t port, uint16_t backlog)
{
	return open(address, port, true, backlog == 0 ? 1 : backlog, false);
}

Error NetSock::OpenDatagram(uint32_t address, uint16_t port, bool broadcast)
{
	return open(address, port, false, 0, broadcast);
}

Error NetSock::open(uint32_t address, uint16_t port, bool stream, uint16_t backlog, bool broadcast)
{
	if (IsOpen())
		Close();
	Error e = NetSockImp::SockOpen(mDescriptor, stream);
	if (e != ErrOkay) {
		mDescriptor = -1;
		return e;
	}
	mStream = stream;
	mBacklog = backlog;
	e = NetSockImp::SockBind(mDescriptor, NetAddr(address, port));
	if (e == ErrOkay)
		e = NetSockImp::SockAddr(mDescriptor, mAddrLocal);
	if (e == ErrOkay)
		e = NetSockImp::OptBlocking(mDescriptor, true);
	if (e == ErrOkay && backlog != 0)
		e = NetSockImp::OptListen(mDescriptor, backlog);
	if (e == ErrOkay && !stream && broadcast)
		e = NetSockImp::OptBroadcast(mDescriptor, true);
	// Commands are small and each waits for its reply: send them at once.
	if (e == ErrOkay && stream && backlog == 0)
		e = NetSockImp::OptNoDelay(mDescriptor);
	if (e == ErrOkay && backlog == 0)
		e = bufferCreate();
	if (e != ErrOkay)
		Close();
	return e;
}

Error NetSock::bufferCreate()
{
	delete[] mBuffer;
	mBuffer = new (std::nothrow) unsigned char[kBufferSize]();
	if (!mBuffer)
		return ErrGmNoMemory;
	mBufferCapacity = kBufferSize;
	mBufferFill = 0;
	mBufferPos = 0;
	return ErrOkay;
}

void NetSock::reset()
{
	delete[] mBuffer;
	mBuffer = nullptr;
	mBufferCapacity = kBufferSize;
	mBufferFill = 0;
	mBufferPos = 0;
	mPushback = 0;
	mWaitStart = 0;
	mSleepWaiting = false;
	mPendingLine.Erase();
	mAddrLocal.Clear();
	mAddrDgram.Clear();
	mAddrPeer.Clear();
	mContinueEnabled = true;
	mBytesRecv = 0;
	mBytesSent = 0;
	mConnected = false;
	mBacklog = 0;
	mLoopback = false;
	mDescriptor = -1;
	mStream = true;
}

bool NetSock::continueCheck() const
{
	if (!mContinueProc || !mContinueEnabled)
		return true;
	return mContinueProc(mContinueUser);
}

Error NetSock::waitStep(Error err, int flags)
{
	if (err != ErrNetNoData)
		return err;
	long long elapsed = TimeCore::TickCount() - mWaitStart;
	if (elapsed >= mTimeout)
		return ErrGmTimeout;
	if (!continueCheck())
		return ErrGmCancelled;
	if (!mSleepWaiting)
		return ErrNetNoData;
	// Wait in poll rather than sleeping, so that arriving data wakes the reader at once.
	NetSockImp::SockWait(mDescriptor, flags, std::min(Net::SleepTime(), mTimeout - elapsed));
	return ErrOkay;
}

Error NetSock::Connect(const NetAddr& addr)
{
	if (!IsClient())
		return ErrNetConnectionClosed;
	if (IsConnected())
		return ErrNetAlreadyConnected;
	mBytesRecv = 0;
	mBytesSent = 0;
	mWaitStart = TimeCore::TickCount();
	mSleepWaiting = true;
	Error e = NetSockImp::OptBlocking(mDescriptor, false);
	while (e == ErrOkay) {
		if (!continueCheck()) {
			e = ErrGmCancelled;
			break;
		}
		e = NetSockImp::SockConnect(mDescriptor, addr);
		if (e == ErrOkay)
			break;
		e = waitStep(e, SelectWrite);
	}
	Error blocking = NetSockImp::OptBlocking(mDescriptor, true);
	if (e == ErrOkay)
		e = blocking;
	mWaitStart = 0;
	if (e != ErrOkay) {
		Close();
		return e;
	}
	NetSockImp::SockAddr(mDescriptor, mAddrLocal);
	mAddrPeer = addr;
	mConnected = true;
	mLoopback = addr.Address() == kLoopback;
	return ErrOkay;
}

Error NetSock::Accept(NetSock& client, bool sleep)
{
	if (!IsServer())
		return ErrNetConnectionClosed;
	mWaitStart = TimeCore::TickCount();
	mSleepWaiting = sleep;
	int descriptor = -1;
	NetAddr peer;
	Error e = NetSockImp::OptBlocking(mDescriptor, false);
	while (e == ErrOkay) {
		if (!continueCheck()) {
			e = ErrGmCancelled;
			break;
		}
		e = NetSockImp::SockAccept(mDescriptor, descriptor, peer);
		if (e == ErrOkay)
			break;
		e = waitStep(e, SelectRead);
	}
	NetSockImp::OptBlocking(mDescriptor, true);
	mWaitStart = 0;
	if (e != ErrOkay)
		return e;
	if (client.IsOpen())
		client.Close();
	client.mDescriptor = descriptor;
	client.mStream = true;
	client.mBacklog = 0;
	client.mConnected = true;
	client.mAddrPeer = peer;
	client.mLoopback = peer.Address() == kLoopback;
	NetSockImp::SockAddr(descriptor, client.mAddrLocal);
	NetSockImp::OptBlocking(descriptor, true);
	NetSockImp::OptNoDelay(descriptor);
	e = client.bufferCreate();
	if (e != ErrOkay)
		client.Close();
	return e;
}

Error NetSock::AddrDgram(const NetAddr& addr)
{
	if (!IsDatagram())
		return ErrNetConnectionClosed;
	mAddrDgram = addr;
	return ErrOkay;
}

Error NetSock::Send(const void* data, size_t length)
{
	size_t sent = 0;
	Error e;
	if (IsDatagram()) {
		if (mAddrDgram.Empty())
			return ErrNetTransmitError;
		e = NetSockImp::SockDgramSend(mDescriptor, data, length, sent, mAddrDgram);
	} else {
		if (!IsOpen() || !IsConnected())
			return ErrNetConnectionClosed;
		e = NetSockImp::SockSend(mDescriptor, data, length, sent);
	}
	mBytesSent += static_cast<uint32_t>(sent);
	return e;
}

Error NetSock::Send(const char* text)
{
	return Send(text, std::strlen(text));
}

Error NetSock::SendLine(const char* text)
{
	std::string line(text);
	line += "\r\n";
	return Send(line.data(), line.size());
}

Error NetSock::SendLine(const TString& text)
{
	std::string line(text.String(), static_cast<size_t>(text.ByteLength()));
	line += "\r\n";
	return Send(line.data(), line.size());
}

Error NetSock::bufferFill()
{
	if (!IsOpen() || !mBuffer)
		return ErrNetConnectionClosed;
	for (;;) {
		if (!continueCheck())
			return ErrGmCancelled;
		size_t received = 0;
		Error e = mStream
			? NetSockImp::SockRecv(mDescriptor, mBuffer, mBufferCapacity, received)
			: NetSockImp::SockDgramRecv(mDescriptor, mBuffer, mBufferCapacity, received, mAddrPeer);
		if (e == ErrOkay) {
			mBufferFill = static_cast<uint32_t>(received);
			mBufferPos = 0;
			mBytesRecv += static_cast<uint32_t>(received);
			return ErrOkay;
		}
		e = waitStep(e, SelectRead);
		if (e != ErrOkay)
			return e;
	}
}

Error NetSock::byteRead(unsigned char& c)
{
	if (mPushback != 0) {
		c = mPushback;
		mPushback = 0;
		return ErrOkay;
	}
	while (mBufferPos >= mBufferFill) {
		Error e = bufferFill();
		if (e != ErrOkay)
			return e;
	}
	c = mBuffer[mBufferPos++];
	return ErrOkay;
}

Error NetSock::RecvLine(TString& line, long maxLength, char* overflowByte)
{
	if (line.CharsetGet() == kCharsetUTF8)
		line.AllowInvalidSet(true);  // the bytes are the server's
	line.Erase();
	if (overflowByte)
		*overflowByte = 0;
	if (mStream && !IsConnected())
		return ErrNetConnectionClosed;
	maxLength = std::clamp<long>(maxLength, 1, kStringMaxBytes);
	mWaitStart = TimeCore::TickCount();
	mSleepWaiting = true;

	std::string bytes;
	bool cr = false;
	if (!mPendingLine.Empty()) {
		bytes.assign(mPendingLine.String(), static_cast<size_t>(mPendingLine.ByteLength()));
		mPendingLine.Erase();
		// A wait interrupted just after a CR: the CR was kept to decide the line end.
		if (!bytes.empty() && bytes.back() == '\r') {
			bytes.pop_back();
			cr = true;
		}
	}
	Error e = ErrOkay;
	for (;;) {
		unsigned char c = 0;
		e = byteRead(c);
		if (e != ErrOkay)
			break;
		if (c == 0)
			c = ' ';
		if (cr) {
			if (c != '\n')
				mPushback = c;  // a lone CR ends the line
			break;
		}
		if (c == '\r') {
			cr = true;
			continue;
		}
		if (c == '\n')
			break;
		if (static_cast<long>(bytes.size()) >= maxLength) {
			if (overflowByte)
				*overflowByte = static_cast<char>(c);
			mPushback = c;
			break;
		}
		bytes.push_back(static_cast<char>(c));
	}
	if (e == ErrGmCancelled || e == ErrGmTimeout || e == ErrNetNoData) {
		if (cr)
			bytes.push_back('\r');
		mPendingLine.CharsetSet(kCharsetISO8859_1);
		mPendingLine.AssignByte(bytes.data(), static_cast<long>(bytes.size()));
		mWaitStart = 0;
		return e;
	}
	line.AssignByte(bytes.data(), static_cast<long>(bytes.size()));
	if (e == ErrNetConnectionClosed && NetSock::IsConnected())
		NetSock::Disconnect();
	if (!line.Empty() && (e == ErrNetNoData || e == ErrNetConnectionClosed))
		e = ErrOkay;
	mWaitStart = 0;
	return e;
}

Error NetSock::Recv(void* buffer, size_t length, size_t& received, bool sleep)
{
	received = 0;
	if (mStream && !IsConnected())
		return ErrNetConnectionClosed;
	if (length == 0)
		return ErrOkay;
	mWaitStart = TimeCore::TickCount();
	mSleepWaiting = sleep;
	unsigned char* out = static_cast<unsigned char*>(buffer);
	Error e = ErrOkay;
	if (mPushback != 0) {
		out[received++] = mPushback;
		mPushback = 0;
	}
	if (received < length && mBufferPos >= mBufferFill && received == 0)
		e = bufferFill();
	if (e == ErrOkay && mBuffer) {
		size_t n = std::min<size_t>(length - received, mBufferFill - mBufferPos);
		std::memcpy(out + received, mBuffer + mBufferPos, n);
		mBufferPos += static_cast<uint32_t>(n);
		received += n;
	}
	if (e == ErrNetConnectionClosed && NetSock::IsConnected())
		NetSock::Disconnect();
	if (received > 0 && (e == ErrNetNoData || e == ErrNetConnectionClosed))
		e = ErrOkay;
	mWaitStart = 0;
	return e;
}

Error NetSock::Disconnect()
{
	if (!IsOpen() || !mStream)
		return ErrNetConnectionClosed;
	mAddrPeer.Clear();
	mConnected = false;
	mLoopback = false;
	return NetSockImp::SockDisconnect(mDescriptor);
}

Error NetSock::Close()
{
	Error e = ErrNetConnectionClosed;
	if (IsOpen()) {
		if (mStream)
			NetSock::Disconnect();
		e = NetSockImp::SockClose(mDescriptor);
	}
	reset();
	return e;
}

bool NetSock::IsConnected() const
{
	if (!IsOpen() || !mStream)
		return false;
	if (mBufferPos < mBufferFill || mPushback != 0 || !mPendingLine.Empty())
		return true;
	return mConnected;
}

void NetSock::TimeoutSet(long long usecs)
{
	mTimeout = std::clamp(usecs, kTimeoutMin, kTimeoutMax);
}
