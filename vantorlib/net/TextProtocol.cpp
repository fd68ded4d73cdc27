#include "TextProtocol.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "Err.h"
#include "Format.h"
#include "Language.h"
#include "Net.h"
#include "NetName.h"
#include "Output.h"
#include "TimeCore.h"
#include "TimeFormat.h"

namespace {

const LangData sRows[] = {
	{"TextProtoConnectError", "%s", "Can’t connect to server: %1"},
	{"TextProtoDataReadError", "%s", "Can’t read data from server: %1"},
	{"TextProtoDataSendError", "%s", "Can’t send data to server: %1"},
	{"TextProtoFileOpenError", "%s", "Can’t open file: %1"},
	{"TextProtoFileReadError", "%s", "Can’t read file: %1"},
	{"TextProtoFileWriteError", "%s", "Can’t write file: %1"},
	{"TextProtoLoginError", "%s", "Can’t log in to server: %1"},
	{"TextProtoUnexpectedError", "%s", "Unexpected error: %1"},
	{"TextProtoDnsLookupError", "%s %s", "Can’t locate “%1”: %2"},
	{"TextProtoErrorFormat", "%s", "Failed: %1"},
	{"TextProtoResponseError", "%s", "Server response not understood: ‘%1’"},
	{nullptr, nullptr, nullptr},
};

const char* errorKey(int type)
{
	switch (type) {
	case TextProtocol::ErrorConnect: return "TextProtoConnectError";
	case TextProtocol::ErrorDataRead: return "TextProtoDataReadError";
	case TextProtocol::ErrorDataSend: return "TextProtoDataSendError";
	case TextProtocol::ErrorFileOpen: return "TextProtoFileOpenError";
	case TextProtocol::ErrorFileRead: return "TextProtoFileReadError";
	case TextProtocol::ErrorFileWrite: return "TextProtoFileWriteError";
	case TextProtocol::ErrorLogin: return "TextProtoLoginError";
	default: return "TextProtoUnexpectedError";
	}
}

// The English text of a key, also before the section is registered.
const char* englishOf(const char* key)
{
	for (const LangData* row = sRows; row->key; row++)
		if (std::strcmp(row->key, key) == 0)
			return row->english;
	return "";
}

const char* formatsOf(const char* key)
{
	for (const LangData* row = sRows; row->key; row++)
		if (std::strcmp(row->key, key) == 0)
			return row->formats;
	return "";
}

template <typename... A> void textOf(TString& out, const char* key, bool english, const A&... args)
{
	if (english || !Language::Started() || !Language::String(key, out, false, args...))
		Language::StringRaw(out, englishOf(key), formatsOf(key), args...);
}

// Server text made safe to show: invalid bytes and control characters become "?".
std::string shown(const TString& line)
{
	TString copy;
	copy.AllowInvalidSet(true);
	copy.AssignByte(line.String(), line.ByteLength());
	if (copy.CharsetGet() == kCharsetUTF8)
		copy.Clean();
	std::string s(copy.String());
	for (char& c : s)
		if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
			c = '?';
	return s;
}

bool holdsLineEnd(const TString& text)
{
	return std::memchr(text.String(), '\r', static_cast<size_t>(text.ByteLength())) ||
		std::memchr(text.String(), '\n', static_cast<size_t>(text.ByteLength()));
}

}  // namespace

const LangSection TextProtocol::sSection = {"Text protocol strings", LangSectionTextProtocol, sRows};
bool TextProtocol::sStarted = false;

bool TextProtocol::Start()
{
	// Already registered (an earlier start) is not an error.
	Language::SectionAdd(&sSection);
	sStarted = true;
	return true;
}

void TextProtocol::Stop()
{
	sStarted = false;
}

TextProtocol::~TextProtocol()
{
	// The command words belong to the subclass, which is gone by now: no goodbye is sent here
	// (a subclass that wants one calls Disconnect in its own destructor).
	logStats();
	logClose();
	if (IsOpen())
		Close();
}

void TextProtocol::errorText(TString& out, int type, const char* text, bool english)
{
	textOf(out, errorKey(type), english, text);
}

bool TextProtocol::IsConnected() const
{
	return mInSync && NetSock::IsConnected();
}

uint32_t TextProtocol::BytesRecv() const
{
	return NetSock::BytesRecv() + mExtraRecv;
}

uint32_t TextProtocol::BytesSent() const
{
	return NetSock::BytesSent() + mExtraSent;
}

