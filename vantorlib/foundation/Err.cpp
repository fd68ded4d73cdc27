#include "Err.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "Assert.h"
#include "ErrImp.h"
#include "Language.h"
#include "Output.h"
#include "TString.h"

namespace {

// One row per Error value, in the order of the enumeration.
const LangData sRows[] = {
	{"ErrOkay", "", "Successful operation"},
	{"ErrAttrEnd", "", "End of attributes reached"},
	{"ErrAttrNotFound", "", "Attribute not found"},
	{"ErrAttrReadError", "", "Can’t read attribute"},
	{"ErrAttrWriteError", "", "Can’t write attribute"},
	{"ErrDirAccessDenied", "", "Directory access denied"},
	{"ErrDirAlreadyExists", "", "Directory already exists"},
	{"ErrDirAlreadyLocked", "", "Directory already locked"},
	{"ErrDirCreateError", "", "Can’t create directory"},
	{"ErrDirEnd", "", "End of directory reached"},
	{"ErrDirLocked", "", "Directory is locked"},
	{"ErrDirNotDirectory", "", "Not a directory"},
	{"ErrDirNotEmpty", "", "Directory contains files"},
	{"ErrDirNotFound", "", "Directory not found"},
	{"ErrDirNotLocked", "", "Directory not locked"},
	{"ErrDirNotOpen", "", "Directory not open"},
	{"ErrDirOpenError", "", "Can’t open directory"},
	{"ErrDirReadError", "", "Can’t read directory"},
	{"ErrDirRemoveError", "", "Can’t delete directory"},
	{"ErrDirRenameError", "", "Can’t rename directory"},
	{"ErrFileAccessDenied", "", "File access denied"},
	{"ErrFileAlreadyExists", "", "File already exists"},
	{"ErrFileAlreadyLocked", "", "File already locked"},
	{"ErrFileCreateError", "", "Can’t create file"},
	{"ErrFileEnd", "", "End of file reached"},
	{"ErrFileFull", "", "File is full"},
	{"ErrFileInvalidData", "", "File contents invalid"},
	{"ErrFileInvalidType", "", "File type invalid"},
	{"ErrFileLineTooLong", "", "Line longer than 2000 chars, file may contain binary data"},
	{"ErrFileLocked", "", "File is locked"},
	{"ErrFileNotFile", "", "Not a file"},
	{"ErrFileNotFound", "", "File not found"},
	{"ErrFileNotLocked", "", "File not locked"},
	{"ErrFileNotOpen", "", "File not open"},
	{"ErrFileOpenError", "", "Can’t open file"},
	{"ErrFilePositionError", "", "Can’t set file position"},
	{"ErrFileReadError", "", "Can’t read from file"},
	{"ErrFileRemoveError", "", "Can’t delete file"},
	{"ErrFileRenameError", "", "Can’t rename file"},
	{"ErrFileWriteError", "", "Can’t write to file"},
	{"ErrGmAccessDenied", "", "Access denied"},
	{"ErrGmAlreadyExists", "", "Item already exists"},
	{"ErrGmBadDescriptor", "", "Invalid descriptor"},
	{"ErrGmBadPath", "", "Invalid path"},
	{"ErrGmBusy", "", "Item is busy"},
	{"ErrGmCancelled", "", "Operation cancelled"},
	{"ErrGmCommandFailed", "", "Can’t complete command"},
	{"ErrGmFault", "", "Invalid address"},
	{"ErrGmFinderNotFound", "", "File manager not found"},
	{"ErrGmImageInvalid", "", "Image invalid"},
	{"ErrGmInterrupted", "", "Operation interrupted"},
	{"ErrGmLinkLoop", "", "Too many levels of symbolic links"},
	{"ErrNeedMoreData", "", "Need more data"},
	{"ErrGmNoHandlerApp", "", "Application to open item not found"},
	{"ErrGmNoMemory", "", "Out of memory"},
	{"ErrGmTimeout", "", "Timed out waiting for response"},
	{"ErrGmTooManyFiles", "", "Too many open files"},
	{"ErrGmWouldBlock", "", "Operation would block"},
	{"ErrMimeNotFound", "", "MIME type not found"},
	{"ErrMimeReadError", "", "Can’t read MIME type"},
	{"ErrMimeWriteError", "", "Can’t write MIME type"},
	{"ErrNetAddrInUse", "", "Network address already in use"},
	{"ErrNetAddrNotAvailable", "", "Network address not available"},
	{"ErrNetAlreadyConnected", "", "Already connected"},
	{"ErrNetConnectionClosed", "", "Connection has been closed"},
	{"ErrNetConnectionError", "", "Connection refused"},
	{"ErrNetCreateSocketError", "", "Can’t create network socket"},
	{"ErrNetDestroySocketError", "", "Can’t close network socket"},
	{"ErrNetHardwareError", "", "Network unreachable"},
	{"ErrNetNotAvailable", "", "TCP/IP network not available"},
	{"ErrNetNoData", "", "No network data available"},
	{"ErrNetReceiveError", "", "Can’t receive network data"},
	{"ErrNetTransmitError", "", "Can’t send network data"},
	{"ErrRsrcCreateError", "", "Can’t create resource"},
	{"ErrRsrcEnd", "", "End of resources reached"},
	{"ErrRsrcForkNotFound", "", "Resource fork not found"},
	{"ErrRsrcNotFound", "", "Resource not found"},
	{"ErrRsrcOpenError", "", "Can’t open resource fork"},
	{"ErrRsrcReadError", "", "Can’t read resource"},
	{"ErrRsrcWriteError", "", "Can’t write resource"},
	{"ErrTpcrNotFound", "", "File type and creator not found"},
	{"ErrTpcrReadError", "", "Can’t read file type and creator"},
	{"ErrTpcrWriteError", "", "Can’t write file type and creator"},
	{"ErrVolAccessDenied", "", "Volume access denied"},
	{"ErrVolFull", "", "Disk full"},
	{"ErrVolNotFound", "", "Volume not found"},
	{"ErrVolReadOnly", "", "Volume is read-only"},
	{"ErrErrorUnknown", "%ld", "Unknown error %1"},
	{"ErrErrorVague", "", "Unspecified error"},
	{nullptr, nullptr, nullptr},
};

static_assert(sizeof sRows / sizeof sRows[0] == kErrorCount + 1, "one text per Error value");

// Process-wide, not synchronised beyond atomicity: under concurrent failures the number shown
// may belong to another thread's failure.
std::atomic<long> sUnknown{0};

bool inRange(Error e)
{
	return static_cast<int>(e) >= 0 && static_cast<int>(e) < kErrorCount;
}

struct Pair {
	Error from, to;
};

Error mapWith(Error e, const Pair* pairs, size_t n)
{
	for (size_t i = 0; i < n; ++i)
		if (pairs[i].from == e)
			return pairs[i].to;
	return e;
}

AssertHandler sAssertPrevious = nullptr;
thread_local bool tReporting = false;

// Failed internal assertions go out as diagnostics, so that they reach the event log too.
void assertReport(const char* what, const char* file, int line)
{
	if (tReporting) {
		// The report itself failed an assertion: write the plain one-line report.
		std::fprintf(stderr, "Assertion failed: %s (%s:%d)\n", what ? what : "", file ? file : "?", line);
		return;
	}
	tReporting = true;
	Output::MsgFmt("Internal error: %s\nFile: %s, line %d", what ? what : "", file ? file : "", line);
	tReporting = false;
#ifndef NDEBUG
	std::abort();
#endif
}

}  // namespace

