// The decode queue: a request decodes into a temporary file that replaces the destination only
// when complete; a failed one leaves the destination as it was; Cancel drops queued work.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "DecodeThread.h"
#include "MessageFile.h"
#include "MessageStore.h"
#include "TestSupport.h"
#include "YencSect.h"

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

std::string storeYenc(const TempDir& dir, const std::string& leaf, const std::string& data, bool damage)
{
	std::string lines;
	for (unsigned char b : data) {
		unsigned char c = static_cast<unsigned char>(b + 42);
		if (c == 0 || c == '\n' || c == '\r' || c == '=') {
			lines += '=';
			c = static_cast<unsigned char>(c + 64);
		}
		lines += char(c);
	}
	uint32_t crc = ~YencSect::CrcUpdate(
		0xFFFFFFFFu, reinterpret_cast<const unsigned char*>(data.data()), long(data.size()));
	if (damage)
		lines[0] = char(lines[0] ^ 1);
	char tail[80];
	std::snprintf(tail, sizeof(tail), "\n=yend size=%zu crc32=%08x\n", data.size(), crc);
	std::string article = "From: a@example.org\nSubject: file\nMessage-ID: <" + leaf +
		"@example.org>\n\n=ybegin line=128 size=" + std::to_string(data.size()) + " name=f.bin\n" + lines +
		tail;
	std::string path = dir.Sub(leaf + ".qmsg");
	MessageFile f;
	EXPECT_EQ(f.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0), ErrOkay);
	std::istringstream in(article);
	std::string line;
	while (std::getline(in, line)) {
		TString t;
		t.AllowInvalidSet(true);
		t.AppendByte(line.data(), long(line.size()));
		f.LineAppend(t);
	}
	EXPECT_EQ(f.DownloadClose(kCharsetNone), ErrOkay);
	return path;
}

}  // namespace

TEST(DecodeThread, DestinationReplacedOnlyWhenComplete)
{
	TempDir dir;
	std::string good = storeYenc(dir, "good", "some binary \x01\x02 data", false);
	std::string bad = storeYenc(dir, "bad", "other data", true);
	std::string dest = dir.Sub("out.bin");
	WriteFile(dest, "old");

	MessageStore::MesgDecode(TString(dest.c_str()), {TString(bad.c_str())}, 0, false);
	EXPECT_TRUE(DecodeThread::Busy());
	EXPECT_TRUE(DecodeThread::RunOne());
	EXPECT_EQ(DecodeThread::LastError(), ErrFileInvalidData);
	EXPECT_EQ(ReadFile(dest), "old");

	MessageStore::MesgDecode(TString(dest.c_str()), {TString(good.c_str())}, 0, false);
	EXPECT_TRUE(DecodeThread::RunOne());
	EXPECT_EQ(DecodeThread::LastError(), ErrOkay);
	EXPECT_EQ(ReadFile(dest), "some binary \x01\x02 data");
	EXPECT_FALSE(DecodeThread::RunOne());
	EXPECT_FALSE(DecodeThread::Busy());
	// No temporary file is left beside the destination.
	for (auto& e : fs::directory_iterator(dir.Path()))
		EXPECT_EQ(e.path().filename().string().rfind(".decoding", 0), std::string::npos) << e.path();

	MessageStore::MesgDecode(TString(dir.Sub("a").c_str()), {TString(good.c_str())}, 0, false);
	MessageStore::MesgDecode(TString(dir.Sub("b").c_str()), {TString(good.c_str())}, 0, false);
	DecodeThread::Cancel();
	EXPECT_FALSE(DecodeThread::RunOne());
	EXPECT_FALSE(Exists(dir.Sub("a")));
	// A cancel with nothing running does not stop the next request.
	MessageStore::MesgDecode(TString(dir.Sub("c").c_str()), {TString(good.c_str())}, 0, false);
	EXPECT_TRUE(DecodeThread::RunOne());
	EXPECT_EQ(DecodeThread::LastError(), ErrOkay);
	EXPECT_TRUE(Exists(dir.Sub("c")));
}

TEST(DecodeThread, OutcomesKeptAndTemporaryLinkNeverFollowed)
{
	TempDir dir;
	std::string good = storeYenc(dir, "good", "binary data", false);
	std::string bad = storeYenc(dir, "bad", "other data", true);
	DecodeThread::OutcomesKeep(true);
	MessageStore::MesgDecode(TString(dir.Sub("bad.bin").c_str()), {TString(bad.c_str())}, 0, false);
	MessageStore::MesgDecode(TString(dir.Sub("good.bin").c_str()), {TString(good.c_str())}, 0, false);
	while (DecodeThread::RunOne()) {
	}
	std::vector<DecodeThread::Outcome> outcomes = DecodeThread::OutcomesTake();
	ASSERT_EQ(outcomes.size(), 2u);
	EXPECT_EQ(std::string(outcomes[0].destination.String()), dir.Sub("bad.bin"));
	EXPECT_EQ(outcomes[0].error, ErrFileInvalidData);
	EXPECT_EQ(outcomes[0].fault, MessageBody::FaultCrc);
	EXPECT_EQ(outcomes[0].faultPart, 1);
	EXPECT_EQ(outcomes[1].error, ErrOkay);
	EXPECT_TRUE(DecodeThread::OutcomesTake().empty());

	// A link planted where the temporary file goes is refused, not written through.
	std::string target = dir.Sub("target");
	WriteFile(target, "keep");
	fs::create_symlink(target, dir.Sub(".decoding-" + std::to_string(getpid()) + "-linked.bin"));
	MessageStore::MesgDecode(TString(dir.Sub("linked.bin").c_str()), {TString(good.c_str())}, 0, false);
	EXPECT_TRUE(DecodeThread::RunOne());
	outcomes = DecodeThread::OutcomesTake();
	ASSERT_EQ(outcomes.size(), 1u);
	EXPECT_NE(outcomes[0].error, ErrOkay);
	EXPECT_EQ(ReadFile(target), "keep");
	EXPECT_FALSE(Exists(dir.Sub("linked.bin")));
	DecodeThread::OutcomesKeep(false);
	MessageStore::MesgDecode(TString(dir.Sub("more.bin").c_str()), {TString(good.c_str())}, 0, false);
	EXPECT_TRUE(DecodeThread::RunOne());
	EXPECT_TRUE(DecodeThread::OutcomesTake().empty());
}
