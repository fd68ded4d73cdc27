#include "CSetImp.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <vector>

#include "CSet.h"
#include "TString.h"

bool CSetImp::Exists(const char* converterName)
{
	if (!converterName)
		return false;
	UErrorCode status = U_ZERO_ERROR;
	UConverter* conv = ucnv_open(converterName, &status);
	if (U_FAILURE(status) || !conv)
		return false;
	ucnv_close(conv);
	return true;
}

bool CSetImp::Builtin(Charset cs)
{
	return Exists(CSet::PlatformName(cs));
}

namespace {

// One converter, closed when it goes out of scope.
struct Converter {
	UConverter* conv = nullptr;
	explicit Converter(const char* name)
	{
		UErrorCode status = U_ZERO_ERROR;
		conv = ucnv_open(name, &status);
		if (U_FAILURE(status)) {
			if (conv)
				ucnv_close(conv);
			conv = nullptr;
		}
	}
	~Converter()
	{
		if (conv)
			ucnv_close(conv);
	}
	Converter(const Converter&) = delete;
	Converter& operator=(const Converter&) = delete;
};

// Bytes in one converter's charset to bytes in another's, through UTF-16. Input that is not
// valid in its charset fails the conversion; characters the target cannot hold become "?".
bool icuConvert(const char* fromName, const char* src, long n, const char* toName, std::vector<char>& out)
{
	Converter from(fromName), to(toName);
	if (!from.conv || !to.conv)
		return false;
	UErrorCode status = U_ZERO_ERROR;
	ucnv_setToUCallBack(from.conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
	if (U_FAILURE(status))
		return false;
	std::vector<UChar> wide(size_t(n) * 2 + 4);
	int32_t units = ucnv_toUChars(from.conv, wide.data(), int32_t(wide.size()), src, int32_t(n), &status);
	if (U_FAILURE(status))
		return false;
	status = U_ZERO_ERROR;
	ucnv_setSubstChars(to.conv, "?", 1, &status);
	status = U_ZERO_ERROR;
	int32_t need = ucnv_fromUChars(to.conv, nullptr, 0, wide.data(), units, &status);
	if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
		return false;
	out.assign(size_t(need) + 4, 0);
	status = U_ZERO_ERROR;
	int32_t got = ucnv_fromUChars(to.conv, out.data(), int32_t(out.size()), wide.data(), units, &status);
	if (U_FAILURE(status))
		return false;
	out.resize(size_t(got));
	return true;
}

}  // namespace

bool CSetImp::Convert(Charset from, const TString& text, Charset to, TString& out)
{
	// The source may be out itself, which is emptied below: then it is copied first.
	TString copy;
	if (&text == &out)
		copy = text;
	const TString& src = &text == &out ? copy : text;
	out.Erase();
	out.AllowInvalidSet(true);
	out.CharsetSet(to);
	if (src.Empty()) {
		out.AllowInvalidSet(false);
		return true;
	}
	Charset f = from == kCharsetUSASCII ? kCharsetISO8859_1 : from;
	Charset t = to == kCharsetUSASCII ? kCharsetISO8859_1 : to;
	bool converted = false;
	if (f == t) {
		converted = true;
	} else if ((f == kCharsetUTF8 || t == kCharsetUTF8) && CSet::Available(f) && CSet::Available(t)) {
		std::vector<char> bytes;
		if (icuConvert(CSet::PlatformName(f), src.String(), src.ByteLength(), CSet::PlatformName(t), bytes)) {
			// A converted text keeps no NUL bytes: the string ends at the first one.
			out.AppendByte(bytes.data(), long(bytes.size()));
			converted = true;
		}
	}
	if (out.Empty())
		out.AppendByte(src.String(), src.ByteLength());
	if (!out.Valid())
		out.Clean();
	out.AllowInvalidSet(false);
	if (to == kCharsetUSASCII)
		out.ToAscii();
	return converted;
}

void* CSetImp::DecoderOpen(Charset cs)
{
	Charset c = cs == kCharsetUSASCII ? kCharsetISO8859_1 : cs;
	if (!CSet::Available(c))
		return nullptr;
	UErrorCode status = U_ZERO_ERROR;
	UConverter* conv = ucnv_open(CSet::PlatformName(c), &status);
	if (U_FAILURE(status)) {
		if (conv)
			ucnv_close(conv);
		return nullptr;
	}
	// Illegal and unmapped bytes are substituted, not an error.
	status = U_ZERO_ERROR;
	ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
	return conv;
}

void CSetImp::DecoderRun(void* decoder, const char* src, long n, bool flush, std::string& out)
{
	auto* conv = static_cast<UConverter*>(decoder);
	if (!conv || (n <= 0 && !flush))
		return;
	constexpr int32_t kWide = 4096;
	UChar wide[kWide];
	const char* p = src;
	const char* end = src + (n > 0 ? n : 0);
	int32_t kept = 0;  // a lead surrogate held back for its trail in the next round
	for (;;) {
		UChar* target = wide + kept;
		UErrorCode status = U_ZERO_ERROR;
		ucnv_toUnicode(conv, &target, wide + kWide, &p, end, nullptr, flush, &status);
		int32_t units = int32_t(target - wide);
		bool more = status == U_BUFFER_OVERFLOW_ERROR;
		kept = 0;
		if (more && units > 0 && U16_IS_LEAD(wide[units - 1])) {
			--units;
			kept = 1;
		}
		if (units > 0) {
			char bytes[4096 * 3 + 4];
			int32_t got = 0;
			UErrorCode st = U_ZERO_ERROR;
			u_strToUTF8WithSub(bytes, int32_t(sizeof bytes), &got, wide, units, 0xFFFD, nullptr, &st);
			if (U_SUCCESS(st))
				out.append(bytes, size_t(got));
		}
		if (kept)
			wide[0] = wide[units];
		if (!more)
			break;
	}
}

void CSetImp::DecoderClose(void* decoder)
{
	if (decoder)
		ucnv_close(static_cast<UConverter*>(decoder));
}
