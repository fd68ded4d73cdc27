#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "AppPathMngr.h"
#include "AppPathMngrImp.h"
#include "Err.h"
#include "Language.h"
#include "LanguageImp.h"
#include "LanguageLoad.h"
#include "LanguageMngr.h"
#include "Output.h"
#include "TString.h"
#include "TestSupport.h"

namespace {

using TestSupport::Exists;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

std::vector<std::string> sAlerts;

void alertProc(const char* title, const char* text)
{
	sAlerts.push_back(std::string(title) + "|" + text);
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
	size_t at = text.find(from);
	EXPECT_NE(at, std::string::npos) << from;
	if (at != std::string::npos)
		text.replace(at, from.size(), to);
	return text;
}

// A shipped resources folder (read-only, like an installed one) and a per-user folder, both
// private to the test, with the engine's sections registered.
class LanguageLoadTest : public testing::Test {
protected:
	void SetUp() override
	{
		mShipped = mDir.Sub("share");
		mUser = mDir.Sub("user");
		mkdir(mShipped.c_str(), 0755);
		AppPathMngr::ResourcesSet(mShipped.c_str());
		AppPathMngr::ResourcesUserSet(mUser.c_str());
		ASSERT_TRUE(Language::Start());
		ASSERT_TRUE(Err::Start());
		Output::AlertProcSet(alertProc);
		sAlerts.clear();
		unsetenv("LANGUAGE");
		setenv("LANG", "C.UTF-8", 1);
	}
	void TearDown() override
	{
		LanguageLoad::Stop();
		LanguageMngr::Stop();
		Output::AlertProcSet(nullptr);
		Err::Stop();
		Language::Stop();
		AppPathMngr::ResourcesSet(nullptr);
		AppPathMngr::ResourcesUserSet(nullptr);
		unsetenv("LANGUAGE");
		setenv("LANG", "C.UTF-8", 1);
		chmod(mShipped.c_str(), 0755);
	}
	bool start() { return LanguageMngr::Start() && LanguageLoad::Start(); }

	// Ships a language made from the English file with some texts replaced.
	void ship(const std::string& name, const std::string& content)
	{
		chmod(mShipped.c_str(), 0755);
		std::string dir = mShipped + "/" + name + ".lproj";
		mkdir(dir.c_str(), 0755);
		WriteFile(dir + "/strings.txt", content);
		chmod(mShipped.c_str(), 0555);
	}
	std::string english()
	{
		std::string path = mDir.Sub("English.txt");
		EXPECT_TRUE(LanguageLoad::FileWrite(path.c_str(), "English"));
		return ReadFile(path);
	}
	std::string german()
	{
		std::string t = english();
		t = replaced(t, "\"English\"", "\"Deutsch\"");
		t = replaced(t, "\"File not found\"", "\"Datei nicht gefunden\"");
		t = replaced(t, "\"Unknown error %1\"", "\"Unbekannter Fehler %1\" ; kommentiert");
		t = replaced(t, "\"%1 %1p?byte:bytes\"", "\"%1 %1p?Byte:Bytes\"");
		return t;
	}

