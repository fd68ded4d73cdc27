#include "InitFile.h"

#include <cstring>
#include <string>

#include "FileLock.h"
#include "PathMngr.h"
#include "Str.h"
#include "TextFile.h"
#include "TimeCore.h"
#include "TimeFormat.h"
#include "Unicode.h"

namespace {

bool white(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// s with trailing whitespace removed.
std::string rstrip(std::string s)
{
	while (!s.empty() && white(s.back()))
		s.pop_back();
	return s;
}

std::string trim(const std::string& s)
{
	size_t b = 0, e = s.size();
	while (b < e && white(s[b]))
		++b;
	while (e > b && white(s[e - 1]))
		--e;
	return s.substr(b, e - b);
}

TString text(const std::string& s)
{
	TString t;
	t.AllowInvalidSet(true);
	t.Assign(s.c_str());
	return t;
}

bool sameName(const TString& a, const TString& b)
{
	return a.CompareNoCase(b) == 0;
}

bool utf8(const TString& t)
{
	long bytes = 0, chars = 0;
	return Unicode::Validate(t.String(), t.ByteLength() + 1, t.ByteLength() + 1, &bytes, &chars) &&
		bytes == t.ByteLength();
}

// A comment text as it is kept: trimmed, and only when it fits on one line and reads back.
bool commentClean(const TString& in, TString& out)
{
	out = in;
	out.Trim();
	return !out.FindPtr('\r') && !out.FindPtr('\n') && utf8(out) && out.ByteLength() < TextFile::kLineMax;
}

const char* const kHeaderCreated = " Created: %s";
const char* const kHeaderEncoding = " This file uses the UTF-8 encoding";
const char* const kCreatedFormat = "%n4 %d2, %y1 %h1:%m1%a1";
const char* const kDefaultTitle = "Application state data";

}  // namespace

InitFile::InitFile() : mTitle(kDefaultTitle)
{}

void InitFile::Clear()
{
	mLines.clear();
	mSections.clear();
}

bool InitFile::NameValid(const TString& name)
{
	long bytes = 0, chars = 0;
	const char* s = name.String();
	if (!Unicode::Validate(s, name.ByteLength() + 1, name.ByteLength() + 1, &bytes, &chars) ||
		bytes != name.ByteLength())
		return false;
	if (chars < kNameMin || chars > kNameMax || Str::IsDigit(s[0]))
		return false;
	for (const char* p = s; *p; ++p)
		if (white(*p) || std::strchr("[];=\"'", *p))
			return false;
	return true;
}

InitFile::LineType InitFile::Parse(const TString& line, ParseData& data)
{
	data.name.Erase();
	data.value.Erase();
	data.comment.Erase();
	data.itemType = ItemString;
	const std::string s(line.String(), static_cast<size_t>(line.ByteLength()));
	long bytes = 0, chars = 0;
	if (!Unicode::Validate(
			s.c_str(), static_cast<long>(s.size()) + 1, static_cast<long>(s.size()) + 1, &bytes, &chars) ||
		bytes != static_cast<long>(s.size()))
		return LineNotUtf8;
	// Blank lines and comments; lines of spaces and comments indented by spaces count too.
	const std::string t = trim(s);
	if (t.empty())
		return LineBlank;
	if (t[0] == ';') {
		if (rstrip(t.substr(1)).empty())
			return LineBlank;
		data.comment = text(rstrip(s.substr(s.find(';') + 1)));
		return LineComment;
	}

	size_t i = 0, n = s.size();
	std::string name;
	while (i < n && (white(s[i]) || s[i] == '[')) {
		if (s[i] == '[')
			name += '[';
		++i;
	}
	// A ";" ends the name too, so that '[Name];note' reads as a section with a comment.
	while (i < n && s[i] != '=' && s[i] != ';' && !white(s[i]))
		name += s[i++];
	bool bracketed = name.find('[') != std::string::npos;
	if (bracketed) {
		while (i < n && (white(s[i]) || s[i] == ']')) {
			if (s[i] == ']')
				name += ']';
			++i;
		}
	}
	size_t opens = 0, closes = 0;
	for (char c : name) {
		opens += c == '[';
		closes += c == ']';
	}
	LineType type;
	if (opens == 0 && closes == 0) {
		type = LineItem;
	} else if (opens == 1 && closes == 1 && name.size() >= 3 && name.front() == '[' && name.back() == ']') {
		type = LineSection;
		name = name.substr(1, name.size() - 2);
	} else {
		return LineInvalid;
	}
	data.name = text(name);
	if (!NameValid(data.name))
		return LineInvalid;

	if (type == LineItem) {
		while (i < n && white(s[i]))
			++i;
		if (i >= n || s[i] != '=')
			return LineInvalid;
		++i;
		while (i < n && white(s[i]))
			++i;
		const char* end = nullptr;
		TString decoded;
		if (i < n && s[i] == '"' && decoded.QuoteDecode(s.c_str() + i, &end) && end) {
			data.value = decoded;
			data.itemType = ItemString;
			i = static_cast<size_t>(end - s.c_str());
		} else {
			size_t semi = s.find(';', i);
			size_t stop = semi == std::string::npos ? n : semi;
			data.value = text(trim(s.substr(i, stop - i)));
			data.itemType = ItemCustom;
			i = stop;
		}
	}
	while (i < n && white(s[i]))
		++i;
	if (i < n) {
		if (s[i] != ';')
			return LineInvalid;
		data.comment = text(rstrip(s.substr(i + 1)));
	}
	return type;
}

void InitFile::FormatSection(TString& line, const TString& name, const TString& comment)
{
	line.Erase();
	line.AllowInvalidSet(true);
	line.Append("[");
	line.Append(name);
	line.Append("]");
	if (!comment.Empty()) {
		line.Pad(' ', kCommentColumn);
		line.Append(";");
		line.Append(comment);
	}
}

void InitFile::FormatItem(TString& line, const TString& name, const Item& item, const TString& comment)
{
	line.Erase();
	line.AllowInvalidSet(true);
	line.Append(name);
	line.Append(" = ");
	if (item.type == ItemString) {
		TString value = item.value;
		value.ReplaceAll('\r', ' ');
		value.ReplaceAll('\n', ' ');
		TString quoted;
		quoted.AllowInvalidSet(true);
		quoted.QuoteEncode(value);
		line.Append(quoted);
	} else {
		line.Append(item.value);
	}
	if (!comment.Empty()) {
		line.Pad(' ', kCommentColumn);
		line.Append(";");
		line.Append(comment);
	}
}

Error InitFile::StateRead(const TString& path, long long lockWait)
{
	Clear();
	TString file = path;
	if (!PathMngr::ExtReplace(file, FileExtension()))
		return ErrGmBadPath;
	TextFile in;
	Error e = in.Open(file, TextFile::ModeRead, lockWait);
	TString line, current;
	bool inSection = false;
	ParseData data;
	while (e == ErrOkay) {
		e = in.Read(line);
		if (e != ErrOkay)
			break;
		LineType type = Parse(line, data);
		if (type == LineInvalid || type == LineNotUtf8) {
			e = ErrFileInvalidData;
			break;
		}
		if (type == LineSection) {
			current = data.name;
			inSection = true;
			Sect& sect = mSections[current];
			sect.comment = data.comment;
		} else if (type == LineItem && inSection) {
			Item& item = mSections[current].items[data.name];
			item.type = data.itemType;
			item.value = data.value;
			item.comment = data.comment;
		}
		mLines.push_back(line);
	}
	if (e == ErrFileEnd)
		e = ErrOkay;
	if (in.IsOpen()) {
		Error c = in.Close();
		if (e == ErrOkay)
			e = c;
	}
	return e;
}

void InitFile::sectionsPrune()
{
	for (auto it = mSections.begin(); it != mSections.end();) {
		if (it->second.items.empty())
			it = mSections.erase(it);
		else
			++it;
	}
}

void InitFile::linesBuild()
{
	if (mLines.empty()) {
		TString line;
		if (!mTitle.Empty()) {
			line = "; ";
			line.Append(mTitle);
			mLines.push_back(line);
		}
		TString date;
		TimeFormat::DateTimeVal(date, TimeCore::TimeGet(), TimeCore::kBiasLocal, kCreatedFormat, false);
		TString created;
		created.Fmt(kHeaderCreated, date.String());
		line = ";";
		line.Append(created);
		mLines.push_back(line);
		line = ";";
		line.Append(kHeaderEncoding);
		mLines.push_back(line);
	}

	// Every line parsed once; the parses follow the lines as they change.
	std::vector<ParseData> parsed(mLines.size());
	std::vector<LineType> types(mLines.size());
	for (size_t j = 0; j < mLines.size(); ++j)
		types[j] = Parse(mLines[j], parsed[j]);
	auto insertLines = [&](size_t pos, const std::vector<TString>& lines) {
		for (size_t k = 0; k < lines.size(); ++k) {
			ParseData d;
			LineType t = Parse(lines[k], d);
			mLines.insert(mLines.begin() + static_cast<long>(pos + k), lines[k]);
			parsed.insert(parsed.begin() + static_cast<long>(pos + k), d);
			types.insert(types.begin() + static_cast<long>(pos + k), t);
		}
	};

	for (const auto& [sname, sect] : mSections) {
		// The section's line (the first, if the file holds the section more than once).
		long at = -1;
		for (size_t j = 0; j < mLines.size(); ++j) {
			if (types[j] == LineSection && sameName(parsed[j].name, sname)) {
				at = static_cast<long>(j);
				break;
			}
		}
		if (at < 0) {
			TString line;
			FormatSection(line, sname, sect.comment);
			insertLines(mLines.size(), {TString(), line});
			at = static_cast<long>(mLines.size()) - 1;
		} else if (!sect.comment.Empty() && !(parsed[static_cast<size_t>(at)].comment == sect.comment)) {
			size_t j = static_cast<size_t>(at);
			FormatSection(mLines[j], parsed[j].name, sect.comment);
			types[j] = Parse(mLines[j], parsed[j]);
		}

		// The item lines within every block of this section, and where the items of the
		// first block end.
		std::map<TString, std::vector<size_t>, TString::CompNoCase> where;
		long lastItem = -1;
		bool inside = false, firstBlock = true;
		for (size_t j = static_cast<size_t>(at); j < mLines.size(); ++j) {
			if (types[j] == LineSection) {
				if (inside)
					firstBlock = false;
				inside = sameName(parsed[j].name, sname);
				continue;
			}
			if (!inside || types[j] != LineItem)
				continue;
			if (firstBlock)
				lastItem = static_cast<long>(j);
			where[parsed[j].name].push_back(j);
		}

		std::vector<TString> added;
		for (const auto& [iname, item] : sect.items) {
			auto w = where.find(iname);
			if (w == where.end()) {
				TString line;
				FormatItem(line, iname, item, item.comment);
				added.push_back(line);
				continue;
			}
			// Every line of the item is brought up to date, so no stale copy wins on reading.
			for (size_t j : w->second) {
				const ParseData& d = parsed[j];
				const TString& comment = item.comment.Empty() ? d.comment : item.comment;
				if (d.itemType == item.type && d.value == item.value && d.comment == comment)
					continue;
				FormatItem(mLines[j], iname, item, comment);
				types[j] = Parse(mLines[j], parsed[j]);
			}
		}
		if (!added.empty())
			insertLines(static_cast<size_t>(lastItem >= 0 ? lastItem + 1 : at + 1), added);
	}

	// Runs of blank lines shrink to one.
	std::vector<TString> out;
	out.reserve(mLines.size());
	bool lastBlank = false;
	for (size_t j = 0; j < mLines.size(); ++j) {
		bool blank = types[j] == LineBlank;
		if (blank && lastBlank)
			continue;
		out.push_back(mLines[j]);
		lastBlank = blank;
	}
	mLines.swap(out);
}

Error InitFile::StateWrite(const TString& path, long long lockWait, long newPerm)
{
	sectionsPrune();
	linesBuild();
	TString file = path;
	if (!PathMngr::ExtReplace(file, FileExtension()))
		return ErrGmBadPath;
	return TextFile::WriteReplace(file, mLines, lockWait, newPerm);
}

Error InitFile::Update(
	const TString& path, long long lockWait, const std::function<Error(InitFile&)>& change, long newPerm)
{
	TString file = path;
	if (!PathMngr::ExtReplace(file, FileExtension()))
		return ErrGmBadPath;
	FileLock lock;
	Error e = lock.Lock(file, lockWait > FileLock::kWaitChange ? lockWait : FileLock::kWaitChange);
	if (e == ErrOkay) {
		e = StateRead(file, lockWait);
		if (e == ErrFileNotFound) {
			Clear();
			e = ErrOkay;
		}
	}
	if (e == ErrOkay)
		e = change(*this);
	if (e == ErrOkay)
		e = StateWrite(file, lockWait, newPerm);
	if (lock.Held())
		lock.Unlock();
	return e;
}

bool InitFile::SectionSet(const TString& section)
{
	if (!NameValid(section))
		return false;
	mSections.try_emplace(section);
	return true;
}

bool InitFile::SectionGet(const TString& section) const
{
	return mSections.count(section) > 0;
}

bool InitFile::SectionDel(const TString& section)
{
	return mSections.erase(section) > 0;
}

bool InitFile::SectionComment(const TString& section, const TString& comment)
{
	auto it = mSections.find(section);
	TString clean;
	if (it == mSections.end() || !commentClean(comment, clean))
		return false;
	if (!clean.Empty() &&
		(clean.CharLength() < kNameMin || clean.CharLength() > kNameMax || clean.FindPtr(';')))
		return false;
	it->second.comment = clean;
	return true;
}

void InitFile::SectionList(std::vector<TString>& names) const
{
	names.clear();
	for (const auto& [name, sect] : mSections)
		names.push_back(name);
}

bool InitFile::ItemList(const TString& section, std::vector<TString>& names) const
{
	names.clear();
	auto it = mSections.find(section);
	if (it == mSections.end())
		return false;
	for (const auto& [name, item] : it->second.items)
		names.push_back(name);
	return true;
}

bool InitFile::itemStore(const TString& section, const TString& item, int type, const TString& value)
{
	if (!NameValid(section) || !NameValid(item))
		return false;
	// What the reader would refuse is refused here: text that is not UTF-8, and an item
	// line longer than a line may be.
	if (!utf8(value))
		return false;
	Item probe;
	probe.type = type;
	probe.value = value;
	TString line;
	FormatItem(line, item, probe, TString());
	if (line.ByteLength() > TextFile::kLineMax)
		return false;
	Item& it = mSections[section].items[item];
	it.type = type;
	it.value = value;
	return true;
}

bool InitFile::ItemSet(const TString& section, const TString& item, const TString& value)
{
	return itemStore(section, item, ItemString, value);
}

bool InitFile::ItemSet(const TString& section, const TString& item, long value)
{
	TString number;
	number.Fmt("%ld", value);
	return itemStore(section, item, ItemCustom, number);
}

bool InitFile::ItemSetCustom(const TString& section, const TString& item, const TString& raw)
{
	// Reading trims the raw text, so it is stored trimmed.
	TString clean = raw;
	clean.Trim();
	// A raw text starting with a double quote would read back as a string item.
	if (clean.FindPtr('\r') || clean.FindPtr('\n') || clean.FindPtr(';') || clean.ByteFirst() == '"')
		return false;
	return itemStore(section, item, ItemCustom, clean);
}

const InitFile::Item* InitFile::itemFind(const TString& section, const TString& item) const
{
	auto s = mSections.find(section);
	if (s == mSections.end())
		return nullptr;
	auto i = s->second.items.find(item);
	return i == s->second.items.end() ? nullptr : &i->second;
}

bool InitFile::ItemGet(const TString& section, const TString& item, TString& value) const
{
	const Item* it = itemFind(section, item);
	if (!it || it->type != ItemString) {
		value.Erase();
		return false;
	}
	value = it->value;
	return true;
}

bool InitFile::ItemGet(const TString& section, const TString& item, long& value) const
{
	value = 0;
	const Item* it = itemFind(section, item);
	if (!it || it->type != ItemCustom || !it->value.ParseInteger(nullptr, nullptr))
		return false;
	long long v = it->value.Atoll();
	// Atoll saturates long digit strings, so those land outside the range too.
	if (v < -2147483648LL || v > 2147483647LL)
		return false;
	value = static_cast<long>(v);
	return true;
}

bool InitFile::ItemGetCustom(const TString& section, const TString& item, TString& raw) const
{
	const Item* it = itemFind(section, item);
	if (!it || it->type != ItemCustom) {
		raw.Erase();
		return false;
	}
	raw = it->value;
	return true;
}

bool InitFile::ItemDel(const TString& section, const TString& item)
{
	auto s = mSections.find(section);
	return s != mSections.end() && s->second.items.erase(item) > 0;
}

bool InitFile::ItemComment(const TString& section, const TString& item, const TString& comment)
{
	auto s = mSections.find(section);
	if (s == mSections.end())
		return false;
	auto i = s->second.items.find(item);
	TString clean;
	if (i == s->second.items.end() || !commentClean(comment, clean))
		return false;
	i->second.comment = clean;
	return true;
}

void InitFile::ItemSetStart()
{
	mSections.clear();
}

void InitFile::ItemSetStop()
{
	sectionsPrune();
	std::vector<TString> out;
	out.reserve(mLines.size());
	ParseData data;
	const Sect* current = nullptr;
	bool skipping = false;
	for (const TString& line : mLines) {
		LineType type = Parse(line, data);
		if (type == LineSection) {
			auto it = mSections.find(data.name);
			skipping = it == mSections.end();
			current = skipping ? nullptr : &it->second;
		}
		if (skipping || type == LineInvalid || type == LineNotUtf8)
			continue;
		if (type == LineItem) {
			if (!current)
				continue;
			auto it = current->items.find(data.name);
			if (it == current->items.end() || it->second.type != ItemString)
				continue;
		}
		out.push_back(line);
	}
	mLines.swap(out);
}
