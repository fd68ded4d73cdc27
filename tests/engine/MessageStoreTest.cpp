// The message store against a running engine: messages inserted through the transfer
// directory, changed, moved, copied and deleted on the message-store thread, the events they
// send, and the caches kept in step with the files, also across restarts and damage.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "Cache.h"
#include "Database.h"
#include "DirMngr.h"
#include "FileMngr.h"
#include "MesgThread.h"
#include "MessageHead.h"
#include "MessageStore.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "StorageState.h"
#include "StoreFixture.h"

namespace {

using TestSupport::Exists;
using TestSupport::ReadFile;
using TestSupport::WriteFile;
using Ids = std::vector<std::string>;

std::string join(const TString& dir, const std::string& leaf)
{
	return std::string(dir.String()) + "/" + leaf;
}

TString transferDir()
{
	TString path;
	StoragePath::PathTransfer(path);
	return path;
}

std::string stateOf(const std::string& path)
{
	MessageHead head;
	if (head.HeaderRead(TString(path.c_str()), Cache::kLockWait) != ErrOkay)
		return "?";
	TString state;
	head.HeaderGet(kHeaderQuillfernState, state);
	return state.String();
}

class MessageStoreTest : public StoreFixture {};

TEST_F(MessageStoreTest, InsertMovesTheFileInAddsTheRecordAndAnnounces)
{
	TString a = folder("A");
	ASSERT_EQ(MessageStore::MesgInsert(a, TString(message("<one@x>").c_str())), ErrOkay);
	ASSERT_EQ(MessageStore::MesgInsert(a, TString(message("<two@x>", "UCNRNxxxxx").c_str())), ErrOkay);
	settle();
	EXPECT_EQ(cacheIds(a), (Ids{"<one@x>", "<two@x>"}));
	EXPECT_EQ(fileIds(a), cacheIds(a));
	EXPECT_TRUE(entries(transferDir()).empty());
	EXPECT_TRUE(entries(TString(mOutside.Path().c_str())).empty());
	std::string dir(a.String());
	// The read message counts for no unread one.
	EXPECT_EQ(events(),
		(Ids{"add:" + dir + "|" + leafOf("<one@x>"), "unread:" + dir + "|+1",
			"add:" + dir + "|" + leafOf("<two@x>")}));
	EXPECT_EQ(diagnostics(), "");

	// The reading side: nodes from the cache, and the file of one of them.
	std::vector<HeadersNodePtr> nodes;
	ASSERT_EQ(Cache::MdirRead(a, nodes), ErrOkay);
	ASSERT_EQ(nodes.size(), 2u);
	HeadersNodePtr node;
	ASSERT_EQ(Cache::MesgFind(a, TString("<two@x>"), node), ErrOkay);
	EXPECT_STREQ(node->fSubject->String(), "Subject");
	EXPECT_FALSE(node->unreadGet());
	MessageHead head;
	TString path;
	ASSERT_EQ(Cache::MesgHeadRead(a, *node, head, path), ErrOkay);
	EXPECT_EQ(std::string(path.String()), join(a, leafOf("<two@x>")));
}

TEST_F(MessageStoreTest, SameLeafTwiceBeforeInsertionEndsAsOneReplacedMessage)
{
	TString a = folder("A");
	hold(true);
	ASSERT_EQ(
		MessageStore::MesgInsert(a, TString(message("<same@x>", "UCNUNxxxxx", "First").c_str())), ErrOkay);
	ASSERT_EQ(
		MessageStore::MesgInsert(a, TString(message("<same@x>", "UCNUNxxxxx", "Second").c_str())), ErrOkay);
	std::string leaf = leafOf("<same@x>");
	std::string lettered = leaf.substr(0, leaf.size() - 5) + "a.qmsg";
	std::string dest = leaf.substr(0, leaf.size() - 5) + ".dest",
				dest2 = lettered.substr(0, lettered.size() - 5) + ".dest";
	EXPECT_EQ(entries(transferDir()), (Ids{dest, leaf, dest2, lettered}));
	hold(false);
	settle();
	EXPECT_EQ(fileIds(a), (Ids{"<same@x>"}));
	EXPECT_NE(ReadFile(join(a, leaf)).find("Second"), std::string::npos);
	HeadersNodePtr node;
	ASSERT_EQ(Cache::MesgFind(a, TString("<same@x>"), node), ErrOkay);
	EXPECT_STREQ(node->fSubject->String(), "Second");
	EXPECT_STREQ(node->fFilename->String(), leaf.c_str());
	Ids seen = events();
	ASSERT_EQ(seen.size(), 3u);
	EXPECT_EQ(seen[0], "add:" + std::string(a.String()) + "|" + leaf);
	EXPECT_EQ(seen[2].rfind("mod:" + std::string(a.String()) + "|<same@x>|", 0), 0u);
	EXPECT_TRUE(entries(transferDir()).empty());
}

// A companion claims its name only where none is: another insertion's claim (its message file
// still on the way) is left as it is, and the message takes the next name.
TEST_F(MessageStoreTest, CompanionsClaimFreeNamesOnlyAndLeaveNothingBehind)
{
	TString a = folder("A");
	hold(true);
	std::string leaf = leafOf("<claim@x>"), other = leafOf("<other@x>");
	std::string base = leaf.substr(0, leaf.size() - 5);
	WriteFile(join(transferDir(), base + ".dest"), "~/elsewhere\n");
	ASSERT_EQ(MessageStore::MesgInsert(a, TString(message("<claim@x>").c_str())), ErrOkay);
	ASSERT_EQ(MessageStore::MesgInsert(a, TString(message("<other@x>").c_str())), ErrOkay);
	EXPECT_EQ(ReadFile(join(transferDir(), base + ".dest")), "~/elsewhere\n");
	std::string companion = ReadFile(join(transferDir(), base + "a.dest"));
	EXPECT_EQ(companion, ReadFile(join(transferDir(), other.substr(0, other.size() - 5) + ".dest")));
	ASSERT_FALSE(companion.empty());
	EXPECT_EQ(companion.back(), '\n');
	hold(false);
	settle();
	EXPECT_EQ(fileIds(a), (Ids{"<claim@x>", "<other@x>"}));
	EXPECT_EQ(entries(transferDir()), (Ids{base + ".dest"}));
	stop();
	TString temp;
	StoragePath::PathTemp(temp);
	for (const std::string& name : entries(temp))
		EXPECT_EQ(name.find(".dest"), std::string::npos) << name;
	start();
}

TEST_F(MessageStoreTest, TransferFilesSurviveARestartAndBadCompanionsAreDropped)
{
	TString a = folder("A");
	hold(true);
	ASSERT_EQ(MessageStore::MesgInsert(a, TString(message("<kept@x>").c_str())), ErrOkay);
	stop();
	std::string leaf = leafOf("<kept@x>");
	std::string companion = ReadFile(join(transferDir(), leaf.substr(0, leaf.size() - 5) + ".dest"));
	EXPECT_EQ(companion.back(), '\n');
	// A file whose companion names no usable path is removed at start, with its companion.
	std::string bad = leafOf("<bad@x>");
	WriteFile(join(transferDir(), bad), messageText("<bad@x>"));
	WriteFile(join(transferDir(), bad.substr(0, bad.size() - 5) + ".dest"), std::string("rel\x01path\n"));
	start();
	settle();
	EXPECT_EQ(fileIds(a), (Ids{"<kept@x>"}));
	EXPECT_EQ(cacheIds(a), (Ids{"<kept@x>"}));
	EXPECT_TRUE(entries(transferDir()).empty());
	std::string log = diagnostics();
	EXPECT_NE(log.find("Message thread operation 'load transfer file' failed"), std::string::npos);
	EXPECT_NE(log.find("Invalid path"), std::string::npos) << log;
}

TEST_F(MessageStoreTest, InsertIntoAGoneDirectoryDropsTheTransferFileAndSaysSo)
{
	TString a = folder("A");
	hold(true);
	ASSERT_EQ(MessageStore::MesgInsert(a, TString(message("<gone@x>").c_str())), ErrOkay);
	ASSERT_EQ(DirMngr::Obliterate(a, true, nullptr, nullptr), ErrOkay);
	hold(false);
	settle();
	EXPECT_TRUE(entries(transferDir()).empty());
	std::string log = diagnostics();
	EXPECT_NE(log.find("Message thread request 'Message Insert' failed"), std::string::npos) << log;
	EXPECT_TRUE(events().empty());
}

TEST_F(MessageStoreTest, MarkReadAndUnreadChangeFileAndRecordTogether)
{
	TString a = folder("A");
	std::string leaf = leafOf("<m@x>"), path = join(a, leaf), dir(a.String());
	ASSERT_EQ(MessageStore::MesgInsert(a, TString(message("<m@x>", "UHNUNxxxxx").c_str())), ErrOkay);
	settle();
	events();

	MessageStore::MesgMarkChange(a, TString(leaf.c_str()), true);
	settle();
	EXPECT_EQ(stateOf(path).substr(0, 5), "UHNUR");
	HeadersNodePtr node;
	ASSERT_EQ(Cache::MesgFind(a, TString("<m@x>"), node), ErrOkay);
	EXPECT_TRUE(node->markGet());

	MessageStore::MesgReadChangeFolder(a, TString(leaf.c_str()), false);
	settle();
	EXPECT_EQ(stateOf(path).substr(0, 5), "UHNRR");
	ASSERT_EQ(Cache::MesgFind(a, TString("<m@x>"), node), ErrOkay);
	EXPECT_FALSE(node->unreadGet());
	Ids seen = events();
	ASSERT_EQ(seen.size(), 3u);
	EXPECT_EQ(seen[2], "unread:" + dir + "|-1");

	// Marking read what is read already changes nothing to count.
	MessageStore::MesgReadChangeFolder(a, TString(leaf.c_str()), false);
	settle();
	seen = events();
	ASSERT_EQ(seen.size(), 1u);
	EXPECT_EQ(seen[0].rfind("mod:" + dir + "|<m@x>|", 0), 0u);
	EXPECT_EQ(diagnostics(), "");
}

TEST_F(MessageStoreTest, MoveCopyAndDeleteKeepEveryFileInOnePlace)
{
	TString a = folder("A"), b = folder("B");
	for (const char* id : {"<1@x>", "<2@x>", "<3@x>"})
		ASSERT_EQ(MessageStore::MesgInsert(a, TString(message(id).c_str())), ErrOkay);
	settle();
	events();
	MessageStore::MesgMove(b, TString(join(a, leafOf("<1@x>")).c_str()));
	MessageStore::MesgCopy(b, TString(join(a, leafOf("<2@x>")).c_str()));
	MessageStore::MesgDelete(a, TString(leafOf("<3@x>").c_str()));
	settle();
	EXPECT_EQ(fileIds(a), (Ids{"<2@x>"}));
	EXPECT_EQ(cacheIds(a), fileIds(a));
	EXPECT_EQ(fileIds(b), (Ids{"<1@x>", "<2@x>"}));
	EXPECT_EQ(cacheIds(b), fileIds(b));
	EXPECT_TRUE(entries(transferDir()).empty());
	Ids seen = events();
	std::string da(a.String()), db(b.String());
	auto has = [&](const std::string& e) { return std::find(seen.begin(), seen.end(), e) != seen.end(); };
	EXPECT_TRUE(has("del:" + da + "|<1@x>"));
	EXPECT_TRUE(has("unread:" + da + "|-1"));
	EXPECT_TRUE(has("del:" + da + "|<3@x>"));
	EXPECT_TRUE(has("add:" + db + "|" + leafOf("<1@x>")));
	EXPECT_TRUE(has("add:" + db + "|" + leafOf("<2@x>")));
	EXPECT_EQ(diagnostics(), "");
}

TEST_F(MessageStoreTest, MessageWithoutMessageIdIsStoredWithoutRecordAndLogged)
{
	TString a = folder("A");
	std::string path = mOutside.Sub("QM00000000000000000000000000000000.qmsg");
	WriteFile(path, "From: x <x@y>\nSubject: none\n\nbody\n");
	ASSERT_EQ(MessageStore::MesgInsert(a, TString(path.c_str())), ErrOkay);
	settle();
	EXPECT_TRUE(Exists(join(a, "QM00000000000000000000000000000000.qmsg")));
	EXPECT_TRUE(cacheIds(a).empty());
	std::string log = diagnostics();
	EXPECT_NE(log.find("Cache database operation 'add message' failed"), std::string::npos) << log;
	EXPECT_NE(log.find("Item: QM00000000000000000000000000000000.qmsg"), std::string::npos) << log;
	EXPECT_TRUE(entries(transferDir()).empty());
}

TEST_F(MessageStoreTest, LockedCacheCyclesThroughTheQueueAndIsDroppedAfterSixtyTries)
{
	Cache::LockWaitSet(1000);
	TString a = folder("A");
	ASSERT_EQ(MessageStore::MesgInsert(a, TString(message("<l@x>").c_str())), ErrOkay);
	settle();
	diagnostics();
	TString cache;
	StoragePath::FileCache(a, cache);
	Database holder;
	ASSERT_EQ(holder.Open(cache, Cache::kLockWait), ErrOkay);
	MessageStore::MesgMarkChange(a, TString(leafOf("<l@x>").c_str()), true);
	settle();
	holder.Close();
	std::string log = diagnostics();
	EXPECT_NE(log.find("Request 'Message Mark Change' failed after 60 tries"), std::string::npos) << log;
	EXPECT_NE(log.find("Mdir: " + std::string(a.String())), std::string::npos) << log;
	EXPECT_EQ(stateOf(join(a, leafOf("<l@x>"))).substr(4, 1), "N");
}

// ---- caches rebuilt from their files ----

class CacheRebuildTest : public StoreFixture {
protected:
	TString filled()
	{
		TString a = folder("A");
		for (const char* id : {"<r1@x>", "<r2@x>", "<r3@x>"})
			EXPECT_EQ(MessageStore::MesgInsert(a, TString(message(id).c_str())), ErrOkay);
		settle();
		return a;
	}
	std::string cacheFile(const TString& mdir, const char* ext)
	{
		TString path;
		StoragePath::FileCache(mdir, path);
		PathMngr::ExtReplace(path, ext);
		return path.String();
	}
};

TEST_F(CacheRebuildTest, MissingCacheIsRefusedQuietlyAndRebuilt)
{
	TString a = filled();
	diagnostics();
	FileMngr::Remove(TString(cacheFile(a, "didx").c_str()));
	Database db;
	EXPECT_EQ(Cache::DataOpen(db, a), ErrFileNotFound);
	EXPECT_EQ(diagnostics(), "");
	settle();  // the queued reindex
	EXPECT_EQ(cacheIds(a), (Ids{"<r1@x>", "<r2@x>", "<r3@x>"}));
	Ids seen = events();
	EXPECT_EQ(seen.back(), "complete:" + std::string(a.String()));
}

TEST_F(CacheRebuildTest, GarbledTruncatedOrUnclosedCachesAreRebuiltOnUse)
{
	TString a = filled();
	// Garbage over the index header.
	{
		int fd = ::open(cacheFile(a, "didx").c_str(), O_WRONLY);
		ASSERT_GE(fd, 0);
		ASSERT_EQ(::pwrite(fd, "garbage!", 8, 0), 8);
		::close(fd);
	}
	std::vector<HeadersNodePtr> nodes;
	ASSERT_EQ(Cache::MdirRead(a, nodes), ErrOkay);
	EXPECT_EQ(nodes.size(), 3u);

	// A data file cut short.
	ASSERT_EQ(::truncate(cacheFile(a, "ddat").c_str(), 100), 0);
	MessageStore::MesgDelete(a, TString(leafOf("<r1@x>").c_str()));
	settle();
	EXPECT_EQ(cacheIds(a), (Ids{"<r2@x>", "<r3@x>"}));

	// A cache left open by a process that died: changed, never closed.
	pid_t child = fork();
	if (child == 0) {
		TString path;
		StoragePath::FileCache(a, path);
		Database db;
		if (db.Open(path, Cache::kLockWait) == ErrOkay)
			db.RecordDelete(TString("<r2@x>"));
		_exit(0);
	}
	int status = 0;
	waitpid(child, &status, 0);
	EXPECT_EQ(cacheIds(a), (Ids{"(cache refused)"}));
	MessageStore::MesgReadChangeFolder(a, TString(leafOf("<r3@x>").c_str()), false);
	settle();
	EXPECT_EQ(cacheIds(a), (Ids{"<r2@x>", "<r3@x>"}));
	HeadersNodePtr node;
	ASSERT_EQ(Cache::MesgFind(a, TString("<r3@x>"), node), ErrOkay);
	EXPECT_FALSE(node->unreadGet());
}

}  // namespace

