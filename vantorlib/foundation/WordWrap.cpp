#include "WordWrap.h"

#include <cstring>

#include "Unicode.h"

namespace {

// Input from one C string, handed out as a single block.
struct StringInput {
	const char* data;
	unsigned long length;
	bool given;
};

bool stringRead(void* context, const char** data, unsigned long* length)
{
	StringInput* in = static_cast<StringInput*>(context);
	if (in->given)
		return false;
	in->given = true;
	*data = in->data;
	*length = in->length;
	return true;
}

// Output joined into one byte string.
struct StringOutput {
	std::string text;
	long lines = 0;
};

bool stringLine(void* context, const char* line)
{
	StringOutput* out = static_cast<StringOutput*>(context);
	if (out->lines++ > 0)
		out->text += '\n';
	out->text += line;
	return true;
}

bool isWhite(int c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

WordWrap::WordWrap(bool firstIndent, long indent, long width, bool hardBreaks, bool splitWords)
	: mWidth((int32_t)(width < 1 ? 1 : (width > 0x7fffffffL ? 0x7fffffffL : width))),
	  mIndent((int32_t)(indent < 0 ? 0 : (indent > 0x7fffffffL ? 0x7fffffffL : indent))),
	  mFirstIndent(firstIndent), mHardBreaks(hardBreaks), mSplitWords(splitWords)
{}

bool WordWrap::Wrap(const char* in, LineProc proc, void* context, bool firstIndent, long indent, long width,
	bool hardBreaks, bool splitWords)
{
	StringInput input{in != nullptr ? in : "", in != nullptr ? (unsigned long)std::strlen(in) : 0, false};
	return Wrap(stringRead, &input, proc, context, firstIndent, indent, width, hardBreaks, splitWords);
}

bool WordWrap::Wrap(const TString& in, LineProc proc, void* context, bool firstIndent, long indent,
	long width, bool hardBreaks, bool splitWords)
{
	StringInput input{in.String(), (unsigned long)in.ByteLength(), false};
	return Wrap(stringRead, &input, proc, context, firstIndent, indent, width, hardBreaks, splitWords);
}

bool WordWrap::Wrap(
	const char* in, TString& out, bool firstIndent, long indent, long width, bool hardBreaks, bool splitWords)
{
	StringInput input{in != nullptr ? in : "", in != nullptr ? (unsigned long)std::strlen(in) : 0, false};
	return toString(stringRead, &input, out, firstIndent, indent, width, hardBreaks, splitWords);
}

bool WordWrap::Wrap(const TString& in, TString& out, bool firstIndent, long indent, long width,
	bool hardBreaks, bool splitWords)
{
	// The input is read in full before out is touched, so in and out may be one string.
	StringInput input{in.String(), (unsigned long)in.ByteLength(), false};
	return toString(stringRead, &input, out, firstIndent, indent, width, hardBreaks, splitWords);
}

bool WordWrap::Wrap(ReadProc reader, void* readContext, LineProc proc, void* context, bool firstIndent,
	long indent, long width, bool hardBreaks, bool splitWords)
{
	WordWrap w(firstIndent, indent, width, hardBreaks, splitWords);
	w.mReader = reader;
	w.mReadContext = readContext;
	w.mLineProc = proc;
	w.mLineContext = context;
	return w.run();
}

bool WordWrap::Wrap(ReadProc reader, void* readContext, TString& out, bool firstIndent, long indent,
	long width, bool hardBreaks, bool splitWords)
{
	return toString(reader, readContext, out, firstIndent, indent, width, hardBreaks, splitWords);
}

bool WordWrap::toString(ReadProc reader, void* readContext, TString& out, bool firstIndent, long indent,
	long width, bool hardBreaks, bool splitWords)
{
	StringOutput output;
	WordWrap w(firstIndent, indent, width, hardBreaks, splitWords);
	w.mReader = reader;
	w.mReadContext = readContext;
	w.mLineProc = stringLine;
	w.mLineContext = &output;
	bool ok = w.run();
	if (hardBreaks && w.mLastByte == '\n')
		output.text += '\n';
	// The text is the caller's bytes rearranged; keep it even when it is not valid UTF-8.
	long bytes = 0, chars = 0;
	if (!Unicode::Validate(
			output.text.c_str(), (long)output.text.size(), (long)output.text.size(), &bytes, &chars) ||
		bytes != (long)output.text.size())
		out.AllowInvalidSet(true);
	out.AssignByte(output.text.c_str(), (long)output.text.size());
	return ok;
}

int WordWrap::byteGet()
{
	if (mPushed >= 0) {
		int c = mPushed;
		mPushed = -1;
		return c;
	}
	while (mBlockPos >= mBlockLen) {
		if (mInputEnded || mReader == nullptr)
			return -1;
		const char* data = nullptr;
		unsigned long length = 0;
		if (!mReader(mReadContext, &data, &length) || data == nullptr || length == 0) {
			mInputEnded = true;
			return -1;
		}
		mBlock = data;
		mBlockLen = length;
		mBlockPos = 0;
	}
	int c = (unsigned char)mBlock[mBlockPos++];
	// A NUL byte ends the text, as it would a C string.
	if (c == 0) {
		mInputEnded = true;
		mBlockPos = mBlockLen;
		return -1;
	}
	mLastByte = c;
	return c;
}

void WordWrap::byteUnget(int c)
{
	if (c >= 0)
		mPushed = c;
}

long WordWrap::indentNow() const
{
	return (mLines == 0 && !mFirstIndent) ? 0 : mIndent;
}

long WordWrap::roomLeft() const
{
	long room = (long)mWidth - (long)mLine.size() - indentNow();
	return room < 0 ? 0 : room;
}

bool WordWrap::run()
{
	for (;;) {
		mWord.clear();
		int c;
		while ((c = byteGet()) >= 0 && !isWhite(c))
			mWord += (char)c;
		if (c < 0)
			break;
		byteUnget(c);
		whiteRead();
		if (!mKeepGoing)
			break;
		wordPlace();
		if (!mKeepGoing)
			break;
	}
	if (mKeepGoing)
		wordPlace();
	if (mKeepGoing) {
		size_t end = mLine.find_last_not_of(" \t\r\n");
		if (end != std::string::npos)
			lineEmit(false);
	}
	return mKeepGoing;
}

void WordWrap::whiteRead()
{
	for (;;) {
		int c = byteGet();
		if (c == ' ')
			mPendingSpaces++;
		else if (c == '\t')
			mPendingSpaces += 4;
		else if (c == '\r')
			continue;
		else if (c == '\n') {
			int d;
			while ((d = byteGet()) == '\r') {
			}
			if (d == '\n') {
				// A paragraph break: end the line and leave one empty line.
				wordPlace();
				lineEnd();
				if (mKeepGoing) {
					mLine.clear();
					lineEmit(false);
				}
			} else {
				byteUnget(d);
				if (mHardBreaks) {
					wordPlace();
					lineEnd();
				} else {
					mSoftLineFeed = true;
				}
			}
			if (!mKeepGoing)
				return;
		} else {
			byteUnget(c);
			return;
		}
	}
}

void WordWrap::wordPlace()
{
	if (!mWord.empty()) {
		long length = (long)mWord.size();
		long freshRoom = (long)mWidth - (mLine.empty() ? indentNow() : (long)mIndent);
		if (length <= roomLeft()) {
			mLine += mWord;
		} else if (!mSplitWords || length <= freshRoom) {
			if (!mLine.empty())
				lineEmit(true);
			mLine += mWord;
		} else {
			// Cut the word, filling the room left on each line, at character boundaries.
			long pos = 0;
			while (pos < length && mKeepGoing) {
				long n = roomLeft();
				if (n > length - pos)
					n = length - pos;
				while (n > 0 && pos + n < length && ((unsigned char)mWord[pos + n] & 0xC0) == 0x80)
					n--;
				if (n == 0) {
					if (!mLine.empty()) {
						lineEmit(true);
						continue;
					}
					// Narrower than one character: the character still goes out whole.
					n = 1;
					while (pos + n < length && ((unsigned char)mWord[pos + n] & 0xC0) == 0x80)
						n++;
				}
				mLine.append(mWord, (size_t)pos, (size_t)n);
				pos += n;
				if (pos < length)
					lineEmit(true);
			}
		}
		mJustWrapped = false;
		mWord.clear();
	}
	long spaces = mPendingSpaces;
	if (mSoftLineFeed && spaces < 1)
		spaces = 1;
	mPendingSpaces = 0;
	mSoftLineFeed = false;
	if (spaces > 0 && mKeepGoing) {
		// Spaces beyond the end of the line are dropped with the line's trailing space anyway.
		long room = roomLeft();
		mLine.append((size_t)(spaces < room + 1 ? spaces : room + 1), ' ');
		mJustWrapped = false;
	}
	if (!mLine.empty() && roomLeft() <= 0 && mKeepGoing)
		lineEmit(true);
}

void WordWrap::lineEnd()
{
	if (mLine.empty() && mJustWrapped) {
		// The line already ended when it ran out of room.
		mJustWrapped = false;
		return;
	}
	lineEmit(false);
}

void WordWrap::lineEmit(bool wrapped)
{
	if (!mKeepGoing)
		return;
	std::string line;
	if (mLine == "-- ") {
		line = mLine;  // the signature separator keeps its space
	} else {
		size_t end = mLine.find_last_not_of(" \t\r\n");
		if (end != std::string::npos)
			line = mLine.substr(0, end + 1);
	}
	if (!line.empty())
		line.insert(0, (size_t)indentNow(), ' ');
	mLine.clear();
	mJustWrapped = wrapped;
	mLines++;
	if (mLineProc != nullptr && !mLineProc(mLineContext, line.c_str()))
		mKeepGoing = false;
}
