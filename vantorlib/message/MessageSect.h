// One section of a message body: a text or HTML part, or an attachment (a MIME part, a
// uuencoded block or a yEnc block), found once and stored in the message file's header block
// as a "X-Quillfern-Section" line, so that display and decoding can seek straight to it.
#pragma once

#include <cstdint>
#include <vector>

#include "Error.h"
#include "TString.h"

class HeaderAttr;
class TextFile;

enum MsgSectType : int32_t {
	MsgSectTypeNone = 0,
	MsgSectText = 1,
	MsgSectHtml = 2,
	MsgSectAttachment = 3,
};

enum MsgSectEncoding : int32_t {
	MsgSectEncNone = 0,
	MsgSectPlain = 1,
	MsgSectQuotPrint = 2,
	MsgSectBase64 = 3,
	MsgSectUuencode = 4,
	MsgSectYenc = 5,
};

class MessageSect {
public:
	MessageSect() = default;

	void Clear() { *this = MessageSect(); }
	bool Valid() const;

	// Reads a stored value; false (and cleared) when it does not give a valid section.
	bool LineParse(const TString& value);
	void lineFormatValue(TString& value) const;
	void lineFormatHead(TString& line) const;

	// The section for a MIME part of message, from the part's header block; false when the
	// part gives none.
	bool HeaderData(const HeaderAttr& message, const HeaderAttr& partHead, long offset);
	// The section for the body of a message/partial continuation (part 2 or later).
	bool HeaderDataPartial(const HeaderAttr& message, long offset);

	static Error ListWrite(TextFile& file, const std::vector<MessageSect>& sections);
	// Shifts every offset and writes the section lines over the old ones in the file's header
	// block; they keep their length, the offset being always 8 hex digits.
	static Error ListUpdate(const TString& path, std::vector<MessageSect>& sections, long long shift);

	MsgSectType TypeGet() const { return mType; }
	void TypeSet(MsgSectType type) { mType = type; }
	MsgSectEncoding EncodingGet() const { return mEncoding; }
	void EncodingSet(MsgSectEncoding encoding) { mEncoding = encoding; }
	const TString& FilenameGet() const { return mFilename; }
	void FilenameSet(const TString& name);  // made a valid leaf name
	const TString& MimeGet() const { return mMime; }
	void MimeSet(const TString& mime);
	int32_t LineOffsetGet() const { return mLineOffset; }
	void LineOffsetSet(int32_t offset) { mLineOffset = offset; }
	int32_t OffsetGet() const { return mOffset; }
	void OffsetSet(int32_t offset) { mOffset = offset; }
	int32_t PartNumberGet() const { return mPartNumber; }
	int32_t PartTotalGet() const { return mPartTotal; }
	void PartSet(int32_t number, int32_t total)
	{
		mPartNumber = number;
		mPartTotal = total;
	}

	static const char* typeToString(MsgSectType type);
	static MsgSectType typeFromString(const TString& name);
	static const char* encToString(MsgSectEncoding encoding);
	static MsgSectEncoding encFromString(const TString& name);
	static bool typeEncValid(MsgSectType type, MsgSectEncoding encoding);

	// Order by offset, then type, encoding, filename, mime and part numbers.
	static bool comp(const MessageSect& a, const MessageSect& b);
	bool operator==(const MessageSect& o) const;

private:
	MsgSectType mType = MsgSectTypeNone;
	MsgSectEncoding mEncoding = MsgSectEncNone;
	TString mFilename;
	TString mMime;
	int32_t mLineOffset = -1;
	int32_t mOffset = 0;
	int32_t mPartNumber = 0;
	int32_t mPartTotal = 0;
};
