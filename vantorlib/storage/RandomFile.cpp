#include "RandomFile.h"

#include <cstring>
#include <new>
#include <vector>

RandomFile::~RandomFile()
{
	if (IsOpen())
		RandomFile::Close();
}

Error RandomFile::openFile(
	const char* path, FileAccess access, long long lockWait, bool create, const struct stat* known)
{
	if (IsOpen())
		Close();
	mCache.clear();
	mPosition = 0;
	mSize = 0;
	mUnsynced = false;
	Error e = DiskFile::openFile(path, access, lockWait, create, known);
	if (e == ErrOkay) {
		unsigned long long size = 0;
		e = DiskFile::SizeGet(&size);
		mSize = static_cast<long long>(size);
		if (e != ErrOkay)
			DiskFile::Close();
	}
	return e;
}

long RandomFile::extent(long index) const
{
	long long start = static_cast<long long>(index) * mBlockSize;
	long long left = mSize - start;
	if (left <= 0)
		return 0;
	return left >= mBlockSize ? mBlockSize : static_cast<long>(left);
}

Error RandomFile::blockWrite(long index, Block& block)
{
	long len = extent(index);
	if (len > 0) {
		unsigned long long done;
		mUnsynced = true;
		Error e = mImp.WriteAt(static_cast<long long>(index) * mBlockSize, block.data.get(),
			static_cast<unsigned long long>(len), &done);
		if (e != ErrOkay)
			return e;
	}
	block.dirty = false;
	return ErrOkay;
}

Error RandomFile::blockGet(long index, Block** out, bool fill)
{
	*out = nullptr;
	auto it = mCache.find(index);
	if (it != mCache.end()) {
		it->second.used = ++mUseClock;
		*out = &it->second;
		return ErrOkay;
	}
	Block block;
	if (static_cast<long>(mCache.size()) < mBlockCount) {
		block.data.reset(new (std::nothrow) unsigned char[mBlockSize]);
		if (!block.data)
			return ErrGmNoMemory;
	} else {
		// Evict the least recently used block (the first in index order on a tie).
		auto victim = mCache.begin();
		for (auto b = mCache.begin(); b != mCache.end(); ++b)
			if (b->second.used < victim->second.used)
				victim = b;
		if (victim == mCache.end())
			return ErrGmNoMemory;
		if (victim->second.dirty) {
			Error e = blockWrite(victim->first, victim->second);
			if (e != ErrOkay)
				return e;
		}
		block.data = std::move(victim->second.data);
		mCache.erase(victim);
	}
	long len = extent(index);
	if (fill)
		std::memset(block.data.get(), 0, static_cast<size_t>(mBlockSize));
	if (fill && len > 0) {
		unsigned long long done = 0;
		Error e = mImp.ReadAt(static_cast<long long>(index) * mBlockSize, block.data.get(),
			static_cast<unsigned long long>(len), &done);
		// Bytes past the end of the file on disk (not yet flushed) read as zeros.
		if (e != ErrOkay && e != ErrFileEnd)
			return e;
	}
	block.valid = len;
	block.used = ++mUseClock;
	block.dirty = false;
	auto res = mCache.emplace(index, std::move(block));
	*out = &res.first->second;
	return ErrOkay;
}

Error RandomFile::Read(void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	if (!mActive)
		return DiskFile::Read(data, n, done);
	Error e = canRead();
	if (e != ErrOkay)
		return e;
	if (n == 0 || mPosition >= mSize)
		return ErrFileEnd;
	unsigned char* out = static_cast<unsigned char*>(data);
	while (*done < n && mPosition < mSize) {
		long index = static_cast<long>(mPosition / mBlockSize);
		long offset = static_cast<long>(mPosition % mBlockSize);
		// A read of whole blocks goes straight from the file into the caller's buffer for the
		// blocks that the cache does not hold (their bytes on disk are current), in one call.
		bool whole = n - *done >= static_cast<unsigned long long>(mBlockSize) &&
			(offset == 0 || n - *done >= 2 * static_cast<unsigned long long>(mBlockSize));
		if (whole && mCache.count(index) == 0) {
			e = readDirect(out + *done, n - *done, done);
			if (e != ErrOkay)
				return e;
			continue;
		}
		Block* block;
		e = blockGet(index, &block);
		if (e != ErrOkay)
			return e;
		long avail = extent(index) - offset;
		if (avail <= 0)
			break;
		unsigned long long step = n - *done < static_cast<unsigned long long>(avail)
			? n - *done
			: static_cast<unsigned long long>(avail);
		std::memcpy(out + *done, block->data.get() + offset, step);
		*done += step;
		mPosition += static_cast<long long>(step);
	}
	return ErrOkay;
}

