#include "SequenceFile.h"

#include <algorithm>
#include <cstring>
#include <new>

SequenceFile::~SequenceFile()
{
	if (IsOpen())
		SequenceFile::Close();
	bufferFree();
}

void SequenceFile::bufferFree()
{
	delete[] mBuffer;
	mBuffer = nullptr;
	mBufSize = 0;
	mBufBytes = 0;
	mBufOffset = 0;
	mMode = ModeNone;
	mPosition = 0;
	mEof = false;
}

Error SequenceFile::openFile(
	const char* path, FileAccess access, long long lockWait, bool create, const struct stat* known)
{
	if (IsOpen())
		Close();
	bufferFree();
	mBuffer = new (std::nothrow) char[mAllocSize];
	if (!mBuffer)
		return ErrGmNoMemory;
	mBufSize = mAllocSize;
	Error e = DiskFile::openFile(path, access, lockWait, create, known);
	if (e != ErrOkay)
		bufferFree();
	return e;
}

Error SequenceFile::bufferClose()
{
	Error e = ErrOkay;
	if (mMode == ModeWrite && mBufBytes > 0) {
		unsigned long long done;
		e = DiskFile::Write(mBuffer, mBufBytes, &done);
	} else if (mMode == ModeRead && mImp.IsOpen()) {
		// The descriptor has read ahead of the logical position; put it back.
		e = DiskFile::PositionSet(mPosition, FilePtrStart);
	}
	mBufBytes = 0;
	mBufOffset = 0;
	mMode = ModeNone;
	mEof = false;
	return e;
}

Error SequenceFile::Close()
{
	// Read-ahead is dropped without putting the descriptor back: it is closed anyway.
	if (mMode == ModeRead)
		mMode = ModeNone;
	Error e = IsOpen() ? bufferClose() : ErrOkay;
	Error c = DiskFile::Close();
	bufferFree();
	return e != ErrOkay ? e : c;
}

Error SequenceFile::Flush()
{
	if (!IsOpen())
		return ErrFileNotOpen;
	Error e = ErrOkay;
	if (mMode == ModeWrite && mBufBytes > 0) {
		unsigned long long done;
		e = DiskFile::Write(mBuffer, mBufBytes, &done);
		mBufBytes = 0;
	}
	Error s = DiskFile::Flush();
	return e != ErrOkay ? e : s;
}

Error SequenceFile::PositionGet(long long* pos) const
{
	if (!IsOpen()) {
		*pos = 0;
		return ErrFileNotOpen;
	}
	// Without a buffer the logical position is the descriptor's: every operation that moves
	// the descriptor sets it.
	*pos = mPosition;
	return ErrOkay;
}

Error SequenceFile::PositionSet(long long pos, FilePtrMethod method)
{
	if (!IsOpen())
		return ErrFileNotOpen;
	Error e = bufferClose();
	Error s = DiskFile::PositionSet(pos, method);
	long long now = 0;
	if (DiskFile::PositionGet(&now) == ErrOkay)
		mPosition = now;
	return e != ErrOkay ? e : s;
}

Error SequenceFile::Read(void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	Error e = canRead();
	if (e != ErrOkay)
		return e;
	if (mMode == ModeWrite) {
		e = bufferClose();
		if (e != ErrOkay)
			return e;
	}
	mMode = ModeRead;
	char* out = static_cast<char*>(data);
	while (*done < n) {
		if (mBufBytes == 0) {
			if (mEof)
				break;
			unsigned long long got = 0;
			e = DiskFile::Read(mBuffer, mBufSize, &got);
			if (e == ErrFileEnd) {
				mEof = true;
				break;
			}
			if (e != ErrOkay)
				return e;
			mBufOffset = 0;
			mBufBytes = got;
		}
		unsigned long long step = n - *done < mBufBytes ? n - *done : mBufBytes;
		std::memcpy(out + *done, mBuffer + mBufOffset, step);
		mBufOffset += step;
		mBufBytes -= step;
		*done += step;
		mPosition += static_cast<long long>(step);
	}
	return *done == 0 && n > 0 ? ErrFileEnd : ErrOkay;
}

