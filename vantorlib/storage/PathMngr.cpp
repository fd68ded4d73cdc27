#include "PathMngr.h"

#include <cstring>
#include <string>

#include "FileBase.h"

namespace {

std::string str(const char* s)
{
	return s ? std::string(s) : std::string();
}

std::string str(const TString& s)
{
	return std::string(s.String(), static_cast<size_t>(s.ByteLength()));
}

void put(TString& out, const std::string& s)
{
	FileBase::AssignBytes(out, s.data(), s.size());
}

bool validPath(const std::string& p)
{
	if (p.empty())
		return false;
	if (p == "/")
		return true;
	if (p.back() == '/' || p.find("//") != std::string::npos)
		return false;
	for (unsigned char c : p)
		if (c != '/' && !PathMngr::ValidChar(c))
			return false;
	return true;
}

bool validLeaf(const std::string& l)
{
	if (l.empty() || l == "." || l == "..")
		return false;
	for (unsigned char c : l)
		if (!PathMngr::ValidChar(c) || c == ':')
			return false;
	return true;
}

// Splits a valid path; false for an invalid one.
bool splitRootLeaf(const std::string& p, std::string& root, std::string& leaf)
{
	root.clear();
	leaf.clear();
	if (!validPath(p))
		return false;
	size_t slash = p.rfind('/');
	if (slash == std::string::npos || p.size() == 1) {
		leaf = p;
		return true;
	}
	root = slash == 0 ? std::string("/") : p.substr(0, slash);
	leaf = p.substr(slash + 1);
	return true;
}

// Position of the extension's "." in a leaf, or npos when it has none.
size_t extDot(const std::string& leaf)
{
	size_t dot = leaf.rfind('.');
	if (dot == std::string::npos || dot == 0 || dot + 1 >= leaf.size())
		return std::string::npos;
	return dot;
}

bool isWhite(unsigned char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string sanitize(const std::string& in)
{
	std::string out;
	out.reserve(in.size());
	for (unsigned char c : in) {
		if (c == '/') {
			if (!out.empty() && out.back() == '/')
				continue;
			out += '/';
		} else {
			out += PathMngr::ValidChar(c) ? static_cast<char>(c) : '_';
		}
	}
	while (out.size() > 1 && out.back() == '/')
		out.pop_back();
	return out;
}

// Cuts s to at most max bytes without splitting a UTF-8 character.
std::string cutBytes(const std::string& s, size_t max)
{
	if (s.size() <= max)
		return s;
	size_t n = max;
	while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
		--n;
	return s.substr(0, n);
}

}  // namespace

bool PathMngr::IsAbsolute(const char* path)
{
	return path && path[0] == '/';
}

bool PathMngr::IsAbsolute(const TString& path)
{
	return IsAbsolute(path.String());
}

bool PathMngr::DotPath(const char* leaf)
{
	return leaf && (std::strcmp(leaf, ".") == 0 || std::strcmp(leaf, "..") == 0);
}

bool PathMngr::DotPath(const TString& leaf)
{
	return DotPath(leaf.String());
}

bool PathMngr::Valid(const char* path)
{
	return validPath(str(path));
}

bool PathMngr::Valid(const TString& path)
{
	return validPath(str(path));
}

bool PathMngr::ValidLeaf(const char* leaf)
{
	return validLeaf(str(leaf));
}

bool PathMngr::ValidLeaf(const TString& leaf)
{
	return validLeaf(str(leaf));
}

void PathMngr::Separator(TString& path, bool add)
{
	std::string p = str(path);
	while (!p.empty() && p.back() == '/')
		p.pop_back();
	if (add)
		p += '/';
	put(path, p);
}

bool PathMngr::Append(TString& path, const char* leaf)
{
	std::string p = str(path), l = str(leaf);
	if (!p.empty() && !l.empty()) {
		while (!p.empty() && p.back() == '/')
			p.pop_back();
		p += '/';
		size_t skip = 0;
		while (skip < l.size() && l[skip] == '/')
			++skip;
		p += l.substr(skip);
	} else {
		p += l;
	}
	if (!validPath(p)) {
		path.Erase();
		return false;
	}
	put(path, p);
	return true;
}

bool PathMngr::Append(TString& path, const TString& leaf)
{
	std::string l = str(leaf);
	return Append(path, l.c_str());
}

bool PathMngr::SplitRootLeaf(const char* path, TString& root, TString& leaf)
{
	std::string r, l;
	bool ok = splitRootLeaf(str(path), r, l);
	put(root, r);
	put(leaf, l);
	return ok;
}

bool PathMngr::SplitRootLeaf(const TString& path, TString& root, TString& leaf)
{
	std::string p = str(path);
	return SplitRootLeaf(p.c_str(), root, leaf);
}

bool PathMngr::SplitRoot(const char* path, TString& root)
{
	TString leaf;
	return SplitRootLeaf(path, root, leaf);
}

bool PathMngr::SplitRoot(const TString& path, TString& root)
{
	TString leaf;
	return SplitRootLeaf(path, root, leaf);
}

bool PathMngr::SplitLeaf(const char* path, TString& leaf)
{
	TString root;
	return SplitRootLeaf(path, root, leaf);
}

bool PathMngr::SplitLeaf(const TString& path, TString& leaf)
{
	TString root;
	return SplitRootLeaf(path, root, leaf);
}

bool PathMngr::SplitLeafExt(const char* path, TString& name, TString& ext)
{
	std::string r, l;
	if (!splitRootLeaf(str(path), r, l)) {
		name.Erase();
		ext.Erase();
		return false;
	}
	size_t dot = extDot(l);
	if (dot == std::string::npos) {
		put(name, l);
		ext.Erase();
	} else {
		put(name, l.substr(0, dot));
		put(ext, l.substr(dot + 1));
	}
	return true;
}

bool PathMngr::SplitLeafExt(const TString& path, TString& name, TString& ext)
{
	std::string p = str(path);
	return SplitLeafExt(p.c_str(), name, ext);
}

bool PathMngr::ExtDel(TString& path)
{
	std::string p = str(path);
	size_t slash = p.rfind('/');
	size_t start = slash == std::string::npos ? 0 : slash + 1;
	size_t dot = extDot(p.substr(start));
	if (dot == std::string::npos)
		return false;
	p.erase(start + dot);
	put(path, p);
	return true;
}

bool PathMngr::ExtAdd(TString& path, const char* ext)
{
	std::string p = str(path), x = str(ext);
	while (!p.empty() && p.back() == '.')
		p.pop_back();
	size_t skip = 0;
	while (skip < x.size() && x[skip] == '.')
		++skip;
	x.erase(0, skip);
	if (p.empty() || x.empty())
		return false;
	put(path, p + "." + x);
	return true;
}

bool PathMngr::ExtAdd(TString& path, const TString& ext)
{
	std::string x = str(ext);
	return ExtAdd(path, x.c_str());
}

bool PathMngr::ExtReplace(TString& path, const char* ext)
{
	ExtDel(path);
	return ExtAdd(path, ext);
}

bool PathMngr::ExtReplace(TString& path, const TString& ext)
{
	std::string x = str(ext);
	return ExtReplace(path, x.c_str());
}

bool PathMngr::Reparent(const TString& oldRoot, const TString& newRoot, TString& path)
{
	std::string o = str(oldRoot), n = str(newRoot), p = str(path);
	if (o.empty() || p.size() <= o.size() || p.compare(0, o.size(), o) != 0)
		return false;
	std::string rest = p.substr(o.size());
	if (o.back() != '/' && rest[0] != '/')
		return false;
	std::string result = n;
	if (rest[0] != '/' && (result.empty() || result.back() != '/'))
		result += '/';
	result += rest;
	if (!validPath(result)) {
		path.Erase();
		return false;
	}
	put(path, result);
	return true;
}

bool PathMngr::Unique(const TString& rootA, const TString& rootB, TString& path)
{
	std::string a = str(rootA), b = str(rootB), p = str(path);
	if ((!a.empty() && p == a) || (!b.empty() && p == b)) {
		path.Erase();
		return true;
	}
	auto prefix = [&](const std::string& r) {
		return !r.empty() && p.size() > r.size() && p.compare(0, r.size(), r) == 0;
	};
	const std::string* use = nullptr;
	if (prefix(a))
		use = &a;
	if (prefix(b) && (!use || b.size() > use->size()))
		use = &b;
	if (!use)
		return false;
	put(path, p.substr(use->size()));
	return true;
}

bool PathMngr::Sanitize(TString& path)
{
	std::string p = sanitize(str(path));
	put(path, p);
	return !p.empty();
}

bool PathMngr::LeafFixup(TString& name)
{
	std::string n = str(name);
	size_t cut = n.find_last_of("/\\:");
	if (cut != std::string::npos)
		n.erase(0, cut + 1);
	size_t b = 0, e = n.size();
	while (b < e && isWhite(static_cast<unsigned char>(n[b])))
		++b;
	while (e > b && isWhite(static_cast<unsigned char>(n[e - 1])))
		--e;
	n = sanitize(n.substr(b, e - b));
	// A leaf of dots only would name this folder or its parent.
	if (n == "." || n == "..")
		n.assign(n.size(), '_');
	if (n.size() > kLeafMax) {
		size_t dot = extDot(n);
		std::string ext = dot != std::string::npos && n.size() - dot <= 16 ? n.substr(dot) : std::string();
		n = cutBytes(n.substr(0, n.size() - ext.size()), kLeafMax - ext.size()) + ext;
	}
	put(name, n);
	return !n.empty();
}
