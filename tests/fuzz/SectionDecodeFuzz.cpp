// Arbitrary bytes received as an article, then every attachment found decoded: whatever the
// input, a decode ends with success or an error, and a failed one leaves no output behind.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "MessageFile.h"
#include "TimeFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool started = TimeFormat::Start();
	static const std::string path = "/tmp/qf-decode-fuzz-" + std::to_string(getpid()) + ".qmsg";
	static const std::string out = "/tmp/qf-decode-fuzz-" + std::to_string(getpid()) + ".out";
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
		std::vector<MessageSect> list;
		long n = head.sectFirstList(list);
		for (long i = 0; i < n; ++i) {
			MessageBody body;
			Error e = body.Decode(TString(path.c_str()), i, TString(out.c_str()), nullptr, nullptr);
			bool left = access(out.c_str(), F_OK) == 0;
			if (e != ErrOkay && left)
				__builtin_trap();
			std::remove(out.c_str());  // NOLINT(cert-err33-c): there may be nothing to remove
		}
		// The same message as every part of a set of two.
		std::vector<TString> paths{TString(path.c_str()), TString(path.c_str())};
		MessageBody body;
		if (body.Decode(paths, TString(out.c_str()), nullptr, nullptr) != ErrOkay &&
			access(out.c_str(), F_OK) == 0)
			__builtin_trap();
		std::remove(out.c_str());  // NOLINT(cert-err33-c): there may be nothing to remove
	}
	std::remove(path.c_str());  // NOLINT(cert-err33-c): the next input writes it anew
	return 0;
}