const LangSection Err::sSection = {"Error strings", LangSectionError, sRows};
bool Err::sStarted = false;

bool Err::Start()
{
	if (sStarted)
		return true;
	sStarted = Language::SectionAdd(&sSection);
	if (sStarted)
		sAssertPrevious = AssertHandlerSet(assertReport);
	return sStarted;
}

void Err::Stop()
{
	if (sStarted) {
		Language::SectionRemove(&sSection);
		AssertHandlerSet(sAssertPrevious);
		sAssertPrevious = nullptr;
	}
	sStarted = false;
}

const char* Err::Name(Error e)
{
	return inRange(e) ? sRows[e].key : sRows[ErrErrorUnknown].key;
}

const char* Err::English(Error e)
{
	return inRange(e) ? sRows[e].english : sRows[ErrErrorUnknown].english;
}

const char* Err::Str(TString& out, Error e)
{
	if (!inRange(e)) {
		UnknownSet(static_cast<long>(e));
		e = ErrErrorUnknown;
	}
	long code = sUnknown.load();
	if (!sStarted || !Language::String(sRows[e].key, out, false, code))
		Language::StringRaw(out, sRows[e].english, sRows[e].formats, code);
	return out.String();
}

const char* Err::AssertOkayStr(Error e)
{
	static TString sAssert;
	return Str(sAssert, e);
}

