#include "Database.h"

#include <time.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <mutex>

#include "FileBase.h"
#include "FileMngr.h"
#include "PathMngr.h"
#include "Str.h"

namespace {

constexpr long kHeadCount = Database::kBucketCount + 1;
constexpr long kTableOffset = Database::kHeaderLen;
constexpr long kTableLen = Database::kIndexStart - Database::kHeaderLen;  // the fields and a LF
constexpr long kKeyOffset = 2 * Database::kFieldLen;
constexpr long kKeyField = Database::kIndexLen - 1 - kKeyOffset;  // key and its padding
// After this many chains walked one by one, reading the whole index at once is cheaper.
constexpr long kScanAfter = 16;
// Index records read per call while scanning.
constexpr long kScanChunk = 128;
// Data blocks are read and written through a cache of 4096-byte blocks, one record each, while
// records are reached by key; while they are read in order or appended at the end, through
// larger blocks, so that one system call moves many records.
constexpr long kCacheBlocks = 16;
constexpr long kStreamBlockLen = 65536;
constexpr long kModeSwitchAfter = 32;
// The index of a full store (some 24 MB) fits the cache whole: chains are walked and index
// records rewritten in memory, and each block reaches the disk once, at the close.
constexpr long kIndexCacheBlocks =
	(Database::kIndexStart + Database::kIndexLen * Database::kRecordMax) / Database::kBlockLen + 2;
constexpr char kEmptyData[] = "empty";
// Records read ahead per system call while iterating (half a megabyte of data blocks).
constexpr int32_t kAheadRecords = 128;

long long indexOffset(int32_t record)
{
	return Database::kIndexStart + static_cast<long long>(Database::kIndexLen) * (record - 1);
}

long long dataOffset(int32_t record)
{
	return static_cast<long long>(Database::kBlockLen) * (record - 1);
}

bool ignorable(Error e)
{
	return e == ErrOkay || e == ErrFileEnd || e == ErrFileFull || e == ErrGmCommandFailed;
}

// Reads exactly n bytes at offset; a short read means the file is damaged.
Error readAt(RandomFile& file, long long offset, void* data, unsigned long long n)
{
	Error e = file.PositionSet(offset, FilePtrStart);
	unsigned long long done = 0;
	if (e == ErrOkay)
		e = file.Read(data, n, &done);
	if (e == ErrFileEnd || (e == ErrOkay && done != n))
		e = ErrFileInvalidData;
	return e;
}

Error writeAt(RandomFile& file, long long offset, const void* data, unsigned long long n)
{
	Error e = file.PositionSet(offset, FilePtrStart);
	unsigned long long done = 0;
	if (e == ErrOkay)
		e = file.Write(data, n, &done);
	if (e == ErrOkay && done != n)
		e = ErrFileWriteError;
	return e;
}

// Closed stores whose memory is kept, and how much: the message store works on one directory's
// store at a time, so a few suffice.
constexpr size_t kKeptStores = 4;

bool sameTime(const struct timespec& a, const struct timespec& b)
{
	return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

struct Database::Kept {
	std::string indexPath;
	// The proof: the index file as it was after the close, and the header's counts.
	dev_t device = 0;
	ino_t node = 0;
	off_t size = 0;
	struct timespec modified = {0, 0};
	int32_t live = 0;
	int32_t deleted = 0;
	std::array<int32_t, kBucketCount + 1> heads{};
	// The memory itself.
	std::array<bool, kBucketCount + 1> chainLoaded{};
	long chainsLoaded = 0;
	bool scanned = false;
	std::vector<Index> slots;
	std::vector<KeyEntry> keys;
	size_t keyCount = 0;
};

namespace {

// Guards the kept list: stores are opened and closed on several threads.
std::mutex sKeptLock;

int64_t stampOf(const struct timespec& t)
{
	return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

std::list<Database::Kept>& Database::keptList()
{
	// Newest first.
	static std::list<Kept> list;
	return list;
}

void Database::keptDrop(const std::string& indexPath)
{
	std::list<Kept> gone;
	std::lock_guard<std::mutex> hold(sKeptLock);
	auto& list = keptList();
	for (auto it = list.begin(); it != list.end();) {
		auto next = std::next(it);
		if (it->indexPath == indexPath)
			gone.splice(gone.end(), list, it);
		it = next;
	}
}

bool Database::keptAdopt(const std::string& indexPath)
{
	std::list<Kept> found;
	{
		std::lock_guard<std::mutex> hold(sKeptLock);
		auto& list = keptList();
		for (auto it = list.begin(); it != list.end(); ++it) {
			if (it->indexPath == indexPath) {
				found.splice(found.end(), list, it);
				break;
			}
		}
	}
	struct stat st;
	if (found.empty() || mIndexFile.Stat(&st) != ErrOkay)
		return false;
	Kept& k = found.front();
	if (k.device != st.st_dev || k.node != st.st_ino || k.size != st.st_size ||
		!sameTime(k.modified, st.st_mtim) || k.live != mState.live || k.deleted != mState.deleted ||
		k.heads != mHeads ||
		k.slots.size() != static_cast<size_t>(mState.live) + static_cast<size_t>(mState.deleted))
		return false;
	mChainLoaded = k.chainLoaded;
	mChainsLoaded = k.chainsLoaded;
	mScanned = k.scanned;
	mSlots = std::move(k.slots);
	mKeys = std::move(k.keys);
	mKeyCount = k.keyCount;
	mAdoptedMark = stampOf(st.st_mtim);
	return true;
}

void Database::keptStore(const std::string& indexPath)
{
	struct stat st;
	if (mIndexFile.Stat(&st) != ErrOkay)
		return;
	// Every later write stamps the file with the time of writing or later, which may equal the
	// time of the last write. The stamp is therefore set a little earlier than that, so that
	// any later write, by whatever process, changes it; a store that nobody has written since
	// it was stamped keeps its stamp.
	if (stampOf(st.st_mtim) != mAdoptedMark) {
		struct timespec mark = st.st_mtim;
		if (mark.tv_nsec > 0) {
			--mark.tv_nsec;
		} else {
			--mark.tv_sec;
			mark.tv_nsec = 999999999;
		}
		struct stat after;
		// A file system that keeps coarser times may round the stamp back to the old one.
		if (mIndexFile.ModTimeSet(mark) != ErrOkay || mIndexFile.Stat(&after) != ErrOkay ||
			stampOf(after.st_mtim) >= stampOf(st.st_mtim))
			return;
		st.st_mtim = after.st_mtim;
	}
	std::list<Kept> gone;
	gone.emplace_back();
	Kept& k = gone.back();
	k.indexPath = indexPath;
	k.device = st.st_dev;
	k.node = st.st_ino;
	k.size = st.st_size;
	k.modified = st.st_mtim;
	k.live = mState.live;
	k.deleted = mState.deleted;
	k.heads = mHeads;
	k.chainLoaded = mChainLoaded;
	k.chainsLoaded = mChainsLoaded;
	k.scanned = mScanned;
	k.slots = std::move(mSlots);
	k.keys = std::move(mKeys);
	k.keyCount = mKeyCount;
	std::lock_guard<std::mutex> hold(sKeptLock);
	auto& list = keptList();
	for (auto it = list.begin(); it != list.end();) {
		auto next = std::next(it);
		if (it->indexPath == indexPath)
			gone.splice(gone.end(), list, it);
		it = next;
	}
	list.splice(list.begin(), gone, gone.begin());
	while (list.size() > kKeptStores)
		gone.splice(gone.end(), list, std::prev(list.end()));
}

Database::~Database()
{
	if (IsOpen())
		Close();
}

// ---- keys, fields, paths ----

bool Database::KeyValid(const char* key, long len)
{
	if (!key || len < 1 || len > kKeyMax)
		return false;
	if (Str::IsWhite(key[0]) || Str::IsWhite(key[len - 1]))
		return false;
	if (std::memchr(key, 0, static_cast<size_t>(len)))
		return false;
	return !(len == kDeletedLen && std::memcmp(key, sDeleted, kDeletedLen) == 0);
}

bool Database::KeyValid(const TString& key)
{
	return KeyValid(key.String(), key.ByteLength());
}

bool Database::DataValid(const TString& data)
{
	long n = data.ByteLength();
	return n <= kDataMax && !std::memchr(data.String(), 0, static_cast<size_t>(n));
}

unsigned long Database::Hash(const char* key, long len)
{
	uint32_t sum = 0;
	for (long i = 0; i < len; ++i)
		sum += static_cast<uint32_t>(static_cast<unsigned char>(key[i])) * static_cast<uint32_t>(i + 1);
	return sum % kBucketCount;
}

bool Database::isReserved(const std::string& key)
{
	return key.size() == static_cast<size_t>(kDeletedLen) &&
		std::memcmp(key.data(), sDeleted, kDeletedLen) == 0;
}

bool Database::fieldParse(const char* p, int32_t* value)
{
	long i = 0;
	while (i < kFieldLen && p[i] == ' ')
		++i;
	if (i == kFieldLen)
		return false;
	int32_t v = 0;
	for (; i < kFieldLen; ++i) {
		if (p[i] < '0' || p[i] > '9')
			return false;
		v = v * 10 + (p[i] - '0');
	}
	*value = v;
	return true;
}

void Database::fieldFormat(char* p, long value)
{
	// Values never exceed 60000, so six characters always hold them: "%6ld".
	unsigned long v = value < 0 ? 0 : static_cast<unsigned long>(value);
	long i = kFieldLen;
	do {
		p[--i] = static_cast<char>('0' + v % 10);
		v /= 10;
	} while (v != 0 && i > 0);
	while (i > 0)
		p[--i] = ' ';
}

void Database::filePaths(const TString& path, TString& index, TString& data)
{
	index = path;
	data = path;
	if (!PathMngr::ExtReplace(index, "didx"))
		index.Erase();
	if (!PathMngr::ExtReplace(data, "ddat"))
		data.Erase();
}

Error Database::PathGet(TString& path) const
{
	if (!IsOpen()) {
		path.Erase();
		return ErrFileNotOpen;
	}
	path = mPath;
	return ErrOkay;
}

Error Database::Exists(const TString& path)
{
	TString index, data;
	filePaths(path, index, data);
	if (index.Empty() || data.Empty())
		return ErrGmBadPath;
	Error e = FileMngr::Exists(index);
	if (e == ErrOkay)
		e = FileMngr::Exists(data);
	return e;
}

Error Database::Remove(const TString& path)
{
	TString index, data;
	filePaths(path, index, data);
	if (index.Empty() || data.Empty())
		return ErrGmBadPath;
	keptDrop(std::string(index.String(), static_cast<size_t>(index.ByteLength())));
	Error e = FileMngr::Remove(index);
	Error d = FileMngr::Remove(data);
	return e != ErrOkay ? e : d;
}

// ---- opening and closing ----

void Database::reset()
{
	mState = StateData();
	mPath.Erase();
	mIndexPath.clear();
	mAdoptedMark = -1;
	mHeads.fill(0);
	mChainLoaded.fill(false);
	mChainsLoaded = 0;
	mScanned = false;
	mSlots.clear();
	mSlots.shrink_to_fit();
	mKeys = std::vector<KeyEntry>();
	mKeyCount = 0;
	mIter = 1;
	mStream = false;
	mModeRun = 0;
	mAheadIndex = std::vector<char>();
	mAheadData = std::vector<char>();
	mAheadFirst = 0;
	mAheadCount = 0;
}

Error Database::Open(const TString& path, long long lockWait)
{
	if (IsOpen())
		Close();
	reset();
	TString indexPath, dataPath;
	filePaths(path, indexPath, dataPath);
	if (indexPath.Empty() || dataPath.Empty())
		return ErrGmBadPath;

	bool madeIndex = false, madeData = false;
	mDataFile.BufferSizeSet(kBlockLen, kCacheBlocks);
	mIndexFile.BufferSizeSet(kBlockLen, kIndexCacheBlocks);
	auto openOne = [lockWait](RandomFile& file, const TString& p, bool& made) {
		Error e = file.Open(p, FileAccessReadWrite, lockWait);
		if (e == ErrFileNotFound) {
			e = file.Create(p, FileAccessReadWrite, lockWait);
			made = e == ErrOkay;
			// Another process may have made it in between.
			if (e == ErrFileAlreadyExists)
				e = file.Open(p, FileAccessReadWrite, lockWait);
		}
		return e;
	};
	Error e = openOne(mIndexFile, indexPath, madeIndex);
	if (e == ErrOkay)
		e = openOne(mDataFile, dataPath, madeData);
	if (e == ErrOkay)
		e = openCheck();
	if (e == ErrOkay) {
		mIndexPath.assign(indexPath.String(), static_cast<size_t>(indexPath.ByteLength()));
		if (!keptAdopt(mIndexPath))
			mSlots.resize(static_cast<size_t>(mState.live) + static_cast<size_t>(mState.deleted));
	}
	if (e != ErrOkay) {
		mIndexFile.Close();
		mDataFile.Close();
		// A failed open leaves nothing behind that it made itself.
		if (madeIndex)
			FileMngr::Remove(indexPath);
		if (madeData)
			FileMngr::Remove(dataPath);
		reset();
		return e;
	}
	mPath = path;
	return ErrOkay;
}

Error Database::tableWrite()
{
	std::string table(static_cast<size_t>(kTableLen), ' ');
	for (long i = 0; i < kHeadCount; ++i)
		fieldFormat(&table[static_cast<size_t>(i * kFieldLen)], 0);
	table[static_cast<size_t>(kTableLen - 1)] = '\n';
	return writeAt(mIndexFile, kTableOffset, table.data(), table.size());
}

Error Database::openCheck()
{
	unsigned long long indexSize = 0, dataSize = 0;
	Error e = mIndexFile.SizeGet(&indexSize);
	if (e == ErrOkay)
		e = mDataFile.SizeGet(&dataSize);
	if (e != ErrOkay)
		return e;
	if (indexSize == 0) {
		// A new store: header, then every chain head empty. Nothing is written beside a
		// data file that holds blocks already.
		if (dataSize != 0)
			return ErrFileInvalidData;
		// It is marked changed until its first close: an owner that dies while filling a new
		// store leaves one that the next open refuses, never an empty one taken for complete.
		mState = StateData();
		mState.status = StatusDirty;
		e = headerWrite(true);
		if (e == ErrOkay)
			e = tableWrite();
		if (e == ErrOkay)
			e = mIndexFile.SizeGet(&indexSize);
		if (e != ErrOkay)
			return e;
	} else {
		char head[kHeaderLen];
		e = readAt(mIndexFile, 0, head, kHeaderLen);
		if (e != ErrOkay)
			return e;
		int32_t deleted = 0, live = 0;
		if (std::memcmp(head, "DB006C", 6) != 0 || head[kHeaderLen - 1] != '\n' ||
			!fieldParse(head + 6, &deleted) || !fieldParse(head + 12, &live) ||
			static_cast<long>(deleted) + live > kRecordMax)
			return ErrFileInvalidData;
		mState.status = StatusClean;
		mState.written = StatusClean;
		mState.live = live;
		mState.deleted = deleted;
	}
	long long total = static_cast<long long>(mState.live) + mState.deleted;
	if (indexSize != static_cast<unsigned long long>(kIndexStart + kIndexLen * total) ||
		dataSize != static_cast<unsigned long long>(kBlockLen * total))
		return ErrFileInvalidData;
	e = headsRead();
	if (e != ErrOkay)
		return e;
	if (total == 0) {
		mChainLoaded.fill(true);
		mScanned = true;
	}
	mIter = 1;
	return ErrOkay;
}

Error Database::Close()
{
	if (!IsOpen())
		return ErrFileNotOpen;
	// Everything else reaches the disk before the clean status is written, so that a crash
	// in between leaves a store that the next open refuses. The clean status itself need not
	// be waited for: lost, it leaves the store marked changed, and the next open refuses it
	// the same way. A store that was only read is synced not at all.
	Error e = mDataFile.Flush();
	Error f = mIndexFile.Flush();
	if (e == ErrOkay)
		e = f;
	if (mState.status != StatusInvalid && mState.written != StatusClean) {
		if (e == ErrOkay) {
			mState.status = StatusClean;
			e = headerWrite(false);
		}
	}
	// A clean store's memory is kept for the next open, stamped after the last write.
	if (e == ErrOkay && mState.status != StatusInvalid) {
		e = mIndexFile.WriteOut();
		if (e == ErrOkay)
			keptStore(mIndexPath);
	}
	Error c = mDataFile.Close();
	Error d = mIndexFile.CloseUnsynced();
	if (e == ErrOkay)
		e = c;
	if (e == ErrOkay)
		e = d;
	reset();
	return e;
}

// ---- header and chain heads ----

Error Database::headerWrite(bool through)
{
	char head[kHeaderLen];
	static constexpr char kMagic[] = "DB006";
	std::copy(kMagic, kMagic + 5, head);
	head[5] = static_cast<char>(mState.status);
	fieldFormat(head + 6, mState.deleted);
	fieldFormat(head + 12, mState.live);
	head[kHeaderLen - 1] = '\n';
	Error e;
	if (through) {
		unsigned long long done = 0;
		e = mIndexFile.WriteRange(0, head, kHeaderLen, &done);
	} else {
		e = writeAt(mIndexFile, 0, head, kHeaderLen);
	}
	if (e == ErrOkay)
		mState.written = mState.status;
	return e;
}

Error Database::countsWrite()
{
	return headerWrite(false);
}

Error Database::headsRead()
{
	char table[kTableLen];
	Error e = readAt(mIndexFile, kTableOffset, table, kTableLen);
	if (e != ErrOkay)
		return e;
	if (table[kTableLen - 1] != '\n')
		return ErrFileInvalidData;
	long total = static_cast<long>(mState.live) + mState.deleted;
	std::array<int32_t, kHeadCount> heads{};
	for (long i = 0; i < kHeadCount; ++i) {
		if (!fieldParse(table + i * kFieldLen, &heads[static_cast<size_t>(i)]) ||
			heads[static_cast<size_t>(i)] > total)
			return ErrFileInvalidData;
	}
	mHeads = heads;
	return ErrOkay;
}

Error Database::headWrite(long chain, int32_t record)
{
	char field[kFieldLen];
	fieldFormat(field, record);
	Error e = writeAt(mIndexFile, kTableOffset + chain * kFieldLen, field, kFieldLen);
	if (e == ErrOkay)
		mHeads[static_cast<size_t>(chain)] = record;
	return e;
}

Error Database::Verify()
{
	if (!IsOpen())
		return ErrFileNotOpen;
	return failed(headsRead());
}

// ---- status ----

Error Database::changeStart()
{
	if (mState.status == StatusInvalid)
		return ErrFileInvalidData;
	if (mState.written == StatusDirty)
		return ErrOkay;
	// The letter is on disk before any record changes.
	mState.status = StatusDirty;
	return headerWrite(true);
}

Error Database::failed(Error e)
{
	if (ignorable(e) || !IsOpen() || mState.status == StatusInvalid)
		return e;
	mState.status = StatusInvalid;
	headerWrite(true);
	return e;
}

// ---- index records ----

Error Database::rawParse(
	const char* raw, int32_t& next, int32_t& length, const char*& key, long& keyLen) const
{
	if (raw[kIndexLen - 1] != '\n')
		return ErrFileInvalidData;
	if (!fieldParse(raw, &next) || !fieldParse(raw + kFieldLen, &length) || length > kDataMax ||
		next > static_cast<int32_t>(mSlots.size()))
		return ErrFileInvalidData;
	long len = kKeyField;
	key = raw + kKeyOffset;
	// The padding eight spaces at a time, then the last few one by one.
	static constexpr char kSpaces[] = "        ";
	while (len >= 8 && std::memcmp(key + len - 8, kSpaces, 8) == 0)
		len -= 8;
	while (len > 0 && key[len - 1] == ' ')
		--len;
	keyLen = len;
	if (len == 0)
		return ErrFileInvalidData;
	bool reserved = len == kDeletedLen && std::memcmp(key, sDeleted, kDeletedLen) == 0;
	if (!reserved && !KeyValid(key, len))
		return ErrFileInvalidData;
	return ErrOkay;
}

Error Database::slotParse(const char* raw, Index& slot) const
{
	int32_t next = 0, length = 0;
	const char* key = nullptr;
	long len = 0;
	Error e = rawParse(raw, next, length, key, len);
	if (e != ErrOkay)
		return e;
	slot.key.assign(key, static_cast<size_t>(len));
	slot.next = next;
	slot.length = length;
	slot.prev = 0;
	slot.loaded = true;
	return ErrOkay;
}

Error Database::slotGet(int32_t record, Index** slot)
{
	*slot = nullptr;
	if (record < 1 || record > static_cast<int32_t>(mSlots.size()))
		return ErrFileInvalidData;
	Index& s = mSlots[static_cast<size_t>(record - 1)];
	if (!s.loaded) {
		char raw[kIndexLen];
		Error e = readAt(mIndexFile, indexOffset(record), raw, kIndexLen);
		if (e == ErrOkay)
			e = slotParse(raw, s);
		if (e != ErrOkay) {
			s = Index();
			return e;
		}
	}
	*slot = &s;
	return ErrOkay;
}

Error Database::slotWrite(int32_t record)
{
	mAheadCount = 0;
	const Index& s = mSlots[static_cast<size_t>(record - 1)];
	char raw[kIndexLen];
	std::memset(raw, ' ', sizeof raw);
	fieldFormat(raw, s.next);
	fieldFormat(raw + kFieldLen, s.length);
	s.key.copy(raw + kKeyOffset, s.key.size());
	raw[kIndexLen - 1] = '\n';
	return writeAt(mIndexFile, indexOffset(record), raw, kIndexLen);
}

Error Database::scanAll()
{
	mScanned = true;
	long total = static_cast<long>(mSlots.size());
	// The whole index goes into its cache in large reads, so that the records rewritten
	// later need no read of their block each.
	if (total > 0) {
		Error e = mIndexFile.Preload(indexOffset(1), static_cast<unsigned long long>(total) * kIndexLen);
		if (e != ErrOkay)
			return e;
	}
	std::vector<char> buf(static_cast<size_t>(kScanChunk * kIndexLen));
	for (long first = 1; first <= total; first += kScanChunk) {
		long count = total - first + 1 < kScanChunk ? total - first + 1 : kScanChunk;
		Error e = readAt(mIndexFile, indexOffset(static_cast<int32_t>(first)), buf.data(),
			static_cast<unsigned long long>(count) * kIndexLen);
		if (e != ErrOkay)
			return e;
		for (long i = 0; i < count; ++i) {
			Index& s = mSlots[static_cast<size_t>(first - 1 + i)];
			if (s.loaded)
				continue;
			e = slotParse(buf.data() + i * kIndexLen, s);
			if (e != ErrOkay) {
				s = Index();
				return e;
			}
		}
	}
	return ErrOkay;
}

Error Database::chainLoad(long bucket)
{
	if (mChainLoaded[static_cast<size_t>(bucket)])
		return ErrOkay;
	if (!mScanned && mChainsLoaded >= kScanAfter) {
		Error e = scanAll();
		if (e != ErrOkay)
			return e;
	}
	std::vector<int32_t> added;
	Error e = ErrOkay;
	int32_t prev = 0;
	long steps = 0;
	long total = static_cast<long>(mSlots.size());
	for (int32_t r = mHeads[static_cast<size_t>(bucket)]; r != 0 && e == ErrOkay;) {
		Index* s;
		// A chain longer than the store holds records runs in a circle.
		if (++steps > total) {
			e = ErrFileInvalidData;
			break;
		}
		e = slotGet(r, &s);
		if (e != ErrOkay)
			break;
		if (isReserved(s->key) ||
			static_cast<long>(Hash(s->key.data(), static_cast<long>(s->key.size()))) + 1 != bucket) {
			e = ErrFileInvalidData;
			break;
		}
		uint32_t h = keyHash(s->key.data(), s->key.size());
		if (keyFind(s->key.data(), s->key.size(), h) != 0) {
			e = ErrFileInvalidData;
			break;
		}
		keyAdd(h, r);
		added.push_back(r);
		s->prev = prev;
		prev = r;
		r = s->next;
	}
	if (e != ErrOkay) {
		for (int32_t r : added)
			keyRemove(mSlots[static_cast<size_t>(r - 1)].key);
		return e;
	}
	mChainLoaded[static_cast<size_t>(bucket)] = true;
	++mChainsLoaded;
	return ErrOkay;
}

Error Database::locate(const TString& key, int32_t* record)
{
	*record = 0;
	long bucket = static_cast<long>(Hash(key.String(), key.ByteLength())) + 1;
	Error e = chainLoad(bucket);
	if (e != ErrOkay)
		return e;
	size_t len = static_cast<size_t>(key.ByteLength());
	*record = keyFind(key.String(), len, keyHash(key.String(), len));
	return *record != 0 ? ErrOkay : ErrGmCommandFailed;
}

uint32_t Database::keyHash(const char* key, size_t len)
{
	// FNV-1a over the bytes.
	uint32_t h = 2166136261u;
	for (size_t i = 0; i < len; ++i)
		h = (h ^ static_cast<unsigned char>(key[i])) * 16777619u;
	return h;
}

int32_t Database::keyFind(const char* key, size_t len, uint32_t hash) const
{
	if (mKeys.empty())
		return 0;
	size_t mask = mKeys.size() - 1;
	for (size_t i = hash & mask;; i = (i + 1) & mask) {
		const KeyEntry& k = mKeys[i];
		if (k.record == 0)
			return 0;
		if (k.hash == hash) {
			const std::string& have = mSlots[static_cast<size_t>(k.record - 1)].key;
			if (have.size() == len && std::memcmp(have.data(), key, len) == 0)
				return k.record;
		}
	}
}

void Database::keyAdd(uint32_t hash, int32_t record)
{
	// At most half full, so that probes stay short.
	if ((mKeyCount + 1) * 2 > mKeys.size()) {
		size_t size = mKeys.empty() ? 1024 : mKeys.size() * 2;
		while ((mKeyCount + 1) * 2 > size)
			size *= 2;
		std::vector<KeyEntry> old(size);
		old.swap(mKeys);
		size_t mask = size - 1;
		for (const KeyEntry& k : old) {
			if (k.record == 0)
				continue;
			size_t i = k.hash & mask;
			while (mKeys[i].record != 0)
				i = (i + 1) & mask;
			mKeys[i] = k;
		}
	}
	size_t mask = mKeys.size() - 1;
	size_t i = hash & mask;
	while (mKeys[i].record != 0)
		i = (i + 1) & mask;
	mKeys[i] = KeyEntry{hash, record};
	++mKeyCount;
}

void Database::keyRemove(const std::string& key)
{
	if (mKeys.empty())
		return;
	uint32_t hash = keyHash(key.data(), key.size());
	size_t mask = mKeys.size() - 1;
	size_t i = hash & mask;
	for (;; i = (i + 1) & mask) {
		const KeyEntry& k = mKeys[i];
		if (k.record == 0)
			return;
		if (k.hash == hash && mSlots[static_cast<size_t>(k.record - 1)].key == key)
			break;
	}
	// Entries after the hole move back into it unless their home lies between the two.
	size_t j = i;
	for (;;) {
		j = (j + 1) & mask;
		if (mKeys[j].record == 0)
			break;
		size_t home = mKeys[j].hash & mask;
		bool stays = i <= j ? (home > i && home <= j) : (home > i || home <= j);
		if (!stays) {
			mKeys[i] = mKeys[j];
			i = j;
		}
	}
	mKeys[i] = KeyEntry();
	--mKeyCount;
}

void Database::keysClear()
{
	std::fill(mKeys.begin(), mKeys.end(), KeyEntry());
	mKeyCount = 0;
}

// ---- data blocks ----

Error Database::dataMode(bool stream)
{
	if (stream == mStream) {
		mModeRun = 0;
		return ErrOkay;
	}
	// A change of geometry writes the cache out, so it waits for a run of the other kind.
	if (++mModeRun < kModeSwitchAfter)
		return ErrOkay;
	mModeRun = 0;
	mStream = stream;
	return mDataFile.BufferSizeSet(stream ? kStreamBlockLen : kBlockLen, kCacheBlocks);
}

Error Database::dataRead(int32_t record, TString& data, bool stream)
{
	char block[kBlockLen];
	Error e = dataMode(stream);
	if (e == ErrOkay)
		e = readAt(mDataFile, dataOffset(record), block, kBlockLen);
	if (e != ErrOkay)
		return e;
	if (std::memchr(block, 0, kBlockLen))
		return ErrFileInvalidData;
	// Records are meant to be UTF-8 but are handed back byte for byte whatever they hold.
	data.AllowInvalidSet(true);
	data.AssignByte(block, mSlots[static_cast<size_t>(record - 1)].length);
	return ErrOkay;
}

Error Database::dataWrite(int32_t record, const char* text, long len, bool stream)
{
	mAheadCount = 0;
	Error e = dataMode(stream);
	if (e != ErrOkay)
		return e;
	char block[kBlockLen];
	std::memcpy(block, text, static_cast<size_t>(len));
	std::memset(block + len, ' ', static_cast<size_t>(kBlockLen - len));
	return writeAt(mDataFile, dataOffset(record), block, kBlockLen);
}

// ---- record operations ----

Error Database::RecordFind(const TString& key, TString& data)
{
	data.Erase();
	if (!IsOpen())
		return ErrFileNotOpen;
	if (!KeyValid(key))
		return ErrFileInvalidData;
	int32_t r = 0;
	Error e = locate(key, &r);
	if (e == ErrOkay)
		e = dataRead(r, data, false);
	if (e != ErrOkay)
		data.Erase();
	return failed(e);
}

Error Database::RecordAppend(const TString& key, const TString& data)
{
	if (!IsOpen())
		return ErrFileNotOpen;
	if (mState.status == StatusInvalid)
		return ErrFileInvalidData;
	if (!KeyValid(key) || !DataValid(data))
		return failed(ErrFileInvalidData);
	int32_t r = 0;
	Error e = locate(key, &r);
	if (e == ErrOkay)
		return ErrGmCommandFailed;
	if (e != ErrGmCommandFailed)
		return failed(e);
	long bucket = static_cast<long>(Hash(key.String(), key.ByteLength())) + 1;

	// A free slot from the deleted chain, or a new one at the end.
	int32_t freeHead = mHeads[0];
	bool atEnd = freeHead == 0;
	Index* s = nullptr;
	if (freeHead != 0) {
		e = slotGet(freeHead, &s);
		if (e == ErrOkay && !isReserved(s->key))
			e = ErrFileInvalidData;
		if (e != ErrOkay)
			return failed(e);
	} else if (static_cast<long>(mSlots.size()) >= kRecordMax) {
		return ErrFileFull;
	}
	e = changeStart();
	if (e != ErrOkay)
		return failed(e);
	if (freeHead != 0) {
		r = freeHead;
		e = headWrite(0, s->next);
		if (e == ErrOkay)
			--mState.deleted;
	} else {
		mSlots.emplace_back();
		r = static_cast<int32_t>(mSlots.size());
	}
	if (e == ErrOkay) {
		Index& slot = mSlots[static_cast<size_t>(r - 1)];
		int32_t oldHead = mHeads[static_cast<size_t>(bucket)];
		slot.key.assign(key.String(), static_cast<size_t>(key.ByteLength()));
		slot.next = oldHead;
		slot.length = static_cast<int32_t>(data.ByteLength());
		slot.prev = 0;
		slot.loaded = true;
		if (oldHead != 0)
			mSlots[static_cast<size_t>(oldHead - 1)].prev = r;
		keyAdd(keyHash(slot.key.data(), slot.key.size()), r);
		e = slotWrite(r);
		if (e == ErrOkay)
			e = headWrite(bucket, r);
	}
	if (e == ErrOkay)
		e = dataWrite(r, data.String(), data.ByteLength(), atEnd);
	if (e == ErrOkay) {
		++mState.live;
		e = countsWrite();
	}
	return failed(e);
}

Error Database::RecordReplace(const TString& key, const TString& data)
{
	if (!IsOpen())
		return ErrFileNotOpen;
	if (mState.status == StatusInvalid)
		return ErrFileInvalidData;
	if (!KeyValid(key) || !DataValid(data))
		return failed(ErrFileInvalidData);
	int32_t r = 0;
	Error e = locate(key, &r);
	if (e == ErrOkay)
		e = changeStart();
	if (e == ErrOkay) {
		mSlots[static_cast<size_t>(r - 1)].length = static_cast<int32_t>(data.ByteLength());
		e = slotWrite(r);
	}
	if (e == ErrOkay)
		e = dataWrite(r, data.String(), data.ByteLength(), false);
	return failed(e);
}

Error Database::RecordDelete(const TString& key)
{
	if (!IsOpen())
		return ErrFileNotOpen;
	if (mState.status == StatusInvalid)
		return ErrFileInvalidData;
	if (!KeyValid(key))
		return failed(ErrFileInvalidData);
	int32_t r = 0;
	Error e = locate(key, &r);
	if (e == ErrOkay)
		e = changeStart();
	if (e != ErrOkay)
		return failed(e);
	Index& slot = mSlots[static_cast<size_t>(r - 1)];
	long bucket = static_cast<long>(Hash(slot.key.data(), static_cast<long>(slot.key.size()))) + 1;

	// Unlink from the bucket chain.
	if (slot.prev != 0) {
		mSlots[static_cast<size_t>(slot.prev - 1)].next = slot.next;
		e = slotWrite(slot.prev);
	} else {
		e = headWrite(bucket, slot.next);
	}
	if (slot.next != 0)
		mSlots[static_cast<size_t>(slot.next - 1)].prev = slot.prev;
	keyRemove(slot.key);
	if (e == ErrOkay)
		--mState.live;

	// Onto the head of the deleted chain.
	if (e == ErrOkay) {
		slot.key.assign(sDeleted, kDeletedLen);
		slot.next = mHeads[0];
		slot.prev = 0;
		slot.length = static_cast<int32_t>(sizeof kEmptyData - 1);
		e = slotWrite(r);
	}
	if (e == ErrOkay)
		e = headWrite(0, r);
	if (e == ErrOkay)
		e = dataWrite(r, kEmptyData, sizeof kEmptyData - 1, false);
	if (e == ErrOkay) {
		++mState.deleted;
		e = countsWrite();
	}
	return failed(e);
}

Error Database::Rewind()
{
	if (!IsOpen())
		return ErrFileNotOpen;
	mIter = 1;
	return ErrOkay;
}

Error Database::RecordNext(TString& key, TString& data)
{
	key.Erase();
	data.Erase();
	std::string_view k, d;
	Error e = RecordNextView(k, d);
	if (e != ErrOkay)
		return e;
	// Records are meant to be UTF-8 but are handed back byte for byte whatever they hold.
	data.AllowInvalidSet(true);
	data.AssignByte(d.data(), static_cast<long>(d.size()));
	FileBase::AssignBytes(key, k.data(), k.size());
	return ErrOkay;
}

// Reads the index records and data blocks of the records from first on into the window.
Error Database::aheadFill(int32_t first)
{
	mAheadCount = 0;
	int32_t total = static_cast<int32_t>(mSlots.size());
	int32_t count = std::min(kAheadRecords, total - first + 1);
	mAheadIndex.resize(static_cast<size_t>(kAheadRecords * kIndexLen));
	mAheadData.resize(static_cast<size_t>(kAheadRecords * kBlockLen));
	Error e = readAt(mIndexFile, indexOffset(first), mAheadIndex.data(),
		static_cast<unsigned long long>(count) * kIndexLen);
	if (e == ErrOkay)
		e = readAt(mDataFile, dataOffset(first), mAheadData.data(),
			static_cast<unsigned long long>(count) * kBlockLen);
	if (e != ErrOkay)
		return e;
	mAheadFirst = first;
	mAheadCount = count;
	return ErrOkay;
}

Error Database::RecordNextView(std::string_view& key, std::string_view& data)
{
	key = std::string_view();
	data = std::string_view();
	if (!IsOpen())
		return ErrFileNotOpen;
	while (mIter <= static_cast<int32_t>(mSlots.size())) {
		int32_t r = mIter;
		if (r < mAheadFirst || r >= mAheadFirst + mAheadCount) {
			Error e = aheadFill(r);
			if (e != ErrOkay)
				return failed(e);
		}
		size_t at = static_cast<size_t>(r - mAheadFirst);
		int32_t next = 0, length = 0;
		const char* k = nullptr;
		long keyLen = 0;
		Error e = rawParse(mAheadIndex.data() + at * kIndexLen, next, length, k, keyLen);
		if (e != ErrOkay)
			return failed(e);
		++mIter;
		if (keyLen == kDeletedLen && std::memcmp(k, sDeleted, kDeletedLen) == 0)
			continue;
		const char* block = mAheadData.data() + at * kBlockLen;
		if (std::memchr(block, 0, kBlockLen))
			return failed(ErrFileInvalidData);
		key = std::string_view(k, static_cast<size_t>(keyLen));
		data = std::string_view(block, static_cast<size_t>(length));
		return ErrOkay;
	}
	return ErrFileEnd;
}

Error Database::Initialize()
{
	if (!IsOpen())
		return ErrFileNotOpen;
	Error e = changeStart();
	// The data file goes first: an index emptied alone still disagrees with the data file.
	if (e == ErrOkay)
		e = mDataFile.SizeSet(0);
	if (e == ErrOkay)
		e = mIndexFile.SizeSet(0);
	if (e != ErrOkay)
		return failed(e);
	mHeads.fill(0);
	mChainLoaded.fill(true);
	mChainsLoaded = 0;
	mScanned = true;
	mSlots.clear();
	keysClear();
	mIter = 1;
	mAheadCount = 0;
	mState.live = 0;
	mState.deleted = 0;
	e = headerWrite(true);
	if (e == ErrOkay)
		e = tableWrite();
	return failed(e);
}
