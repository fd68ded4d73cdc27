#include "MessageBody.h"

#include <vector>

#include "BinText.h"
#include "DiskFile.h"
#include "FileMngr.h"
#include "PathMngr.h"
#include "TimeCore.h"

bool MessageBody::sStarted = false;

namespace {

const char kSectionName[] = "X-Quillfern-Section";
const char kStateName[] = "X-Quillfern-State";
const char kLinesName[] = "Lines";

bool startsHeader(const TString& line, const char* name)
{
	long n = Str::Len(name);
	if (line.ByteLength() <= n || Str::MemCmp(line.String(), name, (unsigned long)n, false) != 0)
		return false;
	const char* p = line.String() + n;
	while (*p == ' ' || *p == '\t')
		++p;
	return *p == ':';
}

}  // namespace

bool MessageBody::Start()
{
	sStarted = true;
	return true;
}

void MessageBody::Stop()
{
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
			dropping = startsHeader(line, kSectionName) || startsHeader(line, kStateName);
		if (dropping)
			continue;
		if (!continuation && startsHeader(line, kLinesName)) {
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
	MessageData::ToString(mData, stateValue, HeaderGet(kHeaderQuillfernState, oldState) ? &oldState : nullptr);
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
	if (err == ErrOkay)
		err = FileMngr::Remove(path);
	if (err == ErrOkay)
		err = FileMngr::Rename(tempPath, path);
	// The message file stays as it was until the new one is complete; a half-made copy goes.
	if (err != ErrOkay && FileMngr::Exists(tempPath) == ErrOkay && FileMngr::Exists(path) == ErrOkay)
		FileMngr::Remove(tempPath);
	return err;
}
