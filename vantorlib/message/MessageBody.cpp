#include "MessageBody.h"

#include <cstring>
#include <string>
#include <vector>

#include "BinText.h"
#include "CSet.h"
#include "DiskFile.h"
#include "Err.h"
#include "FileMngr.h"
#include "HeaderUtil.h"
#include "LangSection.h"
#include "Language.h"
#include "PathMngr.h"
#include "TextDecoder.h"
#include "TimeCore.h"

bool MessageBody::sStarted = false;

namespace {

const char kSectionName[] = "X-Quillfern-Section";
const char kStateName[] = "X-Quillfern-State";
const char kLinesName[] = "Lines";

const LangData kRenderRows[] = {
	{"RenderFormat", "%s", "Cannot display message: %1"},
	{"RenderNoBody", "", "Does not have a body"},
	{"RenderReparse", "", "Reparse this message, then try again"},
	{nullptr, nullptr, nullptr},
};
const LangSection kRenderSection = {"Message rendering strings", LangSectionMessageRendering, kRenderRows};

}  // namespace

bool MessageBody::Start()
{
	if (!sStarted)
		sStarted = Language::SectionAdd(&kRenderSection);
	return sStarted;
}

void MessageBody::Stop()
{
	if (sStarted)
		Language::SectionRemove(&kRenderSection);
	sStarted = false;
}

MessageBody::MessageBody()
{
	MessageBody::Clear();
}

MessageBody::~MessageBody() = default;

void MessageBody::Clear()
{
	MessageHead::Clear();
	mBodyLines = 0;
	mBodyStart = 0;
	mPartHead.reset();
	mMime = false;
	binReset();
}

void MessageBody::binReset()
{
	mSectStart = 0;
	mUuCount = 0;
	mUuBegin = false;
	mBinName.CharsetSet(kCharsetISO8859_1);
	mBinName.Erase();
	mYenc.Clear();
	mBinState = 0;
}

// ---- body parsing

void MessageBody::parseOpen()
{
	mPartHead.reset();
	mBodyLines = 0;
	binReset();
	if (sectHasNonMimeAttachments())
		mMime = false;
	else
		mMime = boundCount() > 0 || AttrMimeMessage();
	sectClear();
}

void MessageBody::bodyLineAppend(long long offset, const TString& line)
{
	++mBodyLines;
	if (mMime)
		lineAppendMime(offset, line);
	lineAppendPlain(offset, line);
}

void MessageBody::partHeadEnd()
{
	if (!mPartHead)
		return;
	mPartHead->secondaryClose();
	boundCopy(*mPartHead);
	MessageSect sect;
	if (mSectStart <= 0x7FFFFFFF && sect.HeaderData(*this, *mPartHead, long(mSectStart)))
		sectAppend(sect);
	mPartHead.reset();
}

void MessageBody::lineAppendMime(long long offset, const TString& line)
{
	bool isEnd = false;
	bool isBound = boundFind(line, isEnd);
	if (mPartHead) {
		if (!line.IsWhite() && !isBound) {
			TString copy(line);
			mPartHead->headLineAppend(copy);
			return;
		}
		// A blank line ends the part's header block; so does a boundary line in broken MIME.
		partHeadEnd();
		if (!isBound)
			return;
	}
	TString id;
	long number = 0, total = 0;
	bool partial = mBodyLines == 1 && AttrPartialData(id, number, total);
	if (partial && number == 1 && !line.IsWhite()) {
		mSectStart = offset;
		mPartHead = std::make_unique<MessageHead>();
		mPartHead->secondaryOpen();
		TString copy(line);
		mPartHead->headLineAppend(copy);
	} else if (partial && number > 1 && boundCount() == 0) {
		MessageSect sect;
		if (offset <= 0x7FFFFFFF && sect.HeaderDataPartial(*this, long(offset)))
			sectAppend(sect);
	} else if (isBound && !isEnd) {
		mSectStart = offset;
		mPartHead = std::make_unique<MessageHead>();
		mPartHead->secondaryOpen();
	}
}

void MessageBody::lineAppendPlain(long long offset, const TString& line)
{
	TString name;
	if (mBinState == 0 && mYenc.LineStart(line, name)) {
		long long keep = offset;
		binReset();
		mYenc.LineStart(line, name);
		mBinState = 3;
		mSectStart = keep;
		mBinName = name;
		return;
	}
	if (mBinState == 3) {
		mYenc.LinePart(line);
		mBinState = 2;
		// The line after "=ybegin" may be data or already the end.
	}
	if (mBinState == 2) {
		if (mYenc.LineStop(line)) {
			sectAppendYenc(long(mSectStart), mBinName, mYenc);
			binReset();
		}
		return;
	}
	if (mBinState == 0 && BinText::UuLineStart(line, name)) {
		binReset();
		mBinState = 1;
		mUuBegin = true;
		mSectStart = offset;
		mBinName = name;
		return;
	}
	if (mBinState == 1) {
		if (BinText::UuLineStop(line)) {
			sectAppendUuencode(long(mSectStart), mBinName, mUuBegin);
			binReset();
		}
		return;
	}
	if (mBinState == 0 && mBodyLines <= 15) {
		if (BinText::UuLineData(line) && !line.Empty() && line.ByteAt(0) != '`') {
			if (mUuCount == 0)
				mSectStart = offset;
			if (++mUuCount >= 3) {
				mBinState = 1;
				mUuBegin = false;
			}
		} else {
			mUuCount = 0;
		}
	}
}

void MessageBody::parseClose()
{
	partHeadEnd();
	if (mBinState == 1) {
		if (mUuBegin && !mBinName.Empty())
			sectAppendUuencode(long(mSectStart), mBinName, false);
		else
			sectAppendUuencodeSecondary(long(mSectStart));
	}
	mPartHead.reset();
	binReset();
	attachUpdate();
}

void MessageBody::parseFinalize()
{
	if (mBodyLines == 0) {
		mData.state = MessageStateHeaders;
		if (mData.download == MessageDownloadUnknown || mData.download == MessageDownloadComplete)
			mData.download = MessageDownloadNone;
	} else {
		mLines = mBodyLines;
		mData.state = MessageStateComplete;
		mData.download = MessageDownloadComplete;
	}
}

