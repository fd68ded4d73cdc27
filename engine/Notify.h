// The notification bus. Engine threads post named events with one text payload; observers
// registered for the name get their callback on the main thread, later than the post and in
// posting order. Distributed events also go to the other running processes of the same user
// that use the same data root, and come in from them.
//
// There is no windowing run loop: the main thread runs the pending callbacks by calling
// Deliver, or WaitAndDeliver while it waits for background work.
#pragma once

#include "NotifyItem.h"
#include "NotifyObject.h"
#include "TString.h"

class Notify {
public:
	// Starts the bus; the calling thread becomes the main thread, the only one on which
	// callbacks run. With a data root, distributed events are exchanged with the other
	// processes using that root (see RootSet).
	static bool Start(const TString& root = TString());
	// Drops every observer and every event not yet delivered, and leaves the process bus.
	static void Stop();
	static bool Started();

	// Joins the per-user bus of this absolute data root (leaving any other); an empty root, or
	// no usable per-user folder, keeps distributed events within the process.
	static void RootSet(const TString& root);
	// Whether distributed events currently reach other processes.
	static bool Distributing();

	// Main thread only. Registering the same triple twice calls the callback twice per event;
	// Unregister removes the first observer with the same name, distribution, callback and
	// context. A callback unregistered after a post and before delivery is not called.
	static void Register(const NotifyItem& item, NotifyProc proc, void* context);
	static void Unregister(const NotifyItem& item, NotifyProc proc, void* context);

	// Posts the event from any thread; never blocks on observers. A non-empty payload is
	// normalised to composed form first.
	static void Send(const NotifyItem& item, const TString& payload = TString());

	// Runs, on the calling main thread, the callbacks pending when it was called (those posted
	// meanwhile wait for the next call). Returns how many ran; 0 on another thread.
	static long Deliver();
	// Waits until something is pending or the time passes, then delivers. Returns how many ran.
	static long WaitAndDeliver(long long microseconds);
	// Callbacks waiting to run.
	static long Pending();
};
