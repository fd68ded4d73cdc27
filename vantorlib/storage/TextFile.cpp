#include "TextFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "Err.h"
#include "PathMngr.h"

TextFile::~TextFile()
{
	if (IsOpen())
		TextFile::Close();
}

Error TextFile::Close()
{
	mPushBack = 0;
	mTextOpen = false;
	return SequenceFile::Close();
}

Error TextFile::PositionGet(long long* pos) const
{
	Error e = SequenceFile::PositionGet(pos);
	if (e == ErrOkay && mPushBack)
		--*pos;
	return e;
}

Error TextFile::PositionSet(long long pos, FilePtrMethod method)
{
	// A relative move counts from the position the caller sees, before the pushed-back byte.
	if (method == FilePtrCurrent && mPushBack)
		--pos;
	mPushBack = 0;
	return SequenceFile::PositionSet(pos, method);
}

Error TextFile::Open(const char* path, Mode mode, long long lockWait)
{
	if (IsOpen())
		Close();
	mPushBack = 0;
	Error e;
	switch (mode) {
	case ModeRead:
		e = openFile(path, FileAccessRead, lockWait, false, nullptr);
		break;
	case ModeWrite:
		e = openFile(path, FileAccessReadWrite, lockWait, true, nullptr);
		break;
	case ModeAppend:
		e = openFile(path, FileAccessReadWrite, lockWait, false, nullptr);
		if (e == ErrFileNotFound)
			e = openFile(path, FileAccessReadWrite, lockWait, true, nullptr);
		if (e == ErrOkay)
			e = SequenceFile::PositionSet(0, FilePtrEnd);
		break;
	default:
		e = ErrFileOpenError;
		break;
	}
	if (e != ErrOkay) {
		if (IsOpen())
			Close();
		return e;
	}
	mTextMode = mode;
	mTextOpen = true;
	return ErrOkay;
}

Error TextFile::Open(const TString& path, Mode mode, long long lockWait)
{
	return Open(path.String(), mode, lockWait);
}

Error TextFile::Read(TString& line)
{
	line.Erase();
	line.AllowInvalidSet(true);
	if (!IsOpen() || !mTextOpen || mTextMode != ModeRead)
		return ErrFileNotOpen;
	char buf[kLineMax];
	long len = 0;
	unsigned char first = 0;  // the first line-end character seen
	bool second = false;      // a different second one was absorbed
	bool any = false;
	Error result = ErrOkay;
	for (;;) {
		unsigned char c;
		if (mPushBack) {
			c = mPushBack;
			mPushBack = 0;
		} else {
			Error e = readByte(c);
			if (e == ErrFileEnd)
				break;
			if (e != ErrOkay) {
				result = e;
				break;
			}
		}
		any = true;
		if (c == 0)
			c = ' ';
		if (c != '\r' && c != '\n') {
			if (first) {
				mPushBack = c;
				break;
			}
			if (len >= kLineMax) {
				mPushBack = c;
				result = ErrFileLineTooLong;
				break;
			}
			buf[len++] = static_cast<char>(c);
			continue;
		}
		if (!first) {
			first = c;
		} else if (c == first || second) {
			mPushBack = c;
			break;
		} else {
			second = true;
		}
	}
	if (len > 0)
		line.AppendByteStream(buf, len);
	if (!any && result == ErrOkay)
		return ErrFileEnd;
	return result;
}

Error TextFile::writeLine(const char* text, unsigned long len, bool& tooLong)
{
	if (len > static_cast<unsigned long>(kLineMax)) {
		len = kLineMax;
		tooLong = true;
	}
	unsigned long long done;
	Error e = len ? SequenceFile::Write(text, len, &done) : ErrOkay;
	if (e != ErrOkay)
		return e;
	const char* end = mLineType == LineCrLf ? "\r\n" : mLineType == LineCr ? "\r" : "\n";
	return SequenceFile::Write(end, std::strlen(end), &done);
}

Error TextFile::Write(const char* text)
{
	if (!IsOpen() || !mTextOpen || (mTextMode != ModeWrite && mTextMode != ModeAppend))
		return ErrFileNotOpen;
	if (!text)
		text = "";
	bool tooLong = false;
	for (;;) {
		const char* lf = std::strchr(text, '\n');
		unsigned long len = lf ? static_cast<unsigned long>(lf - text) : std::strlen(text);
		Error e = writeLine(text, len, tooLong);
		if (e != ErrOkay)
			return e;
		if (!lf)
			break;
		text = lf + 1;
	}
	return tooLong ? ErrFileLineTooLong : ErrOkay;
}

