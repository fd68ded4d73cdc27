// Identities against a running engine on a private data root: the shared identity file, its
// repairs, the limits, signatures, and changes made by another process.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "AcctSession.h"
#include "Engine.h"
#include "GlobalPrefs.h"
#include "IdentData.h"
#include "Identity.h"
#include "Notify.h"
#include "NotifyList.h"
#include "Output.h"
#include "StoragePath.h"
#include "TestSupport.h"
#include "TimeCore.h"

namespace {

using TestSupport::Exists;
using TestSupport::ReadFile;
using TestSupport::WriteFile;

long sListChanged = 0;

void listChanged(void*, const TString&)
{
	sListChanged++;
}

void alertIgnore(const char*, const char*)
{}

std::string section(
	int number, const std::string& id, const std::string& name, const std::string& munged = "")
{
	char head[32];
	std::snprintf(head, sizeof head, "[Identity%02d]\n", number);
	return std::string(head) + "E-MailMunged = \"" + munged + "\"\nE-Mail = \"" + name +
		"@example.org\"\nItemID = \"" + id + "\"\nName = \"" + name +
		"\"\nOrganization = \"\"\nSignatureEnable = false\nSignatureEnableForReplies = false\n"
		"SignatureFilename = \"Signature.txt\"\n";
}

class IdentityTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		Output::AlertProcSet(alertIgnore);
		GlobalPrefs::RootOverrideSet(TString(mRoot.Path().c_str()));
	}

	void TearDown() override
	{
		stop();
		GlobalPrefs::RootOverrideSet(TString());
		Output::AlertProcSet(nullptr);
	}

	void stop()
	{
		mSession.reset();
		if (mRunning)
			Engine::Stop();
		mRunning = false;
	}

	void start()
	{
		stop();
		mRunning = Engine::Start(StoragePath::kTypeNews, Engine::DisplayHooks());
		ASSERT_TRUE(mRunning);
		mSession = std::make_unique<AcctSession>();
		ASSERT_TRUE(mSession->Okay());
		Notify::Register(NotifyList::IdentityChange(), listChanged, nullptr);
		sListChanged = 0;
	}

	// Writes the identity file before the engine starts.
	void fileWrite(const std::string& text)
	{
		mkdir((mRoot.Path() + "/Identity").c_str(), 0755);
		WriteFile(file(), text);
	}

	std::string file() { return mRoot.Path() + "/Identity/Identity.init"; }

	std::vector<std::string> names()
	{
		std::vector<std::string> out;
		for (long i = 0; i < Identity::CountCurrent(); i++) {
			IdentData data;
			EXPECT_TRUE(Identity::IdentGet(i, data));
			out.push_back(data.name.String());
		}
		return out;
	}

	TestSupport::TempDir mRoot;
	bool mRunning = false;
	std::unique_ptr<AcctSession> mSession;
};

TEST_F(IdentityTest, FirstStartMakesDefaultsAndSignature)
{
	start();
	ASSERT_EQ(1, Identity::CountCurrent());
	IdentData data;
	ASSERT_TRUE(Identity::IdentGet(0, data));
	EXPECT_TRUE(data.Valid());
	EXPECT_STREQ("Your Name Here", data.name.String());
	EXPECT_EQ(std::string(data.email.String()) + ".invalid", data.emailMunged.String());
	EXPECT_TRUE(Identity::IdentGet(data.itemID, data));
	EXPECT_FALSE(Identity::IdentGet(TString("ABCDEFGHIJ"), data));

	std::string text = ReadFile(file());
	EXPECT_EQ(0u, text.find("; Quillfern identity list\n"));
	EXPECT_NE(std::string::npos, text.find("[Identity01]"));
	EXPECT_EQ("Signature goes here.\nNon-ASCII characters must be in the\nUTF-8 character set.\n",
		ReadFile(mRoot.Path() + "/Identity/Signature.txt"));
}

TEST_F(IdentityTest, LoadingRepairsTheFile)
{
	// A gap ends the list; a duplicate identifier is replaced; an empty munged address is made.
	// An address too long to munge keeps its identity loadable.
	std::string longName(50, 'l');
	fileWrite(section(1, "AAAAAAAAAA", "one") + section(2, "AAAAAAAAAA", "two", "x@y.example") +
		section(3, "BBBBBBBBBB", longName) + section(5, "CCCCCCCCCC", "five"));
	start();
	EXPECT_EQ((std::vector<std::string>{"one", "two", longName}), names());
	IdentData one, two;
	ASSERT_TRUE(Identity::IdentGet(0, one));
	ASSERT_TRUE(Identity::IdentGet(1, two));
	EXPECT_STREQ("AAAAAAAAAA", one.itemID.String());
	EXPECT_NE(one.itemID, two.itemID);
	EXPECT_TRUE(IdentData::ItemIDValid(two.itemID));
	EXPECT_STREQ("one@example.org.invalid", one.emailMunged.String());
	EXPECT_STREQ("x@y.example", two.emailMunged.String());
	// The repairs were written back, and the dropped section with them.
	std::string text = ReadFile(file());
	EXPECT_NE(std::string::npos, text.find(two.itemID.String()));
	EXPECT_EQ(std::string::npos, text.find("[Identity05]"));
	EXPECT_NE(std::string::npos, text.find("one@example.org.invalid"));
}

TEST_F(IdentityTest, UnusableFileIsSetAsideNotLost)
{
	std::string broken = "[Identity01]\nName = \"only a name\"\n";
	fileWrite(broken);
	start();
	ASSERT_EQ(1, Identity::CountCurrent());
	EXPECT_EQ((std::vector<std::string>{"Your Name Here"}), names());
	EXPECT_EQ(broken, ReadFile(mRoot.Path() + "/Identity/Identity copy.init"));
	EXPECT_NE(std::string::npos, ReadFile(file()).find("Your Name Here"));
}

