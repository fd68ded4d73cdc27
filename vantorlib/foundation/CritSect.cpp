#include "CritSect.h"

#include <cstdio>
#include <unistd.h>

bool CritSect::Enter()
{
	if (mImp.LockUntil(mTimeout / 1000000))
		return true;
	// A wait this long is a fault of the program (a lock held across a long operation or a
	// deadlock). Say so, then keep waiting: callers rely on holding the lock after Enter.
	// Written directly to the descriptor: the logging path itself uses locks.
	static const char kMessage[] = "failed to acquire critsect\n";
	(void)fflush(stdout);  // only orders the message after earlier output
	ssize_t written = write(STDOUT_FILENO, kMessage, sizeof kMessage - 1);
	(void)written;
	mImp.Lock();
	return true;
}

void CritSect::Leave()
{
	mImp.Unlock();
}
