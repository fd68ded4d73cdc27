#include "NetName.h"

#include "Net.h"
#include "TimeCore.h"
#include "Unicode.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool isAsciiAlnum(unsigned char c)
{
	return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(unsigned char c)
{
	return c >= '0' && c <= '9';
}

}  // namespace

bool NetName::HostChar(char c)
{
	unsigned char u = static_cast<unsigned char>(c);
	return isAsciiAlnum(u) || u == '-' || u == '.';
}

bool NetName::HostValid(const TString& name)
{
	const char* s = name.String();
	size_t len = std::strlen(s);
	if (len < 1 || len > 70)
		return false;
	if (IPAddrFromString(name) != 0)
		return true;
	unsigned char first = static_cast<unsigned char>(s[0]);
	unsigned char last = static_cast<unsigned char>(s[len - 1]);
	if (len == 1)
		return isAsciiAlnum(first);
	if (isDigit(first) && isDigit(last))
		return false;
	if (first == '.' || last == '.')
		return false;
	for (size_t i = 0; i < len; i++) {
		if (!HostChar(s[i]))
			return false;
		if (s[i] == '.' && i + 1 < len && s[i + 1] == '.')
			return false;
	}
	return true;
}

unsigned long NetName::IPAddrFromString(const TString& text)
{
	const char* s = text.String();
	size_t len = std::strlen(s);
	if (len < 1 || len > 15)
		return 0;
	unsigned long result = 0;
	size_t pos = 0;
	for (int group = 0; group < 4; group++) {
		if (group > 0) {
			if (s[pos] != '.')
				return 0;
			pos++;
		}
		unsigned long value = 0;
		int digits = 0;
		while (isDigit(static_cast<unsigned char>(s[pos])) && digits < 3) {
			value = value * 10 + static_cast<unsigned long>(s[pos] - '0');
			pos++;
			digits++;
		}
		if (digits == 0 || value > 255)
			return 0;
		result = (result << 8) | value;
	}
	if (s[pos] != 0)
		return 0;
	return result;
}

bool NetName::EmailChar(char c)
{
	unsigned char u = static_cast<unsigned char>(c);
	return isAsciiAlnum(u) || u == '+' || u == '-' || u == '.' || u == '@' || u == '_';
}

bool NetName::EmailValid(const TString& text)
{
	const char* s = text.String();
	size_t len = std::strlen(s);
	if (len < 5 || len > 65)
		return false;
	if (!isAsciiAlnum(static_cast<unsigned char>(s[0])) ||
		!isAsciiAlnum(static_cast<unsigned char>(s[len - 1])))
		return false;
	size_t at = len;
	int atCount = 0;
	for (size_t i = 0; i < len; i++) {
		if (!EmailChar(s[i]))
			return false;
		if (s[i] == '.' && s[i + 1] == '.')
			return false;
		if (s[i] == '@') {
			atCount++;
			at = i;
		}
	}
	if (atCount != 1)
		return false;
	// The first and last bytes are letters or digits, so both neighbours of "@" exist.
	if (!isAsciiAlnum(static_cast<unsigned char>(s[at - 1])) ||
		!isAsciiAlnum(static_cast<unsigned char>(s[at + 1])))
		return false;
	int digits = 0;
	for (size_t i = 0; i < at; i++)
		if (isDigit(static_cast<unsigned char>(s[i])))
			digits++;
	return digits < 6;
}

bool NetName::NewsChar(char c)
{
	unsigned char u = static_cast<unsigned char>(c);
	return u >= 0x80 || isAsciiAlnum(u) || u == '+' || u == '-' || u == '.' || u == '_';
}

