// Whole-directory work on the bulk thread against real message directories: after each
// operation the cache must hold exactly the records a full re-read of the files gives, and the
// events must tell the display what changed.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "BulkThread.h"
#include "Cache.h"
#include "Database.h"
#include "DirIter.h"
#include "HeaderUtil.h"
#include "MessageHead.h"
#include "MessageStore.h"
#include "Notify.h"
#include "NotifyList.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "StoreFixture.h"

namespace {

using TestSupport::Exists;
using TestSupport::ReadFile;
using TestSupport::WriteFile;
using Ids = std::vector<std::string>;
using Records = std::map<std::string, std::string>;

std::string join(const TString& dir, const std::string& leaf)
{
	return std::string(dir.String()) + "/" + leaf;
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

// The records of an mdir as its cache holds them.
Records cacheRecords(const TString& mdir)
{
	Records out;
	TString path;
	StoragePath::FileCache(mdir, path);
	Database db;
	if (db.Open(path, Cache::kLockWait) != ErrOkay)
		return {{"(cache refused)", ""}};
	TString key, data;
	db.Rewind();
	while (db.RecordNext(key, data) == ErrOkay)
		out[key.String()] = data.String();
	db.Close();
	return out;
}

// The records a full re-read of the mdir's message files gives.
Records fileRecords(const TString& mdir)
{
	Records out;
	DirIter iter;
	if (iter.Open(mdir) != ErrOkay)
		return out;
	DEntry entry;
	while (iter.Next(entry) == ErrOkay) {
		if (!entry.IsFile() || !HeaderUtil::IsMessageFile(entry))
			continue;
		TString path, msgid, record;
		entry.PathGet(path);
		if (Cache::FileRecord(path, msgid, record) == ErrOkay)
			out[msgid.String()] = record.String();
	}
	return out;
}

class BulkThreadTest : public StoreFixture {
protected:
	void SetUp() override
	{
		StoreFixture::SetUp();
		Notify::Register(NotifyList::MdirUpdate(), updateKeep, this);
	}
	void TearDown() override
	{
		Notify::Unregister(NotifyList::MdirUpdate(), updateKeep, this);
		StoreFixture::TearDown();
	}

	static void updateKeep(void* context, const TString& payload)
	{
		std::string text(payload.String());
		std::replace(text.begin(), text.end(), '\n', '|');
		static_cast<BulkThreadTest*>(context)->mUpdates.push_back(text);
	}

	// An mdir holding count messages, every third one read, every other one headers only.
	TString filled(const std::string& name, int count)
	{
		TString mdir = folder(name);
		for (int i = 0; i < count; ++i) {
			std::string state = std::string("U") + (i % 2 ? "H" : "C") + "N" + (i % 3 ? "U" : "R") + "Nxxxxx";
			std::string id = "<" + name + std::to_string(i) + "@x>";
			EXPECT_EQ(MessageStore::MesgInsert(mdir, TString(message(id, state).c_str())), ErrOkay);
		}
		settle();
		events();
		mUpdates.clear();
		return mdir;
	}

	Ids updates()
	{
		Notify::Deliver();
		Ids out = mUpdates;
		mUpdates.clear();
		return out;
	}

	Ids mUpdates;
};

TEST_F(BulkThreadTest, DeleteAllTakesEveryMessageFileAndLeavesAnEmptyCache)
{
	TString a = filled("A", 12);
	WriteFile(join(a, "notes.txt"), "not a message\n");
	MessageStore::MdirDelete(a);
	settle();
	EXPECT_TRUE(fileIds(a).empty());
	EXPECT_TRUE(cacheIds(a).empty());
	EXPECT_TRUE(Exists(join(a, "notes.txt")));
	std::string dir(a.String());
	EXPECT_EQ(events(), (Ids{"unread:" + dir + "|0", "complete:" + dir}));
	// Progress: the first count at once, the final count before the status is cleared.
	Ids shown = updates();
	ASSERT_GE(shown.size(), 3u);
	EXPECT_EQ(shown.front(), dir + "|Deleting 1 message ...");
	EXPECT_EQ(shown[shown.size() - 2], dir + "|Deleting 12 messages ...");
	EXPECT_EQ(shown.back(), dir + "|");
	EXPECT_EQ(diagnostics(), "");
}

TEST_F(BulkThreadTest, ReadAndMarkAllChangeFilesAndRecordsAlike)
{
	TString a = filled("A", 10);
	std::string dir(a.String());
	MessageStore::MdirReadChange(a, true);
	settle();
	EXPECT_EQ(events(), (Ids{"unread:" + dir + "|10", "complete:" + dir}));
	Records records = cacheRecords(a);
	EXPECT_EQ(records.size(), 10u);
	EXPECT_EQ(records, fileRecords(a));
	for (int i = 0; i < 10; ++i)
		EXPECT_EQ(stateOf(join(a, leafOf("<A" + std::to_string(i) + "@x>"))).substr(3, 1), "U") << i;

	MessageStore::MdirReadChange(a, false);
	settle();
	EXPECT_EQ(events(), (Ids{"unread:" + dir + "|0", "complete:" + dir}));
	EXPECT_EQ(cacheRecords(a), fileRecords(a));
	for (int i = 0; i < 10; ++i)
		EXPECT_EQ(stateOf(join(a, leafOf("<A" + std::to_string(i) + "@x>"))).substr(3, 1), "R") << i;

	// Only messages without their body take the download mark.
	MessageStore::MdirMarkChange(a, true);
	settle();
	EXPECT_EQ(events(), (Ids{"complete:" + dir}));
	EXPECT_EQ(cacheRecords(a), fileRecords(a));
	for (int i = 0; i < 10; ++i)
		EXPECT_EQ(stateOf(join(a, leafOf("<A" + std::to_string(i) + "@x>"))).substr(4, 1), i % 2 ? "R" : "N")
			<< i;
	MessageStore::MdirMarkChange(a, false);
	settle();
	EXPECT_EQ(events(), (Ids{"complete:" + dir}));
	EXPECT_EQ(cacheRecords(a), fileRecords(a));
	for (int i = 0; i < 10; ++i)
		EXPECT_EQ(stateOf(join(a, leafOf("<A" + std::to_string(i) + "@x>"))).substr(4, 1), "N") << i;

	// A record whose file went behind the store's back goes too, and is not counted.
	ASSERT_EQ(0, std::remove(join(a, leafOf("<A3@x>")).c_str()));
	MessageStore::MdirReadChange(a, true);
	settle();
	EXPECT_EQ(events(), (Ids{"unread:" + dir + "|9", "complete:" + dir}));
	EXPECT_EQ(cacheRecords(a), fileRecords(a));
	EXPECT_EQ(diagnostics(), "");
}

TEST_F(BulkThreadTest, ReindexRebuildsFromTheFilesAndIsQueuedOncePerDirectory)
{
	TString a = filled("A", 8);
	// A file put in by hand, and a cache that lost a record: the rebuild sees the files only.
	WriteFile(join(a, leafOf("<extra@x>")), messageText("<extra@x>"));
	{
		Database db;
		TString path;
		StoragePath::FileCache(a, path);
		ASSERT_EQ(db.Open(path, Cache::kLockWait), ErrOkay);
		ASSERT_EQ(db.RecordDelete(TString("<A1@x>")), ErrOkay);
		ASSERT_EQ(db.Close(), ErrOkay);
	}
	hold(true);
	MessageStore::MdirReindex(a);
	MessageStore::MdirReindex(a);
	EXPECT_EQ(MessageStore::BulkQueue().Count(), 1);
	EXPECT_TRUE(BulkThread::ReindexPending(a));
	hold(false);
	settle();
	EXPECT_FALSE(BulkThread::ReindexPending(a));
	Records records = cacheRecords(a);
	EXPECT_EQ(records.size(), 9u);
	EXPECT_EQ(records, fileRecords(a));
	std::string dir(a.String());
	EXPECT_EQ(events(), (Ids{"complete:" + dir}));
	Ids shown = updates();
	ASSERT_GE(shown.size(), 2u);
	EXPECT_EQ(shown[shown.size() - 2], dir + "|Reindexing 9 messages ...");

	// A directory that is gone: the failure is logged and the mdir stays pending.
	TString gone(a);
	gone += "-gone";
	MessageStore::MdirReindex(gone);
	settle();
	EXPECT_TRUE(BulkThread::ReindexPending(gone));
	EXPECT_NE(diagnostics().find("Bulk thread request 'Message Dir Reindex' failed"), std::string::npos);
}

TEST_F(BulkThreadTest, CancelledRebuildLeavesNoCacheBehind)
{
	TString a = filled("A", 6);
	auto stopAtThree = [](void*, long added) { return added < 3; };
	EXPECT_EQ(Cache::Rebuild(a, nullptr, stopAtThree, nullptr), ErrGmCancelled);
	TString path;
	StoragePath::FileCache(a, path);
	EXPECT_EQ(Database::Exists(path), ErrFileNotFound);
	// The next use rebuilds it whole.
	std::vector<HeadersNodePtr> nodes;
	ASSERT_EQ(Cache::MdirRead(a, nodes), ErrOkay);
	EXPECT_EQ(nodes.size(), 6u);
}

TEST_F(BulkThreadTest, ReparseRewritesEveryFileTakesInLegacyFilesAndKeepsTheCacheInStep)
{
	TString a = filled("A", 5);
	std::string multipart = "From: Ann Author <ann@example.org>\nNewsgroups: test.one\nSubject: Parts\n"
							"Date: Sat, 05 Dec 2026 10:00:00 +0000\nMessage-ID: <old@x>\n"
							"User-Agent: Tester\nMIME-Version: 1.0\n"
							"Content-Type: multipart/mixed; boundary=\"b1\"\n\n"
							"--b1\nContent-Type: text/plain\n\nhello\n--b1\n"
							"Content-Type: application/octet-stream; name=\"f.bin\"\n"
							"Content-Transfer-Encoding: base64\n\nAAEC\n--b1--\n";
	WriteFile(join(a, "legacy.QMF"), multipart);
	MessageStore::MdirReparse(a, kCharsetNone);
	settle();
	EXPECT_FALSE(Exists(join(a, "legacy.QMF")));
	EXPECT_TRUE(Exists(join(a, "legacy.qmsg")));
	Records records = cacheRecords(a);
	EXPECT_EQ(records.size(), 6u);
	EXPECT_EQ(records, fileRecords(a));
	EXPECT_TRUE(records.count("<old@x>"));
	std::string dir(a.String());
	EXPECT_EQ(events(), (Ids{"complete:" + dir}));
	Ids shown = updates();
	EXPECT_NE(std::find(shown.begin(), shown.end(), dir + "|Counting 1 message ..."), shown.end());
	EXPECT_NE(std::find(shown.begin(), shown.end(), dir + "|Parsing 6 messages ..."), shown.end());
	EXPECT_EQ(diagnostics(), "");
}

}  // namespace
