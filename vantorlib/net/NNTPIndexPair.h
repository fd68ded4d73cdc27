// One inclusive range of article numbers; (0, 0) is the cleared, invalid pair.
#pragma once

#include <cstdint>

// The same two fields as a plain record.
struct NNTPIndexPairRep {
	uint32_t low;
	uint32_t high;
};

class NNTPIndexPair {
public:
	NNTPIndexPair() = default;
	NNTPIndexPair(uint32_t low, uint32_t high) : mLow(low), mHigh(high) {}
	NNTPIndexPair(const NNTPIndexPairRep& rep) : mLow(rep.low), mHigh(rep.high) {}
	NNTPIndexPair(const NNTPIndexPair& other) = default;
	NNTPIndexPair& operator=(const NNTPIndexPair& other) = default;

	void Assign(uint32_t low, uint32_t high)
	{
		mLow = low;
		mHigh = high;
	}
	void Clear()
	{
		mLow = 0;
		mHigh = 0;
	}
	uint32_t Low() const { return mLow; }
	uint32_t High() const { return mHigh; }

	bool Valid() const { return mLow != 0 && mHigh != 0 && mLow <= mHigh; }
	bool Contains(uint32_t n) const { return n != 0 && Valid() && mLow <= n && n <= mHigh; }
	bool Overlaps(const NNTPIndexPair& other) const;
	bool Adjacent(const NNTPIndexPair& other) const;
	// out covers both; true only when a and b overlap or touch.
	static bool Combine(NNTPIndexPair& out, const NNTPIndexPair& a, const NNTPIndexPair& b);
	bool Lower(const NNTPIndexPair& other) const;
	bool Higher(const NNTPIndexPair& other) const;
	// Numbers in the range (0 when invalid); with other, numbers in both.
	uint64_t Total() const;
	uint64_t Total(const NNTPIndexPair& other) const;

	bool operator==(const NNTPIndexPair& other) const { return mLow == other.mLow && mHigh == other.mHigh; }
	bool operator<(const NNTPIndexPair& other) const
	{
		return mLow != other.mLow ? mLow < other.mLow : mHigh < other.mHigh;
	}

private:
	uint32_t mLow = 0;
	uint32_t mHigh = 0;
};