bool NetName::NewsValid(const TString& name)
{
	const char* s = name.String();
	size_t len = std::strlen(s);
	if (len < 1)
		return false;
	long bytes = 0, chars = 0;
	if (!Unicode::Validate(s, static_cast<long>(len), 2000000, &bytes, &chars) ||
		bytes != static_cast<long>(len) || chars < 1 || chars > 72)
		return false;
	unsigned char first = static_cast<unsigned char>(s[0]);
	if (!(first >= 0x80 || isAsciiAlnum(first)))
		return false;
	if (s[len - 1] == '.' || s[len - 1] == '_')
		return false;
	bool letter = false;
	for (size_t i = 0; i < len; i++) {
		unsigned char u = static_cast<unsigned char>(s[i]);
		if (!NewsChar(s[i]))
			return false;
		if (u == '.' && s[i + 1] == '.')
			return false;
		if (u >= 0x80 || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z'))
			letter = true;
	}
	return letter;
}

void NetName::HostClean(TString& name)
{
	std::string out;
	const char* s = name.String();
	for (size_t i = 0; s[i]; i++) {
		if (!HostChar(s[i]))
			continue;
		if (s[i] == '.' && !out.empty() && out.back() == '.')
			continue;
		out.push_back(s[i]);
	}
	if (!out.empty() && out.front() == '.')
		out.erase(0, 1);
	if (!out.empty() && out.back() == '.')
		out.pop_back();
	if (out.size() > 70)
		out.resize(70);
	name.Erase();
	name.AllowInvalidSet(false);
	name.CharsetSet(kCharsetUTF8);
	name.Assign(out.c_str());
}

void NetName::HostNoDomain(TString& domain, TString& host)
{
	if (!(domain.Empty() || domain == UnknownDomain()))
		return;
	const char* dot = std::strchr(host.String(), '.');
	if (!dot)
		return;
	TString rest(dot + 1);
	TString first;
	first.AssignByte(host.String(), static_cast<long>(dot - host.String()));
	HostClean(rest);
	HostClean(first);
	domain = rest.Empty() ? TString(UnknownDomain()) : rest;
	host = first.Empty() ? TString(UnknownHost()) : first;
}

void NetName::HostOverlap(const TString& domain, TString& host)
{
	long n = host.ByteLength(), m = domain.ByteLength();
	if (m < 1 || n < m || std::strcmp(host.String() + n - m, domain.String()) != 0)
		return;
	host.EraseRightByte(m);
	HostClean(host);
	if (host.Empty())
		host = UnknownHost();
}

const char* NetName::IPAddrToString(TString& out, unsigned long address, bool padded)
{
	unsigned a = (address >> 24) & 0xFF, b = (address >> 16) & 0xFF, c = (address >> 8) & 0xFF,
			 d = address & 0xFF;
	out.Fmt(padded ? "%03u.%03u.%03u.%03u" : "%u.%u.%u.%u", a, b, c, d);
	return out.String();
}

bool NetName::EmailFind(const TString& text, TString& found)
{
	found.Erase();
	const char* s = text.String();
	size_t len = std::strlen(s);
	for (size_t at = 0; at < len; at++) {
		if (s[at] != '@')
			continue;
		size_t begin = at, end = at + 1;
		while (begin > 0 && EmailChar(s[begin - 1]) && s[begin - 1] != '@')
			begin--;
		while (end < len && EmailChar(s[end]) && s[end] != '@')
			end++;
		if (end - begin > 65)
			continue;
		TString candidate;
		candidate.AssignByte(s + begin, static_cast<long>(end - begin));
		if (EmailValid(candidate)) {
			found = candidate;
			return true;
		}
	}
	return false;
}

bool NetName::EmailOrMsgId(const TString& text)
{
	const char* s = text.String();
	const char* at = std::strchr(s, '@');
	if (!at || at == s)
		return false;
	int digits = 0;
	for (const char* p = s; p < at; p++)
		if (isDigit(static_cast<unsigned char>(*p)))
			digits++;
	return digits < 4;
}

bool NetName::MsgIdChar(char c)
{
	unsigned char u = static_cast<unsigned char>(c);
	return !(u == 0 || u == ' ' || u == '\t' || u == '\r' || u == '\n' || u == '\v' || u == '\f' ||
		u == '<' || u == '>');
}

bool NetName::MsgIdValid(const TString& text)
{
	const char* s = text.String();
	size_t len = std::strlen(s);
	if (len < 5 || len > 255 || s[0] != '<' || s[len - 1] != '>')
		return false;
	if (s[1] == '@' || s[len - 2] == '@')
		return false;
	int atCount = 0;
	for (size_t i = 1; i + 1 < len; i++) {
		if (!MsgIdChar(s[i]))
			return false;
		if (s[i] == '@')
			atCount++;
	}
	return atCount == 1;
}

const char* NetName::MsgIdGen(TString& out, bool bogus)
{
	// The time in microseconds, made strictly increasing so that two ids made within the same
	// microsecond still differ.
	static std::atomic<long long> sLast{0};
	long long time = TimeCore::TimeGet();
	long long last = sLast.load();
	long long next;
	do {
		next = time > last ? time : last + 1;
	} while (!sLast.compare_exchange_weak(last, next));
	unsigned long long now = static_cast<unsigned long long>(next);
	if (bogus) {
		out.Fmt("<BOGUS%016llX@quillfern.invalid>", now);
	} else {
		TString fqdn;
		Net::LocalFQDN(fqdn);
		out.Fmt("<QM%016llX@%s>", now, fqdn.String());
	}
	return out.String();
}

bool NetName::MsgIdGenValid(const TString& text)
{
	const char* s = text.String();
	if (text.ByteLength() < 22 || !MsgIdValid(text))
		return false;
	if (s[1] != 'Q' || s[2] != 'M' || s[19] != '@')
		return false;
	for (int i = 3; i <= 18; i++) {
		char c = s[i];
		if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
			return false;
	}
	return true;
}

bool NetName::NewsListValid(const TString& list)
{
	const char* s = list.String();
	size_t len = std::strlen(s);
	if (len < 1 || s[0] == ',' || s[len - 1] == ',')
		return false;
	for (size_t i = 0; i < len; i++) {
		unsigned char u = static_cast<unsigned char>(s[i]);
		if (u == ' ' || u == '\t' || u == '\r' || u == '\n' || u == '\v' || u == '\f')
			return false;
		if (s[i] == ',' && s[i + 1] == ',')
			return false;
	}
	std::vector<std::string> seen;
	size_t start = 0;
	while (start <= len) {
		size_t comma = start;
		while (comma < len && s[comma] != ',')
			comma++;
		std::string name(s + start, comma - start);
		TString element;
		element.AllowInvalidSet(true);
		element.AssignByte(name.data(), static_cast<long>(name.size()));
		if (!NewsValid(element))
			return false;
		for (const std::string& other : seen)
			if (other == name)
				return false;
		seen.push_back(name);
		if (seen.size() > 4)
			return false;
		start = comma + 1;
	}
	return true;
}