long Err::UnknownGet()
{
	return sUnknown.load();
}

void Err::UnknownSet(long code)
{
	sUnknown.store(static_cast<long>(static_cast<int32_t>(code)));
}

Error Err::Status(long c)
{
	switch (c) {
	case 0: return ErrOkay;
	case EPERM:
	case EACCES: return ErrGmAccessDenied;
	case ENOENT: return ErrFileNotFound;
	case EINTR: return ErrGmInterrupted;
	case EBADF: return ErrGmBadDescriptor;
	case ENOMEM:
	case ENOBUFS: return ErrGmNoMemory;
	case EFAULT: return ErrGmFault;
	case EBUSY: return ErrGmBusy;
	case EEXIST: return ErrFileAlreadyExists;
	case EXDEV: return ErrFileRenameError;
	case ENODEV: return ErrVolNotFound;
	case ENOTDIR: return ErrDirNotDirectory;
	case EISDIR: return ErrFileNotFile;
	case EINVAL:
	case ENOSYS: return ErrErrorVague;
	case EMFILE: return ErrGmTooManyFiles;
	case ENOSPC: return ErrVolFull;
	case ESPIPE: return ErrFileNotFound;
	case EROFS: return ErrVolReadOnly;
	case EPIPE:
	case ECONNABORTED:
	case ECONNRESET:
	case ENOTCONN:
	case ESHUTDOWN: return ErrNetConnectionClosed;
	case EAGAIN: return ErrGmWouldBlock;
	case EINPROGRESS: return ErrNetNoData;
	case EALREADY: return ErrGmAlreadyExists;
	case ENOTSOCK:
	case ENETDOWN:
	case ENETUNREACH:
	case EHOSTUNREACH: return ErrNetHardwareError;
	case EADDRINUSE: return ErrNetAddrInUse;
	case EADDRNOTAVAIL: return ErrNetAddrNotAvailable;
	case EISCONN: return ErrNetAlreadyConnected;
	case ETIMEDOUT: return ErrGmTimeout;
	case ECONNREFUSED:
	case EHOSTDOWN: return ErrNetConnectionError;
	case ELOOP: return ErrGmLinkLoop;
	case ENAMETOOLONG: return ErrGmBadPath;
	case ENOTEMPTY: return ErrDirNotEmpty;
	// Result codes of the desktop file manager, where such codes reach us.
	case -33:
	case -34: return ErrVolFull;
	case -35: return ErrVolNotFound;
	case -37: return ErrGmBadPath;
	case -39: return ErrFileEnd;
	case -42: return ErrGmTooManyFiles;
	case -43: return ErrFileNotFound;
	case -44:
	case -46: return ErrVolReadOnly;
	case -48: return ErrFileAlreadyExists;
	case -108: return ErrGmNoMemory;
	case -192: return ErrRsrcNotFound;
	case -194: return ErrRsrcWriteError;
	case -1417: return ErrFileEnd;
	case -5000: return ErrFileAccessDenied;
	case -5007: return ErrDirNotEmpty;
	case -5008: return ErrVolFull;
	case -5009: return ErrFileEnd;
	case -5017: return ErrFileAlreadyExists;
	case -5026: return ErrGmTooManyFiles;
	case -5029: return ErrDirNotFound;
	case -10814: return ErrGmNoHandlerApp;
	default: UnknownSet(c); return ErrErrorUnknown;
	}
}

