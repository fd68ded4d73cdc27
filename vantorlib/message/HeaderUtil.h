// Stateless helpers on header values: header line syntax, encoded words both ways, the MIME
// headers and their parameters, part counters in subjects, Newsgroups and References lists,
// and the names of message files.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "Charset.h"
#include "StringRange.h"
#include "TString.h"

class DEntry;

enum ContentType : int32_t {
	ContentTypeNone = 0,
	ContentTypeOther = 1,  // any other valid MIME type
	ContentTypeMultipart = 2,  // "multipart/..."
	ContentTypePartial = 3,  // "message/partial"
	ContentTypeHtml = 4,  // "text/html"
	ContentTypePlain = 5,  // "text/plain"
};

enum ContentEncoding : int32_t {
	ContentEncodingNone = 0,
	ContentEncodingBase64 = 1,
	ContentEncoding7bit = 2,
	ContentEncoding8bit = 3,
	ContentEncodingQuotedPrintable = 4,
};

using NewsgroupSet = std::set<TString, TString::CompNoCase>;

class HeaderUtil {
public:
	// An encoded word found in a text: "=?charset?B?text?=".
	struct EncodedWord {
		char encoding = 0;  // 'B' or 'Q'
		Charset charset = kCharsetNone;
		long textStart = 0;  // byte position of the encoded text
		long textLength = 0;
		long length = 0;  // the whole word, "=?" through "?="
	};

	// Header line syntax. Parse splits "Name: value" (both outputs emptied on failure);
	// Create joins them, tagged ISO-8859-1.
	static bool Parse(const TString& line, TString& name, TString& value);
	static void Create(TString& line, const TString& name, const TString& value);
	// A header line folded to lines of at most width bytes where it can be: a line feed goes
	// in before a run of white space inside the value, which the continuation line keeps, so
	// that unfolding gives the line back exactly. The first line always holds the name and the
	// value's first word, and no word (an encoded word above all) is ever split; a word longer
	// than the width stands on a line of its own.
	static void Fold(TString& out, const TString& line, long width);
	// Whether a line starts a header of this name ("Name:" with optional blanks before the colon,
	// the name compared without regard to case).
	static bool StartsHeader(const TString& line, const char* name);

	// A raw header value (tagged with the charset its 8-bit bytes are in) to UTF-8 text,
	// decoding encoded words; "<None>" when empty.
	static void Decode(TString& out, const TString& in);
	// UTF-8 text to a header value: non-ASCII words become encoded words in charset.
	static void Encode(TString& out, const TString& in, Charset charset);

	// "=XX" escapes.
	static int CharDecode(const char* text);
	static void CharDecodeLine(TString& line);
	static void CharEncode(TString& out, unsigned char byte);
	static bool CharEncodeNeeded(unsigned char byte);

	// MIME headers.
	static bool ParseContentType(const TString& value, ContentType& type, Charset& charset);
	static bool ParseContentTypeMultipart(const TString& value, TString& boundary);
	static bool ParseContentTypeAttachment(const TString& value, TString& mimeType, TString& filename);
	static bool ParseContentTypePartial(const TString& value, TString& id, long& number, long& total);
	static bool ParseContentDisposition(const TString& value, TString& filename);
	static ContentEncoding ParseContentEncoding(const TString& value);
	static long ParseLines(const TString& value);

	static void CreateContentType(TString& out, ContentType type, Charset charset);
	static void CreateContentEncoding(TString& out, ContentEncoding encoding);
	static void CreateDate(TString& out);
	static void CreateFrom(TString& out, const TString& name, const TString& address);
	static void CreateLines(TString& out, long count);
	static void CreateMimeVersion(TString& out);
	static void CreateReferences(TString& out, const TString& parentId, const TString& parentReferences);

	static const char* ContentEncodingString(ContentEncoding encoding);

	// Lists.
	static bool ParseNewsgroups(const TString& value, NewsgroupSet& set);
	static long refList(const TString& value, std::vector<TString>& list);

	// Part counters such as "(3/12)": x of y. The second form also gives the text without
	// the counter, trimmed.
	static bool PartXofY(const TString& text, long& x, long& y);
	static bool PartXofY(const TString& text, TString& rest, long& x, long& y);

	// Delimiter pairs: () <> "" '' [] {}.
	static bool delimRangeLast(const TString& text, StringRange& range, bool& found);
	static bool delimRemove(TString& text);
	static void delimRemoveInternal(TString& text);
	static char delimClose(char open);  // 0 when open opens no pair
	static char delimOpen(char close);  // 0 when close closes no pair

	static bool mimeValid(const TString& type);

	// Message file names: "QM" + MD5 of the message-id in hex + ".qmsg".
	static const char* MessageExtension() { return "qmsg"; }
	static void MessageFilename(TString& out, const TString& messageId);
	static bool IsMessageFilename(const TString& path);
	static bool IsMessageFile(const TString& path);
	static bool IsMessageFile(const DEntry& entry);

	// One ';'-separated parameter of a MIME header value, one enclosing pair removed.
	static bool parseContentItem(const TString& value, const char* key, TString& out);
	// The file name parameter: "filename", else "name".
	static bool parseFilename(const TString& value, TString& out);
	// The MIME type classification of a Content-Type value.
	static ContentType contValue(const TString& value);

	// Finds an encoded word at byte position pos.
	static bool wordFind(const TString& text, long pos, EncodedWord& word);

private:
	static bool wordParseQ(const TString& text, const EncodedWord& word, TString& out);
	static bool wordParseB(const TString& text, const EncodedWord& word, TString& out);
	static void encodeWord(TString& out, const TString& text, Charset charset);
	static bool partXofY(const TString& text, long& x, long& y, long& start, long& length);
};