Error RandomFile::readDirect(unsigned char* out, unsigned long long want, unsigned long long* done)
{
	// The run of uncached blocks from the position on, within the request and the file.
	long long end = mPosition + static_cast<long long>(want);
	if (end > mSize)
		end = mSize;
	long first = static_cast<long>(mPosition / mBlockSize);
	auto next = mCache.upper_bound(first);
	if (next != mCache.end() && static_cast<long long>(next->first) * mBlockSize < end)
		end = static_cast<long long>(next->first) * mBlockSize;
	unsigned long long len = static_cast<unsigned long long>(end - mPosition);
	unsigned long long got = 0;
	Error e = mImp.ReadAt(mPosition, out, len, &got);
	if (e != ErrOkay && e != ErrFileEnd)
		return e;
	// Bytes past the end of the file on disk read as zeros, as they do through the cache.
	if (got < len)
		std::memset(out + got, 0, static_cast<size_t>(len - got));
	*done += len;
	mPosition = end;
	return ErrOkay;
}

Error RandomFile::Write(const void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	if (!mActive) {
		mUnsynced = true;
		return DiskFile::Write(data, n, done);
	}
	Error e = canWrite();
	if (e != ErrOkay)
		return e;
	const unsigned char* in = static_cast<const unsigned char*>(data);
	while (*done < n) {
		long index = static_cast<long>(mPosition / mBlockSize);
		long offset = static_cast<long>(mPosition % mBlockSize);
		Block* block;
		bool whole = offset == 0 && n - *done >= static_cast<unsigned long long>(mBlockSize);
		e = blockGet(index, &block, !whole);
		if (e != ErrOkay)
			return e;
		unsigned long long room = static_cast<unsigned long long>(mBlockSize - offset);
		unsigned long long step = n - *done < room ? n - *done : room;
		std::memcpy(block->data.get() + offset, in + *done, step);
		*done += step;
		mPosition += static_cast<long long>(step);
		if (mPosition > mSize)
			mSize = mPosition;
		if (offset + static_cast<long>(step) > block->valid)
			block->valid = offset + static_cast<long>(step);
		block->dirty = true;
	}
	return ErrOkay;
}

Error RandomFile::WriteRange(
	long long offset, const void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	if (!mActive)
		return DiskFile::WriteRange(offset, data, n, done);
	Error e = PositionSet(offset, FilePtrStart);
	if (e == ErrOkay)
		e = Write(data, n, done);
	if (e == ErrOkay) {
		unsigned long long put;
		mUnsynced = true;
		e = mImp.WriteAt(offset, data, n, &put);
	}
	if (e == ErrOkay)
		e = mImp.Sync();
	return e;
}

Error RandomFile::blocksWrite()
{
	if (!IsOpen())
		return ErrFileNotOpen;
	// Runs of neighbouring changed blocks go out in one gathered write each.
	Error result = ErrOkay;
	std::vector<DiskFileImp::Piece> pieces;
	std::vector<Block*> run;
	long runFirst = 0;
	auto runWrite = [&]() {
		if (run.empty())
			return;
		unsigned long long done = 0;
		mUnsynced = true;
		Error e = mImp.WriteGather(static_cast<long long>(runFirst) * mBlockSize, pieces.data(),
			static_cast<unsigned long>(pieces.size()), &done);
		if (e == ErrOkay) {
			for (Block* b : run)
				b->dirty = false;
		} else if (result == ErrOkay) {
			result = e;
		}
		pieces.clear();
		run.clear();
	};
	for (auto& [index, block] : mCache) {
		long len = extent(index);
		if (!block.dirty || len <= 0) {
			if (block.dirty)
				block.dirty = false;
			runWrite();
			continue;
		}
		if (!run.empty() && index != runFirst + static_cast<long>(run.size()))
			runWrite();
		if (run.empty())
			runFirst = index;
		pieces.push_back({block.data.get(), static_cast<unsigned long long>(len)});
		run.push_back(&block);
	}
	runWrite();
	return result;
}

Error RandomFile::Flush()
{
	Error result = blocksWrite();
	if (result != ErrFileNotOpen && mUnsynced) {
		Error s = mImp.Sync();
		if (s == ErrOkay && result == ErrOkay)
			mUnsynced = false;
		if (result == ErrOkay)
			result = s;
	}
	return result;
}

Error RandomFile::CloseUnsynced()
{
	Error e = IsOpen() ? blocksWrite() : ErrOkay;
	mCache.clear();
	mPosition = 0;
	mSize = 0;
	mUnsynced = false;
	Error c = DiskFile::Close();
	return e != ErrOkay ? e : c;
}

Error RandomFile::WriteOut()
{
	if (!mActive)
		return IsOpen() ? ErrOkay : ErrFileNotOpen;
	return blocksWrite();
}

