#include "HeaderUtil.h"

#include <string>

#include "BinText.h"
#include "CSet.h"
#include "DEntry.h"
#include "Md5.h"
#include "NetName.h"
#include "PathMngr.h"
#include "TimeCore.h"
#include "TimeFormat.h"

namespace {

const char kOpen[] = "(<\"'[{";
const char kClose[] = ")>\"']}";

bool isWhite(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int hexValue(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

// A text of ASCII decimal digits only (after trimming) as a number; -1 when it is not one.
long decimal(const TString& text)
{
	TString t(text);
	t.Trim();
	if (t.Empty() || t.ByteLength() > 9)
		return -1;
	long v = 0;
	for (long i = 0; i < t.ByteLength(); ++i) {
		if (!Str::IsDigit(t.ByteAt(i)))
			return -1;
		v = v * 10 + (t.ByteAt(i) - '0');
	}
	return v;
}

// Bytes of a std::string into a UTF-8 string that may hold invalid sequences for now.
void assignUtf8(TString& out, const std::string& bytes)
{
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	out.AllowInvalidSet(true);
	out.Erase();
	out.AppendByte(bytes.data(), long(bytes.size()));
}

// The ';'-separated tokens of a MIME header value; a ';' inside double quotes does not split.
std::vector<std::string> paramTokens(const TString& value)
{
	std::vector<std::string> tokens;
	std::string cur;
	bool quoted = false;
	const char* s = value.String();
	for (long i = 0; i < value.ByteLength(); ++i) {
		char c = s[i];
		if (c == '"')
			quoted = !quoted;
		if (c == ';' && !quoted) {
			tokens.push_back(cur);
			cur.clear();
		} else {
			cur += c;
		}
	}
	tokens.push_back(cur);
	return tokens;
}

void trimStd(std::string& s)
{
	size_t b = 0, e = s.size();
	while (b < e && isWhite(s[b]))
		++b;
	while (e > b && isWhite(s[e - 1]))
		--e;
	s = s.substr(b, e - b);
}

}  // namespace

// ---- header line syntax

bool HeaderUtil::StartsHeader(const TString& line, const char* name)
{
	long n = Str::Len(name);
	if (line.ByteLength() <= n || Str::MemCmp(line.String(), name, (unsigned long)n, false) != 0)
		return false;
	const char* p = line.String() + n;
	while (*p == ' ' || *p == '\t')
		++p;
	return *p == ':';
}

bool HeaderUtil::Parse(const TString& line, TString& name, TString& value)
{
	name.CharsetSet(kCharsetISO8859_1);
	name.Erase();
	value.Erase();
	value.CharsetSet(line.CharsetGet());
	value.AllowInvalidSet(true);
	value.Erase();
	const char* s = line.String();
	const char* colon = line.FindPtr(':');
	long at = colon ? long(colon - s) : -1;
	if (at < 1 || at > 200)
		return false;
	TString n = line.SubstringByte(0, at);
	n.Trim();
	if (n.Empty() || n.ByteLength() > 60)
		return false;
	for (long i = 0; i < n.ByteLength(); ++i) {
		unsigned char c = static_cast<unsigned char>(n.ByteAt(i));
		if (c <= 0x20 || c >= 0x7F)
			return false;
	}
	TString v = line.SubstringByte(at + 1, line.ByteLength() - at - 1);
	v.Trim();
	if (v.Empty() || v.CharLength() > 2000)
		return false;
	name.AppendByte(n.String(), n.ByteLength());
	value.AllowInvalidSet(true);
	value.CharsetSet(v.CharsetGet());
	value.AppendByte(v.String(), v.ByteLength());
	return true;
}

void HeaderUtil::Create(TString& line, const TString& name, const TString& value)
{
	TString n(name), v(value);
	n.Trim();
	TString out;
	out.CharsetSet(kCharsetISO8859_1);
	out.AppendByte(n.String(), n.ByteLength());
	out.AppendByte(": ", 2);
	out.AppendByte(v.String(), v.ByteLength());
	line = std::move(out);
}

void HeaderUtil::Fold(TString& out, const TString& line, long width)
{
	const char* s = line.String();
	long n = line.ByteLength();
	auto white = [](char c) { return c == ' ' || c == '\t'; };
	std::string text;
	text.reserve(size_t(n) + size_t(n / (width > 0 ? width : 1)) + 2);
	// The name, the colon, the white space after it and the first word stay together.
	long i = 0;
	while (i < n && s[i] != ':' && s[i] != '\n')
		++i;
	if (i < n && s[i] == ':')
		++i;
	while (i < n && white(s[i]))
		++i;
	while (i < n && !white(s[i]) && s[i] != '\n')
		++i;
	text.append(s, size_t(i));
	long column = i;
	while (i < n) {
		if (s[i] == '\n') {
			// A line break that is part of the value stays one; what follows must still read
			// as a continuation.
			text += '\n';
			++i;
			if (i < n && !white(s[i]))
				text += ' ';
			column = i < n && !white(s[i]) ? 1 : 0;
			continue;
		}
		long start = i;
		while (i < n && white(s[i]))
			++i;
		while (i < n && !white(s[i]) && s[i] != '\n')
			++i;
		long piece = i - start;
		// Trailing white space is never moved to a line of its own: such a line reads as empty.
		bool word = i > start && !white(s[i - 1]);
		if (word && column > 0 && column + piece > width && white(s[start])) {
			text += '\n';
			column = 0;
		}
		text.append(s + start, size_t(piece));
		column += piece;
	}
	TString folded;
	folded.CharsetSet(kCharsetISO8859_1);
	folded.AppendByte(text.data(), long(text.size()));
	out = std::move(folded);
}

// ---- encoded words

bool HeaderUtil::wordFind(const TString& text, long pos, EncodedWord& word)
{
	word = EncodedWord();
	const char* s = text.String();
	long n = text.ByteLength();
	if (pos < 0 || pos + 1 >= n || s[pos] != '=' || s[pos + 1] != '?')
		return false;
	long limit = std::min(n, pos + 200);
	long q1 = pos + 2;
	while (q1 < limit && s[q1] != '?')
		++q1;
	if (q1 >= limit || q1 == pos + 2 || q1 + 2 >= limit)
		return false;
	// "charset*language" (RFC 2231) names the charset before the star.
	TString name = text.SubstringByte(pos + 2, q1 - pos - 2);
	if (const char* star = name.FindPtr('*'))
		name.Truncate(long(star - name.String()));
	Charset cs = CSet::Value(name);
	if (cs == kCharsetNone)
		return false;
	char enc = Str::ToUpper(s[q1 + 1]);
	if ((enc != 'B' && enc != 'Q') || s[q1 + 2] != '?')
		return false;
	long start = q1 + 3, end = start;
	while (end < limit && s[end] != '?')
		++end;
	if (end >= limit || end == start || end + 1 >= n || s[end + 1] != '=')
		return false;
	long length = end + 2 - pos;
	if (end - start > 200 || length <= 10 || length > 200)
		return false;
	word.encoding = enc;
	word.charset = cs;
	word.textStart = start;
	word.textLength = end - start;
	word.length = length;
	return true;
}

bool HeaderUtil::wordParseQ(const TString& text, const EncodedWord& word, TString& out)
{
	const char* s = text.String() + word.textStart;
	std::string bytes;
	for (long i = 0; i < word.textLength; ++i) {
		if (s[i] == '=' && i + 2 < word.textLength && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
			int v = hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]);
			if (v >= 1) {
				bytes += char(v);
				i += 2;
				continue;
			}
		}
		bytes += s[i] == '_' ? ' ' : s[i];
	}
	TString raw;
	raw.CharsetSet(word.charset);
	raw.AllowInvalidSet(true);
	raw.AppendByte(bytes.data(), long(bytes.size()));
	if (!raw.Valid())
		return false;
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	CSet::Convert(word.charset, raw, kCharsetUTF8, out);
	return true;
}

