// Decoding attachments from message files: yEnc with its CRC and size checks, uuencode and
// MIME parts, binaries spread over several articles (real encoder output included), and
// hostile input, which must fail cleanly and leave no file behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "DisplayWait.h"
#include "MessageFile.h"
#include "OutputName.h"
#include "TestSupport.h"
#include "YencSect.h"

using TestSupport::Exists;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

// Receives an article (lines split at LF) into the folder as the NNTP client would.
std::string receive(const TempDir& dir, const std::string& leaf, const std::string& article)
{
	std::string path = dir.Sub(leaf);
	MessageFile f;
	EXPECT_EQ(f.DownloadOpen(TString(path.c_str()), MessageTypeUsenet, 0), ErrOkay);
	std::istringstream in(article);
	std::string line;
	while (std::getline(in, line)) {
		TString t;
		t.AllowInvalidSet(true);
		t.AppendByte(line.data(), long(line.size()));
		EXPECT_EQ(f.LineAppend(t), ErrOkay);
	}
	EXPECT_EQ(f.DownloadClose(kCharsetNone), ErrOkay);
	return path;
}

std::string headers(const std::string& subject, const std::string& id)
{
	return "From: Poster <poster@example.org>\nNewsgroups: alt.binaries.test\nSubject: " + subject +
		"\nDate: Mon, 2 Mar 2026 09:00:00 +0000\nMessage-ID: <" + id + "@example.org>\n\n";
}

std::string randomBytes(size_t n, unsigned seed)
{
	std::mt19937 gen(seed);
	std::string s(n, '\0');
	for (char& c : s)
		c = char(gen() & 0xFF);
	return s;
}

unsigned long crcOf(const std::string& s)
{
	return ~YencSect::CrcUpdate(
			   0xFFFFFFFFu, reinterpret_cast<const unsigned char*>(s.data()), long(s.size())) &
		0xFFFFFFFFul;
}

// yEnc lines of 128 characters with the critical bytes escaped.
std::string yencLines(const std::string& bytes)
{
	std::string out, line;
	for (unsigned char b : bytes) {
		unsigned char c = static_cast<unsigned char>(b + 42);
		if (c == 0 || c == '\n' || c == '\r' || c == '=') {
			line += '=';
			c = static_cast<unsigned char>(c + 64);
		}
		line += char(c);
		if (line.size() >= 128) {
			out += line + "\n";
			line.clear();
		}
	}
	if (!line.empty())
		out += line + "\n";
	return out;
}

std::string yencSingle(const std::string& name, const std::string& bytes)
{
	char end[80];
	std::snprintf(end, sizeof(end), "=yend size=%zu crc32=%08lx\n", bytes.size(), crcOf(bytes));
	return "=ybegin line=128 size=" + std::to_string(bytes.size()) + " name=" + name + "\n" +
		yencLines(bytes) + end;
}

struct Decoded {
	Error err = ErrOkay;
	MessageBody::DecodeFault fault = MessageBody::FaultNone;
	int32_t part = 0;
	std::string bytes;
	bool exists = false;
};

Decoded decodeOne(const std::string& path, const std::string& out)
{
	MessageBody body;
	Decoded d;
	d.err = body.Decode(TString(path.c_str()), 0, TString(out.c_str()), nullptr, nullptr);
	d.fault = body.DecodeFaultGet();
	d.part = body.DecodeFaultPart();
	d.exists = Exists(out);
	if (d.exists)
		d.bytes = ReadFile(out);
	return d;
}

Decoded decodeMany(const std::vector<std::string>& paths, const std::string& out)
{
	std::vector<TString> list;
	for (const std::string& p : paths)
		list.emplace_back(p.c_str());
	MessageBody body;
	Decoded d;
	d.err = body.Decode(list, TString(out.c_str()), nullptr, nullptr);
	d.fault = body.DecodeFaultGet();
	d.part = body.DecodeFaultPart();
	d.exists = Exists(out);
	if (d.exists)
		d.bytes = ReadFile(out);
	return d;
}

std::string replaceFirst(std::string s, const std::string& from, const std::string& to)
{
	size_t at = s.find(from);
	if (at != std::string::npos)
		s.replace(at, from.size(), to);
	return s;
}

}  // namespace

