// The layout shared by every diagnostic message: time stamp prefix and wrapping.
#pragma once

#include <cstdarg>

class TString;

class Format {
public:
	// out = optional time stamp ("2009/03/25 14:05:09" and two spaces) + text, then wrapped to
	// columns with the indent (hard line breaks kept, long words split); without wrap the text
	// becomes one line, indented when indentFirst is set.
	static const char* Log(
		TString& out, bool time, bool indentFirst, long indent, long columns, bool wrap, const char* text);
	static const char* LogFmt(TString& out, bool time, bool indentFirst, long indent, long columns, bool wrap,
		const char* format, ...) __attribute__((format(printf, 7, 8)));
	static const char* LogFmtArg(TString& out, bool time, bool indentFirst, long indent, long columns,
		bool wrap, const char* format, va_list ap) __attribute__((format(printf, 7, 0)));

	// The local time now as "%y1/%n1/%d1 %h3:%m1:%s1".
	static void TimeStamp(TString& out);
};
