#include "MessageData.h"

#include "CSet.h"
#include "TString.h"

MessageType MessageData::TypeValid(int32_t v)
{
	return (v == 'U' || v == 'E') ? MessageType(v) : MessageTypeUnknown;
}

MessageState MessageData::StateValid(int32_t v)
{
	return (v == 'H' || v == 'C') ? MessageState(v) : MessageStateUnknown;
}

MessageAttach MessageData::AttachValid(int32_t v)
{
	return (v == 'N' || v == 'A' || v == 'S') ? MessageAttach(v) : MessageAttachUnknown;
}

MessageRead MessageData::ReadValid(int32_t v)
{
	return (v == 'U' || v == 'R') ? MessageRead(v) : MessageReadUnknown;
}

MessageDownload MessageData::DownloadValid(int32_t v)
{
	return (v == 'N' || v == 'R' || v == 'C' || v == 'F') ? MessageDownload(v) : MessageDownloadUnknown;
}

void MessageData::ToString(const MessageData& data, TString& text, const TString* base)
{
	char s[11];
	for (int i = 0; i < 10; ++i) {
		char c = 'x';
		// Only printable ASCII is carried over, so the value stays exactly 10 bytes.
		if (base && i < base->ByteLength()) {
			char b = base->ByteAt(i);
			if (b > ' ' && b < 0x7F)
				c = b;
		}
		s[i] = c;
	}
	s[0] = char(TypeValid(data.type));
	s[1] = char(StateValid(data.state));
	s[2] = char(AttachValid(data.attach));
	s[3] = char(ReadValid(data.read));
	s[4] = char(DownloadValid(data.download));
	s[5] = CSet::CharString(data.charset);
	s[10] = 0;
	text.CharsetSet(kCharsetISO8859_1);
	text = s;
}

void MessageData::FromString(MessageData& data, const TString& text)
{
	long n = text.ByteLength();
	data.type = TypeValid(n > 0 ? text.ByteAt(0) : 'x');
	data.state = StateValid(n > 1 ? text.ByteAt(1) : 'x');
	data.attach = AttachValid(n > 2 ? text.ByteAt(2) : 'x');
	data.read = ReadValid(n > 3 ? text.ByteAt(3) : 'x');
	data.download = DownloadValid(n > 4 ? text.ByteAt(4) : 'x');
	data.charset = n > 5 ? CSet::CharValue(text.ByteAt(5)) : kCharsetNone;
}
