#include "NetName.h"

#include "Unicode.h"

#include <cstring>

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
