// Decodes binary attachments in the background: queued requests are taken one at a time,
// progress goes out as notifications at most twice a second, and a failed decode shows a file
// alert and leaves the destination untouched.
#pragma once

#include <atomic>

#include <vector>

#include "Error.h"
#include "MesgRequest.h"
#include "MessageBody.h"

class DecodeThread {
public:
	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	// A decode request (MessageStore::MesgDecode builds it): the destination in file, the
	// message paths in fileList (one message, or the parts in part order), the section index
	// in count and whether to open the file afterwards in flag. It goes to the store's decode
	// queue.
	static void RequestPut(const MesgRequest& request);
	// Aborts the running decode at its next progress call and drops the queued ones.
	static void Cancel();
	// Whether a request is queued or being decoded.
	static bool Busy();
	// The outcome of the last request finished.
	static Error LastError() { return sLastError; }

	// How one request ended, with the fault and part number of a failed decode.
	struct Outcome {
		TString destination;
		Error error = ErrOkay;
		MessageBody::DecodeFault fault = MessageBody::FaultNone;
		int32_t faultPart = 0;
	};
	// While kept, each finished request's outcome is recorded for OutcomesTake, and the caller
	// reports failures itself: no file alert is shown. Not kept, nothing accumulates.
	static void OutcomesKeep(bool keep);
	static std::vector<Outcome> OutcomesTake();

	// Takes one request and decodes it; false when the queue was empty. The thread calls it,
	// and so can a caller that wants the work done now.
	static bool RunOne();

private:
	static unsigned long threadProc(void* data);

	static bool sStarted;
	static std::atomic<bool> sAbort;
	static std::atomic<bool> sRunning;
	static std::atomic<Error> sLastError;
};
