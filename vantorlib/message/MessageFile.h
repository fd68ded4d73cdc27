// Message files: an article stored under a name made from its message-id, written line by
// line while it arrives, completed later with its body, created whole from a composed
// message, copied, and read back for posting.
#pragma once

#include <deque>

#include "Charset.h"
#include "Error.h"
#include "MessageBody.h"
#include "TString.h"

class SyncBatch;

class MessageFile : public MessageBody {
public:
	// A composed message to be stored.
	struct Data {
		MessageType type = MessageTypeUsenet;
		unsigned int fileInfo = 0;
		TString subject;
		TString newsgroupsTo;  // newsgroups for Usenet, recipients otherwise
		TString references;
		TString authorName;
		TString authorAddress;
		TString organization;
		TString account;
		TString userAgent;
		TString programURL;
		Charset charset = kCharsetISO8859_1;
		long lineLen = 72;
		TString body;
	};

	MessageFile() = default;
	~MessageFile() override;

	// Receiving an article. The file is synced to disk when it is closed, unless the receiver
	// gives a batch: the file is then added to it at its close, and the receiver syncs the
	// batch before it records the articles as received.
	void SyncLater(SyncBatch* batch) { mLater = batch; }
	// The download file lies in a folder that only this thread writes into: it is created
	// without locks or look-ups (DiskFile::ScratchSet).
	void ScratchSet(bool scratch) { mScratch = scratch; }
	Error DownloadOpen(const TString& path, MessageType type, unsigned int fileInfo);
	Error LineAppend(const TString& line);
	Error DownloadClose(Charset charset);

	// Appending a body to a headers-only message file.
	Error BodyOpen(const TString& path);
	Error BodyClose(bool success);

	Error Create(const TString& path, const Data& data);

	// Reading a stored message for posting: the header lines (with the given headers in place
	// of the message's own, without Date and the private headers), then the body lines.
	Error UploadOpen(const TString& path, const HeaderMap& uploadHeaders);
	Error UploadLine(TString& line);
	Error UploadClose();

	// Closes the file and renames it to the name made from its message-id.
	Error RenameToPreferred(TString& path);
	static Error Copy(const TString& destination, const TString& source);
	void PathGet(TString& path) const { path = mPath; }

	// Body line lengths for composed messages.
	static long LineLenMin() { return 60; }
	static long LineLenMax() { return 80; }
	static long LineLenMakeValid(long length);

private:
	enum Mode { ModeIdle, ModeHeaders, ModeBody, ModeUpload };

	Error writeLine(const TString& line);
	Error headerEnd();
	Error closeFile();
	void headerTrack(const TString& line);
	Error downloadState();
	Error downloadDurable(DiskFile& file);

	std::deque<TString> mUpload;
	long long mWriteOffset = 0;
	Mode mMode = ModeIdle;
	bool mAppending = false;  // a body appended to a headers-only file
	SyncBatch* mLater = nullptr;
	bool mScratch = false;
	long long mAppendStart = 0;
	// Where the Lines and state lines of the header being received were written.
	long long mLinesAt = -1;
	long long mLinesBytes = 0;
	long long mStateAt = -1;
	TString mStateWritten;
	TString mPath;
};