	TempDir mDir;
	std::string mShipped, mUser;
};

TEST_F(LanguageLoadTest, MissingEnglishFileIsWrittenToTheUserFolder)
{
	chmod(mShipped.c_str(), 0555);
	ASSERT_TRUE(start()) << (sAlerts.empty() ? "" : sAlerts[0]);
	EXPECT_TRUE(sAlerts.empty());
	std::string file = mUser + "/English.lproj/strings.txt";
	ASSERT_TRUE(Exists(file));
	EXPECT_FALSE(Exists(mShipped + "/English.lproj"));
	std::string text = ReadFile(file);
	EXPECT_EQ(text.rfind("; Quillfern News English strings file\n; Auto-generated: ", 0), 0u) << text;
	EXPECT_NE(text.find("\n; This file uses the UTF-8 character encoding\n\n; Boolean strings\n\nBoolNo1"),
		std::string::npos);
	// Keys are padded to the longest key, then two spaces and the quoted text.
	std::string pad(size_t(Language::NameLongest()) - std::string("ErrFileNotFound").size() + 2, ' ');
	EXPECT_NE(text.find("\nErrFileNotFound" + pad + "\"File not found\"\n"), std::string::npos);
	EXPECT_NE(text.find("\n; Error strings\n"), std::string::npos);

	long en = LanguageMngr::Index(LangTypeEnglish);
	EXPECT_EQ(LanguageMngr::CurrentGet(), en);
	TString s;
	EXPECT_STREQ(Err::Str(s, ErrFileNotFound), "File not found");
	TString missing;
	EXPECT_TRUE(Language::NameCheckAll(missing)) << missing.String();
}

TEST_F(LanguageLoadTest, PreferredTranslationIsLoaded)
{
	ship("English", english());
	ship("German", german());
	setenv("LANGUAGE", "de_DE.UTF-8:fr", 1);
	ASSERT_TRUE(start()) << (sAlerts.empty() ? "" : sAlerts[0]);
	EXPECT_TRUE(sAlerts.empty());
	EXPECT_FALSE(Exists(mUser + "/English.lproj/strings.txt"));
	long de = LanguageMngr::Find("German");
	ASSERT_GE(de, 0);
	EXPECT_EQ(LanguageMngr::CurrentGet(), de);
	TString s;
	LanguageMngr::NameGet(s, de);
	EXPECT_STREQ(s.String(), "Deutsch");
	EXPECT_STREQ(Err::Str(s, ErrFileNotFound), "Datei nicht gefunden");
	EXPECT_STREQ(Err::Str(s, static_cast<Error>(512)), "Unbekannter Fehler 512");
	EXPECT_STREQ(Language::SizeFormat(1, s, false), "1 Byte");
	EXPECT_STREQ(Language::SizeFormat(1, s, true), "1 byte");

	// Switching back to English forgets the German texts.
	LanguageMngr::CurrentSet(LanguageMngr::Index(LangTypeEnglish));
	EXPECT_TRUE(LanguageLoad::CurrentRead());
	EXPECT_STREQ(Err::Str(s, ErrFileNotFound), "File not found");
}

TEST_F(LanguageLoadTest, DamagedTranslationStopsTheStartWithItsProblem)
{
	struct Case {
		std::string from, to, problem;
	};
	const std::vector<Case> cases = {
		{"\"File not found\"", "\"File not found\"\nNoSuchItem  \"x\"", "item NoSuchItem is unknown."},
		{"\"File not found\"", "\"File not found\"\nErrFileNotFound \"again\"",
			"item ErrFileNotFound is a duplicate."},
		{"\"Unknown error %1\"", "\"Unknown error %1 %1\"",
			"item ErrErrorUnknown has invalid arguments (should be 1 total)."},
		{"\"Unknown error %1\"", "\"Unknown error\" %1",
			"item ErrErrorUnknown has invalid arguments (should be 1 total)."},
		{"\"%1 %1p?byte:bytes\"", "\"%1 %2p?byte:bytes\"",
			"item ByteSizeBytes has invalid arguments (should be 1 total)."},
		{"\"-1 1\"", "\"1 one\"", "item Singular is invalid."},
		{"\"File not found\"", "\"File \xff not found\"", "contains invalid UTF-8 characters."},
		{"\"File not found\"", "File not found", "could not be parsed."},
		{"ErrFileNotFound ", "1ErrFileNotFound ", "could not be parsed."},
		{"\"File not found\"", "\"File not found", "could not be parsed."},
		{"\nErrFileNotFound ", "\n; ErrFileNotFound ", "Language file item ErrFileNotFound is missing."},
	};
	std::string en = english();
	ship("English", en);
	for (const Case& c : cases) {
		ship("Test", replaced(en, c.from, c.to));
		sAlerts.clear();
		EXPECT_FALSE(start()) << c.problem;
		ASSERT_EQ(sAlerts.size(), 1u) << c.problem;
		const std::string& alert = sAlerts[0];
		EXPECT_EQ(alert.rfind("Language loader problem|Language file ", 0), 0u) << alert;
		EXPECT_NE(
			alert.find(c.problem + "\n\nFile: " + mShipped + "/Test.lproj/strings.txt"), std::string::npos)
			<< alert;
		EXPECT_EQ(alert.find("deleting the file"), std::string::npos) << alert;
		LanguageLoad::Stop();
		LanguageMngr::Stop();
	}
	// The line number is that of the file.
	ship("Test", "; comment\n\n  \nBoolNo1 \"Aus\"\nNoSuchItem \"x\"\n");
	sAlerts.clear();
	EXPECT_FALSE(start());
	ASSERT_EQ(sAlerts.size(), 1u);
	EXPECT_NE(sAlerts[0].find("Language file line 5 item NoSuchItem is unknown."), std::string::npos)
		<< sAlerts[0];
}

TEST_F(LanguageLoadTest, DamagedEnglishFileLeavesTheBuiltInTexts)
{
	// A hand-made English file (not marked as generated) with a mistake.
	std::string en = english();
	en.erase(en.find("; Auto-generated: "),
		en.find('\n', en.find("; Auto-generated: ")) - en.find("; Auto-generated: "));
	ship("English", replaced(en, "\"File not found\"", "\"Missing %1\""));
	EXPECT_TRUE(start());
	ASSERT_EQ(sAlerts.size(), 1u);
	EXPECT_NE(sAlerts[0].find(
				  "item ErrFileNotFound has invalid arguments (should be 0 total).\n\n"
				  "You can solve this problem by deleting the file, which will be recreated.\n\nFile: "),
		std::string::npos)
		<< sAlerts[0];
	TString s;
	EXPECT_STREQ(Err::Str(s, ErrFileNotFound), "File not found");
	EXPECT_STREQ(Err::Str(s, ErrVolFull), "Disk full");
}

TEST_F(LanguageLoadTest, GeneratedEnglishFileForOtherTextsIsWrittenAfresh)
{
	// As left by another version of the program: a key it no longer has, one missing.
	std::string old = replaced(english(), "\nErrFileNotFound ", "\nErrFileGone  \"Gone\"\nErrFileNotFoundX ");
	ship("English", old);
	ASSERT_TRUE(start());
	EXPECT_TRUE(sAlerts.empty()) << sAlerts[0];
	TString path;
	ASSERT_TRUE(LanguageMngr::FileGet(path, LanguageMngr::Index(LangTypeEnglish)));
	std::string fresh = ReadFile(path.String());
	EXPECT_EQ(fresh.find("ErrFileGone"), std::string::npos);
	EXPECT_NE(fresh.find("\nErrFileNotFound "), std::string::npos);
	TString s;
	EXPECT_STREQ(Err::Str(s, ErrFileNotFound), "File not found");
}

TEST(LanguageChoice, LocalesMatchFolderNamesCodesAndLanguageNames)
{
	const std::vector<std::string> folders = {"English", "French", "de", "pt_BR"};
	EXPECT_EQ(LanguageImp::Choose({"fr_CA.UTF-8"}, folders), 1);
	EXPECT_EQ(LanguageImp::Choose({"de_AT@euro"}, folders), 2);
	EXPECT_EQ(LanguageImp::Choose({"pt-BR"}, folders), 3);
	EXPECT_EQ(LanguageImp::Choose({"pt_PT"}, folders), -1);
	EXPECT_EQ(LanguageImp::Choose({"C"}, folders), 0);
	EXPECT_EQ(LanguageImp::Choose({"sv_SE", "es", "fr"}, folders), 1);
	EXPECT_EQ(LanguageImp::Choose({}, folders), -1);

	setenv("LANGUAGE", "sv:de", 1);
	setenv("LC_ALL", "", 1);
	setenv("LC_MESSAGES", "fr_FR.UTF-8", 1);
	setenv("LANG", "en_US.UTF-8", 1);
	EXPECT_EQ(LanguageImp::Preferred(), (std::vector<std::string>{"sv", "de", "fr_FR.UTF-8", "en_US.UTF-8"}));
	unsetenv("LANGUAGE");
	unsetenv("LC_ALL");
	unsetenv("LC_MESSAGES");
	setenv("LANG", "C.UTF-8", 1);
}

}  // namespace

