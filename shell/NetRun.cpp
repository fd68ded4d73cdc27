#include "NetRun.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "AcctMngr.h"
#include "App.h"
#include "Command.h"
#include "MessageStore.h"
#include "NetPipe.h"
#include "Notify.h"
#include "TimeCore.h"

namespace {

const long long kDrawInterval = 200000;
const int kBarWidth = 24;

struct RateState {
	TString key;  // request the rate is counted for
	uint32_t firstDone = 0;
	long long firstTick = 0;
};

RateState sRate;
bool sBarShown = false;
bool sTerminal = false;

std::string what(const NetRequest& r)
{
	std::string text = r.account.String();
	if (!r.group.Empty())
		text += std::string("/") + r.group.String();
	return text;
}

const char* unit(const NetRequest& r)
{
	switch (r.type) {
	case NetRqstUpload: return "posted";
	case NetRqstCatchupGroup: return "caught up";
	case NetRqstDnldGroupList: return "newsgroup list downloaded";
	default: return "messages";
	}
}

void barClear()
{
	if (sBarShown) {
		std::fprintf(stderr, "\r\033[K");
		sBarShown = false;
	}
}

}  // namespace

bool NetRun::AccountFind(const std::string& name, TString& account)
{
	AcctData data;
	if (!AcctMngr::Get(TString(name.c_str()), data)) {
		Command::Warn("no such account: " + name);
		return false;
	}
	account = data.name;
	return true;
}

bool NetRun::GroupFind(const TString& account, const std::string& name, TString& group)
{
	AcctMngr::GroupSet groups;
	AcctMngr::GroupListGet(account, groups);
	for (const TString& g : groups) {
		if (g.CompareNoCase(TString(name.c_str())) == 0) {
			group = g;
			return true;
		}
	}
	Command::Warn(std::string("account ") + account.String() + " does not subscribe to " + name);
	return false;
}

void NetRun::barDraw(bool final)
{
	if (!sTerminal)
		return;
	ActivityInfo a;
	NetPipe::ActivityGet(a);
	ProgressBarData p;
	NetPipe::ProgressData(p);
	std::deque<NetRequest> queue;
	NetPipe::QueueGet(queue);
	TString key;
	if (!queue.empty()) {
		key = queue.front().account;
		key += "\n";
		key += queue.front().group;
	}
	long long now = TimeCore::TickCount();
	if (!(key == sRate.key) || a.done < sRate.firstDone) {
		sRate.key = key;
		sRate.firstDone = a.done;
		sRate.firstTick = now;
	}
	double seconds = double(now - sRate.firstTick) / 1e6;
	double rate = seconds > 0.5 ? double(a.done - sRate.firstDone) / seconds : 0;
	double fraction = p.total > 0 ? double(p.done) / double(p.total) : 0;
	if (p.headUnits > 0 && a.total > 0 && p.total > 0)
		fraction += double(p.headUnits) / double(p.total) * double(a.done) / double(a.total);
	if (final || fraction > 1)
		fraction = 1;
	int filled = int(fraction * kBarWidth);
	std::string bar(size_t(filled), '#');
	bar.append(size_t(kBarWidth - filled), '-');
	std::string item = queue.empty() ? "" : what(queue.front());
	std::fprintf(stderr, "\r\033[K[%s] %3d%%  %u/%u  %.0f/s  %s", bar.c_str(), int(fraction * 100), a.done,
		a.total, rate, item.c_str());
	std::fflush(stderr);  // NOLINT(cert-err33-c): progress only
	sBarShown = true;
}

void NetRun::resultsReport(int& status)
{
	std::vector<NetResult> results;
	NetPipe::ResultsTake(results);
	if (results.empty())
		return;
	barClear();
	for (const NetResult& r : results) {
		std::string name = what(r.request);
		if (r.error == ErrGmCancelled) {
			std::fprintf(stderr, "%s: cancelled after %u %s\n", name.c_str(), r.count, unit(r.request));
			status = Command::kExitFailed;
		} else if (r.error != ErrOkay) {
			std::fprintf(stderr, "%s\n", r.text.String());
			status = Command::kExitFailed;
		} else if (r.request.type == NetRqstCatchupGroup || r.request.type == NetRqstDnldGroupList) {
			std::fprintf(stderr, "%s: %s\n", name.c_str(), unit(r.request));
		} else {
			std::fprintf(stderr, "%s: %u %s\n", name.c_str(), r.count, unit(r.request));
		}
		if (r.refused > 0) {
			std::fprintf(stderr, "%s: %u downloaded messages could not be stored\n", name.c_str(), r.refused);
			status = Command::kExitFailed;
		}
	}
	std::fflush(stderr);  // NOLINT(cert-err33-c): nowhere to report it
}

int NetRun::Wait()
{
	sTerminal = isatty(STDERR_FILENO) != 0;
	sRate = RateState();
	int status = Command::kExitOkay;
	bool cancelled = false;
	long long lastDraw = 0;
	while (NetPipe::Busy()) {
		if (App::Interrupted() && !cancelled) {
			cancelled = true;
			NetPipe::QueueDelAll();
		}
		Notify::WaitAndDeliver(50000);
		resultsReport(status);
		long long now = TimeCore::TickCount();
		if (now - lastDraw >= kDrawInterval) {
			lastDraw = now;
			barDraw(false);
		}
	}
	resultsReport(status);
	barClear();
	// What came in is filed before the run ends, interrupted or not.
	while (MessageStore::Busy() || Notify::Pending() > 0)
		Notify::WaitAndDeliver(100000);
	if (App::Interrupted()) {
		Command::Warn("interrupted");
		status = Command::kExitFailed;
	}
	return status;
}
