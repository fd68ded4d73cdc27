#include "MessageHead.h"

#include <algorithm>

#include "CSet.h"
#include "DEntry.h"
#include "DiskFile.h"
#include "HeaderUtil.h"
#include "NetName.h"
#include "PathMngr.h"
#include "TextFile.h"

namespace {

const char kLinesName[] = "Lines";
const char kStateName[] = "X-Quillfern-State";
// Header lines are folded to this many bytes where white space allows.
constexpr long kFoldWidth = 76;

}  // namespace

void MessageHead::Clear()
{
	HeaderAttr::Clear();
	iterReset();
}

void MessageHead::iterReset()
{
	mLinesOffset = -1;
	mLinesLength = 0;
	mStateOffset = -1;
	mPending.CharsetSet(kCharsetISO8859_1);
	mPending.Erase();
	mGood = 0;
	mBad = 0;
	mDiscard = false;
}

// ---- reading

void MessageHead::readName(const TString& line, TString& name)
{
	name.CharsetSet(kCharsetISO8859_1);
	name.Erase();
	if (line.Empty() || Str::IsWhite(line.ByteFirst()))
		return;
	TString token;
	token.CharsetSet(kCharsetISO8859_1);
	const char* s = line.String();
	long i = 0;
	while (i < line.ByteLength() && !Str::IsWhite(s[i]))
		++i;
	token.AppendByte(s, i);
	token.StripChar(':');
	token.Trim();
	name = token;
}

void MessageHead::iterHeader()
{
	if (mPending.Empty())
		return;
	TString name, value;
	if (HeaderUtil::Parse(mPending, name, value)) {
		++mGood;
		if (name.CompareNoCase("X-Quillfern-Section") == 0) {
			MessageSect sect;
			if (sect.LineParse(value))
				sectAppend(sect);
		} else {
			HeaderSet(name, value);
		}
	} else {
		++mBad;
	}
	mPending.Erase();
}

MessageHead::Rewritable MessageHead::rewritable(const TString& line)
{
	long n = line.ByteLength();
	if (HeaderUtil::StartsHeader(line, kStateName) && n >= long(sizeof(kStateName) - 1) + 12)
		return RewriteState;
	if (HeaderUtil::StartsHeader(line, kLinesName) && n >= long(sizeof(kLinesName) - 1) + 8)
		return RewriteLines;
	return RewriteNone;
}

void MessageHead::iterAppend(const TString& line, long long offset)
{
	if (line.IsWhite())
		return;
	switch (rewritable(line)) {
	case RewriteState: mStateOffset = offset; break;
	case RewriteLines:
		mLinesOffset = offset;
		mLinesLength = line.ByteLength();
		break;
	default: break;
	}
	if (!Str::IsWhite(line.ByteFirst()))
		iterHeader();
	mPending.AppendByte(line.String(), line.ByteLength());
}

Error MessageHead::HeaderRead(TextFile& file)
{
	TString path;
	file.PathGet(path);
	return headerRead(file, path);
}

// The file's name is the leaf of path.
Error MessageHead::headerRead(TextFile& file, const TString& path)
{
	Clear();
	mData.attach = MessageAttachNone;
	mData.download = MessageDownloadNone;
	mData.read = MessageReadRead;
	mData.state = MessageStateHeaders;
	mData.type = MessageTypeUnknown;
	TString leaf;
	if (!path.Empty() && PathMngr::SplitLeaf(path, leaf))
		LeafSet(leaf);
	Error err = ErrOkay;
	for (;;) {
		long long offset = 0;
		err = file.PositionGet(&offset);
		if (err != ErrOkay)
			break;
		TString line;
		err = file.Read(line);
		if (err == ErrFileEnd) {
			err = ErrOkay;
			break;
		}
		if (err != ErrOkay || line.IsWhite())
			break;
		TString raw;
		raw.CharsetSet(kCharsetISO8859_1);
		raw.AppendByte(line.String(), line.ByteLength());
		iterAppend(raw, offset);
	}
	iterHeader();
	dataFromHeaders();
	if (err == ErrOkay && mGood == 0 && mBad > 2)
		err = ErrFileInvalidData;
	return err;
}

Error MessageHead::HeaderRead(const TString& path, long long lockWait)
{
	TextFile file;
	Error err = file.Open(path, TextFile::ModeRead, lockWait);
	if (err != ErrOkay) {
		Clear();
		return err;
	}
	// Named by the path it was opened under, which needs no look-up of the absolute path.
	err = headerRead(file, path);
	Error closeErr = file.Close();
	return err != ErrOkay ? err : closeErr;
}

Error MessageHead::HeaderRead(const DEntry& entry, long long lockWait)
{
	TString path;
	Error err = entry.PathGet(path);
	if (err != ErrOkay) {
		Clear();
		return err;
	}
	return HeaderRead(path, lockWait);
}

