#include "NNTPIndexPair.h"

#include <algorithm>

bool NNTPIndexPair::Overlaps(const NNTPIndexPair& other) const
{
	if (!Valid() || !other.Valid())
		return false;
	return Contains(other.mLow) || Contains(other.mHigh) || other.Contains(mLow) || other.Contains(mHigh);
}

bool NNTPIndexPair::Adjacent(const NNTPIndexPair& other) const
{
	if (!Valid() || !other.Valid() || Overlaps(other))
		return false;
	return static_cast<uint64_t>(mHigh) + 1 == other.mLow || static_cast<uint64_t>(other.mHigh) + 1 == mLow;
}

bool NNTPIndexPair::Combine(NNTPIndexPair& out, const NNTPIndexPair& a, const NNTPIndexPair& b)
{
	bool joined = a.Overlaps(b) || a.Adjacent(b);
	out.Assign(std::min(a.mLow, b.mLow), std::max(a.mHigh, b.mHigh));
	return joined;
}

bool NNTPIndexPair::Lower(const NNTPIndexPair& other) const
{
	return Valid() && other.Valid() && !Overlaps(other) && mHigh < other.mLow;
}

bool NNTPIndexPair::Higher(const NNTPIndexPair& other) const
{
	return Valid() && other.Valid() && !Overlaps(other) && other.mHigh < mLow;
}

uint64_t NNTPIndexPair::Total() const
{
	return Valid() ? static_cast<uint64_t>(mHigh) - mLow + 1 : 0;
}

uint64_t NNTPIndexPair::Total(const NNTPIndexPair& other) const
{
	if (!Overlaps(other))
		return 0;
	uint32_t low = std::max(mLow, other.mLow), high = std::min(mHigh, other.mHigh);
	return static_cast<uint64_t>(high) - low + 1;
}
