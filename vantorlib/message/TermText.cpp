#include "TermText.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

#include "QuoteFinder.h"
#include "UrlFinder.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

// The length of the valid UTF-8 character at s (its code point in cp), or 0.
size_t utf8Char(const unsigned char* s, size_t n, char32_t& cp)
{
	unsigned char c = s[0];
	size_t len = 0;
	char32_t min = 0;
	if (c < 0x80) {
		cp = c;
		return 1;
	} else if ((c & 0xE0) == 0xC0) {
		len = 2;
		cp = c & 0x1F;
		min = 0x80;
	} else if ((c & 0xF0) == 0xE0) {
		len = 3;
		cp = c & 0x0F;
		min = 0x800;
	} else if ((c & 0xF8) == 0xF0) {
		len = 4;
		cp = c & 0x07;
		min = 0x10000;
	} else {
		return 0;
	}
	if (len > n)
		return 0;
	for (size_t i = 1; i < len; ++i) {
		if ((s[i] & 0xC0) != 0x80)
			return 0;
		cp = (cp << 6) | (s[i] & 0x3F);
	}
	if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
		return 0;
	return len;
}

void appendUtf8(char32_t cp, std::string& out)
{
	if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
		out += kReplacement;
	} else if (cp < 0x80) {
		out += char(cp);
	} else if (cp < 0x800) {
		out += char(0xC0 | (cp >> 6));
		out += char(0x80 | (cp & 0x3F));
	} else if (cp < 0x10000) {
		out += char(0xE0 | (cp >> 12));
		out += char(0x80 | ((cp >> 6) & 0x3F));
		out += char(0x80 | (cp & 0x3F));
	} else {
		out += char(0xF0 | (cp >> 18));
		out += char(0x80 | ((cp >> 12) & 0x3F));
		out += char(0x80 | ((cp >> 6) & 0x3F));
		out += char(0x80 | (cp & 0x3F));
	}
}

// Quote colours by depth (1 to 4) and the link style, as SGR parameters.
const char* const kQuoteSgr[] = {"", "36", "32", "33", "35"};
const char kLinkSgr[] = "4;34";

}  // namespace

void TermText::Sanitize(std::string_view text, std::string& out)
{
	const auto* s = reinterpret_cast<const unsigned char*>(text.data());
	size_t n = text.size();
	size_t i = 0;
	while (i < n) {
		unsigned char c = s[i];
		if (c == '\t' || c == '\n' || (c >= 0x20 && c < 0x7F)) {
			out += char(c);
			++i;
		} else if (c < 0x20) {
			out += '^';
			out += char(c + 64);
			++i;
		} else if (c == 0x7F) {
			out += "^?";
			++i;
		} else {
			char32_t cp = 0;
			size_t len = utf8Char(s + i, n - i, cp);
			if (len == 0) {
				out += kReplacement;
				++i;
			} else {
				bool control = (cp >= 0x80 && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
					(cp >= 0x2066 && cp <= 0x2069);
				if (control)
					out += kReplacement;
				else
					out.append(text.data() + i, len);
				i += len;
			}
		}
	}
}

void TermText::Colour(std::string_view text, std::string& out)
{
	std::vector<QuoteFinder::Range> quotes;
	std::vector<UrlFinder::Link> links;
	QuoteFinder::Locate(text, quotes);
	UrlFinder::Locate(text, links);
	std::vector<size_t> cuts = {0, text.size()};
	for (const auto& q : quotes) {
		cuts.push_back(size_t(q.pos));
		cuts.push_back(size_t(q.pos + q.len));
	}
	for (const auto& l : links) {
		cuts.push_back(size_t(l.pos));
		cuts.push_back(size_t(l.pos + l.len));
	}
	std::sort(cuts.begin(), cuts.end());
	cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
	size_t qi = 0, li = 0;
	std::string style;
	for (size_t k = 0; k + 1 < cuts.size(); ++k) {
		size_t a = cuts[k], b = cuts[k + 1];
		while (qi < quotes.size() && size_t(quotes[qi].pos + quotes[qi].len) <= a)
			++qi;
		while (li < links.size() && size_t(links[li].pos + links[li].len) <= a)
			++li;
		bool quoted = qi < quotes.size() && size_t(quotes[qi].pos) <= a;
		bool linked = li < links.size() && size_t(links[li].pos) <= a;
		std::string want;
		if (quoted)
			want = kQuoteSgr[quotes[qi].colour];
		if (linked)
			want += (want.empty() ? "" : ";") + std::string(kLinkSgr);
		if (want != style) {
			out += "\x1b[0m";
			if (!want.empty())
				out += "\x1b[" + want + "m";
			style = want;
		}
		Sanitize(text.substr(a, b - a), out);
	}
	if (!style.empty())
		out += "\x1b[0m";
}

namespace {

bool startsNoCase(std::string_view s, size_t at, const char* word)
{
	size_t n = std::strlen(word);
	return at + n <= s.size() && strncasecmp(s.data() + at, word, n) == 0;
}

// The tag names that begin and end a block of text.
bool blockTag(std::string_view name)
{
	static const char* const kBlocks[] = {"p", "div", "tr", "li", "ul", "ol", "table", "h1", "h2", "h3", "h4",
		"h5", "h6", "blockquote", "pre", "hr", "dl", "dt", "dd", "section", "article", "header", "footer",
		"title", "body", "html"};
	for (const char* b : kBlocks)
		if (name.size() == std::strlen(b) && strncasecmp(name.data(), b, name.size()) == 0)
			return true;
	return false;
}

// A character reference at s[at] ("&amp;", "&#233;", "&#xE9;"); its length, or 0.
size_t entity(std::string_view s, size_t at, std::string& out)
{
	size_t semi = s.find(';', at);
	if (semi == std::string_view::npos || semi - at > 10)
		return 0;
	std::string_view name = s.substr(at + 1, semi - at - 1);
	static const struct {
		const char* name;
		char32_t cp;
	} kNames[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0},
		{"copy", 0xA9}, {"reg", 0xAE}, {"hellip", 0x2026}, {"mdash", 0x2014}, {"ndash", 0x2013},
		{"laquo", 0xAB}, {"raquo", 0xBB}, {"euro", 0x20AC}};
	if (!name.empty() && name[0] == '#') {
		char32_t cp = 0;
		bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
		size_t i = hex ? 2 : 1;
		if (i >= name.size())
			return 0;
		for (; i < name.size(); ++i) {
			char c = name[i];
			int v = c >= '0' && c <= '9'      ? c - '0'
				: hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
				: hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
											  : -1;
			if (v < 0)
				return 0;
			cp = cp * (hex ? 16 : 10) + char32_t(v);
			if (cp > 0x10FFFF)
				cp = 0x110000;
		}
		appendUtf8(cp, out);
		return semi + 1 - at;
	}
	for (const auto& e : kNames)
		if (name == e.name) {
			appendUtf8(e.cp, out);
			return semi + 1 - at;
		}
	return 0;
}

void newline(std::string& out, int wanted)
{
	int have = 0;
	for (size_t i = out.size(); i > 0 && out[i - 1] == '\n' && have < 2; --i)
		++have;
	if (out.empty())
		return;
	while (have < wanted) {
		out += '\n';
		++have;
	}
}

}  // namespace

