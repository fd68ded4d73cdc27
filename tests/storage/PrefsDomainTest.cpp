// The per-user preferences store: typed values and nested dictionaries survive a write and a
// read, unknown keys are kept, malformed files are refused, and two processes updating one
// domain at once keep each other's keys.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <limits>
#include <string>

#include "PrefsDomain.h"
#include "TestSupport.h"

using TestSupport::ReadFile;
using TestSupport::WriteFile;

namespace {

std::string domainPath(const PrefsDomain& d)
{
	TString path;
	EXPECT_EQ(d.PathGet(path), ErrOkay);
	return path.String();
}

}  // namespace

TEST(PrefsDomain, ValuesSurviveWriteAndRead)
{
	PrefsDomain out(TString("test.RoundTrip"));
	out.StringSet("Text", TString("line one\nline \"two\"\t\\ and é"));
	out.IntegerSet("Big", -9007199254740993LL);
	out.RealSet("Real", 0.1);
	out.BooleanSet("Flag", true);
	PrefsValue& dict = out.Root().Entry("Colors");
	dict.Entry("Quoting").Entry("Level1").StringSet(TString("#7B0073FF"));
	dict.Entry("Empty").DictSet();
	out.StringSet("odd key = \"x\"", TString(""));
	ASSERT_EQ(out.Write(), ErrOkay);

	std::string path = domainPath(out);
	std::string folder = std::string(getenv("XDG_CONFIG_HOME")) + "/quillfern/";
	EXPECT_EQ(path, folder + "test.RoundTrip.prefs");

	PrefsDomain in(TString("test.RoundTrip"));
	ASSERT_EQ(in.Read(), ErrOkay);
	EXPECT_TRUE(in.Root() == out.Root());
	long long big;
	EXPECT_TRUE(in.IntegerGet("Big", big));
	EXPECT_EQ(big, -9007199254740993LL);
	double real;
	EXPECT_TRUE(in.RealGet("Real", real));
	EXPECT_EQ(real, 0.1);
	TString s;
	EXPECT_FALSE(in.StringGet("Big", s));  // the type must match
	const PrefsValue* colors = in.Get("Colors");
	ASSERT_TRUE(colors && colors->IsDict());
	ASSERT_TRUE(colors->Find("Empty") && colors->Find("Empty")->IsDict());

	// A missing file is an empty domain.
	PrefsDomain none(TString("test.Missing"));
	EXPECT_EQ(none.Read(), ErrOkay);
	EXPECT_TRUE(none.Root().DictGet()->empty());
}

TEST(PrefsDomain, LenientReadings)
{
	struct {
		PrefsValue value;
		bool readable;
		bool expected;
	} cases[] = {
		{PrefsValue::FromString(TString("YES")), true, true},
		{PrefsValue::FromString(TString("no")), true, false},
		{PrefsValue::FromString(TString("1")), true, true},
		{PrefsValue::FromString(TString("0")), true, false},
		{PrefsValue::FromInteger(2), true, true},
		{PrefsValue::FromReal(0.0), true, false},
		{PrefsValue::FromBoolean(true), true, true},
		{PrefsValue::FromDict(), false, false},
	};
	for (auto& c : cases) {
		bool b = !c.expected;
		EXPECT_EQ(c.value.BoolRead(b), c.readable);
		EXPECT_EQ(b, c.expected);
	}
}

