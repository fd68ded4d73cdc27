// A header block with its decoded attributes (author, subject, date, references and so on)
// and the message's state letters.
#pragma once

#include <cstdint>
#include <vector>

#include "Charset.h"
#include "HeaderList.h"
#include "HeaderUtil.h"
#include "MessageData.h"
#include "MessageSect.h"
#include "TString.h"

class YencSect;

class HeaderAttr : public HeaderList {
public:
	HeaderAttr() { HeaderAttr::Clear(); }
	void Clear() override;

	Charset CharsetGet() const;
	void CharsetSet(Charset cs) { mCharset = cs; }
	// The charset the raw 8-bit bytes of this message are read in.
	Charset CharsetForceGet() const;
	void CharsetForceSet(Charset cs) { mData.charset = cs; }
	void CharsetSuggest(Charset cs);

	ContentType ContentTypeGet() const { return mContentType; }
	void ContentTypeSet(ContentType type) { mContentType = type; }
	ContentEncoding ContentEncodingGet() const { return mContentEncoding; }
	void ContentEncodingSet(ContentEncoding encoding) { mContentEncoding = encoding; }
	MsgSectEncoding ContentEncodingSect() const;
	long LinesGet() const { return mLines; }
	void LinesSet(long lines) { mLines = int32_t(lines); }

	MessageAttach MessageAttachGet() const { return mData.attach; }
	void MessageAttachSet(int32_t v) { mData.attach = MessageData::AttachValid(v); }
	MessageDownload MessageDownloadGet() const { return mData.download; }
	void MessageDownloadSet(int32_t v) { mData.download = MessageData::DownloadValid(v); }
	void MessageDownloadSetFixup(int32_t v);
	MessageRead MessageReadGet() const { return mData.read; }
	void MessageReadSet(int32_t v) { mData.read = MessageData::ReadValid(v); }
	MessageState MessageStateGet() const { return mData.state; }
	void MessageStateSet(int32_t v) { mData.state = MessageData::StateValid(v); }
	MessageType MessageTypeGet() const { return mData.type; }
	void MessageTypeSet(int32_t v) { mData.type = MessageData::TypeValid(v); }

	void AttrMessageData(MessageData& data) const { data = mData; }
	void DataCopy(const MessageData& data) { mData = data; }
	bool DataEqual(const MessageData& data) const { return mData == data; }
	static void DataToString(const MessageData& data, TString& text) { MessageData::ToString(data, text); }
	static void DataFromString(MessageData& data, const TString& text)
	{
		MessageData::FromString(data, text);
	}
	// Reads the state string into this message's data.
	void mesgSet(const TString& text) { MessageData::FromString(mData, text); }

	const TString& LeafGet() const { return mLeaf; }
	void LeafSet(const TString& leaf);

	// A raw header value decoded to UTF-8 ("<None>" when missing or empty), and UTF-8 text
	// encoded into a header.
	void HeaderDecode(HeaderName name, TString& text) const;
	void HeaderDecode(const char* name, TString& text) const;
	void HeaderEncode(HeaderName name, const TString& text);
	void HeaderEncode(const TString& name, const TString& text);

	void AttrSubject(TString& text) const;
	void AttrAuthor(TString& name) const;
	void AttrEmail(TString& address) const;
	void AttrNewsgroupsTo(TString& text) const;
	void AttrUserAgent(TString& text) const;
	void AttrMessageID(TString& text) const;
	void AttrFilename(TString& text) const;
	long long AttrDate() const;
	void AttrDate(TString& text) const;
	long RefCount() const;
	bool RefAt(long index, TString& id) const;
	bool AttrMimeMessage() const { return HeaderHas(kHeaderMimeVersion); }
	void AttrMimeType(TString& type) const;
	void AttrAttachmentName(TString& name) const;
	long AttrAttachments(std::vector<MessageSect>& list) const;
	bool AttrNonMimeAttachments() const { return sectHasNonMimeAttachments(); }
	bool AttrPartialData(TString& id, long& number, long& total) const;
	bool AttrPartialFirst() const;
	bool AttrPartialSecondary() const;
	void AttrAttachmentPart(TString& base, long& number, long& total) const;

	// Splits a From value into a display name and an address ("<None>" for what is missing).
	static bool ParseFrom(const TString& text, TString& name, TString& address);

	bool sectAppendUuencode(long offset, const TString& filename, bool complete);
	bool sectAppendUuencodeSecondary(long offset);
	bool sectAppendYenc(long offset, const TString& filename, const YencSect& yenc);
	void attachUpdate();

protected:
	// Derives the attributes from the headers after a block is read.
	void dataFromHeaders();
	bool sectAppendBin(MsgSectEncoding encoding, long offset, const TString& filename, bool complete);

	Charset mCharset = kCharsetNone;
	ContentEncoding mContentEncoding = ContentEncoding8bit;
	ContentType mContentType = ContentTypeNone;
	mutable long long mDate = -1;
	int32_t mLines = 1;
	mutable int32_t mRefCount = -1;
	mutable std::vector<TString> mRefs;
	MessageData mData;
	TString mLeaf;
};
