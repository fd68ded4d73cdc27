#include "HeaderList.h"

#include "TextFile.h"

namespace {

const HeaderList::Info kInfo[] = {
	{"Content-Description", kHeaderContentDescription, 14, false},
	{"Content-Disposition", kHeaderContentDisposition, 13, false},
	{"Content-Transfer-Encoding", kHeaderContentTransferEncoding, 12, true},
	{"Content-Type", kHeaderContentType, 11, true},
	{"Date", kHeaderDate, 1, true},
	{"From", kHeaderFrom, 2, true},
	{"Lines", kHeaderLines, 8, true},
	{"Message-ID", kHeaderMessageID, 5, true},
	{"Mime-Version", kHeaderMimeVersion, 10, false},
	{"Newsgroups", kHeaderNewsgroups, 6, true},
	{"Organization", kHeaderOrganization, 9, false},
	{"X-Quillfern-Account", kHeaderQuillfernAccount, 21, false},
	{"X-Quillfern-Leaf", kHeaderQuillfernLeaf, 20, true},
	{"X-Quillfern-Section", kHeaderQuillfernSection, 17, false},
	{"X-Quillfern-State", kHeaderQuillfernState, 16, true},
	{"X-Program-URL", kHeaderProgramURL, 19, false},
	{"References", kHeaderReferences, 7, true},
	{"Subject", kHeaderSubject, 3, true},
	{"To", kHeaderTo, 4, true},
	{"User-Agent", kHeaderUserAgent, 15, true},
	{"X-Mailer", kHeaderXMailer, 22, true},
	{"X-Newsposter", kHeaderXNewsposter, 24, true},
	{"X-Newsreader", kHeaderXNewsreader, 23, true},
};
constexpr long kInfoCount = long(sizeof(kInfo) / sizeof(kInfo[0]));

TString rawText(const TString& s)
{
	TString t;
	t.CharsetSet(kCharsetISO8859_1);
	t.AppendByte(s.String(), s.ByteLength());
	return t;
}

}  // namespace

void HeaderList::Clear()
{
	mHeaders.clear();
	mBounds.clear();
	mSects.clear();
}

// ---- the table

const HeaderList::Info* HeaderList::infoFind(HeaderName name)
{
	for (const Info& i : kInfo)
		if (i.name == name)
			return &i;
	return nullptr;
}

const HeaderList::Info* HeaderList::infoFind(const char* spelling)
{
	if (!spelling)
		return nullptr;
	for (const Info& i : kInfo)
		if (Str::Cmp(i.spelling, spelling, false) == 0)
			return &i;
	return nullptr;
}

const HeaderList::Info* HeaderList::infoFind(const TString& spelling)
{
	return infoFind(spelling.String());
}

const HeaderList::Info* HeaderList::infoAt(long index)
{
	return (index >= 0 && index < kInfoCount) ? &kInfo[index] : nullptr;
}

long HeaderList::infoCount()
{
	return kInfoCount;
}

int HeaderList::infoSort(const TString& name)
{
	const Info* i = infoFind(name);
	return i ? i->sort : -1;
}

bool HeaderList::infoCustom(const TString& name)
{
	const Info* i = infoFind(name);
	return i &&
		(i->name == kHeaderQuillfernAccount || i->name == kHeaderQuillfernLeaf ||
			i->name == kHeaderQuillfernSection || i->name == kHeaderQuillfernState);
}

const char* HeaderList::HeaderNameString(HeaderName name)
{
	const Info* i = infoFind(name);
	return i ? i->spelling : nullptr;
}

// ---- headers

bool HeaderList::HeaderGet(const char* name, TString& value) const
{
	auto it = name ? mHeaders.find(name) : mHeaders.end();
	value.CharsetSet(kCharsetISO8859_1);
	if (it == mHeaders.end()) {
		value.Erase();
		return false;
	}
	value = it->second;
	return true;
}

bool HeaderList::HeaderGet(const TString& name, TString& value) const
{
	return HeaderGet(name.String(), value);
}

bool HeaderList::HeaderGet(HeaderName name, TString& value) const
{
	const char* s = HeaderNameString(name);
	if (!s) {
		value.CharsetSet(kCharsetISO8859_1);
		value.Erase();
		return false;
	}
	return HeaderGet(s, value);
}

bool HeaderList::HeaderHas(const char* name) const
{
	return name && mHeaders.find(name) != mHeaders.end();
}

bool HeaderList::HeaderHas(HeaderName name) const
{
	return HeaderHas(HeaderNameString(name));
}

bool HeaderList::HeaderSet(const TString& name, const TString& value)
{
	TString n = rawText(name), v = rawText(value);
	n.Trim();
	v.Trim();
	if (n.Empty())
		return false;
	auto it = mHeaders.find(n);
	if (it != mHeaders.end()) {
		it->second = std::move(v);
		return true;
	}
	if (mHeaders.size() >= kHeaderMax)
		return false;
	mHeaders.emplace(std::move(n), std::move(v));
	return true;
}

bool HeaderList::HeaderSet(const char* name, const TString& value)
{
	TString n;
	n.CharsetSet(kCharsetISO8859_1);
	n = name ? name : "";
	return HeaderSet(n, value);
}

