#include "Cache.h"

#include "DirIter.h"
#include "DirMngr.h"
#include "Err.h"
#include "FileMngr.h"
#include "HeaderUtil.h"
#include "MessageBody.h"
#include "MessageHead.h"
#include "MessageStore.h"
#include "NetName.h"
#include "Output.h"
#include "PathMngr.h"
#include "StoragePath.h"

long long Cache::sLockWait = Cache::kLockWait;

namespace {

TString cachePath(const TString& mdir)
{
	TString path;
	StoragePath::FileCache(mdir, path);
	return path;
}

TString filePath(const TString& mdir, const TString& leaf)
{
	TString path(mdir);
	PathMngr::Append(path, leaf);
	return path;
}

}  // namespace

Error Cache::DataOpen(Database& db, const TString& mdir, bool rebuildNow)
{
	Error e = DirMngr::Exists(mdir);
	if (e != ErrOkay)
		return e;
	TString path = cachePath(mdir);
	e = Database::Exists(path);
	if (e == ErrOkay)
		e = db.Open(path, sLockWait);
	if ((e == ErrFileNotFound || e == ErrFileInvalidData) && rebuildNow) {
		e = Rebuild(mdir);
		if (e == ErrOkay)
			e = db.Open(path, sLockWait);
	}
	if (e == ErrFileNotFound || e == ErrFileInvalidData)
		MessageStore::MdirReindex(mdir);
	if (e != ErrOkay && !MreqRetry(e)) {
		TString text;
		Err::Str(text, e);
		Output::MsgFmt("Could not open cache database: %s\nPath:%s", text.String(), path.String());
	}
	return e;
}

Error Cache::DataClose(Database& db)
{
	return db.IsOpen() ? db.Close() : ErrOkay;
}

bool Cache::MreqRetry(Error error)
{
	return error == ErrFileInvalidData || error == ErrFileLocked || error == ErrFileNotFound;
}

void Cache::logError(Database& db, const char* op, const TString& item, Error error)
{
	if (error == ErrOkay)
		return;
	TString shown(item), leaf;
	if (!NetName::MsgIdValid(item) && PathMngr::Valid(item) && item.FindPtr('/') &&
		PathMngr::SplitLeaf(item, leaf))
		shown = leaf;
	TString text, path;
	Err::Str(text, error);
	db.PathGet(path);
	Output::MsgFmt("Cache database operation '%s' failed\nError: %s\nDatabase: %s\nItem: %s", op,
		text.String(), path.String(), shown.String());
}

bool Cache::Plonked(const HeadersNode& node)
{
	return node.plonked();
}

// The record of a parsed header: a valid message-id and a record text of 1 to 4096 bytes.
Error Cache::recordMake(const MessageHead& head, TString& msgid, TString& record, HeadersNodePtr* node)
{
	head.AttrMessageID(msgid);
	HeadersNodePtr made = HeadersNode::initWithHeader(head);
	if (!made)
		return ErrFileInvalidData;
	made->stringWrite(record);
	if (!NetName::MsgIdValid(msgid) || !Database::KeyValid(msgid) || record.Empty() ||
		record.ByteLength() > Database::kDataMax)
		return ErrFileInvalidData;
	if (node)
		*node = made;
	return ErrOkay;
}

Error Cache::MesgAdd(Database& db, const TString& filePath, bool& unread, bool& plonked, const TString* leaf)
{
	unread = plonked = false;
	MessageHead head;
	TString msgid, record;
	HeadersNodePtr node;
	Error e = head.HeaderRead(filePath, kLockWait);
	if (e == ErrOkay) {
		if (leaf)
			head.LeafSet(*leaf);
		e = recordMake(head, msgid, record, &node);
	}
	if (e == ErrOkay) {
		unread = head.MessageReadGet() == MessageReadUnread;
		plonked = Plonked(*node);
		e = db.RecordAppend(msgid, record);
	}
	logError(db, "add message", leaf ? *leaf : filePath, e);
	return e;
}

