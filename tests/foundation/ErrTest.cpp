#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "Assert.h"
#include "Err.h"
#include "Language.h"
#include "Output.h"
#include "TString.h"

namespace {

class ErrTest : public testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(Language::Start());
		ASSERT_TRUE(Err::Start());
	}
	void TearDown() override
	{
		Err::Stop();
		Language::Stop();
	}
};

TEST_F(ErrTest, TextsFollowTheEnumerationAndItsStyle)
{
	TString s;
	EXPECT_STREQ(Err::Str(s, ErrOkay), "Successful operation");
	EXPECT_STREQ(Err::Str(s, ErrFileNotFound), "File not found");
	EXPECT_STREQ(Err::Str(s, ErrFileCreateError), "Can’t create file");
	EXPECT_STREQ(
		Err::Str(s, ErrFileLineTooLong), "Line longer than 2000 chars, file may contain binary data");
	EXPECT_STREQ(Err::Str(s, ErrNetConnectionError), "Connection refused");
	EXPECT_STREQ(Err::Str(s, ErrErrorVague), "Unspecified error");

	// Every value has its own key named after it and a distinct, non-empty text; no plain
	// apostrophe slips in.
	std::set<std::string> texts;
	for (int i = 0; i < kErrorCount; ++i) {
		Error e = static_cast<Error>(i);
		if (e == ErrErrorUnknown)
			continue;
		Err::Str(s, e);
		EXPECT_FALSE(s.Empty()) << i;
		EXPECT_EQ(std::string(s.String()).find('\''), std::string::npos) << s.String();
		EXPECT_TRUE(texts.insert(s.String()).second) << "duplicate text " << s.String();
		EXPECT_TRUE(Language::NameCheck(Err::Name(e))) << Err::Name(e);
	}
	EXPECT_STREQ(Err::Name(ErrDirNotEmpty), "ErrDirNotEmpty");
	EXPECT_STREQ(Err::Name(ErrVolReadOnly), "ErrVolReadOnly");
}

TEST_F(ErrTest, UnknownCodesAreRecordedAndShown)
{
	TString s;
	EXPECT_STREQ(Err::Str(s, static_cast<Error>(200)), "Unknown error 200");
	EXPECT_EQ(Err::UnknownGet(), 200);
	EXPECT_STREQ(Err::Str(s, ErrErrorUnknown), "Unknown error 200");

	EXPECT_EQ(Err::Status(123456), ErrErrorUnknown);
	EXPECT_EQ(Err::UnknownGet(), 123456);
	EXPECT_STREQ(Err::Str(s, ErrErrorUnknown), "Unknown error 123456");
	EXPECT_EQ(Err::Status(-99999), ErrErrorUnknown);
	EXPECT_STREQ(Err::Str(s, ErrErrorUnknown), "Unknown error -99999");

	// A negative value is just as much outside the enumeration.
	EXPECT_STREQ(Err::Str(s, static_cast<Error>(-4)), "Unknown error -4");
	EXPECT_STREQ(Err::AssertOkayStr(ErrVolFull), "Disk full");
}

TEST_F(ErrTest, TextsComeFromTheLanguageTable)
{
	TString s;
	ASSERT_EQ(Language::NameLocal("ErrFileNotFound", "Datei nicht gefunden"), Language::NameOkay);
	ASSERT_EQ(Language::NameLocal("ErrErrorUnknown", "Unbekannter Fehler %1"), Language::NameOkay);
	EXPECT_STREQ(Err::Str(s, ErrFileNotFound), "Datei nicht gefunden");
	EXPECT_STREQ(Err::Str(s, static_cast<Error>(321)), "Unbekannter Fehler 321");
	// Texts the language lacks stay English.
	EXPECT_STREQ(Err::Str(s, ErrVolFull), "Disk full");
	Language::NameClear();
	EXPECT_STREQ(Err::Str(s, ErrFileNotFound), "File not found");

	// Before start (and after stop) the English defaults are used.
	Err::Stop();
	EXPECT_STREQ(Err::Str(s, static_cast<Error>(99)), "Unknown error 99");
	EXPECT_STREQ(Err::Str(s, ErrGmTimeout), "Timed out waiting for response");
	EXPECT_FALSE(Language::NameCheck("ErrGmTimeout"));
	EXPECT_TRUE(Err::Start());
	EXPECT_TRUE(Language::NameCheck("ErrGmTimeout"));
}

