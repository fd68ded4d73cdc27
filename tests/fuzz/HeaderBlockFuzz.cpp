// Feeds arbitrary bytes as the header block of an arriving article, then reads every derived
// attribute and writes the block out again, as the download and display paths do.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "HeaderAttr.h"
#include "MessageHead.h"
#include "TimeFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool started = TimeFormat::Start();
	if (!started)
		return 0;
	MessageHead head;
	head.downloadOpen(MessageTypeUsenet);
	const char* p = reinterpret_cast<const char*>(data);
	size_t start = 0;
	for (size_t i = 0; i <= size; ++i) {
		if (i < size && p[i] != '\n' && p[i] != '\r')
			continue;
		TString line;
		line.CharsetSet(kCharsetISO8859_1);
		line.AppendByte(p + start, long(i - start));
		start = i + 1;
		if (line.IsWhite() && !line.Empty())
			break;
		head.headLineAppend(line);
	}
	head.downloadClose();
	TString t, u;
	head.AttrSubject(t);
	head.AttrAuthor(t);
	head.AttrEmail(t);
	head.AttrNewsgroupsTo(t);
	head.AttrUserAgent(t);
	head.AttrMimeType(t);
	head.AttrAttachmentName(t);
	head.AttrDate();
	long n = head.RefCount();
	for (long i = 0; i < n; ++i)
		head.RefAt(i, t);
	long x, y;
	head.AttrPartialData(t, x, y);
	head.AttrAttachmentPart(t, x, y);
	head.CharsetForceGet();
	std::vector<TString> lines;
	head.lineWrite(lines, nullptr);
	return 0;
}