Error Cache::nodeGet(Database& db, const TString& msgid, HeadersNodePtr& node, const char* op)
{
	TString record;
	Error e = db.RecordFind(msgid, record);
	if (e == ErrOkay) {
		node = HeadersNode::initWithMsgID(msgid, record);
		if (!node)
			e = ErrFileInvalidData;
	}
	if (e != ErrGmCommandFailed)
		logError(db, op, msgid, e);
	return e;
}

Error Cache::MesgDel(Database& db, const TString& msgid, bool& unread, bool& plonked)
{
	unread = plonked = false;
	TString record;
	Error e = db.RecordFind(msgid, record);
	if (e == ErrOkay)
		e = db.RecordDelete(msgid);
	if (e == ErrOkay) {
		HeadersNodePtr node = HeadersNode::initWithMsgID(msgid, record);
		if (!node)
			e = ErrFileInvalidData;
		else {
			unread = node->unreadGet();
			plonked = Plonked(*node);
		}
	}
	logError(db, "remove message", msgid, e);
	return e;
}

Error Cache::MesgReplace(
	Database& db, const TString& filePath, TString& msgid, TString& record, bool& unread, const TString* leaf)
{
	unread = false;
	MessageHead head;
	Error e = head.HeaderRead(filePath, kLockWait);
	if (e == ErrOkay) {
		if (leaf)
			head.LeafSet(*leaf);
		e = recordMake(head, msgid, record, nullptr);
	}
	if (e == ErrOkay) {
		unread = head.MessageReadGet() == MessageReadUnread;
		e = db.RecordReplace(msgid, record);
		// A message whose record is missing (its cache was rebuilt meanwhile) gets one.
		if (e == ErrGmCommandFailed)
			e = db.RecordAppend(msgid, record);
	}
	logError(db, "replace message", leaf ? *leaf : filePath, e);
	return e;
}

Error Cache::MesgDataUpdate(Database& db, const TString& msgid, const TString& text)
{
	HeadersNodePtr node;
	Error e = nodeGet(db, msgid, node, "update message");
	if (e != ErrOkay)
		return e;
	node->updateWithString(text);
	TString record;
	node->stringWrite(record);
	e = db.RecordReplace(msgid, record);
	logError(db, "update message", msgid, e);
	return e;
}

Error Cache::MesgMarkChange(Database& db, const TString& msgid, bool mark)
{
	HeadersNodePtr node;
	Error e = nodeGet(db, msgid, node, "mark message");
	if (e != ErrOkay)
		return e;
	node->markSet(mark);
	TString record;
	node->stringWrite(record);
	e = db.RecordReplace(msgid, record);
	logError(db, "mark message", msgid, e);
	return e;
}

Error Cache::MesgReadChange(Database& db, const TString& msgid, TString& leaf, bool unread, long& changed)
{
	HeadersNodePtr node;
	Error e = nodeGet(db, msgid, node, "read message");
	if (e != ErrOkay)
		return e;
	bool before = node->unreadGet();
	node->unreadSet(unread);
	leaf = node->fFilename.value_or(TString());
	if (before != unread)
		++changed;
	TString record;
	node->stringWrite(record);
	e = db.RecordReplace(msgid, record);
	logError(db, "read message", msgid, e);
	return e;
}

Error Cache::MesgReadChange(Database& db, const TString& msgid, bool unread, long& changed)
{
	TString leaf;
	return MesgReadChange(db, msgid, leaf, unread, changed);
}

// ---- message files ----

Error Cache::FileRecord(const TString& path, TString& msgid, TString& record, MessageHead* head)
{
	MessageHead own;
	MessageHead& h = head ? *head : own;
	if (!head) {
		Error e = h.HeaderRead(path, kFileWait);
		if (e != ErrOkay)
			return e;
	}
	return recordMake(h, msgid, record, nullptr);
}

