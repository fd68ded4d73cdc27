#include "HeaderAttr.h"

#include "CSet.h"
#include "NetName.h"
#include "PathMngr.h"
#include "TimeCore.h"
#include "TimeFormat.h"
#include "YencSect.h"

namespace {

void setNone(TString& text)
{
	text.Erase();
	text.CharsetSet(kCharsetUTF8);
	text.AllowInvalidSet(false);
	text = "<None>";
}

// The bytes of a raw value tagged with another charset, invalid sequences allowed.
TString retag(const TString& raw, Charset cs)
{
	TString t;
	t.CharsetSet(cs);
	t.AllowInvalidSet(true);
	t.AppendByte(raw.String(), raw.ByteLength());
	return t;
}

}  // namespace

void HeaderAttr::Clear()
{
	HeaderList::Clear();
	mCharset = kCharsetNone;
	mContentEncoding = ContentEncoding8bit;
	mContentType = ContentTypeNone;
	mDate = -1;
	mLines = 1;
	mRefCount = -1;
	mRefs.clear();
	mData.Clear();
	mLeaf.Erase();
	mLeaf.CharsetSet(kCharsetUTF8);
	mLeaf.AllowInvalidSet(false);
	mLeaf.Erase();
}

void HeaderAttr::LeafSet(const TString& leaf)
{
	TString l = retag(leaf, kCharsetUTF8);
	if (!l.Valid())
		l.Clean();
	l.AllowInvalidSet(false);
	mLeaf = std::move(l);
}

// ---- charsets

Charset HeaderAttr::CharsetGet() const
{
	return mCharset == kCharsetNone ? kCharsetNone : CSet::MakeValid(mCharset);
}

Charset HeaderAttr::CharsetForceGet() const
{
	if (CSet::Valid(mData.charset) && CSet::Available(mData.charset))
		return mData.charset;
	return CSet::MakeValid(CharsetGet());
}

void HeaderAttr::CharsetSuggest(Charset cs)
{
	if (cs != kCharsetNone && mCharset == kCharsetNone && CSet::Available(cs))
		mData.charset = cs;
}

MsgSectEncoding HeaderAttr::ContentEncodingSect() const
{
	if (mContentEncoding == ContentEncodingBase64)
		return MsgSectBase64;
	if (mContentEncoding == ContentEncodingQuotedPrintable)
		return MsgSectQuotPrint;
	return MsgSectPlain;
}

void HeaderAttr::MessageDownloadSetFixup(int32_t v)
{
	if (mData.type == MessageTypeEmail || mData.state == MessageStateComplete ||
		mData.download == MessageDownloadFailed || mData.download == MessageDownloadComplete)
		return;
	if (v != MessageDownloadNone && v != MessageDownloadMarked)
		mData.download = MessageData::DownloadValid(v);
	else if ((mData.download == MessageDownloadMarked && v == MessageDownloadNone) ||
		(mData.download == MessageDownloadNone && v == MessageDownloadMarked))
		mData.download = MessageDownload(v);
}

// ---- decoding and encoding

void HeaderAttr::HeaderDecode(const char* name, TString& text) const
{
	TString raw;
	if (!HeaderGet(name, raw)) {
		setNone(text);
		return;
	}
	HeaderUtil::Decode(text, retag(raw, CharsetForceGet()));
}

void HeaderAttr::HeaderDecode(HeaderName name, TString& text) const
{
	const char* s = HeaderNameString(name);
	if (!s) {
		setNone(text);
		return;
	}
	HeaderDecode(s, text);
}

void HeaderAttr::HeaderEncode(const TString& name, const TString& text)
{
	TString value;
	HeaderUtil::Encode(value, text, CharsetForceGet());
	HeaderSet(name, value);
}

void HeaderAttr::HeaderEncode(HeaderName name, const TString& text)
{
	const char* s = HeaderNameString(name);
	if (s)
		HeaderEncode(TString(s), text);
}

// ---- attributes

