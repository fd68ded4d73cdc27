// Engine preferences: defaults, repairs of stored values, saving beside other keys, the lock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "CSet.h"
#include "Err.h"
#include "GlobalPrefs.h"
#include "GuiDiskOp.h"
#include "Language.h"
#include "Output.h"
#include "PrefsDomain.h"
#include "TestSupport.h"

using namespace TestSupport;
namespace fs = std::filesystem;

namespace {

std::string sAlerts;

void alertCollect(const char* title, const char* message)
{
	sAlerts += std::string(title) + "|" + message + "\n";
}

class GlobalPrefsTest : public testing::Test {
protected:
	void SetUp() override
	{
		sAlerts.clear();
		Output::AlertProcSet(alertCollect);
		ASSERT_TRUE(Language::Start() && Err::Start() && GuiDiskOp::Start());
		PrefsDomain domain{TString(GlobalPrefs::kDomain)};
		domain.Update([](PrefsDomain& d) { d.Clear(); });
	}
	void TearDown() override
	{
		GlobalPrefs::Stop();
		GuiDiskOp::Stop();
		Err::Stop();
		Language::Stop();
		Output::AlertProcSet(nullptr);
	}
	// Stores values as another program (or a damaged file) might have left them.
	void store(const std::function<void(PrefsDomain&)>& change)
	{
		PrefsDomain domain{TString(GlobalPrefs::kDomain)};
		ASSERT_EQ(domain.Update(change), ErrOkay);
	}
	std::string root()
	{
		TString r;
		GlobalPrefs::PathRoot(r);
		return r.String();
	}
	std::string home() { return std::getenv("HOME"); }
};

}  // namespace

TEST_F(GlobalPrefsTest, DefaultsWithNothingStored)
{
	ASSERT_TRUE(GlobalPrefs::Start());
	EXPECT_EQ(root(), home() + "/Library/QuillfernData");
	EXPECT_EQ(GlobalPrefs::PrefMessageLineLenGet(), 78);
	EXPECT_EQ(GlobalPrefs::PrefMessageCharsetGet(), kCharsetUTF8);
}

TEST_F(GlobalPrefsTest, StoredValuesAreRepaired)
{
	struct Case {
		const char* stored;
		bool kept;
	} roots[] = {{"~/abc", false}, {"~/abcd", true}, {"/tmp/qf ", false}, {"relative/path", false},
		{"/tmp//qfroot", false}, {"/tmp/qfroot", true}};
	for (const Case& c : roots) {
		store([&](PrefsDomain& d) { d.StringSet(GlobalPrefs::kKeyRootPath, TString(c.stored)); });
		ASSERT_TRUE(GlobalPrefs::Start());
		TString stored;
		GlobalPrefs::PrefRootGet(stored);
		EXPECT_STREQ(stored.String(), c.kept ? c.stored : "~/Library/QuillfernData") << c.stored;
		GlobalPrefs::Stop();
	}
	EXPECT_EQ(root(), "/tmp/qfroot");

	for (auto pair : {std::pair{0LL, 78L}, {100LL, 80L}, {10LL, 60L}, {-5LL, 78L}, {72LL, 72L}}) {
		// Plain variables: clang does not let a lambda capture a structured binding.
		long long stored = pair.first;
		long expected = pair.second;
		store([&](PrefsDomain& d) { d.IntegerSet(GlobalPrefs::kKeyMessageLineLen, stored); });
		ASSERT_TRUE(GlobalPrefs::Start());
		EXPECT_EQ(GlobalPrefs::PrefMessageLineLenGet(), expected) << stored;
		GlobalPrefs::Stop();
	}

	// Values of the wrong type or unknown names leave the defaults.
	store([](PrefsDomain& d) {
		d.Clear();
		d.StringSet(GlobalPrefs::kKeyMessageLineLen, TString("70"));
		d.StringSet(GlobalPrefs::kKeyMessageCharset, TString("EBCDIC"));
		d.IntegerSet(GlobalPrefs::kKeyRootPath, 5);
	});
	ASSERT_TRUE(GlobalPrefs::Start());
	EXPECT_EQ(GlobalPrefs::PrefMessageLineLenGet(), 78);
	EXPECT_EQ(GlobalPrefs::PrefMessageCharsetGet(), kCharsetUTF8);
	EXPECT_EQ(root(), home() + "/Library/QuillfernData");
	GlobalPrefs::Stop();

	store([](PrefsDomain& d) { d.StringSet(GlobalPrefs::kKeyMessageCharset, TString("koi8-r")); });
	ASSERT_TRUE(GlobalPrefs::Start());
	EXPECT_EQ(GlobalPrefs::PrefMessageCharsetGet(), kCharsetKOI8R);
}

TEST_F(GlobalPrefsTest, SavingKeepsOtherKeys)
{
	store([](PrefsDomain& d) { d.StringSet("SomeoneElse", TString("keep me")); });
	ASSERT_TRUE(GlobalPrefs::Start());
	// Another process adds a key after we loaded.
	store([](PrefsDomain& d) { d.IntegerSet("LaterKey", 7); });
	GlobalPrefs::PrefMessageLineLenSet(65);
	GlobalPrefs::Stop();

	PrefsDomain domain{TString(GlobalPrefs::kDomain)};
	ASSERT_EQ(domain.Load(), ErrOkay);
	TString text;
	long long number = 0;
	EXPECT_TRUE(domain.StringGet("SomeoneElse", text));
	EXPECT_STREQ(text.String(), "keep me");
	EXPECT_TRUE(domain.IntegerGet("LaterKey", number));
	EXPECT_TRUE(domain.IntegerGet(GlobalPrefs::kKeyMessageLineLen, number));
	EXPECT_EQ(number, 65);
	// A run writes only what it changed.
	EXPECT_FALSE(domain.StringGet(GlobalPrefs::kKeyMessageCharset, text));
	EXPECT_FALSE(domain.StringGet(GlobalPrefs::kKeyRootPath, text));
}

TEST_F(GlobalPrefsTest, NewRootTakesEffectAtTheNextStart)
{
	TempDir tmp;
	ASSERT_TRUE(GlobalPrefs::Start());
	std::string before = root();
	std::string next = tmp.Sub("next root");
	EXPECT_EQ(GlobalPrefs::PrefRootSet(TString(next.c_str())), ErrOkay);
	EXPECT_TRUE(fs::is_directory(next));
	EXPECT_EQ(root(), before);
	EXPECT_EQ(GlobalPrefs::PrefRootSet(TString("~/x")), ErrGmBadPath);
	EXPECT_EQ(GlobalPrefs::PrefRootSet(TString((tmp.Sub("missing/parent")).c_str())), ErrGmBadPath);
	GlobalPrefs::Stop();
	ASSERT_TRUE(GlobalPrefs::Start());
	EXPECT_EQ(root(), next);
}

TEST_F(GlobalPrefsTest, HeldLockFailsStartWithAnAlert)
{
	PrefsDomain holder{TString(GlobalPrefs::kDomain)};
	ASSERT_EQ(holder.Lock(0), ErrOkay);
	EXPECT_FALSE(GlobalPrefs::Start());
	TString store;
	GlobalPrefs::StorePath(store);
	EXPECT_NE(sAlerts.find("Can’t open file: File is locked|File: " + std::string(store.String())),
		std::string::npos)
		<< sAlerts;
	holder.Unlock();
	EXPECT_TRUE(GlobalPrefs::Start());
}
