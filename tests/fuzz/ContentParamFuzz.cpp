// Arbitrary MIME header values, subjects, From values and lists through every parser of
// header values.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "HeaderAttr.h"
#include "HeaderUtil.h"
#include "MessageSect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	TString value;
	value.CharsetSet(kCharsetISO8859_1);
	value.AppendByte(reinterpret_cast<const char*>(data), long(size));
	ContentType type;
	Charset cs;
	TString a, b;
	long x, y;
	HeaderUtil::ParseContentType(value, type, cs);
	HeaderUtil::ParseContentTypeMultipart(value, a);
	HeaderUtil::ParseContentTypeAttachment(value, a, b);
	HeaderUtil::ParseContentTypePartial(value, a, x, y);
	HeaderUtil::ParseContentDisposition(value, a);
	HeaderUtil::ParseContentEncoding(value);
	HeaderUtil::ParseLines(value);
	HeaderUtil::PartXofY(value, a, x, y);
	NewsgroupSet groups;
	HeaderUtil::ParseNewsgroups(value, groups);
	std::vector<TString> refs;
	HeaderUtil::refList(value, refs);
	HeaderUtil::CreateReferences(a, value, value);
	TString decoded;
	HeaderUtil::Decode(decoded, value);
	HeaderAttr::ParseFrom(decoded, a, b);
	MessageSect sect;
	if (sect.LineParse(value)) {
		sect.lineFormatValue(a);
		MessageSect back;
		if (!back.LineParse(a) || !(back == sect))
			__builtin_trap();
	}
	return 0;
}
