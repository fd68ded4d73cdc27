#include "HeadersNode.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
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

bool number(const std::string& s, long long& value)
{
	value = 0;
	if (s.empty())
		return false;
	errno = 0;
	char* end = nullptr;
	long long v = std::strtoll(s.c_str(), &end, 10);
	if (errno != 0 || end == s.c_str() || *end != '\0')
		return false;
	value = v;
	return true;
}

int32_t number32(const std::string& s)
{
	long long v = 0;
	if (!number(s, v) || v < INT32_MIN || v > INT32_MAX)
		return 0;
	return static_cast<int32_t>(v);
}

HeadersNode::Text textLine(const std::string& line)
{
	if (line.empty())
		return std::nullopt;
	long bytes = 0, chars = 0;
	long n = static_cast<long>(line.size());
	if (!Unicode::Validate(line.c_str(), n + 1, n + 1, &bytes, &chars))
		return std::nullopt;
	TString t;
	t.AssignByte(line.data(), n);
	return t;
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
	node->fData = MessageData();
	node->updateWithString(record);
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
	std::vector<std::string> lines;
	const char* p = text.String();
	const char* end = p + text.ByteLength();
	while (p < end) {
		const char* lf = std::find(p, end, '\n');
		std::string line(p, lf);
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		lines.push_back(std::move(line));
		p = lf == end ? end : lf + 1;
	}
	auto line = [&lines](size_t i) -> const std::string& {
		static const std::string none;
		return i < lines.size() ? lines[i] : none;
	};

	TString state;
	state.AllowInvalidSet(true);
	state.AssignByte(line(0).data(), static_cast<long>(line(0).size()));
	MessageData::FromString(fData, state);
	charsetSet(CSet::Value(line(1).c_str()));
	long long date = 0;
	number(line(2), date);
	fDateTime = date;
	fLines = number32(line(3));
	fAuthor = textLine(line(4));
	fEmail = textLine(line(5));
	fFilename = textLine(line(6));
	fNewsgroupsTo = textLine(line(7));
	fSubject = textLine(line(8));
	fUserAgent = textLine(line(9));
	fAttachID = textLine(line(10));
	const std::string& parts = line(11);
	size_t slash = parts.find('/');
	fPartNumber = number32(parts.substr(0, slash));
	fPartTotal = slash == std::string::npos ? 0 : number32(parts.substr(slash + 1));
	fRefList.clear();
	for (size_t i = 12; i < lines.size() && !lines[i].empty(); ++i) {
		TString ref;
		ref.AllowInvalidSet(true);
		ref.AssignByte(lines[i].data(), static_cast<long>(lines[i].size()));
		fRefList.push_back(std::move(ref));
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