bool HeaderList::HeaderSet(HeaderName name, const TString& value)
{
	const char* s = HeaderNameString(name);
	return s && HeaderSet(s, value);
}

bool HeaderList::HeaderDel(const char* name)
{
	auto it = name ? mHeaders.find(name) : mHeaders.end();
	if (it == mHeaders.end())
		return false;
	mHeaders.erase(it);
	return true;
}

bool HeaderList::HeaderDel(const TString& name)
{
	return HeaderDel(name.String());
}

bool HeaderList::HeaderDel(HeaderName name)
{
	return HeaderDel(HeaderNameString(name));
}

void HeaderList::RemoveNonDisplayHeaders()
{
	for (auto it = mHeaders.begin(); it != mHeaders.end();) {
		const Info* i = infoFind(it->first);
		if (!i || !i->keep)
			it = mHeaders.erase(it);
		else
			++it;
	}
	if (mHeaders.empty())
		HeaderSet(kHeaderSubject, TString("<None>"));
}

// ---- boundaries

bool HeaderList::boundValid(const TString& line)
{
	return line.ByteLength() >= 4 && line.ByteAt(0) == '-' && line.ByteAt(1) == '-';
}

void HeaderList::boundAdd(const TString& boundary)
{
	if (boundary.Empty() || mBounds.size() >= kBoundMax)
		return;
	mBounds.insert(rawText(boundary));
}

Error HeaderList::boundAddLine(const TString& line)
{
	if (line.ByteLength() < 3 || line.ByteAt(0) != '-' || line.ByteAt(1) != '-')
		return ErrFileInvalidData;
	boundAdd(line.SubstringByte(2, line.ByteLength() - 2));
	return ErrOkay;
}

void HeaderList::boundCopy(const HeaderList& other)
{
	for (const TString& b : other.mBounds)
		boundAdd(b);
}

bool HeaderList::boundFind(const TString& line, bool& isEnd) const
{
	isEnd = false;
	if (mBounds.empty() || !boundValid(line))
		return false;
	TString rest = rawText(line.SubstringByte(2, line.ByteLength() - 2));
	// Some posting software leaves white space after the boundary.
	rest.StripRight();
	if (mBounds.count(rest))
		return true;
	long n = rest.ByteLength();
	if (n >= 2 && rest.ByteAt(n - 1) == '-' && rest.ByteAt(n - 2) == '-') {
		rest.EraseByte(n - 2, 2);
		if (mBounds.count(rest)) {
			isEnd = true;
			return true;
		}
	}
	return false;
}

// ---- sections

bool HeaderList::sectAppend(const MessageSect& sect)
{
	if (!sect.Valid() || mSects.size() >= kSectMax)
		return false;
	mSects.push_back(sect);
	return true;
}

long HeaderList::sectText() const
{
	for (const MessageSect& s : mSects)
		if (s.TypeGet() == MsgSectText)
			return s.OffsetGet();
	return -1;
}

long HeaderList::sectHtml() const
{
	for (const MessageSect& s : mSects)
		if (s.TypeGet() == MsgSectHtml)
			return s.OffsetGet();
	return -1;
}

MsgSectEncoding HeaderList::sectEncoding(long offset) const
{
	for (const MessageSect& s : mSects)
		if (s.OffsetGet() == offset)
			return s.EncodingGet();
	return MsgSectEncNone;
}

bool HeaderList::sectAttach(MessageSect& sect) const
{
	for (const MessageSect& s : mSects) {
		if (s.TypeGet() == MsgSectAttachment) {
			sect = s;
			return true;
		}
	}
	sect.Clear();
	return false;
}

bool HeaderList::sectSecondary(MessageSect& sect) const
{
	for (const MessageSect& s : mSects) {
		if (s.TypeGet() == MsgSectAttachment && s.PartNumberGet() > 1) {
			sect = s;
			return true;
		}
	}
	sect.Clear();
	return false;
}

bool HeaderList::sectHasAttachments() const
{
	for (const MessageSect& s : mSects)
		if (s.TypeGet() == MsgSectAttachment)
			return true;
	return false;
}

bool HeaderList::sectHasFirstPart() const
{
	for (const MessageSect& s : mSects)
		if (s.TypeGet() == MsgSectAttachment && s.PartNumberGet() == 1)
			return true;
	return false;
}

bool HeaderList::sectHasNonMimeAttachments() const
{
	for (const MessageSect& s : mSects)
		if (s.TypeGet() == MsgSectAttachment &&
			(s.EncodingGet() == MsgSectUuencode || s.EncodingGet() == MsgSectYenc))
			return true;
	return false;
}

long HeaderList::sectFirstList(std::vector<MessageSect>& list) const
{
	list.clear();
	for (const MessageSect& s : mSects)
		if (s.TypeGet() == MsgSectAttachment && s.PartNumberGet() == 1)
			list.push_back(s);
	return long(list.size());
}

bool HeaderList::sectFirstAt(long index, MessageSect& sect) const
{
	std::vector<MessageSect> list;
	sectFirstList(list);
	if (index < 0 || index >= long(list.size())) {
		sect.Clear();
		return false;
	}
	sect = list[size_t(index)];
	return true;
}

Error HeaderList::sectWrite(TextFile& file) const
{
	return MessageSect::ListWrite(file, mSects);
}
