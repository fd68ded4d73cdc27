#include "GroupSelect.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "AcctMngr.h"
#include "Language.h"
#include "MessageStore.h"
#include "StoragePath.h"
#include "ThreadMngr.h"

namespace {

const LangData sTexts[] = {
	{"GroupSelNoAcctGroups", "",
		"No selected account groups\tSelect some groups in the account group list on the left and try this "
		"operation again.  If there are no groups in that list, you must download the account’s newsgroup list "
		"before trying again."},
	{"GroupSelNoGroups", "",
		"Account has no newsgroups\tSelect “Download Newsgroup List ...” from the Account menu, then try this "
		"operation again."},
	{"GroupSelNoSelGroups", "",
		"No selected groups\tSelect one or more groups in the selected group list on the right and try this "
		"operation again.  If there are no groups in that list, then this operation cannot be performed."},
	{"GroupSelReading", "", "Reading newsgroups file ..."},
	{"GroupSelTitle", "%s", "Account “%1” Newsgroups"},
	{"GroupSelTotals", "%ld %ld", "Total: %1  Selected: %2"},
	{nullptr, nullptr, nullptr},
};

const LangSection sSection = {"Newsgroup selection window strings", LangSectionNewsgroupSelection, sTexts};
bool sRegistered = false;

const LangData* row(const char* key)
{
	for (const LangData* r = sTexts; r->key; ++r)
		if (std::strcmp(r->key, key) == 0)
			return r;
	return nullptr;
}

// The language's text when the table has the key, else the English text here.
template <typename... A> void text(TString& out, const char* key, const A&... args)
{
	if (Language::Started() && Language::NameCheck(key) && Language::String(key, out, false, args...))
		return;
	const LangData* r = row(key);
	if (!r) {
		out = key;
		return;
	}
	Language::StringRaw(out, r->english, r->formats, args...);
}

}  // namespace

// The background read: the reading thread owns the list until it sets done.
struct GroupSelect::Job {
	TString path;
	bool managed = false;  // runs on a thread of the thread manager, and stops with it
	std::atomic<bool> abort{false};
	std::mutex lock;
	std::condition_variable ended;
	bool started = false;
	bool done = false;
	Error result = ErrOkay;
	GroupItem::List list;

	void run()
	{
		{
			std::lock_guard<std::mutex> held(lock);
			started = true;
		}
		GroupItem::List read;
		Error e = GroupItem::ListRead(
			read, path, [this] { return !abort.load() && (!managed || ThreadMngr::Running()); });
		std::lock_guard<std::mutex> held(lock);
		result = e;
		list = std::move(read);
		done = true;
		ended.notify_all();
	}
};

bool GroupSelect::Start()
{
	// Already registered (by an earlier start of this process) is not an error.
	if (!sRegistered)
		sRegistered = Language::SectionAdd(&sSection);
	return true;
}

void GroupSelect::Stop()
{
	if (sRegistered)
		Language::SectionRemove(&sSection);
	sRegistered = false;
}

void GroupSelect::Text(TString& out, const char* key)
{
	text(out, key);
}

void GroupSelect::Text(TString& out, const char* key, const TString& arg)
{
	text(out, key, arg);
}

void GroupSelect::Text(TString& out, const char* key, long a, long b)
{
	text(out, key, a, b);
}

GroupSelect::GroupSelect(const TString& account) : mAccount(account)
{
	AcctMngr::GroupSet groups;
	AcctMngr::GroupListGet(account, groups);
	std::vector<TString> names(groups.begin(), groups.end());
	GroupItem::ListAdd(mSubscribed, names);
}

GroupSelect::~GroupSelect()
{
	ReadCancel();
}

void GroupSelect::ReadStart()
{
	TString path;
	StoragePath::FileGroupList(mAccount, path);
	ReadStart(path);
}

void GroupSelect::ReadStart(const TString& path)
{
	ReadCancel();
	mJob = std::make_shared<Job>();
	mJob->path = path;
	mJob->managed = true;
	auto* handed = new std::shared_ptr<Job>(mJob);
	if (ThreadMngr::Spawn(readProc, "GroupListRead", handed, 0, ThreadPriorityNormal) == Thread::HandleNone) {
		delete handed;
		mJob->managed = false;
		mJob->run();
	}
}

unsigned long GroupSelect::readProc(void* data)
{
	std::unique_ptr<std::shared_ptr<Job>> job(static_cast<std::shared_ptr<Job>*>(data));
	(*job)->run();
	return 0;
}

bool GroupSelect::ReadPoll()
{
	if (!mJob)
		return true;
	{
		std::lock_guard<std::mutex> held(mJob->lock);
		if (!mJob->done)
			return false;
	}
	take();
	return true;
}

Error GroupSelect::ReadWait()
{
	if (!mJob)
		return mReadResult;
	{
		std::unique_lock<std::mutex> held(mJob->lock);
		while (!mJob->done) {
			// A thread that never got to run (the program is quitting) ends nothing.
			if (!mJob->started && !ThreadMngr::Running()) {
				held.unlock();
				ReadCancel();
				return ErrGmCancelled;
			}
			mJob->ended.wait_for(held, std::chrono::milliseconds(100));
		}
	}
	take();
	return mReadResult;
}

void GroupSelect::ReadCancel()
{
	if (mJob)
		mJob->abort = true;
	mJob.reset();
}

void GroupSelect::take()
{
	mReadResult = mJob->result;
	if (mReadResult != ErrGmCancelled) {
		mServer = std::move(mJob->list);
		Search(mSearch);
	}
	mJob.reset();
}

void GroupSelect::Search(const TString& text)
{
	mSearch = text;
	mFound.clear();
	if (text.Empty())
		return;
	std::string_view needle(text.String(), static_cast<size_t>(text.ByteLength()));
	for (const GroupItem& item : mServer) {
		std::string_view name(item.name.String(), static_cast<size_t>(item.name.ByteLength()));
		if (name.find(needle) != std::string_view::npos)
			mFound.push_back(item);
	}
}

bool GroupSelect::Subscribe(const std::vector<TString>& selected)
{
	if (selected.empty())
		return false;
	GroupItem::ListAdd(mSubscribed, selected);
	mChanged = true;
	return true;
}

bool GroupSelect::Unsubscribe(const std::vector<TString>& selected)
{
	if (selected.empty())
		return false;
	GroupItem::ListDel(mSubscribed, selected);
	mChanged = true;
	return true;
}

MesgRequest::GroupSet GroupSelect::SubscribedSet() const
{
	MesgRequest::GroupSet set;
	for (const GroupItem& item : mSubscribed)
		set.insert(item.name);
	return set;
}

bool GroupSelect::Apply(void* window)
{
	if (!mChanged)
		return false;
	MessageStore::GroupUpdate(mAccount, SubscribedSet(), window);
	mChanged = false;
	return true;
}

void GroupSelect::Totals(TString& out) const
{
	text(out, "GroupSelTotals", static_cast<long>(mServer.size()), static_cast<long>(mSubscribed.size()));
}
