#include "OutputName.h"

#include <string>

#include "PathMngr.h"

namespace {

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 when it is not one.
size_t utf8Length(const unsigned char* p, size_t n)
{
	unsigned char c = p[0];
	size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
	if (len == 0 || len > n)
		return 0;
	for (size_t i = 1; i < len; ++i)
		if ((p[i] & 0xC0) != 0x80)
			return 0;
	unsigned long cp = len == 1 ? c : c & (0x7F >> len);
	for (size_t i = 1; i < len; ++i)
		cp = (cp << 6) | (p[i] & 0x3F);
	// Over-long forms, surrogates and values past the last code point are not UTF-8.
	static const unsigned long least[5] = {0, 0, 0x80, 0x800, 0x10000};
	if (cp < least[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
		return 0;
	return len;
}

// Cuts s to at most max bytes without splitting a character.
std::string cut(const std::string& s, size_t max)
{
	if (s.size() <= max)
		return s;
	size_t n = max;
	while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
		--n;
	return s.substr(0, n);
}

size_t extDot(const std::string& s)
{
	size_t dot = s.rfind('.');
	if (dot == std::string::npos || dot == 0 || s.size() - dot > 16)
		return std::string::npos;
	return dot;
}

}  // namespace

TString OutputName::Clean(const TString& name)
{
	const unsigned char* p = reinterpret_cast<const unsigned char*>(name.String());
	size_t n = size_t(name.ByteLength());
	std::string out;
	out.reserve(n);
	for (size_t i = 0; i < n;) {
		size_t len = utf8Length(p + i, n - i);
		if (len == 0) {
			out += '_';
			++i;
			continue;
		}
		unsigned char c = p[i];
		if (len == 1 && (c < 0x20 || c == 0x7F || c == '/' || c == '\\'))
			out += '_';
		else
			out.append(reinterpret_cast<const char*>(p + i), len);
		i += len;
	}
	size_t b = 0, e = out.size();
	while (b < e && out[b] == ' ')
		++b;
	while (e > b && out[e - 1] == ' ')
		--e;
	out = out.substr(b, e - b);
	if (!out.empty() && out[0] == '.')
		out[0] = '_';
	if (out.size() > size_t(kNameMax)) {
		size_t dot = extDot(out);
		std::string ext = dot == std::string::npos ? std::string() : out.substr(dot);
		out = cut(out.substr(0, out.size() - ext.size()), size_t(kNameMax) - ext.size()) + ext;
	}
	if (out.empty())
		out = "attachment";
	TString result;
	result.CharsetSet(kCharsetUTF8);
	result.AppendByte(out.data(), long(out.size()));
	return result;
}

Error OutputName::Create(const TString& dir, const TString& name, DiskFile& file, TString& path)
{
	TString leaf = Clean(name);
	std::string base(leaf.String(), size_t(leaf.ByteLength()));
	size_t dot = extDot(base);
	std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
	std::string ext = dot == std::string::npos ? std::string() : base.substr(dot);
	for (int i = 0; i < kTriesMax; ++i) {
		std::string candidate = base;
		if (i > 0) {
			candidate = stem;
			candidate += '-';
			candidate += std::to_string(i);
			candidate += ext;
		}
		path = dir;
		TString part;
		part.CharsetSet(kCharsetUTF8);
		part.AppendByte(candidate.data(), long(candidate.size()));
		if (!PathMngr::Append(path, part))
			return ErrGmBadPath;
		Error e = file.CreateNew(path, DiskFile::kLockWaitDefault);
		if (e != ErrFileAlreadyExists)
			return e;
	}
	path.Erase();
	return ErrFileAlreadyExists;
}