int TextProtocol::ReplyCode(const TString& line)
{
	const char* s = line.String();
	while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n')
		s++;
	int digits = 0;
	long value = 0;
	while (s[digits] >= '0' && s[digits] <= '9' && digits < 7) {
		value = value * 10 + (s[digits] - '0');
		digits++;
	}
	if (digits < 2 || digits > 6)
		return 0;
	return static_cast<int>(value);
}

int TextProtocol::ReplyParse(const TString& line) const
{
	return ReplyCode(line);
}

bool TextProtocol::ReplyIsLastLine(const TString&) const
{
	return true;
}

Error TextProtocol::respToError(int code) const
{
	if (code == 0)
		return ErrGmCommandFailed;
	if (RespSuccess(code) || RespInformation(code))
		return ErrOkay;
	if (RespMoreData(code))
		return ErrNeedMoreData;
	return ErrGmCommandFailed;
}

Error TextProtocol::Connect(const TString& host, const TString& user, const TString& password, uint16_t port)
{
	Disconnect();
	ActivityClear();
	mActivity.host = host;
	mActivity.address.Erase();
	mExtraRecv = 0;
	mExtraSent = 0;

	logOpen();
	mLastError.Erase();
	mLastReply.Erase();
	mSessionStart = TimeCore::TickCount();
	LogWriteFmt("Connecting to server %s ...", shown(host).c_str());

	ActivityProc(ActivityDns);
	uint32_t address = 0;
	Error e = Net::DnsLookup(address, host);
	if (e != ErrOkay) {
		TString errText, english;
		Err::Str(errText, e);
		textOf(english, "TextProtoDnsLookupError", true, shown(host).c_str(), Err::English(e));
		LogWrite(english.String());
		textOf(mLastError, "TextProtoDnsLookupError", false, shown(host).c_str(), errText.String());
	} else {
		NetName::IPAddrToString(mActivity.address, address, false);
	}

	bool streamOkay = false;
	if (e == ErrOkay) {
		ActivityProc(ActivityConnect);
		e = OpenClient(0, 0);
		if (e == ErrOkay)
			e = NetSock::Connect(address, port);
		if (e != ErrOkay) {
			ErrorLog(ErrorConnect, e);
		} else {
			streamOkay = true;
			mInSync = true;
			e = CmndReply();
		}
	}

	if (e == ErrOkay && !user.Empty()) {
		ActivityProc(ActivityLogin);
		e = cmndSendLine(CStrUsername(), user, nullptr);
		if (e == ErrOkay)
			e = CmndReply();
		if (e == ErrNeedMoreData) {
			if (password.Empty()) {
				e = ErrGmAccessDenied;
			} else {
				e = cmndSendLine(CStrPassword(), password, "xxxxxxxx");
				if (e == ErrOkay)
					e = CmndReply();
				if (e == ErrGmCommandFailed || e == ErrNeedMoreData)
					e = ErrGmAccessDenied;
			}
		}
		if (e == ErrGmAccessDenied)
			ErrorLog(ErrorLogin, e);
	}

	if (!streamOkay) {
		ActivityClear();
		ActivityProc(ActivityFinished);
	}
	if (e != ErrOkay)
		Disconnect();
	return e;
}

Error TextProtocol::Connect(const char* host, const char* user, const char* password, uint16_t port)
{
	return Connect(
		TString(host ? host : ""), TString(user ? user : ""), TString(password ? password : ""), port);
}

Error TextProtocol::Disconnect()
{
	bool connected = IsConnected();
	TString kept = mLastError;
	if (connected) {
		ActivityClear();
		ActivityProc(ActivityDisconnect);
	}
	long long timeout = TimeoutGet();
	TimeoutSet(2000000);
	bool enabled = ContinueProcEnableGet();
	ContinueProcEnableSet(false);
	CmndSend(CStrExit());
	ContinueProcEnableSet(enabled);
	if (connected) {
		ActivityClear();
		ActivityProc(ActivityFinished);
	}
	logStats();
	logClose();
	mLastContinue = true;
	mInSync = true;
	mDotContinue = false;
	mSessionStart = 0;
	Error e = Close();
	TimeoutSet(timeout);
	ContinueProcEnableSet(enabled);
	if (!kept.Empty())
		mLastError = kept;
	return e;
}