// ---- line by line

void MessageHead::downloadOpen(MessageType type)
{
	Clear();
	mData.attach = MessageAttachNone;
	mData.download = MessageDownloadNone;
	mData.read = MessageReadUnread;
	mData.state = MessageStateHeaders;
	mData.type = MessageData::TypeValid(type);
}

void MessageHead::secondaryOpen()
{
	Clear();
}

bool MessageHead::headLineAppend(TString& line)
{
	TString raw;
	raw.CharsetSet(kCharsetISO8859_1);
	raw.AppendByte(line.String(), line.ByteLength());
	if (!raw.Empty() && Str::IsWhite(raw.ByteFirst())) {
		if (mDiscard)
			return false;
		if (!mPending.Empty())
			mPending.AppendByte(raw.String(), raw.ByteLength());
		return true;
	}
	iterHeader();
	TString name;
	readName(raw, name);
	mDiscard = infoCustom(name);
	if (mDiscard)
		return false;
	mPending = raw;
	lineModify(line);
	return true;
}

void MessageHead::downloadClose()
{
	iterHeader();
	MessageData keep = mData;
	dataFromHeaders();
	// The state of a message being received is the receiver's, never the sender's.
	mData = keep;
	if (mData.type != MessageTypeEmail && mData.type != MessageTypeUsenet) {
		if (HeaderHas(kHeaderNewsgroups))
			mData.type = MessageTypeUsenet;
		else if (HeaderHas(kHeaderTo))
			mData.type = MessageTypeEmail;
	}
}

void MessageHead::lineModify(TString& line)
{
	TString name, value;
	if (!HeaderUtil::StartsHeader(line, kLinesName) || !HeaderUtil::Parse(line, name, value))
		return;
	if (name.CompareNoCase(kLinesName) != 0)
		return;
	value.Pad(' ', 6);
	TString out;
	HeaderUtil::Create(out, name, value);
	// Pad trims nothing away; keep the padded value even past Create's own trimming.
	line.CharsetSet(kCharsetISO8859_1);
	line = out;
	while (line.ByteLength() < long(sizeof(kLinesName) - 1) + 2 + 6)
		line.Append(' ');
}

// ---- writing

void MessageHead::dataToHeadersMin()
{
	TString state, old;
	const TString* base = HeaderGet(kHeaderQuillfernState, old) ? &old : nullptr;
	MessageData::ToString(mData, state, base);
	HeaderSet(kHeaderQuillfernState, state);
	TString id;
	HeaderGet(kHeaderMessageID, id);
	if (!NetName::MsgIdValid(id)) {
		NetName::MsgIdGen(id, false);
		HeaderSet(kHeaderMessageID, id);
	}
}

void MessageHead::dataToHeadersExtra()
{
	TString value;
	HeaderUtil::CreateLines(value, mLines);
	HeaderSet(kHeaderLines, value);
	HeaderUtil::CreateContentEncoding(value, mContentEncoding);
	HeaderSet(kHeaderContentTransferEncoding, value);
	if (!HeaderHas(kHeaderContentType)) {
		HeaderUtil::CreateContentType(value, mContentType, CharsetForceGet());
		HeaderSet(kHeaderContentType, value);
	}
}

