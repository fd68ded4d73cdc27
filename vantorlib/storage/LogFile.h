// The event log: every logged Output line is appended to a text file. At start a log of
// 100 KiB or more is moved aside to "<Name>Previous.<ext>", so one older generation is kept.
#pragma once

class TString;

class LogFile {
public:
	static constexpr unsigned long long kRotateSize = 102400;

	// Opens (creating) the log in append mode and registers it as Output's log procedure;
	// true when logging is active.
	static bool Start(const TString& path);
	static void Stop();
	static bool Active();

	// "dir/Name.ext" becomes "dir/NamePrevious.ext".
	static void BackupPath(const TString& path, TString& backup);

private:
	static void lineProc(const char* line);
};