TEST(PrefsDomain, MalformedFilesAreRefusedAndNotOverwritten)
{
	PrefsDomain d(TString("test.Malformed"));
	std::string path = domainPath(d);
	const char* bad[] = {
		"\"Key\" = string \"unterminated\n",
		"\"Key\" = integer 12x\n",
		"\"Key\" = colour \"red\"\n",
		"Key = string \"bare key\"\n",
		"\"Parent\" \"Child\" = integer 1\n",  // parent never declared
		"\"Key\" = boolean maybe\n",
		"\"Key\" = string \"a\" trailing\n",
	};
	for (const char* content : bad) {
		WriteFile(path, std::string("; comment\n\"Good\" = integer 1\n") + content);
		EXPECT_EQ(d.Read(), ErrFileInvalidData) << content;
		EXPECT_TRUE(d.Root().DictGet()->empty());
		// An update cannot go ahead on a file it does not understand.
		EXPECT_EQ(d.Update([](PrefsDomain& p) { p.IntegerSet("New", 1); }), ErrFileInvalidData);
		EXPECT_EQ(ReadFile(path).find("New"), std::string::npos);
	}
	unlink(path.c_str());
}

TEST(PrefsDomain, UpdatesKeepKeysOfOthers)
{
	PrefsDomain a(TString("test.Shared"));
	ASSERT_EQ(a.Update([](PrefsDomain& p) {
		p.StringSet("Mine", TString("a"));
		p.StringSet("Unknown", TString("kept"));
	}),
		ErrOkay);

	// Another writer that knows nothing of "Unknown".
	PrefsDomain b(TString("test.Shared"));
	ASSERT_EQ(b.Update([](PrefsDomain& p) { p.IntegerSet("Other", 5); }), ErrOkay);
	ASSERT_EQ(a.Load(), ErrOkay);
	TString s;
	EXPECT_TRUE(a.StringGet("Unknown", s));
	EXPECT_STREQ(s.String(), "kept");

	// The lock file is gone after each update.
	TString lock;
	ASSERT_EQ(a.LockPathGet(lock), ErrOkay);
	EXPECT_FALSE(TestSupport::Exists(lock.String()));
}

TEST(PrefsDomain, TwoProcessesSavingAtOnceLoseNothing)
{
	const int kRounds = 40;
	pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0) {
		PrefsDomain d(TString("test.Race"));
		int failures = 0;
		for (int i = 0; i < kRounds; ++i) {
			std::string key = "child" + std::to_string(i);
			failures += d.Update([&](PrefsDomain& p) { p.IntegerSet(key.c_str(), i); }, 10000000) != ErrOkay;
		}
		_exit(failures);
	}
	PrefsDomain d(TString("test.Race"));
	for (int i = 0; i < kRounds; ++i) {
		std::string key = "parent" + std::to_string(i);
		EXPECT_EQ(d.Update([&](PrefsDomain& p) { p.IntegerSet(key.c_str(), i); }, 10000000), ErrOkay);
	}
	int status = 0;
	ASSERT_EQ(waitpid(child, &status, 0), child);
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(WEXITSTATUS(status), 0);
	ASSERT_EQ(d.Load(), ErrOkay);
	for (int i = 0; i < kRounds; ++i) {
		long long v = -1;
		EXPECT_TRUE(d.IntegerGet(("child" + std::to_string(i)).c_str(), v)) << i;
		EXPECT_TRUE(d.IntegerGet(("parent" + std::to_string(i)).c_str(), v)) << i;
	}
}

TEST(PrefsDomain, LongValuesAreRefusedBeforeTheFileIsTouched)
{
	PrefsDomain d(TString("test.Long"));
	d.StringSet("Short", TString("x"));
	ASSERT_EQ(d.Write(), ErrOkay);
	std::string before = ReadFile(domainPath(d));
	d.StringSet("Long", TString(std::string(2100, 'y').c_str()));
	EXPECT_EQ(d.Write(), ErrFileLineTooLong);
	EXPECT_EQ(ReadFile(domainPath(d)), before);
	// A real that is not a finite number would make the whole store unreadable.
	d.Remove("Long");
	d.RealSet("Ratio", std::numeric_limits<double>::quiet_NaN());
	EXPECT_EQ(d.Write(), ErrFileInvalidData);
	d.RealSet("Ratio", std::numeric_limits<double>::infinity());
	EXPECT_EQ(d.Write(), ErrFileInvalidData);
	EXPECT_EQ(ReadFile(domainPath(d)), before);
}
