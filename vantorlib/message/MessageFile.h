// Message files: an article stored under a name made from its message-id, written line by
// line while it arrives, completed later with its body, created whole from a composed
// message, copied, and read back for posting.
#pragma once

#include <deque>

#include "Charset.h"
#include "Error.h"
#include "MessageBody.h"
#include "TString.h"

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

	// Receiving an article. A durable file (the default) is synced to disk when it is closed;
	// a receiver that stores many articles in a row may turn that off and sync them all at once
	// (FileMngr::SyncVolume) before it records them as received.
	void DurableSet(bool durable) { mDurable = durable; }
	// A file received into a folder of this process's own, which no other process opens,
	// takes no exclusive lock.
	void PrivateSet(bool own) { mPrivate = own; }
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
	void track(const TString& line);
	Error headerEnd();
	Error closeFile();

	std::deque<TString> mUpload;
	long long mWriteOffset = 0;
	Mode mMode = ModeIdle;
	bool mAppending = false;  // a body appended to a headers-only file
	bool mDurable = true;
	bool mPrivate = false;
	// The header block as written, followed line by line so that DownloadClose can update
	// it in place without reading it back; exact while it reads back the same.
	MessageHead mWritten;
	bool mTracking = false;
	bool mWrittenExact = false;
	Error mWrittenErr = ErrOkay;
	long long mAppendStart = 0;
	TString mPath;
};
