#include "MessageFile.h"

#include "CSet.h"
#include "FileMngr.h"
#include "NetName.h"
#include "PathMngr.h"
#include "SyncBatch.h"
#include "WordWrap.h"

MessageFile::~MessageFile()
{
	if (mFile.IsOpen())
		mFile.Close();
}

long MessageFile::LineLenMakeValid(long length)
{
	if (length < LineLenMin())
		return LineLenMin();
	if (length > LineLenMax())
		return LineLenMax();
	return length;
}

Error MessageFile::closeFile()
{
	Error err = mFile.IsOpen() ? mFile.Close() : ErrOkay;
	mMode = ModeIdle;
	return err;
}

// One line to the file; a line longer than a text file line is written in pieces, so that
// nothing of it is lost.
Error MessageFile::writeLine(const TString& line)
{
	Error err = ErrOkay;
	long n = line.ByteLength();
	if (n <= TextFile::kLineMax) {
		headerTrack(line);
		err = mFile.Write(line);
		if (err == ErrOkay)
			err = mFile.PositionGet(&mWriteOffset);
	} else {
		for (long at = 0; at < n && err == ErrOkay; at += TextFile::kLineMax) {
			TString piece;
			piece.CharsetSet(kCharsetISO8859_1);
			piece.AppendByte(line.String() + at, std::min<long>(TextFile::kLineMax, n - at));
			headerTrack(piece);
			err = mFile.Write(piece);
			if (err == ErrOkay)
				err = mFile.PositionGet(&mWriteOffset);
		}
	}
	return err;
}

// While the header block is written, the lines whose values are rewritten at the close are
// noted where they start, by the same rules a reader of the file finds them with.
void MessageFile::headerTrack(const TString& line)
{
	if (mMode != ModeHeaders)
		return;
	switch (rewritable(line)) {
	case RewriteState: mStateAt = mWriteOffset; break;
	case RewriteLines:
		mLinesAt = mWriteOffset;
		mLinesBytes = line.ByteLength();
		break;
	default: break;
	}
}

// ---- receiving

Error MessageFile::DownloadOpen(const TString& path, MessageType type, unsigned int fileInfo)
{
	if (mFile.IsOpen())
		DownloadClose(kCharsetNone);
	Clear();
	mUpload.clear();
	mAppending = false;
	mFile.ScratchSet(mScratch);
	Error err = fileCreate(mFile, path, fileInfo);
	mFile.ScratchSet(false);
	if (err != ErrOkay) {
		closeFile();
		return err;
	}
	mPath = path;
	mLinesAt = -1;
	mLinesBytes = 0;
	mStateAt = -1;
	mStateWritten.Erase();
	downloadOpen(type);
	TString leaf;
	if (PathMngr::SplitLeaf(path, leaf))
		LeafSet(leaf);
	mWriteOffset = 0;
	mMode = ModeHeaders;
	return ErrOkay;
}

Error MessageFile::headerEnd()
{
	downloadClose();
	Error err = ErrOkay;
	TString id, line;
	HeaderGet(kHeaderMessageID, id);
	if (!NetName::MsgIdValid(id)) {
		NetName::MsgIdGen(id, false);
		HeaderSet(kHeaderMessageID, id);
		HeaderUtil::Create(line, TString("Message-ID"), id);
		err = writeLine(line);
	}
	TString state;
	MessageData::ToString(mData, state);
	HeaderSet(kHeaderQuillfernState, state);
	mStateWritten = state;
	HeaderUtil::Create(line, TString("X-Quillfern-State"), state);
	if (err == ErrOkay)
		err = writeLine(line);
	return err;
}

Error MessageFile::LineAppend(const TString& line)
{
	if (!mFile.IsOpen() || (mMode != ModeHeaders && mMode != ModeBody))
		return ErrFileNotOpen;
	if (mMode == ModeHeaders) {
		if (line.IsWhite()) {
			Error err = headerEnd();
			parseOpen();
			mMode = ModeBody;
			return err == ErrOkay ? writeLine(line) : err;
		}
		TString copy(line);
		return headLineAppend(copy) ? writeLine(copy) : ErrOkay;
	}
	bodyLineAppend(mWriteOffset, line);
	return writeLine(line);
}

Error MessageFile::DownloadClose(Charset charset)
{
	if (!mFile.IsOpen() || mAppending)
		return ErrFileNotOpen;
	Error err = ErrOkay;
	if (mMode == ModeHeaders) {
		// Headers only: the block is finished with the state line and one empty line.
		err = headerEnd();
		if (err == ErrOkay)
			err = writeLine(TString(""));
	} else {
		parseClose();
	}
	CharsetSuggest(charset);
	if (mBodyLines > 0) {
		mLines = mBodyLines;
		mData.download = MessageDownloadComplete;
		mData.state = MessageStateComplete;
	}
	if (err == ErrOkay)
		err = downloadState();
	// A message with sections is written anew below; only the final file is made durable.
	if (err == ErrOkay && sectCount() == 0)
		err = downloadDurable(mFile);
	Error closeErr = closeFile();
	if (err == ErrOkay)
		err = closeErr;
	if (err == ErrOkay && sectCount() > 0) {
		err = parseRewrite(mPath);
		DiskFile rewritten;
		if (err == ErrOkay)
			err = rewritten.Open(mPath, FileAccessRead, kLockWait);
		if (err == ErrOkay)
			err = downloadDurable(rewritten);
	}
	return err;
}

