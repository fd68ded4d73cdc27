// The cache database of a message directory: one record per message file, keyed by its
// message-id, holding the summary the message lists show (a HeadersNode's record text).
// The caller opens and closes the database; every operation returns an Error.
//
// Crash safety rests on the record database's status letter: a store that was changed and not
// closed cleanly is refused at the next open and rebuilt from the message files. The worker
// operations therefore change the cache before they change or move a file, so that a crash
// between the two always leaves a store that will be rebuilt.
#pragma once

#include <vector>

#include "Charset.h"
#include "Database.h"
#include "Error.h"
#include "HeadersNode.h"
#include "TString.h"

class MessageHead;

class Cache {
public:
	// The wait for a locked cache database, and for a locked message file.
	static constexpr long long kLockWait = 1000000;
	static constexpr long long kFileWait = 5000000;
	// The wait used for caches (kLockWait unless a test shortens it).
	static long long LockWait() { return sLockWait; }
	static void LockWaitSet(long long usecs) { sLockWait = usecs; }

	// Opens the mdir's cache. A missing or refused cache queues a rebuild (reindex) and gives
	// ErrFileNotFound or ErrFileInvalidData: the caller tries again later. With rebuildNow the
	// worker thread rebuilds it itself at once and opens the new one.
	static Error DataOpen(Database& db, const TString& mdir, bool rebuildNow = false);
	static Error DataClose(Database& db);
	// The opening errors after which a request is put back into its queue.
	static bool MreqRetry(Error error);

	// ---- records ----
	// Adds the record of the message file at filePath. leaf, when given, is the file's name in
	// its mdir (the file may still lie elsewhere, in the transfer directory).
	static Error MesgAdd(
		Database& db, const TString& filePath, bool& unread, bool& plonked, const TString* leaf = nullptr);
	static Error MesgDel(Database& db, const TString& msgid, bool& unread, bool& plonked);
	static Error MesgReplace(Database& db, const TString& filePath, TString& msgid, TString& record,
		bool& unread, const TString* leaf = nullptr);
	static Error MesgDataUpdate(Database& db, const TString& msgid, const TString& text);
	static Error MesgMarkChange(Database& db, const TString& msgid, bool mark);
	// changed grows by one when the stored state differed.
	static Error MesgReadChange(
		Database& db, const TString& msgid, TString& leaf, bool unread, long& changed);
	static Error MesgReadChange(Database& db, const TString& msgid, bool unread, long& changed);

	// ---- message files ----
	static Error FileMarkChange(const TString& mdir, const TString& leaf, bool mark);
	static Error FileMarkChange(
		const TString& mdir, const TString& leaf, bool mark, TString& msgid, TString& record);
	static Error FileReadChange(const TString& mdir, const TString& leaf, bool unread);
	static Error FileReadChange(const TString& mdir, const TString& leaf, bool unread, TString& msgid,
		TString& record, long& changed);
	static Error FileCharsetChange(
		const TString& mdir, const TString& leaf, Charset charset, TString& msgid, TString& record);
	static Error FileParse(const TString& mdir, const TString& leaf, unsigned int fileInfo, Charset charset,
		TString& msgid, TString& record);
	static Error FileDelete(const TString& mdir, const TString& leaf, TString& msgid);
	static Error FileTrash(const TString& mdir, const TString& leaf, TString& msgid);

	// The message-id and record text of a message file, read from its header, or made from a
	// header already read (head).
	static Error FileRecord(
		const TString& path, TString& msgid, TString& record, MessageHead* head = nullptr);
	// A state change applied to a header in memory, as the file operations apply it.
	enum MesgChange { ChangeMark, ChangeRead, ChangeCharset };
	static void StateApply(MessageHead& head, MesgChange change, long value);

	// ---- reading a directory ----
	// Every record of the mdir's cache as a node, in store order. With rebuild, a missing or
	// refused cache is rebuilt from the files at once (waiting for a lock as usual) instead of
	// being queued for the bulk thread.
	static Error MdirRead(const TString& mdir, std::vector<HeadersNodePtr>& nodes, bool rebuild = true);
	// The node of one message, found by message-id.
	static Error MesgFind(const TString& mdir, const TString& msgid, HeadersNodePtr& node);
	// The full path of a message's file in mdir, and its header.
	static Error MesgHeadRead(const TString& mdir, const HeadersNode& node, MessageHead& head, TString& path);

	// Called after each record a rebuild adds, with the count so far; false cancels it.
	using RebuildStep = bool (*)(void* context, long added);
	// Rebuilds the mdir's cache from its message files; files whose record cannot be made are
	// skipped (and logged). added counts the records written. A cancelled rebuild (step said
	// no) gives ErrGmCancelled and removes the partial cache, so that it is never trusted.
	static Error Rebuild(
		const TString& mdir, long* added = nullptr, RebuildStep step = nullptr, void* context = nullptr);

	// The node's plonked test: the killfile matches its author.
	static bool Plonked(const HeadersNode& node);

private:
	static Error recordMake(const MessageHead& head, TString& msgid, TString& record, HeadersNodePtr* node);
	static Error fileStateChange(const TString& mdir, const TString& leaf, void (*change)(MessageHead&, long),
		long value, TString& msgid, TString& record, long* changed);
	static void logError(Database& db, const char* op, const TString& item, Error error);
	static Error nodeGet(Database& db, const TString& msgid, HeadersNodePtr& node, const char* op);

	static long long sLockWait;
};
