// The list of posting identities: at most 20, never empty once started, kept in one settings
// file that every process of the user shares. A process that writes the file tells the others,
// which reload it.
#pragma once

#include "CritSect.h"
#include "IdentData.h"
#include "TString.h"

#include <functional>
#include <vector>

class InitFile;

class Identity {
public:
	// Creates the default signature file when missing (failing start-up when it cannot),
	// observes the file-changed event and loads the list, saving it at once when it needed
	// repairs or had to be made from defaults.
	static bool Start();
	// Saves the list if it differs from the file.
	static void Stop();
	static bool Started();

	static long CountCurrent();
	static long CountMax() { return 20; }

	// False when the identifier is not valid or not in the list.
	static bool IdentGet(const TString& itemID, IdentData& out);
	// False when the index is out of range.
	static bool IdentGet(long index, IdentData& out);
	// The identifier at the index clamped into the list.
	static bool IndexToItemID(long index, TString& out);
	// The index of the identifier, or -1.
	static long IndexFromItemID(const TString& itemID);
	// The index of the first identity whose display name is `name`, or -1.
	static long IndexFromName(const TString& name);
	static long IndexMakeValid(long index);

	// Each change is made to the list as the file holds it now, under the file's lock, and
	// saved at once, so that changes of several processes are all kept; the list of this
	// process becomes the file's. False when the change is refused or the file could not be
	// read or written (nothing changes then).
	// The stored identity takes every field of data but its item identifier.
	static bool IdentSet(long index, const IdentData& data);
	// Refused for the only identity.
	static bool IdentDel(long index);
	// Appends a default identity; refused when the list is full.
	static bool IdentAdd();
	// Appends data (with a fresh item identifier unless its own is valid and unused); refused
	// when the list is full.
	static bool IdentAdd(const IdentData& data);

private:
	enum SaveResult { SaveNone, SaveDone, SaveFailed };

	static bool listFromFile(const InitFile& file, std::vector<IdentData>& list, bool& repaired);
	static bool initRead(bool keepOnFailure);
	static void startLoad();
	static Error listWrite(InitFile& file, const std::vector<IdentData>& list);
	static bool listUpdate(const std::function<bool(std::vector<IdentData>&)>& change);
	static void alertText(const char* key, const TString& arg);
	static void saveAnnounce(SaveResult result);
	static void fileChanged(void* context, const TString& payload);

	static std::vector<IdentData> sList;
	static bool sDirty;  // start-up repairs not saved yet
	static bool sSaved;  // the start-up load wrote the file
	static bool sStarted;
	static CritSect sLock;
};