// The final Lines and state values, written over the lines noted while the header was
// written, through the file still open (most often still in its buffer): the writer knows
// what it wrote and reads nothing back.
Error MessageFile::downloadState()
{
	TString old;
	bool hasState = mStateAt >= 0 && HeaderGet(kHeaderQuillfernState, old) && old == mStateWritten;
	bool hasLines = mLinesAt >= 0 && HeaderHas(kHeaderLines);
	if (!hasState && !hasLines)
		return ErrOkay;
	TString lines, state;
	Error err = stateLines(mLinesBytes, hasState ? &mStateWritten : nullptr, lines, state);
	unsigned long long done = 0;
	if (err == ErrOkay && hasLines)
		err = mFile.Overwrite(mLinesAt, lines.String(), (unsigned long long)lines.ByteLength(), &done);
	if (err == ErrOkay && hasState)
		err = mFile.Overwrite(mStateAt, state.String(), (unsigned long long)state.ByteLength(), &done);
	return err;
}

// A received file reaches the disk at its close, or joins the receiver's batch.
Error MessageFile::downloadDurable(DiskFile& file)
{
	return mLater ? mLater->Add(file) : file.Flush();
}

// ---- appending a body

Error MessageFile::BodyOpen(const TString& path)
{
	if (mFile.IsOpen())
		closeFile();
	Clear();
	mPath = path;
	Error err = mFile.Open(path, TextFile::ModeRead, kLockWait);
	if (err == ErrOkay)
		err = HeaderRead(mFile);
	if (err == ErrOkay)
		err = mFile.PositionGet(&mBodyStart);
	if (err == ErrOkay && mData.state != MessageStateHeaders)
		err = ErrFileInvalidData;
	Error closeErr = mFile.IsOpen() ? mFile.Close() : ErrOkay;
	if (err == ErrOkay)
		err = closeErr;
	if (err == ErrOkay)
		err = mFile.Open(path, TextFile::ModeAppend, kLockWait);
	if (err == ErrOkay)
		err = mFile.PositionGet(&mWriteOffset);
	if (err != ErrOkay) {
		closeFile();
		return err;
	}
	mAppendStart = mWriteOffset;
	mAppending = true;
	parseOpen();
	mMode = ModeBody;
	return ErrOkay;
}

Error MessageFile::BodyClose(bool success)
{
	if (!mFile.IsOpen() || !mAppending)
		return ErrFileNotOpen;
	mAppending = false;
	Error err = ErrOkay;
	if (success) {
		parseClose();
		err = closeFile();
		if (mBodyLines > 0)
			mLines = mBodyLines;
		mData.download = MessageDownloadComplete;
		mData.read = MessageReadUnread;
		mData.state = MessageStateComplete;
		if (err == ErrOkay)
			err = StateWrite(mPath);
		if (err == ErrOkay)
			err = parseRewrite(mPath);
		return err;
	}
	// A failed body leaves the file as it was before, so that a later attempt starts clean.
	err = mFile.SizeSet((unsigned long long)mAppendStart);
	Error closeErr = closeFile();
	if (err == ErrOkay)
		err = closeErr;
	mData.download = MessageDownloadFailed;
	mData.state = MessageStateHeaders;
	Error stateErr = StateWrite(mPath);
	return err != ErrOkay ? err : stateErr;
}

// ---- composed messages

namespace {

struct BodyWriter {
	TextFile* file;
	Charset charset;
	long count = 0;
	Error err = ErrOkay;
};

bool bodyLine(void* context, const char* text)
{
	BodyWriter* w = static_cast<BodyWriter*>(context);
	TString line, out;
	line.AllowInvalidSet(true);
	line.AppendByte(text, Str::Len(text));
	out.CharsetSet(w->charset);
	CSet::Convert(kCharsetUTF8, line, w->charset, out);
	w->err = w->file->Write(out);
	if (w->err != ErrOkay)
		return false;
	++w->count;
	return true;
}

}  // namespace

