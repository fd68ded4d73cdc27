#include "TextFile.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

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
	case ModeRead: e = openFile(path, FileAccessRead, lockWait, false, nullptr); break;
	case ModeWrite: e = openFile(path, FileAccessReadWrite, lockWait, true, nullptr); break;
	case ModeAppend:
		e = openFile(path, FileAccessReadWrite, lockWait, false, nullptr);
		if (e == ErrFileNotFound)
			e = openFile(path, FileAccessReadWrite, lockWait, true, nullptr);
		if (e == ErrOkay)
			e = SequenceFile::PositionSet(0, FilePtrEnd);
		break;
	default: e = ErrFileOpenError; break;
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
	bool second = false;  // a different second one was absorbed
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

// The file that writing to path changes: a symbolic link is followed to its target (even a
// target that does not exist yet), so that the link stays and the target gets the new content.
static Error writeTarget(const TString& path, TString& target)
{
	target = path;
	for (int hops = 0; hops < 40; ++hops) {
		struct stat st;
		if (::lstat(target.String(), &st) != 0)
			return errno == ENOENT ? ErrOkay : Err::StatusFile(errno);
		if (!S_ISLNK(st.st_mode))
			return ErrOkay;
		char buf[4096];
		ssize_t n = ::readlink(target.String(), buf, sizeof buf - 1);
		if (n < 0)
			return Err::StatusFile(errno);
		buf[n] = 0;
		TString next;
		next.AllowInvalidSet(true);  // file names are bytes
		if (buf[0] == '/') {
			next.Assign(buf);
		} else {
			TString root, leaf;
			if (!PathMngr::SplitRootLeaf(target, root, leaf))
				return ErrGmBadPath;
			next = root;
			if (next.Empty())
				next.Assign(buf);
			else if (!PathMngr::Append(next, TString(buf)))
				return ErrGmBadPath;
		}
		target = next;
	}
	return Err::StatusFile(ELOOP);
}

Error TextFile::WriteReplace(
	const TString& path, const std::vector<TString>& lines, long long lockWait, long newPerm)
{
	static std::atomic<unsigned long> sTempCount{0};
	TString file;
	Error e = writeTarget(path, file);
	if (e != ErrOkay)
		return e;
	TString root, leaf;
	if (!PathMngr::SplitRootLeaf(file, root, leaf) || leaf.Empty())
		return ErrGmBadPath;

	// Hold the existing file while it is replaced, so that writers and lock-waiting readers
	// take turns.
	DiskFile guard;
	e = guard.Open(file, FileAccessRead, lockWait);
	bool exists = e == ErrOkay;
	if (e == ErrFileNotFound)
		e = ErrOkay;
	if (e != ErrOkay)
		return e;
	unsigned short perm = 0;
	if (exists) {
		guard.PermGet(&perm);
		// A file its owner may not write is left as it is, not replaced behind its back.
		if (!(perm & 0200)) {
			guard.Close();
			return ErrFileAccessDenied;
		}
	} else if (newPerm >= 0) {
		perm = static_cast<unsigned short>(newPerm);
	}
	bool permSet = exists || newPerm >= 0;

	TString temp = root;
	TString tempLeaf;
	tempLeaf.AllowInvalidSet(true);  // file names are bytes
	tempLeaf.Fmt(".%s.%ld-%lu%s", leaf.String(), static_cast<long>(::getpid()), sTempCount.fetch_add(1) + 1,
		kTempSuffix);
	if (temp.Empty())
		temp = tempLeaf;
	else if (!PathMngr::Append(temp, tempLeaf))
		e = ErrGmBadPath;

	TextFile out;
	if (e == ErrOkay)
		e = out.Open(temp, ModeWrite, -1);
	bool created = e == ErrOkay;
	if (e == ErrOkay && permSet)
		e = out.PermSet(perm);
	for (size_t i = 0; e == ErrOkay && i < lines.size(); ++i)
		e = out.Write(lines[i]);
	if (e == ErrOkay)
		e = out.Flush();
	Error c = out.IsOpen() ? out.Close() : ErrOkay;
	if (e == ErrOkay)
		e = c;
	if (e == ErrOkay && ::rename(temp.String(), file.String()) != 0)
		e = Err::StatusFile(errno);
	if (e == ErrOkay)
		syncDir(root);
	else if (created)
		::unlink(temp.String());
	if (guard.IsOpen())
		guard.Close();
	return e;
}

// A temporary file of WriteReplace: ".LEAF.PID-N.tmp".
static bool tempName(const char* name, long& pid)
{
	size_t len = std::strlen(name);
	size_t suffix = std::strlen(TextFile::kTempSuffix);
	if (len < suffix + 4 || name[0] != '.' || std::strcmp(name + len - suffix, TextFile::kTempSuffix) != 0)
		return false;
	std::string body(name + 1, len - 1 - suffix);
	size_t dash = body.rfind('-');
	size_t dot = dash == std::string::npos ? std::string::npos : body.rfind('.', dash);
	if (dot == std::string::npos || dot == 0)
		return false;
	std::string pidText = body.substr(dot + 1, dash - dot - 1);
	std::string count = body.substr(dash + 1);
	if (pidText.empty() || count.empty() || pidText.size() > 10 ||
		pidText.find_first_not_of("0123456789") != std::string::npos ||
		count.find_first_not_of("0123456789") != std::string::npos)
		return false;
	pid = std::strtol(pidText.c_str(), nullptr, 10);  // digits only, at most ten: checked above
	return pid > 0;
}

long TextFile::TempSweep(const TString& dir)
{
	long removed = 0;
	DIR* d = ::opendir(dir.Empty() ? "." : dir.String());
	if (!d)
		return 0;
	while (struct dirent* ent = ::readdir(d)) {
		long pid = 0;
		if (!tempName(ent->d_name, pid))
			continue;
		// Only the files of writers that are gone; a live process may be writing its own.
		if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
			continue;
		std::string full = std::string(dir.Empty() ? "." : dir.String()) + "/" + ent->d_name;
		struct stat st;
		if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(full.c_str()) == 0)
			++removed;
	}
	::closedir(d);
	return removed;
}
