#include "Output.h"

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <string>

#include "Format.h"
#include "OutputImp.h"
#include "TString.h"

namespace {

std::atomic<Output::LogProc> sLogProc{nullptr};
std::atomic<Output::AlertProc> sAlertProc{nullptr};
std::atomic<FILE*> sStream{nullptr};
std::atomic<long> sColumns{0};

FILE* stream()
{
	FILE* f = sStream.load();
	return f ? f : stdout;
}

}  // namespace

void Output::RegisterLogProc(LogProc proc)
{
	sLogProc.store(proc);
}

void Output::StreamSet(FILE* stream)
{
	sStream.store(stream);
}

void Output::AlertProcSet(AlertProc proc)
{
	sAlertProc.store(proc);
}

long Output::ColumnsFrom(long width)
{
	return width < 40 || width > 300 ? 80 : width;
}

long Output::Columns()
{
	long c = sColumns.load();
	if (c == 0) {
		c = ColumnsFrom(OutputImp::TerminalWidth(fileno(stream())));
		sColumns.store(c);
	}
	return c;
}

// Every piece between line feeds, including an empty one after a final line feed, becomes one
// line of output and, when logged, one call of the log procedure. The lines of one message are
// written with one call so that messages of different threads do not interleave.
void Output::output(const char* text, bool logged, bool shown)
{
	std::string block;
	LogProc proc = logged ? sLogProc.load() : nullptr;
	const char* p = text ? text : "";
	for (;;) {
		const char* lf = std::strchr(p, '\n');
		size_t len = lf ? size_t(lf - p) : std::strlen(p);
		std::string line(p, len);
		block += line;
		block += '\n';
		if (proc)
			proc(line.c_str());
		if (!lf)
			break;
		p = lf + 1;
	}
	if (!shown)
		return;
	FILE* f = stream();
	// A diagnostic that cannot be written has nowhere else to go.
	(void)std::fwrite(block.data(), 1, block.size(), f);
	(void)std::fflush(f);
}

void Output::Log(const char* text)
{
	TString out;
	Format::Log(out, true, false, 2, Columns(), true, text);
	output(out.String(), true, false);
}

void Output::MsgEx(bool time, bool indentFirst, long indent, bool wrap, const char* text)
{
	TString out;
	Format::Log(out, time, indentFirst, indent, Columns(), wrap, text);
	output(out.String(), true);
}

void Output::MsgExFmt(bool time, bool indentFirst, long indent, bool wrap, const char* format, ...)
{
	TString out;
	va_list ap;
	va_start(ap, format);
	Format::LogFmtArg(out, time, indentFirst, indent, Columns(), wrap, format, ap);
	va_end(ap);
	output(out.String(), true);
}

void Output::Msg(const char* text)
{
	MsgEx(true, false, 2, true, text);
}

void Output::MsgFmt(const char* format, ...)
{
	TString out;
	va_list ap;
	va_start(ap, format);
	Format::LogFmtArg(out, true, false, 2, Columns(), true, format, ap);
	va_end(ap);
	output(out.String(), true);
}

void Output::MsgNext(const char* text)
{
	MsgEx(false, true, 2, true, text);
}

void Output::MsgNextFmt(const char* format, ...)
{
	TString out;
	va_list ap;
	va_start(ap, format);
	Format::LogFmtArg(out, false, true, 2, Columns(), true, format, ap);
	va_end(ap);
	output(out.String(), true);
}

void Output::Show(const char* text)
{
	TString out;
	Format::Log(out, false, false, 0, Columns(), true, text);
	output(out.String(), false);
}

void Output::ShowFmt(const char* format, ...)
{
	TString out;
	va_list ap;
	va_start(ap, format);
	Format::LogFmtArg(out, false, false, 0, Columns(), true, format, ap);
	va_end(ap);
	output(out.String(), false);
}

void Output::Show()
{
	output("", false);
}

void Output::Alert(const char* title, const char* text)
{
	AlertProc proc = sAlertProc.load();
	if (proc) {
		proc(title ? title : "", text ? text : "");
		return;
	}
	std::string msg = title ? title : "";
	msg += "\n";
	msg += text ? text : "";
	Msg(msg.c_str());
}
