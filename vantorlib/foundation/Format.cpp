#include "Format.h"

#include <cstdio>

#include "TString.h"
#include "TimeCore.h"
#include "WordWrap.h"

void Format::TimeStamp(TString& out)
{
	Time t;
	out.Erase();
	if (!TimeCore::ToTime(t, TimeCore::TimeGet(), TimeCore::kBiasLocal))
		return;
	out.Fmt("%04d/%02d/%02d %02d:%02d:%02d", int(t.year), int(t.month), int(t.day), int(t.hour),
		int(t.minute), int(t.second));
}

const char* Format::Log(
	TString& out, bool time, bool indentFirst, long indent, long columns, bool wrap, const char* text)
{
	TString laid;
	laid.AllowInvalidSet(true);
	if (time) {
		TimeStamp(laid);
		laid.Append("  ");
	}
	laid.Append(text ? text : "");
	out.Erase();
	out.AllowInvalidSet(true);
	if (wrap) {
		WordWrap::Wrap(laid, out, indentFirst, indent, columns, true, true);
	} else {
		if (indentFirst && indent > 0)
			out.Append(' ', indent);
		laid.ReplaceAll('\n', ' ');
		out.Append(laid);
	}
	return out.String();
}

const char* Format::LogFmtArg(TString& out, bool time, bool indentFirst, long indent, long columns, bool wrap,
	const char* format, va_list ap)
{
	TString text;
	text.AllowInvalidSet(true);
	text.FmtArg(format, ap);
	return Log(out, time, indentFirst, indent, columns, wrap, text.String());
}

const char* Format::LogFmt(
	TString& out, bool time, bool indentFirst, long indent, long columns, bool wrap, const char* format, ...)
{
	va_list ap;
	va_start(ap, format);
	LogFmtArg(out, time, indentFirst, indent, columns, wrap, format, ap);
	va_end(ap);
	return out.String();
}
