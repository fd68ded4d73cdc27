#include "TStringImp.h"

#include <climits>

#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

bool TStringImp::Normalize(const char* src, size_t bytes, bool composed, std::string& out)
{
	out.clear();
	if (!src || bytes > INT32_MAX)
		return false;
	UErrorCode err = U_ZERO_ERROR;
	const icu::Normalizer2* norm =
		composed ? icu::Normalizer2::getNFCInstance(err) : icu::Normalizer2::getNFDInstance(err);
	if (U_FAILURE(err) || !norm)
		return false;
	icu::UnicodeString text =
		icu::UnicodeString::fromUTF8(icu::StringPiece(src, static_cast<int32_t>(bytes)));
	icu::UnicodeString result = norm->normalize(text, err);
	if (U_FAILURE(err))
		return false;
	result.toUTF8String(out);
	return true;
}

void TStringImp::Utf8Lossy(const char* src, size_t bytes, size_t maxOut, std::string& out)
{
	out.clear();
	if (!src)
		return;
	if (bytes > INT32_MAX)
		bytes = INT32_MAX;
	const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
	int32_t len = static_cast<int32_t>(bytes);
	int32_t i = 0;
	while (i < len && s[i] && out.size() < maxOut) {
		int32_t start = i;
		UChar32 c;
		U8_NEXT(s, i, len, c);
		if (c <= 0) {
			if (c == 0)
				break;
			out += '?';
		} else {
			out.append(src + start, static_cast<size_t>(i - start));
		}
	}
}

bool TStringImp::Utf8Strict(const char* src, size_t bytes)
{
	if (!src || bytes > INT32_MAX)
		return false;
	const uint8_t* s = reinterpret_cast<const uint8_t*>(src);
	int32_t len = static_cast<int32_t>(bytes);
	for (int32_t i = 0; i < len;) {
		UChar32 c;
		U8_NEXT(s, i, len, c);
		if (c < 0)
			return false;
	}
	return true;
}
