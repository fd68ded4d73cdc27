#include "HeadersNode.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CSet.h"
#include "Killfile.h"
#include "Language.h"
#include "Unicode.h"

namespace {

const LangData kRows[] = {
	{"HeaderNodeAttachNone", "", "N"},
	{"HeaderNodeAttachPrimary", "", "A"},
	{"HeaderNodeAttachSecondary", "", "S"},
	{nullptr, nullptr, nullptr},
};
const LangSection kSection = {"HeaderNode", LangSectionHeadersView, kRows};
bool sStarted = false;

const TString& blank()
{
	static const TString empty;
	return empty;
}

const TString& textOf(const HeadersNode::Text& t)
{
	return t ? *t : blank();
}

// A header attribute as valid UTF-8: text that is not becomes its ASCII rendering.
TString utf8(const TString& t)
{
	if (t.CharsetGet() == kCharsetUTF8 && t.Valid())
		return t;
	TString bytes;
	bytes.CharsetSet(kCharsetISO8859_1);
	bytes.AssignByte(t.String(), t.ByteLength());
	bytes.ToAscii();
	TString out;
	out.Assign(bytes.String());
	return out;
}

// One record line: the value with line breaks made spaces, so that a value can never split
// into two lines and shift every field after it.
void putLine(std::string& out, const TString& value)
{
	size_t at = out.size();
	out.append(value.String(), static_cast<size_t>(value.ByteLength()));
	for (size_t i = at; i < out.size(); ++i)
		if (out[i] == '\n' || out[i] == '\r')
			out[i] = ' ';
	out += '\n';
}

// A decimal number as strtoll reads it, over the whole text; false (and 0) otherwise.
bool number(std::string_view s, long long& value)
{
	value = 0;
	if (s.empty())
		return false;
	if (s[0] == '-' || (s[0] >= '0' && s[0] <= '9')) {
		long long v = 0;
		auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
		if (ec != std::errc() || end != s.data() + s.size())
			return false;
		value = v;
		return true;
	}
	// Leading blanks or a plus sign: the C library's reading.
	std::string copy(s);
	errno = 0;
	char* end = nullptr;
	long long v = std::strtoll(copy.c_str(), &end, 10);
	if (errno != 0 || end == copy.c_str() || *end != '\0')
		return false;
	value = v;
	return true;
}

int32_t number32(std::string_view s)
{
	long long v = 0;
	if (!number(s, v) || v < INT32_MIN || v > INT32_MAX)
		return 0;
	return static_cast<int32_t>(v);
}

bool ascii(const char* p, size_t n)
{
	size_t i = 0;
	for (; i + 8 <= n; i += 8) {
		uint64_t w;
		std::memcpy(&w, p + i, 8);
		if (w & 0x8080808080808080ULL)
			return false;
	}
	for (; i < n; ++i)
		if (static_cast<unsigned char>(p[i]) >= 0x80)
			return false;
	return true;
}

// A record line as a text field: absent when empty or not valid UTF-8.
void textLine(HeadersNode::Text& field, std::string_view line)
{
	long n = static_cast<long>(line.size());
	long bytes = 0, chars = 0;
	if (n == 0 ||
		(!ascii(line.data(), line.size()) &&
			(!Unicode::Validate(line.data(), n, n, &bytes, &chars) || bytes != n))) {
		field.reset();
		return;
	}
	if (!field)
		field.emplace();
	field->AssignByte(line.data(), n);
}

int sign(long long d)
{
	return d < 0 ? -1 : d > 0 ? 1 : 0;
}

int attachRank(MessageAttach a)
{
	switch (a) {
	case MessageAttachFirst: return 1;
	case MessageAttachSecondary: return 2;
	case MessageAttachNone: return 3;
	default: return 6;
	}
}

}  // namespace

bool HeadersNode::Start()
{
	if (!sStarted)
		sStarted = Language::SectionAdd(&kSection);
	return sStarted;
}

void HeadersNode::Stop()
{
	if (sStarted)
		Language::SectionRemove(&kSection);
	sStarted = false;
}

HeadersNode::~HeadersNode()
{
	for (const auto& child : fChildList)
		if (child->fParent == this)
			child->fParent = nullptr;
}

void HeadersNode::charsetSet(int32_t charset)
{
	fCharset = charset;
	fCharsetStr = CSet::String(static_cast<Charset>(charset));
}

// ---- construction ----

