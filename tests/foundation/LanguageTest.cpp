#include <gtest/gtest.h>

#include <string>

#include "Language.h"
#include "TString.h"

namespace {

const LangData sRows[] = {
	{"TestFiles", "%ld", "%1 %1p?file:files"},
	{"TestTwo", "%s %lu", "%1 has %2 new"},
	{"TestChar", "%c %5.1f", "[%1] %2"},
	{"TestHex", "%llx %lld", "%1/%2"},
	{"TestPlain", "", "100\\% sure, \\\\ kept, \\x dropped"},
	{"TestMany", "%s %s %s %s %s %s %s %s %s %s %s %s", "%12-%1%10"},
	{"TestÜmlaut", "%lu", "%1 %1p?Datei:Dateien"},
	{nullptr, nullptr, nullptr},
};
const LangSection sSection = {"Test strings", 5000, sRows};

class LanguageTest : public testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(Language::Start());
		ASSERT_TRUE(Language::SectionAdd(&sSection));
	}
	void TearDown() override { Language::Stop(); }
	TString s;
};

TEST_F(LanguageTest, SubstitutionFormatsEachVariableByItsConversion)
{
	EXPECT_TRUE(Language::String("TestTwo", s, false, "alt.test", 12));
	EXPECT_STREQ(s.String(), "alt.test has 12 new");
	// The argument's own type does not matter: it is converted to the declared one.
	EXPECT_TRUE(Language::String("TestTwo", s, false, std::string("x"), 3.9));
	EXPECT_STREQ(s.String(), "x has 3 new");
	EXPECT_TRUE(Language::String("TestChar", s, false, 'Q', 2.25));
	EXPECT_STREQ(s.String(), "[Q]   2.2");
	EXPECT_TRUE(Language::String("TestHex", s, false, 255ULL, -5000000000LL));
	EXPECT_STREQ(s.String(), "ff/-5000000000");
	TString name("comp.lang");
	EXPECT_TRUE(
		Language::String("TestMany", s, false, name, "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"));
	EXPECT_STREQ(s.String(), "l-comp.langj");
	EXPECT_TRUE(Language::String("TestPlain", s, false));
	EXPECT_STREQ(s.String(), "100% sure, \\ kept, x dropped");
	EXPECT_TRUE(Language::StringRaw(s, "\\%1 is %1", "%s", "it"));
	EXPECT_STREQ(s.String(), "%1 is it");
	EXPECT_TRUE(Language::String("AppVersion", s, false, "0.1"));
	EXPECT_STREQ(s.String(), "Version 0.1");
}

TEST_F(LanguageTest, PluralChoiceUsesTheSingularSet)
{
	EXPECT_TRUE(Language::String("ByteSizeBytes", s, true, 1));
	EXPECT_STREQ(s.String(), "1 byte");
	Language::String("ByteSizeBytes", s, true, 0);
	EXPECT_STREQ(s.String(), "0 bytes");
	Language::String("TestFiles", s, true, -1);
	EXPECT_STREQ(s.String(), "-1 file");
	Language::String("TestÜmlaut", s, true, 1u);
	EXPECT_STREQ(s.String(), "1 Datei");
	EXPECT_FALSE(Language::Plural(1, true));
	EXPECT_FALSE(Language::Plural(-1, false));

	// A language with its own singular set (French style: 0 and 1 are singular).
	ASSERT_EQ(Language::NameLocal("Singular", "0 1 -1"), Language::NameOkay);
	ASSERT_EQ(Language::NameLocal("TestFiles", "%1 %1p?fichier:fichiers"), Language::NameOkay);
	Language::String("TestFiles", s, false, 0);
	EXPECT_STREQ(s.String(), "0 fichier");
	Language::String("TestFiles", s, true, 0);
	EXPECT_STREQ(s.String(), "0 files");
	EXPECT_FALSE(Language::Plural(0, false));
	EXPECT_TRUE(Language::Plural(0, true));
	Language::NameClear();
	EXPECT_TRUE(Language::Plural(0, false));
	Language::String("TestFiles", s, false, 0);
	EXPECT_STREQ(s.String(), "0 files");
}

TEST_F(LanguageTest, BadKeysAndReferencesAreReportedNotFatal)
{
	EXPECT_FALSE(Language::String("NoSuchKey", s, false, 1));
	EXPECT_STREQ(s.String(), "Invalid localized string name");
	EXPECT_FALSE(Language::StringRaw(s, "a %2 b %1", "%ld", 7L));
	EXPECT_STREQ(s.String(), "a [bad language replacement] b 7");
	EXPECT_FALSE(Language::StringRaw(s, "%0", ""));
	EXPECT_STREQ(s.String(), "[bad language replacement]");
	// A missing argument is a caller fault; the text still comes out.
	EXPECT_FALSE(Language::String("TestTwo", s, false, "x"));
	EXPECT_STREQ(s.String(), "x has 0 new");
}

