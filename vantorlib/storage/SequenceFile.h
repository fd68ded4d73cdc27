// A file read or written front to back through a 64 KiB buffer, so that each system call
// moves a whole buffer.
#pragma once

#include "DiskFile.h"

class SequenceFile : public DiskFile {
public:
	enum Mode : int {
		ModeNone = 0,
		ModeRead = 82,  // the buffer holds read-ahead data
		ModeWrite = 87,  // the buffer holds pending writes
	};

	static constexpr unsigned int kBufferSize = 65536;

	SequenceFile() = default;
	~SequenceFile() override;

	Error Close() override;
	Error Flush() override;
	Error PositionGet(long long* pos) const override;
	Error PositionSet(long long pos, FilePtrMethod method) override;
	Error Read(void* data, unsigned long long n, unsigned long long* done) override;
	// Pending writes count towards the size, and changing the size or writing a range
	// first empties the buffer, so that neither loses or reorders data.
	Error SizeGet(unsigned long long* size) const override;
	Error SizeSet(unsigned long long size) override;
	Error Write(const void* data, unsigned long long n, unsigned long long* done) override;
	Error WriteRange(
		long long offset, const void* data, unsigned long long n, unsigned long long* done) override;

	// Writes over bytes written before, without a sync: in the buffer while they still wait
	// there, else in the file (after the buffer's pending bytes). The position stays.
	Error WriteOver(long long offset, const void* data, unsigned long long n);

	// A write past the buffer would reorder data: only WriteRange and WriteOver here.
	Error WriteAt(long long, const void*, unsigned long long, unsigned long long*) = delete;
	// Overwrites bytes already written, at offset from the start, without moving the position
	// and without a sync: in the buffer while they are still pending there, in the file before
	// it. Bytes beyond the position are refused with ErrFilePositionError.
	Error Overwrite(long long offset, const void* data, unsigned long long n, unsigned long long* done);

protected:
	Error openFile(const char* path, FileAccess access, long long lockWait, bool create,
		const struct stat* known) override;

	// One byte from the buffer: ErrOkay, ErrFileEnd or a read error.
	Error readByte(unsigned char& byte)
	{
		if (mMode == ModeRead && mBufBytes > 0) {
			byte = static_cast<unsigned char>(mBuffer[mBufOffset++]);
			--mBufBytes;
			++mPosition;
			return ErrOkay;
		}
		unsigned long long done;
		return Read(&byte, 1, &done);
	}

	// Writes out pending bytes (or gives back read-ahead) and leaves the buffer without mode.
	Error bufferClose();

	char* mBuffer = nullptr;
	unsigned long long mBufSize = 0;
	unsigned long long mBufBytes = 0;
	unsigned long long mBufOffset = 0;
	Mode mMode = ModeNone;
	unsigned int mAllocSize = kBufferSize;
	long long mPosition = 0;
	bool mEof = false;

private:
	void bufferFree();
};