Error MessageFile::Create(const TString& path, const Data& data)
{
	if (mFile.IsOpen())
		closeFile();
	Clear();
	mPath = path;
	Charset cs = CSet::Available(data.charset) ? data.charset : kCharsetISO8859_1;
	mCharset = cs;
	mData.charset = cs;
	mContentEncoding = ContentEncoding8bit;
	mContentType = ContentTypePlain;
	mLines = 1;
	mData.attach = MessageAttachNone;
	mData.download = MessageDownloadComplete;
	mData.read = MessageReadUnread;
	mData.state = MessageStateComplete;
	mData.type = MessageData::TypeValid(data.type);

	TString value;
	HeaderSet(mData.type == MessageTypeUsenet ? kHeaderNewsgroups : kHeaderTo, data.newsgroupsTo);
	HeaderUtil::CreateDate(value);
	HeaderSet(kHeaderDate, value);
	HeaderUtil::CreateMimeVersion(value);
	HeaderSet(kHeaderMimeVersion, value);
	NetName::MsgIdGen(value, false);
	HeaderSet(kHeaderMessageID, value);
	HeaderUtil::CreateFrom(value, data.authorName, data.authorAddress);
	HeaderEncode(kHeaderFrom, value);
	HeaderEncode(kHeaderSubject, data.subject);
	if (!data.userAgent.Empty())
		HeaderSet(kHeaderUserAgent, data.userAgent);
	if (!data.organization.Empty())
		HeaderEncode(kHeaderOrganization, data.organization);
	if (!data.account.Empty())
		HeaderEncode(kHeaderQuillfernAccount, data.account);
	if (!data.programURL.Empty())
		HeaderSet(kHeaderProgramURL, data.programURL);
	if (!data.references.Empty())
		HeaderSet(kHeaderReferences, data.references);
	TString id;
	HeaderGet(kHeaderMessageID, id);
	TString leaf;
	if (PathMngr::SplitLeaf(path, leaf))
		LeafSet(leaf);

	Error err = fileCreate(mFile, path, data.fileInfo);
	if (err == ErrOkay)
		err = HeaderWrite(mFile);
	BodyWriter writer{&mFile, cs};
	if (err == ErrOkay) {
		bool ok = WordWrap::Wrap(
			data.body, bodyLine, &writer, false, 0, LineLenMakeValid(data.lineLen), true, true);
		if (writer.err != ErrOkay)
			err = writer.err;
		else if (!ok || writer.count == 0)
			err = ErrFileWriteError;
	}
	mLines = int32_t(writer.count > 0 ? writer.count : 1);
	Error closeErr = closeFile();
	if (err == ErrOkay)
		err = closeErr;
	if (err == ErrOkay)
		err = StateWrite(path);
	return err;
}

// ---- posting

Error MessageFile::UploadOpen(const TString& path, const HeaderMap& uploadHeaders)
{
	if (mFile.IsOpen())
		closeFile();
	Clear();
	mUpload.clear();
	mPath = path;
	Error err = mFile.Open(path, TextFile::ModeRead, kLockWait);
	if (err == ErrOkay)
		err = HeaderRead(mFile);
	if (err != ErrOkay) {
		closeFile();
		return err;
	}
	std::vector<TString> lines;
	lineWrite(lines, &uploadHeaders);
	for (const TString& entry : lines) {
		// Folded entries hold their lines joined by line feeds.
		const char* s = entry.String();
		long n = entry.ByteLength(), start = 0;
		for (long i = 0; i <= n; ++i) {
			if (i < n && s[i] != '\n')
				continue;
			TString one;
			one.CharsetSet(kCharsetISO8859_1);
			one.AppendByte(s + start, i - start);
			mUpload.push_back(one);
			start = i + 1;
		}
	}
	mMode = ModeUpload;
	return ErrOkay;
}

Error MessageFile::UploadLine(TString& line)
{
	if (!mFile.IsOpen() || mMode != ModeUpload)
		return ErrFileNotOpen;
	if (!mUpload.empty()) {
		line = mUpload.front();
		mUpload.pop_front();
		return ErrOkay;
	}
	Error err = mFile.Read(line);
	// An over-long stored line is sent as it was stored, in pieces.
	return err == ErrFileLineTooLong ? ErrOkay : err;
}

Error MessageFile::UploadClose()
{
	Error err = closeFile();
	mUpload.clear();
	Clear();
	return err;
}

// ---- names and copies

Error MessageFile::RenameToPreferred(TString& path)
{
	closeFile();
	TString leaf, root, target;
	AttrFilename(leaf);
	PathMngr::SplitRoot(path, root);
	target = root;
	PathMngr::Append(target, leaf);
	if (target == path)
		return ErrOkay;
	// In one step: a file of that name left over is replaced, and never is neither there.
	Error err = FileMngr::Replace(path, target);
	if (err == ErrOkay) {
		path = target;
		mPath = target;
	}
	return err;
}

Error MessageFile::Copy(const TString& destination, const TString& source)
{
	TextFile in, out;
	Error err = in.Open(source, TextFile::ModeRead, kLockWait);
	bool created = false;
	if (err == ErrOkay) {
		err = fileCreate(out, destination, 0);
		created = err == ErrOkay;
	}
	while (err == ErrOkay) {
		TString line;
		err = in.Read(line);
		if (err == ErrFileEnd) {
			err = ErrOkay;
			break;
		}
		if (err == ErrOkay || err == ErrFileLineTooLong)
			err = out.Write(line);
	}
	Error e = in.IsOpen() ? in.Close() : ErrOkay;
	if (err == ErrOkay)
		err = e;
	e = out.IsOpen() ? out.Close() : ErrOkay;
	if (err == ErrOkay)
		err = e;
	// No half-made copy is left behind.
	if (err != ErrOkay && created)
		FileMngr::Remove(destination);
	return err;
}