Error RandomFile::Preload(long long offset, unsigned long long n)
{
	if (!mActive)
		return ErrOkay;
	Error e = canRead();
	if (e != ErrOkay)
		return e;
	long long end = offset + static_cast<long long>(n);
	if (end > mSize)
		end = mSize;
	if (offset < 0 || offset >= end)
		return ErrOkay;
	// Blocks read per system call.
	constexpr long kRun = 32;
	long last = static_cast<long>((end - 1) / mBlockSize);
	std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[kRun * mBlockSize]);
	if (!buf)
		return ErrGmNoMemory;
	for (long index = static_cast<long>(offset / mBlockSize); index <= last;) {
		if (mCache.count(index) != 0) {
			++index;
			continue;
		}
		long room = mBlockCount - static_cast<long>(mCache.size());
		long count = 0;
		while (index + count <= last && count < kRun && count < room && mCache.count(index + count) == 0)
			++count;
		if (count == 0)
			break;
		// Uncached blocks are current on disk; bytes past its end read as zeros.
		long long from = static_cast<long long>(index) * mBlockSize;
		long long to = static_cast<long long>(index + count) * mBlockSize;
		if (to > mSize)
			to = mSize;
		size_t len = static_cast<size_t>(to - from);
		unsigned long long got = 0;
		e = mImp.ReadAt(from, buf.get(), len, &got);
		if (e != ErrOkay && e != ErrFileEnd)
			return e;
		if (got < len)
			std::memset(buf.get() + got, 0, len - static_cast<size_t>(got));
		for (long i = 0; i < count; ++i) {
			Block block;
			block.data.reset(new (std::nothrow) unsigned char[mBlockSize]);
			if (!block.data)
				return ErrGmNoMemory;
			long valid = extent(index + i);
			std::memcpy(block.data.get(), buf.get() + static_cast<size_t>(i) * mBlockSize,
				static_cast<size_t>(valid));
			std::memset(block.data.get() + valid, 0, static_cast<size_t>(mBlockSize - valid));
			block.valid = valid;
			block.used = ++mUseClock;
			block.dirty = false;
			mCache.emplace(index + i, std::move(block));
		}
		index += count;
	}
	return ErrOkay;
}

Error RandomFile::cacheDrop()
{
	// The blocks are written out, not synced: that is for Flush and Close.
	Error e = ErrOkay;
	if (IsOpen() && !mCache.empty())
		e = blocksWrite();
	mCache.clear();
	return e;
}

Error RandomFile::Close()
{
	Error e = IsOpen() ? Flush() : ErrOkay;
	mCache.clear();
	mPosition = 0;
	mSize = 0;
	Error c = DiskFile::Close();
	return e != ErrOkay ? e : c;
}

Error RandomFile::PositionGet(long long* pos) const
{
	if (!mActive)
		return DiskFile::PositionGet(pos);
	*pos = 0;
	if (!IsOpen())
		return ErrFileNotOpen;
	*pos = mPosition;
	return ErrOkay;
}

Error RandomFile::PositionSet(long long pos, FilePtrMethod method)
{
	if (!mActive)
		return DiskFile::PositionSet(pos, method);
	if (!IsOpen())
		return ErrFileNotOpen;
	long long target;
	switch (method) {
	case FilePtrStart: target = pos; break;
	case FilePtrCurrent: target = mPosition + pos; break;
	case FilePtrEnd: target = mSize + pos; break;
	default: return ErrFilePositionError;
	}
	if (target < 0)
		return ErrFilePositionError;
	mPosition = target;
	return ErrOkay;
}

Error RandomFile::SizeGet(unsigned long long* size) const
{
	if (!mActive)
		return DiskFile::SizeGet(size);
	*size = 0;
	if (!IsOpen())
		return ErrFileNotOpen;
	*size = static_cast<unsigned long long>(mSize);
	return ErrOkay;
}

Error RandomFile::SizeSet(unsigned long long size)
{
	if (!mActive) {
		mUnsynced = true;
		return DiskFile::SizeSet(size);
	}
	if (!IsOpen())
		return ErrFileNotOpen;
	// Cached blocks past the new end must not bring the old bytes back later.
	Error e = cacheDrop();
	mUnsynced = true;
	if (e == ErrOkay)
		e = DiskFile::SizeSet(size);
	if (e == ErrOkay)
		mSize = static_cast<long long>(size);
	return e;
}

Error RandomFile::ActiveSet(bool active)
{
	if (active == mActive)
		return ErrOkay;
	Error e = ErrOkay;
	if (IsOpen()) {
		if (!active) {
			e = cacheDrop();
			Error p = DiskFile::PositionSet(mPosition, FilePtrStart);
			if (e == ErrOkay)
				e = p;
		} else {
			long long pos = 0;
			unsigned long long size = 0;
			e = DiskFile::PositionGet(&pos);
			if (e == ErrOkay)
				e = DiskFile::SizeGet(&size);
			mPosition = pos;
			mSize = static_cast<long long>(size);
		}
	}
	mActive = active;
	return e;
}

void RandomFile::BufferSizeGet(long* blockSize, long* blockCount) const
{
	*blockSize = mBlockSize;
	*blockCount = mBlockCount;
}

Error RandomFile::BufferSizeSet(long blockSize, long blockCount)
{
	Error e = cacheDrop();
	mBlockSize = blockSize < kBlockSizeMin ? kBlockSizeMin : blockSize;
	mBlockCount = blockCount < kBlockCountMin ? kBlockCountMin : blockCount;
	return e;
}
