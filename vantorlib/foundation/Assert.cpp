#include "Assert.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

static std::atomic<AssertHandler> sHandler{nullptr};

void AssertFailed(const char* what, const char* file, int line)
{
	AssertHandler handler = sHandler.load();
	if (handler) {
		handler(what, file, line);
		return;
	}
	std::fprintf(stderr, "Assertion failed: %s (%s:%d)\n", what ? what : "", file ? file : "?", line);
	(void)std::fflush(stderr);  // nowhere else to report it
#ifndef NDEBUG
	std::abort();
#endif
}

AssertHandler AssertHandlerSet(AssertHandler handler)
{
	return sHandler.exchange(handler);
}
