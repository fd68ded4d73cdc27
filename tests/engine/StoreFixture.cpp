#include "StoreFixture.h"

#include <algorithm>
#include <cstdio>

#include "Cache.h"
#include "Database.h"
#include "DirIter.h"
#include "DirMngr.h"
#include "Engine.h"
#include "GlobalPrefs.h"
#include "HeaderUtil.h"
#include "MessageHead.h"
#include "MessageStore.h"
#include "Notify.h"
#include "NotifyList.h"
#include "Output.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "Thread.h"
#include "ThreadMngr.h"

namespace {

std::vector<std::string> sEvents;
FILE* sDiagnostics = nullptr;
long sDiagRead = 0;

void eventKeep(void* context, const TString& payload)
{
	std::string text(payload.String());
	std::replace(text.begin(), text.end(), '\n', '|');
	sEvents.push_back(std::string(static_cast<const char*>(context)) + ":" + text);
}

void alertKeep(const char*, const char*)
{}

const char* const kNames[] = {"add", "del", "mod", "unread", "complete"};

const NotifyItem* item(int i)
{
	switch (i) {
	case 0: return &NotifyList::MesgAdd();
	case 1: return &NotifyList::MesgDel();
	case 2: return &NotifyList::MesgMod();
	case 3: return &NotifyList::MdirUnread();
	default: return &NotifyList::MdirComplete();
	}
}

}  // namespace

void StoreFixture::SetUp()
{
	Output::AlertProcSet(alertKeep);
	// The diagnostic output goes to a file that the test reads back.
	sDiagnostics = std::tmpfile();
	sDiagRead = 0;
	Output::StreamSet(sDiagnostics);
	GlobalPrefs::RootOverrideSet(TString(mRoot.Path().c_str()));
	start();
	sEvents.clear();
	diagnostics();
}

void StoreFixture::TearDown()
{
	stop();
	GlobalPrefs::RootOverrideSet(TString());
	Cache::LockWaitSet(Cache::kLockWait);
	Output::StreamSet(stdout);
	Output::AlertProcSet(nullptr);
	EXPECT_EQ(std::fclose(sDiagnostics), 0);
	sDiagnostics = nullptr;
}

void StoreFixture::start()
{
	ASSERT_TRUE(Engine::Start(StoragePath::kTypeNews, Engine::DisplayHooks()));
	mStarted = true;
	for (int i = 0; i < 5; ++i)
		Notify::Register(*item(i), eventKeep, const_cast<char*>(kNames[i]));
}

void StoreFixture::stop()
{
	if (mStarted) {
		mStarted = false;
		Engine::Stop();
	}
}

void StoreFixture::hold(bool held)
{
	ThreadMngr::State(!held);
}

void StoreFixture::settle()
{
	for (int i = 0; i < 3000; ++i) {
		Notify::Deliver();
		if (!MessageStore::Busy() && Notify::Pending() == 0) {
			// Twice in a row, a moment apart: a request may be between two queues.
			Thread::Sleep(20000);
			if (!MessageStore::Busy() && Notify::Pending() == 0)
				break;
		}
		Thread::Sleep(10000);
	}
	Notify::Deliver();
}

TString StoreFixture::folder(const std::string& name)
{
	TString path;
	StoragePath::PathSaved(path);
	PathMngr::Append(path, TString(name.c_str()));
	EXPECT_EQ(DirMngr::Create(path), ErrOkay);
	EXPECT_EQ(Cache::Rebuild(path), ErrOkay);
	return path;
}

std::string StoreFixture::messageText(
	const std::string& id, const std::string& state, const std::string& subject)
{
	return "From: Ann Author <ann@example.org>\n"
		   "Newsgroups: test.one,test.two\n"
		   "Subject: " +
		subject +
		"\n"
		"Date: Sat, 05 Dec 2026 10:00:00 +0000\n"
		"Message-ID: " +
		id +
		"\n"
		"User-Agent: Tester\n"
		"Lines: 1     \n"
		"X-Quillfern-State: " +
		state +
		"\n"
		"\n"
		"body\n";
}

std::string StoreFixture::leafOf(const std::string& id)
{
	TString leaf;
	HeaderUtil::MessageFilename(leaf, TString(id.c_str()));
	return leaf.String();
}

std::string StoreFixture::message(const std::string& id, const std::string& state, const std::string& subject)
{
	std::string path = mOutside.Sub(leafOf(id));
	TestSupport::WriteFile(path, messageText(id, state, subject));
	return path;
}

std::vector<std::string> StoreFixture::cacheIds(const TString& mdir)
{
	std::vector<std::string> ids;
	TString path;
	StoragePath::FileCache(mdir, path);
	Database db;
	if (db.Open(path, Cache::kLockWait) != ErrOkay)
		return {"(cache refused)"};
	TString key, data;
	db.Rewind();
	while (db.RecordNext(key, data) == ErrOkay)
		ids.push_back(key.String());
	db.Close();
	std::sort(ids.begin(), ids.end());
	return ids;
}

std::vector<std::string> StoreFixture::fileIds(const TString& mdir)
{
	std::vector<std::string> ids;
	for (const std::string& leaf : entries(mdir)) {
		if (!HeaderUtil::IsMessageFile(TString(leaf.c_str())))
			continue;
		TString path(mdir), id;
		PathMngr::Append(path, TString(leaf.c_str()));
		MessageHead head;
		if (head.HeaderRead(path, Cache::kLockWait) == ErrOkay) {
			head.AttrMessageID(id);
			ids.push_back(id.String());
		}
	}
	std::sort(ids.begin(), ids.end());
	return ids;
}

std::vector<std::string> StoreFixture::entries(const TString& dir)
{
	std::vector<std::string> out;
	DirIter iter;
	if (iter.Open(dir) != ErrOkay)
		return out;
	DEntry entry;
	while (iter.Next(entry) == ErrOkay)
		out.push_back(entry.Leaf().String());
	std::sort(out.begin(), out.end());
	return out;
}

std::vector<std::string> StoreFixture::events()
{
	Notify::Deliver();
	std::vector<std::string> out = sEvents;
	sEvents.clear();
	return out;
}

std::string StoreFixture::diagnostics()
{
	EXPECT_EQ(std::fflush(sDiagnostics), 0);
	EXPECT_EQ(std::fseek(sDiagnostics, 0, SEEK_END), 0);
	long end = std::ftell(sDiagnostics);
	std::string out(static_cast<size_t>(end - sDiagRead), '\0');
	EXPECT_EQ(std::fseek(sDiagnostics, sDiagRead, SEEK_SET), 0);
	size_t got = std::fread(out.data(), 1, out.size(), sDiagnostics);
	out.resize(got);
	sDiagRead = end;
	return out;
}
