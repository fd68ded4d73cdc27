// Arbitrary bytes received as an article, then rendered in every mode and marked for a
// terminal: every chunk must be valid UTF-8 of bounded size, nothing may follow the finished
// call, the quote and link ranges must lie inside the text, and the terminal text must hold no
// control character but TAB and LF outside the escape sequences it writes itself.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "MessageFile.h"
#include "QuoteFinder.h"
#include "TermText.h"
#include "TimeFormat.h"
#include "UrlFinder.h"

namespace {

struct Seen {
	std::string text;
	bool done = false;
};

bool received(void* context, RenderText kind, const TString& chunk)
{
	Seen& s = *static_cast<Seen*>(context);
	if (s.done || !chunk.Valid() || chunk.ByteLength() > MessageBody::kRenderChunkMax)
		__builtin_trap();
	if (kind == RenderTextDone)
		s.done = true;
	s.text.append(chunk.String(), size_t(chunk.ByteLength()));
	return true;
}

void checkTerminal(const std::string& text)
{
	std::vector<QuoteFinder::Range> quotes;
	std::vector<UrlFinder::Link> links;
	QuoteFinder::Locate(text, quotes);
	UrlFinder::Locate(text, links);
	for (const auto& q : quotes)
		if (q.pos < 0 || q.len <= 0 || size_t(q.pos + q.len) > text.size() || q.depth < 1 ||
			q.depth > QuoteFinder::kDepthMax)
			__builtin_trap();
	long last = 0;
	for (const auto& l : links) {
		if (l.pos < last || l.len <= 0 || size_t(l.pos + l.len) > text.size() || l.target.Empty())
			__builtin_trap();
		last = l.pos + l.len;
	}
	std::string out;
	TermText::Colour(text, out);
	// Only the colour sequences written by Colour itself may hold ESC.
	for (size_t i = 0; i < out.size(); ++i) {
		unsigned char c = static_cast<unsigned char>(out[i]);
		if (c == 0x1b) {
			size_t m = out.find('m', i);
			if (m == std::string::npos || out.compare(i, 2, "\x1b[") != 0)
				__builtin_trap();
			for (size_t k = i + 2; k < m; ++k)
				if (!((out[k] >= '0' && out[k] <= '9') || out[k] == ';'))
					__builtin_trap();
			i = m;
		} else if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7f) {
			__builtin_trap();
		}
	}
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool started = TimeFormat::Start();
	static const std::string path = "/tmp/qf-render-fuzz-" + std::to_string(getpid()) + ".qmsg";
	if (!started)
		return 0;
	MessageFile file;
	if (file.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0) != ErrOkay)
		return 0;
	const char* p = reinterpret_cast<const char*>(data);
	size_t start = 0;
	for (size_t i = 0; i <= size; ++i) {
		if (i < size && p[i] != '\n')
			continue;
		TString line;
		line.AllowInvalidSet(true);
		line.AppendByte(p + start, long(i - start));
		start = i + 1;
		file.LineAppend(line);
	}
	file.DownloadClose(kCharsetNone);
	for (RenderMode mode : {RenderModeText, RenderModeHtml, RenderModeQuote, RenderModeRaw}) {
		Seen seen;
		MessageBody body;
		body.Render(TString(path.c_str()), mode, received, &seen);
		checkTerminal(seen.text);
		if (mode == RenderModeText) {
			std::string plain;
			TermText::FromHtml(seen.text, plain);
			checkTerminal(plain);
		}
	}
	std::remove(path.c_str());  // NOLINT(cert-err33-c): the next input writes it anew
	return 0;
}