TEST(ErrStatus, PosixCodesAndNarrowing)
{
	EXPECT_EQ(Err::Status(0), ErrOkay);
	EXPECT_EQ(Err::Status(EPERM), ErrGmAccessDenied);
	EXPECT_EQ(Err::Status(ENOENT), ErrFileNotFound);
	EXPECT_EQ(Err::Status(EBADF), ErrGmBadDescriptor);
	EXPECT_EQ(Err::Status(EXDEV), ErrFileRenameError);
	EXPECT_EQ(Err::Status(EISDIR), ErrFileNotFile);
	EXPECT_EQ(Err::Status(ESPIPE), ErrFileNotFound);
	EXPECT_EQ(Err::Status(ESHUTDOWN), ErrNetConnectionClosed);
	EXPECT_EQ(Err::Status(EHOSTUNREACH), ErrNetHardwareError);
	EXPECT_EQ(Err::Status(EHOSTDOWN), ErrNetConnectionError);
	EXPECT_EQ(Err::Status(ENAMETOOLONG), ErrGmBadPath);
	EXPECT_EQ(Err::Status(ENOTEMPTY), ErrDirNotEmpty);
	EXPECT_EQ(Err::Status(-5029), ErrDirNotFound);
	EXPECT_EQ(Err::Status(-10814), ErrGmNoHandlerApp);

	EXPECT_EQ(Err::StatusDir(ENOENT), ErrDirNotFound);
	EXPECT_EQ(Err::StatusDir(EACCES), ErrDirAccessDenied);
	EXPECT_EQ(Err::StatusDir(EBUSY), ErrDirLocked);
	EXPECT_EQ(Err::StatusFile(EBUSY), ErrFileLocked);
	EXPECT_EQ(Err::StatusFile(EAGAIN), ErrFileLocked);
	EXPECT_EQ(Err::StatusFile(EALREADY), ErrFileAlreadyExists);
	EXPECT_EQ(Err::StatusNet(EAGAIN), ErrNetNoData);
	EXPECT_EQ(Err::StatusNet(EALREADY), ErrNetNoData);
	EXPECT_EQ(Err::StatusNet(EBADF), ErrNetHardwareError);
	EXPECT_EQ(Err::StatusNet(EFAULT), ErrNetConnectionClosed);
	EXPECT_EQ(Err::StatusVol(ENOENT), ErrVolNotFound);
	EXPECT_EQ(Err::StatusVol(EPERM), ErrVolAccessDenied);
	EXPECT_EQ(Err::StatusRsrc(ENOENT), ErrRsrcNotFound);
	EXPECT_EQ(Err::StatusRsrc(-39), ErrRsrcEnd);
	EXPECT_EQ(Err::StatusTypeCreator(ENOENT), ErrTpcrNotFound);

	// Narrowing leaves codes of other families alone.
	EXPECT_EQ(Err::ToDir(ErrNetNoData), ErrNetNoData);
	EXPECT_EQ(Err::ToVol(ErrFileFull), ErrVolFull);
	EXPECT_EQ(Err::ToRsrc(ErrFileWriteError), ErrRsrcWriteError);
	EXPECT_EQ(Err::ToTypeCreator(ErrFileReadError), ErrTpcrReadError);
}

TEST(ErrSignal, BrokenPipeBecomesAnError)
{
	ASSERT_TRUE(Err::SignalEmpty(SIGPIPE));
	int fds[2];
	ASSERT_EQ(pipe(fds), 0);
	close(fds[0]);
	// Without the handler this write would end the test program.
	errno = 0;
	EXPECT_EQ(write(fds[1], "x", 1), -1);
	EXPECT_EQ(Err::StatusNet(errno), ErrNetConnectionClosed);
	EXPECT_EQ(Err::SignalLast(), SIGPIPE);
	close(fds[1]);
	signal(SIGPIPE, SIG_DFL);
}

}  // namespace

namespace {

TEST(ErrAssert, FailedAssertionsBecomeLoggedDiagnostics)
{
#ifdef NDEBUG
	static std::vector<std::string> logged;
	logged.clear();
	FILE* out = std::tmpfile();
	Output::StreamSet(out);
	Output::RegisterLogProc([](const char* line) { logged.push_back(line); });
	ASSERT_TRUE(Language::Start());
	ASSERT_TRUE(Err::Start());
	AssertFailed("broken contract", "Here.cpp", 12);
	Err::Stop();
	AssertFailed("not logged", "Here.cpp", 13);
	Output::RegisterLogProc(nullptr);
	Output::StreamSet(nullptr);
	EXPECT_EQ(std::fclose(out), 0);
	Language::Stop();
	ASSERT_EQ(logged.size(), 2u);
	EXPECT_NE(logged[0].find("Internal error: broken contract"), std::string::npos) << logged[0];
	EXPECT_EQ(logged[1], "  File: Here.cpp, line 12");
#else
	GTEST_SKIP() << "a failed assertion ends a debug build";
#endif
}

}  // namespace
