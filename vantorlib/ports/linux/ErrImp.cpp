#include "ErrImp.h"

#include <signal.h>

#include <cstring>

namespace {

volatile sig_atomic_t sLastSignal = 0;

void emptyHandler(int signal)
{
	sLastSignal = signal;
}

}  // namespace

bool ErrImp::SignalEmpty(int signal)
{
	struct sigaction action;
	std::memset(&action, 0, sizeof action);
	action.sa_handler = emptyHandler;
	sigemptyset(&action.sa_mask);
	// Restart interrupted system calls so that an unrelated read or wait is not cut short.
	action.sa_flags = SA_RESTART;
	return sigaction(signal, &action, nullptr) == 0;
}

int ErrImp::SignalLast()
{
	return sLastSignal;
}
