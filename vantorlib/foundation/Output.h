// The diagnostic channel: messages with an optional time stamp, word-wrapped to the terminal
// width, written to standard output and handed line by line to the registered log procedure.
#pragma once

#include <cstdio>

class Output {
public:
	using LogProc = void (*)(const char* line);
	using AlertProc = void (*)(const char* title, const char* text);

	// Time stamp, continuation lines indented by 2, wrapped, logged.
	static void Msg(const char* text);
	static void MsgFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
	// No time stamp, every line indented by 2, wrapped, logged.
	static void MsgNext(const char* text);
	static void MsgNextFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
	// Everything as given; logged.
	static void MsgEx(bool time, bool indentFirst, long indent, bool wrap, const char* text);
	static void MsgExFmt(bool time, bool indentFirst, long indent, bool wrap, const char* format, ...)
		__attribute__((format(printf, 5, 6)));
	// Time stamp, continuation lines indented by 2, wrapped, logged only: for records such as
	// start and stop that a person running a command need not see.
	static void Log(const char* text);
	// No time stamp, no indent, wrapped, not logged.
	static void Show(const char* text);
	static void ShowFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
	// One empty line, not logged.
	static void Show();

	// Sets, or with null clears, the procedure that receives every logged line.
	static void RegisterLogProc(LogProc proc);

	// The stream the messages go to: standard output unless set otherwise (a command whose
	// standard output carries results sends its diagnostics to standard error).
	static void StreamSet(FILE* stream);

	// Shows an alert (a title and a text) through the registered alert procedure; without one
	// the alert is written as a logged message.
	static void Alert(const char* title, const char* text);
	static void AlertProcSet(AlertProc proc);

	// The width that messages are wrapped to: the terminal width, computed once.
	static long Columns();
	// The rule behind Columns(): unknown (below 1), below 40 or above 300 columns give 80.
	static long ColumnsFrom(long terminalWidth);

private:
	static void output(const char* text, bool logged, bool shown = true);
};
