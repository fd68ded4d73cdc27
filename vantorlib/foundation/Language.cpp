#include "Language.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string_view>

#include "TString.h"

namespace {

// One printf conversion of a key's variable list, split so that the length modifier can be
// chosen to match the type the value is held in.
struct Conv {
	Language::VarType type = Language::VarNone;
	std::string flags;  // flags, width and precision, without "%" and length modifier
	char letter = 0;
};

struct Lang {
	const LangData* data = nullptr;
	std::vector<Conv> convs;
	std::string local;
	bool hasLocal = false;
};

// A variable converted to its declared type.
struct Value {
	Language::VarType type = Language::VarNone;
	long long i = 0;
	unsigned long long u = 0;
	double d = 0;
	const char* s = "";
	std::string text;  // a number passed for a string variable
};

struct Table {
	std::shared_mutex lock;
	bool started = false;
	std::map<std::string, Lang, std::less<>> keys;
	std::vector<const LangSection*> sections;
	std::set<long long> singularEnglish{-1, 1};
	std::set<long long> singularLocal{-1, 1};
	bool singularLocalSet = false;
};

Table& table()
{
	static Table t;
	return t;
}

const char* const kInvalidName = "Invalid localized string name";
const char* const kBadReplacement = "[bad language replacement]";

const LangData sBoolRows[] = {
	{"BoolNo1", "", "Off"},
	{"BoolNo2", "", "No"},
	{"BoolNo3", "", "False"},
	{"BoolNo4", "", "Disabled"},
	{"BoolYes1", "", "On"},
	{"BoolYes2", "", "Yes"},
	{"BoolYes3", "", "True"},
	{"BoolYes4", "", "Enabled"},
	{nullptr, nullptr, nullptr},
};

const LangData sByteRows[] = {
	{"ByteSizeBytes", "%lu", "%1 %1p?byte:bytes"},
	{"ByteSizeKilobytes", "%.02f", "%1 KB"},
	{"ByteSizeMegabytes", "%.02f", "%1 MB"},
	{"ByteSizeGigabytes", "%.02f", "%1 GB"},
	{"ByteSizeTerabytes", "%.02f", "%1 TB"},
	{nullptr, nullptr, nullptr},
};

const LangData sSpecialRows[] = {
	{"LanguageName", "", "English"},
	{"AppVersion", "%s", "Version %1"},
	{"UnknownType", "", "[Unknown]"},
	{"Singular", "", "-1 1"},
	{nullptr, nullptr, nullptr},
};

const LangSection sBoolSection = {"Boolean strings", LangSectionBoolean, sBoolRows};
const LangSection sByteSection = {"Byte count strings", LangSectionByteCount, sByteRows};
const LangSection sSpecialSection = {"Special strings", LangSectionSpecial, sSpecialRows};

bool isWordByte(char c)
{
	unsigned char b = static_cast<unsigned char>(c);
	return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || b >= 0x80;
}

bool isDigit(char c)
{
	return c >= '0' && c <= '9';
}

bool convParse(const char*& p, Conv& conv)
{
	if (*p != '%')
		return false;
	++p;
	const char* start = p;
	while (*p && std::strchr("-+ #0", *p))
		++p;
	while (isDigit(*p))
		++p;
	if (*p == '.') {
		++p;
		while (isDigit(*p))
			++p;
	}
	conv.flags.assign(start, size_t(p - start));
	bool wide = false;
	if (p[0] == 'l' && p[1] == 'l') {
		wide = true;
		p += 2;
	} else if (*p == 'L' || *p == 'q') {
		wide = true;
		++p;
	} else if (*p == 'l' || *p == 'j' || *p == 'z' || *p == 't') {
		++p;
	} else if (p[0] == 'h' && p[1] == 'h') {
		p += 2;
	} else if (*p == 'h') {
		++p;
	}
	conv.letter = *p;
	switch (*p) {
	case 'c': conv.type = Language::VarChar; break;
	case 'e':
	case 'E':
	case 'f':
	case 'g':
	case 'G': conv.type = Language::VarDouble; break;
	case 'd':
	case 'i': conv.type = wide ? Language::VarLongLong : Language::VarLong; break;
	case 's': conv.type = Language::VarString; break;
	case 'u':
	case 'x':
	case 'X':
	case 'o': conv.type = wide ? Language::VarULongLong : Language::VarULong; break;
	default: return false;
	}
	++p;
	return true;
}

bool convsParse(const char* formats, std::vector<Conv>& convs)
{
	convs.clear();
	const char* p = formats ? formats : "";
	while (*p) {
		if (*p == ' ' || *p == '\t' || *p == ',') {
			++p;
			continue;
		}
		Conv conv;
		if (!convParse(p, conv) || convs.size() >= 99)
			return false;
		convs.push_back(conv);
	}
	return true;
}

bool isNumeric(Language::VarType t)
{
	return t != Language::VarNone && t != Language::VarString;
}

// One placeholder or run of literal text of a text in the substitution syntax.
struct Piece {
	enum Kind { Literal, Plain, Plural } kind = Literal;
	std::string text;  // literal text
	long n = 0;
	std::string singular, plural;
};

void textParse(const char* text, std::vector<Piece>& pieces)
{
	pieces.clear();
	auto literal = [&](const char* s, size_t len) {
		if (pieces.empty() || pieces.back().kind != Piece::Literal)
			pieces.push_back(Piece());
		pieces.back().text.append(s, len);
	};
	const char* p = text ? text : "";
	while (*p) {
		if (*p == '\\') {
			if (p[1] == '%' || p[1] == '\\') {
				literal(p + 1, 1);
				p += 2;
			} else {
				++p;
			}
			continue;
		}
		if (*p == '%' && isDigit(p[1])) {
			Piece piece;
			piece.kind = Piece::Plain;
			const char* q = p + 1;
			piece.n = *q++ - '0';
			if (isDigit(*q))
				piece.n = piece.n * 10 + (*q++ - '0');
			if (q[0] == 'p' && q[1] == '?') {
				const char* w = q + 2;
				const char* s0 = w;
				while (isWordByte(*w))
					++w;
				if (*w == ':') {
					const char* s1 = w + 1;
					const char* e1 = s1;
					while (isWordByte(*e1))
						++e1;
					piece.kind = Piece::Plural;
					piece.singular.assign(s0, size_t(w - s0));
					piece.plural.assign(s1, size_t(e1 - s1));
					q = e1;
				}
			}
			pieces.push_back(std::move(piece));
			p = q;
			continue;
		}
		const char* s = p;
		while (*p && *p != '\\' && !(*p == '%' && isDigit(p[1])))
			++p;
		if (p == s) {
			literal(p, 1);
			++p;
		} else {
			literal(s, size_t(p - s));
		}
	}
}

bool textCheck(const std::string& text, const std::vector<Conv>& convs)
{
	std::vector<Piece> pieces;
	textParse(text.c_str(), pieces);
	std::vector<int> refs(convs.size(), 0);
	for (const Piece& piece : pieces) {
		if (piece.kind == Piece::Literal)
			continue;
		if (piece.n < 1 || size_t(piece.n) > convs.size())
			return false;
		if (piece.kind == Piece::Plural) {
			if (!isNumeric(convs[size_t(piece.n) - 1].type))
				return false;
		} else if (++refs[size_t(piece.n) - 1] > 1) {
			return false;
		}
	}
	for (int r : refs)
		if (r != 1)
			return false;
	return true;
}

// Whitespace-separated distinct integers; false (and set untouched) for anything else.
bool singularParse(const char* text, std::set<long long>& out)
{
	std::set<long long> result;
	const char* p = text ? text : "";
	while (*p) {
		if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
			++p;
			continue;
		}
		const char* s = p;
		if (*p == '+' || *p == '-')
			++p;
		const char* digits = p;
		while (isDigit(*p))
			++p;
		if (p == digits || p - digits > 18 || (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n'))
			return false;
		long long n = std::strtoll(s, nullptr, 10);
		if (!result.insert(n).second)
			return false;
	}
	if (result.empty())
		return false;
	out = std::move(result);
	return true;
}

Value valueMake(Language::VarType type, const Language::Arg& a, bool& ok)
{
	Value v;
	v.type = type;
	if (a.kind == Language::Arg::None)
		ok = false;
	long long si = 0;
	unsigned long long ui = 0;
	double d = 0;
	switch (a.kind) {
	case Language::Arg::Signed:
		si = a.i;
		ui = static_cast<unsigned long long>(a.i);
		d = static_cast<double>(a.i);
		break;
	case Language::Arg::Unsigned:
		si = static_cast<long long>(a.u);
		ui = a.u;
		d = static_cast<double>(a.u);
		break;
	case Language::Arg::Floating:
		si = static_cast<long long>(a.d);
		ui = a.d < 0 ? static_cast<unsigned long long>(si) : static_cast<unsigned long long>(a.d);
		d = a.d;
		break;
	case Language::Arg::Text:
		si = a.s ? std::strtoll(a.s, nullptr, 10) : 0;
		ui = static_cast<unsigned long long>(si);
		d = a.s ? std::strtod(a.s, nullptr) : 0;
		break;
	case Language::Arg::None: break;
	}
	switch (type) {
	case Language::VarDouble: v.d = d; break;
	case Language::VarULong:
	case Language::VarULongLong: v.u = ui; break;
	case Language::VarString:
		if (a.kind == Language::Arg::Text) {
			v.s = a.s ? a.s : "";
		} else if (a.kind == Language::Arg::Floating) {
			char buf[64];
			std::snprintf(buf, sizeof buf, "%g", a.d);
			v.text = buf;
		} else if (a.kind == Language::Arg::Unsigned) {
			v.text = std::to_string(a.u);
		} else if (a.kind == Language::Arg::Signed) {
			v.text = std::to_string(a.i);
		}
		break;
	default: v.i = si; break;
	}
	return v;
}

long long valueInteger(const Value& v)
{
	switch (v.type) {
	case Language::VarDouble: return static_cast<long long>(v.d);
	case Language::VarULong:
	case Language::VarULongLong: return static_cast<long long>(v.u);
	case Language::VarString: return std::strtoll(v.text.empty() ? v.s : v.text.c_str(), nullptr, 10);
	default: return v.i;
	}
}

void valueFormat(std::string& out, const Conv& conv, const Value& v)
{
	std::string fmt = "%" + conv.flags;
	char buf[512];
	int n = 0;
	switch (conv.type) {
	case Language::VarChar:
		fmt += 'c';
		n = std::snprintf(buf, sizeof buf, fmt.c_str(), static_cast<int>(static_cast<char>(v.i)));
		break;
	case Language::VarDouble:
		fmt += conv.letter;
		n = std::snprintf(buf, sizeof buf, fmt.c_str(), v.d);
		break;
	case Language::VarLong:
		fmt += 'l';
		fmt += conv.letter;
		n = std::snprintf(buf, sizeof buf, fmt.c_str(), static_cast<long>(v.i));
		break;
	case Language::VarLongLong:
		fmt += "ll";
		fmt += conv.letter;
		n = std::snprintf(buf, sizeof buf, fmt.c_str(), v.i);
		break;
	case Language::VarULong:
		fmt += 'l';
		fmt += conv.letter;
		n = std::snprintf(buf, sizeof buf, fmt.c_str(), static_cast<unsigned long>(v.u));
		break;
	case Language::VarULongLong:
		fmt += "ll";
		fmt += conv.letter;
		n = std::snprintf(buf, sizeof buf, fmt.c_str(), v.u);
		break;
	case Language::VarString: {
		const char* s = v.text.empty() ? v.s : v.text.c_str();
		if (conv.flags.empty()) {
			out += s;
			return;
		}
		fmt += 's';
		int len = std::snprintf(nullptr, 0, fmt.c_str(), s);
		if (len > 0) {
			std::string tmp(size_t(len) + 1, '\0');
			std::snprintf(tmp.data(), tmp.size(), fmt.c_str(), s);
			tmp.resize(size_t(len));
			out += tmp;
		}
		return;
	}
	case Language::VarNone: return;
	}
	if (n > 0)
		out.append(buf, std::min(size_t(n), sizeof buf - 1));
}

bool substitute(std::string& out, const char* text, const std::vector<Conv>& convs, const Value* values,
	const std::set<long long>& singular)
{
	bool ok = true;
	std::vector<Piece> pieces;
	textParse(text, pieces);
	for (const Piece& piece : pieces) {
		if (piece.kind == Piece::Literal) {
			out += piece.text;
			continue;
		}
		if (piece.n < 1 || size_t(piece.n) > convs.size()) {
			out += kBadReplacement;
			ok = false;
			continue;
		}
		const Value& v = values[piece.n - 1];
		if (piece.kind == Piece::Plural)
			out += singular.count(valueInteger(v)) ? piece.singular : piece.plural;
		else
			valueFormat(out, convs[size_t(piece.n) - 1], v);
	}
	return ok;
}

void assignOut(TString& out, const std::string& s)
{
	out.Erase();
	out.AllowInvalidSet(true);
	out.Assign(s.c_str());
}

bool sectionLess(const LangSection* a, const LangSection* b)
{
	if (a->id != b->id)
		return a->id < b->id;
	return std::strcmp(a->name, b->name) < 0;
}

// The text of key in the chosen language, under the caller's lock; null for an unknown key.
const Lang* langFind(Table& t, const char* key)
{
	auto it = t.keys.find(std::string_view(key ? key : ""));
	return it == t.keys.end() ? nullptr : &it->second;
}

const char* langText(const Lang& lang, bool english)
{
	return english || lang.local.empty() ? lang.data->english : lang.local.c_str();
}

}  // namespace

bool Language::Start()
{
	Table& t = table();
	{
		std::unique_lock lock(t.lock);
		if (t.started)
			return true;
		t.started = true;
	}
	bool ok = true;
	for (const LangSection* s : {&sBoolSection, &sByteSection, &sSpecialSection}) {
		bool has;
		{
			std::shared_lock lock(t.lock);
			has = std::find(t.sections.begin(), t.sections.end(), s) != t.sections.end();
		}
		if (!has && !SectionAdd(s))
			ok = false;
	}
	return ok;
}

void Language::Stop()
{
	Table& t = table();
	std::unique_lock lock(t.lock);
	t.started = false;
	t.keys.clear();
	t.sections.clear();
	t.singularEnglish = {-1, 1};
	t.singularLocal = t.singularEnglish;
	t.singularLocalSet = false;
}

bool Language::Started()
{
	Table& t = table();
	std::shared_lock lock(t.lock);
	return t.started;
}

bool Language::SectionAdd(const LangSection* section)
{
	if (!section || !section->name || !section->rows)
		return false;
	Table& t = table();
	std::unique_lock lock(t.lock);
	for (const LangSection* s : t.sections)
		if (s == section || std::strcmp(s->name, section->name) == 0)
			return false;
	std::map<std::string, Lang, std::less<>> added;
	for (const LangData* row = section->rows; row->key; ++row) {
		Lang lang;
		lang.data = row;
		if (!row->english || !convsParse(row->formats, lang.convs))
			return false;
		if (t.keys.count(std::string_view(row->key)) || !added.emplace(row->key, std::move(lang)).second)
			return false;
	}
	for (auto& [key, lang] : added) {
		if (key == "Singular") {
			singularParse(lang.data->english, t.singularEnglish);
			if (!t.singularLocalSet)
				t.singularLocal = t.singularEnglish;
		}
	}
	t.keys.merge(added);
	t.sections.insert(std::upper_bound(t.sections.begin(), t.sections.end(), section, sectionLess), section);
	return true;
}

bool Language::SectionRemove(const LangSection* section)
{
	Table& t = table();
	std::unique_lock lock(t.lock);
	auto it = std::find(t.sections.begin(), t.sections.end(), section);
	if (it == t.sections.end())
		return false;
	t.sections.erase(it);
	for (const LangData* row = section->rows; row->key; ++row)
		t.keys.erase(std::string(row->key));
	return true;
}

bool Language::stringArgs(const char* key, TString& out, bool english, const Arg* args, long count)
{
	Table& t = table();
	std::string result;
	bool ok = true;
	{
		std::shared_lock lock(t.lock);
		const Lang* lang = langFind(t, key);
		if (!lang) {
			lock.unlock();
			assignOut(out, kInvalidName);
			return false;
		}
		std::vector<Value> values;
		static const Arg kNone;
		for (size_t i = 0; i < lang->convs.size(); ++i)
			values.push_back(valueMake(lang->convs[i].type, long(i) < count ? args[i] : kNone, ok));
		bool useEnglish = english || lang->local.empty();
		const std::set<long long>& singular = useEnglish ? t.singularEnglish : t.singularLocal;
		if (!substitute(result, langText(*lang, english), lang->convs, values.data(), singular))
			ok = false;
	}
	assignOut(out, result);
	return ok;
}

bool Language::StringArg(const char* key, TString& out, bool english, va_list ap)
{
	std::vector<Conv> convs;
	{
		Table& t = table();
		std::shared_lock lock(t.lock);
		const Lang* lang = langFind(t, key);
		if (lang)
			convs = lang->convs;
	}
	std::vector<Arg> args;
	for (const Conv& c : convs) {
		switch (c.type) {
		case VarChar: args.emplace_back(static_cast<char>(va_arg(ap, int))); break;
		case VarDouble: args.emplace_back(va_arg(ap, double)); break;
		case VarLong: args.emplace_back(va_arg(ap, long)); break;
		case VarLongLong: args.emplace_back(va_arg(ap, long long)); break;
		case VarString: args.emplace_back(va_arg(ap, const char*)); break;
		case VarULong: args.emplace_back(va_arg(ap, unsigned long)); break;
		case VarULongLong: args.emplace_back(va_arg(ap, unsigned long long)); break;
		case VarNone: break;
		}
	}
	return stringArgs(key, out, english, args.data(), long(args.size()));
}

bool Language::stringRawArgs(TString& out, const char* text, const char* formats, const Arg* args, long count)
{
	std::vector<Conv> convs;
	if (!convsParse(formats, convs)) {
		assignOut(out, kBadReplacement);
		return false;
	}
	bool ok = true;
	std::vector<Value> values;
	static const Arg kNone;
	for (size_t i = 0; i < convs.size(); ++i)
		values.push_back(valueMake(convs[i].type, long(i) < count ? args[i] : kNone, ok));
	std::string result;
	std::set<long long> singular;
	{
		Table& t = table();
		std::shared_lock lock(t.lock);
		singular = t.singularEnglish;
	}
	if (!substitute(result, text, convs, values.data(), singular))
		ok = false;
	assignOut(out, result);
	return ok;
}

bool Language::Plural(long long n, bool english)
{
	Table& t = table();
	std::shared_lock lock(t.lock);
	return !(english ? t.singularEnglish : t.singularLocal).count(n);
}

bool Language::IndexValue(const LangIndex* table, const char* text, long* value, bool english)
{
	if (!table || !text)
		return false;
	Table& t = ::table();
	std::shared_lock lock(t.lock);
	for (int i = 0; i < 500 && table[i].key; ++i) {
		const Lang* lang = langFind(t, table[i].key);
		if (lang && strcasecmp(langText(*lang, english), text) == 0) {
			if (value)
				*value = table[i].value;
			return true;
		}
	}
	return false;
}

bool Language::IndexString(const LangIndex* table, long value, TString& out, bool english)
{
	if (table) {
		for (int i = 0; i < 500 && table[i].key; ++i)
			if (table[i].value == value)
				return String(table[i].key, out, english);
	}
	out.Erase();
	return false;
}

bool Language::BoolValue(const char* text, bool* value, bool english)
{
	static const LangIndex kBools[] = {
		{0, "BoolNo1"},
		{0, "BoolNo2"},
		{0, "BoolNo3"},
		{0, "BoolNo4"},
		{1, "BoolYes1"},
		{1, "BoolYes2"},
		{1, "BoolYes3"},
		{1, "BoolYes4"},
		{0, nullptr},
	};
	long v = 0;
	if (!IndexValue(kBools, text, &v, english))
		return false;
	if (value)
		*value = v != 0;
	return true;
}

const char* Language::BoolString(TString& out, bool value, bool english)
{
	String(value ? "BoolYes1" : "BoolNo1", out, english);
	return out.String();
}

const char* Language::SizeFormat(unsigned long long bytes, TString& out, bool english)
{
	const unsigned long long kKilo = 1024ULL, kMega = kKilo * 1024, kGiga = kMega * 1024,
							 kTera = kGiga * 1024;
	if (bytes < kKilo)
		String("ByteSizeBytes", out, english, static_cast<unsigned long>(bytes));
	else if (bytes < kMega)
		String("ByteSizeKilobytes", out, english, double(bytes) / double(kKilo));
	else if (bytes < kGiga)
		String("ByteSizeMegabytes", out, english, double(bytes) / double(kMega));
	else if (bytes < kTera)
		String("ByteSizeGigabytes", out, english, double(bytes) / double(kGiga));
	else
		String("ByteSizeTerabytes", out, english, double(bytes) / double(kTera));
	return out.String();
}

bool Language::NameCheck(const char* key)
{
	Table& t = table();
	std::shared_lock lock(t.lock);
	return langFind(t, key) != nullptr;
}

Language::NameResult Language::NameLocal(const char* key, const char* text, const char* extra)
{
	Table& t = table();
	std::unique_lock lock(t.lock);
	auto it = t.keys.find(std::string_view(key ? key : ""));
	if (it == t.keys.end())
		return NameUnknown;
	std::string full = text ? text : "";
	if (std::strcmp(it->first.c_str(), "Singular") == 0) {
		std::set<long long> set;
		if (!singularParse(full.c_str(), set))
			return NameBadSingular;
		t.singularLocal = std::move(set);
		t.singularLocalSet = true;
		it->second.local = full;
		it->second.hasLocal = true;
		return NameOkay;
	}
	// Placeholders after the closing quote count for the check (so that one written there by
	// mistake is caught), but only the quoted text is stored, so it must pass on its own too.
	std::string after = extra ? extra : "";
	if (!textCheck(full + after, it->second.convs) || (!after.empty() && !textCheck(full, it->second.convs)))
		return NameBadArgs;
	it->second.local = full;
	it->second.hasLocal = true;
	return NameOkay;
}

void Language::NameClear()
{
	Table& t = table();
	std::unique_lock lock(t.lock);
	for (auto& [key, lang] : t.keys) {
		lang.local.clear();
		lang.hasLocal = false;
	}
	t.singularLocal = t.singularEnglish;
	t.singularLocalSet = false;
}

bool Language::NameCheckAll(TString& missing)
{
	Table& t = table();
	std::string name;
	{
		std::shared_lock lock(t.lock);
		for (const LangSection* s : t.sections) {
			for (const LangData* row = s->rows; row->key; ++row) {
				const Lang* lang = langFind(t, row->key);
				if (lang && !lang->hasLocal) {
					name = row->key;
					break;
				}
			}
			if (!name.empty())
				break;
		}
	}
	missing.Erase();
	if (name.empty())
		return true;
	missing.Assign(name.c_str());
	return false;
}

long Language::NameLongest()
{
	Table& t = table();
	std::shared_lock lock(t.lock);
	size_t longest = 0;
	for (const auto& [key, lang] : t.keys)
		longest = std::max(longest, key.size());
	return long(longest);
}

long Language::NameVarCount(const char* key)
{
	Table& t = table();
	std::shared_lock lock(t.lock);
	const Lang* lang = langFind(t, key);
	return lang ? long(lang->convs.size()) : -1;
}

long Language::NameCount()
{
	Table& t = table();
	std::shared_lock lock(t.lock);
	return long(t.keys.size());
}

long Language::SectionCount()
{
	Table& t = table();
	std::shared_lock lock(t.lock);
	return long(t.sections.size());
}

bool Language::SectionGet(long index, TString& name)
{
	Table& t = table();
	std::shared_lock lock(t.lock);
	name.Erase();
	if (index < 0 || size_t(index) >= t.sections.size())
		return false;
	name.Assign(t.sections[size_t(index)]->name);
	return true;
}

bool Language::SectionItem(long section, long item, TString& key, TString& english)
{
	Table& t = table();
	std::shared_lock lock(t.lock);
	key.Erase();
	english.Erase();
	if (section < 0 || size_t(section) >= t.sections.size() || item < 0)
		return false;
	const LangData* rows = t.sections[size_t(section)]->rows;
	for (long i = 0; i < item; ++i)
		if (!rows[i].key)
			return false;
	if (!rows[item].key)
		return false;
	key.Assign(rows[item].key);
	english.Assign(rows[item].english);
	return true;
}

bool Language::FormatsParse(const char* formats, std::vector<VarType>* types)
{
	std::vector<Conv> convs;
	if (!convsParse(formats, convs))
		return false;
	if (types) {
		types->clear();
		for (const Conv& c : convs)
			types->push_back(c.type);
	}
	return true;
}