HeadersNodePtr HeadersNode::initWithHeader(const HeaderAttr& header)
{
	auto node = std::make_shared<HeadersNode>();
	TString t;
	header.AttrMessageID(t);
	node->fMsgID = utf8(t);
	node->charsetSet(header.CharsetForceGet());
	node->fDateTime = header.AttrDate();
	node->fLines = static_cast<int32_t>(header.LinesGet());
	header.AttrMessageData(node->fData);
	header.AttrAuthor(t);
	node->fAuthor = utf8(t);
	header.AttrEmail(t);
	node->fEmail = utf8(t);
	header.AttrNewsgroupsTo(t);
	node->fNewsgroupsTo = utf8(t);
	if (!header.LeafGet().Empty())
		t = header.LeafGet();
	else
		header.AttrFilename(t);
	node->fFilename = utf8(t);
	header.AttrSubject(t);
	node->fSubject = utf8(t);
	header.AttrUserAgent(t);
	node->fUserAgent = utf8(t);
	long number = 0, total = 0;
	header.AttrAttachmentPart(t, number, total);
	node->fAttachID = utf8(t);
	node->fPartNumber = static_cast<int32_t>(number);
	node->fPartTotal = static_cast<int32_t>(total);
	for (long i = 0, n = header.RefCount(); i < n; ++i) {
		if (header.RefAt(i, t) && !t.Empty())
			node->fRefList.push_back(utf8(t));
	}
	return node;
}

HeadersNodePtr HeadersNode::initWithMsgID(const TString& msgid, const TString& record)
{
	auto node = std::make_shared<HeadersNode>();
	node->fMsgID = msgid;
	node->updateWithString(record);
	if (!node->fAuthor || !node->fFilename || !node->fSubject || !node->fUserAgent)
		return nullptr;
	return node;
}

HeadersNodePtr HeadersNode::initWithMsgID(std::string_view msgid, std::string_view record)
{
	auto node = std::make_shared<HeadersNode>();
	long n = static_cast<long>(msgid.size()), bytes = 0, chars = 0;
	if (!ascii(msgid.data(), msgid.size()) &&
		(!Unicode::Validate(msgid.data(), n, n, &bytes, &chars) || bytes != n))
		node->fMsgID.AllowInvalidSet(true);
	node->fMsgID.AssignByte(msgid.data(), n);
	node->updateWithText(record);
	if (!node->fAuthor || !node->fFilename || !node->fSubject || !node->fUserAgent)
		return nullptr;
	return node;
}

HeadersNodePtr HeadersNode::initWithMsgID(const TString& msgid)
{
	auto node = std::make_shared<HeadersNode>();
	node->fMsgID = msgid;
	return node;
}

HeadersNodePtr HeadersNode::initWithAttachID(const TString& attachID, long partNumber, long partTotal)
{
	auto node = std::make_shared<HeadersNode>();
	node->fAttachID = attachID;
	node->fPartNumber = static_cast<int32_t>(partNumber);
	node->fPartTotal = static_cast<int32_t>(partTotal);
	return node;
}

// ---- record text ----

void HeadersNode::stringWrite(TString& out) const
{
	std::string r;
	TString state;
	MessageData::ToString(fData, state);
	putLine(r, state);
	r += CSet::String(static_cast<Charset>(fCharset));
	r += '\n';
	char num[64];
	std::snprintf(
		num, sizeof num, "%lld\n%ld\n", static_cast<long long>(fDateTime), static_cast<long>(fLines));
	r += num;
	for (const Text* t : {&fAuthor, &fEmail, &fFilename, &fNewsgroupsTo, &fSubject, &fUserAgent, &fAttachID})
		putLine(r, textOf(*t));
	std::snprintf(
		num, sizeof num, "%ld/%ld\n", static_cast<long>(fPartNumber), static_cast<long>(fPartTotal));
	r += num;
	for (const TString& ref : fRefList) {
		// An empty line would end the references early.
		if (!ref.Empty())
			putLine(r, ref);
	}
	out.CharsetSet(kCharsetUTF8);
	out.AllowInvalidSet(true);
	out.AssignByte(r.data(), static_cast<long>(r.size()));
}

void HeadersNode::updateWithString(const TString& text)
{
	updateWithText(std::string_view(text.String(), static_cast<size_t>(text.ByteLength())));
}