void HeaderAttr::AttrSubject(TString& text) const
{
	HeaderDecode(kHeaderSubject, text);
}

void HeaderAttr::AttrAuthor(TString& name) const
{
	TString from, address;
	HeaderDecode(kHeaderFrom, from);
	ParseFrom(from, name, address);
}

void HeaderAttr::AttrEmail(TString& address) const
{
	TString from, name;
	HeaderDecode(kHeaderFrom, from);
	ParseFrom(from, name, address);
}

void HeaderAttr::AttrNewsgroupsTo(TString& text) const
{
	HeaderDecode(HeaderHas(kHeaderNewsgroups) ? kHeaderNewsgroups : kHeaderTo, text);
}

void HeaderAttr::AttrUserAgent(TString& text) const
{
	static const HeaderName kOrder[] = {
		kHeaderUserAgent, kHeaderXMailer, kHeaderXNewsreader, kHeaderXNewsposter};
	for (HeaderName h : kOrder) {
		TString raw;
		if (HeaderGet(h, raw)) {
			TString t = retag(raw, CharsetForceGet());
			if (!t.Valid())
				t.Clean();
			HeaderUtil::Decode(text, t);
			return;
		}
	}
	setNone(text);
}

void HeaderAttr::AttrMessageID(TString& text) const
{
	TString raw;
	HeaderGet(kHeaderMessageID, raw);
	TString t = retag(raw, kCharsetUTF8);
	if (!t.Valid())
		t.Clean();
	t.AllowInvalidSet(false);
	text = std::move(t);
}

void HeaderAttr::AttrFilename(TString& text) const
{
	TString raw;
	HeaderGet(kHeaderMessageID, raw);
	HeaderUtil::MessageFilename(text, raw);
}

long long HeaderAttr::AttrDate() const
{
	if (mDate >= 0)
		return mDate;
	TString raw;
	long long when = 0;
	if (HeaderGet(kHeaderDate, raw)) {
		unsigned long parts = 0;
		if (!TimeFormat::Parse(&when, raw, 0, -1, &parts, true) || when < 0)
			when = 0;
	}
	mDate = when;
	return when;
}

void HeaderAttr::AttrDate(TString& text) const
{
	text.Erase();
	text.CharsetSet(kCharsetUTF8);
	TimeFormat::DateTimeVal(text, AttrDate(), TimeCore::kBiasLocal, nullptr, false);
}

long HeaderAttr::RefCount() const
{
	if (mRefCount < 0) {
		TString raw;
		HeaderGet(kHeaderReferences, raw);
		mRefCount = int32_t(HeaderUtil::refList(raw, mRefs));
	}
	return mRefCount;
}

bool HeaderAttr::RefAt(long index, TString& id) const
{
	if (index < 0 || index >= RefCount()) {
		id.Erase();
		id.CharsetSet(kCharsetUTF8);
		id.Erase();
		return false;
	}
	id = mRefs[size_t(index)];
	return true;
}

void HeaderAttr::AttrMimeType(TString& type) const
{
	TString value, name;
	HeaderDecode(kHeaderContentType, value);
	type.Erase();
	type.CharsetSet(kCharsetUTF8);
	if (!HeaderHas(kHeaderContentType) || !HeaderUtil::ParseContentTypeAttachment(value, type, name))
		type.Erase();
}

void HeaderAttr::AttrAttachmentName(TString& name) const
{
	name.Erase();
	name.CharsetSet(kCharsetUTF8);
	name.Erase();
	TString value, type;
	if (HeaderHas(kHeaderContentType)) {
		HeaderDecode(kHeaderContentType, value);
		HeaderUtil::ParseContentTypeAttachment(value, type, name);
	}
	if (name.Empty() && HeaderHas(kHeaderContentDisposition)) {
		HeaderDecode(kHeaderContentDisposition, value);
		HeaderUtil::ParseContentDisposition(value, name);
	}
	if (!name.Valid())
		name.Clean();
	name.AllowInvalidSet(false);
}

