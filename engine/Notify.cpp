#include "Notify.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "NotifyImp.h"
#include "NotifyList.h"
#include "Thread.h"

namespace {

struct PendingCall {
	std::shared_ptr<NotifyObject> observer;
	std::shared_ptr<const TString> payload;
};

// One lock guards the observers and the queue of calls; posting threads hold it only while
// they hand the event over.
std::mutex sLock;
std::condition_variable sPosted;
bool sStarted = false;
ThreadHandle sMain = Thread::HandleNone;
std::vector<std::shared_ptr<NotifyObject>> sObservers;
std::deque<PendingCall> sQueue;

// Queues a call for every observer of the event. Called with sLock held.
bool post(const TString& name, bool distributed, const std::shared_ptr<const TString>& payload)
{
	bool any = false;
	for (const auto& observer : sObservers) {
		if (observer->Matches(name, distributed)) {
			sQueue.push_back(PendingCall{observer, payload});
			any = true;
		}
	}
	return any;
}

// An event from another process on the bus.
void received(const std::string& name, const std::string& payload)
{
	// Another process may pass on text that is not UTF-8 (a name from a server); it arrives as
	// it was posted, as it does for the poster's own observers.
	TString eventName;
	eventName.AllowInvalidSet(true);
	eventName.AssignByte(name.data(), static_cast<long>(name.size()));
	auto text = std::make_shared<TString>();
	text->AllowInvalidSet(true);
	text->AssignByte(payload.data(), static_cast<long>(payload.size()));
	bool any;
	{
		std::lock_guard<std::mutex> held(sLock);
		if (!sStarted)
			return;
		any = post(eventName, true, text);
	}
	if (any)
		sPosted.notify_all();
}

// Distributed events from another process did not all reach us: observers of the reload
// event are told to reload what they show.
void lost()
{
	auto text = std::make_shared<TString>();
	bool any;
	{
		std::lock_guard<std::mutex> held(sLock);
		if (!sStarted)
			return;
		any = post(NotifyList::Reload().Name(), true, text);
	}
	if (any)
		sPosted.notify_all();
}

}  // namespace

bool Notify::Start(const TString& root)
{
	{
		std::lock_guard<std::mutex> held(sLock);
		sObservers.clear();
		sObservers.reserve(20);
		sQueue.clear();
		sMain = Thread::Self();
		sStarted = true;
	}
	RootSet(root);
	return true;
}

void Notify::Stop()
{
	NotifyImp::Close();
	std::vector<std::shared_ptr<NotifyObject>> observers;
	std::deque<PendingCall> queue;
	{
		std::lock_guard<std::mutex> held(sLock);
		sStarted = false;
		for (const auto& observer : sObservers)
			observer->Withdraw();
		observers.swap(sObservers);
		queue.swap(sQueue);
	}
	sPosted.notify_all();
}

bool Notify::Started()
{
	std::lock_guard<std::mutex> held(sLock);
	return sStarted;
}

void Notify::RootSet(const TString& root)
{
	{
		std::lock_guard<std::mutex> held(sLock);
		if (!sStarted)
			return;
	}
	if (root.Empty())
		NotifyImp::Close();
	else
		NotifyImp::Open(std::string(root.String(), static_cast<size_t>(root.ByteLength())), received, lost);
}

bool Notify::Distributing()
{
	return NotifyImp::IsOpen();
}

void Notify::Register(const NotifyItem& item, NotifyProc proc, void* context)
{
	if (proc == nullptr)
		return;
	std::lock_guard<std::mutex> held(sLock);
	if (!sStarted)
		return;
	sObservers.push_back(std::make_shared<NotifyObject>(item.Name(), item.Distributed(), proc, context));
}

void Notify::Unregister(const NotifyItem& item, NotifyProc proc, void* context)
{
	std::lock_guard<std::mutex> held(sLock);
	for (auto it = sObservers.begin(); it != sObservers.end(); ++it) {
		if ((*it)->Matches(item.Name(), item.Distributed(), proc, context)) {
			(*it)->Withdraw();
			sObservers.erase(it);
			return;
		}
	}
}

void Notify::Send(const NotifyItem& item, const TString& payload)
{
	auto text = std::make_shared<TString>(payload);
	if (!text->Empty())
		text->Normalize(true);
	bool any;
	{
		std::lock_guard<std::mutex> held(sLock);
		if (!sStarted)
			return;
		any = post(item.Name(), item.Distributed(), text);
		// Handed to the bus under the lock, so that other processes see one poster's events
		// in the order of its posts even when several threads post at once.
		if (item.Distributed()) {
			NotifyImp::Post(std::string(item.Name().String(), static_cast<size_t>(item.Name().ByteLength())),
				std::string(text->String(), static_cast<size_t>(text->ByteLength())));
		}
	}
	if (any)
		sPosted.notify_all();
}

long Notify::Deliver()
{
	long count;
	{
		std::lock_guard<std::mutex> held(sLock);
		if (!sStarted || sMain != Thread::Self())
			return 0;
		count = static_cast<long>(sQueue.size());
	}
	long done = 0;
	while (done < count) {
		PendingCall call;
		{
			std::lock_guard<std::mutex> held(sLock);
			if (sQueue.empty())
				break;
			call = std::move(sQueue.front());
			sQueue.pop_front();
		}
		call.observer->Call(*call.payload);
		done++;
	}
	return done;
}

long Notify::WaitAndDeliver(long long microseconds)
{
	{
		std::unique_lock<std::mutex> held(sLock);
		if (sQueue.empty() && microseconds > 0)
			sPosted.wait_for(held, std::chrono::microseconds(microseconds), [] { return !sQueue.empty(); });
	}
	return Deliver();
}

long Notify::Pending()
{
	std::lock_guard<std::mutex> held(sLock);
	return static_cast<long>(sQueue.size());
}