namespace {

// The storage view state file: lines taken only when whole and sound, the first of a path
// winning, and written back in path order.
TEST_F(StoreFixture, StorageStateKeepsSoundLinesAndWritesThemBack)
{
	TString root, file, saved;
	StoragePath::PathRoot(root);
	StoragePath::FileStorageList(file);
	StoragePath::PathSaved(saved);
	stop();
	WriteFile(file.String(),
		"/Saved \t 4 \t 1\n"
		"/Saved \t 9 \t 0\n"  // the same path again: the first wins
		"/News/~Trash \t 1 \t 1\n"  // a tilde: dropped
		"/News/Drafts \t x \t 1\n"  // not a number: dropped
		"/News/Outbox \t 2\n"  // a field missing: dropped
		"/News/Sent Messages \t -3 \t 7\n");
	start();
	StorageState::NodeData data;
	StorageState::NodeGet(saved, data);
	EXPECT_EQ(data.unread, 4);
	EXPECT_TRUE(data.expanded);
	TString drafts, sent;
	StoragePath::PathDrafts(drafts);
	StoragePath::PathSent(sent);
	StorageState::NodeGet(drafts, data);
	EXPECT_EQ(data.unread, 0);
	EXPECT_FALSE(data.expanded);
	StorageState::NodeGet(sent, data);
	EXPECT_EQ(data.unread, -3);
	EXPECT_TRUE(data.expanded);
	StorageState::NodeSet(drafts, {2, false});
	StorageState::NodeDel(sent);
	stop();
	EXPECT_EQ(ReadFile(file.String()), "/News/Drafts \t 2 \t 0\n/Saved \t 4 \t 1\n");
	start();
}

}  // namespace