TEST(Decode, YencSinglePartChecks)
{
	TempDir dir;
	// Every byte value, so that every escape is met.
	std::string bytes;
	for (int i = 0; i < 2000; ++i)
		bytes += char(i * 7 & 0xFF);
	std::string block = yencSingle("all bytes.bin", bytes);
	std::string good =
		receive(dir, "good.qmsg", headers("all bytes", "y1") + "Here it is\n" + block + "-- \nsig\n");
	Decoded d = decodeOne(good, dir.Sub("out.bin"));
	ASSERT_EQ(d.err, ErrOkay);
	EXPECT_EQ(d.bytes, bytes);

	// One data byte changed: a CRC failure, and no file left.
	std::string data = yencLines(bytes);
	std::string changed = data;
	changed[5] = char(changed[5] + 1);
	std::string crcBad = receive(dir, "crc.qmsg",
		headers("bad", "y2") + replaceFirst(block, data.substr(0, 200), changed.substr(0, 200)));
	d = decodeOne(crcBad, dir.Sub("crc.bin"));
	EXPECT_EQ(d.err, ErrFileInvalidData);
	EXPECT_EQ(d.fault, MessageBody::FaultCrc);
	EXPECT_FALSE(d.exists);

	// No CRC at all fails the check too; a wrong size fails as a size fault.
	std::string noCrc = receive(dir, "nocrc.qmsg",
		headers("nocrc", "y3") + "=ybegin line=128 size=3 name=a\n" + yencLines("abc") + "=yend size=3\n");
	EXPECT_EQ(decodeOne(noCrc, dir.Sub("nocrc.bin")).fault, MessageBody::FaultCrc);
	char end[64];
	std::snprintf(end, sizeof(end), "=yend size=4 crc32=%08lx\n", crcOf("abc"));
	std::string sizeBad = receive(dir, "size.qmsg",
		headers("size", "y4") + "=ybegin line=128 size=4 name=a\n" + yencLines("abc") + end);
	d = decodeOne(sizeBad, dir.Sub("size.bin"));
	EXPECT_EQ(d.fault, MessageBody::FaultSize);
	EXPECT_FALSE(d.exists);

	// A line of 1 MB in the data: read in bounded pieces, and the size check fails.
	std::string wide = receive(dir, "wide.qmsg",
		headers("wide", "y6") + "=ybegin line=128 size=3 name=a\n" + std::string(1 << 20, 'a') +
			"\n=yend size=3 crc32=1\n");
	d = decodeOne(wide, dir.Sub("wide.bin"));
	EXPECT_EQ(d.err, ErrFileInvalidData);
	EXPECT_FALSE(d.exists);

	// A block that never ends.
	std::string open = receive(
		dir, "open.qmsg", headers("open", "y5") + "=ybegin line=128 size=3 name=a\n" + yencLines("abc"));
	EXPECT_EQ(decodeOne(open, dir.Sub("open.bin")).err, ErrFileInvalidData);
}

