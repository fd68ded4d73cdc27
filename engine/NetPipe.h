// The network pipeline: one queue of network requests served by one network thread, which runs
// them one at a time over the account driver's single connection, reusing it while consecutive
// requests belong to the same account. The rest of the program only queues requests, edits the
// queue and reads progress; results come back as message files in the store and notifications.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "ActivityInfo.h"
#include "Error.h"
#include "NetRequest.h"
#include "TString.h"

struct ProgressBarData {
	float total = 0;
	float done = 0;
	float headUnits = 0;
};

// How one request ended, for a front end that reports each finished step.
struct NetResult {
	NetRequest request;
	Error error = ErrOkay;  // ErrGmCancelled when it was cancelled
	TString text;  // the user's error text of a failure
	uint32_t count = 0;  // messages filed into the store or posted
	uint32_t refused = 0;  // downloaded messages the store could not take
};

class NetPipe {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	static void CatchupGroup(const TString& account, const TString& group);
	static void CatchupAccount(const TString& account);
	static void CatchupAll();
	static void DnldGroup(const TString& account, const TString& group);
	static void DnldAccount(const TString& account);
	static void DnldAll();
	static void DnldBodies(const TString& account, const TString& group);
	static void DnldBodies(const TString& account);
	static void DnldBodies();
	static void DnldBodiesMarked(const TString& account, const TString& group);
	static void DnldBodiesMarked(const TString& account);
	static void DnldBodiesMarked();
	static void DnldBody(const TString& account, const TString& group, const TString& path);
	static void DnldGroupList(const TString& account);
	static bool UpldAccount(const TString& account);
	static bool UpldAll();
	static void TransferAll();

	static void QueueGet(std::deque<NetRequest>& out);
	static void QueueDel(long index);
	static void QueueDelAll();
	static void QueueMoveUp(long index);
	static void QueueMoveDn(long index);
	static void ProgressData(ProgressBarData& out);

	// A request is queued or running.
	static bool Busy();
	// The latest progress report of the running request.
	static void ActivityGet(ActivityInfo& out);
	// The requests that ended since the last call, in order.
	static void ResultsTake(std::vector<NetResult>& out);
	// Whether the outbox holds a message to be posted by account.
	static bool OutboxHas(const TString& account);
	// The error alert's text, "title<TAB>message".
	static void ErrorAlertText(TString& out);

private:
	static unsigned long threadProc(void* data);
	static bool cycle();
	static void rqstPut(const NetRequest& request);
	static void groupPut(NetRequestType type, const TString& account, const TString& group);
	static void accountPut(NetRequestType type, const TString& account);
	static void allPut(NetRequestType type);
	static void queueChanged();
	static bool thrdError(Error err, const NetRequest& request);
	static void thrdActnStop(bool success, const NetRequest& request);
	static void activityProc(void* user, const ActivityInfo& info);
	static void wake();

	static bool sStarted;
};
