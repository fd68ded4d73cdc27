#include "Bozo.h"

#include <string>
#include <vector>

#include "TextFile.h"
#include "TimeCore.h"
#include "TimeFormat.h"

namespace {

// The longest name or address kept: a file line holds both, a date and a length.
constexpr long kFieldMax = 900;

std::string escape(const TString& text)
{
	std::string out;
	const char* s = text.String();
	for (long i = 0; i < text.ByteLength(); i++) {
		switch (s[i]) {
		case '\\': out += "\\\\"; break;
		case '\t': out += "\\t"; break;
		case '\n': out += "\\n"; break;
		case '\r': out += "\\r"; break;
		default: out += s[i]; break;
		}
	}
	return out;
}

std::string unescape(const std::string& text)
{
	std::string out;
	for (size_t i = 0; i < text.size(); i++) {
		if (text[i] == '\\' && i + 1 < text.size()) {
			char c = text[i + 1];
			if (c == '\\' || c == 't' || c == 'n' || c == 'r') {
				out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : '\\';
				i++;
				continue;
			}
		}
		out += text[i];
	}
	return out;
}

std::string bytes(const TString& t)
{
	return std::string(t.String(), static_cast<size_t>(t.ByteLength()));
}

// The bytes as a string; false when they are not UTF-8 (a line read from a damaged killfile
// may hold any bytes).
bool fromBytes(const std::string& s, TString& out)
{
	TString t;
	t.AllowInvalidSet(true);
	t.AssignByte(s.data(), static_cast<long>(s.size()));
	if (!t.Valid()) {
		out.Erase();
		return false;
	}
	t.AllowInvalidSet(false);
	out = t;  // a fresh UTF-8 string, whatever the caller's held before
	return true;
}

}  // namespace

Bozo::Bozo(const TString& author, const TString& email) : mAuthor(Clean(author)), mEmail(Clean(email))
{
	keyBuild();
}

void Bozo::Clear()
{
	mKey.Erase();
	mAuthor.Erase();
	mEmail.Erase();
	mDate = 0;
	mLength = 0;
}

void Bozo::keyBuild()
{
	mKey = mAuthor;
	mKey += '\t';
	mKey += mEmail;
}

TString Bozo::Clean(const TString& text)
{
	TString out = text;
	out.Trim();
	return out;
}

bool Bozo::PairValid(const TString& author, const TString& email)
{
	TString a = Clean(author), e = Clean(email);
	return !a.Empty() && !e.Empty() && a.Valid() && e.Valid() && escape(a).size() <= kFieldMax &&
		escape(e).size() <= kFieldMax;
}

int Bozo::comp(const Bozo& other) const
{
	int c = Str::CmpList(mKey.String(), other.mKey.String());
	if (c == 0)
		c = Str::Cmp(mAuthor.String(), other.mAuthor.String());
	if (c == 0)
		c = Str::Cmp(mEmail.String(), other.mEmail.String());
	return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool Bozo::Expired(long long t) const
{
	if (t == 0)
		t = TimeCore::TimeGet();
	return t >= mDate + mLength;
}

void Bozo::LineFormat(TString& line) const
{
	TString date, length;
	TimeFormat::DateTimeVal(date, mDate, TimeCore::kBiasLocal, nullptr, true);
	TimeFormat::Usecs(length, mLength, false, true);
	std::string text = escape(mAuthor) + '\t' + escape(mEmail) + '\t' + bytes(date) + '\t' + bytes(length);
	fromBytes(text, line);
}

bool Bozo::LineParse(const TString& line)
{
	Clear();
	std::vector<std::string> fields;
	std::string text(line.String(), static_cast<size_t>(line.ByteLength()));
	size_t pos = 0;
	while (pos <= text.size()) {
		size_t tab = text.find('\t', pos);
		if (tab == std::string::npos)
			tab = text.size();
		if (tab > pos)
			fields.push_back(text.substr(pos, tab - pos));
		pos = tab + 1;
	}
	if (fields.size() != 4)
		return false;
	long long date = 0, length = 0;
	if (!TimeFormat::Parse(&date, fields[2].c_str(), TimeCore::kBiasLocal, -1, nullptr, true) ||
		!TimeFormat::Usecs(&length, fields[3].c_str(), true) || date <= 1000000 || length <= 1000000)
		return false;
	TString author, email;
	if (!fromBytes(unescape(fields[0]), author) || !fromBytes(unescape(fields[1]), email))
		return false;
	author = Clean(author);
	email = Clean(email);
	if (author.Empty() || email.Empty())
		return false;
	mAuthor = author;
	mEmail = email;
	keyBuild();
	mDate = date;
	mLength = length;
	return true;
}
