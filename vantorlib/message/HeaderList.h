// The raw header block of a message: one value per header name (names compared without
// case), the MIME boundaries seen, and the sections found in the body.
#pragma once

#include <map>
#include <set>
#include <vector>

#include "Error.h"
#include "HeaderName.h"
#include "MessageSect.h"
#include "TString.h"

class TextFile;

// Header names to values; names compare without case.
using HeaderMap = std::map<TString, TString, TString::CompNoCase>;

class HeaderList {
public:
	// One row of the table of known headers.
	struct Info {
		const char* spelling;
		HeaderName name;
		int sort;  // order when headers are written
		bool keep;  // kept by RemoveNonDisplayHeaders
	};

	// Bounds that keep hostile input from growing memory without end: further headers with
	// new names, further boundaries and further sections are dropped.
	static constexpr size_t kHeaderMax = 1000;
	static constexpr size_t kBoundMax = 100;
	static constexpr size_t kSectMax = 5000;

	HeaderList() = default;
	virtual ~HeaderList() = default;
	HeaderList(const HeaderList&) = default;
	HeaderList& operator=(const HeaderList&) = default;

	virtual void Clear();

	// Values come back tagged ISO-8859-1: the raw bytes as received.
	bool HeaderGet(HeaderName name, TString& value) const;
	bool HeaderGet(const TString& name, TString& value) const;
	bool HeaderGet(const char* name, TString& value) const;
	bool HeaderHas(HeaderName name) const;
	bool HeaderHas(const char* name) const;
	bool HeaderSet(HeaderName name, const TString& value);
	bool HeaderSet(const TString& name, const TString& value);
	bool HeaderSet(const char* name, const TString& value);
	bool HeaderDel(HeaderName name);
	bool HeaderDel(const TString& name);
	bool HeaderDel(const char* name);
	void HeaderClear() { mHeaders.clear(); }
	long HeaderTotal() const { return long(mHeaders.size()); }
	const HeaderMap& Headers() const { return mHeaders; }

	// Removes every header not kept for display; "Subject: <None>" when nothing is left.
	void RemoveNonDisplayHeaders();

	static const char* HeaderNameString(HeaderName name);
	static const Info* infoFind(HeaderName name);
	static const Info* infoFind(const TString& spelling);
	static const Info* infoFind(const char* spelling);
	static const Info* infoAt(long index);  // 0 to 23
	static long infoCount();
	static int infoSort(const TString& name);  // -1 for an unknown name
	static bool infoCustom(const TString& name);  // the four private headers

	// Boundaries (stored without the leading "--").
	static bool boundValid(const TString& line);
	void boundAdd(const TString& boundary);
	Error boundAddLine(const TString& line);
	void boundCopy(const HeaderList& other);
	void boundClear() { mBounds.clear(); }
	long boundCount() const { return long(mBounds.size()); }
	bool boundFind(const TString& line, bool& isEnd) const;
	const std::set<TString>& Bounds() const { return mBounds; }

	// Sections.
	bool sectAppend(const MessageSect& sect);
	void sectClear() { mSects.clear(); }
	long sectCount() const { return long(mSects.size()); }
	const std::vector<MessageSect>& Sections() const { return mSects; }
	long sectText() const;
	long sectHtml() const;
	MsgSectEncoding sectEncoding(long offset) const;
	bool sectAttach(MessageSect& sect) const;
	bool sectSecondary(MessageSect& sect) const;
	bool sectHasAttachments() const;
	bool sectHasFirstPart() const;
	bool sectHasNonMimeAttachments() const;
	long sectFirstList(std::vector<MessageSect>& list) const;
	bool sectFirstAt(long index, MessageSect& sect) const;
	Error sectWrite(TextFile& file) const;
	Error sectUpdate(const TString& path, long long delta)
	{
		return MessageSect::ListUpdate(path, mSects, delta);
	}

protected:
	HeaderMap mHeaders;
	std::set<TString> mBounds;
	std::vector<MessageSect> mSects;
};
