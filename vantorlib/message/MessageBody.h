// A message with its body: finds the sections of a body (MIME parts, uuencoded blocks, yEnc
// blocks) while it is received or re-parsed, and rewrites the message file's header block
// with the sections it found.
#pragma once

#include <cstdint>
#include <memory>

#include "Charset.h"
#include "Error.h"
#include "MessageHead.h"
#include "TString.h"
#include "TextFile.h"
#include "YencSect.h"

class MessageBody : public MessageHead {
public:
	// Message rendering starts and stops with the engine.
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	// Bytes copied per block when a file is rewritten.
	static constexpr unsigned long kCopyBlock = 524288;

	MessageBody();
	~MessageBody() override;
	void Clear() override;

	// Re-parses a stored message (renamed to the message extension first when it has another,
	// path then names the new file) and rewrites it with the sections found.
	Error Parse(TString& path, unsigned int fileInfo, Charset charset, long long lockWait);
	// Parse, only when the header block says the sections are missing.
	Error ParseIfNeeded(TString& path, unsigned int fileInfo, Charset charset, long long lockWait);

	// One body line with the file offset of its first byte.
	void bodyLineAppend(long long offset, const TString& line);
	void parseOpen();
	void parseClose();
	void parseFinalize();
	Error parseRewrite(const TString& path);

	long BodyLinesGet() const { return mBodyLines; }

protected:
	Error rewrite(const TString& path, unsigned int fileInfo, long long lockWait);
	void lineAppendMime(long long offset, const TString& line);
	void lineAppendPlain(long long offset, const TString& line);
	void partHeadEnd();
	void binReset();

	int32_t mBodyLines = 0;
	TextFile mFile;
	long long mBodyStart = 0;
	long long mSectStart = 0;
	int32_t mUuCount = 0;
	bool mUuBegin = false;
	bool mMime = false;
	std::unique_ptr<MessageHead> mPartHead;
	TString mBinName;
	YencSect mYenc;
	int32_t mBinState = 0;  // 0 none, 1 inside uuencode, 2 inside yEnc data, 3 just after "=ybegin"

private:
	static bool sStarted;
};