bool HeaderUtil::wordParseB(const TString& text, const EncodedWord& word, TString& out)
{
	TString coded = text.SubstringByte(word.textStart, word.textLength);
	std::vector<unsigned char> buf(size_t(word.textLength) + 8);
	long n = BinText::Base64Decode(coded, buf.data(), long(buf.size()), BinText::DataText);
	TString raw;
	raw.CharsetSet(word.charset);
	raw.AllowInvalidSet(true);
	raw.AppendByte(reinterpret_cast<const char*>(buf.data()), n);
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	CSet::Convert(word.charset, raw, kCharsetUTF8, out);
	out.NormalizeLineEnds();
	out.ReplaceAll('\n', ' ');
	out.ReplaceAll('\t', ' ');
	return true;
}

void HeaderUtil::Decode(TString& out, const TString& in)
{
	TString text;
	text.CharsetSet(kCharsetUTF8);
	text.AllowInvalidSet(true);
	CSet::Convert(in.CharsetGet(), in, kCharsetUTF8, text);
	const char* s = text.String();
	long n = text.ByteLength();
	std::string result;
	result.reserve(size_t(n));
	bool afterWord = false;
	size_t wordEnd = 0;
	for (long i = 0; i < n;) {
		EncodedWord word;
		if (s[i] == '=' && wordFind(text, i, word)) {
			TString decoded;
			bool ok =
				word.encoding == 'Q' ? wordParseQ(text, word, decoded) : wordParseB(text, word, decoded);
			// Only the white space between the two words goes, never a space that the
			// previous word itself decoded to.
			if (afterWord)
				result.resize(wordEnd);
			if (ok)
				result.append(decoded.String(), size_t(decoded.ByteLength()));
			wordEnd = result.size();
			afterWord = true;
			i += word.length;
			continue;
		}
		char c = s[i++];
		if (c == '\t')
			c = ' ';
		if (!isWhite(c))
			afterWord = false;
		result += c;
	}
	assignUtf8(out, result);
	if (!out.Valid())
		out.Clean();
	out.AllowInvalidSet(false);
	out.RemoveNewlines();
	out.Trim();
	if (out.Empty())
		out = "<None>";
}