namespace {

// The English file shipped with the program holds the current texts of the foundation.
TEST(LanguageShipped, EnglishFileHasTheBuiltInTexts)
{
	std::string shipped =
		TestSupport::ReadFile(std::string(QUILLFERN_SOURCE_DIR) + "/resources/English.lproj/strings.txt");
	ASSERT_FALSE(shipped.empty());
	ASSERT_TRUE(Language::Start());
	ASSERT_TRUE(Err::Start());
	TString name, key, english, quoted;
	long checked = 0;
	for (long s = 0; Language::SectionGet(s, name); ++s) {
		EXPECT_NE(shipped.find("\n; " + std::string(name.String()) + "\n"), std::string::npos)
			<< name.String();
		for (long i = 0; Language::SectionItem(s, i, key, english); ++i, ++checked) {
			quoted.QuoteEncode(english);
			std::string k = std::string("\n") + key.String() + " ";
			size_t at = shipped.find(k);
			ASSERT_NE(at, std::string::npos) << key.String();
			size_t end = shipped.find('\n', at + 1);
			std::string line = shipped.substr(at + 1, end - at - 1);
			EXPECT_EQ(line.substr(line.find('"')), quoted.String()) << line;
		}
	}
	EXPECT_GT(checked, kErrorCount);
	Err::Stop();
	Language::Stop();
}

}  // namespace

