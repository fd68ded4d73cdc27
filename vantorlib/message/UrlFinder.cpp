#include "UrlFinder.h"

#include <strings.h>

#include <cstring>

#include "NetName.h"

namespace {

enum CharClass { ClassGeneric, ClassEmail, ClassNews };

}  // namespace

struct UrlFinder::Row {
	Kind kind;
	const char* starts;
	CharClass chars;
	const char* prefix;
	const char* alternative;
};

namespace {

// Tried in this order at each character that may start a link.
const UrlFinder::Row* rows(size_t& count);

bool genericChar(unsigned char c)
{
	if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
		return true;
	return c != 0 && std::strchr("!#$%&'()*+,-./:;=?@[]^_|~", c) != nullptr;
}

bool emailChar(unsigned char c)
{
	return c < 128 && NetName::EmailChar(char(c));
}

bool newsChar(unsigned char c)
{
	return c > 127 || c == '<' || c == '>' || NetName::NewsChar(char(c)) || NetName::MsgIdChar(char(c));
}

bool classChar(int cls, unsigned char c)
{
	switch (cls) {
	case ClassEmail: return emailChar(c);
	case ClassNews: return newsChar(c);
	default: return genericChar(c);
	}
}

bool clipChar(char c)
{
	return c != 0 && std::strchr("!,.:;?", c) != nullptr;
}

bool startsWithNoCase(std::string_view text, size_t at, const char* prefix)
{
	size_t n = std::strlen(prefix);
	return at + n <= text.size() && strncasecmp(text.data() + at, prefix, n) == 0;
}

// The code point that ends just before byte at (0 when at is 0 or the bytes are broken).
char32_t previousChar(std::string_view text, size_t at)
{
	if (at == 0)
		return 0;
	size_t i = at - 1;
	int back = 0;
	while (i > 0 && back < 3 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
		--i;
		++back;
	}
	unsigned char lead = static_cast<unsigned char>(text[i]);
	size_t n = at - i;
	if (n == 1)
		return lead < 0x80 ? lead : 0;
	char32_t c = 0;
	if (n == 2 && (lead & 0xE0) == 0xC0)
		c = lead & 0x1F;
	else if (n == 3 && (lead & 0xF0) == 0xE0)
		c = lead & 0x0F;
	else if (n == 4 && (lead & 0xF8) == 0xF0)
		c = lead & 0x07;
	else
		return 0;
	for (size_t k = i + 1; k < at; ++k)
		c = (c << 6) | (static_cast<unsigned char>(text[k]) & 0x3F);
	return c;
}

// Delimiter pairs around links: opening, closing.
const char32_t kPairs[][2] = {
	{'(', ')'},
	{'<', '>'},
	{'"', '"'},
	{'[', ']'},
	{'{', '}'},
	{0x201C, 0x201D},
	{0x2018, 0x2019},
};

char32_t closingOf(char32_t open)
{
	for (const auto& p : kPairs)
		if (p[0] == open)
			return p[1];
	return 0;
}

const UrlFinder::Row kRows[] = {
	{UrlFinder::KindEmail, "@mM", ClassEmail, "mailto:", nullptr},
	{UrlFinder::KindFile, "fF", ClassGeneric, "file://", nullptr},
	{UrlFinder::KindFtp, "fF", ClassGeneric, "ftp://", "ftp."},
	{UrlFinder::KindHttp, "hHwW", ClassGeneric, "http://", "www."},
	{UrlFinder::KindHttps, "hH", ClassGeneric, "https://", nullptr},
	{UrlFinder::KindMedia, "mM", ClassGeneric, "mms://", nullptr},
	{UrlFinder::KindNews, "<nN", ClassNews, "news:", nullptr},
	{UrlFinder::KindMedia, "rR", ClassGeneric, "rtsp://", nullptr},
	{UrlFinder::KindTelnet, "tT", ClassGeneric, "telnet://", nullptr},
};

const UrlFinder::Row* rows(size_t& count)
{
	count = sizeof kRows / sizeof kRows[0];
	return kRows;
}

bool startChar(char c)
{
	return c != 0 && std::strchr("@mMfFhHwW<nNrRtT", c) != nullptr;
}

}  // namespace

bool UrlFinder::allowedBefore(std::string_view text, size_t at, char32_t* before)
{
	*before = 0;
	if (at == 0)
		return true;
	char32_t c = previousChar(text, at);
	*before = c;
	if (c == '\r' || c == '\n' || c == '\t' || c == 0x85 || c == 0xA0 || c == ' ' || c == '>')
		return true;
	return closingOf(c) != 0;
}

void UrlFinder::target(std::string_view linkText, const Row& row, TString& out)
{
	std::string t;
	for (char c : linkText)
		if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '<' && c != '>')
			t += c;
	if (startsWithNoCase(t, 0, row.prefix))
		t.replace(0, std::strlen(row.prefix), row.prefix);
	else
		t.insert(0, row.prefix);
	out.AllowInvalidSet(true);
	out.AppendByte(t.data(), long(t.size()));
	if (!out.Valid())
		out.Clean();
	out.AllowInvalidSet(false);
}