TEST(Decode, YencLineDecoderAndCrc)
{
	// The check value of CRC-32, and the same CRC taken in pieces of every length.
	const std::string nine = "123456789";
	EXPECT_EQ(crcOf(nine), 0xCBF43926ul);
	std::string bytes = randomBytes(1000, 3);
	uint32_t whole =
		YencSect::CrcUpdate(0xFFFFFFFFu, reinterpret_cast<const unsigned char*>(bytes.data()), 1000);
	for (long cut : {1L, 7L, 8L, 9L, 500L, 999L}) {
		auto p = reinterpret_cast<const unsigned char*>(bytes.data());
		uint32_t c = YencSect::CrcUpdate(YencSect::CrcUpdate(0xFFFFFFFFu, p, cut), p + cut, 1000 - cut);
		EXPECT_EQ(c, whole) << cut;
	}
	// Every length from 0 to 300 and every start against the CRC taken bit by bit.
	auto bitwise = [](const unsigned char* p, size_t n) {
		uint32_t c = 0xFFFFFFFFu;
		for (size_t i = 0; i < n; ++i) {
			c ^= p[i];
			for (int k = 0; k < 8; ++k)
				c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
		}
		return c;
	};
	for (size_t start = 0; start < 16; start += 5)
		for (size_t n = 0; n <= 300; ++n) {
			auto p = reinterpret_cast<const unsigned char*>(bytes.data()) + start;
			ASSERT_EQ(YencSect::CrcUpdate(0xFFFFFFFFu, p, long(n)), bitwise(p, n)) << start << " " << n;
		}
	// Decoding a line with escapes; a '=' ending the line is dropped; capacity is kept.
	YencSect y;
	std::string line = yencLines(std::string("\0\n\r=x", 5));
	line.pop_back();
	line += "=";
	unsigned char out[8];
	EXPECT_EQ(y.LineDecode(line.c_str(), long(line.size()), out, sizeof(out)), 5);
	EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 5), std::string("\0\n\r=x", 5));
	EXPECT_EQ(y.count, 5);
	EXPECT_EQ(y.LineDecode("abcdef", 6, out, 3), 3);
	// Long lines, escapes at every position (inside and across sixteen-byte blocks, doubled,
	// last on the line) and outputs shorter than the line: the same bytes as one byte at a time.
	auto reference = [](const std::string& in, size_t capacity) {
		std::string r;
		for (size_t i = 0; i < in.size() && r.size() < capacity; ++i) {
			unsigned char c = static_cast<unsigned char>(in[i]);
			if (c == '=') {
				if (++i == in.size())
					break;
				c = static_cast<unsigned char>(in[i] - 64);
			}
			r += char(c - 42);
		}
		return r;
	};
	std::mt19937 gen(5);
	for (int round = 0; round < 3000; ++round) {
		std::string text(size_t(gen() % 80), 'a');
		for (char& c : text)
			c = gen() % 5 == 0 ? '=' : char(gen() & 0xFF);
		size_t capacity = round % 3 == 0 ? size_t(gen() % 90) : text.size();
		std::vector<unsigned char> buf(capacity + 1, 0xAA);
		YencSect z;
		long n = z.LineDecode(text.data(), long(text.size()), buf.data(), long(capacity));
		std::string want = reference(text, capacity);
		ASSERT_EQ(std::string(reinterpret_cast<char*>(buf.data()), size_t(n)), want) << round;
		EXPECT_EQ(buf[capacity], 0xAA) << round;
		EXPECT_EQ(z.count, long(want.size()));
		EXPECT_EQ(~z.crcRunning, crcOf(want));
	}
	// A size of 2^63 and part numbers out of range make no valid block.
	y.Clear();
	y.LineStart(TString("=ybegin part=1 line=128 size=9223372036854775808 name=x"));
	EXPECT_EQ(y.size, -1);
	EXPECT_FALSE(y.Valid());
	y.Clear();
	y.LineStart(TString("=ybegin part=0 line=128 size=10 name=x"));
	y.LineStop(TString("=yend size=10 part=0"));
	EXPECT_FALSE(y.Valid());
}

TEST(Decode, MimeAndUuencodeSections)
{
	TempDir dir;
	// Base64 part ending at the next boundary line although the closing one is missing, and a
	// quoted-printable text attachment converted to UTF-8.
	std::string mime = "From: a@example.org\nSubject: files\nMessage-ID: <m1@example.org>\n"
					   "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"XYZ\"\n\n"
					   "--XYZ\nContent-Type: text/plain\n\nbody\n"
					   "--XYZ\nContent-Type: application/octet-stream; name=\"a.bin\"\n"
					   "Content-Transfer-Encoding: base64\n\naGVsbG8g\nd29ybGQ=\n\n"
					   "--XYZ\nContent-Type: text/plain; charset=ISO-8859-1; name=\"t.txt\"\n"
					   "Content-Disposition: attachment; filename=\"t.txt\"\n"
					   "Content-Transfer-Encoding: quoted-printable\n\nGr=FC=DFe, a long=\n line\n"
					   "--XYZ\n";
	std::string path = receive(dir, "mime.qmsg", mime);
	MessageBody body;
	ASSERT_EQ(
		body.Decode(TString(path.c_str()), 0, TString(dir.Sub("a.bin").c_str()), nullptr, nullptr), ErrOkay);
	EXPECT_EQ(ReadFile(dir.Sub("a.bin")), "hello world");
	ASSERT_EQ(
		body.Decode(TString(path.c_str()), 1, TString(dir.Sub("t.txt").c_str()), nullptr, nullptr), ErrOkay);
	EXPECT_EQ(ReadFile(dir.Sub("t.txt")),
		"Gr\xC3\xBC\xC3\x9F"
		"e, a long line\n");

	// Uuencode: a last line declaring fewer bytes than it carries, the grave accent line.
	std::string uu =
		receive(dir, "uu.qmsg", headers("uu", "u1") + "begin 644 my file.txt\n#86)C\n\"9&5F\n`\nend\n");
	Decoded d = decodeOne(uu, dir.Sub("uu.out"));
	ASSERT_EQ(d.err, ErrOkay);
	EXPECT_EQ(d.bytes, "abcde");
	// A "begin" with no "end": recorded as a first part, which a single decode refuses.
	std::string noEnd =
		receive(dir, "noend.qmsg", headers("uu", "u2") + "begin 644 x.txt\n#86)C\n#86)C\n#86)C\n");
	EXPECT_EQ(decodeOne(noEnd, dir.Sub("noend.out")).err, ErrFileInvalidData);
	EXPECT_FALSE(Exists(dir.Sub("noend.out")));
	// Base64 garbage: a line that gives no byte.
	std::string garbage = replaceFirst(mime, "d29ybGQ=", "!!!!");
	std::string g = receive(dir, "garbage.qmsg", garbage);
	EXPECT_EQ(decodeOne(g, dir.Sub("g.bin")).err, ErrFileInvalidData);
	EXPECT_FALSE(Exists(dir.Sub("g.bin")));
}

