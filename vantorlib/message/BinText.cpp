#include "BinText.h"

#include <vector>

int BinText::base64Value(char c)
{
	if (c >= 'A' && c <= 'Z')
		return c - 'A';
	if (c >= 'a' && c <= 'z')
		return c - 'a' + 26;
	if (c >= '0' && c <= '9')
		return c - '0' + 52;
	if (c == '+')
		return 62;
	if (c == '/')
		return 63;
	return -1;
}

int BinText::uuValue(char c)
{
	if (c == '`')
		return 0;
	int v = static_cast<unsigned char>(c) - 32;
	return (v >= 0 && v <= 63) ? v : -1;
}

namespace {

// Collects six-bit values into groups of four; a group of n values gives n - 1 bytes.
struct GroupWriter {
	unsigned char* out;
	long capacity;
	BinText::DataType type;
	long count = 0;
	int values[4] = {0, 0, 0, 0};
	int have = 0;

	bool room() const { return capacity - count >= 6; }
	void put(unsigned char b)
	{
		if (type != BinText::DataBinary && b == 0)
			b = ' ';
		out[count++] = b;
	}
	// Emits the bytes of the group collected so far (at most limit of them).
	void flush(long limit)
	{
		if (have >= 2 && limit > 0) {
			put(static_cast<unsigned char>((values[0] << 2) | (values[1] >> 4)));
			--limit;
		}
		if (have >= 3 && limit > 0) {
			put(static_cast<unsigned char>(((values[1] & 15) << 4) | (values[2] >> 2)));
			--limit;
		}
		if (have >= 4 && limit > 0)
			put(static_cast<unsigned char>(((values[2] & 3) << 6) | values[3]));
		have = 0;
	}
	void finish()
	{
		if (type != BinText::DataBinary && capacity > count)
			out[count] = 0;
	}
};

}  // namespace

long BinText::Base64Decode(const char* text, unsigned char* out, long capacity, DataType type)
{
	if (!out || capacity < 1)
		return 0;
	GroupWriter w{out, capacity, type};
	for (const char* p = text ? text : ""; *p && w.room(); ++p) {
		int v = base64Value(*p);
		if (v < 0)
			continue;
		w.values[w.have++] = v;
		if (w.have == 4)
			w.flush(3);
	}
	if (w.room())
		w.flush(3);
	w.finish();
	return w.count;
}

long BinText::Base64Decode(const TString& text, unsigned char* out, long capacity, DataType type)
{
	return Base64Decode(text.String(), out, capacity, type);
}

void BinText::Base64Decode(TString& text)
{
	std::vector<unsigned char> buf(size_t(text.ByteLength()) * 2 + 8);
	long n = Base64Decode(text.String(), buf.data(), long(buf.size()), DataText);
	text.CharsetSet(kCharsetISO8859_1);
	text.Erase();
	text.AppendByte(reinterpret_cast<const char*>(buf.data()), n);
}

long BinText::UuDecode(const char* line, unsigned char* out, long capacity, DataType type)
{
	if (!line || !*line || !out || capacity < 1)
		return 0;
	int declared = uuValue(line[0]);
	if (declared < 1 || declared > 63)
		return 0;
	GroupWriter w{out, capacity, type};
	for (const char* p = line + 1; *p && w.count < declared && w.room(); ++p) {
		int v = uuValue(*p);
		if (v < 0)
			continue;
		w.values[w.have++] = v;
		if (w.have == 4)
			w.flush(declared - w.count);
	}
	if (w.count < declared && w.room())
		w.flush(declared - w.count);
	w.finish();
	return w.count;
}

bool BinText::UuLineStart(const TString& line, TString& name)
{
	name.Erase();
	name.CharsetSet(line.CharsetGet());
	name.AllowInvalidSet(true);
	name.Erase();
	const char* s = line.String();
	if (line.ByteLength() < 6)
		return false;
	if (!(Str::ToLower(s[0]) == 'b' && Str::ToLower(s[1]) == 'e' && Str::ToLower(s[2]) == 'g' &&
			Str::ToLower(s[3]) == 'i' && Str::ToLower(s[4]) == 'n' && Str::IsWhite(s[5])))
		return false;
	const char* p = s + 5;
	while (Str::IsWhite(*p))
		++p;
	if (*p == '+')
		++p;
	int digits = 0;
	while (Str::IsDigit(*p)) {
		++p;
		++digits;
	}
	if (digits != 3 || !Str::IsWhite(*p))
		return false;
	while (Str::IsWhite(*p))
		++p;
	if (!*p)
		return false;
	name.AppendByte(p, line.ByteLength() - (p - s));
	name.Trim();
	return !name.Empty();
}

bool BinText::UuLineStart(const TString& line)
{
	TString name;
	return UuLineStart(line, name);
}

bool BinText::UuLineStop(const TString& line)
{
	const char* s = line.String();
	if (line.ByteLength() < 3)
		return false;
	if (!(Str::ToLower(s[0]) == 'e' && Str::ToLower(s[1]) == 'n' && Str::ToLower(s[2]) == 'd'))
		return false;
	return s[3] == 0 || Str::IsWhite(s[3]);
}

bool BinText::UuLineData(const TString& line)
{
	const char* s = line.String();
	long len = line.ByteLength();
	if (len < 1 || s[0] == ' ')
		return false;
	int declared = uuValue(s[0]);
	if (declared < 0)
		return false;
	long values = 0;
	for (long i = 1; i < len; ++i) {
		if (uuValue(s[i]) < 0)
			return false;
		++values;
	}
	// Bytes given by the values: three per full group, n - 1 for a partial group of n.
	long bytes = (values / 4) * 3 + (values % 4 >= 2 ? values % 4 - 1 : 0);
	return bytes == declared;
}