Error TextProtocol::cmndSendLine(const char* command, const TString& argument, const char* logArgument)
{
	if (!IsConnected())
		return ErrNetConnectionClosed;
	if (!ErrorLogAbort(ErrorDataSend))
		return ErrGmCancelled;
	// A line end inside the argument would smuggle a second command to the server.
	if (holdsLineEnd(argument)) {
		ErrorLog(ErrorDataSend, ErrNetTransmitError);
		return ErrNetTransmitError;
	}
	TString line;
	line.AllowInvalidSet(true);
	line = command;
	if (!argument.Empty()) {
		line.AppendByte(" ", 1);
		line.AppendByte(argument.String(), argument.ByteLength());
	}
	Error e = SendLine(line);
	TString logged;
	logged.AllowInvalidSet(true);
	logged = command;
	if (!argument.Empty()) {
		logged.AppendByte(" ", 1);
		if (logArgument)
			logged.Append(logArgument);
		else
			logged.AppendByte(argument.String(), argument.ByteLength());
	}
	LogWriteClient(logged);
	if (e != ErrOkay && mInSync) {
		ErrorLog(ErrorDataSend, e);
		mInSync = false;
	}
	return e;
}

Error TextProtocol::CmndSend(const char* command)
{
	return CmndSend(command, TString());
}

Error TextProtocol::CmndSend(const char* command, const TString& argument)
{
	Error e = cmndSendLine(command, argument, nullptr);
	if (e != ErrOkay)
		return e;
	return CmndReply();
}

Error TextProtocol::CmndSendAhead(const char* command, const TString& argument)
{
	return cmndSendLine(command, argument, nullptr);
}

Error TextProtocol::CmndReply()
{
	bool enabled = ContinueProcEnableGet();
	ContinueProcEnableSet(false);
	Error e = ErrOkay;
	TString line;
	for (;;) {
		e = IsConnected() ? RecvLine(line, kLineMax) : ErrNetConnectionClosed;
		if (e != ErrOkay) {
			if (mInSync) {
				ErrorLog(ErrorDataRead, e);
				mInSync = false;
			}
			break;
		}
		mLastReply.AllowInvalidSet(true);
		mLastReply.AssignByte(line.String(), line.ByteLength());
		LogWriteServer(line);
		if (ReplyIsLastLine(line))
			break;
	}
	ContinueProcEnableSet(enabled);
	if (e != ErrOkay)
		return e;
	int code = ReplyParse(mLastReply);
	if (code != 0 && RespFail(code))
		textOf(mLastError, "TextProtoErrorFormat", false, shown(mLastReply).c_str());
	if (code == 0) {
		ErrorUnexpected(mLastReply);
		mInSync = false;
	}
	return respToError(code);
}

const char* TextProtocol::LastReply(TString& text) const
{
	if (mLastReply.Empty()) {
		if (!Language::Started() || !Language::String("UnknownType", text, false))
			text = "[Unknown]";
	} else {
		text = shown(mLastReply).c_str();
	}
	return text.String();
}

const char* TextProtocol::LastError(TString& text, Error error) const
{
	bool local = (error >= ErrNetAddrInUse && error <= ErrNetTransmitError) || error == ErrGmAccessDenied ||
		error == ErrGmCommandFailed;
	if (local && !mLastError.Empty()) {
		text = mLastError;
	} else if (local && !mLastReply.Empty()) {
		textOf(text, "TextProtoErrorFormat", false, shown(mLastReply).c_str());
	} else {
		TString errText;
		Err::Str(errText, error);
		textOf(text, "TextProtoErrorFormat", false, errText.String());
	}
	return text.String();
}

Error TextProtocol::DotLineRead(TString& line)
{
	line.CharsetSet(kCharsetISO8859_1);
	char overflow = 0;
	Error e = IsConnected() ? RecvLine(line, kLineMax, &overflow) : ErrNetConnectionClosed;
	if (e != ErrOkay) {
		if (mInSync) {
			ErrorLog(ErrorDataRead, e);
			mInSync = false;
		}
		return e;
	}
	if (logMode == LogData) {
		LogWriteServer(line);
		if (overflow != 0)
			LogWrite("Line longer than 2000 chars received");
	}
	// The rest of a cut line is data whatever it starts with.
	bool continuation = mDotContinue;
	mDotContinue = overflow != 0;
	if (continuation)
		return ErrOkay;
	if (line == ".")
		return ErrFileEnd;
	if (line.ByteFirst() == '.')
		line.EraseLeftByte(1);
	return ErrOkay;
}

Error TextProtocol::DotLineSend(const TString& line, bool isEnd)
{
	TString out;
	out.CharsetSet(kCharsetISO8859_1);
	if (isEnd) {
		out = ".";
	} else {
		if (holdsLineEnd(line)) {
			if (mInSync) {
				ErrorLog(ErrorDataSend, ErrNetTransmitError);
				mInSync = false;
			}
			return ErrNetTransmitError;
		}
		if (line.ByteFirst() == '.')
			out.AppendByte(".", 1);
		out.AppendByte(line.String(), line.ByteLength());
	}
	Error e = SendLine(out);
	if (e != ErrOkay && mInSync) {
		ErrorLog(ErrorDataSend, e);
		mInSync = false;
	}
	if (logMode == LogData) {
		LogWriteClient(out);
		if (out.ByteLength() > kLineMax)
			LogWrite("Line longer than 2000 chars sent");
	}
	return e;
}

