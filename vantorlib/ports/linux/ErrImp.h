// Platform half of Err: the empty signal handler.
#pragma once

class ErrImp {
public:
	// Installs a handler that only records the signal number; the signal then interrupts
	// the call in progress (which reports EPIPE for SIGPIPE) instead of ending the process.
	static bool SignalEmpty(int signal);
	static int SignalLast();
};