// ---- re-parsing a stored file

Error MessageBody::Parse(TString& path, unsigned int fileInfo, Charset charset, long long lockWait)
{
	Error err = ErrOkay;
	if (!HeaderUtil::IsMessageFile(path)) {
		TString renamed(path);
		PathMngr::ExtReplace(renamed, HeaderUtil::MessageExtension());
		err = FileMngr::Rename(path, renamed);
		if (err != ErrOkay)
			return err;
		path = renamed;
	}
	err = mFile.Open(path, TextFile::ModeRead, lockWait);
	if (err == ErrOkay)
		err = HeaderRead(mFile);
	if (err == ErrOkay) {
		CharsetSuggest(charset);
		err = mFile.PositionGet(&mBodyStart);
	}
	if (err == ErrOkay) {
		parseOpen();
		for (;;) {
			long long offset = 0;
			err = mFile.PositionGet(&offset);
			if (err != ErrOkay)
				break;
			TString line;
			err = mFile.Read(line);
			if (err == ErrFileEnd) {
				err = ErrOkay;
				break;
			}
			// An over-long line goes on as the next line.
			if (err != ErrOkay && err != ErrFileLineTooLong)
				break;
			err = ErrOkay;
			bodyLineAppend(offset, line);
			// A bulk re-parse leaves the machine some breath.
			if (mBodyLines % 100 == 0)
				TimeCore::Sleep(10000);
		}
		parseClose();
		parseFinalize();
	}
	Error closeErr = mFile.IsOpen() ? mFile.Close() : ErrOkay;
	if (err == ErrOkay)
		err = closeErr;
	if (err == ErrOkay)
		err = rewrite(path, fileInfo, lockWait);
	return err;
}

Error MessageBody::ParseIfNeeded(TString& path, unsigned int fileInfo, Charset charset, long long lockWait)
{
	Error err = HeaderRead(path, lockWait);
	if (err != ErrOkay || !ParseNeeded())
		return err;
	return Parse(path, fileInfo, charset, lockWait);
}

Error MessageBody::parseRewrite(const TString& path)
{
	if (sectCount() == 0)
		return ErrOkay;
	MessageHead stored;
	TextFile file;
	Error err = file.Open(path, TextFile::ModeRead, kLockWait);
	if (err == ErrOkay)
		err = stored.HeaderRead(file);
	if (err == ErrOkay)
		err = file.PositionGet(&mBodyStart);
	Error closeErr = file.IsOpen() ? file.Close() : ErrOkay;
	if (err == ErrOkay)
		err = closeErr;
	// Linux keeps no creator codes, so there is none to read back and pass on.
	if (err == ErrOkay)
		err = rewrite(path, 0, kLockWait);
	return err;
}

Error MessageBody::rewrite(const TString& path, unsigned int fileInfo, long long lockWait)
{
	TString tempPath(path);
	PathMngr::ExtReplace(tempPath, "temp$$%Copy");
	TextFile src, dst;
	Error err = src.Open(path, TextFile::ModeRead, lockWait);
	if (err == ErrOkay)
		err = fileCreate(dst, tempPath, fileInfo);
	bool dropping = false;
	while (err == ErrOkay) {
		TString line;
		err = src.Read(line);
		if (err == ErrFileEnd) {
			err = ErrOkay;
			break;
		}
		if (err != ErrOkay)
			break;
		if (line.IsWhite())
			break;
		bool continuation = Str::IsWhite(line.ByteFirst());
		if (!continuation)
			dropping =
				HeaderUtil::StartsHeader(line, kSectionName) || HeaderUtil::StartsHeader(line, kStateName);
		if (dropping)
			continue;
		if (!continuation && HeaderUtil::StartsHeader(line, kLinesName)) {
			line.CharsetSet(kCharsetISO8859_1);
			line.Fmt("%s: %-6ld", kLinesName, long(mLines));
		}
		err = dst.Write(line);
	}
	long long oldStart = 0, headEnd = 0;
	if (err == ErrOkay)
		err = src.PositionGet(&oldStart);
	if (err == ErrOkay)
		err = dst.PositionGet(&headEnd);
	// The section lines have the same length whatever their offsets (always 8 hex digits), so
	// the new body start is known before they are written and the offsets shifted at once.
	TString stateValue, stateLine;
	TString oldState;
	MessageData::ToString(
		mData, stateValue, HeaderGet(kHeaderQuillfernState, oldState) ? &oldState : nullptr);
	HeaderUtil::Create(stateLine, TString(kStateName), stateValue);
	if (err == ErrOkay) {
		long long headBytes = headEnd + stateLine.ByteLength() + 2;
		for (const MessageSect& s : mSects) {
			TString l;
			s.lineFormatHead(l);
			headBytes += l.ByteLength() + 1;
		}
		long long shift = headBytes - oldStart;
		for (MessageSect& s : mSects) {
			long long moved = s.OffsetGet() + shift;
			if (moved < 10 || moved > 0x7FFFFFFF)
				err = ErrFileInvalidData;
			else
				s.OffsetSet(int32_t(moved));
		}
		if (err == ErrOkay)
			err = MessageSect::ListWrite(dst, mSects);
		if (err == ErrOkay)
			err = dst.Write(stateLine);
		if (err == ErrOkay)
			err = dst.Write("");
		long long newStart = 0;
		if (err == ErrOkay)
			err = dst.PositionGet(&newStart);
		if (err == ErrOkay && newStart != headBytes)
			err = ErrFileInvalidData;
	}
	Error e = src.IsOpen() ? src.Close() : ErrOkay;
	if (err == ErrOkay)
		err = e;
	e = dst.IsOpen() ? dst.Close() : ErrOkay;
	if (err == ErrOkay)
		err = e;
	// The body, byte for byte, in large blocks.
	if (err == ErrOkay) {
		DiskFile in, out;
		std::vector<char> block;
		try {
			block.resize(kCopyBlock);
		} catch (...) {
			err = ErrGmNoMemory;
		}
		if (err == ErrOkay)
			err = in.Open(path, FileAccessRead, lockWait);
		if (err == ErrOkay)
			err = in.PositionSet(oldStart, FilePtrStart);
		if (err == ErrOkay)
			err = out.Open(tempPath, FileAccessReadWrite, lockWait);
		if (err == ErrOkay)
			err = out.PositionSet(0, FilePtrEnd);
		while (err == ErrOkay) {
			unsigned long long got = 0, put = 0;
			err = in.Read(block.data(), block.size(), &got);
			if (err == ErrFileEnd) {
				err = ErrOkay;
				if (got == 0)
					break;
			}
			if (err == ErrOkay && got > 0)
				err = out.Write(block.data(), got, &put);
			if (got == 0)
				break;
		}
		e = in.IsOpen() ? in.Close() : ErrOkay;
		if (err == ErrOkay)
			err = e;
		e = out.IsOpen() ? out.Close() : ErrOkay;
		if (err == ErrOkay)
			err = e;
	}
	// One rename over the old file: at no moment is the message without its file, even when
	// the process is killed in between.
	if (err == ErrOkay)
		err = FileMngr::Replace(tempPath, path);
	// The message file stays as it was until the new one is complete; a half-made copy goes.
	if (err != ErrOkay && FileMngr::Exists(tempPath) == ErrOkay && FileMngr::Exists(path) == ErrOkay)
		FileMngr::Remove(tempPath);
	return err;
}

