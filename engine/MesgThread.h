// The message-store thread: serves the message-store queue (account, newsgroup and identity
// work) before the message queue (single-message work), one request per call, and carries new
// message files into their message directories through the transfer directory.
#pragma once

#include "Error.h"
#include "MesgQueue.h"
#include "MesgRequest.h"
#include "TString.h"

class Database;

class MesgThread {
public:
	// Queues again the message files that wait in the transfer directory.
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	// The thread's procedure: one unit of queued work per call.
	static unsigned long Proc(void* data);

	// Into the message queue.
	static void RequestPut(const MesgRequest& request);
	// Into the message-store queue.
	static void StoreRequestPut(const MesgRequest& request);
	// Moves the file at path into the transfer directory beside its dest companion and queues
	// its insertion into mdir. Callable from any thread; on failure the file stays where it was.
	static Error MesgInsert(const TString& mdir, const TString& path);
	// Carries out one request of the message queue; false when there was none.
	static bool Run();

	// Requests are queued or one is being carried out.
	static bool Busy();
	static MesgQueue& Queue() { return sQueue; }
	static MesgQueue& StoreQueue() { return sStoreQueue; }

	// The file creator code passed when a message is rewritten.
	static constexpr unsigned int kCreator = 0x51464E57;  // 'QFNW'

private:
	static void storeRun(const MesgRequest& request);
	static Error mesgRun(MesgRequest& request);
	static Error openOrRetry(Database& db, const TString& mdir, const MesgRequest& request);
	struct InsertResult {
		Error error = ErrOkay;
		TString msgid;
		TString record;
		bool unread = false;
		bool plonked = false;
		bool added = false;
		bool skipped = false;  // taken in by another process already
	};
	static Error mesgInsert(const MesgRequest& request);
	static Error insertOne(
		Database& db, const MesgRequest& request, const TString& transfer, InsertResult& out);
	static Error mesgMove(const MesgRequest& request);
	static Error mesgCopy(const MesgRequest& request);
	static Error mesgDelete(const MesgRequest& request, bool trash);
	static Error mesgStateChange(MesgRequest& request);
	static Error mesgGroupRead(MesgRequest& request);
	static Error mesgReparse(MesgRequest& request);
	static void transferLoad();
	static void wake();
	static void waitForWork(long long usecs);
	static void logError(const char* op, const TString& mdir, const TString& file, Error error);

	static MesgQueue sQueue;
	static MesgQueue sStoreQueue;
	static bool sStarted;
};
