#include "App.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "Engine.h"
#include "GlobalPrefs.h"
#include "GuiStrings.h"
#include "MdirReader.h"
#include "MessageList.h"
#include "MessageStore.h"
#include "Notify.h"
#include "Output.h"
#include "ProgStrings.h"
#include "StoragePath.h"
#include "TString.h"

bool App::sStarted = false;

namespace {

std::atomic<bool> sInterrupted{false};

std::vector<bool (*)()>& busyProbes()
{
	static std::vector<bool (*)()> probes;
	return probes;
}

void interruptHandler(int)
{
	sInterrupted = true;
}

// Alerts go to standard error: the title on its own line, then the message.
void alertShow(const char* title, const char* message)
{
	if (*title)
		std::fprintf(stderr, "%s\n", title);
	if (*message)
		std::fprintf(stderr, "%s\n", message);
}

bool stringsStart()
{
	return GuiStrings::Start() && ProgStrings::Start();
}

void stringsStop()
{
	GuiStrings::Stop();
	ProgStrings::Stop();
}

bool modelsStart()
{
	return MessageList::Start() && MdirReader::Start();
}

void modelsStop()
{
	MdirReader::Stop();
	MessageList::Stop();
}

}  // namespace

bool App::Start(const std::string& root)
{
	struct sigaction sa = {};
	sa.sa_handler = interruptHandler;
	sigemptyset(&sa.sa_mask);
	sigaction(SIGINT, &sa, nullptr);
	sigaction(SIGTERM, &sa, nullptr);

	// Results own standard output; messages, alerts and progress go to standard error.
	Output::StreamSet(stderr);
	Output::AlertProcSet(alertShow);
	if (!root.empty()) {
		std::string absolute = root;
		if (root[0] != '/' && root[0] != '~') {
			char cwd[4096];
			if (getcwd(cwd, sizeof cwd))
				absolute = std::string(cwd) + "/" + root;
		}
		while (absolute.size() > 1 && absolute.back() == '/')
			absolute.pop_back();
		GlobalPrefs::RootOverrideSet(TString(absolute.c_str()));
	}

	Engine::DisplayHooks hooks;
	hooks.stringsStart = stringsStart;
	hooks.stringsStop = stringsStop;
	hooks.modelsStart = modelsStart;
	hooks.modelsStop = modelsStop;
	sStarted = Engine::Start(StoragePath::kTypeNews, hooks);
	// A run ends only once the message store has carried out what it was given.
	static bool probed = false;
	if (!probed) {
		probed = true;
		BusyProbeAdd(MessageStore::Busy);
		BusyProbeAdd(MdirReader::Busy);
	}
	// Messages left in the transfer directory by an earlier run are carried in before the
	// command looks at the store.
	if (sStarted)
		RunUntilIdle();
	return sStarted;
}

void App::Stop()
{
	if (sStarted) {
		sStarted = false;
		Engine::Stop();
	}
}

void App::RunUntilIdle()
{
	auto busy = [] {
		for (auto probe : busyProbes())
			if (probe())
				return true;
		return false;
	};
	while (!sInterrupted && (busy() || Notify::Pending() > 0))
		Notify::WaitAndDeliver(100000);
	Notify::Deliver();
}

void App::BusyProbeAdd(bool (*probe)())
{
	busyProbes().push_back(probe);
}

bool App::Interrupted()
{
	return sInterrupted;
}
