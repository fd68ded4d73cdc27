// The Usenet client of one account: downloads a group's new articles (headers only or whole)
// into message files, fetches the bodies of stored header-only messages, writes the server's
// newsgroup list to a file, catches a group up and posts the account's outgoing messages.
// The article bookkeeping of a group lives in its state file, read before and written after
// every group operation. Every finished message file goes to the owner through the download
// callback, which files it into the message store.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "Charset.h"
#include "DEntry.h"
#include "HeaderList.h"
#include "HeaderName.h"
#include "NNTPIndexList.h"
#include "SyncBatch.h"
#include "TString.h"
#include "TextProtocol.h"

class NNTP : public TextProtocol {
public:
	enum DownloadOrder : uint32_t {
		OrderOldest = 1,
		OrderNewest = 2,
	};

	// Called for every finished downloaded file (account, group, path of the file, type).
	using DownloadProc = void (*)(
		void* user, const TString& account, const TString& group, const TString& path, ActivityType type);
	// Called for every posted message (account, path of the outbox file, type).
	using UploadProc = void (*)(void* user, const TString& account, const TString& path, ActivityType type);

	// Working record of the operation running.
	struct DnldData {
		ActivityType type = ActivityNone;
		bool markedOnly = false;
		uint32_t nextIndex = 0;
		std::vector<DEntry> files;
		std::vector<TString> fileIds;  // Message-ID of each entry of files (body downloads)
		NNTPIndexList indexList;
		std::deque<uint32_t> sent;  // requests sent, reply not yet read
		std::vector<uint32_t> unsynced;  // handed over since the files were last made durable
		long long stateTime = 0;  // tick count of the last state file write
	};

	static constexpr uint32_t kCreatorDefault = 0x74787474;  // 'txtt'
	// Bounds against a server that never ends its data: bytes of one article, names of a list.
	static constexpr long long kArticleBytesMax = 64LL * 1024 * 1024;
	static constexpr size_t kListNamesMax = 1000000;
	static constexpr uint32_t kListEstimate = 50000;
	static constexpr uint32_t kStateEveryArticles = 1000;
	static constexpr long long kStateEveryMicros = 5000000;

	static bool TypeBody(uint32_t type) { return type == 10 || type == 11 || type == 13; }
	static bool TypeHeader(uint32_t type) { return type == 14; }
	static bool TypeArticle(uint32_t type) { return type == 9; }

	NNTP() = default;
	~NNTP() override;

	// Connects, then asks for reader mode (a server that knows no such mode may refuse it).
	Error Connect(const char* host, const char* user, const char* password, uint16_t port);
	Error Connect(const TString& host, const TString& user, const TString& password, uint16_t port);

	Error DownloadHeaders(const TString& group, const TString& stateFile);
	Error DownloadArticles(const TString& group, const TString& stateFile);
	Error DownloadBodiesAll(const TString& group, const TString& groupDirectory);
	Error DownloadBodiesMarked(const TString& group, const TString& groupDirectory);
	Error DownloadBody(const TString& group, const TString& messageFile);
	Error Catchup(const TString& group, const TString& stateFile);
	Error NewsgroupList(const TString& listFile);
	Error Upload(const TString& outboxDirectory);

	// Headers forced into every posted message; an existing name keeps its value.
	void HardSet(const TString& name, const TString& value);
	void HardSet(HeaderName name, const TString& value);
	void HardClear() { mHard.clear(); }
	const HeaderMap& HardGet() const { return mHard; }

	void DownloadProcSet(DownloadProc proc, void* user)
	{
		mDnldProc = proc;
		mDnldUser = user;
	}
	DownloadProc DownloadProcGet(void** user = nullptr) const
	{
		if (user)
			*user = mDnldUser;
		return mDnldProc;
	}
	void UploadProcSet(UploadProc proc, void* user)
	{
		mUpldProc = proc;
		mUpldUser = user;
	}
	UploadProc UploadProcGet(void** user = nullptr) const
	{
		if (user)
			*user = mUpldUser;
		return mUpldProc;
	}

	const DnldData& DnldDataGet() const { return mData; }

	// Set by the owner before each operation.
	uint32_t articleLimit = 0;  // 0: no limit
	uint32_t headerLimit = 0;
	uint32_t fileCreator = kCreatorDefault;
	uint32_t downloadOrder = OrderOldest;
	Charset charset = kCharsetNone;
	TString tempDirectory;  // written into by this session's thread only
	long long articleBytesMax = kArticleBytesMax;
	// A long download writes the state file this often (articles stored, or microseconds),
	// each time after making the files stored since the last write durable in one step, so
	// that a crash costs a few articles fetched again and never a number marked visited whose
	// file is lost.
	uint32_t stateEveryArticles = kStateEveryArticles;
	long long stateEveryMicros = kStateEveryMicros;

protected:
	const char* CStrExit() const override { return "QUIT"; }
	const char* CStrPassword() const override { return "AUTHINFO PASS"; }
	const char* CStrUsername() const override { return "AUTHINFO USER"; }

private:
	void dataClear();
	void dataSetup(ActivityType type, const TString& group);
	void dataSetupCount();
	Error stateRead(const TString& stateFile);
	Error stateWrite(const TString& stateFile, Error err);
	Error cmndGroup(const TString& group);
	Error groupOperation(ActivityType type, const TString& group, const TString& stateFile);
	Error filesDurable();
	Error stateCheckpoint(const TString& stateFile);
	Error headLoop(const TString& group, const TString& stateFile);
	Error dnldSend(bool& nothingLeft);
	Error replyRead(const char* expectCode, uint32_t number);
	Error dataLines(class MessageFile& file);
	Error headFile(const TString& group, uint32_t number);
	Error bodyScan(const TString& groupDirectory);
	Error bodyLoop(const TString& group);
	Error bodyFile(const TString& group);
	Error bodyDownload(ActivityType type, const TString& group, const TString& groupDirectory);
	void tempPath(TString& path);
	void handOver(const TString& group, const TString& path);

	DnldData mData;
	SyncBatch mBatch;  // the files of mData.unsynced, made durable before the next state write
	HeaderMap mHard;
	DownloadProc mDnldProc = nullptr;
	void* mDnldUser = nullptr;
	UploadProc mUpldProc = nullptr;
	void* mUpldUser = nullptr;
};
