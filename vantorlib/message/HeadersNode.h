// The in-memory summary of one stored message: the header values that the message lists show
// and sort by, its state letters and its place in a thread tree. It also defines the text of
// the cache record that every message directory keeps per message (keyed by message-id): a node
// is built from a parsed header or from such a record, and writes itself back as one.
//
// It lives with the message classes rather than the display models because the message store
// builds and stores these records too.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "HeaderAttr.h"
#include "LangSection.h"
#include "MessageData.h"
#include "TString.h"

class HeadersNode;
using HeadersNodePtr = std::shared_ptr<HeadersNode>;

// A sort: one of the comparisons below and its direction.
struct EFSortInfo {
	using Compare = int (*)(const HeadersNode&, const HeadersNode&);
	Compare selector = nullptr;
	bool ascending = true;
	bool operator==(const EFSortInfo&) const = default;
};

class HeadersNode {
public:
	// Registers the texts of the attachment letters.
	static bool Start();
	static void Stop();

	HeadersNode() = default;
	~HeadersNode();
	HeadersNode(const HeadersNode&) = delete;
	HeadersNode& operator=(const HeadersNode&) = delete;

	// Construction. A record without author, file name, subject or user agent yields none.
	static HeadersNodePtr initWithHeader(const HeaderAttr& header);
	static HeadersNodePtr initWithMsgID(const TString& msgid, const TString& record);
	static HeadersNodePtr initWithMsgID(std::string_view msgid, std::string_view record);
	static HeadersNodePtr initWithMsgID(const TString& msgid);
	static HeadersNodePtr initWithAttachID(const TString& attachID, long partNumber, long partTotal);

	// The cache record text (UTF-8, every line ending in LF), and its reading.
	void stringWrite(TString& out) const;
	void updateWithString(const TString& text);
	void updateWithText(std::string_view text);

	// State letters.
	bool unreadGet() const { return fData.read == MessageReadUnread; }
	void unreadSet(bool unread) { fData.read = unread ? MessageReadUnread : MessageReadRead; }
	bool markGet() const { return fData.download == MessageDownloadMarked; }
	void markSet(bool mark);
	bool hasBody() const { return fData.state == MessageStateComplete; }
	bool autoReadChange() const { return hasBody(); }
	bool autoMarkChange() const;
	bool bodyDownload() const;
	void attachString(TString& out) const;

	// References and threads.
	const TString& threadID() const;
	long refCount() const { return static_cast<long>(fRefList.size()); }
	const TString* refAt(long i) const;
	bool unreadDisplay() const;

	// The tree.
	void childAdd(const HeadersNodePtr& child);
	bool childDel(const HeadersNode* child);
	void childDelAll();
	long childCount() const { return static_cast<long>(fChildList.size()); }
	HeadersNode* childAtIndex(long i) const;
	HeadersNode* childFind(const TString& msgid) const;
	void childCopyTo(std::vector<HeadersNodePtr>& list) const;
	HeadersNode* parent() const { return fParent; }
	void childSort(const EFSortInfo& sortInfo);

	// Comparisons: negative, zero or positive.
	static int compareMsgID(const HeadersNode& a, const HeadersNode& b);
	static int compareThreadID(const HeadersNode& a, const HeadersNode& b);
	static int compareAttach(const HeadersNode& a, const HeadersNode& b);
	static int compareAttachView(const HeadersNode& a, const HeadersNode& b);
	static int compareAuthor(const HeadersNode& a, const HeadersNode& b);
	static int compareEmail(const HeadersNode& a, const HeadersNode& b);
	static int compareNewsgroupsTo(const HeadersNode& a, const HeadersNode& b);
	static int compareSubject(const HeadersNode& a, const HeadersNode& b);
	static int compareUserAgent(const HeadersNode& a, const HeadersNode& b);
	static int compareFilename(const HeadersNode& a, const HeadersNode& b);
	static int compareCharset(const HeadersNode& a, const HeadersNode& b);
	static int compareLines(const HeadersNode& a, const HeadersNode& b);
	static int compareDate(const HeadersNode& a, const HeadersNode& b);
	static int comparePlonk(const HeadersNode& a, const HeadersNode& b);

	// Fields. A string taken from a record may be absent (an empty or unreadable line).
	using Text = std::optional<TString>;
	TString fMsgID;
	Text fAttachID;
	Text fAuthor;
	TString fCharsetStr;  // display text of fCharset
	Text fEmail;
	Text fFilename;
	Text fNewsgroupsTo;
	Text fSubject;
	Text fUserAgent;
	HeadersNode* fParent = nullptr;
	HeadersNode* fThreadRep = nullptr;
	std::vector<HeadersNodePtr> fChildList;
	std::vector<TString> fRefList;
	EFSortInfo fSort;
	MessageData fData;
	int32_t fCharset = 0;
	int64_t fDateTime = 0;
	int32_t fLines = 0;
	int32_t fPartNumber = 0;
	int32_t fPartTotal = 0;
	bool fExpanded = false;
	bool fExpandStart = false;

private:
	void charsetSet(int32_t charset);
};
