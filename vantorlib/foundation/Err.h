// Error codes: texts, the mapping of platform result codes, and narrowing of generic codes
// to the family (file, directory, network, volume) a caller works in.
#pragma once

#include "Error.h"
#include "LangSection.h"

class TString;

class Err {
public:
	// Registers the "Error strings" section with Language.
	static bool Start();
	static void Stop();

	// The message of e in the current language (English before Start). A value outside the
	// enumeration is recorded as the last unknown code and shown as "Unknown error <code>".
	static const char* Str(TString& out, Error e);
	// Str into a shared string, for internal assertions that report an unexpected Error.
	static const char* AssertOkayStr(Error e);

	// Platform result (errno value, or a negative file-manager code) to an Error.
	static Error Status(long platformCode);
	static Error StatusFile(long platformCode);
	static Error StatusDir(long platformCode);
	static Error StatusNet(long platformCode);
	static Error StatusVol(long platformCode);
	static Error StatusRsrc(long platformCode);
	static Error StatusTypeCreator(long platformCode);

	// Narrowing; each returns its argument when no mapping applies.
	static Error ToFile(Error e);
	static Error ToDir(Error e);
	static Error ToNet(Error e);
	static Error ToVol(Error e);
	static Error ToRsrc(Error e);
	static Error ToTypeCreator(Error e);

	// Installs a handler for the signal that only records its number (SIGPIPE, so that a write
	// to a closed socket returns an error instead of ending the process).
	static bool SignalEmpty(int signal);
	static int SignalLast();

	// The last platform code (or Error value) that had no mapping; 0 when none yet.
	static long UnknownGet();
	static void UnknownSet(long code);

	// The name of e ("ErrFileNotFound"); "ErrErrorUnknown" outside the enumeration.
	static const char* Name(Error e);
	// The English text of e without substitution.
	static const char* English(Error e);

	static const LangSection sSection;

private:
	static bool sStarted;
};
