// End-to-end: quillfern decode writing attachments from a message directory, assembling the
// parts of a binary, naming missing and failing parts, and keeping names inside the folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "HeaderUtil.h"
#include "MessageFile.h"
#include "TestSupport.h"
#include "YencSect.h"

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

// Stores an article in the folder under its message file name.
void store(
	const std::string& mdir, const std::string& id, const std::string& subject, const std::string& body)
{
	TString leaf;
	HeaderUtil::MessageFilename(leaf, TString(id.c_str()));
	std::string path = mdir + "/" + leaf.String();
	std::string article =
		"From: Poster <poster@example.org>\nNewsgroups: alt.binaries.test\nSubject: " + subject +
		"\nMessage-ID: " + id + "\n\n" + body;
	MessageFile f;
	ASSERT_EQ(f.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0), ErrOkay);
	std::istringstream in(article);
	std::string line;
	while (std::getline(in, line)) {
		TString t;
		t.AllowInvalidSet(true);
		t.AppendByte(line.data(), long(line.size()));
		f.LineAppend(t);
	}
	ASSERT_EQ(f.DownloadClose(kCharsetNone), ErrOkay);
}

std::string yencPart(
	const std::string& name, const std::string& all, size_t begin, size_t end, int part, int total)
{
	std::string chunk = all.substr(begin, end - begin), lines;
	size_t column = 0;
	for (unsigned char b : chunk) {
		unsigned char c = static_cast<unsigned char>(b + 42);
		if (c == 0 || c == '\n' || c == '\r' || c == '=') {
			lines += '=';
			c = static_cast<unsigned char>(c + 64);
		}
		lines += char(c);
		if (++column >= 128) {
			lines += '\n';
			column = 0;
		}
	}
	uint32_t crc = ~YencSect::CrcUpdate(
		0xFFFFFFFFu, reinterpret_cast<const unsigned char*>(chunk.data()), long(chunk.size()));
	char tail[120];
	std::snprintf(tail, sizeof(tail), "=yend size=%zu part=%d pcrc32=%08x\n", chunk.size(), part, crc);
	if (column > 0)
		lines += '\n';
	return "=ybegin part=" + std::to_string(part) + " total=" + std::to_string(total) +
		" line=128 size=" + std::to_string(all.size()) + " name=" + name +
		"\n=ypart begin=" + std::to_string(begin + 1) + " end=" + std::to_string(end) + "\n" + lines + tail;
}

}  // namespace

TEST(DecodeCommand, AssemblesPartsAndReportsMissingOnes)
{
	TempDir tmp;
	std::string root = tmp.Sub("root");
	ASSERT_EQ(RunQuillfern({"--root", root, "init"}).status, 0);
	std::string mdir = root + "/Saved/Bin";
	fs::create_directories(mdir);
	std::string out = tmp.Sub("out");
	fs::create_directories(out);

	std::string data;
	for (int i = 0; i < 3000; ++i)
		data += char((i * 131 + 7) & 0xFF);
	for (int p = 1; p <= 3; ++p)
		store(mdir, "<p" + std::to_string(p) + "@example.org>", "big.bin (" + std::to_string(p) + "/3)",
			yencPart("big.bin", data, size_t(p - 1) * 1000, size_t(p) * 1000, p, 3));
	store(mdir, "<evil@example.org>", "evil", yencPart("../../evil.bin", data, 0, 3000, 1, 1));

	RunResult r = RunQuillfern({"--root", root, "decode", "Saved/Bin", "<p1@example.org>", "--to", out});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, out + "/big.bin\n");
	EXPECT_EQ(ReadFile(out + "/big.bin"), data);
	// Again: the first file stays, the second gets a number.
	r = RunQuillfern({"--root", root, "decode", "Saved/Bin", "<p1@example.org>", "--to", out});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, out + "/big-1.bin\n");

	r = RunQuillfern({"--root", root, "decode", "Saved/Bin", "<evil@example.org>", "--to", out});
	ASSERT_EQ(r.status, 0) << r.err;
	EXPECT_EQ(r.out, out + "/evil.bin\n");
	EXPECT_FALSE(fs::exists(tmp.Sub("evil.bin")));

	// A part gone: named, and nothing written.
	TString leaf;
	HeaderUtil::MessageFilename(leaf, TString("<p2@example.org>"));
	fs::remove(mdir + "/" + leaf.String());
	r = RunQuillfern({"--root", root, "decode", "Saved/Bin", "<p1@example.org>", "--to", out});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("missing 2"), std::string::npos) << r.err;
	EXPECT_EQ(r.out, "");
	EXPECT_FALSE(fs::exists(out + "/big-2.bin"));

	// A part failing its CRC check is named by number.
	std::string bad = yencPart("big.bin", data, 1000, 2000, 2, 3);
	size_t at = bad.find('\n', bad.find("=ypart")) + 5;
	bad[at] = char(bad[at] ^ 1);
	store(mdir, "<p2@example.org>", "big.bin (2/3)", bad);
	r = RunQuillfern({"--root", root, "decode", "Saved/Bin", "<p1@example.org>", "--to", out});
	EXPECT_EQ(r.status, 1);
	EXPECT_NE(r.err.find("part 2 fails its CRC check"), std::string::npos) << r.err;
	EXPECT_FALSE(fs::exists(out + "/big-2.bin"));

	EXPECT_EQ(
		RunQuillfern({"--root", root, "decode", "Saved/../x", "<p1@example.org>", "--to", out}).status, 1);
	EXPECT_EQ(RunQuillfern({"--root", root, "decode", "Saved/Bin", "<p1@example.org>"}).status, 2);
}