void TextProtocol::OutOfSync()
{
	if (NetSock::IsConnected())
		mInSync = false;
}

Error TextProtocol::ErrorLog(int type, Error error)
{
	if (error == ErrGmCancelled) {
		ErrorLogAbort(type);
		return error;
	}
	TString english, local, errText;
	errorText(english, type, Err::English(error), true);
	LogWrite(english.String());
	Err::Str(errText, error);
	errorText(local, type, errText.String(), false);
	mLastError = local;
	return error;
}

bool TextProtocol::ErrorLogAbort(int type)
{
	bool answer = continueCheck();
	if (!answer && mLastContinue) {
		TString english;
		errorText(english, type, Err::English(ErrGmCancelled), true);
		LogWrite(english.String());
	}
	mLastContinue = answer;
	return answer;
}

void TextProtocol::ErrorUnexpected(const TString& line)
{
	TString english;
	textOf(english, "TextProtoResponseError", true, shown(line).c_str());
	LogWrite(english.String());
	textOf(mLastError, "TextProtoResponseError", false, shown(line).c_str());
}

void TextProtocol::logOpen()
{
	if (logMode == LogOff || logPath.Empty() || mLogOpen)
		return;
	if (mLogFile.Open(logPath, TextFile::ModeAppend, 0) != ErrOkay)
		return;
	mLogFile.TextSet();
	mLogFile.EditorSet();
	mLogOpen = true;
}

void TextProtocol::logClose()
{
	if (!mLogOpen)
		return;
	mLogFile.Close();
	mLogOpen = false;
}

void TextProtocol::logStats()
{
	if (mSessionStart == 0 || logMode == LogOff)
		return;
	long long elapsed = TimeCore::TickCount() - mSessionStart;
	long long seconds = elapsed / 1000000;
	unsigned long long bytes = static_cast<unsigned long long>(BytesRecv()) + BytesSent();
	TString duration, received, sent, rate;
	TimeFormat::Usecs(duration, elapsed, false, true);
	duration.Trim();
	Language::SizeFormat(BytesRecv(), received, true);
	Language::SizeFormat(BytesSent(), sent, true);
	Language::SizeFormat(bytes / static_cast<unsigned long long>(seconds < 1 ? 1 : seconds), rate, true);
	LogWriteFmt("Total session time: %s\nReceived: %s  sent: %s\nThroughput: %s per second",
		duration.String(), received.String(), sent.String(), rate.String());
	LogWrite("");
}

void TextProtocol::LogWrite(const char* text)
{
	if (logMode == LogOff)
		return;
	TString entry;
	if (text && *text)
		Format::Log(entry, true, false, 21, 78, true, text);
	if (echoLog)
		Output::Show(entry.String());
	if (!mLogOpen)
		return;
	if (mLogFile.Write(entry) != ErrOkay)
		logClose();
}

void TextProtocol::LogWriteFmt(const char* format, ...)
{
	if (logMode == LogOff)
		return;
	TString text;
	text.AllowInvalidSet(true);
	va_list ap;
	va_start(ap, format);
	text.FmtArg(format, ap);
	va_end(ap);
	LogWrite(text.String());
}

void TextProtocol::LogWriteClient(const TString& line)
{
	if (logMode == LogOff)
		return;
	LogWriteFmt("C: %s", shown(line).c_str());
}

void TextProtocol::LogWriteServer(const TString& line)
{
	if (logMode == LogOff)
		return;
	LogWriteFmt("S: %s", shown(line).c_str());
}

void TextProtocol::ActivityProc(ActivityType type)
{
	mActivity.type = type;
	if (mActivityProc)
		mActivityProc(mActivityUser, mActivity);
	mActivity.type = ActivityNone;
}

void TextProtocol::ActivityProcDelay(ActivityType type)
{
	long long now = TimeCore::TickCount();
	if (now - mActivityLast < kActivityDelay)
		return;
	ActivityProc(type);
	mActivityLast = now;
}

void TextProtocol::ActivityClear()
{
	mActivity.type = ActivityNone;
	mActivity.flag = false;
	mActivity.done = 0;
	mActivity.total = 0;
	mActivity.lines = 0;
	mActivity.group.Erase();
}