long HeaderAttr::AttrAttachments(std::vector<MessageSect>& list) const
{
	list.clear();
	for (const MessageSect& s : Sections())
		if (s.TypeGet() == MsgSectAttachment)
			list.push_back(s);
	return long(list.size());
}

bool HeaderAttr::AttrPartialData(TString& id, long& number, long& total) const
{
	number = total = 0;
	id.CharsetSet(kCharsetISO8859_1);
	id.Erase();
	TString value;
	if (mContentType != ContentTypePartial || !HeaderGet(kHeaderContentType, value))
		return false;
	return HeaderUtil::ParseContentTypePartial(value, id, number, total);
}

bool HeaderAttr::AttrPartialFirst() const
{
	TString id;
	long number, total;
	return AttrPartialData(id, number, total) && number == 1;
}

bool HeaderAttr::AttrPartialSecondary() const
{
	TString id;
	long number, total;
	return AttrPartialData(id, number, total) && number > 1 && boundCount() == 0;
}

void HeaderAttr::AttrAttachmentPart(TString& base, long& number, long& total) const
{
	base.Erase();
	base.CharsetSet(kCharsetUTF8);
	base.Erase();
	number = total = 0;
	MessageSect sect;
	if ((mData.attach != MessageAttachFirst && mData.attach != MessageAttachSecondary) || !sectAttach(sect) ||
		sect.PartTotalGet() <= 1)
		return;
	// A message/partial message is matched by its id; any other MIME message (yEnc posts often
	// carry a MIME-Version) by its sender and subject, as a plain one is.
	TString id;
	if (AttrMimeMessage() && AttrPartialData(id, number, total)) {
		TString t = retag(id, kCharsetUTF8);
		if (!t.Valid())
			t.Clean();
		t.AllowInvalidSet(false);
		base = std::move(t);
		return;
	}
	number = sect.PartNumberGet();
	total = sect.PartTotalGet();
	TString from, subject, rest;
	long x, y;
	HeaderDecode(kHeaderFrom, from);
	AttrSubject(subject);
	HeaderUtil::PartXofY(subject, rest, x, y);
	base = from;
	base += " ";
	base += rest;
}

// ---- the From splitter

bool HeaderAttr::ParseFrom(const TString& text, TString& name, TString& address)
{
	auto finish = [&](TString n, TString a) {
		n.StripChar('\\');
		a.StripChar('\\');
		HeaderUtil::delimRemove(n);
		HeaderUtil::delimRemove(a);
		if (n.Empty())
			n = a;
		if (n.Empty())
			n = "<None>";
		if (a.Empty())
			a = "<None>";
		name = std::move(n);
		address = std::move(a);
	};
	TString t(text);
	t.Trim();
	if (t.Empty() || t == "<None>") {
		finish(TString(), TString());
		return false;
	}
	const char* s = t.String();
	long len = t.ByteLength();
	// The easy form: a name and an address, one of them in a delimiter pair at either end.
	long split = -1;
	char last = s[len - 1], first = s[0];
	if (HeaderUtil::delimOpen(last) && len >= 2) {
		char open = HeaderUtil::delimOpen(last);
		for (long q = len - 2; q >= 0; --q)
			if (s[q] == open) {
				split = q;
				break;
			}
	} else if (HeaderUtil::delimClose(first)) {
		char close = HeaderUtil::delimClose(first);
		for (long p = 1; p < len; ++p)
			if (s[p] == close) {
				split = p + 1;
				break;
			}
	}
	if (split >= 0) {
		TString one = t.SubstringByte(0, split), two = t.SubstringByte(split, len - split);
		HeaderUtil::delimRemove(one);
		HeaderUtil::delimRemove(two);
		TString found, n, a;
		if (NetName::EmailFind(two, found)) {
			n = one;
			a = found;
		} else if (NetName::EmailFind(one, found)) {
			n = two;
			a = found;
		} else if (one.FindPtr('@')) {
			a = one;
			n = two;
		} else if (two.FindPtr('@')) {
			a = two;
			n = one;
		} else {
			n = one.Empty() ? two : one;
		}
		if (!n.Empty() || !a.Empty()) {
			finish(n, a);
			return true;
		}
	}
	// The hard form: an address anywhere, the rest is the name.
	TString found;
	if (NetName::EmailFind(t, found)) {
		TString n(t);
		const char* at = n.FindPtr(found.String());
		if (at)
			n.EraseByte(long(at - n.String()), found.ByteLength());
		HeaderUtil::delimRemoveInternal(n);
		HeaderUtil::delimRemove(n);
		finish(n, found);
		return true;
	}
	// The punt: all of it is the name.
	TString n(t);
	HeaderUtil::delimRemove(n);
	finish(n, TString());
	return !n.Empty();
}