TEST_F(IdentityTest, ChangesAndLimits)
{
	start();
	EXPECT_FALSE(Identity::IdentDel(0));
	EXPECT_FALSE(Identity::IdentSet(1, IdentData()));
	for (int i = 1; i < 20; i++)
		ASSERT_TRUE(Identity::IdentAdd());
	EXPECT_FALSE(Identity::IdentAdd());
	EXPECT_EQ(20, Identity::CountCurrent());
	while (Identity::CountCurrent() > 3)
		ASSERT_TRUE(Identity::IdentDel(3));
	TString third, clamped;
	Identity::IndexToItemID(2, third);
	EXPECT_TRUE(Identity::IndexToItemID(25, clamped));
	EXPECT_EQ(third, clamped);

	// Setting keeps the identifier; deleting renumbers the sections on disk.
	IdentData data;
	data.Default();
	data.name = "Ann Example";
	data.email = "ann@example.org";
	data.emailMunged = "ann@example.org.invalid";
	ASSERT_TRUE(Identity::IdentSet(2, data));
	IdentData back;
	ASSERT_TRUE(Identity::IdentGet(third, back));
	EXPECT_STREQ("Ann Example", back.name.String());
	ASSERT_TRUE(Identity::IdentDel(1));
	start();
	ASSERT_EQ(2, Identity::CountCurrent());
	EXPECT_EQ(1, Identity::IndexFromItemID(third));
	EXPECT_EQ(1, Identity::IndexFromName(TString("Ann Example")));
	EXPECT_EQ(std::string::npos, ReadFile(file()).find("[Identity03]"));
}

TEST_F(IdentityTest, SignatureFiles)
{
	start();
	IdentData data;
	ASSERT_TRUE(Identity::IdentGet(0, data));
	TString path, identityDir;
	StoragePath::PathIdentity(identityDir);
	IdentData::SignaturePath(path, TString("Signature.txt"));
	EXPECT_EQ(std::string(identityDir.String()) + "/Signature.txt", path.String());
	IdentData::SignaturePath(path, TString("/etc/sig"));
	EXPECT_STREQ("/etc/sig", path.String());
	IdentData::SignaturePath(path, TString("~/sig.txt"));
	EXPECT_EQ(std::string(getenv("HOME")) + "/sig.txt", path.String());
	IdentData::SignaturePath(path, TString("a//b"));
	EXPECT_EQ(std::string(identityDir.String()) + "/Signature.txt", path.String());

	// Off, off for replies, missing, present.
	EXPECT_FALSE(data.SignatureFile(path, false));
	data.signature.enable = true;
	EXPECT_TRUE(data.SignatureFile(path, false));
	EXPECT_FALSE(data.SignatureFile(path, true));
	EXPECT_TRUE(path.Empty());
	data.signature.enableForReplies = true;
	EXPECT_TRUE(data.SignatureFile(path, true));
	data.signature.filename = "Other.txt";
	EXPECT_FALSE(data.SignatureFile(path, false));
	EXPECT_TRUE(path.Empty());

	// An enabled signature whose file is gone falls back to the default file.
	bool changed = false;
	data.makeValid(changed);
	EXPECT_TRUE(changed);
	EXPECT_STREQ("Signature.txt", data.signature.filename.String());

	// Writing leaves an existing file alone.
	WriteFile(std::string(identityDir.String()) + "/Mine.txt", "-- \nme\n");
	EXPECT_EQ(ErrOkay, IdentData::SignatureWrite(TString("Mine.txt")));
	EXPECT_EQ("-- \nme\n", ReadFile(std::string(identityDir.String()) + "/Mine.txt"));
}

TEST_F(IdentityTest, ChangesOfAnotherProcessAreSeen)
{
	start();
	ASSERT_EQ(1, Identity::CountCurrent());
	TestSupport::RunResult run = TestSupport::RunQuillfern(
		{"--root", mRoot.Path(), "identity", "add", "Second Self", "--email", "second@example.org"});
	ASSERT_EQ(0, run.status) << run.err;

	long long until = TimeCore::TickCount() + 10000000;
	while (Identity::CountCurrent() < 2 && TimeCore::TickCount() < until)
		Notify::WaitAndDeliver(100000);
	ASSERT_EQ(2, Identity::CountCurrent());
	EXPECT_EQ(1, Identity::IndexFromName(TString("Second Self")));
	while (sListChanged == 0 && TimeCore::TickCount() < until)
		Notify::WaitAndDeliver(100000);
	EXPECT_GE(sListChanged, 1);

	// This process's own change reaches the list of identities as well, and the file.
	ASSERT_TRUE(Identity::IdentDel(1));
	run = TestSupport::RunQuillfern({"--root", mRoot.Path(), "identity", "list"});
	ASSERT_EQ(0, run.status) << run.err;
	EXPECT_EQ(std::string::npos, run.out.find("Second Self"));

	// A change whose notice never arrived is read when the bus reports lost events.
	WriteFile(file(), section(1, "AAAAAAAAAA", "one") + section(2, "BBBBBBBBBB", "lost notice"));
	Notify::Send(NotifyList::Reload());
	until = TimeCore::TickCount() + 10000000;
	while (Identity::CountCurrent() < 2 && TimeCore::TickCount() < until)
		Notify::WaitAndDeliver(100000);
	EXPECT_EQ(1, Identity::IndexFromName(TString("lost notice")));
}

}  // namespace