namespace {

TEST(AppPaths, BuildTreeResourcesAndPerUserFolder)
{
	ASSERT_TRUE(AppPathMngr::Start());
	TString s;
	AppPathMngr::LeafName(s);
	EXPECT_STREQ(s.String(), "test_storage");
	AppPathMngr::FullPath(s);
	EXPECT_EQ(s.String()[0], '/');
	// Run from the build folder, the program uses the source tree's resources.
	AppPathMngr::Resources(s);
	EXPECT_EQ(std::string(s.String()), std::string(QUILLFERN_SOURCE_DIR) + "/resources");
	AppPathMngr::ResourcesEnglish(s);
	EXPECT_EQ(std::string(s.String()), std::string(QUILLFERN_SOURCE_DIR) + "/resources/English.lproj");
	AppPathMngr::ResourcesUser(s);
	EXPECT_EQ(std::string(s.String()), std::string(getenv("XDG_DATA_HOME")) + "/quillfern");
	AppPathMngr::ResourcesSet("/elsewhere");
	AppPathMngr::Resources(s);
	EXPECT_STREQ(s.String(), "/elsewhere");
	AppPathMngr::ResourcesSet(nullptr);
	AppPathMngr::Stop();

	// An installed program finds the resources installed beside it, wherever the prefix is.
	TempDir prefix;
	mkdir(prefix.Sub("bin").c_str(), 0755);
	mkdir(prefix.Sub("share").c_str(), 0755);
	mkdir(prefix.Sub("share/quillfern").c_str(), 0555);
	EXPECT_EQ(AppPathMngrImp::Resources(prefix.Sub("bin/quillfern")), prefix.Sub("share/quillfern"));
	EXPECT_EQ(AppPathMngrImp::Resources("/nowhere/bin/quillfern"),
		std::string(QUILLFERN_SOURCE_DIR) + "/resources");
}

}  // namespace
