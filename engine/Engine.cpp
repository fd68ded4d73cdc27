#include "Engine.h"

#include "AcctMngr.h"
#include "AppPathMngr.h"
#include "AppPrefs.h"
#include "Err.h"
#include "GlobalPrefs.h"
#include "GuiDiskOp.h"
#include "Identity.h"
#include "Language.h"
#include "LanguageLoad.h"
#include "LanguageMngr.h"
#include "MessageBody.h"
#include "MessageStore.h"
#include "Net.h"
#include "NetPipe.h"
#include "Notify.h"
#include "Output.h"
#include "StorageState.h"
#include "TextProtocol.h"
#include "ThreadMngr.h"
#include "TimeFormat.h"

Engine::DisplayHooks Engine::sHooks;
bool Engine::sRunning = false;

namespace {

const LangData kAppInfoRows[] = {
	{"AppName", "", "Quillfern News"},
	{"AppDescription", "", "An offline NNTP newsreader"},
	{"AppStarted", "%s %s", "Started version %1 on the data root %2"},
	{"AppStopped", "", "Stopped"},
	{nullptr, nullptr, nullptr},
};

const LangSection kAppInfoSection = {"App info strings", LangSectionAppInfo, kAppInfoRows};
bool sAppInfoAdded = false;

bool appInfoAdd()
{
	sAppInfoAdded = Language::SectionAdd(&kAppInfoSection);
	return sAppInfoAdded;
}

void appInfoRemove()
{
	if (sAppInfoAdded)
		Language::SectionRemove(&kAppInfoSection);
	sAppInfoAdded = false;
}

// The event log records every start and stop of the engine.
void logLine(const char* key, const char* arg1 = "", const char* arg2 = "")
{
	TString text;
	if (Language::String(key, text, false, arg1, arg2))
		Output::Log(text.String());
}

// Events go to the other processes that use the same data root, known once the
// preferences are read.
bool notifyRootSet()
{
	TString root;
	GlobalPrefs::PathRoot(root);
	Notify::RootSet(root);
	return true;
}

}  // namespace

bool Engine::StartLevelOne(const DisplayHooks& hooks)
{
	sHooks = hooks;
	return Language::Start() && TimeFormat::Start() && Err::Start() &&
		(!sHooks.levelOneStart || sHooks.levelOneStart());
}

void Engine::StopLevelOne()
{
	if (sHooks.levelOneStop)
		sHooks.levelOneStop();
	Err::Stop();
	TimeFormat::Stop();
	Language::Stop();
}

bool Engine::StartLevelTwo(int type)
{
	bool ok = (!sHooks.stringsStart || sHooks.stringsStart()) && MessageBody::Start() &&
		TextProtocol::Start() && (!sHooks.modelsStart || sHooks.modelsStart()) && ThreadMngr::Start() &&
		Net::Start() && GuiDiskOp::Start() && Notify::Start() && GlobalPrefs::Start() && notifyRootSet() &&
		AppPrefs::Start() && MessageStore::Start(type) && StorageState::Start() && Identity::Start() &&
		NetPipe::Start() && AppPathMngr::Start() && LanguageMngr::Start() && appInfoAdd() &&
		LanguageLoad::Start() && (!sHooks.windowsStart || sHooks.windowsStart()) && AcctMngr::Start();
	if (!ok)
		return false;
	if (sHooks.afterAccounts)
		sHooks.afterAccounts();
	ThreadMngr::State(true);
	sRunning = true;
	TString root;
	GlobalPrefs::PathRoot(root);
	logLine("AppStarted", QUILLFERN_VERSION, root.String());
	return true;
}

void Engine::StopLevelTwo()
{
	if (sRunning)
		logLine("AppStopped");
	sRunning = false;
	ThreadMngr::State(false);
	ThreadMngr::StopAllThreads();
	LanguageLoad::Stop();
	LanguageMngr::Stop();
	appInfoRemove();
	AppPathMngr::Stop();
	if (sHooks.modelsStop)
		sHooks.modelsStop();
	if (sHooks.stringsStop)
		sHooks.stringsStop();
	TextProtocol::Stop();
	MessageBody::Stop();
	AcctMngr::Stop();
	NetPipe::Stop();
	Identity::Stop();
	StorageState::Stop();
	MessageStore::Stop();
	AppPrefs::Stop();
	GlobalPrefs::Stop();
	Notify::Stop();
	GuiDiskOp::Stop();
	Net::Stop();
	ThreadMngr::Stop();
}

bool Engine::Start(int type, const DisplayHooks& hooks)
{
	if (StartLevelOne(hooks) && StartLevelTwo(type))
		return true;
	Stop();
	return false;
}

void Engine::Stop()
{
	StopLevelTwo();
	StopLevelOne();
}
