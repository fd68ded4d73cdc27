// A line-oriented request/reply protocol session (three-digit reply codes, as NNTP and SMTP
// use) over one TCP connection: connecting by name with greeting and optional login, commands
// and their replies, sending ahead for pipelining, dot-terminated data both ways, the protocol
// log, progress reports and the error texts shown to the user. A subclass gives the command
// words.
#pragma once

#include <cstdint>

#include "ActivityInfo.h"
#include "LangSection.h"
#include "NetSock.h"
#include "TextFile.h"

class TextProtocol : public NetSock {
public:
	enum LogMode : uint32_t {
		LogOff = 0,
		LogProtocol = 1,
		LogData = 2,  // also every data line
	};

	// What failed, for the logged and shown error text.
	enum ErrorType : int {
		ErrorConnect = 1,
		ErrorDataRead = 2,
		ErrorDataSend = 3,
		ErrorFileOpen = 4,
		ErrorFileRead = 5,
		ErrorFileWrite = 6,
		ErrorLogin = 7,
	};

	using ActivityCallback = void (*)(void* user, const ActivityInfo& info);

	static constexpr long kLineMax = 2000;
	static constexpr long long kActivityDelay = 500000;

	// Registers the "Text protocol strings" section.
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	TextProtocol() = default;
	~TextProtocol() override;

	// Looks the host up, connects, reads the greeting and logs in when user is not empty.
	Error Connect(const char* host, const char* user, const char* password, uint16_t port);
	Error Connect(const TString& host, const TString& user, const TString& password, uint16_t port);
	// Says goodbye, writes the session statistics to the log and closes. The error text of a
	// failure that ended the session is kept.
	Error Disconnect() override;
	// Only while in sync: after a failed exchange the session counts as not connected.
	bool IsConnected() const override;
	uint32_t BytesRecv() const override;
	uint32_t BytesSent() const override;

	Error CmndSend(const char* command);
	Error CmndSend(const char* command, const TString& argument);
	// Sends without reading the reply; CmndReply reads it later.
	Error CmndSendAhead(const char* command, const TString& argument);
	Error CmndReply();

	// The last reply line; "[Unknown]" when none was read.
	const char* LastReply(TString& text) const;
	// What the user is shown for an error an operation returned.
	const char* LastError(TString& text, Error error) const;

	// One line of a dot-terminated block, un-stuffed; ErrFileEnd at the closing ".".
	Error DotLineRead(TString& line);
	// One data line, dot-stuffed; with isEnd the closing "." instead.
	Error DotLineSend(const TString& line, bool isEnd);

	// The session cannot go on; its owner will drop it.
	void OutOfSync();

	Error ErrorLog(int type, Error error);
	// The continue callback's answer; a cancel is logged once.
	bool ErrorLogAbort(int type);
	void ErrorUnexpected(const TString& line);

	void LogWrite(const char* text);
	void LogWriteFmt(const char* format, ...) __attribute__((format(printf, 2, 3)));
	void LogWriteClient(const TString& line);
	void LogWriteServer(const TString& line);
	uint32_t LogModeGet() const { return logMode; }

	void ActivityProcSet(ActivityCallback proc, void* user)
	{
		mActivityProc = proc;
		mActivityUser = user;
	}
	ActivityCallback ActivityProcGet(void** user = nullptr) const
	{
		if (user)
			*user = mActivityUser;
		return mActivityProc;
	}
	void ActivityProc(ActivityType type);
	// Reports at most once per half second.
	void ActivityProcDelay(ActivityType type);
	// Clears what is happening; account, host and address stay.
	void ActivityClear();
	ActivityInfo& Activity() { return mActivity; }

	void BytesRecvAdd(uint32_t n) { mExtraRecv += n; }
	void BytesSentAdd(uint32_t n) { mExtraSent += n; }

	// The reply code at the start of a line (2 to 6 digits), 0 when there is none.
	static int ReplyCode(const TString& line);

	// Set by the owner before Connect.
	uint32_t logMode = LogOff;
	TString logPath;
	bool echoLog = false;

	static const LangSection sSection;

protected:
	virtual const char* CStrExit() const = 0;
	virtual const char* CStrPassword() const = 0;
	virtual const char* CStrUsername() const = 0;
	virtual bool ReplyIsLastLine(const TString& line) const;
	virtual int ReplyParse(const TString& line) const;
	virtual bool RespFail(int code) const { return code >= 400 && code <= 599; }
	virtual bool RespInformation(int code) const { return code >= 100 && code <= 199; }
	virtual bool RespMoreData(int code) const { return code >= 300 && code <= 399; }
	virtual bool RespSuccess(int code) const { return code >= 200 && code <= 299; }

private:
	Error respToError(int code) const;
	Error cmndSendLine(const char* command, const TString& argument, const char* logArgument);
	void logOpen();
	void logClose();
	void logStats();
	// The message of an error type with text as %1, in English or the user's language.
	static void errorText(TString& out, int type, const char* text, bool english);

	ActivityInfo mActivity;
	ActivityCallback mActivityProc = nullptr;
	void* mActivityUser = nullptr;
	long long mActivityLast = 0;
	uint32_t mExtraRecv = 0;
	uint32_t mExtraSent = 0;
	long long mSessionStart = 0;
	bool mLastContinue = true;
	bool mInSync = true;
	bool mDotContinue = false;  // the last data line was cut at its length limit
	TextFile mLogFile;
	bool mLogOpen = false;
	TString mLastError;
	TString mLastReply;

	static bool sStarted;
};
