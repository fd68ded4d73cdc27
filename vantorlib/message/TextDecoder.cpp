#include "TextDecoder.h"

#include "CSet.h"
#include "CSetImp.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

}  // namespace

TextDecoder::TextDecoder(Charset cs)
{
	Reset(cs);
}

TextDecoder::~TextDecoder()
{
	CSetImp::DecoderClose(mDecoder);
}

void TextDecoder::Reset(Charset cs)
{
	CSetImp::DecoderClose(mDecoder);
	mCharset = CSet::Available(cs) || cs == kCharsetUSASCII ? cs : kCharsetISO8859_1;
	mDecoder = CSetImp::DecoderOpen(mCharset);
	if (!mDecoder) {
		mCharset = kCharsetISO8859_1;
		mDecoder = CSetImp::DecoderOpen(mCharset);
	}
}

void TextDecoder::Feed(const char* s, long n, std::string& out, bool flush)
{
	size_t from = out.size();
	if (mDecoder) {
		CSetImp::DecoderRun(mDecoder, s, n, flush, out);
	} else {
		// No converter at all: ASCII passes, every other byte is replaced.
		for (long i = 0; i < n; ++i) {
			unsigned char c = static_cast<unsigned char>(s[i]);
			if (c < 0x80)
				out += char(c);
			else
				out += kReplacement;
		}
	}
	size_t nul = out.find('\0', from);
	while (nul != std::string::npos) {
		out.replace(nul, 1, kReplacement);
		nul = out.find('\0', nul + 3);
	}
}