Error Cache::fileStateChange(const TString& mdir, const TString& leaf, void (*change)(MessageHead&, long),
	long value, TString& msgid, TString& record, long* changed)
{
	TString path = filePath(mdir, leaf);
	MessageHead head;
	Error e = head.HeaderRead(path, kFileWait);
	if (e != ErrOkay) {
		if (changed)
			++*changed;  // the state before is unknown ("x")
		return e;
	}
	MessageRead before = head.MessageReadGet();
	change(head, value);
	if (changed && head.MessageReadGet() != before)
		++*changed;
	e = recordMake(head, msgid, record, nullptr);
	if (e == ErrFileInvalidData)
		e = ErrOkay;  // the file changes all the same; it has no record to keep in step
	if (e == ErrOkay)
		e = head.StateWrite(path);
	return e;
}

namespace {

void markApply(MessageHead& head, long mark)
{
	head.MessageDownloadSetFixup(mark ? MessageDownloadMarked : MessageDownloadNone);
}

void readApply(MessageHead& head, long unread)
{
	head.MessageReadSet(unread ? MessageReadUnread : MessageReadRead);
}

void charsetApply(MessageHead& head, long charset)
{
	head.CharsetForceSet(static_cast<Charset>(charset));
}

}  // namespace

void Cache::StateApply(MessageHead& head, MesgChange change, long value)
{
	switch (change) {
	case ChangeMark: markApply(head, value); break;
	case ChangeRead: readApply(head, value); break;
	case ChangeCharset: charsetApply(head, value); break;
	}
}

Error Cache::FileMarkChange(const TString& mdir, const TString& leaf, bool mark)
{
	TString msgid, record;
	return FileMarkChange(mdir, leaf, mark, msgid, record);
}

Error Cache::FileMarkChange(
	const TString& mdir, const TString& leaf, bool mark, TString& msgid, TString& record)
{
	return fileStateChange(mdir, leaf, markApply, mark, msgid, record, nullptr);
}

Error Cache::FileReadChange(const TString& mdir, const TString& leaf, bool unread)
{
	TString msgid, record;
	long changed = 0;
	return FileReadChange(mdir, leaf, unread, msgid, record, changed);
}

Error Cache::FileReadChange(
	const TString& mdir, const TString& leaf, bool unread, TString& msgid, TString& record, long& changed)
{
	return fileStateChange(mdir, leaf, readApply, unread, msgid, record, &changed);
}

Error Cache::FileCharsetChange(
	const TString& mdir, const TString& leaf, Charset charset, TString& msgid, TString& record)
{
	return fileStateChange(mdir, leaf, charsetApply, charset, msgid, record, nullptr);
}

Error Cache::FileParse(const TString& mdir, const TString& leaf, unsigned int fileInfo, Charset charset,
	TString& msgid, TString& record)
{
	TString path = filePath(mdir, leaf);
	MessageBody body;
	Error e = body.Parse(path, fileInfo, charset, kFileWait);
	if (e == ErrOkay)
		e = FileRecord(path, msgid, record);
	return e;
}

Error Cache::FileDelete(const TString& mdir, const TString& leaf, TString& msgid)
{
	TString path = filePath(mdir, leaf), record;
	MessageHead head;
	Error e = head.HeaderRead(path, kFileWait);
	if (e == ErrOkay)
		head.AttrMessageID(msgid);
	if (e == ErrOkay)
		e = FileMngr::Remove(path);
	return e;
}

Error Cache::FileTrash(const TString& mdir, const TString& leaf, TString& msgid)
{
	TString path = filePath(mdir, leaf);
	MessageHead head;
	Error e = head.HeaderRead(path, kFileWait);
	if (e == ErrOkay)
		head.AttrMessageID(msgid);
	if (e == ErrOkay)
		e = FileMngr::Trash(path);
	return e;
}

// ---- reading a directory ----