// ---- decoding

namespace {

// Expected decoded bytes per body line, for the progress estimate.
long long bytesPerLine(MsgSectEncoding encoding)
{
	switch (encoding) {
	case MsgSectBase64: return 54;
	case MsgSectUuencode: return 45;
	case MsgSectYenc: return 128;
	default: return 80;
	}
}

constexpr long long kDecodeLockWait = 8000000;
constexpr long long kOutLockWait = 1000000;
constexpr size_t kOutBlock = 1 << 20;

bool isWhiteLine(const char* s, long len)
{
	for (long i = 0; i < len; ++i)
		if (!Str::IsWhite(s[i]))
			return false;
	return true;
}

// A line "--" and at least two more characters: a boundary separator or closing line.
bool boundLike(const char* s, long len)
{
	return len >= 4 && s[0] == '-' && s[1] == '-';
}

// "Name: value" with a name of printable characters.
bool headerLike(const char* s, long len)
{
	long i = 0;
	while (i < len && s[i] > ' ' && s[i] < 127 && s[i] != ':')
		++i;
	return i > 0 && i < len && s[i] == ':';
}

TString lineText(const char* s, long len)
{
	TString t;
	t.CharsetSet(kCharsetISO8859_1);
	t.AllowInvalidSet(true);
	t.AppendByte(s, len);
	return t;
}

int hexValue(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	return -1;
}

}  // namespace

// Lines of a message file through a large buffer. Line ends are CR, LF, CR LF and LF CR; a
// line longer than kLineMax comes in pieces of that length.
class MessageBody::LineReader {
public:
	static constexpr long kLineMax = 65536;
	static constexpr size_t kBlock = 1 << 20;

	explicit LineReader(DiskFile& file) : mFile(file), mBuf(kBlock), mLine(size_t(kLineMax) + 1) {}

	Error Seek(long long pos)
	{
		mStart = pos;
		mPos = mEnd = 0;
		mEof = false;
		mSkip = 0;
		return mFile.PositionSet(pos, FilePtrStart);
	}
	long long Position() const { return mStart + static_cast<long long>(mPos); }
	// The last line given was a piece of a longer line: its rest comes next.
	bool Partial() const { return mPartial; }

	// The next line in line (zero-terminated) and len; ErrFileEnd after the last.
	Error Next(const char*& line, long& len)
	{
		long n = 0;
		mPartial = false;
		for (;;) {
			if (mPos == mEnd) {
				Error e = fill();
				if (e != ErrOkay)
					return e;
				if (mPos == mEnd) {
					if (n == 0)
						return ErrFileEnd;
					break;
				}
			}
			if (mSkip) {
				if (static_cast<unsigned char>(mBuf[mPos]) == mSkip)
					++mPos;
				mSkip = 0;
				continue;
			}
			const char* p = mBuf.data() + mPos;
			size_t avail = mEnd - mPos;
			size_t room = size_t(kLineMax - n);
			size_t scan = avail < room ? avail : room;
			size_t i = 0;
			while (i < scan && p[i] != '\n' && p[i] != '\r')
				++i;
			std::memcpy(mLine.data() + n, p, i);
			n += long(i);
			mPos += i;
			if (i < scan) {
				mSkip = p[i] == '\n' ? '\r' : '\n';
				++mPos;
				break;
			}
			if (n >= kLineMax) {
				mPartial = true;
				break;
			}
		}
		mLine[size_t(n)] = 0;
		line = mLine.data();
		len = n;
		return ErrOkay;
	}

private:
	Error fill()
	{
		mStart += static_cast<long long>(mEnd);
		mPos = mEnd = 0;
		if (mEof)
			return ErrOkay;
		unsigned long long got = 0;
		Error e = mFile.Read(mBuf.data(), mBuf.size(), &got);
		if (e == ErrFileEnd) {
			mEof = true;
			e = ErrOkay;
		}
		mEnd = size_t(got);
		return e;
	}

	DiskFile& mFile;
	std::vector<char> mBuf;
	std::vector<char> mLine;
	long long mStart = 0;  // file offset of mBuf[0]
	size_t mPos = 0, mEnd = 0;
	bool mEof = false;
	bool mPartial = false;
	unsigned char mSkip = 0;  // the other half of a two-byte line end, skipped when next
};

Error MessageBody::decodeFail(DecodeData& data, DecodeFault fault)
{
	if (mFault == FaultNone) {
		mFault = fault;
		mFaultPart = data.sect.PartNumberGet();
	}
	return ErrFileInvalidData;
}

Error MessageBody::decodeFlush(DecodeData& data)
{
	if (data.outUsed == 0)
		return ErrOkay;
	unsigned long long done = 0;
	Error e = data.out->Write(data.outBuf.data(), data.outUsed, &done);
	if (e == ErrOkay && done != data.outUsed)
		e = ErrFileWriteError;
	data.outUsed = 0;
	return e;
}