TEST_F(LanguageTest, RegistrationRefusesDuplicatesAndBadFormats)
{
	EXPECT_FALSE(Language::SectionAdd(&sSection));
	static const LangData dupRows[] = {
		{"TestNew", "", "x"}, {"TestFiles", "", "y"}, {nullptr, nullptr, nullptr}};
	static const LangSection dup = {"Other strings", 5001, dupRows};
	EXPECT_FALSE(Language::SectionAdd(&dup));
	EXPECT_FALSE(Language::NameCheck("TestNew"));  // nothing of a refused section is added
	static const LangData badRows[] = {{"TestBad", "%n", "%1"}, {nullptr, nullptr, nullptr}};
	static const LangSection bad = {"Bad strings", 5002, badRows};
	EXPECT_FALSE(Language::SectionAdd(&bad));

	// Sections are kept in the order of their identifiers.
	TString name, key, english;
	long n = Language::SectionCount();
	ASSERT_EQ(n, 4);
	ASSERT_TRUE(Language::SectionGet(0, name));
	EXPECT_STREQ(name.String(), "Boolean strings");
	ASSERT_TRUE(Language::SectionGet(3, name));
	EXPECT_STREQ(name.String(), "Test strings");
	ASSERT_TRUE(Language::SectionItem(3, 1, key, english));
	EXPECT_STREQ(key.String(), "TestTwo");
	EXPECT_FALSE(Language::SectionItem(3, 7, key, english));
	EXPECT_EQ(Language::NameLongest(), long(std::string("ByteSizeKilobytes").size()));

	EXPECT_TRUE(Language::SectionRemove(&sSection));
	EXPECT_FALSE(Language::NameCheck("TestFiles"));
	EXPECT_TRUE(Language::SectionAdd(&sSection));
}

TEST_F(LanguageTest, TranslationsAreCheckedAgainstTheVariables)
{
	using L = Language;
	EXPECT_EQ(L::NameLocal("TestTwo", "%2 neue in %1"), L::NameOkay);
	EXPECT_TRUE(L::String("TestTwo", s, false, "de.test", 4));
	EXPECT_STREQ(s.String(), "4 neue in de.test");
	EXPECT_TRUE(L::String("TestTwo", s, true, "de.test", 4));
	EXPECT_STREQ(s.String(), "de.test has 4 new");

	EXPECT_EQ(L::NameLocal("TestTwo", "%1 %1 %2"), L::NameBadArgs);  // used twice
	EXPECT_EQ(L::NameLocal("TestTwo", "nur %1"), L::NameBadArgs);  // %2 missing
	EXPECT_EQ(L::NameLocal("TestTwo", "%1 %2 %3"), L::NameBadArgs);  // beyond the list
	EXPECT_EQ(L::NameLocal("TestTwo", "%1p?a:b %1 %2"), L::NameBadArgs);  // plural on a string
	EXPECT_EQ(L::NameLocal("TestTwo", "%1 \\%2"), L::NameBadArgs);  // escaped is no reference
	// Text after the closing quote counts for the check but is not stored.
	EXPECT_EQ(L::NameLocal("TestTwo", "%1 hat", " %2"), L::NameBadArgs);
	EXPECT_EQ(L::NameLocal("TestTwo", "%1 hat %2", " %2"), L::NameBadArgs);
	EXPECT_EQ(L::NameLocal("TestTwo", "%1 hat %2", " "), L::NameOkay);
	EXPECT_EQ(L::NameLocal("TestFiles", "%1p?Datei:Dateien"), L::NameBadArgs);
	EXPECT_EQ(L::NameLocal("TestFiles", "%1 %2p?a:b"), L::NameBadArgs);
	EXPECT_EQ(L::NameLocal("TestPlain", "ohne"), L::NameOkay);
	EXPECT_EQ(L::NameLocal("NoSuchKey", "x"), L::NameUnknown);
	// A rejected text leaves the key's text unchanged.
	L::String("TestTwo", s, false, "g", 1);
	EXPECT_STREQ(s.String(), "g hat 1");

	EXPECT_EQ(L::NameLocal("Singular", "1 x"), L::NameBadSingular);
	EXPECT_EQ(L::NameLocal("Singular", "1 1"), L::NameBadSingular);
	EXPECT_EQ(L::NameLocal("Singular", ""), L::NameBadSingular);
	EXPECT_EQ(L::NameLocal("Singular", " 1\t21 "), L::NameOkay);
	EXPECT_FALSE(L::Plural(21, false));

	TString missing;
	EXPECT_FALSE(L::NameCheckAll(missing));
	EXPECT_STREQ(missing.String(), "BoolNo1");
}

TEST_F(LanguageTest, BooleansIndexesAndSizes)
{
	bool v = false;
	EXPECT_TRUE(Language::BoolValue("ENABLED", &v, true));
	EXPECT_TRUE(v);
	EXPECT_TRUE(Language::BoolValue("off", &v, false));
	EXPECT_FALSE(v);
	EXPECT_FALSE(Language::BoolValue("maybe", &v, false));
	EXPECT_STREQ(Language::BoolString(s, true, true), "On");

	static const LangIndex table[] = {{3, "TestPlain"}, {7, "UnknownType"}, {0, nullptr}};
	long value = 0;
	EXPECT_TRUE(Language::IndexValue(table, "[unknown]", &value, true));
	EXPECT_EQ(value, 7);
	EXPECT_TRUE(Language::IndexString(table, 7, s, true));
	EXPECT_STREQ(s.String(), "[Unknown]");
	EXPECT_FALSE(Language::IndexString(table, 4, s, true));

	EXPECT_STREQ(Language::SizeFormat(0, s, true), "0 bytes");
	EXPECT_STREQ(Language::SizeFormat(1, s, true), "1 byte");
	EXPECT_STREQ(Language::SizeFormat(1023, s, true), "1023 bytes");
	EXPECT_STREQ(Language::SizeFormat(1024, s, true), "1.00 KB");
	EXPECT_STREQ(Language::SizeFormat(1536, s, true), "1.50 KB");
	EXPECT_STREQ(Language::SizeFormat(1073741823ULL, s, true), "1024.00 MB");
	EXPECT_STREQ(Language::SizeFormat(1ULL << 40, s, true), "1.00 TB");
}

}  // namespace
