// The account driver of the network thread: one NNTP session, connected to one account at a
// time, that runs the requests of the pipeline and files what it downloads into the store.
#pragma once

#include <atomic>
#include <cstdint>

#include "Error.h"
#include "NNTP.h"
#include "NetRequest.h"
#include "TString.h"

class NetAcct {
public:
	NetAcct() = default;
	~NetAcct();
	NetAcct(const NetAcct&) = delete;
	NetAcct& operator=(const NetAcct&) = delete;

	Error Connect(const TString& account, ConnectType kind);
	void Disconnect();
	bool IsConnected() const;
	// Asks the running operation to stop at its next wait; may be called from any thread.
	void Abort() { mAbort = true; }
	bool Aborted() const { return mAbort; }
	void AbortClear() { mAbort = false; }
	// The user's text for an error of the last operation, with the time, account and group.
	void LastError(TString& text, Error error) const;
	// The activity callback that reports progress.
	void ActivitySetup(TextProtocol::ActivityCallback proc, void* user);

	Error DnldGroup(const TString& group);
	Error DnldBodiesAll(const TString& group);
	Error DnldBodiesMarked(const TString& group);
	Error DnldBody(const TString& group, const TString& path);
	Error Catchup(const TString& group);
	Error DnldGroupList();
	Error UpldAccount();
	// Runs the driver operation of a request.
	Error Run(const NetRequest& request);

	// Messages filed into the store (or posted) by the last operation.
	uint32_t Count() const { return mCount; }
	// Messages the store refused during the last operation (they are not lost on the server,
	// but their articles count as fetched).
	uint32_t Refused() const { return mRefused; }
	const TString& Account() const { return mAccount; }

	static const char* const kUserAgent;
	static const char* const kProgramUrl;

private:
	static bool continueProc(void* user);
	static void dnldProc(
		void* user, const TString& account, const TString& group, const TString& path, ActivityType type);
	static void upldProc(void* user, const TString& account, const TString& path, ActivityType type);
	void groupSettings(const TString& group, Charset& charset);

	std::atomic<bool> mAbort{false};
	TString mGroup;
	TString mAccount;  // the account connected or last tried
	NNTP mSession;
	uint32_t mCount = 0;
	uint32_t mRefused = 0;
};