void HeaderUtil::encodeWord(TString& out, const TString& text, Charset charset)
{
	TString bytes;
	bytes.CharsetSet(charset);
	CSet::Convert(kCharsetUTF8, text, charset, bytes);
	std::string w = "=?";
	w += CSet::String(charset);
	w += "?Q?";
	static const char kHex[] = "0123456789ABCDEF";
	for (long i = 0; i < bytes.ByteLength(); ++i) {
		unsigned char c = static_cast<unsigned char>(bytes.ByteAt(i));
		if (c == ' ') {
			w += '_';
		} else if (!CharEncodeNeeded(c)) {
			w += char(c);
		} else {
			w += '=';
			w += kHex[c >> 4];
			w += kHex[c & 15];
		}
	}
	w += "?=";
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	out.Erase();
	out.AppendByte(w.data(), long(w.size()));
}

void HeaderUtil::Encode(TString& out, const TString& in, Charset charset)
{
	charset = CSet::MakeValid(charset);
	TString text(in);
	text.Trim();
	if (text.Empty() || text.IsAscii()) {
		TString result(text);
		if (result.Empty())
			result = "<None>";
		out = std::move(result);
		return;
	}
	// Words: a run of non-white bytes and the white space after it.
	struct Word {
		std::string text, white;
		bool ascii;
	};
	std::vector<Word> words;
	const char* s = text.String();
	long n = text.ByteLength();
	for (long i = 0; i < n;) {
		while (i < n && isWhite(s[i]))
			++i;
		if (i >= n)
			break;
		Word w;
		w.ascii = true;
		while (i < n && !isWhite(s[i])) {
			if (!Str::IsAscii(s[i]))
				w.ascii = false;
			w.text += s[i++];
		}
		while (i < n && isWhite(s[i]))
			w.white += s[i++];
		words.push_back(std::move(w));
	}
	if (!words.empty())
		words.back().white.clear();
	auto utf8 = [](const std::string& bytes) {
		TString t;
		assignUtf8(t, bytes);
		return t;
	};
	std::string result;
	TString encoded;
	for (size_t i = 0; i < words.size();) {
		if (words[i].ascii) {
			result += words[i].text + words[i].white;
			++i;
			continue;
		}
		std::string joined = words[i].text;
		size_t j = i;
		while (j + 1 < words.size() && !words[j + 1].ascii) {
			std::string longer = joined + words[j].white + words[j + 1].text;
			encodeWord(encoded, utf8(longer), charset);
			if (encoded.ByteLength() > 75)
				break;
			joined = longer;
			++j;
		}
		// White space between two encoded words vanishes when decoded; when a run is cut
		// short by length and another encoded word follows, its space goes inside the word.
		bool spaceInside = j + 1 < words.size() && !words[j + 1].ascii && !words[j].white.empty();
		if (spaceInside)
			joined += words[j].white;
		encodeWord(encoded, utf8(joined), charset);
		result.append(encoded.String(), size_t(encoded.ByteLength()));
		if (spaceInside)
			result += ' ';
		else
			result += words[j].white;
		i = j + 1;
	}
	TString wordwise;
	assignUtf8(wordwise, result);
	wordwise.Clean();
	wordwise.AllowInvalidSet(false);
	wordwise.Trim();
	TString single, address;
	encodeWord(single, text, charset);
	if (single.ByteLength() < 76 && single.ByteLength() < wordwise.ByteLength() &&
		!NetName::EmailFind(text, address))
		wordwise = single;
	if (wordwise.Empty())
		wordwise = "<None>";
	out = std::move(wordwise);
}

