// Which article numbers of one newsgroup have been dealt with ("visited": downloaded, skipped
// or caught up), as a short sorted list of ranges, with the group's counts as the server last
// gave them. Kept in the group's state file between downloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Error.h"
#include "NNTPIndexPair.h"

class TString;

class NNTPIndexList {
public:
	// A newsgroup's counts.
	struct GroupData {
		uint32_t low = 0;
		uint32_t high = 0;
		uint32_t total = 0;
	};

	// The list never holds more ranges than this after a read or before a write.
	static constexpr size_t kRangeMax = 30;

	void Clear();
	static void DataClear(GroupData& data);

	// What the server reported last.
	void CurrentData(GroupData& data) const { data = mServer; }
	// The server's counts after fix-up: the range downloads work in.
	const GroupData& EffectiveData() const { return mEffective; }
	const std::vector<NNTPIndexPair>& Ranges() const { return mRanges; }

	// New counts from the server; a group renumbered downwards starts afresh.
	void GroupUpdate(const GroupData& data);
	// Every number of the effective range becomes visited.
	void GroupCatchup();

	// The next number to fetch, oldest or newest first; 0 when none is left.
	uint32_t IndexOldest() const;
	uint32_t IndexNewest() const;
	// Marks n visited; false when n is 0 or already visited.
	bool IndexUsed(uint32_t n);
	// Marks n not visited (after a failed download); false when it was not visited.
	bool IndexRemove(uint32_t n);
	// Numbers of the effective range not yet visited.
	uint32_t IndexRemain() const;

	// The state file. A missing file gives ErrFileNotFound, a damaged one ErrFileInvalidData;
	// on any failure the list is empty. A failed write leaves the previous file as it was.
	Error StateRead(const TString& path);
	Error StateWrite(const TString& path);

	// The counts after fix-up: never more than 500 numbers beyond the article count.
	static GroupData Fixup(const GroupData& data);

private:
	void pairAdd(const NNTPIndexPair& pair);
	void merge();
	void trim();
	bool holeLeft(NNTPIndexPair& hole) const;
	bool holeRight(NNTPIndexPair& hole) const;
	bool hole(size_t i, NNTPIndexPair& hole) const;
	NNTPIndexPair effectiveRange() const;

	GroupData mEffective;
	GroupData mServer;
	std::vector<NNTPIndexPair> mRanges;
};