void TermText::FromHtml(std::string_view html, std::string& out)
{
	std::string text;
	bool pre = false;
	bool space = false;
	size_t i = 0;
	while (i < html.size()) {
		char c = html[i];
		if (c == '<') {
			if (html.compare(i, 4, "<!--") == 0) {
				size_t end = html.find("-->", i + 4);
				i = end == std::string_view::npos ? html.size() : end + 3;
				continue;
			}
			size_t end = html.find('>', i + 1);
			if (end == std::string_view::npos) {
				i = html.size();
				break;
			}
			std::string_view tag = html.substr(i + 1, end - i - 1);
			bool closing = !tag.empty() && tag[0] == '/';
			size_t n0 = closing ? 1 : 0, n1 = n0;
			while (n1 < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[n1]))))
				++n1;
			std::string_view name = tag.substr(n0, n1 - n0);
			i = end + 1;
			if (!closing && (startsNoCase(name, 0, "script") || startsNoCase(name, 0, "style")) &&
				(name.size() == 6 || name.size() == 5)) {
				std::string close = "</" + std::string(name);
				size_t stop = i;
				while (stop < html.size() && !startsNoCase(html, stop, close.c_str()))
					++stop;
				size_t gt = html.find('>', stop);
				i = gt == std::string_view::npos ? html.size() : gt + 1;
				continue;
			}
			if (name.size() == 2 && strncasecmp(name.data(), "br", 2) == 0) {
				text += '\n';
				space = false;
			} else if (name.size() == 3 && strncasecmp(name.data(), "pre", 3) == 0) {
				pre = !closing;
				newline(text, 1);
			} else if (name.size() == 2 && strncasecmp(name.data(), "li", 2) == 0 && !closing) {
				newline(text, 1);
				text += "* ";
				space = false;
			} else if (blockTag(name)) {
				bool para = name.size() == 1 || name[0] == 'h' || name[0] == 'H' ||
					strncasecmp(name.data(), "blockquote", name.size()) == 0;
				newline(text, para ? 2 : 1);
				space = false;
			} else if (name.size() == 2 &&
				(strncasecmp(name.data(), "td", 2) == 0 || strncasecmp(name.data(), "th", 2) == 0) &&
				!closing) {
				space = true;
			}
			continue;
		}
		if (!pre && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
			space = true;
			++i;
			continue;
		}
		if (space && !text.empty() && text.back() != '\n')
			text += ' ';
		space = false;
		if (c == '&') {
			size_t used = entity(html, i, text);
			if (used > 0) {
				i += used;
				continue;
			}
		}
		text += c;
		++i;
	}
	// Trailing blank lines go; the text ends with one line feed.
	while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
		text.pop_back();
	if (!text.empty())
		text += '\n';
	out += text;
}
