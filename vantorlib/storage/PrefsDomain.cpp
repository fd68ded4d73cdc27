#include "PrefsDomain.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "DirMngr.h"
#include "PathMngr.h"
#include "TextFile.h"

namespace {

const char* const kTypeNames[] = {"", "string", "integer", "real", "boolean", "dict"};

std::string quote(const std::string& s)
{
	static const char kHex[] = "0123456789ABCDEF";
	std::string out = "\"";
	for (unsigned char c : s) {
		switch (c) {
		case '\\': out += "\\\\"; break;
		case '"': out += "\\\""; break;
		case '\n': out += "\\n"; break;
		case '\r': out += "\\r"; break;
		case '\t': out += "\\t"; break;
		default:
			if (c < 0x20 || c == 0x7F) {
				out += "\\x";
				out += kHex[c >> 4];
				out += kHex[c & 15];
			} else {
				out += static_cast<char>(c);
			}
		}
	}
	return out + "\"";
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

// Reads a quoted text at p; p moves past it. False when malformed.
bool unquote(const char*& p, std::string& out)
{
	out.clear();
	if (*p != '"')
		return false;
	for (++p; *p; ++p) {
		if (*p == '"') {
			++p;
			return true;
		}
		if (*p != '\\') {
			out += *p;
			continue;
		}
		++p;
		switch (*p) {
		case '\\': out += '\\'; break;
		case '"': out += '"'; break;
		case 'n': out += '\n'; break;
		case 'r': out += '\r'; break;
		case 't': out += '\t'; break;
		case 'x': {
			int hi = hexValue(p[1]), lo = hi < 0 ? -1 : hexValue(p[2]);
			if (hi < 0 || lo < 0 || (hi == 0 && lo == 0))
				return false;
			out += static_cast<char>(hi * 16 + lo);
			p += 2;
			break;
		}
		default: return false;
		}
	}
	return false;
}

void skipSpaces(const char*& p)
{
	while (*p == ' ' || *p == '\t')
		++p;
}

TString text(const std::string& s)
{
	TString t;
	t.AllowInvalidSet(true);
	t.Assign(s.c_str());
	return t;
}

void linesOf(const PrefsValue& dict, const std::string& prefix, std::vector<TString>& lines)
{
	const PrefsValue::Dict* d = dict.DictGet();
	if (!d)
		return;
	for (const auto& [key, value] : *d) {
		std::string path = prefix + quote(key);
		std::string line = path + " = " + kTypeNames[value.TypeGet()];
		switch (value.TypeGet()) {
		case PrefsValue::TypeString: {
			TString s;
			value.StringGet(s);
			line += " " + quote(std::string(s.String(), static_cast<size_t>(s.ByteLength())));
			break;
		}
		case PrefsValue::TypeInteger: {
			long long n;
			value.IntegerGet(n);
			line += " " + std::to_string(n);
			break;
		}
		case PrefsValue::TypeReal: {
			double r;
			value.RealGet(r);
			char buf[64];
			auto res = std::to_chars(buf, buf + sizeof buf, r);
			line += " " + std::string(buf, res.ptr);
			break;
		}
		case PrefsValue::TypeBoolean: {
			bool b;
			value.BooleanGet(b);
			line += b ? " true" : " false";
			break;
		}
		case PrefsValue::TypeDict: break;
		default: continue;  // an empty value is not written
		}
		lines.push_back(text(line));
		if (value.IsDict())
			linesOf(value, path + " ", lines);
	}
}

}  // namespace

PrefsDomain::PrefsDomain(const TString& identifier) : mIdentifier(identifier)
{
	mRoot.DictSet();
}

PrefsDomain::~PrefsDomain()
{
	if (LockHeld())
		Unlock();
}

Error PrefsDomain::FolderGet(TString& path)
{
	return DirMngr::Find(DirMngr::FindPrefs, 0, path);
}

static Error domainFile(const TString& identifier, const char* ext, TString& path)
{
	path.Erase();
	if (!PathMngr::ValidLeaf(identifier))
		return ErrGmBadPath;
	Error e = PrefsDomain::FolderGet(path);
	TString leaf = identifier;
	leaf.Append(".");
	leaf.Append(ext);
	if (e == ErrOkay && !PathMngr::Append(path, leaf))
		e = ErrGmBadPath;
	return e;
}

Error PrefsDomain::PathGet(TString& path) const
{
	return domainFile(mIdentifier, kExtension, path);
}

Error PrefsDomain::LockPathGet(TString& path) const
{
	return domainFile(mIdentifier, kLockExtension, path);
}

void PrefsDomain::Lines(const PrefsValue& root, std::vector<TString>& lines)
{
	linesOf(root, "", lines);
}

bool PrefsDomain::LineParse(const char* line, PrefsValue& root)
{
	const char* p = line;
	skipSpaces(p);
	std::vector<std::string> keys;
	while (*p == '"') {
		std::string key;
		if (!unquote(p, key))
			return false;
		keys.push_back(key);
		skipSpaces(p);
	}
	if (keys.empty() || *p != '=')
		return false;
	++p;
	skipSpaces(p);
	const char* word = p;
	while (*p >= 'a' && *p <= 'z')
		++p;
	std::string type(word, static_cast<size_t>(p - word));
	skipSpaces(p);

	PrefsValue value;
	if (type == "string") {
		std::string s;
		if (!unquote(p, s))
			return false;
		value.StringSet(text(s));
	} else if (type == "integer") {
		long long n = 0;
		const char* end = p + std::strcspn(p, " \t");
		auto res = std::from_chars(p, end, n);
		if (res.ec != std::errc() || res.ptr != end)
			return false;
		value.IntegerSet(n);
		p = end;
	} else if (type == "real") {
		double r = 0;
		const char* end = p + std::strcspn(p, " \t");
		auto res = std::from_chars(p, end, r);
		// Only finite numbers: "nan" would not even equal itself when read back.
		if (res.ec != std::errc() || res.ptr != end || !std::isfinite(r))
			return false;
		value.RealSet(r);
		p = end;
	} else if (type == "boolean") {
		if (std::strncmp(p, "true", 4) == 0) {
			value.BooleanSet(true);
			p += 4;
		} else if (std::strncmp(p, "false", 5) == 0) {
			value.BooleanSet(false);
			p += 5;
		} else {
			return false;
		}
	} else if (type == "dict") {
		value.DictSet();
	} else {
		return false;
	}
	skipSpaces(p);
	if (*p)
		return false;

	// The parents must have been declared as dictionaries before.
	PrefsValue* dict = &root;
	for (size_t i = 0; i + 1 < keys.size(); ++i) {
		dict = dict->Find(keys[i].c_str());
		if (!dict || !dict->IsDict())
			return false;
	}
	PrefsValue& slot = dict->Entry(keys.back().c_str());
	// A dictionary declared twice keeps what it holds.
	if (!(value.IsDict() && slot.IsDict()))
		slot = value;
	return true;
}

Error PrefsDomain::Read()
{
	Clear();
	TString path;
	Error e = PathGet(path);
	if (e != ErrOkay)
		return e;
	TextFile in;
	e = in.Open(path, TextFile::ModeRead, -1);
	if (e == ErrFileNotFound)
		return ErrOkay;
	TString line;
	while (e == ErrOkay) {
		e = in.Read(line);
		if (e != ErrOkay)
			break;
		const char* p = line.String();
		while (*p == ' ' || *p == '\t')
			++p;
		if (!*p || *p == ';')
			continue;
		if (!LineParse(p, mRoot))
			e = ErrFileInvalidData;
	}
	if (e == ErrFileEnd)
		e = ErrOkay;
	if (in.IsOpen())
		in.Close();
	if (e != ErrOkay)
		Clear();
	return e;
}

Error PrefsDomain::Write()
{
	TString path;
	Error e = PathGet(path);
	if (e != ErrOkay)
		return e;
	std::vector<TString> lines;
	TString head = "; Quillfern preferences: ";
	head.Append(mIdentifier);
	lines.push_back(head);
	lines.push_back(TString("; This file uses the UTF-8 encoding"));
	Lines(mRoot, lines);
	// Nothing is written that would not read back (a line too long, a real that is not a
	// finite number): the store would be unreadable as a whole.
	PrefsValue check;
	check.DictSet();
	for (size_t i = 2; i < lines.size(); ++i) {
		if (lines[i].ByteLength() > TextFile::kLineMax)
			return ErrFileLineTooLong;
		if (!LineParse(lines[i].String(), check))
			return ErrFileInvalidData;
	}
	return TextFile::WriteReplace(path, lines, -1);
}

bool PrefsDomain::StringGet(const char* key, TString& value) const
{
	const PrefsValue* v = Get(key);
	if (!v) {
		value.Erase();
		return false;
	}
	return v->StringGet(value);
}

bool PrefsDomain::IntegerGet(const char* key, long long& value) const
{
	const PrefsValue* v = Get(key);
	value = 0;
	return v && v->IntegerGet(value);
}

bool PrefsDomain::RealGet(const char* key, double& value) const
{
	const PrefsValue* v = Get(key);
	value = 0;
	return v && v->RealGet(value);
}

bool PrefsDomain::BooleanGet(const char* key, bool& value) const
{
	const PrefsValue* v = Get(key);
	value = false;
	return v && v->BooleanGet(value);
}

Error PrefsDomain::Lock(long long wait)
{
	if (LockHeld())
		return ErrFileAlreadyLocked;
	Error e = LockPathGet(mLockPath);
	if (e == ErrOkay)
		e = mLock.OpenOrCreate(mLockPath, FileAccessReadWrite, wait < 0 ? 0 : wait);
	return e;
}

Error PrefsDomain::Unlock()
{
	if (!LockHeld())
		return ErrFileNotLocked;
	// Removed while still held: a waiter that then gets the lock on the removed file sees
	// that the path no longer names it and tries again.
	::unlink(mLockPath.String());
	return mLock.Close();
}

Error PrefsDomain::Load(long long wait)
{
	Error e = Lock(wait);
	if (e != ErrOkay)
		return e;
	e = Read();
	Error u = Unlock();
	return e != ErrOkay ? e : u;
}

Error PrefsDomain::Update(const std::function<void(PrefsDomain&)>& change, long long wait)
{
	Error e = Lock(wait);
	if (e != ErrOkay)
		return e;
	e = Read();
	if (e == ErrOkay) {
		change(*this);
		e = Write();
	}
	Error u = Unlock();
	return e != ErrOkay ? e : u;
}
