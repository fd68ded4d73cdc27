// The message store: the storage tree on disk, the workers that keep it, and the front-end
// operations through which the rest of the program asks for work on accounts, newsgroups and
// stored messages. Each operation only fills a request and queues it for its worker thread;
// none waits for the result, which comes back as notifications.
#pragma once

#include <vector>

#include "AcctData.h"
#include "Charset.h"
#include "Error.h"
#include "MesgQueue.h"
#include "MesgRequest.h"
#include "TString.h"

class MessageStore {
public:
	static bool Start(int type);
	static void Stop();
	static bool Started() { return sStarted; }

	// Account, newsgroup and identity work (the message-store queue).
	static void AcctCreate(const AcctData& data, void* window = nullptr);
	static void AcctDelete(const TString& name, void* window = nullptr);
	static void AcctUpdate(const TString& oldName, const AcctData& data, void* window = nullptr);
	static void GPrefsAccount(const TString& account);
	static void GPrefsGroup(const TString& account, const TString& group);
	static void GPrefsGlobal();
	static void GroupCreate(const TString& account, const TString& group, void* window = nullptr);
	static void GroupDelete(const TString& account, const TString& group, void* window = nullptr);
	static void GroupUpdate(
		const TString& account, const MesgRequest::GroupSet& groups, void* window = nullptr);

	// Whole directories (the bulk queue).
	static void MdirDelete(const TString& mdir);
	static void MdirMarkChange(const TString& mdir, bool mark);
	static void MdirReadChange(const TString& mdir, bool unread);
	static void MdirReindex(const TString& mdir);
	static void MdirReparse(const TString& mdir, Charset charset);

	// Single messages (the message queue); file is a leaf name in mdir unless said otherwise.
	static void MesgCharsetChange(const TString& mdir, const TString& file, Charset charset);
	// source: the full path of the message file; mdir: the destination.
	static void MesgCopy(const TString& mdir, const TString& source);
	static void MesgDecode(const TString& destination, const std::vector<TString>& paths, long sectionIndex,
		bool openAfter, void* window = nullptr);
	static void MesgDelete(const TString& mdir, const TString& file);
	// Deletes an expired message, unless its file was modified after `before` (a time value)
	// by the time the deletion runs.
	static void MesgExpire(const TString& mdir, const TString& file, long long before);
	// Hands a new message file (its full path) to the store; it moves into the transfer
	// directory at once and into mdir on the message-store thread.
	static Error MesgInsert(const TString& mdir, const TString& path);
	static void MesgMarkChange(const TString& mdir, const TString& file, bool mark);
	static void MesgMove(const TString& mdir, const TString& source);
	static void MesgReadChangeFolder(const TString& mdir, const TString& file, bool unread);
	// Marks every subscribed copy of a cross-posted article.
	static void MesgReadChangeGroup(const TString& account, const TString& group, const TString& file,
		const TString& msgid, const TString& newsgroups, bool unread);
	static void MesgReparse(const TString& mdir, const TString& file, Charset charset);
	static void MesgTrash(const TString& mdir, const TString& file);

	// Requests are queued or under way on the message-store, bulk or decode thread.
	static bool Busy();

	// The queues of the bulk and decode threads.
	static MesgQueue& BulkQueue() { return sBulkQueue; }
	static MesgQueue& DecodeQueue() { return sDecodeQueue; }

private:
	static bool treeCreate(int type);
	static void identityChanged(void* context, const TString& payload);
	static void storePut(MesgRequest& request);
	static void mesgPut(MesgRequest& request);
	static bool sStarted;
	static MesgQueue sBulkQueue;
	static MesgQueue sDecodeQueue;
};
