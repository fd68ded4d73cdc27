#include "NNTPIndexList.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "TString.h"
#include "TextFile.h"

namespace {

constexpr long long kLockWait = 1000000;
constexpr size_t kRangeLinesMax = 1000000;

// A decimal number of 1 to 10 digits no larger than 4294967295, and nothing else.
bool numberParse(const std::string& text, uint32_t& value)
{
	if (text.empty() || text.size() > 10)
		return false;
	uint64_t v = 0;
	for (char c : text) {
		if (c < '0' || c > '9')
			return false;
		v = v * 10 + static_cast<uint64_t>(c - '0');
	}
	if (v > 0xFFFFFFFFull)
		return false;
	value = static_cast<uint32_t>(v);
	return true;
}

bool isWhite(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trimmed(const std::string& s)
{
	size_t b = 0, e = s.size();
	while (b < e && isWhite(s[b]))
		b++;
	while (e > b && isWhite(s[e - 1]))
		e--;
	return s.substr(b, e - b);
}

bool rangeLineParse(const std::string& line, NNTPIndexPair& pair)
{
	size_t dash = line.find('-');
	if (dash == std::string::npos || line.find('-', dash + 1) != std::string::npos)
		return false;
	uint32_t low = 0, high = 0;
	if (!numberParse(trimmed(line.substr(0, dash)), low) ||
		!numberParse(trimmed(line.substr(dash + 1)), high))
		return false;
	pair.Assign(low, high);
	return pair.Valid();
}

bool countsLineParse(const std::string& line, NNTPIndexList::GroupData& data)
{
	std::vector<std::string> words;
	size_t i = 0;
	while (i < line.size()) {
		while (i < line.size() && isWhite(line[i]))
			i++;
		size_t start = i;
		while (i < line.size() && !isWhite(line[i]))
			i++;
		if (i > start)
			words.push_back(line.substr(start, i - start));
	}
	return words.size() == 3 && numberParse(words[0], data.low) && numberParse(words[1], data.high) &&
		numberParse(words[2], data.total);
}

}  // namespace

void NNTPIndexList::Clear()
{
	DataClear(mEffective);
	DataClear(mServer);
	mRanges.clear();
}

void NNTPIndexList::DataClear(GroupData& data)
{
	data = GroupData{};
}

NNTPIndexList::GroupData NNTPIndexList::Fixup(const GroupData& data)
{
	GroupData d = data;
	if (d.low == 0 && d.high == 0 && d.total == 0)
		return d;
	if (d.low > d.high)
		std::swap(d.low, d.high);
	d.low = std::max<uint32_t>(d.low, 1);
	d.high = std::max<uint32_t>(d.high, 1);
	uint64_t span = static_cast<uint64_t>(d.high) - d.low + 1;
	d.total = static_cast<uint32_t>(std::min<uint64_t>(span, static_cast<uint64_t>(d.total) + 500));
	d.low = d.high - d.total + 1;
	return d;
}

void NNTPIndexList::GroupUpdate(const GroupData& data)
{
	long long oldLow = mServer.low, oldHigh = mServer.high;
	bool renumbered = (oldLow != 0 && oldLow - static_cast<long long>(data.low) > 4999) ||
		(oldHigh != 0 && oldHigh - static_cast<long long>(data.high) > 4999);
	if (renumbered)
		Clear();
	mServer = data;
	mEffective = Fixup(data);
}

NNTPIndexPair NNTPIndexList::effectiveRange() const
{
	return NNTPIndexPair(mEffective.low, mEffective.high);
}

void NNTPIndexList::GroupCatchup()
{
	NNTPIndexPair g = effectiveRange();
	if (g.Valid())
		pairAdd(g);
}

void NNTPIndexList::pairAdd(const NNTPIndexPair& pair)
{
	mRanges.push_back(pair);
	std::sort(mRanges.begin(), mRanges.end());
	merge();
}

void NNTPIndexList::merge()
{
	size_t i = 0;
	while (i + 1 < mRanges.size()) {
		NNTPIndexPair joined;
		if (NNTPIndexPair::Combine(joined, mRanges[i], mRanges[i + 1])) {
			mRanges[i] = joined;
			mRanges.erase(mRanges.begin() + static_cast<long>(i) + 1);
		} else {
			i++;
		}
	}
}

void NNTPIndexList::trim()
{
	while (mRanges.size() > kRangeMax) {
		NNTPIndexPair joined;
		NNTPIndexPair::Combine(joined, mRanges[0], mRanges[1]);
		mRanges[0] = joined;
		mRanges.erase(mRanges.begin() + 1);
	}
}

bool NNTPIndexList::IndexUsed(uint32_t n)
{
	if (n == 0)
		return false;
	for (size_t i = 0; i < mRanges.size(); i++) {
		NNTPIndexPair& r = mRanges[i];
		if (r.Contains(n))
			return false;
		if (n != 0xFFFFFFFFu && r.Low() == n + 1) {
			r.Assign(n, r.High());
			merge();
			return true;
		}
		if (r.High() == n - 1) {
			r.Assign(r.Low(), n);
			merge();
			return true;
		}
	}
	pairAdd(NNTPIndexPair(n, n));
	return true;
}

bool NNTPIndexList::IndexRemove(uint32_t n)
{
	for (size_t i = 0; i < mRanges.size(); i++) {
		NNTPIndexPair r = mRanges[i];
		if (!r.Contains(n))
			continue;
		if (r.Low() == r.High())
			mRanges.erase(mRanges.begin() + static_cast<long>(i));
		else if (n == r.Low())
			mRanges[i].Assign(n + 1, r.High());
		else if (n == r.High())
			mRanges[i].Assign(r.Low(), n - 1);
		else {
			mRanges[i].Assign(r.Low(), n - 1);
			mRanges.insert(mRanges.begin() + static_cast<long>(i) + 1, NNTPIndexPair(n + 1, r.High()));
		}
		return true;
	}
	return false;
}

uint32_t NNTPIndexList::IndexRemain() const
{
	NNTPIndexPair g = effectiveRange();
	if (!g.Valid())
		return 0;
	uint64_t visited = 0;
	for (const NNTPIndexPair& r : mRanges)
		visited += g.Total(r);
	return visited >= mEffective.total ? 0 : static_cast<uint32_t>(mEffective.total - visited);
}

bool NNTPIndexList::holeLeft(NNTPIndexPair& out) const
{
	NNTPIndexPair g = effectiveRange();
	if (!g.Valid())
		return false;
	if (mRanges.empty() || g.Lower(mRanges.front())) {
		out = g;
		return true;
	}
	const NNTPIndexPair& first = mRanges.front();
	if (g.Overlaps(first) && g.Low() < first.Low()) {
		out.Assign(g.Low(), first.Low() - 1);
		return true;
	}
	return false;
}

bool NNTPIndexList::holeRight(NNTPIndexPair& out) const
{
	NNTPIndexPair g = effectiveRange();
	if (!g.Valid())
		return false;
	if (mRanges.empty() || mRanges.back().Lower(g)) {
		out = g;
		return true;
	}
	const NNTPIndexPair& last = mRanges.back();
	if (g.Overlaps(last) && last.High() < g.High()) {
		out.Assign(last.High() + 1, g.High());
		return true;
	}
	return false;
}

bool NNTPIndexList::hole(size_t i, NNTPIndexPair& out) const
{
	if (i + 1 >= mRanges.size())
		return false;
	out.Assign(mRanges[i].High() + 1, mRanges[i + 1].Low() - 1);
	return out.Valid();
}

uint32_t NNTPIndexList::IndexOldest() const
{
	NNTPIndexPair g = effectiveRange();
	if (!g.Valid())
		return 0;
	NNTPIndexPair h;
	if (holeLeft(h))
		return h.Low();
	for (size_t i = 0;; i++) {
		if (!hole(i, h))
			return holeRight(h) ? h.Low() : 0;
		if (g.Contains(h.Low()))
			return h.Low();
		if (g.Contains(h.High()))
			return h.High();  // a hole reaching into the range from below is walked downwards
		if (h.Low() < g.Low() && h.High() > g.High())
			return g.Low();  // the whole range lies in this hole
	}
}

uint32_t NNTPIndexList::IndexNewest() const
{
	NNTPIndexPair g = effectiveRange();
	if (!g.Valid())
		return 0;
	NNTPIndexPair h;
	if (holeRight(h))
		return h.High();
	for (size_t i = mRanges.size(); i-- > 1;) {
		if (!hole(i - 1, h))
			continue;
		if (g.Contains(h.High()))
			return h.High();
		if (g.Contains(h.Low()))
			return h.Low();
		if (h.Low() < g.Low() && h.High() > g.High())
			return g.High();
	}
	return holeLeft(h) ? h.High() : 0;
}

Error NNTPIndexList::StateRead(const TString& path)
{
	Clear();
	TextFile file;
	Error e = file.Open(path, TextFile::ModeRead, kLockWait);
	if (e != ErrOkay)
		return e;
	bool counts = false;
	std::vector<NNTPIndexPair> pairs;
	TString raw;
	while (e == ErrOkay) {
		Error r = file.Read(raw);
		if (r == ErrFileEnd)
			break;
		if (r != ErrOkay) {
			e = r == ErrFileLineTooLong ? ErrFileInvalidData : r;
			break;
		}
		std::string line(raw.String(), static_cast<size_t>(raw.ByteLength()));
		size_t hash = line.find('#');
		if (hash != std::string::npos)
			line.erase(hash);
		line = trimmed(line);
		if (line.empty())
			continue;
		NNTPIndexPair pair;
		GroupData data;
		if (counts && rangeLineParse(line, pair) && pairs.size() < kRangeLinesMax)
			pairs.push_back(pair);
		else if (!counts && !rangeLineParse(line, pair) && countsLineParse(line, data)) {
			counts = true;
			mServer = data;
			mEffective = Fixup(data);
		} else
			e = ErrFileInvalidData;
	}
	file.Close();
	if (e == ErrOkay && !counts)
		e = ErrFileInvalidData;
	if (e != ErrOkay) {
		Clear();
		return e;
	}
	mRanges = std::move(pairs);
	std::sort(mRanges.begin(), mRanges.end());
	merge();
	trim();
	return ErrOkay;
}

Error NNTPIndexList::StateWrite(const TString& path)
{
	trim();
	std::vector<TString> lines;
	TString line;
	lines.emplace_back("# low high total");
	line.Fmt("%lu %lu %lu", static_cast<unsigned long>(mServer.low), static_cast<unsigned long>(mServer.high),
		static_cast<unsigned long>(mServer.total));
	lines.push_back(line);
	lines.emplace_back("");
	if (!mRanges.empty()) {
		lines.emplace_back("# visited indexes");
		for (const NNTPIndexPair& r : mRanges) {
			line.Fmt("%lu - %lu", static_cast<unsigned long>(r.Low()), static_cast<unsigned long>(r.High()));
			lines.push_back(line);
		}
	}
	return TextFile::WriteReplace(path, lines, kLockWait);
}
