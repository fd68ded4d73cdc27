// A message with its body: finds the sections of a body (MIME parts, uuencoded blocks, yEnc
// blocks) while it is received or re-parsed, and rewrites the message file's header block
// with the sections it found; decodes attachments; renders the body as text for reading or
// for quoting in a reply.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Charset.h"
#include "Error.h"
#include "MessageHead.h"
#include "TString.h"
#include "TextFile.h"
#include "YencSect.h"

class DiskFile;
class TextDecoder;

// What a rendering shows of a message.
enum RenderMode : int32_t {
	RenderModeText = 1,  // the text part, else the HTML part, else the plain body
	RenderModeHtml = 2,  // the HTML part, else as RenderModeText
	RenderModeQuote = 3,  // as RenderModeText, every line quoted, ending at the signature
	RenderModeRaw = 4,  // the whole stored file, headers included
};

// What one call of a rendering callback carries.
enum RenderText : int32_t {
	RenderTextDone = 1,  // the rendering is finished; the text is empty
	RenderTextPlain = 2,
	RenderTextHtml = 3,  // HTML source
};

class MessageBody : public MessageHead {
public:
	// What a progress callback sees.
	struct ProgressData {
		TString name;  // the output file's leaf
		long long written = 0;
		long long expected = 0;  // an estimate, raised whenever written passes it
		int32_t section = 0;  // from 1
		int32_t sections = 0;
	};
	// Answers false to cancel the decode.
	using ProgressProc = bool (*)(void* context, const ProgressData& progress);

	// Why a decode failed, told with the part number it failed in.
	enum DecodeFault : int32_t {
		FaultNone = 0,
		FaultStructure = 1,  // a line or block that is not what the encoding needs
		FaultCrc = 2,  // a yEnc part whose CRC does not match its bytes
		FaultSize = 3,  // a yEnc part or file whose size does not match its bytes
		FaultPart = 4,  // a part missing, out of order or not of the same set
	};

	// The state of one decode.
	struct DecodeData {
		ProgressProc callback = nullptr;
		void* context = nullptr;
		TString path;  // the message file being read
		ProgressData progress;
		MessageSect sect;
		YencSect yenc;
		long long lastCall = 0;
		bool uuEnd = false;
		DiskFile* out = nullptr;
		std::vector<unsigned char> outBuf;
		size_t outUsed = 0;
		long long yencFileSize = -1;  // size named by the first "=ybegin" of the set
		bool yencParts = false;  // the set's blocks carry "=ypart" lines
	};

	// Decodes the index-th first-part attachment of one message, which must be part 1 of 1.
	// On any error the output file is removed.
	Error Decode(
		const TString& path, long index, const TString& outPath, ProgressProc callback, void* context);
	// Decodes a binary spread over the messages at paths, given in part order.
	Error Decode(
		const std::vector<TString>& paths, const TString& outPath, ProgressProc callback, void* context);
	// The same into a file the caller has created; on an error it is left to the caller.
	Error Decode(const TString& path, long index, DiskFile& out, ProgressProc callback, void* context);
	Error Decode(const std::vector<TString>& paths, DiskFile& out, ProgressProc callback, void* context);
	// After a failed decode: the fault and the part number it was found in (0 when unknown).
	DecodeFault DecodeFaultGet() const { return mFault; }
	int32_t DecodeFaultPart() const { return mFaultPart; }

	// The attachments of a message, each with the paths of its parts in part order, found
	// among the messages at candidates (the message itself included or not). missing holds
	// the part numbers not found, in order, at most kMissingMax of them.
	struct PartSet {
		TString name;  // the file name of part 1
		std::vector<TString> paths;
		std::vector<int32_t> missing;
		int32_t total = 1;
	};
	static constexpr size_t kMissingMax = 1000;
	// A set claiming more parts than this is refused.
	static constexpr int32_t kPartsMax = 100000;
	static Error PartsCollect(
		const TString& path, const std::vector<TString>& candidates, std::vector<PartSet>& sets);

	// Receives the rendered text in UTF-8, in chunks of about 29 lines (long lines come in
	// pieces); answers false to abandon the rendering.
	using RenderProc = bool (*)(void* context, RenderText kind, const TString& text);

	// The state of one rendering.
	struct RenderData {
		RenderProc callback = nullptr;
		void* context = nullptr;
		Charset charset = kCharsetNone;  // of the text being rendered
		ContentEncoding encoding = ContentEncoding8bit;  // being decoded
		std::string pending;  // decoded, not yet split into lines
		long long offset = 0;  // of the section being rendered
		RenderText kind = RenderTextPlain;
		bool quote = false;
		// Internal state.
		std::string output;  // in the text's charset
		long outLines = 0;
		bool outLineStart = true;  // the output is at the start of a line
		bool inLineStart = true;  // the file is read at the start of a line
		int binState = 0;  // 0 shown, 1 inside a uuencoded block, 2 inside a yEnc block
		bool hideBinary = true;
		TextDecoder* decoder = nullptr;
		std::string utf8;
	};

	// Renders the message file at path (see RenderMode), handing the text to callback;
	// returns the first error. An error other than ErrGmCancelled is also rendered as a last
	// chunk of text telling why the message cannot be shown.
	Error Render(const TString& path, RenderMode mode, RenderProc callback, void* context);
	// A line as quoted in a reply: ">" in front of a line already quoted, else "> ".
	static void LineQuote(TString& line);
	static void LineQuote(std::string& line);
	// The most bytes of text one callback call carries.
	static constexpr long kRenderChunkMax = 12000;

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
	// Reads a message file's lines through a large buffer while decoding.
	class LineReader;

	DecodeFault mFault = FaultNone;
	int32_t mFaultPart = 0;

	Error decode(DecodeData& data);
	Error decodeBase64(DecodeData& data, LineReader& reader);
	Error decodePlain(DecodeData& data, LineReader& reader);
	Error decodeUuencode(DecodeData& data, LineReader& reader);
	Error decodeYenc(DecodeData& data, LineReader& reader);
	Error decodeMimeStart(DecodeData& data, LineReader& reader);
	Error decodeWrite(DecodeData& data, const unsigned char* bytes, size_t n);
	Error decodeFlush(DecodeData& data);
	Error decodeProc(DecodeData& data, long long n);
	Error decodeFail(DecodeData& data, DecodeFault fault);
	void decodeBegin(DecodeData& data, DiskFile& out, ProgressProc callback, void* context);

	Error render(RenderData& data, RenderMode mode, DiskFile& file, long long bodyStart);
	Error renderParse(LineReader& reader, long long bodyStart);
	Error renderBody(RenderData& data, LineReader& reader, bool preferHtml, long long bodyStart);
	Error renderSect(RenderData& data, LineReader& reader, RenderText kind, long offset);
	Error renderPlain(RenderData& data, LineReader& reader);
	Error renderRaw(RenderData& data, LineReader& reader);
	Error renderLine(RenderData& data, const char* s, long len, bool partial, bool lineStart);
	Error renderTake(RenderData& data, bool atEnd);
	Error renderFlush(RenderData& data, bool final);
	Error renderSend(RenderData& data, RenderText kind, const std::string& text);
	bool textBin(RenderData& data, const char* s, long len, long long offset);
	void renderError(RenderData& data, Error e);

private:
	static bool sStarted;
};
