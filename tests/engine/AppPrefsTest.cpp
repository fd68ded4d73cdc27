// The application's preferences: defaults with an empty store, folders that disappear,
// colour index rules, values of the wrong type, and keys of others kept when writing back.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "AppPrefs.h"
#include "DirMngr.h"
#include "PrefsDomain.h"
#include "TestSupport.h"

namespace {

PrefsDomain& store()
{
	static PrefsDomain domain{TString(AppPrefs::kDomain)};
	EXPECT_EQ(domain.Load(), ErrOkay);
	return domain;
}

void storeReset(const std::function<void(PrefsDomain&)>& fill = {})
{
	PrefsDomain domain{TString(AppPrefs::kDomain)};
	domain.Update([&](PrefsDomain& d) {
		d.Clear();
		if (fill)
			fill(d);
	});
}

std::string text(const PrefsValue* dict, const char* key)
{
	TString s;
	const PrefsValue* v = dict ? dict->Find(key) : nullptr;
	return v && v->StringGet(s) ? s.String() : "<none>";
}

bool sameColor(const AppPrefs::Color& c, int r, int g, int b, int a)
{
	return c.set && c.red == r && c.green == g && c.blue == b && c.alpha == a;
}

}  // namespace

TEST(AppPrefs, EmptyStoreGivesDefaultsAndRecordsAutoDisplay)
{
	storeReset();
	ASSERT_TRUE(AppPrefs::Start());
	EXPECT_TRUE(AppPrefs::AutoDisplayGet());
	EXPECT_FALSE(AppPrefs::FirstRunGet());
	bool stored = false;
	EXPECT_TRUE(store().BooleanGet("TransferWindowAutoDisplay", stored));
	EXPECT_TRUE(stored);

	TString path, home;
	AppPrefs::PathMessageSaveGet(path);
	ASSERT_EQ(DirMngr::Find(DirMngr::FindHome, 0, home), ErrOkay);
	EXPECT_STREQ(path.String(), home.String());

	// The switches reach the store at once.
	AppPrefs::AutoDisplaySet(false);
	AppPrefs::FirstRunSet(true);
	EXPECT_TRUE(store().BooleanGet("TransferWindowAutoDisplay", stored));
	EXPECT_FALSE(stored);
	EXPECT_TRUE(store().BooleanGet("FirstRunAlert", stored));
	EXPECT_TRUE(stored);
	AppPrefs::Stop();
	ASSERT_TRUE(AppPrefs::Start());
	EXPECT_FALSE(AppPrefs::AutoDisplayGet());
	EXPECT_TRUE(AppPrefs::FirstRunGet());
	AppPrefs::Stop();
}

TEST(AppPrefs, FoldersAreStoredInTildeFormAndFallBackWhenGone)
{
	storeReset();
	std::string home = getenv("HOME");
	std::string saved = home + "/Anhänge für Post";
	mkdir(saved.c_str(), 0700);
	ASSERT_TRUE(AppPrefs::Start());
	AppPrefs::PathAttachSet(TString("~/Anhänge für Post"));
	AppPrefs::PathMessageSaveSet(TString(saved.c_str()));
	TString path;
	AppPrefs::PathAttachGet(path);
	EXPECT_EQ(std::string(path.String()), saved);
	AppPrefs::Stop();

	const PrefsValue* paths = store().Get("FileDialogPaths");
	EXPECT_EQ(text(paths, "AttachmentSave"), "~/Anhänge für Post");
	EXPECT_EQ(text(paths, "MessageSave"), "~/Anhänge für Post");

	ASSERT_TRUE(AppPrefs::Start());
	AppPrefs::PathMessageSaveGet(path);
	EXPECT_EQ(std::string(path.String()), saved);
	rmdir(saved.c_str());
	TString desktop;
	ASSERT_EQ(DirMngr::Find(DirMngr::FindDesktop, 0, desktop), ErrOkay);
	AppPrefs::PathAttachGet(path);
	EXPECT_STREQ(path.String(), desktop.String());
	AppPrefs::Stop();
}

