// Arbitrary bytes received as a whole article into a message file: the sections found must
// point inside the file, and the file must read back.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "MessageFile.h"
#include "TimeFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool started = TimeFormat::Start();
	static const std::string path = "/tmp/qf-section-fuzz-" + std::to_string(getpid()) + ".qmsg";
	if (!started)
		return 0;
	MessageFile file;
	if (file.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0) != ErrOkay)
		return 0;
	const char* p = reinterpret_cast<const char*>(data);
	size_t start = 0;
	for (size_t i = 0; i <= size; ++i) {
		if (i < size && p[i] != '\n')
			continue;
		TString line;
		line.AllowInvalidSet(true);
		line.AppendByte(p + start, long(i - start));
		start = i + 1;
		file.LineAppend(line);
	}
	file.DownloadClose(kCharsetNone);
	MessageHead head;
	if (head.HeaderRead(TString(path.c_str()), MessageHead::kLockWait) == ErrOkay) {
		FILE* f = fopen(path.c_str(), "rb");
		long length = 0;
		if (!f || std::fseek(f, 0, SEEK_END) != 0 || (length = std::ftell(f)) < 0)
			std::abort();
		std::fclose(f);  // NOLINT(cert-err33-c): only read
		for (const MessageSect& s : head.Sections())
			if (!s.Valid() || s.OffsetGet() >= length)
				__builtin_trap();
	}
	std::remove(path.c_str());  // NOLINT(cert-err33-c): the next input writes it anew
	return 0;
}
