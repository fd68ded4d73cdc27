// Failed internal assertions: a broken contract between parts of the program (for example
// malformed UTF-8 stored in a string that does not allow it). By default the failure is
// written as one line to standard error and, in debug builds, the program aborts.
#pragma once

using AssertHandler = void (*)(const char* what, const char* file, int line);

// Reports a failed assertion through the installed handler, or the default one.
void AssertFailed(const char* what, const char* file, int line);

// Installs a handler for failed assertions (null restores the default) and returns the
// previous one. A handler replaces the default entirely: it decides whether to abort.
AssertHandler AssertHandlerSet(AssertHandler handler);

#define QF_ASSERT(cond, what) \
	do { \
		if (!(cond)) \
			AssertFailed((what), __FILE__, __LINE__); \
	} while (0)
