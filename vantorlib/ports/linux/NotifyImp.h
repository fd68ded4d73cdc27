// The per-user broadcast of named events between processes that share one data root.
//
// Every process that joins the bus of a root binds a datagram socket in a private per-user
// folder ($XDG_RUNTIME_DIR/quillfern/<hash of the root>/<pid>-<token>.sock). Posting hands the
// event to a sender thread, which passes it to every other socket in the folder, so that the
// poster never waits. Sockets left behind by a process that died are recognised (nobody
// receives on them) and removed, and the folder of a root goes with its last process.
//
// A process that is alive but does not read (stopped, hung) cannot hold anybody up, so events
// for it may have to be dropped; it is then owed a reload: the sender leaves a marker file
// beside its socket (<pid>-<token>.reload), and the process, when it next empties its socket,
// removes the marker and reports the loss, so that it reloads what it shows.
#pragma once

#include <cstddef>
#include <string>

class NotifyImp {
public:
	// Called on the bus's own receiving thread for every event from another process.
	typedef void (*Receiver)(const std::string& name, const std::string& payload);
	// Called on the same thread, after the events that did arrive, when some did not.
	typedef void (*Lost)();

	// Joins the bus of the absolute data root. False (and no bus) when no private per-user
	// folder can be had or the path is too long for a socket.
	static bool Open(const std::string& root, Receiver receiver, Lost lost);
	// Leaves the bus; events already posted are still passed on for up to a second (those
	// that are not, the other processes are owed a reload for). The folder of the root is
	// removed when no other process uses it.
	static void Close();
	static bool IsOpen();

	// Queues the event for every other process on the bus; never blocks on them.
	static void Post(const std::string& name, const std::string& payload);

	// The folder that holds the bus of a root (empty when there is no usable one), and this
	// process's socket in it (empty when closed).
	static std::string Folder(const std::string& root);
	static std::string Endpoint();
};
