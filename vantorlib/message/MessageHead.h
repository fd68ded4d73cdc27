// A header block read from and written to a message file: reading (with folded lines and
// the private headers), writing in a fixed order folded at 76 columns, the in-place update of
// the two fixed-width values (Lines and the state string), and the line-by-line interface
// used while an article arrives.
#pragma once

#include <cstdint>
#include <vector>

#include "Error.h"
#include "HeaderAttr.h"
#include "TString.h"

class DEntry;
class TextFile;

class MessageHead : public HeaderAttr {
public:
	// The four-character file type of message files.
	static constexpr unsigned int kFileType = 0x514D5347;  // 'QMSG'
	// The lock wait of the engine's opens.
	static constexpr long long kLockWait = 1000000;

	MessageHead() { MessageHead::Clear(); }
	void Clear() override;

	Error HeaderRead(TextFile& file);
	Error HeaderRead(const TString& path, long long lockWait);
	Error HeaderRead(const DEntry& entry, long long lockWait);

	Error HeaderWrite(TextFile& file);
	Error HeaderWrite(const TString& path, unsigned int fileInfo);
	Error HeaderWrite(const DEntry& entry, unsigned int fileInfo);

	// Rewrites the Lines and state values of an existing message file in place, and syncs
	// the file.
	Error StateWrite(const TString& path);
	Error StateWrite(const DEntry& entry);

	bool ParseNeeded() const;

	long long LinesOffsetGet() const { return mLinesOffset; }
	long long StateOffsetGet() const { return mStateOffset; }
	long GoodCount() const { return mGood; }
	long BadCount() const { return mBad; }

	static Error fileCreate(TextFile& file, const TString& path, unsigned int fileInfo);
	static Error fileInfoSet(const TString& path, unsigned int fileInfo);

	// Line by line, while an article arrives. headLineAppend answers whether the line is
	// to be written (private headers and their continuation lines are not) and pads Lines.
	void downloadOpen(MessageType type);
	bool headLineAppend(TString& line);
	void downloadClose();
	// The same for the header block of one MIME part inside a body.
	void secondaryOpen();
	void secondaryClose() { downloadClose(); }

	// A "Lines" header's value padded with spaces to 6 characters.
	static void lineModify(TString& line);

	// The header lines to write (each entry possibly several lines joined by LF), ending
	// with an empty entry. With uploadHeaders (posting) the private headers and Date go and
	// the given headers replace the message's own.
	void lineWrite(std::vector<TString>& lines, const HeaderMap* uploadHeaders);

protected:
	Error headerRead(TextFile& file, const TString& path);
	// The new Lines and state lines of a message file, each exactly as long as the line it
	// replaces: linesBytes is the length of the old Lines line, oldState the old state value
	// (anything but 10 characters is ErrFileInvalidData; none: no state line).
	Error stateLines(long long linesBytes, const TString* oldState, TString& lines, TString& state);

	// Whether a header line is one whose value is rewritten in place (long enough to hold it).
	enum Rewritable { RewriteNone, RewriteLines, RewriteState };
	static Rewritable rewritable(const TString& line);

	void iterReset();
	void iterAppend(const TString& line, long long offset);
	void iterHeader();
	static void readName(const TString& line, TString& name);
	void dataToHeadersMin();
	void dataToHeadersExtra();

	long long mLinesOffset = -1;
	long long mLinesLength = 0;  // bytes of the Lines line at mLinesOffset
	long long mStateOffset = -1;
	TString mPending;
	int32_t mGood = 0;
	int32_t mBad = 0;
	bool mDiscard = false;
};