// ---- "=XX" escapes

int HeaderUtil::CharDecode(const char* text)
{
	if (!text || text[0] != '=' || hexValue(text[1]) < 0 || hexValue(text[2]) < 0)
		return 0;
	return hexValue(text[1]) * 16 + hexValue(text[2]);
}

void HeaderUtil::CharDecodeLine(TString& line)
{
	Charset cs = line.CharsetGet();
	bool allow = line.AllowInvalidGet();
	std::string out;
	const char* s = line.String();
	for (long i = 0; i < line.ByteLength(); ++i) {
		int v = s[i] == '=' ? CharDecode(s + i) : 0;
		if (v > 0) {
			out += char(v);
			i += 2;
		} else {
			out += s[i];
		}
	}
	line.AllowInvalidSet(true);
	line.CharsetSet(kCharsetISO8859_1);
	line.Erase();
	line.AppendByte(out.data(), long(out.size()));
	line.CharsetSet(cs);
	if (!allow && !line.Valid())
		line.Clean();
	line.AllowInvalidSet(allow);
}

void HeaderUtil::CharEncode(TString& out, unsigned char byte)
{
	out.Fmt("=%02X", byte);
}

bool HeaderUtil::CharEncodeNeeded(unsigned char byte)
{
	return !(Str::IsAlnum(char(byte)) || byte == '*');
}

// ---- MIME headers

bool HeaderUtil::parseContentItem(const TString& value, const char* key, TString& out)
{
	out.Erase();
	out.CharsetSet(value.CharsetGet());
	out.AllowInvalidSet(true);
	out.Erase();
	for (std::string& token : paramTokens(value)) {
		size_t eq = token.find('=');
		if (eq == std::string::npos)
			continue;
		std::string name = token.substr(0, eq), val = token.substr(eq + 1);
		trimStd(name);
		trimStd(val);
		if (val.empty() || Str::Cmp(name.c_str(), key, false) != 0)
			continue;
		out.AppendByte(val.data(), long(val.size()));
		delimRemove(out);
		return !out.Empty();
	}
	return false;
}

bool HeaderUtil::parseFilename(const TString& value, TString& out)
{
	return parseContentItem(value, "filename", out) || parseContentItem(value, "name", out);
}

bool HeaderUtil::mimeValid(const TString& type)
{
	static const char* const kMajor[] = {
		"application", "audio", "image", "message", "multipart", "text", "video"};
	const char* s = type.String();
	const char* slash = type.FindPtr('/');
	if (!slash || Str::FindPtr(slash + 1, '/') || slash == s || !slash[1])
		return false;
	for (long i = 0; i < type.ByteLength(); ++i)
		if (isWhite(s[i]))
			return false;
	TString major = type.SubstringByte(0, long(slash - s));
	for (const char* m : kMajor)
		if (major.CompareNoCase(m) == 0)
			return true;
	return false;
}