void HeadersNode::updateWithText(std::string_view text)
{
	// Line splitting stops at a zero byte.
	const char* p = text.data();
	const char* end = p + text.size();
	if (const void* nul = std::memchr(p, 0, text.size()))
		end = static_cast<const char*>(nul);
	// Each call gives the next line without its line end; an empty view past the end.
	auto next = [&p, end]() -> std::string_view {
		if (p >= end)
			return std::string_view();
		const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
		const char* stop = lf ? lf : end;
		std::string_view line(p, static_cast<size_t>(stop - p));
		p = lf ? lf + 1 : end;
		if (!line.empty() && line.back() == '\r')
			line.remove_suffix(1);
		return line;
	};

	std::string_view state = next();
	auto letter = [&state](size_t i) -> int32_t { return i < state.size() ? state[i] : 'x'; };
	fData.type = MessageData::TypeValid(letter(0));
	fData.state = MessageData::StateValid(letter(1));
	fData.attach = MessageData::AttachValid(letter(2));
	fData.read = MessageData::ReadValid(letter(3));
	fData.download = MessageData::DownloadValid(letter(4));
	fData.charset = state.size() > 5 ? CSet::CharValue(state[5]) : kCharsetNone;
	std::string_view cs = next();
	char name[64] = "";
	if (!cs.empty() && cs.size() < sizeof name)  // an empty view may hold no pointer at all
		std::memcpy(name, cs.data(), cs.size()), name[cs.size()] = 0;
	charsetSet(CSet::Value(name));
	long long date = 0;
	number(next(), date);
	fDateTime = date;
	fLines = number32(next());
	textLine(fAuthor, next());
	textLine(fEmail, next());
	textLine(fFilename, next());
	textLine(fNewsgroupsTo, next());
	textLine(fSubject, next());
	textLine(fUserAgent, next());
	textLine(fAttachID, next());
	std::string_view parts = next();
	size_t slash = parts.find('/');
	fPartNumber = number32(parts.substr(0, slash));
	fPartTotal = slash == std::string_view::npos ? 0 : number32(parts.substr(slash + 1));
	fRefList.clear();
	// One allocation for the list: at most one reference per line left.
	size_t lines = p < end ? 1 + static_cast<size_t>(std::count(p, end, '\n')) : 0;
	fRefList.reserve(lines);
	for (std::string_view ref = next(); !ref.empty(); ref = next()) {
		fRefList.emplace_back();
		TString& r = fRefList.back();
		r.AllowInvalidSet(true);
		r.AssignByte(ref.data(), static_cast<long>(ref.size()));
	}
}

// ---- state ----

void HeadersNode::markSet(bool mark)
{
	if (mark && fData.download == MessageDownloadNone)
		fData.download = MessageDownloadMarked;
	else if (!mark && fData.download == MessageDownloadMarked)
		fData.download = MessageDownloadNone;
}

bool HeadersNode::autoMarkChange() const
{
	return fData.state != MessageStateComplete &&
		(fData.download == MessageDownloadNone || fData.download == MessageDownloadMarked);
}

bool HeadersNode::bodyDownload() const
{
	return fData.state == MessageStateHeaders && fData.type == MessageTypeUsenet &&
		(fData.download == MessageDownloadNone || fData.download == MessageDownloadMarked);
}

void HeadersNode::attachString(TString& out) const
{
	const char* key = nullptr;
	const char* fallback = "";
	switch (fData.attach) {
	case MessageAttachNone:
		key = "HeaderNodeAttachNone";
		fallback = "N";
		break;
	case MessageAttachFirst:
		key = "HeaderNodeAttachPrimary";
		fallback = "A";
		break;
	case MessageAttachSecondary:
		key = "HeaderNodeAttachSecondary";
		fallback = "S";
		break;
	default: break;
	}
	if (!key || !Language::String(key, out, false))
		out = fallback;
}

const TString& HeadersNode::threadID() const
{
	return fRefList.empty() ? fMsgID : fRefList.front();
}

const TString* HeadersNode::refAt(long i) const
{
	if (i < 0 || i >= refCount())
		return nullptr;
	return &fRefList[static_cast<size_t>(i)];
}

bool HeadersNode::plonked() const
{
	return fAuthor && fEmail && !fAuthor->Empty() && !fEmail->Empty() &&
		Killfile::IsPlonked(*fAuthor, *fEmail);
}

bool HeadersNode::unreadDisplay() const
{
	if (unreadGet())
		return true;
	bool open = true;
	for (const HeadersNode* n = this; n && open; n = n->fParent)
		open = n->fExpanded;
	if (open)
		return false;
	for (const auto& child : fChildList)
		if (child->unreadDisplay())
			return true;
	return false;
}

// ---- tree ----

void HeadersNode::childAdd(const HeadersNodePtr& child)
{
	if (!child || child.get() == this)
		return;
	fChildList.push_back(child);
	child->fParent = this;
	fSort = EFSortInfo();
}