Error SequenceFile::Write(const void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	Error e = canWrite();
	if (e != ErrOkay)
		return e;
	if (mMode == ModeRead) {
		e = bufferClose();
		if (e != ErrOkay)
			return e;
	}
	mMode = ModeWrite;
	const char* in = static_cast<const char*>(data);
	while (*done < n) {
		unsigned long long room = mBufSize - mBufBytes;
		unsigned long long step = n - *done < room ? n - *done : room;
		std::memcpy(mBuffer + mBufBytes, in + *done, step);
		mBufBytes += step;
		*done += step;
		mPosition += static_cast<long long>(step);
		if (mBufBytes == mBufSize) {
			unsigned long long put;
			e = DiskFile::Write(mBuffer, mBufBytes, &put);
			mBufBytes = 0;
			if (e != ErrOkay)
				return e;
		}
	}
	return ErrOkay;
}

Error SequenceFile::Overwrite(
	long long offset, const void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	Error e = canWrite();
	if (e == ErrOkay && mMode == ModeRead)
		e = bufferClose();  // read-ahead would go stale
	long long end = 0;
	if (e == ErrOkay)
		e = PositionGet(&end);
	if (e != ErrOkay)
		return e;
	if (offset < 0 || offset > end || static_cast<unsigned long long>(end - offset) < n)
		return ErrFilePositionError;
	// Where the pending bytes start in the file.
	long long start = mMode == ModeWrite ? end - static_cast<long long>(mBufBytes) : end;
	const char* in = static_cast<const char*>(data);
	unsigned long long before = 0;
	if (offset < start) {
		before = std::min<unsigned long long>(n, static_cast<unsigned long long>(start - offset));
		unsigned long long put = 0;
		e = mImp.WriteAt(offset, in, before, &put);
		if (e != ErrOkay)
			return e;
	}
	if (n > before)
		std::memcpy(mBuffer + (offset + static_cast<long long>(before) - start), in + before, n - before);
	*done = n;
	return ErrOkay;
}

Error SequenceFile::SizeGet(unsigned long long* size) const
{
	Error e = DiskFile::SizeGet(size);
	if (e == ErrOkay && mMode == ModeWrite && mPosition > 0 &&
		static_cast<unsigned long long>(mPosition) > *size)
		*size = static_cast<unsigned long long>(mPosition);
	return e;
}

Error SequenceFile::SizeSet(unsigned long long size)
{
	if (!IsOpen())
		return ErrFileNotOpen;
	Error e = bufferClose();
	Error s = DiskFile::SizeSet(size);
	return e != ErrOkay ? e : s;
}

Error SequenceFile::WriteRange(
	long long offset, const void* data, unsigned long long n, unsigned long long* done)
{
	*done = 0;
	if (!IsOpen())
		return ErrFileNotOpen;
	Error e = bufferClose();
	if (e != ErrOkay)
		return e;
	e = DiskFile::WriteRange(offset, data, n, done);
	long long now = 0;
	if (DiskFile::PositionGet(&now) == ErrOkay)
		mPosition = now;
	return e;
}

Error SequenceFile::WriteOver(long long offset, const void* data, unsigned long long n)
{
	if (!IsOpen())
		return ErrFileNotOpen;
	Error e = canWrite();
	if (e != ErrOkay)
		return e;
	if (offset < 0)
		return ErrFilePositionError;
	long long start = mPosition - static_cast<long long>(mBufBytes);
	if (mMode == ModeWrite && offset >= start && offset + static_cast<long long>(n) <= mPosition) {
		std::memcpy(mBuffer + (offset - start), data, n);
		return ErrOkay;
	}
	e = bufferClose();
	if (e != ErrOkay)
		return e;
	unsigned long long done = 0;
	return DiskFile::WriteAt(offset, data, n, &done);
}
