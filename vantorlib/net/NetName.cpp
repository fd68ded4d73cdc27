#include "NetName.h"

#include "Unicode.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "TimeCore.h"

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
	if (!isAsciiAlnum(static_cast<unsigned char>(s[0])) || !isAsciiAlnum(static_cast<unsigned char>(s[len - 1])))
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
	if (!isAsciiAlnum(static_cast<unsigned char>(s[at - 1])) || !isAsciiAlnum(static_cast<unsigned char>(s[at + 1])))
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

bool NetName::EmailFind(const TString& text, TString& found)
{
	found.CharsetSet(kCharsetUTF8);
	found.Erase();
	const char* s = text.String();
	long len = text.ByteLength();
	for (long at = 0; at < len; ++at) {
		if (s[at] != '@')
			continue;
		long b = at, e = at + 1;
		while (b > 0 && EmailChar(s[b - 1]) && s[b - 1] != '@')
			--b;
		while (e < len && EmailChar(s[e]) && s[e] != '@')
			++e;
		if (e - b > 65)
			continue;
		TString run;
		run.AssignByte(s + b, e - b);
		if (EmailValid(run)) {
			found = run;
			return true;
		}
	}
	return false;
}

bool NetName::MsgIdChar(char c)
{
	return c != 0 && c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '<' && c != '>';
}

bool NetName::MsgIdValid(const TString& text)
{
	const char* s = text.String();
	long len = text.ByteLength();
	if (len < 5 || len > 255 || s[0] != '<' || s[len - 1] != '>')
		return false;
	if (s[1] == '@' || s[len - 2] == '@')
		return false;
	int ats = 0;
	for (long i = 1; i < len - 1; ++i) {
		if (!MsgIdChar(s[i]))
			return false;
		if (s[i] == '@')
			++ats;
	}
	return ats == 1;
}

namespace {

// The machine's name for generated message-ids, cleaned to host-name bytes.
const std::string& idHost()
{
	static const std::string host = [] {
		char buf[1024] = {0};
		std::string out;
		if (gethostname(buf, sizeof(buf) - 2) == 0)
			for (const char* p = buf; *p && out.size() < 70; ++p)
				if (NetName::HostChar(*p) && !(*p == '.' && (out.empty() || out.back() == '.')))
					out += *p;
		while (!out.empty() && out.back() == '.')
			out.pop_back();
		if (out.empty())
			out = "unknown";
		if (out.find('.') == std::string::npos)
			out += ".unknown.dom";
		return out;
	}();
	return host;
}

}  // namespace

void NetName::MsgIdGen(TString& text, bool bogus)
{
	// The time in microseconds, made strictly increasing so that two ids made within the
	// same microsecond still differ.
	static std::atomic<long long> sLast{0};
	long long now = TimeCore::TimeGet();
	long long last = sLast.load();
	long long next;
	do {
		next = now > last ? now : last + 1;
	} while (!sLast.compare_exchange_weak(last, next));
	char digits[32];
	std::snprintf(digits, sizeof(digits), "%016llX", static_cast<unsigned long long>(next));
	text.CharsetSet(kCharsetUTF8);
	if (bogus)
		text.Fmt("<BOGUS%s@quillfern.invalid>", digits);
	else
		text.Fmt("<QM%s@%s>", digits, idHost().c_str());
}

bool NetName::MsgIdGenValid(const TString& text)
{
	const char* s = text.String();
	if (text.ByteLength() < 22 || !MsgIdValid(text) || s[1] != 'Q' || s[2] != 'M' || s[19] != '@')
		return false;
	for (int i = 3; i <= 18; ++i)
		if (!Str::IsHexDigit(s[i]) || Str::IsLower(s[i]))
			return false;
	return true;
}
