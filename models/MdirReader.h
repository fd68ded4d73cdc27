// Reads message directories for display in the background. It holds one pending read, not a
// queue: a read asked for replaces one not yet begun and stops one in progress, so that only
// the directory last asked for is delivered. Its thread reads the cache into message lists,
// threads and sorts them, and hands them to the read's target on the main thread.
//
// The display models start before the thread manager, so the thread is spawned by the first
// read (on the main thread), and the hand-over observer is registered then as well.
#pragma once

#include "Error.h"
#include "MessageList.h"
#include "TString.h"

class MdirReader {
public:
	// What asked for a read. Called on the main thread; the lists are the target's to keep.
	class Target {
	public:
		virtual ~Target() = default;
		virtual void MdirRead(const TString& mdir, NodeList& msgIdList, NodeList& displayList,
			NodeList& attachList, long unread, bool expanded) = 0;
		// A read that ended without lists (not for one replaced by a newer read).
		virtual void MdirReadFailed(const TString&, Error) {}
	};

	static bool Start();
	// Forgets the pending read and any result not handed over; the thread has stopped by then.
	static void Stop();
	static bool Started() { return sStarted; }

	// Asks for mdir to be read; an empty mdir ends the read in progress without a new one.
	// target must stay valid until its call, or until a later Read or Stop.
	static void Read(const TString& mdir, Target* target, const EFSortInfo& sortInfo, bool threaded,
		bool expanded, bool showRead, bool useKillfile);
	// A read is pending, running, or waits to be handed over.
	static bool Busy();

	static unsigned long Proc(void*);

private:
	static bool sStarted;
};
