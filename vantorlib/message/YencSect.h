// The values of one yEnc block ("=ybegin", "=ypart", "=yend") and its line decoder with the
// running CRC-32 and byte count.
#pragma once

#include <cstdint>

#include "TString.h"

class YencSect {
public:
	YencSect() { Clear(); }

	void Clear();
	void CrcClear();

	// "=ybegin ... name=..." with a name; reads size, part and line.
	bool LineStart(const TString& line, TString& name);
	bool LineStart(const TString& line);
	// "=ypart": reads begin and end.
	bool LinePart(const TString& line);
	// "=yend": reads the CRC, size and part.
	bool LineStop(const TString& line);

	// Decodes one data line, updating the CRC and count; returns the number of bytes.
	long LineDecode(const TString& line, unsigned char* out, long capacity);
	long LineDecode(const char* line, long length, unsigned char* out, long capacity);

	// CRC-32 (IEEE 802.3, reflected) carried on from crc over n bytes; start from 0xFFFFFFFF.
	static uint32_t CrcUpdate(uint32_t crc, const unsigned char* data, long n);

	bool Valid() const;
	bool SinglePart() const;
	bool CrcValid() const;

	int32_t size, line, part;
	uint32_t crc;
	int32_t partBegin, partEnd;
	int32_t endSize, endPart;
	uint32_t crcRunning;
	int32_t count;

private:
	static long valueGet(const TString& line, const char* key);
	static uint32_t hexGet(const TString& line, const char* key);
};