ContentType HeaderUtil::contValue(const TString& value)
{
	std::vector<std::string> tokens = paramTokens(value);
	std::string first = tokens.empty() ? std::string() : tokens[0];
	trimStd(first);
	TString type;
	type.CharsetSet(kCharsetISO8859_1);
	type.AppendByte(first.data(), long(first.size()));
	if (type.CompareNoCase("message/partial") == 0)
		return ContentTypePartial;
	if (type.CompareNoCase("text/html") == 0)
		return ContentTypeHtml;
	if (type.CompareNoCase("text/plain") == 0)
		return ContentTypePlain;
	if (!mimeValid(type))
		return ContentTypeNone;
	// Posting software writes "Multipart/Mixed" too: the type's case does not matter.
	if (type.ByteLength() > 10 && Str::MemCmp(type.String(), "multipart/", 10, false) == 0)
		return ContentTypeMultipart;
	return ContentTypeOther;
}

bool HeaderUtil::ParseContentType(const TString& value, ContentType& type, Charset& charset)
{
	type = contValue(value);
	charset = kCharsetNone;
	TString name;
	if (parseContentItem(value, "charset", name))
		charset = CSet::Value(name);
	return type != ContentTypeNone || charset != kCharsetNone;
}

bool HeaderUtil::ParseContentTypeMultipart(const TString& value, TString& boundary)
{
	return parseContentItem(value, "boundary", boundary);
}

bool HeaderUtil::ParseContentTypeAttachment(const TString& value, TString& mimeType, TString& filename)
{
	std::vector<std::string> tokens = paramTokens(value);
	std::string first = tokens.empty() ? std::string() : tokens[0];
	trimStd(first);
	mimeType.Erase();
	mimeType.CharsetSet(value.CharsetGet());
	mimeType.AllowInvalidSet(true);
	mimeType.Erase();
	mimeType.AppendByte(first.data(), long(first.size()));
	parseFilename(value, filename);
	return !mimeType.Empty();
}

bool HeaderUtil::ParseContentTypePartial(const TString& value, TString& id, long& number, long& total)
{
	number = total = 0;
	TString n, t;
	bool ok = parseContentItem(value, "id", id) && parseContentItem(value, "number", n) &&
		parseContentItem(value, "total", t);
	if (!ok)
		return false;
	long nv = decimal(n), tv = decimal(t);
	if (nv < 1 || tv < 1 || nv > tv)
		return false;
	number = nv;
	total = tv;
	return true;
}

bool HeaderUtil::ParseContentDisposition(const TString& value, TString& filename)
{
	return parseFilename(value, filename);
}

ContentEncoding HeaderUtil::ParseContentEncoding(const TString& value)
{
	TString v(value);
	v.Trim();
	for (int e = ContentEncodingBase64; e <= ContentEncodingQuotedPrintable; ++e)
		if (v.CompareNoCase(ContentEncodingString(ContentEncoding(e))) == 0)
			return ContentEncoding(e);
	return ContentEncoding8bit;
}

long HeaderUtil::ParseLines(const TString& value)
{
	long v = decimal(value);
	return (v >= 1 && v <= 600000) ? v : 1;
}

const char* HeaderUtil::ContentEncodingString(ContentEncoding encoding)
{
	switch (encoding) {
	case ContentEncodingBase64: return "Base64";
	case ContentEncoding7bit: return "7bit";
	case ContentEncodingQuotedPrintable: return "Quoted-Printable";
	default: return "8bit";
	}
}

void HeaderUtil::CreateContentType(TString& out, ContentType type, Charset charset)
{
	const char* spelling = type == ContentTypePartial ? "message/partial"
		: type == ContentTypeHtml                     ? "text/html"
													  : "text/plain";
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	out.Fmt("%s; charset=%s", spelling, CSet::String(CSet::MakeValid(charset)));
}

void HeaderUtil::CreateContentEncoding(TString& out, ContentEncoding encoding)
{
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	out = ContentEncodingString(encoding);
}

