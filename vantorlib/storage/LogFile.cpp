#include "LogFile.h"

#include <sys/stat.h>

#include "CritSect.h"
#include "CritSectLock.h"
#include "Err.h"
#include "FileBase.h"
#include "FileMngr.h"
#include "Output.h"
#include "TString.h"
#include "TextFile.h"

namespace {

// Created once and never destroyed, so that a message written while the process ends still
// finds a valid (closed or open) file.
struct Log {
	CritSect lock;
	TextFile file;
};

Log& log()
{
	static Log* l = new Log;
	return *l;
}

}  // namespace

void LogFile::BackupPath(const TString& path, TString& backup)
{
	std::string p = path.String();
	size_t slash = p.find_last_of('/');
	size_t leaf = slash == std::string::npos ? 0 : slash + 1;
	size_t dot = p.find_last_of('.');
	// No extension when the leaf has no ".", starts with its only "." or ends in ".".
	if (dot == std::string::npos || dot <= leaf || dot + 1 == p.size())
		dot = p.size();
	p.insert(dot, "Previous");
	backup.Erase();
	backup.Assign(p.c_str());
}

bool LogFile::Start(const TString& path)
{
	Stop();
	Log& l = log();
	struct stat st;
	Error e = FileBase::Stat(path, &st, true);
	if (e == ErrOkay && static_cast<unsigned long long>(st.st_size) >= kRotateSize) {
		TString backup;
		BackupPath(path, backup);
		Error r = FileMngr::Remove(backup);
		if (r == ErrOkay || r == ErrFileNotFound)
			FileMngr::Rename(path, backup);
	}
	{
		CritSectLock guard(l.lock);
		// No exclusive lock is held while the log is open: several processes of the same user
		// may log to the same file, each line going to the end with one write.
		e = l.file.Open(path, TextFile::ModeAppend, -1);
		if (e == ErrOkay)
			l.file.TextSet();
	}
	if (e != ErrOkay) {
		TString err;
		Output::MsgFmt("Could not open log file: %s\nPath: %s", Err::Str(err, e), path.String());
		return false;
	}
	Output::RegisterLogProc(lineProc);
	return true;
}

void LogFile::Stop()
{
	Output::RegisterLogProc(nullptr);
	Log& l = log();
	CritSectLock guard(l.lock);
	if (l.file.IsOpen())
		l.file.Close();
}

bool LogFile::Active()
{
	Log& l = log();
	CritSectLock guard(l.lock);
	return l.file.IsOpen();
}

void LogFile::lineProc(const char* line)
{
	Log& l = log();
	CritSectLock guard(l.lock);
	if (!l.file.IsOpen())
		return;
	// Position at the end (another process may have written meanwhile), write the line, and
	// move the buffered bytes out at once so that nothing is lost if the process dies.
	Error e = l.file.PositionSet(0, FilePtrEnd);
	if (e == ErrOkay) {
		// A line over the text line limit is cut and written; that is no reason to stop.
		e = l.file.Write(line ? line : "");
		if (e == ErrFileLineTooLong)
			e = ErrOkay;
	}
	if (e == ErrOkay)
		e = l.file.PositionSet(0, FilePtrEnd);
	if (e != ErrOkay)
		l.file.Close();
}