Error MessageBody::decodeWrite(DecodeData& data, const unsigned char* bytes, size_t n)
{
	if (data.outUsed + n > data.outBuf.size()) {
		Error e = decodeFlush(data);
		if (e != ErrOkay)
			return e;
	}
	if (n > data.outBuf.size()) {
		unsigned long long done = 0;
		Error e = data.out->Write(bytes, n, &done);
		if (e == ErrOkay && done != n)
			e = ErrFileWriteError;
		if (e != ErrOkay)
			return e;
	} else {
		std::memcpy(data.outBuf.data() + data.outUsed, bytes, n);
		data.outUsed += n;
	}
	return decodeProc(data, static_cast<long long>(n));
}

Error MessageBody::decodeProc(DecodeData& data, long long n)
{
	data.progress.written += n;
	if (data.progress.written > data.progress.expected)
		data.progress.expected = data.progress.written;
	long long now = TimeCore::TickCount();
	if (data.callback && now - data.lastCall >= 500000) {
		data.lastCall = now;
		if (!data.callback(data.context, data.progress))
			return ErrGmCancelled;
	}
	return ErrOkay;
}

Error MessageBody::decodeMimeStart(DecodeData& data, LineReader& reader)
{
	boundClear();
	long long mark = reader.Position();
	const char* s = nullptr;
	long len = 0;
	bool found = false;
	Error e = reader.Next(s, len);
	if (e == ErrOkay && boundLike(s, len)) {
		boundAddLine(lineText(s, len));
		found = true;
		mark = reader.Position();
		e = reader.Next(s, len);
	}
	if (e == ErrOkay && headerLike(s, len)) {
		found = true;
		e = reader.Seek(mark);
		MessageHead part;
		part.secondaryOpen();
		while (e == ErrOkay) {
			e = reader.Next(s, len);
			if (e != ErrOkay || isWhiteLine(s, len))
				break;
			TString line = lineText(s, len);
			part.headLineAppend(line);
		}
		if (e == ErrFileEnd)
			e = ErrOkay;
		part.secondaryClose();
		if (part.CharsetGet() != kCharsetNone)
			CharsetSet(part.CharsetGet());
		return e;
	}
	if (e == ErrOkay || e == ErrFileEnd)
		e = reader.Seek(mark);
	// A continuation of a message/partial set starts straight with data.
	if (e == ErrOkay && !found && mData.attach != MessageAttachSecondary)
		e = decodeFail(data, FaultStructure);
	return e;
}

Error MessageBody::decodeBase64(DecodeData& data, LineReader& reader)
{
	Error e = decodeMimeStart(data, reader);
	std::vector<unsigned char> out(static_cast<size_t>(LineReader::kLineMax));
	while (e == ErrOkay) {
		const char* s = nullptr;
		long len = 0;
		e = reader.Next(s, len);
		if (e != ErrOkay)
			break;
		if (boundLike(s, len)) {
			bool isEnd = false;
			if (boundFind(lineText(s, len), isEnd))
				break;
		}
		if (isWhiteLine(s, len))
			continue;
		long n = BinText::Base64Decode(s, out.data(), long(out.size()), BinText::DataBinary);
		if (n <= 0)
			return decodeFail(data, FaultStructure);
		e = decodeWrite(data, out.data(), size_t(n));
	}
	return e == ErrFileEnd ? ErrOkay : e;
}

Error MessageBody::decodePlain(DecodeData& data, LineReader& reader)
{
	Charset charset = CharsetForceGet();
	Error e = decodeMimeStart(data, reader);
	if (CharsetGet() != kCharsetNone)
		charset = CSet::MakeValid(CharsetGet());
	bool quoted = data.sect.EncodingGet() == MsgSectQuotPrint;
	std::string text;
	while (e == ErrOkay) {
		const char* s = nullptr;
		long len = 0;
		e = reader.Next(s, len);
		if (e != ErrOkay)
			break;
		if (boundLike(s, len)) {
			bool isEnd = false;
			if (boundFind(lineText(s, len), isEnd))
				break;
		}
		text.clear();
		bool soft = quoted && len > 0 && s[len - 1] == '=';
		long end = soft ? len - 1 : len;
		for (long i = 0; i < end; ++i) {
			int hi = 0, lo = 0;
			if (quoted && s[i] == '=' && i + 2 < end && (hi = hexValue(s[i + 1])) >= 0 &&
				(lo = hexValue(s[i + 2])) >= 0) {
				text += char(hi * 16 + lo);
				i += 2;
			} else {
				text += s[i];
			}
		}
		if (!soft)
			text += '\n';
		TString utf8;
		if (!CSet::Convert(charset, text.c_str(), kCharsetUTF8, utf8))
			utf8 = lineText(text.data(), long(text.size()));
		e = decodeWrite(
			data, reinterpret_cast<const unsigned char*>(utf8.String()), size_t(utf8.ByteLength()));
	}
	return e == ErrFileEnd ? ErrOkay : e;
}

Error MessageBody::decodeUuencode(DecodeData& data, LineReader& reader)
{
	const char* s = nullptr;
	long len = 0;
	Error e = ErrOkay;
	if (data.progress.written == 0 && !data.uuEnd) {
		e = reader.Next(s, len);
		if (e == ErrFileEnd || (e == ErrOkay && !BinText::UuLineStart(lineText(s, len))))
			return decodeFail(data, FaultStructure);
	}
	unsigned char out[200];
	while (e == ErrOkay) {
		e = reader.Next(s, len);
		if (e != ErrOkay)
			break;
		if (isWhiteLine(s, len))
			break;
		if (len >= 3 && (s[0] == 'e' || s[0] == 'E') && BinText::UuLineStop(lineText(s, len))) {
			if (data.uuEnd)
				return decodeFail(data, FaultStructure);
			data.uuEnd = true;
			break;
		}
		long n = BinText::UuDecode(s, out, sizeof(out), BinText::DataBinary);
		if (n <= 0) {
			TString t = lineText(s, len);
			t.Trim();
			if (!(t.ByteLength() == 1 && t.ByteAt(0) == '`'))
				return decodeFail(data, FaultStructure);
			continue;
		}
		if (data.uuEnd)
			return decodeFail(data, FaultStructure);
		e = decodeWrite(data, out, size_t(n));
	}
	return e == ErrFileEnd ? ErrOkay : e;
}