void HeaderUtil::CreateDate(TString& out)
{
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	TimeFormat::DateTimeVal(
		out, TimeCore::TimeGet(), TimeCore::kBiasLocal, "%w1, %d2 %n3 %y1 %h3:%m1:%s1 %t1", true);
}

void HeaderUtil::CreateFrom(TString& out, const TString& name, const TString& address)
{
	TString result;
	result.CharsetSet(name.CharsetGet());
	result.AllowInvalidSet(true);
	result.AppendByte(name.String(), name.ByteLength());
	result.AppendByte(" <", 2);
	result.AppendByte(address.String(), address.ByteLength());
	result.AppendByte(">", 1);
	out = std::move(result);
}

void HeaderUtil::CreateLines(TString& out, long count)
{
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	out.Fmt("%ld", count);
}

void HeaderUtil::CreateMimeVersion(TString& out)
{
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	out = "1.0";
}

void HeaderUtil::CreateReferences(TString& out, const TString& parentId, const TString& parentReferences)
{
	std::vector<TString> list;
	refList(parentReferences, list);
	while (list.size() >= 20)
		list.erase(list.begin() + 1);
	std::string joined;
	for (const TString& id : list) {
		if (!joined.empty())
			joined += ' ';
		joined += id.String();
	}
	TString parent(parentId);
	parent.Trim();
	if (NetName::MsgIdValid(parent)) {
		if (!joined.empty())
			joined += ' ';
		joined += parent.String();
	}
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	out.AllowInvalidSet(false);
	out.Erase();
	// Message-ids hold printable ASCII only once valid, so this is plain text.
	out.AppendByte(joined.data(), long(joined.size()));
	out.Trim();
}

// ---- lists

bool HeaderUtil::ParseNewsgroups(const TString& value, NewsgroupSet& set)
{
	set.clear();
	const char* s = value.String();
	long n = value.ByteLength(), start = 0;
	for (long i = 0; i <= n; ++i) {
		if (i < n && s[i] != ',')
			continue;
		TString piece;
		piece.CharsetSet(kCharsetUTF8);
		piece.AllowInvalidSet(true);
		piece.AppendByte(s + start, i - start);
		piece.Trim();
		start = i + 1;
		if (piece.Valid() && NetName::NewsValid(piece)) {
			piece.AllowInvalidSet(false);
			set.insert(piece);
		}
	}
	return !set.empty();
}

long HeaderUtil::refList(const TString& value, std::vector<TString>& list)
{
	list.clear();
	const char* s = value.String();
	long n = value.ByteLength();
	for (long i = 0; i < n;) {
		while (i < n && isWhite(s[i]))
			++i;
		long start = i;
		while (i < n && !isWhite(s[i]))
			++i;
		if (i > start && i - start <= 255) {
			TString id;
			id.CharsetSet(kCharsetUTF8);
			id.AllowInvalidSet(true);
			id.AppendByte(s + start, i - start);
			if (NetName::MsgIdValid(id) && id.IsAscii()) {
				id.AllowInvalidSet(false);
				list.push_back(id);
			}
		}
	}
	return long(list.size());
}

// ---- part counters and delimiters

char HeaderUtil::delimClose(char open)
{
	const char* p = open ? Str::FindPtr(kOpen, open) : nullptr;
	return p ? kClose[p - kOpen] : 0;
}

char HeaderUtil::delimOpen(char close)
{
	const char* p = close ? Str::FindPtr(kClose, close) : nullptr;
	return p ? kOpen[p - kClose] : 0;
}

bool HeaderUtil::delimRangeLast(const TString& text, StringRange& range, bool& found)
{
	const char* s = text.String();
	long end = std::min<long>(range.pos + range.len, text.ByteLength());
	found = false;
	long p = end - 1;
	while (p >= range.pos && !delimOpen(s[p]))
		--p;
	if (p < range.pos)
		return false;
	found = true;
	char open = delimOpen(s[p]);
	long q = p - 1;
	while (q >= range.pos && s[q] != open)
		--q;
	if (q < range.pos) {
		range = StringRange(int32_t(p), 1);
		return false;
	}
	range = StringRange(int32_t(q), int32_t(p - q + 1));
	return true;
}