Error Cache::MdirRead(const TString& mdir, std::vector<HeadersNodePtr>& nodes, bool rebuild)
{
	nodes.clear();
	Database db;
	Error e = DirMngr::Exists(mdir);
	if (e != ErrOkay)
		return e;
	TString path = cachePath(mdir);
	e = Database::Exists(path);
	if (e == ErrOkay)
		e = db.Open(path, sLockWait);
	if ((e == ErrFileNotFound || e == ErrFileInvalidData) && rebuild) {
		e = Rebuild(mdir);
		if (e == ErrOkay)
			e = db.Open(path, sLockWait);
	} else if (e == ErrFileNotFound || e == ErrFileInvalidData)
		MessageStore::MdirReindex(mdir);
	if (e != ErrOkay)
		return e;
	nodes.reserve(static_cast<size_t>(db.RecordCount()));
	e = db.Rewind();
	TString key, record;
	while (e == ErrOkay && (e = db.RecordNext(key, record)) == ErrOkay) {
		HeadersNodePtr node = HeadersNode::initWithMsgID(key, record);
		if (node)
			nodes.push_back(std::move(node));
	}
	if (e == ErrFileEnd)
		e = ErrOkay;
	Error c = db.Close();
	return e != ErrOkay ? e : c;
}

Error Cache::MesgFind(const TString& mdir, const TString& msgid, HeadersNodePtr& node)
{
	node.reset();
	Database db;
	TString path = cachePath(mdir);
	Error e = DirMngr::Exists(mdir);
	if (e == ErrOkay)
		e = Database::Exists(path);
	if (e == ErrOkay)
		e = db.Open(path, sLockWait);
	if (e != ErrOkay)
		return e;
	TString record;
	e = db.RecordFind(msgid, record);
	if (e == ErrOkay) {
		node = HeadersNode::initWithMsgID(msgid, record);
		if (!node)
			e = ErrFileInvalidData;
	}
	Error c = db.Close();
	return e != ErrOkay ? e : c;
}

Error Cache::MesgHeadRead(const TString& mdir, const HeadersNode& node, MessageHead& head, TString& path)
{
	if (!node.fFilename || !HeaderUtil::IsMessageFile(*node.fFilename) ||
		!PathMngr::ValidLeaf(*node.fFilename))
		return ErrFileInvalidData;
	path = filePath(mdir, *node.fFilename);
	return head.HeaderRead(path, kFileWait);
}

Error Cache::Rebuild(const TString& mdir, long* added, RebuildStep step, void* context)
{
	long count = 0;
	if (added)
		*added = 0;
	Error e = DirMngr::Exists(mdir);
	if (e != ErrOkay)
		return e;
	TString path = cachePath(mdir);
	Database db;
	e = db.Open(path, sLockWait);
	if (e == ErrFileInvalidData) {
		// A refused store is replaced by a new, empty one.
		e = Database::Remove(path);
		if (e == ErrOkay || e == ErrFileNotFound)
			e = db.Open(path, sLockWait);
	}
	if (e == ErrOkay)
		e = db.Initialize();
	if (e != ErrOkay) {
		db.Close();
		return e;
	}
	DirIter iter;
	e = iter.Open(mdir);
	DEntry entry;
	while (e == ErrOkay && (e = iter.Next(entry)) == ErrOkay) {
		if (!entry.IsFile() || !HeaderUtil::IsMessageFile(entry))
			continue;
		TString file;
		if (entry.PathGet(file) != ErrOkay)
			continue;
		bool unread, plonked;
		Error a = MesgAdd(db, file, unread, plonked);
		if (a == ErrOkay) {
			++count;
			if (added)
				*added = count;
			if (step && !step(context, count))
				e = ErrGmCancelled;
		}
		// A file whose record cannot be made stays without one; a full volume or store, or a
		// broken store, ends the rebuild.
		if (a != ErrOkay &&
			(a == ErrFileFull || a == ErrVolFull || db.StateGet().status == Database::StatusInvalid))
			e = a;
	}
	if (e == ErrDirEnd)
		e = ErrOkay;
	iter.Close();
	// A rebuild that did not finish leaves no cache: one that looked whole would hide messages.
	// A full store is kept, as full as it can be.
	if (e != ErrOkay && e != ErrFileFull)
		Database::Remove(path);
	Error c = db.Close();
	return e != ErrOkay ? e : c;
}
