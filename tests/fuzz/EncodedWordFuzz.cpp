// Decodes arbitrary header bytes read in any of the charsets, then encodes the result again
// for posting and decodes that: each step must give valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "CSet.h"
#include "HeaderUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 1)
		return 0;
	Charset cs = Charset(data[0] % kCharsetCount + 1);
	TString raw;
	raw.CharsetSet(cs);
	raw.AllowInvalidSet(true);
	raw.AppendByte(reinterpret_cast<const char*>(data + 1), long(size - 1));
	TString decoded, encoded, again;
	HeaderUtil::Decode(decoded, raw);
	if (!decoded.Valid() || decoded.CharsetGet() != kCharsetUTF8)
		abort();
	Charset target = CSet::Available(cs) ? cs : kCharsetUTF8;
	HeaderUtil::Encode(encoded, decoded, target);
	HeaderUtil::Decode(again, encoded);
	if (!again.Valid())
		abort();
	return 0;
}