bool UrlFinder::tryGeneric(std::string_view text, size_t at, const Row& row, Link* link)
{
	size_t plen = 0;
	if (startsWithNoCase(text, at, row.prefix))
		plen = std::strlen(row.prefix);
	else if (row.alternative && startsWithNoCase(text, at, row.alternative))
		plen = std::strlen(row.alternative);
	else
		return false;
	char32_t before = 0;
	if (!allowedBefore(text, at, &before))
		return false;
	// How far the link starts into its line (enough to know when it reaches kWrapMin).
	size_t lineStart = at;
	while (lineStart > 0 && text[lineStart - 1] != '\n' && at - lineStart < size_t(kWrapMin))
		--lineStart;
	size_t end = at + plen;
	size_t limit = at + size_t(kLookMax) < text.size() ? at + size_t(kLookMax) : text.size();
	size_t chars = 0;  // after the prefix, line breaks left out
	while (end < limit) {
		unsigned char c = static_cast<unsigned char>(text[end]);
		if (c == '\n') {
			// A long line may continue the link on the next one, unless that starts a link.
			if (long(end - lineStart) < kWrapMin || end + 1 >= limit)
				break;
			size_t next = end + 1;
			if (!classChar(row.chars, static_cast<unsigned char>(text[next])))
				break;
			bool startsLink = false;
			size_t count = 0;
			const Row* all = rows(count);
			for (size_t r = 0; r < count && !startsLink; ++r)
				if (std::strchr(all[r].starts, text[next]) && all[r].chars == ClassGeneric &&
					tryGeneric(text, next, all[r], nullptr))
					startsLink = true;
			if (startsLink)
				break;
			lineStart = next;
			end = next;
			continue;
		}
		if (!classChar(row.chars, c))
			break;
		++end;
		++chars;
	}
	if (chars < 4)
		return false;
	if (clipChar(text[end - 1]))
		--end;
	char32_t close = closingOf(before);
	if (close != 0 && close < 0x80 && static_cast<unsigned char>(text[end - 1]) == close)
		--end;
	if (end <= at + plen)
		return false;
	if (link) {
		link->pos = long(at);
		link->len = long(end - at);
		link->kind = row.kind;
		link->target.Erase();
		target(text.substr(at, end - at), row, link->target);
	}
	return true;
}

bool UrlFinder::tryEmail(std::string_view text, size_t at, Link* link)
{
	size_t left = at;
	size_t leftMin = at > size_t(kLookMax) ? at - size_t(kLookMax) : 0;
	while (left > leftMin && emailChar(static_cast<unsigned char>(text[left - 1])) && text[left - 1] != '@')
		--left;
	size_t right = at + 1;
	while (right < text.size() && right - left < size_t(kLookMax) &&
		emailChar(static_cast<unsigned char>(text[right])) && text[right] != '@')
		++right;
	if (right > at + 1 && clipChar(text[right - 1]))
		--right;
	size_t len = right - left;
	if (left == at || len < 4 || len > size_t(kLookMax))
		return false;
	char32_t before = 0;
	if (!allowedBefore(text, left, &before))
		return false;
	TString address;
	address.AppendByte(text.data() + left, long(len));
	if (!NetName::EmailValid(address))
		return false;
	if (link) {
		link->pos = long(left);
		link->len = long(len);
		link->kind = KindEmail;
		link->target.Erase();
		target(text.substr(left, len), kRows[0], link->target);
	}
	return true;
}

bool UrlFinder::tryNews(std::string_view text, size_t at, Link* link)
{
	size_t limit = at + size_t(kLookMax) < text.size() ? at + size_t(kLookMax) : text.size();
	size_t close = text.find('>', at + 1);
	if (close == std::string_view::npos || close >= limit)
		return false;
	size_t len = close + 1 - at;
	TString id;
	id.AllowInvalidSet(true);
	id.AppendByte(text.data() + at, long(len));
	if (!NetName::MsgIdValid(id))
		return false;
	TString inner = id.SubstringByte(1, id.ByteLength() - 2);
	if (NetName::EmailOrMsgId(inner))
		return false;
	if (link) {
		link->pos = long(at);
		link->len = long(len);
		link->kind = KindNews;
		link->target.Erase();
		size_t count = 0;
		target(text.substr(at, len), rows(count)[6], link->target);
	}
	return true;
}

bool UrlFinder::tryRow(std::string_view text, size_t at, const Row& row, Link* link)
{
	char c = text[at];
	if (row.kind == KindEmail && c == '@')
		return tryEmail(text, at, link);
	if (row.kind == KindNews && c == '<')
		return tryNews(text, at, link);
	return tryGeneric(text, at, row, link);
}

long UrlFinder::Locate(std::string_view text, std::vector<Link>& links)
{
	long found = 0;
	size_t count = 0;
	const Row* all = rows(count);
	size_t i = 0;
	while (i < text.size()) {
		char c = text[i];
		if (!startChar(c)) {
			++i;
			continue;
		}
		Link link;
		bool hit = false;
		for (size_t r = 0; r < count && !hit; ++r)
			if (std::strchr(all[r].starts, c) && tryRow(text, i, all[r], &link))
				hit = true;
		if (!hit) {
			++i;
			continue;
		}
		// An address found from its "@" may begin before links already found end.
		if (!links.empty() && found > 0 && link.pos < links.back().pos + links.back().len) {
			++i;
			continue;
		}
		i = size_t(link.pos + link.len);
		links.push_back(std::move(link));
		++found;
	}
	return found;
}