Error TextFile::Write(const TString& text)
{
	return Write(text.String());
}

Error TextFile::WriteFmt(const char* format, ...)
{
	TString text;
	va_list ap;
	va_start(ap, format);
	text.FmtArg(format, ap);
	va_end(ap);
	return Write(text);
}

Error TextFile::WriteFile(const char* path, const char** lines)
{
	TextFile file;
	Error e = file.Open(path, ModeWrite, kLockWaitDefault);
	for (long i = 0; e == ErrOkay && lines && lines[i]; ++i)
		e = file.Write(lines[i]);
	Error c = file.IsOpen() ? file.Close() : ErrOkay;
	return e != ErrOkay ? e : c;
}

Error TextFile::WriteFile(const TString& path, const char** lines)
{
	return WriteFile(path.String(), lines);
}

Error TextFile::LineCount(const char* path, unsigned long* count)
{
	*count = 0;
	TextFile file;
	Error e = file.Open(path, ModeRead, kLockWaitDefault);
	TString line;
	while (e == ErrOkay) {
		e = file.Read(line);
		if (e == ErrOkay)
			++*count;
		else if (e == ErrFileLineTooLong)
			e = ErrOkay;  // the rest of the line follows and is counted then
	}
	if (e == ErrFileEnd)
		e = ErrOkay;
	Error c = file.IsOpen() ? file.Close() : ErrOkay;
	return e != ErrOkay ? e : c;
}

Error TextFile::LineCount(const TString& path, unsigned long* count)
{
	return LineCount(path.String(), count);
}

Error TextFile::TextSet()
{
	return IsOpen() ? ErrOkay : ErrFileNotOpen;
}

Error TextFile::EditorSet()
{
	return IsOpen() ? ErrOkay : ErrFileNotOpen;
}

// Makes a directory entry change (a rename) durable.
static void syncDir(const TString& dir)
{
	int fd = ::open(dir.Empty() ? "." : dir.String(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd >= 0) {
		::fsync(fd);
		::close(fd);
	}
}

Error TextFile::WriteReplace(const TString& path, const std::vector<TString>& lines, long long lockWait)
{
	static std::atomic<unsigned long> sTempCount{0};
	TString root, leaf;
	if (!PathMngr::SplitRootLeaf(path, root, leaf) || leaf.Empty())
		return ErrGmBadPath;

	// Hold the existing file while it is replaced, so that writers and lock-waiting readers
	// take turns.
	DiskFile guard;
	Error e = guard.Open(path, FileAccessRead, lockWait);
	bool keepPerm = e == ErrOkay;
	if (e == ErrFileNotFound)
		e = ErrOkay;
	if (e != ErrOkay)
		return e;
	unsigned short perm = 0;
	if (keepPerm)
		guard.PermGet(&perm);

	TString temp = root;
	TString tempLeaf;
	tempLeaf.AllowInvalidSet(true);  // file names are bytes
	tempLeaf.Fmt(".%s.%ld-%lu.tmp", leaf.String(), static_cast<long>(::getpid()), sTempCount.fetch_add(1) + 1);
	if (temp.Empty())
		temp = tempLeaf;
	else if (!PathMngr::Append(temp, tempLeaf))
		e = ErrGmBadPath;

	TextFile out;
	if (e == ErrOkay)
		e = out.Open(temp, ModeWrite, -1);
	bool created = e == ErrOkay;
	if (e == ErrOkay && keepPerm)
		e = out.PermSet(perm);
	// PermSet may narrow the access to what the bits allow; writing needs the owner bit.
	if (e == ErrOkay && keepPerm && !(perm & 0200))
		e = out.PermSet(static_cast<unsigned short>(perm | 0200));
	for (size_t i = 0; e == ErrOkay && i < lines.size(); ++i)
		e = out.Write(lines[i]);
	if (e == ErrOkay)
		e = out.Flush();
	if (e == ErrOkay && keepPerm && !(perm & 0200))
		e = out.PermSet(perm);
	Error c = out.IsOpen() ? out.Close() : ErrOkay;
	if (e == ErrOkay)
		e = c;
	if (e == ErrOkay && ::rename(temp.String(), path.String()) != 0)
		e = Err::StatusFile(errno);
	if (e == ErrOkay)
		syncDir(root);
	else if (created)
		::unlink(temp.String());
	if (guard.IsOpen())
		guard.Close();
	return e;
}