TEST(Decode, MultiPartYencOrderMissingAndFailingParts)
{
	TempDir dir;
	std::string bytes = randomBytes(3 * 1000 + 123, 7);
	std::vector<std::string> paths;
	std::vector<std::string> parts;
	for (int i = 0; i < 4; ++i) {
		size_t begin = size_t(i) * 1000, end = std::min(bytes.size(), begin + 1000);
		std::string chunk = bytes.substr(begin, end - begin);
		char line[200];
		std::snprintf(line, sizeof(line), "=yend size=%zu part=%d pcrc32=%08lx crc32=%08lx\n", chunk.size(),
			i + 1, crcOf(chunk), crcOf(bytes));
		std::string article = "=ybegin part=" + std::to_string(i + 1) +
			" total=4 line=128 size=" + std::to_string(bytes.size()) +
			" name=big.bin\n=ypart begin=" + std::to_string(begin + 1) + " end=" + std::to_string(end) +
			"\n" + yencLines(chunk) + line;
		parts.push_back(article);
		std::string subject = "big.bin yEnc (" + std::to_string(i + 1) + "/4)";
		paths.push_back(receive(
			dir, "p" + std::to_string(i) + ".qmsg", headers(subject, "p" + std::to_string(i)) + article));
	}
	Decoded d = decodeMany(paths, dir.Sub("big.bin"));
	ASSERT_EQ(d.err, ErrOkay);
	EXPECT_EQ(d.bytes, bytes);

	// Parts found among other messages, in any order, with one missing.
	std::vector<TString> candidates;
	for (int i : {3, 1, 0})
		candidates.emplace_back(paths[size_t(i)].c_str());
	candidates.emplace_back(receive(dir, "other.qmsg", headers("other (2/4)", "o1") + "text\n").c_str());
	std::vector<MessageBody::PartSet> sets;
	ASSERT_EQ(MessageBody::PartsCollect(TString(paths[0].c_str()), candidates, sets), ErrOkay);
	ASSERT_EQ(sets.size(), 1u);
	EXPECT_STREQ(sets[0].name.String(), "big.bin");
	EXPECT_EQ(sets[0].missing, std::vector<int32_t>{3});
	EXPECT_EQ(sets[0].paths.size(), 3u);

	// Out of order: the second path holds part 3.
	d = decodeMany({paths[0], paths[2], paths[1], paths[3]}, dir.Sub("order.bin"));
	EXPECT_EQ(d.fault, MessageBody::FaultPart);
	EXPECT_EQ(d.part, 2);
	EXPECT_FALSE(d.exists);
	// A part with a damaged byte is named by number and nothing is written.
	std::string damaged = parts[2];
	size_t at = damaged.find('\n', damaged.find("=ypart")) + 10;
	damaged[at] = char(damaged[at] == 'a' ? 'b' : 'a');
	std::string bad = receive(dir, "bad.qmsg", headers("big.bin yEnc (3/4)", "bad") + damaged);
	d = decodeMany({paths[0], paths[1], bad, paths[3]}, dir.Sub("bad.bin"));
	EXPECT_EQ(d.fault, MessageBody::FaultCrc);
	EXPECT_EQ(d.part, 3);
	EXPECT_FALSE(d.exists);
	// A count of 10^9 parts makes no set to collect, and nothing is allocated for it.
	std::string huge = receive(dir, "huge.qmsg", headers("big.bin yEnc (1/1000000000)", "h") + parts[0]);
	EXPECT_EQ(MessageBody::PartsCollect(TString(huge.c_str()), candidates, sets), ErrOkay);
	EXPECT_TRUE(sets.empty());
}