// ---- sections of binaries

bool HeaderAttr::sectAppendBin(MsgSectEncoding encoding, long offset, const TString& filename, bool complete)
{
	if (offset < 0 || offset > 0x7FFFFFFF)
		return false;
	TString name;
	name.CharsetSet(kCharsetUTF8);
	CSet::Convert(CharsetForceGet(), retag(filename, CharsetForceGet()), kCharsetUTF8, name);
	name.Trim();
	MessageSect sect;
	sect.TypeSet(MsgSectAttachment);
	sect.EncodingSet(encoding);
	sect.OffsetSet(int32_t(offset));
	if (complete) {
		if (name.Empty())
			return false;
		sect.FilenameSet(name);
		sect.PartSet(1, 1);
	} else {
		TString subject;
		long x = 0, y = 0;
		AttrSubject(subject);
		if (!HeaderUtil::PartXofY(subject, x, y))
			return false;
		if (x == 1)
			sect.FilenameSet(name);
		sect.PartSet(int32_t(x), int32_t(y));
	}
	return sectAppend(sect);
}

bool HeaderAttr::sectAppendUuencode(long offset, const TString& filename, bool complete)
{
	return sectAppendBin(MsgSectUuencode, offset, filename, complete);
}

bool HeaderAttr::sectAppendUuencodeSecondary(long offset)
{
	return sectAppendBin(MsgSectUuencode, offset, TString(), false);
}

bool HeaderAttr::sectAppendYenc(long offset, const TString& filename, const YencSect& yenc)
{
	if (!yenc.Valid())
		return false;
	return sectAppendBin(MsgSectYenc, offset, filename, yenc.SinglePart());
}

void HeaderAttr::attachUpdate()
{
	if (sectHasFirstPart())
		mData.attach = MessageAttachFirst;
	else if (sectHasAttachments())
		mData.attach = MessageAttachSecondary;
	else
		mData.attach = MessageAttachNone;
}

// ---- derived attributes

void HeaderAttr::dataFromHeaders()
{
	TString value;
	mLines = int32_t(HeaderGet(kHeaderLines, value) ? HeaderUtil::ParseLines(value) : 1);
	mContentEncoding = HeaderGet(kHeaderContentTransferEncoding, value)
		? HeaderUtil::ParseContentEncoding(value)
		: ContentEncoding8bit;
	mContentType = ContentTypeNone;
	mCharset = kCharsetNone;
	if (HeaderGet(kHeaderContentType, value)) {
		HeaderUtil::ParseContentType(value, mContentType, mCharset);
		TString boundary;
		if (mContentType == ContentTypeMultipart && HeaderUtil::ParseContentTypeMultipart(value, boundary))
			boundAdd(boundary);
	}
	if (HeaderGet(kHeaderQuillfernLeaf, value))
		LeafSet(value);
	if (HeaderGet(kHeaderQuillfernState, value))
		mesgSet(value);
	if (mData.type != MessageTypeEmail && mData.type != MessageTypeUsenet) {
		if (HeaderHas(kHeaderNewsgroups))
			mData.type = MessageTypeUsenet;
		else if (HeaderHas(kHeaderTo))
			mData.type = MessageTypeEmail;
	}
	mDate = -1;
	mRefCount = -1;
	mRefs.clear();
}
