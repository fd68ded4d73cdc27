// Breaks text into lines of a given width: folding header lines, storing composed bodies,
// diagnostic output. Works on bytes (one byte is one column), never cuts a UTF-8 character
// in two, and keeps the signature separator line "-- " intact.
#pragma once

#include <cstdint>
#include <string>

#include "TString.h"

class WordWrap {
public:
	// Receives each finished line (without line end); answering false stops the wrap.
	using LineProc = bool (*)(void* context, const char* line);
	// Gives the next block of input; answering false or an empty block ends the input.
	using ReadProc = bool (*)(void* context, const char** data, unsigned long* length);

	// All overloads take, after input and output: whether the first line is indented too,
	// the indent of indented lines (columns), the width (columns), whether a single line feed
	// ends a line (hard breaks), and whether words longer than a line are cut. They return
	// false when the line callback asked to stop.
	static bool Wrap(const char* in, LineProc proc, void* context, bool firstIndent, long indent, long width,
		bool hardBreaks, bool splitWords);
	static bool Wrap(const TString& in, LineProc proc, void* context, bool firstIndent, long indent,
		long width, bool hardBreaks, bool splitWords);
	// Output into a string: lines joined by line feeds, none after the last, except that with
	// hard breaks an input ending in a line feed gets one more.
	static bool Wrap(const char* in, TString& out, bool firstIndent, long indent, long width, bool hardBreaks,
		bool splitWords);
	static bool Wrap(const TString& in, TString& out, bool firstIndent, long indent, long width,
		bool hardBreaks, bool splitWords);
	static bool Wrap(ReadProc reader, void* readContext, LineProc proc, void* context, bool firstIndent,
		long indent, long width, bool hardBreaks, bool splitWords);
	static bool Wrap(ReadProc reader, void* readContext, TString& out, bool firstIndent, long indent,
		long width, bool hardBreaks, bool splitWords);

private:
	WordWrap(bool firstIndent, long indent, long width, bool hardBreaks, bool splitWords);

	bool run();
	int byteGet();
	void byteUnget(int c);
	void whiteRead();
	void wordPlace();
	void lineEnd();
	void lineEmit(bool wrapped);
	long indentNow() const;
	long roomLeft() const;

	static bool toString(ReadProc reader, void* readContext, TString& out, bool firstIndent, long indent,
		long width, bool hardBreaks, bool splitWords);

	// Settings.
	int32_t mWidth;
	int32_t mIndent;
	bool mFirstIndent;
	bool mHardBreaks;
	bool mSplitWords;

	// State.
	const char* mBlock = nullptr;
	unsigned long mBlockLen = 0;
	unsigned long mBlockPos = 0;
	int mPushed = -1;
	int mLastByte = -1;
	bool mInputEnded = false;
	std::string mLine;
	std::string mWord;
	long mPendingSpaces = 0;
	bool mSoftLineFeed = false;
	// The last line was ended by running out of room and nothing has been added since, so
	// a line feed right here must not produce an extra empty line.
	bool mJustWrapped = false;
	long mLines = 0;
	ReadProc mReader = nullptr;
	void* mReadContext = nullptr;
	LineProc mLineProc = nullptr;
	void* mLineContext = nullptr;
	bool mKeepGoing = true;
};