TEST(Decode, RealEncoderArticles)
{
	if (access("/usr/bin/uuenview", X_OK) != 0)
		GTEST_SKIP() << "uuenview (Debian package uudeview) is not installed";
	TempDir dir;
	std::string original = randomBytes(300000, 11);
	WriteFile(dir.Sub("data.bin"), original);
	for (const char* type : {"-y", "-u"}) {
		std::string out = dir.Sub(std::string("enc") + type);
		mkdir(out.c_str(), 0700);
		TestSupport::RunResult r =
			TestSupport::RunProgram("/usr/bin/uuenview", {type, "-1000", "-od", out, dir.Sub("data.bin")});
		ASSERT_EQ(r.status, 0) << r.err;
		long total = 0;
		for (;; ++total) {
			char leaf[32];
			std::snprintf(leaf, sizeof(leaf), "/data.%03ld", total + 1);
			if (!Exists(out + leaf))
				break;
		}
		ASSERT_GT(total, 1) << type;
		std::vector<std::string> paths;
		for (long i = 1; i <= total; ++i) {
			char leaf[32];
			std::snprintf(leaf, sizeof(leaf), "/data.%03ld", i);
			std::string subject = "data.bin (" + std::to_string(i) + "/" + std::to_string(total) + ")";
			paths.push_back(receive(dir, std::string(type + 1) + std::to_string(i) + ".qmsg",
				headers(subject, std::string(type + 1) + std::to_string(i)) + ReadFile(out + leaf)));
		}
		Decoded d = decodeMany(paths, dir.Sub(std::string("out") + type));
		ASSERT_EQ(d.err, ErrOkay) << type << " fault " << d.fault << " part " << d.part;
		EXPECT_TRUE(d.bytes == original) << type;
	}
}

TEST(Decode, OutputNamesStayInTheFolder)
{
	TempDir dir;
	const struct {
		const char* in;
		const char* out;
	} cases[] = {
		{"/etc/passwd", "_etc_passwd"},
		{"../../x", "_._.._x"},
		{"..", "_."},
		{".hidden", "_hidden"},
		{"", "attachment"},
		{"   ", "attachment"},
		{"a\tb\x01", "a_b_"},
		{"caf\xE9.txt", "caf_.txt"},
		{"\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"},
		{"C:\\dir\\f", "C:_dir_f"},
	};
	for (const auto& c : cases) {
		TString in;
		in.AllowInvalidSet(true);
		in.AppendByte(c.in, long(std::string(c.in).size()));
		EXPECT_STREQ(OutputName::Clean(in).String(), c.out) << c.in;
	}
	std::string longName = std::string(1000, 'n') + ".jpg";
	TString cut = OutputName::Clean(TString(longName.c_str()));
	EXPECT_EQ(cut.ByteLength(), OutputName::kNameMax);
	EXPECT_TRUE(std::string(cut.String()).ends_with(".jpg"));

	// An existing file is kept and a number added; a symbolic link, even one pointing nowhere,
	// is never followed.
	WriteFile(dir.Sub("f.bin"), "keep");
	ASSERT_EQ(symlink("/nonexistent-target-17", dir.Sub("f-1.bin").c_str()), 0);
	WriteFile(dir.Sub("victim"), "victim");
	ASSERT_EQ(symlink(dir.Sub("victim").c_str(), dir.Sub("f-2.bin").c_str()), 0);
	DiskFile file;
	TString path;
	ASSERT_EQ(OutputName::Create(TString(dir.Path().c_str()), TString("../f.bin"), file, path), ErrOkay);
	EXPECT_STREQ(path.String(), dir.Sub("_._f.bin").c_str());
	file.Close();
	ASSERT_EQ(OutputName::Create(TString(dir.Path().c_str()), TString("f.bin"), file, path), ErrOkay);
	EXPECT_STREQ(path.String(), dir.Sub("f-3.bin").c_str());
	file.Close();
	EXPECT_EQ(ReadFile(dir.Sub("f.bin")), "keep");
	EXPECT_EQ(ReadFile(dir.Sub("victim")), "victim");
	EXPECT_FALSE(Exists("/nonexistent-target-17"));
}

TEST(Decode, DisplayWaitThrottles)
{
	DisplayWait wait;
	EXPECT_TRUE(wait.DisplayNow(5));
	EXPECT_FALSE(wait.DisplayNow(5));
	EXPECT_TRUE(wait.DisplayNow(1));
	EXPECT_TRUE(wait.DisplayNow(0));
}