Error MessageBody::decodeYenc(DecodeData& data, LineReader& reader)
{
	YencSect& y = data.yenc;
	y.Clear();
	const char* s = nullptr;
	long len = 0;
	Error e = reader.Next(s, len);
	if (e == ErrFileEnd || (e == ErrOkay && !y.LineStart(lineText(s, len))))
		return decodeFail(data, FaultStructure);
	if (e != ErrOkay)
		return e;
	long long mark = reader.Position();
	e = reader.Next(s, len);
	if (e == ErrOkay && len >= 6 && s[0] == '=' && y.LinePart(lineText(s, len)))
		mark = reader.Position();
	if (e == ErrOkay || e == ErrFileEnd)
		e = reader.Seek(mark);
	bool first = data.sect.PartNumberGet() <= 1;
	if (first) {
		data.yencFileSize = y.size;
		data.yencParts = y.partBegin != -1 || y.partEnd != -1;
	}
	// Parts follow one another: each begins where the bytes written so far end.
	if (e == ErrOkay && data.yencParts && y.partBegin != data.progress.written + 1)
		return decodeFail(data, FaultPart);
	std::vector<unsigned char> out(static_cast<size_t>(LineReader::kLineMax));
	bool ended = false;
	while (e == ErrOkay) {
		e = reader.Next(s, len);
		if (e != ErrOkay)
			break;
		if (len >= 5 && s[0] == '=' && (s[1] == 'y' || s[1] == 'Y') && y.LineStop(lineText(s, len))) {
			ended = true;
			break;
		}
		long n = y.LineDecode(s, len, out.data(), long(out.size()));
		if (n <= 0)
			return decodeFail(data, FaultStructure);
		e = decodeWrite(data, out.data(), size_t(n));
	}
	if (e == ErrFileEnd)
		e = ErrOkay;
	if (e != ErrOkay)
		return e;
	if (!ended)
		return decodeFail(data, FaultStructure);
	if (y.endSize != y.count)
		return decodeFail(data, FaultSize);
	if (!y.CrcValid())
		return decodeFail(data, FaultCrc);
	if (data.yencParts && (y.partEnd - y.partBegin + 1 != y.count || y.partEnd > data.yencFileSize))
		return decodeFail(data, FaultSize);
	bool last = data.progress.section >= data.progress.sections;
	if (last && data.yencFileSize != data.progress.written)
		return decodeFail(data, FaultSize);
	if (!data.yencParts && data.progress.sections == 1 && data.yencFileSize != y.count)
		return decodeFail(data, FaultSize);
	return ErrOkay;
}

Error MessageBody::decode(DecodeData& data)
{
	++data.progress.section;
	DiskFile file;
	Error e = file.Open(data.path, FileAccessRead, kDecodeLockWait);
	LineReader reader(file);
	if (e == ErrOkay)
		e = reader.Seek(data.sect.OffsetGet());
	if (e == ErrOkay) {
		switch (data.sect.EncodingGet()) {
		case MsgSectPlain:
		case MsgSectQuotPrint: e = decodePlain(data, reader); break;
		case MsgSectBase64: e = decodeBase64(data, reader); break;
		case MsgSectUuencode: e = decodeUuencode(data, reader); break;
		case MsgSectYenc: e = decodeYenc(data, reader); break;
		default: e = decodeFail(data, FaultStructure); break;
		}
	}
	Error closeErr = file.IsOpen() ? file.Close() : ErrOkay;
	if (e == ErrOkay)
		e = closeErr;
	if (e != ErrOkay)
		return e;
	if (data.progress.section >= data.progress.sections) {
		data.progress.expected = data.progress.written;
		if (data.sect.EncodingGet() == MsgSectUuencode && !data.uuEnd)
			return decodeFail(data, FaultStructure);
	}
	e = decodeFlush(data);
	if (e == ErrOkay && data.callback) {
		data.lastCall = TimeCore::TickCount();
		if (!data.callback(data.context, data.progress))
			e = ErrGmCancelled;
	}
	return e;
}

void MessageBody::decodeBegin(DecodeData& data, DiskFile& out, ProgressProc callback, void* context)
{
	Clear();
	mFault = FaultNone;
	mFaultPart = 0;
	data.callback = callback;
	data.context = context;
	data.out = &out;
	data.outBuf.resize(kOutBlock);
	TString path;
	if (out.PathGet(path) == ErrOkay) {
		TString root;
		PathMngr::SplitRootLeaf(path.String(), root, data.progress.name);
	}
}

Error MessageBody::Decode(
	const TString& path, long index, DiskFile& out, ProgressProc callback, void* context)
{
	DecodeData data;
	decodeBegin(data, out, callback, context);
	data.path = path;
	Error e = HeaderRead(path, kLockWait);
	if (e == ErrOkay && !sectFirstAt(index, data.sect))
		e = ErrFileInvalidData;
	if (e == ErrOkay && (data.sect.PartNumberGet() != 1 || data.sect.PartTotalGet() != 1))
		e = decodeFail(data, FaultPart);
	if (e == ErrOkay) {
		data.progress.sections = 1;
		data.progress.expected = LinesGet() * bytesPerLine(data.sect.EncodingGet());
		e = out.SizeSet(0);
	}
	if (e == ErrOkay)
		e = out.PositionSet(0, FilePtrStart);
	if (e == ErrOkay)
		e = decode(data);
	return e;
}

