// A small persistent map from text keys to text records, kept in two fixed-layout text files:
// an index file ("didx": header, hash table of 307 buckets, one 413-byte index record per
// slot) and a data file ("ddat": one 4096-byte block per slot). Deleted slots are chained on
// a free list and reused. A status letter in the header says whether the store was closed
// cleanly; a store that was not, or that an unexpected error marked invalid, is refused at
// the next open so that its owner rebuilds it.
//
// The hash chains on disk are the store's truth. Once a bucket's chain has been walked it is
// also kept in memory (key to slot), so repeated lookups cost one hash probe instead of a walk
// over a chain that holds some 200 records when the store is full. At a clean close that
// memory is kept for the next open of the same store in this process, which takes it over only
// when the index file is provably the one it was made from (same file, size, counts, chain
// heads and modification time, the time stamped so that any later write changes it).
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "Error.h"
#include "RandomFile.h"
#include "TString.h"

class Database {
public:
	enum Status : char {
		StatusClean = 'C',  // closed properly
		StatusDirty = 'D',  // changed since it was opened
		StatusInvalid = 'I',  // an unexpected error occurred; not to be trusted
	};

	struct StateData {
		Status status = StatusClean;  // current
		Status written = StatusClean;  // last written to the file header
		int32_t live = 0;
		int32_t deleted = 0;
	};

	static constexpr long kKeyMax = 400;
	static constexpr long kDataMax = 4096;
	static constexpr long kRecordMax = 60000;
	static constexpr long kBucketCount = 307;
	static constexpr long kFieldLen = 6;
	static constexpr long kHeaderLen = 19;
	static constexpr long kIndexStart = 1868;  // header, 308 chain heads and a LF
	static constexpr long kIndexLen = 413;
	static constexpr long kBlockLen = 4096;
	// The key of deleted records: "[empty" 0xFF 0x01 0xFF 0xFE "]" (11 bytes); never a
	// valid live key.
	static constexpr char sDeleted[] = "[empty\xFF\x01\xFF\xFE]";
	static constexpr long kDeletedLen = sizeof sDeleted - 1;

	Database() = default;
	~Database();
	Database(const Database&) = delete;
	Database& operator=(const Database&) = delete;

	// Opens or creates both files (path with its extension replaced), checks the header and
	// the file sizes against the counts, and rewinds. Files this call created are removed
	// again when it fails.
	Error Open(const TString& path, long long lockWait);
	// Writes the data out and then the clean status, and closes both files.
	Error Close();
	bool IsOpen() const { return mIndexFile.IsOpen(); }
	Error PathGet(TString& path) const;

	Error RecordFind(const TString& key, TString& data);
	Error RecordAppend(const TString& key, const TString& data);
	Error RecordReplace(const TString& key, const TString& data);
	Error RecordDelete(const TString& key);

	// Live records in slot order; ErrFileEnd after the last. The iterator has its own
	// position, so other calls between two RecordNext calls do not disturb it.
	Error Rewind();
	Error RecordNext(TString& key, TString& data);
	// The same, with the key and the record as views into the store's own buffer, valid until
	// the next call on this object: a whole store is read without a copy per record.
	Error RecordNextView(std::string_view& key, std::string_view& data);

	// Empties an open store.
	Error Initialize();
	// Reads and checks the head of the deleted chain and of every bucket.
	Error Verify();

	const StateData& StateGet() const { return mState; }
	long RecordCount() const { return mState.live; }
	long DeletedCount() const { return mState.deleted; }

	static Error Exists(const TString& path);
	static Error Remove(const TString& path);

	// Key rules: 1 to 400 bytes, no leading or trailing whitespace, not the reserved key.
	static bool KeyValid(const TString& key);
	static bool KeyValid(const char* key, long len);
	static bool DataValid(const TString& data);
	static unsigned long Hash(const char* key, long len);

private:
	// One index record in memory; prev is found while walking the chain and never stored.
	struct Index {
		std::string key;
		int32_t next = 0;
		int32_t length = 0;
		int32_t prev = 0;
		bool loaded = false;
	};

	// The in-memory index of a closed store, kept for its next open.
	struct Kept;

	static void filePaths(const TString& path, TString& index, TString& data);
	static std::list<Kept>& keptList();
	static void keptDrop(const std::string& indexPath);
	static bool fieldParse(const char* p, int32_t* value);
	static void fieldFormat(char* p, long value);
	static bool isReserved(const std::string& key);

	void reset();
	Error openCheck();
	// Takes over the kept memory of this store when the index file proves it current.
	bool keptAdopt(const std::string& indexPath);
	// After the last write of a clean close: keeps the memory with the proof of its file.
	void keptStore(const std::string& indexPath);
	Error tableWrite();
	Error headerWrite(bool through);
	Error headsRead();
	Error headWrite(long chain, int32_t record);
	Error countsWrite();
	Error changeStart();
	Error failed(Error e);

	Error slotGet(int32_t record, Index** slot);
	Error slotParse(const char* raw, Index& slot) const;
	// Checks one index record as read from the file and gives its fields; the key stays in raw.
	Error rawParse(const char* raw, int32_t& next, int32_t& length, const char*& key, long& keyLen) const;
	Error aheadFill(int32_t first);
	Error slotWrite(int32_t record);
	Error scanAll();
	Error chainLoad(long bucket);
	Error locate(const TString& key, int32_t* record);
	static uint32_t keyHash(const char* key, size_t len);
	int32_t keyFind(const char* key, size_t len, uint32_t hash) const;
	// Adds a record whose key is not in the table yet.
	void keyAdd(uint32_t hash, int32_t record);
	void keyRemove(const std::string& key);
	void keysClear();
	// stream: the access is one of a run in file order (iteration, appends at the end).
	Error dataMode(bool stream);
	Error dataRead(int32_t record, TString& data, bool stream);
	Error dataWrite(int32_t record, const char* text, long len, bool stream);

	StateData mState;
	TString mPath;
	std::string mIndexPath;
	// The modification time of the index file when its kept memory was taken over (-1: none),
	// in nanoseconds.
	int64_t mAdoptedMark = -1;
	RandomFile mIndexFile;
	RandomFile mDataFile;

	// Chain heads: 0 is the deleted chain, 1 + b is bucket b.
	std::array<int32_t, kBucketCount + 1> mHeads{};
	std::array<bool, kBucketCount + 1> mChainLoaded{};
	long mChainsLoaded = 0;
	bool mScanned = false;
	std::vector<Index> mSlots;  // record n at n - 1
	// Keys of the loaded chains: an open-addressed table of record numbers (0: empty) with
	// each key's hash; the keys themselves are the slots' own.
	struct KeyEntry {
		uint32_t hash = 0;
		int32_t record = 0;
	};
	std::vector<KeyEntry> mKeys;
	size_t mKeyCount = 0;
	int32_t mIter = 1;
	// Iteration reads index records and data blocks ahead, many per system call; any change
	// to the store empties this window.
	std::vector<char> mAheadIndex;
	std::vector<char> mAheadData;
	int32_t mAheadFirst = 0;
	int32_t mAheadCount = 0;
	bool mStream = false;  // the data cache has the large blocks
	long mModeRun = 0;  // accesses in a row of the other kind
};
