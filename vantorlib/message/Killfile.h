// The killfile: authors whose articles are left out of the lists and the unread counts.
//
// The list is shared by every process of the user through one text file. Each change (a plonk,
// a removal, dropping expired entries) reads the file, changes it and writes it back while
// holding the file's lock, so that processes running at once never lose each other's entries.
// Between changes the plonked test answers from the list in memory, which is read again when
// the file has changed under it.
#pragma once

#include <functional>
#include <vector>

#include "Bozo.h"
#include "CritSect.h"
#include "Error.h"
#include "TString.h"

class Killfile {
public:
	static constexpr long long kPlonkLengthDefault = 15552000000000LL;  // 180 days
	static constexpr long long PlonkLengthMin() { return 14400000000LL; }  // four hours
	static constexpr long long PlonkLengthMax() { return 186624000000000LL; }  // 2,160 days

	// Remembers the file, reads it and drops expired entries from memory; always true.
	static bool Start(const TString& path);
	// Empties the list; every change is already in the file.
	static void Stop();
	static bool Started() { return sStarted; }

	// Adds the author and address unless listed; the entry lasts the plonk length from now.
	// ErrGmBadPath when the killfile is not started; ErrFileInvalidData for a pair that cannot
	// be an entry (an empty part, invalid UTF-8, too long).
	static Error Plonk(const TString& author, const TString& email);
	// Removes every entry whose author name (or, failing that, address) is the given text;
	// count receives how many went.
	static Error Remove(const TString& author, long& count);
	// Whether the exact pair (ends trimmed) is listed and not expired.
	static bool IsPlonked(const TString& author, const TString& email);
	static bool IsPlonked(const char* author, const char* email);
	// Drops expired entries, from the file too.
	static Error Expire();
	// A copy of the list, current with the file.
	static std::vector<Bozo> List();

	static long long PlonkLengthGet();
	static void PlonkLengthSet(long long length);

	// The time taken as now, for tests of expiry; 0 means the clock.
	static void NowSet(long long now) { sNow = now; }

private:
	static long long now();
	static Error fileRead(const TString& path, std::vector<Bozo>& list);
	static Error fileWrite(const TString& path, const std::vector<Bozo>& list);
	static bool listPurge(std::vector<Bozo>& list, long long t);
	static void listSort(std::vector<Bozo>& list);
	static void refresh();
	static Error change(const std::function<bool(std::vector<Bozo>&)>& edit);

	static bool sStarted;
	static TString sPath;
	static std::vector<Bozo> sList;
	static long long sPlonkLength;
	static long long sNow;
	static long long sStamp[3];  // the file as last read: modification time, size, inode
	static long long sChecked;  // tick of the last look at the file
	static CritSect sLock;
};