void MessageHead::lineWrite(std::vector<TString>& lines, const HeaderMap* uploadHeaders)
{
	lines.clear();
	dataToHeadersMin();
	dataToHeadersExtra();
	if (uploadHeaders) {
		for (HeaderName h : {kHeaderDate, kHeaderQuillfernAccount, kHeaderQuillfernLeaf,
				 kHeaderQuillfernSection, kHeaderQuillfernState})
			HeaderDel(h);
		for (const auto& [name, value] : *uploadHeaders) {
			HeaderDel(name);
			HeaderEncode(name, value);
		}
	}
	std::vector<std::pair<int, const HeaderMap::value_type*>> order;
	for (const auto& entry : mHeaders) {
		int key = infoSort(entry.first);
		order.emplace_back(key < 0 ? 6000 : key, &entry);
	}
	// The map is already in name order, so a stable sort by key keeps unknown names sorted.
	std::stable_sort(
		order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
	for (const auto& [key, entry] : order) {
		TString line, wrapped;
		HeaderUtil::Create(line, entry->first, entry->second);
		HeaderUtil::Fold(wrapped, line, kFoldWidth);
		while (!wrapped.Empty() && wrapped.ByteLast() == '\n')
			wrapped.EraseRightByte(1);
		lineModify(wrapped);
		if (!wrapped.Empty())
			lines.push_back(wrapped);
	}
	lines.emplace_back();
}

Error MessageHead::HeaderWrite(TextFile& file)
{
	if (!file.IsOpen())
		return ErrFileNotOpen;
	std::vector<TString> lines;
	lineWrite(lines, nullptr);
	Error err = ErrOkay;
	for (const TString& line : lines)
		if (err == ErrOkay)
			err = file.Write(line);
	return err;
}

Error MessageHead::HeaderWrite(const TString& path, unsigned int fileInfo)
{
	TextFile file;
	Error err = fileCreate(file, path, fileInfo);
	if (err == ErrOkay)
		err = HeaderWrite(file);
	Error closeErr = file.IsOpen() ? file.Close() : ErrOkay;
	return err != ErrOkay ? err : closeErr;
}

Error MessageHead::HeaderWrite(const DEntry& entry, unsigned int fileInfo)
{
	TString path;
	Error err = entry.PathGet(path);
	return err != ErrOkay ? err : HeaderWrite(path, fileInfo);
}

Error MessageHead::fileCreate(TextFile& file, const TString& path, unsigned int fileInfo)
{
	Error err = file.Open(path, TextFile::ModeWrite, kLockWait);
	FileData data;
	data.type = kFileType;
	data.creator = fileInfo;
	if (err == ErrOkay)
		err = file.TypeSet(&data);
	if (err == ErrOkay)
		err = file.EditorSet();
	return err;
}

Error MessageHead::fileInfoSet(const TString& path, unsigned int fileInfo)
{
	TextFile file;
	Error err = file.Open(path, TextFile::ModeAppend, kLockWait);
	FileData data;
	data.type = kFileType;
	data.creator = fileInfo;
	if (err == ErrOkay)
		err = file.TypeSet(&data);
	if (err == ErrOkay)
		err = file.EditorSet();
	Error closeErr = file.IsOpen() ? file.Close() : ErrOkay;
	return err != ErrOkay ? err : closeErr;
}

// ---- in-place update

Error MessageHead::StateWrite(const TString& path)
{
	MessageHead stored;
	Error err = stored.HeaderRead(path, kLockWait);
	if (err != ErrOkay)
		return err;
	if (stored.mLinesOffset < 0 && stored.mStateOffset < 0)
		return ErrOkay;
	TString oldState;
	bool hasState = stored.mStateOffset >= 0 && stored.HeaderGet(kHeaderQuillfernState, oldState);
	bool hasLines = stored.mLinesOffset >= 0 && stored.HeaderHas(kHeaderLines);
	TString lines, state;
	err = stateLines(stored.mLinesLength, hasState ? &oldState : nullptr, lines, state);
	if (err != ErrOkay)
		return err;
	DiskFile file;
	err = file.Open(path, FileAccessReadWrite, kLockWait);
	unsigned long long done = 0;
	if (err == ErrOkay && hasLines)
		err =
			file.WriteAt(stored.mLinesOffset, lines.String(), (unsigned long long)lines.ByteLength(), &done);
	if (err == ErrOkay && hasState)
		err =
			file.WriteAt(stored.mStateOffset, state.String(), (unsigned long long)state.ByteLength(), &done);
	if (err == ErrOkay)
		err = file.Flush();
	Error closeErr = file.IsOpen() ? file.Close() : ErrOkay;
	return err != ErrOkay ? err : closeErr;
}

Error MessageHead::stateLines(long long linesBytes, const TString* oldState, TString& lines, TString& state)
{
	lines.Erase();
	state.Erase();
	// Checked before anything is written, so that a refused update leaves the file as it was.
	if (oldState && oldState->ByteLength() != 10)
		return ErrFileInvalidData;
	// The new value fills the old line exactly: padded with spaces, and a count with more
	// digits than the line has room for is written as the largest that fits.
	int width = int(std::min<long long>(linesBytes - long(sizeof(kLinesName) - 1) - 2, 18));
	long long most = 1;
	for (int i = 0; i < width; ++i)
		most *= 10;
	long long count = std::clamp<long long>(mLines, 0, most - 1);
	lines.Fmt("%s: %-*lld", kLinesName, width, count);
	if (oldState) {
		TString value;
		MessageData::ToString(mData, value, oldState);
		state.Fmt("%s: %s", kStateName, value.String());
	}
	return ErrOkay;
}

Error MessageHead::StateWrite(const DEntry& entry)
{
	TString path;
	Error err = entry.PathGet(path);
	return err != ErrOkay ? err : StateWrite(path);
}

bool MessageHead::ParseNeeded() const
{
	if (mData.state != MessageStateComplete || sectCount() > 0)
		return false;
	return mData.attach == MessageAttachFirst || mData.attach == MessageAttachSecondary ||
		mContentType == ContentTypeMultipart || mContentType == ContentTypePartial ||
		mContentType == ContentTypeHtml;
}