Error MessageBody::Decode(
	const std::vector<TString>& paths, DiskFile& out, ProgressProc callback, void* context)
{
	DecodeData data;
	decodeBegin(data, out, callback, context);
	if (paths.empty())
		return ErrFileInvalidData;
	long total = long(paths.size());
	data.path = paths[0];
	Error e = HeaderRead(paths[0], kLockWait);
	if (e == ErrOkay && !sectFirstAt(0, data.sect))
		e = decodeFail(data, FaultPart);
	if (e == ErrOkay && data.sect.PartTotalGet() != total)
		e = decodeFail(data, FaultPart);
	if (e == ErrOkay) {
		data.progress.sections = int32_t(total);
		data.progress.expected = LinesGet() * bytesPerLine(data.sect.EncodingGet()) * total;
		e = out.SizeSet(0);
	}
	if (e == ErrOkay)
		e = out.PositionSet(0, FilePtrStart);
	if (e == ErrOkay)
		e = decode(data);
	for (long i = 1; e == ErrOkay && i < total; ++i) {
		data.path = paths[size_t(i)];
		MessageBody part;
		e = part.HeaderRead(data.path, kLockWait);
		const MessageSect* found = nullptr;
		if (e == ErrOkay)
			for (const MessageSect& s : part.Sections())
				if (s.TypeGet() == MsgSectAttachment && s.PartNumberGet() > 1) {
					found = &s;
					break;
				}
		if (e != ErrOkay)
			break;
		if (!found || found->PartNumberGet() != i + 1 || found->PartTotalGet() != total) {
			data.sect.PartSet(int32_t(i + 1), int32_t(total));
			e = decodeFail(data, FaultPart);
			break;
		}
		// The part's own message names its charset and how it was sent.
		CharsetSet(part.CharsetGet());
		mData.attach = part.mData.attach;
		data.sect = *found;
		e = decode(data);
	}
	return e;
}

Error MessageBody::Decode(
	const TString& path, long index, const TString& outPath, ProgressProc callback, void* context)
{
	DiskFile out;
	Error e = out.OpenOrCreate(outPath, FileAccessReadWrite, kOutLockWait);
	if (e == ErrOkay)
		e = Decode(path, index, out, callback, context);
	if (e != ErrOkay && out.IsOpen())
		out.Remove();
	else if (out.IsOpen())
		e = out.Close();
	return e;
}

Error MessageBody::Decode(
	const std::vector<TString>& paths, const TString& outPath, ProgressProc callback, void* context)
{
	DiskFile out;
	Error e = out.OpenOrCreate(outPath, FileAccessReadWrite, kOutLockWait);
	if (e == ErrOkay)
		e = Decode(paths, out, callback, context);
	if (e != ErrOkay && out.IsOpen())
		out.Remove();
	else if (out.IsOpen())
		e = out.Close();
	return e;
}

Error MessageBody::PartsCollect(
	const TString& path, const std::vector<TString>& candidates, std::vector<PartSet>& sets)
{
	sets.clear();
	MessageBody first;
	Error e = first.HeaderRead(path, kLockWait);
	if (e != ErrOkay)
		return e;
	std::vector<MessageSect> list;
	first.sectFirstList(list);
	TString base;
	long number = 0, total = 0;
	first.AttrAttachmentPart(base, number, total);
	for (const MessageSect& s : list) {
		PartSet set;
		set.name = s.FilenameGet();
		set.total = s.PartTotalGet() < 1 ? 1 : s.PartTotalGet();
		set.paths.push_back(path);
		sets.push_back(std::move(set));
	}
	// Only the first binary of a message can be spread over others: continuations carry no
	// name of their own and are matched by the subject and sender.
	if (sets.empty() || sets[0].total <= 1)
		return ErrOkay;
	PartSet& set = sets[0];
	if (set.total > kPartsMax)
		return ErrFileInvalidData;
	std::vector<TString> byPart(size_t(set.total));
	byPart[0] = path;
	for (const TString& candidate : candidates) {
		if (candidate == path)
			continue;
		MessageBody other;
		if (other.HeaderRead(candidate, kLockWait) != ErrOkay)
			continue;
		TString otherBase;
		long n = 0, t = 0;
		other.AttrAttachmentPart(otherBase, n, t);
		if (t != set.total || n < 2 || n > t || otherBase != base || !byPart[size_t(n - 1)].Empty())
			continue;
		byPart[size_t(n - 1)] = candidate;
	}
	set.paths.clear();
	for (size_t i = 0; i < byPart.size(); ++i) {
		if (!byPart[i].Empty())
			set.paths.push_back(byPart[i]);
		else if (set.missing.size() < kMissingMax)
			set.missing.push_back(int32_t(i + 1));
	}
	return ErrOkay;
}

// ---- rendering

