// Decodes binary attachments in the background: queued requests are taken one at a time,
// progress goes out as notifications at most twice a second, and a failed decode shows a file
// alert and leaves the destination untouched.
#pragma once

#include <atomic>
#include <vector>

#include "Error.h"
#include "TString.h"

class DecodeThread {
public:
	// One decode: a single message (its section-th first-part attachment) or the messages of
	// a multi-part binary in part order.
	struct Request {
		TString destination;
		std::vector<TString> paths;
		long section = 0;
		bool openAfter = false;
	};

	static bool Start();
	static void Stop();
	static bool Started() { return sStarted; }

	static void RequestPut(const Request& request);
	// Aborts the running decode at its next progress call and drops the queued ones.
	static void Cancel();
	// Whether a request is queued or being decoded.
	static bool Busy();
	// The outcome of the last request finished.
	static Error LastError() { return sLastError; }

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