TEST(AppPrefs, ColourIndexRulesAndDefaults)
{
	storeReset();
	ASSERT_TRUE(AppPrefs::Start());
	EXPECT_TRUE(sameColor(AppPrefs::ColorQuoteGet(7), 255, 178, 189, 255));
	EXPECT_TRUE(sameColor(AppPrefs::ColorQuoteGet(0), 123, 0, 115, 255));
	EXPECT_TRUE(sameColor(AppPrefs::ColorUrlGet(9), 77, 172, 38, 255));
	EXPECT_TRUE(sameColor(AppPrefs::ColorUrlGet(8), 5, 113, 176, 255));

	AppPrefs::Color red = AppPrefs::Color::Rgba(255, 0, 0, 128);
	AppPrefs::ColorQuoteSet(7, red);  // out of range: level 1
	EXPECT_TRUE(AppPrefs::ColorQuoteGet(1) == red);
	EXPECT_TRUE(sameColor(AppPrefs::ColorQuoteGet(4), 255, 178, 189, 255));
	AppPrefs::ColorQuoteSet(2, AppPrefs::Color());  // no colour changes nothing
	EXPECT_TRUE(sameColor(AppPrefs::ColorQuoteGet(2), 198, 0, 123, 255));
	AppPrefs::ColorUrlSet(5, red);
	AppPrefs::Stop();

	const PrefsValue* colors = store().Get("MessageColors");
	ASSERT_TRUE(colors && colors->IsDict());
	EXPECT_EQ(text(colors->Find("Quoting"), "Level1"), "#FF000080");
	EXPECT_EQ(text(colors->Find("Quoting"), "Level4"), "#FFB2BDFF");
	EXPECT_EQ(text(colors->Find("URLs"), "HTTPS"), "#FF000080");
	EXPECT_EQ(text(colors->Find("URLs"), "FTP"), "#FFCF0AFF");

	ASSERT_TRUE(AppPrefs::Start());
	EXPECT_TRUE(AppPrefs::ColorUrlGet(5) == red);
	AppPrefs::ColorDefault();
	EXPECT_TRUE(sameColor(AppPrefs::ColorQuoteGet(1), 123, 0, 115, 255));
	EXPECT_TRUE(sameColor(AppPrefs::ColorUrlGet(5), 215, 25, 28, 255));
	AppPrefs::Stop();
}

TEST(AppPrefs, WrongTypesAreIgnoredAndOtherKeysKept)
{
	storeReset([](PrefsDomain& d) {
		d.Root().Entry("TransferWindowAutoDisplay").DictSet();
		d.StringSet("FirstRunAlert", TString("YES"));
		d.StringSet("FileDialogPaths", TString("/not/a/dictionary"));
		PrefsValue& quoting = d.Root().Entry("MessageColors").Entry("Quoting");
		quoting.Entry("Level1").StringSet(TString("reddish"));
		quoting.Entry("Level2").IntegerSet(5);
		quoting.Entry("Level3").StringSet(TString("#010203"));
		quoting.Entry("Extra").StringSet(TString("someone else's"));
		d.IntegerSet("OtherProgramKey", 42);
	});
	ASSERT_TRUE(AppPrefs::Start());
	EXPECT_TRUE(AppPrefs::AutoDisplayGet());
	EXPECT_FALSE(AppPrefs::FirstRunGet());  // a text, not a number
	EXPECT_TRUE(sameColor(AppPrefs::ColorQuoteGet(1), 123, 0, 115, 255));
	EXPECT_TRUE(sameColor(AppPrefs::ColorQuoteGet(2), 198, 0, 123, 255));
	EXPECT_TRUE(sameColor(AppPrefs::ColorQuoteGet(3), 1, 2, 3, 255));
	AppPrefs::Stop();

	PrefsDomain& d = store();
	long long other = 0;
	EXPECT_TRUE(d.IntegerGet("OtherProgramKey", other));
	EXPECT_EQ(other, 42);
	const PrefsValue* quoting = d.Get("MessageColors")->Find("Quoting");
	EXPECT_EQ(text(quoting, "Extra"), "someone else's");
	// A run writes only what it changed: what it merely loaded stays as it was stored.
	EXPECT_EQ(text(quoting, "Level3"), "#010203");
	EXPECT_EQ(text(quoting, "Level1"), "reddish");
	EXPECT_FALSE(d.Get("FileDialogPaths")->IsDict());
}

TEST(AppPrefs, ColorTextBothCasesAndRefusals)
{
	AppPrefs::Color c;
	EXPECT_TRUE(c.FromText("#aB09fF"));
	EXPECT_TRUE(sameColor(c, 0xAB, 0x09, 0xFF, 255));
	EXPECT_TRUE(c.FromText("#00ff7f80"));
	EXPECT_TRUE(sameColor(c, 0, 255, 127, 128));
	TString back;
	c.Text(back);
	EXPECT_STREQ(back.String(), "#00FF7F80");
	for (const char* bad : {"", "#", "00ff7f", "#00ff7", "#00ff7f8", "#00fg7f", "#-0ff7f", "#00ff7f800"}) {
		EXPECT_FALSE(c.FromText(bad)) << bad;
		EXPECT_TRUE(c.Empty()) << bad;
	}
	EXPECT_FALSE(c.FromText(nullptr));
}