namespace {

constexpr long kChunkLines = 28;  // a chunk goes out after more lines than this
constexpr size_t kOutputMax = 4096;  // or after this many bytes of text
constexpr size_t kPendingMax = 65536;  // decoded text without a line end is cut here
constexpr long kHeadLineMax = TextFile::kLineMax;  // longer lines are no boundary or header
constexpr long long kRenderLockWait = 1000000;

// A localized text; the English one when the language has none.
void renderString(const char* key, TString& out, const char* arg)
{
	bool ok = arg ? Language::String(key, out, false, arg) : Language::String(key, out, false);
	if (ok)
		return;
	for (const LangData* row = kRenderRows; row->key; ++row)
		if (std::strcmp(row->key, key) == 0) {
			if (arg)
				Language::StringRaw(out, row->english, row->formats, arg);
			else
				Language::StringRaw(out, row->english, row->formats);
		}
}

// The length of the longest start of text, at most max bytes, that does not cut a UTF-8
// character; whole lines are preferred when one ends in the second half.
size_t utf8Cut(const std::string& text, size_t from, size_t max)
{
	size_t end = from + max;
	if (end >= text.size())
		return text.size() - from;
	size_t lf = text.rfind('\n', end - 1);
	if (lf != std::string::npos && lf >= from + max / 2)
		return lf + 1 - from;
	while (end > from && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
		--end;
	return end - from;
}

}  // namespace

void MessageBody::LineQuote(std::string& line)
{
	line.insert(0, !line.empty() && line[0] == '>' ? ">" : "> ");
}

void MessageBody::LineQuote(TString& line)
{
	line.InsertLeft(line.ByteFirst() == '>' ? ">" : "> ");
}

Error MessageBody::Render(const TString& path, RenderMode mode, RenderProc callback, void* context)
{
	Clear();
	TextDecoder decoder;
	RenderData data;
	data.callback = callback;
	data.context = context;
	data.decoder = &decoder;
	long long bodyStart = 0;
	TextFile head;
	Error e = head.Open(path, TextFile::ModeRead, kRenderLockWait);
	if (e == ErrOkay) {
		e = HeaderRead(head);
		if (e == ErrOkay)
			e = head.PositionGet(&bodyStart);
		Error closeErr = head.Close();
		if (e == ErrOkay)
			e = closeErr;
	}
	DiskFile file;
	if (e == ErrOkay)
		e = file.Open(path, FileAccessRead, kRenderLockWait);
	if (e == ErrOkay)
		e = render(data, mode, file, bodyStart);
	if (file.IsOpen()) {
		Error closeErr = file.Close();
		if (e == ErrOkay)
			e = closeErr;
	}
	if (e != ErrOkay && e != ErrGmCancelled)
		renderError(data, e);
	return e;
}

void MessageBody::renderError(RenderData& data, Error e)
{
	TString why, text;
	if (e == ErrGmCommandFailed)
		renderString("RenderNoBody", why, nullptr);
	else
		Err::Str(why, e);
	renderString("RenderFormat", text, why.String());
	std::string out = "\n";
	out.append(text.String(), size_t(text.ByteLength()));
	if (e == ErrFileInvalidData) {
		TString reparse;
		renderString("RenderReparse", reparse, nullptr);
		out += "\n\n";
		out.append(reparse.String(), size_t(reparse.ByteLength()));
	}
	renderSend(data, RenderTextPlain, out);
}

Error MessageBody::render(RenderData& data, RenderMode mode, DiskFile& file, long long bodyStart)
{
	data.charset = CharsetForceGet();
	data.encoding = ContentEncodingGet();
	data.kind = RenderTextPlain;
	data.quote = false;
	LineReader reader(file);
	if (mode == RenderModeRaw) {
		data.encoding = ContentEncoding8bit;
		return renderRaw(data, reader);
	}
	if (MessageStateGet() != MessageStateComplete ||
		(mode != RenderModeText && mode != RenderModeHtml && mode != RenderModeQuote))
		return ErrGmCommandFailed;
	data.quote = mode == RenderModeQuote;
	// A message whose sections were never recorded (stored by other means than a download)
	// has its body parsed here, in memory only, so that its parts can still be chosen.
	if (ParseNeeded()) {
		Error e = renderParse(reader, bodyStart);
		if (e != ErrOkay)
			return e;
		data.charset = CharsetForceGet();
	}
	return renderBody(data, reader, mode == RenderModeHtml, bodyStart);
}

Error MessageBody::renderParse(LineReader& reader, long long bodyStart)
{
	parseOpen();
	Error e = reader.Seek(bodyStart);
	bool lineStart = true;
	while (e == ErrOkay) {
		long long at = reader.Position();
		const char* s = nullptr;
		long len = 0;
		e = reader.Next(s, len);
		if (e != ErrOkay)
			break;
		if (lineStart)
			bodyLineAppend(at, lineText(s, len < kHeadLineMax ? len : kHeadLineMax));
		lineStart = !reader.Partial();
	}
	parseClose();
	return e == ErrFileEnd ? ErrOkay : e;
}

Error MessageBody::renderBody(RenderData& data, LineReader& reader, bool preferHtml, long long bodyStart)
{
	long html = sectHtml();
	long text = sectText();
	if (preferHtml && html >= 0)
		return renderSect(data, reader, RenderTextHtml, html);
	if (text >= 0)
		return renderSect(data, reader, RenderTextPlain, text);
	if (html >= 0)
		return renderSect(data, reader, RenderTextHtml, html);
	bool mime = !sectHasNonMimeAttachments() && (boundCount() > 0 || AttrMimeMessage());
	if (mime && sectCount() > 0)
		return ErrOkay;  // attachments only: nothing to show
	// A single-part message that is a binary sent as base64 (an image, an archive) has no
	// text either; decoding it as text would only show noise.
	if (mime && ContentTypeGet() == ContentTypeOther && data.encoding == ContentEncodingBase64)
		return ErrOkay;
	boundClear();
	data.kind = ContentTypeGet() == ContentTypeHtml ? RenderTextHtml : RenderTextPlain;
	data.offset = bodyStart;
	Error e = reader.Seek(bodyStart);
	return e == ErrOkay ? renderPlain(data, reader) : e;
}

Error MessageBody::renderSect(RenderData& data, LineReader& reader, RenderText kind, long offset)
{
	data.offset = offset;
	const char* s = nullptr;
	long len = 0;
	Error e = reader.Seek(offset);
	if (e == ErrOkay)
		e = reader.Next(s, len);
	if (e == ErrFileEnd || (e == ErrOkay && (!boundLike(s, len) || len > kHeadLineMax)))
		return ErrFileInvalidData;
	if (e != ErrOkay)
		return e;
	TString bound = lineText(s, len);
	bound.StripRight();
	boundAddLine(bound);
	MessageHead part;
	part.secondaryOpen();
	for (;;) {
		e = reader.Next(s, len);
		if (e == ErrFileEnd) {
			e = ErrOkay;
			break;
		}
		if (e != ErrOkay || isWhiteLine(s, len))
			break;
		TString line = lineText(s, len < kHeadLineMax ? len : kHeadLineMax);
		part.headLineAppend(line);
		if (reader.Partial())
			while (e == ErrOkay && reader.Partial())
				e = reader.Next(s, len);
	}
	part.secondaryClose();
	if (e != ErrOkay)
		return e;
	data.encoding = part.ContentEncodingGet();
	data.charset = part.CharsetGet() != kCharsetNone ? part.CharsetGet() : CharsetForceGet();
	data.kind = kind;
	return renderPlain(data, reader);
}

bool MessageBody::textBin(RenderData& data, const char* s, long len, long long offset)
{
	if (len > kHeadLineMax)
		return data.binState != 0;
	TString line = lineText(s, len);
	YencSect scratch;
	if (data.binState == 0) {
		MsgSectEncoding enc = offset <= 0x7FFFFFFF ? sectEncoding(long(offset)) : MsgSectEncNone;
		if (enc == MsgSectUuencode || BinText::UuLineStart(line))
			data.binState = 1;
		else if (enc == MsgSectYenc || scratch.LineStart(line))
			data.binState = 2;
		return data.binState != 0;
	}
	if ((data.binState == 1 && BinText::UuLineStop(line)) || (data.binState == 2 && scratch.LineStop(line)))
		data.binState = 0;
	return true;
}

Error MessageBody::renderPlain(RenderData& data, LineReader& reader)
{
	data.binState = 0;
	data.pending.clear();
	data.output.clear();
	data.outLines = 0;
	data.outLineStart = true;
	data.inLineStart = true;
	data.decoder->Reset(data.charset);
	// Binary blocks are found in the lines as stored; inside base64 they cannot be seen.
	data.hideBinary = data.encoding != ContentEncodingBase64;
	Error e = ErrOkay;
	bool signature = false;
	while (e == ErrOkay) {
		long long at = reader.Position();
		const char* s = nullptr;
		long len = 0;
		e = reader.Next(s, len);
		if (e != ErrOkay)
			break;
		bool lineStart = data.inLineStart;
		bool partial = reader.Partial();
		data.inLineStart = !partial;
		if (lineStart && boundLike(s, len) && len <= kHeadLineMax) {
			bool isEnd = false;
			if (boundFind(lineText(s, len), isEnd)) {
				e = ErrFileEnd;
				break;
			}
		}
		if (data.hideBinary) {
			bool hidden = lineStart ? textBin(data, s, len, at) : data.binState != 0;
			if (hidden)
				continue;
		}
		e = renderLine(data, s, len, partial, lineStart);
		if (e == ErrFileEnd)
			signature = true;
	}
	if (e != ErrFileEnd)
		return e;
	if (!signature) {
		e = renderTake(data, true);
		if (e != ErrOkay && e != ErrFileEnd)
			return e;
	}
	data.pending.clear();
	e = renderFlush(data, true);
	if (e == ErrOkay)
		e = renderSend(data, RenderTextDone, std::string());
	return e;
}

Error MessageBody::renderLine(RenderData& data, const char* s, long len, bool partial, bool lineStart)
{
	if (data.encoding == ContentEncodingBase64) {
		if (lineStart && !partial && isWhiteLine(s, len))
			return ErrOkay;
		std::vector<unsigned char> bytes(size_t(len) * 3 / 4 + 16);
		long n = BinText::Base64Decode(s, bytes.data(), long(bytes.size()), BinText::DataBinary);
		for (long i = 0; i < n; ++i)
			if (bytes[size_t(i)] != '\r')
				data.pending += char(bytes[size_t(i)]);
	} else if (data.encoding == ContentEncodingQuotedPrintable) {
		bool soft = !partial && len > 0 && s[len - 1] == '=';
		long end = soft ? len - 1 : len;
		for (long i = 0; i < end; ++i) {
			int hi = 0, lo = 0;
			if (s[i] == '=' && i + 2 < end && (hi = hexValue(s[i + 1])) >= 0 &&
				(lo = hexValue(s[i + 2])) >= 0) {
				data.pending += char(hi * 16 + lo);
				i += 2;
			} else {
				data.pending += s[i];
			}
		}
		if (!partial && !soft)
			data.pending += '\n';
	} else {
		data.pending.append(s, size_t(len));
		if (!partial)
			data.pending += '\n';
	}
	return renderTake(data, false);
}

Error MessageBody::renderTake(RenderData& data, bool atEnd)
{
	Error e = ErrOkay;
	size_t pos = 0;
	std::string& pending = data.pending;
	while (e == ErrOkay && pos < pending.size()) {
		size_t lf = pending.find('\n', pos);
		bool whole = lf != std::string::npos;
		size_t take = 0;
		if (whole)
			take = lf + 1 - pos;
		else if (atEnd || pending.size() - pos >= kPendingMax)
			take = pending.size() - pos;
		else
			break;
		const char* line = pending.data() + pos;
		if (data.quote && data.outLineStart) {
			// The signature separator ends what a reply quotes.
			if ((take == 4 && std::memcmp(line, "-- \n", 4) == 0) ||
				(atEnd && !whole && take == 3 && std::memcmp(line, "-- ", 3) == 0)) {
				pos = pending.size();
				e = ErrFileEnd;
				break;
			}
			data.output += line[0] == '>' ? ">" : "> ";
		}
		data.output.append(line, take);
		data.outLineStart = whole;
		pos += take;
		if (whole)
			++data.outLines;
		if (data.outLines > kChunkLines || data.output.size() >= kOutputMax)
			e = renderFlush(data, false);
	}
	pending.erase(0, pos);
	return e;
}

Error MessageBody::renderFlush(RenderData& data, bool final)
{
	data.utf8.clear();
	data.decoder->Feed(data.output.data(), long(data.output.size()), data.utf8, final);
	data.output.clear();
	data.outLines = 0;
	return renderSend(data, data.kind, data.utf8);
}

Error MessageBody::renderSend(RenderData& data, RenderText kind, const std::string& text)
{
	if (!data.callback)
		return ErrOkay;
	if (kind == RenderTextDone) {
		TString none;
		return data.callback(data.context, kind, none) ? ErrOkay : ErrGmCancelled;
	}
	size_t pos = 0;
	while (pos < text.size()) {
		size_t n = utf8Cut(text, pos, size_t(kRenderChunkMax));
		if (n == 0)
			n = text.size() - pos < 4 ? text.size() - pos : 4;  // never stall on a broken character
		TString chunk;
		chunk.AllowInvalidSet(true);
		chunk.AppendByte(text.data() + pos, long(n));
		if (!chunk.Valid())
			chunk.Clean();
		chunk.AllowInvalidSet(false);
		pos += n;
		if (!data.callback(data.context, kind, chunk))
			return ErrGmCancelled;
	}
	return ErrOkay;
}

Error MessageBody::renderRaw(RenderData& data, LineReader& reader)
{
	data.output.clear();
	data.outLines = 0;
	data.decoder->Reset(data.charset);
	long lines = 0;
	Error e = reader.Seek(0);
	while (e == ErrOkay) {
		const char* s = nullptr;
		long len = 0;
		e = reader.Next(s, len);
		if (e != ErrOkay)
			break;
		data.output.append(s, size_t(len));
		if (!reader.Partial()) {
			data.output += '\n';
			++lines;
		}
		// The first chunk after 30 lines, then one every 29.
		bool count = !reader.Partial() && (lines == 30 || (lines > 30 && (lines - 30) % 29 == 0));
		if (count || data.output.size() >= kOutputMax)
			e = renderFlush(data, false);
	}
	if (e != ErrFileEnd)
		return e;
	e = renderFlush(data, true);
	if (e == ErrOkay)
		e = renderSend(data, RenderTextDone, std::string());
	return e;
}
