#include "ThreadMngr.h"

#include <csignal>
#include <map>

#include "CritSectLock.h"
#include "Err.h"
#include "TimeCore.h"

namespace {

// The lock and the set live as long as the process: a thread given up at quit may still end,
// and remove itself, after Stop.
CritSect& managerLock()
{
	static CritSect* sLock = new CritSect;
	return *sLock;
}

std::map<ThreadHandle, ThreadMngr::Info*>& threadSet()
{
	static auto* sSet = new std::map<ThreadHandle, ThreadMngr::Info*>;
	return *sSet;
}

std::atomic<bool> sRun{false};
std::atomic<bool> sQuit{false};
bool sStarted = false;

// Sleeps for the pause between calls, but wakes early when quit begins.
void pause(long long microseconds, const ThreadMngr::Info* info)
{
	const long long slice = 50000;
	while (microseconds > 0 && !sQuit.load() && !info->dropped.load()) {
		long long now = microseconds < slice ? microseconds : slice;
		Thread::Sleep(now);
		microseconds -= now;
	}
}

unsigned long threadLoop(void* arg)
{
	ThreadMngr::Info* info = static_cast<ThreadMngr::Info*>(arg);
	info->running = false;
	// A peer closing a socket must give an error on the write, not end the process.
	Err::SignalEmpty(SIGPIPE);
	unsigned long result = ThreadMngr::ProcAgain;
	for (;;) {
		if (sQuit.load() || info->dropped.load())
			break;
		if (!sRun.load()) {
			Thread::Sleep(50000);
			continue;
		}
		info->running = true;
		result = info->proc(info->data);
		info->running = false;
		if (result != ThreadMngr::ProcAgain)
			break;
		if (info->interval != 0)
			pause(info->interval, info);
	}
	{
		CritSectLock held(managerLock());
		auto& set = threadSet();
		auto found = set.find(Thread::Self());
		if (found != set.end() && found->second == info)
			set.erase(found);
	}
	delete info;
	return result;
}

}  // namespace

bool ThreadMngr::Start()
{
	CritSectLock held(managerLock());
	managerLock().TimeoutSet(120000000);
	sQuit = false;
	sRun = false;
	sStarted = true;
	return true;
}

void ThreadMngr::Stop()
{
	StopAllThreads();
	CritSectLock held(managerLock());
	// Whatever is still listed was given up: its thread keeps its record and leaves on its own.
	for (auto& entry : threadSet())
		entry.second->dropped = true;
	threadSet().clear();
	sStarted = false;
}

ThreadHandle ThreadMngr::Spawn(
	ThreadProc proc, const char* name, void* data, long long interval, ThreadPriority priority)
{
	if (proc == nullptr)
		return Thread::HandleNone;
	CritSectLock held(managerLock());
	if (!sStarted)
		return Thread::HandleNone;
	Info* info = new Info;
	info->proc = proc;
	info->data = data;
	info->name = (name != nullptr && *name != '\0') ? name : "UserThread";
	info->interval = interval < 0 ? 0 : interval;
	info->priority = priority;
	// The new thread cannot finish and remove its record before it is listed: that takes the
	// manager lock, held here.
	ThreadHandle handle = Thread::HandleNone;
	if (!Thread::Spawn(handle, threadLoop, info, info->name.c_str(), priority) ||
		handle == Thread::HandleNone) {
		delete info;
		return Thread::HandleNone;
	}
	info->handle = handle;
	threadSet()[handle] = info;
	return handle;
}

void ThreadMngr::State(bool run)
{
	CritSectLock held(managerLock());
	sRun = run;
}

bool ThreadMngr::Running()
{
	CritSectLock held(managerLock());
	return sRun.load();
}

long ThreadMngr::Count()
{
	CritSectLock held(managerLock());
	if (!sStarted)
		return 0;
	return static_cast<long>(threadSet().size());
}

std::string ThreadMngr::Name(ThreadHandle handle)
{
	CritSectLock held(managerLock());
	auto found = threadSet().find(handle);
	return found == threadSet().end() ? std::string() : found->second->name;
}

bool ThreadMngr::Kill(ThreadHandle handle)
{
	{
		CritSectLock held(managerLock());
		auto found = threadSet().find(handle);
		if (found != threadSet().end()) {
			found->second->dropped = true;
			threadSet().erase(found);
		}
	}
	return Thread::Kill(handle);
}

void ThreadMngr::StopAllThreads()
{
	{
		CritSectLock held(managerLock());
		if (!sStarted)
			return;
	}
	const long long begin = TimeCore::TickCount();
	bool left = false;
	for (;;) {
		sQuit = true;
		sRun = false;
		if (Count() == 0) {
			left = true;
			break;
		}
		if (TimeCore::TickCount() - begin > StopWait - 1)
			break;
		Thread::Sleep(2000);
	}
	if (left)
		return;
	for (int i = 0; i < 30; i++) {
		ThreadHandle first;
		{
			CritSectLock held(managerLock());
			if (threadSet().empty())
				break;
			first = threadSet().begin()->first;
		}
		Kill(first);
	}
}