bool HeadersNode::childDel(const HeadersNode* child)
{
	auto it = std::find_if(
		fChildList.begin(), fChildList.end(), [child](const HeadersNodePtr& c) { return c.get() == child; });
	if (it == fChildList.end())
		return false;
	if ((*it)->fParent == this)
		(*it)->fParent = nullptr;
	fChildList.erase(it);
	return true;
}

void HeadersNode::childDelAll()
{
	for (const auto& child : fChildList)
		if (child->fParent == this)
			child->fParent = nullptr;
	fChildList.clear();
}

HeadersNode* HeadersNode::childAtIndex(long i) const
{
	if (i < 0 || i >= childCount())
		return nullptr;
	return fChildList[static_cast<size_t>(i)].get();
}

HeadersNode* HeadersNode::childFind(const TString& msgid) const
{
	for (const auto& child : fChildList)
		if (child->fMsgID == msgid)
			return child.get();
	return nullptr;
}

void HeadersNode::childCopyTo(std::vector<HeadersNodePtr>& list) const
{
	list.insert(list.end(), fChildList.begin(), fChildList.end());
}

void HeadersNode::childSort(const EFSortInfo& sortInfo)
{
	if (fSort == sortInfo)
		return;
	if (sortInfo.selector) {
		EFSortInfo::Compare cmp = sortInfo.selector;
		bool up = sortInfo.ascending;
		std::stable_sort(fChildList.begin(), fChildList.end(),
			[cmp, up](const HeadersNodePtr& a, const HeadersNodePtr& b) {
				int c = cmp(*a, *b);
				return up ? c < 0 : c > 0;
			});
	}
	fSort = sortInfo;
}

// ---- comparisons ----

int HeadersNode::compareMsgID(const HeadersNode& a, const HeadersNode& b)
{
	return sign(a.fMsgID.Compare(b.fMsgID));
}

int HeadersNode::compareThreadID(const HeadersNode& a, const HeadersNode& b)
{
	return sign(a.threadID().Compare(b.threadID()));
}

int HeadersNode::compareAttach(const HeadersNode& a, const HeadersNode& b)
{
	int c = sign(textOf(a.fAttachID).Compare(textOf(b.fAttachID)));
	return c != 0 ? c : sign(static_cast<long long>(a.fPartNumber) - b.fPartNumber);
}

int HeadersNode::compareAttachView(const HeadersNode& a, const HeadersNode& b)
{
	return sign(attachRank(a.fData.attach) - attachRank(b.fData.attach));
}

int HeadersNode::compareAuthor(const HeadersNode& a, const HeadersNode& b)
{
	return sign(textOf(a.fAuthor).CompareNoCase(textOf(b.fAuthor)));
}

int HeadersNode::compareEmail(const HeadersNode& a, const HeadersNode& b)
{
	return sign(textOf(a.fEmail).CompareNoCase(textOf(b.fEmail)));
}

int HeadersNode::compareNewsgroupsTo(const HeadersNode& a, const HeadersNode& b)
{
	return sign(textOf(a.fNewsgroupsTo).CompareNoCase(textOf(b.fNewsgroupsTo)));
}

int HeadersNode::compareSubject(const HeadersNode& a, const HeadersNode& b)
{
	return sign(textOf(a.fSubject).CompareNoCase(textOf(b.fSubject)));
}

int HeadersNode::compareUserAgent(const HeadersNode& a, const HeadersNode& b)
{
	return sign(textOf(a.fUserAgent).CompareNoCase(textOf(b.fUserAgent)));
}

int HeadersNode::compareFilename(const HeadersNode& a, const HeadersNode& b)
{
	return sign(textOf(a.fFilename).Compare(textOf(b.fFilename)));
}

int HeadersNode::compareCharset(const HeadersNode& a, const HeadersNode& b)
{
	return sign(static_cast<long long>(a.fCharset) - b.fCharset);
}

int HeadersNode::compareLines(const HeadersNode& a, const HeadersNode& b)
{
	return sign(static_cast<long long>(a.fLines) - b.fLines);
}

int HeadersNode::compareDate(const HeadersNode& a, const HeadersNode& b)
{
	return a.fDateTime < b.fDateTime ? -1 : a.fDateTime > b.fDateTime ? 1 : 0;
}

int HeadersNode::comparePlonk(const HeadersNode& a, const HeadersNode& b)
{
	int c = sign(textOf(a.fAuthor).Compare(textOf(b.fAuthor)));
	return c != 0 ? c : sign(textOf(a.fEmail).Compare(textOf(b.fEmail)));
}