Error Err::StatusFile(long c)
{
	return ToFile(Status(c));
}
Error Err::StatusDir(long c)
{
	return ToDir(ToFile(Status(c)));
}
Error Err::StatusNet(long c)
{
	return ToNet(Status(c));
}
Error Err::StatusVol(long c)
{
	return ToVol(ToFile(Status(c)));
}
Error Err::StatusRsrc(long c)
{
	return ToRsrc(ToFile(Status(c)));
}
Error Err::StatusTypeCreator(long c)
{
	return ToTypeCreator(ToFile(Status(c)));
}

Error Err::ToFile(Error e)
{
	static const Pair kPairs[] = {
		{ErrGmAccessDenied, ErrFileAccessDenied},
		{ErrGmAlreadyExists, ErrFileAlreadyExists},
		{ErrGmBusy, ErrFileLocked},
		{ErrGmWouldBlock, ErrFileLocked},
	};
	return mapWith(e, kPairs, std::size(kPairs));
}

Error Err::ToDir(Error e)
{
	static const Pair kPairs[] = {
		{ErrFileAccessDenied, ErrDirAccessDenied},
		{ErrFileAlreadyExists, ErrDirAlreadyExists},
		{ErrFileAlreadyLocked, ErrDirAlreadyLocked},
		{ErrFileCreateError, ErrDirCreateError},
		{ErrFileEnd, ErrDirEnd},
		{ErrFileLocked, ErrDirLocked},
		{ErrFileNotFound, ErrDirNotFound},
		{ErrFileNotLocked, ErrDirNotLocked},
		{ErrFileNotOpen, ErrDirNotOpen},
		{ErrFileOpenError, ErrDirOpenError},
		{ErrFileReadError, ErrDirReadError},
		{ErrFileRemoveError, ErrDirRemoveError},
		{ErrFileRenameError, ErrDirRenameError},
	};
	return mapWith(e, kPairs, std::size(kPairs));
}

Error Err::ToNet(Error e)
{
	static const Pair kPairs[] = {
		{ErrGmBadDescriptor, ErrNetHardwareError},
		{ErrGmAlreadyExists, ErrNetNoData},
		{ErrGmWouldBlock, ErrNetNoData},
		{ErrGmFault, ErrNetConnectionClosed},
	};
	return mapWith(e, kPairs, std::size(kPairs));
}

Error Err::ToVol(Error e)
{
	static const Pair kPairs[] = {
		{ErrFileAccessDenied, ErrVolAccessDenied},
		{ErrFileFull, ErrVolFull},
		{ErrFileNotFound, ErrVolNotFound},
	};
	return mapWith(e, kPairs, std::size(kPairs));
}

Error Err::ToRsrc(Error e)
{
	static const Pair kPairs[] = {
		{ErrFileCreateError, ErrRsrcCreateError},
		{ErrFileEnd, ErrRsrcEnd},
		{ErrFileNotFound, ErrRsrcNotFound},
		{ErrFileOpenError, ErrRsrcOpenError},
		{ErrFileReadError, ErrRsrcReadError},
		{ErrFileWriteError, ErrRsrcWriteError},
	};
	return mapWith(e, kPairs, std::size(kPairs));
}

Error Err::ToTypeCreator(Error e)
{
	static const Pair kPairs[] = {
		{ErrFileNotFound, ErrTpcrNotFound},
		{ErrFileReadError, ErrTpcrReadError},
		{ErrFileWriteError, ErrTpcrWriteError},
	};
	return mapWith(e, kPairs, std::size(kPairs));
}

bool Err::SignalEmpty(int signal)
{
	return ErrImp::SignalEmpty(signal);
}

int Err::SignalLast()
{
	return ErrImp::SignalLast();
}
