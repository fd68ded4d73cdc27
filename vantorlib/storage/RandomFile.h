// A file read and written at random places through a cache of fixed-size blocks; blocks
// reach the disk when they are evicted (least recently used first) or flushed. The record
// database is built on it.
#pragma once

#include <map>
#include <memory>

#include "DiskFile.h"

class RandomFile : public DiskFile {
public:
	struct Block {
		std::unique_ptr<unsigned char[]> data;  // block-size bytes
		long valid = 0;  // bytes of the file the block covers
		long long used = 0;  // when it was last used (a use counter)
		bool dirty = false;
	};

	static constexpr long kBlockSizeMin = 2048;
	static constexpr long kBlockCountMin = 2;

	RandomFile() = default;
	~RandomFile() override;

	Error Close() override;
	// Writes the changed blocks and makes them durable; a file with no write since the last
	// sync is not synced again.
	Error Flush() override;
	// Writes the changed blocks and closes without waiting for them to reach the disk: for a
	// last write whose loss the owner can tell (the record database's clean status).
	Error CloseUnsynced();
	// Writes the changed blocks to the file without syncing it; the file stays open.
	Error WriteOut();
	// Reads the blocks of a range into the cache, many per system call, while it has room:
	// for an owner about to read and change much of the file.
	Error Preload(long long offset, unsigned long long n);
	Error PositionGet(long long* pos) const override;
	Error PositionSet(long long pos, FilePtrMethod method) override;
	Error Read(void* data, unsigned long long n, unsigned long long* done) override;
	Error SizeGet(unsigned long long* size) const override;
	Error SizeSet(unsigned long long size) override;
	Error Write(const void* data, unsigned long long n, unsigned long long* done) override;
	Error WriteRange(
		long long offset, const void* data, unsigned long long n, unsigned long long* done) override;
	// A write past the buffer would reorder data: only WriteRange here.
	Error WriteAt(long long, const void*, unsigned long long, unsigned long long*) = delete;

	bool ActiveGet() const { return mActive; }
	// An inactive file passes every operation straight to the disk.
	Error ActiveSet(bool active);
	void BufferSizeGet(long* blockSize, long* blockCount) const;
	// Values below 2048 and 2 are raised to them. Meant to be set before opening; on an
	// open file the cache is written out and started afresh.
	Error BufferSizeSet(long blockSize, long blockCount);

protected:
	Error openFile(const char* path, FileAccess access, long long lockWait, bool create,
		const struct stat* known) override;

private:
	// Bytes of block index that lie inside the logical size.
	long extent(long index) const;
	// fill: read the block's bytes from the file; a caller about to overwrite the whole
	// block passes false and saves the read.
	Error blockGet(long index, Block** block, bool fill = true);
	Error blockWrite(long index, Block& block);
	// Reads the run of uncached blocks at the position (at most want bytes) past the cache.
	Error readDirect(unsigned char* out, unsigned long long want, unsigned long long* done);
	Error cacheDrop();
	Error blocksWrite();

	bool mActive = true;
	bool mUnsynced = false;  // bytes written since the last sync
	long mBlockSize = 4096;
	long mBlockCount = 16;
	long long mPosition = 0;
	long long mSize = 0;
	long long mUseClock = 0;
	std::map<long, Block> mCache;
};