bool HeaderUtil::partXofY(const TString& text, long& x, long& y, long& start, long& length)
{
	x = y = 0;
	long textLen = text.ByteLength();
	long end = textLen;
	while (end > 0) {
		StringRange r(0, int32_t(end));
		bool found = false;
		bool group = delimRangeLast(text, r, found);
		if (!found)
			return false;
		if (!group) {
			end = r.pos;  // a closing character without its opening one
			continue;
		}
		TString inner = text.SubstringByte(r.pos + 1, r.len - 2);
		const char* slash = inner.FindPtr('/');
		if (slash && !Str::FindPtr(slash + 1, '/')) {
			long at = long(slash - inner.String());
			long a = decimal(inner.SubstringByte(0, at));
			long b = decimal(inner.SubstringByte(at + 1, inner.ByteLength() - at - 1));
			if (a >= 1 && a <= 1000 && b >= 2 && b <= 1000 && a <= b) {
				x = a;
				y = b;
				start = r.pos;
				length = r.len;
				return true;
			}
		}
		if (r.len + 4 >= textLen)
			end = r.pos + r.len - 1;
		else
			end = r.pos;
	}
	return false;
}

bool HeaderUtil::PartXofY(const TString& text, long& x, long& y)
{
	long start, length;
	return partXofY(text, x, y, start, length);
}

bool HeaderUtil::PartXofY(const TString& text, TString& rest, long& x, long& y)
{
	long start = 0, length = 0;
	bool found = partXofY(text, x, y, start, length);
	TString r(text);
	if (found)
		r.EraseByte(start, length);
	r.Trim();
	rest = std::move(r);
	return found;
}

bool HeaderUtil::delimRemove(TString& text)
{
	text.Trim();
	long n = text.ByteLength();
	if (n < 2 || !delimClose(text.ByteFirst()) || delimClose(text.ByteFirst()) != text.ByteLast())
		return false;
	text.EraseByte(n - 1, 1);
	text.EraseByte(0, 1);
	text.Trim();
	return true;
}

void HeaderUtil::delimRemoveInternal(TString& text)
{
	std::string s(text.String(), size_t(text.ByteLength()));
	bool changed = true;
	while (changed) {
		changed = false;
		for (size_t i = 0; i + 1 < s.size(); ++i) {
			if (delimClose(s[i]) && delimClose(s[i]) == s[i + 1]) {
				s.erase(i, 2);
				changed = true;
				break;
			}
		}
	}
	Charset cs = text.CharsetGet();
	bool allow = text.AllowInvalidGet();
	text.AllowInvalidSet(true);
	text.Erase();
	text.AppendByte(s.data(), long(s.size()));
	text.CharsetSet(cs);
	text.AllowInvalidSet(allow || !text.Valid());
}

// ---- message file names

void HeaderUtil::MessageFilename(TString& out, const TString& messageId)
{
	TString digest;
	if (messageId.Empty())
		Md5::HexDigest("<None>", 6, digest);
	else
		Md5::HexDigest(messageId, digest);
	out.Erase();
	out.CharsetSet(kCharsetUTF8);
	out.AllowInvalidSet(false);
	out.Fmt("QM%s.%s", digest.String(), MessageExtension());
}

bool HeaderUtil::IsMessageFile(const TString& path)
{
	TString name, ext;
	PathMngr::SplitLeafExt(path, name, ext);
	return ext.CompareNoCase(MessageExtension()) == 0;
}

bool HeaderUtil::IsMessageFile(const DEntry& entry)
{
	return IsMessageFile(entry.Leaf());
}

bool HeaderUtil::IsMessageFilename(const TString& path)
{
	TString name, ext;
	PathMngr::SplitLeafExt(path, name, ext);
	if (ext.CompareNoCase(MessageExtension()) != 0 || name.ByteLength() != 34)
		return false;
	if (name.ByteAt(0) != 'Q' || name.ByteAt(1) != 'M')
		return false;
	for (long i = 2; i < 34; ++i)
		if (!Str::IsHexDigit(name.ByteAt(i)))
			return false;
	return true;
}
