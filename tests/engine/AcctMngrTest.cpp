// Accounts against a running engine on a private data root: the settings file, the directories,
// the list, the alerts and the events.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "AcctData.h"
#include "AcctMngr.h"
#include "AcctSession.h"
#include "Engine.h"
#include "GlobalPrefs.h"
#include "Identity.h"
#include "Notify.h"
#include "NotifyList.h"
#include "Output.h"
#include "StoragePath.h"
#include "TestSupport.h"
#include "ThreadMngr.h"

namespace {

using TestSupport::Exists;
using TestSupport::ReadFile;
using TestSupport::WriteFile;

std::vector<std::string> sAlerts;
std::vector<std::string> sEvents;

void alertKeep(const char* title, const char* message)
{
	sAlerts.push_back(std::string(title) + "|" + message);
}

void eventKeep(void* context, const TString& payload)
{
	sEvents.push_back(std::string(static_cast<const char*>(context)) + ":" + payload.String());
}

const char* const kEventNames[] = {"create", "delete", "finish", "update", "group+", "group-", "groups"};

class AcctMngrTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		Output::AlertProcSet(alertKeep);
		GlobalPrefs::RootOverrideSet(TString(mRoot.Path().c_str()));
		start();
		sAlerts.clear();
		sEvents.clear();
	}

	void TearDown() override
	{
		mSession.reset();
		Engine::Stop();
		GlobalPrefs::RootOverrideSet(TString());
		Output::AlertProcSet(nullptr);
	}

	void start()
	{
		ASSERT_TRUE(Engine::Start(StoragePath::kTypeNews, Engine::DisplayHooks()));
		mSession = std::make_unique<AcctSession>();
		ASSERT_TRUE(mSession->Okay());
		observe();
	}

	void observe()
	{
		const NotifyItem* items[] = {&NotifyList::AcctCreate(), &NotifyList::AcctDelete(),
			&NotifyList::AcctFinish(), &NotifyList::AcctUpdate(), &NotifyList::GroupCreate(),
			&NotifyList::GroupDelete(), &NotifyList::GroupFinish()};
		for (size_t i = 0; i < 7; i++)
			Notify::Register(*items[i], eventKeep, const_cast<char*>(kEventNames[i]));
	}

	std::vector<std::string> events()
	{
		while (Notify::Deliver() > 0) {
		}
		std::vector<std::string> out = sEvents;
		sEvents.clear();
		return out;
	}

	// Stops and starts the engine again, so that the accounts are loaded from disk.
	void restart()
	{
		mSession.reset();
		Engine::Stop();
		start();
	}

	AcctData account(const char* name, const char* host = "news.example.org")
	{
		AcctData data;
		data.Default();
		data.name = name;
		data.server.host = host;
		return data;
	}

	std::string path(const std::string& rel) { return mRoot.Path() + "/News/Accounts/" + rel; }
	std::string settings(const std::string& name) { return path(name + "/Data/Account.init"); }

	TestSupport::TempDir mRoot;
	std::unique_ptr<AcctSession> mSession;
};

TEST_F(AcctMngrTest, SettingsFileRoundTripKeepsOtherSectionsAndIsPrivate)
{
	AcctData data = account("Home");
	data.server.port = 563;
	data.server.timeout = 45000000;
	data.server.requiresLogin = true;
	data.server.username = "reader";
	data.server.password = "se;cr\"et";
	data.logging = 2;
	ASSERT_TRUE(AcctMngr::Create(data));
	EXPECT_EQ((std::vector<std::string>{"create:Home", "finish:1"}), events());

	struct stat st;
	ASSERT_EQ(0, stat(settings("Home").c_str(), &st));
	EXPECT_EQ(0600u, st.st_mode & 0777);

	std::string text = ReadFile(settings("Home"));
	EXPECT_NE(std::string::npos, text.find("account preferences"));
	EXPECT_NE(std::string::npos, text.find("[NNTP]"));
	// Someone else's settings in the same file, and a looser mode, survive a rewrite.
	WriteFile(settings("Home"), text + "\n[Extra]\nColour = \"green\"  ; mine\n");
	chmod(settings("Home").c_str(), 0644);

	data.server.port = 119;
	ASSERT_TRUE(AcctMngr::Update(TString("Home"), data));
	text = ReadFile(settings("Home"));
	EXPECT_NE(std::string::npos, text.find("[Extra]"));
	EXPECT_NE(std::string::npos, text.find("Colour = \"green\""));
	EXPECT_NE(std::string::npos, text.find("; mine"));
	ASSERT_EQ(0, stat(settings("Home").c_str(), &st));
	EXPECT_EQ(0600u, st.st_mode & 0777);

	AcctData back;
	ASSERT_EQ(ErrOkay, back.InitRead(TString("Home")));
	EXPECT_STREQ("news.example.org", back.server.host.String());
	EXPECT_EQ(119, back.server.port);
	EXPECT_EQ(45000000, back.server.timeout);
	EXPECT_TRUE(back.server.requiresLogin);
	EXPECT_STREQ("reader", back.server.username.String());
	EXPECT_STREQ("se;cr\"et", back.server.password.String());
	EXPECT_EQ(2, back.logging);
	EXPECT_EQ(data.identity, back.identity);
}

TEST_F(AcctMngrTest, LoadingRepairsOutOfRangeValues)
{
	ASSERT_TRUE(AcctMngr::Create(account("Repair")));
	std::string original = ReadFile(settings("Repair"));
	auto withItem = [&](const std::string& key, const std::string& value) {
		std::string text = original;
		size_t at = text.find(key + " = ");
		EXPECT_NE(std::string::npos, at);
		size_t end = text.find('\n', at);
		text.replace(at, end - at, key + " = " + value);
		WriteFile(settings("Repair"), text);
		AcctData data;
		EXPECT_EQ(ErrOkay, data.InitRead(TString("Repair"))) << key << " = " << value;
		return data;
	};
	EXPECT_EQ(119, withItem("Port", "0").server.port);
	EXPECT_EQ(119, withItem("Port", "70000").server.port);
	EXPECT_EQ(1000000, withItem("Timeout", "\"0.5 seconds\"").server.timeout);
	EXPECT_EQ(3600000000LL, withItem("Timeout", "\"2 hours\"").server.timeout);
	EXPECT_EQ(0, withItem("Logging", "7").logging);

	// Login without a password is no login.
	std::string text = original;
	text.replace(text.find("RequiresLogin = false"), 21, "RequiresLogin = true");
	text.replace(text.find("Password = \"password\""), 21, "Password = \"\"");
	WriteFile(settings("Repair"), text);
	AcctData data;
	ASSERT_EQ(ErrOkay, data.InitRead(TString("Repair")));
	EXPECT_FALSE(data.server.requiresLogin);
	EXPECT_TRUE(data.server.username.Empty());

	// A host that is not one, or a missing item, fails the read and leaves the account empty.
	text = original;
	text.replace(text.find("DNSName = \"news.example.org\""), 28, "DNSName = \"bad host\"");
	WriteFile(settings("Repair"), text);
	EXPECT_EQ(ErrFileInvalidData, data.InitRead(TString("Repair")));
	EXPECT_TRUE(data.name.Empty());
	text = original;
	text.erase(text.find("Username"), text.find('\n', text.find("Username")) - text.find("Username"));
	WriteFile(settings("Repair"), text);
	EXPECT_EQ(ErrFileInvalidData, data.InitRead(TString("Repair")));
}

TEST_F(AcctMngrTest, RenameKeepsTheNewsgroups)
{
	ASSERT_TRUE(AcctMngr::Create(account("Work")));
	ASSERT_TRUE(AcctMngr::GroupCreate(TString("Work"), TString("comp.lang.c")));
	ASSERT_TRUE(AcctMngr::GroupCreate(TString("Work"), TString("alt.test")));
	EXPECT_FALSE(AcctMngr::GroupCreate(TString("Work"), TString("ALT.TEST")));
	events();

	// The caller's data carries no newsgroups; the account keeps its own.
	AcctData data = account("Office");
	ASSERT_TRUE(AcctMngr::Update(TString("Work"), data));
	EXPECT_EQ((std::vector<std::string>{"update:Work\nOffice", "finish:1"}), events());
	EXPECT_FALSE(Exists(path("Work")));
	EXPECT_TRUE(Exists(path("Office/Groups/comp.lang.c")));
	AcctMngr::GroupSet groups;
	ASSERT_TRUE(AcctMngr::GroupListGet(TString("Office"), groups));
	EXPECT_EQ(2u, groups.size());
	EXPECT_FALSE(AcctMngr::Get(TString("Work"), data));

	restart();
	ASSERT_TRUE(AcctMngr::GroupListGet(TString("Office"), groups));
	EXPECT_EQ(2u, groups.size());
	EXPECT_TRUE(AcctMngr::GroupListFind(groups, TString("COMP.LANG.C")));

	// Setting the same list changes nothing; a changed one deletes into the trash and creates.
	events();
	AcctMngr::GroupListSet(TString("Office"), groups);
	EXPECT_EQ((std::vector<std::string>{"groups:1"}), events());
	AcctMngr::GroupSet next = {TString("alt.test"), TString("misc.test")};
	AcctMngr::GroupListSet(TString("Office"), next);
	EXPECT_EQ(
		(std::vector<std::string>{"group-:Office\ncomp.lang.c", "group+:Office\nmisc.test", "groups:1"}),
		events());
	EXPECT_TRUE(Exists(mRoot.Path() + "/News/Trash/comp.lang.c"));
	EXPECT_TRUE(Exists(path("Office/Groups/misc.test")));

	// A newsgroup name is a directory name: ".." or a path is refused.
	EXPECT_FALSE(AcctMngr::GroupCreate(TString("Office"), TString("..")));
	EXPECT_FALSE(AcctMngr::GroupCreate(TString("Office"), TString("a/b")));
	EXPECT_TRUE(Exists(path("Office/Data/Account.init")));

	ASSERT_TRUE(AcctMngr::Delete(TString("Office")));
	EXPECT_EQ((std::vector<std::string>{"delete:Office"}), events());
	EXPECT_FALSE(Exists(path("Office")));
	EXPECT_TRUE(Exists(mRoot.Path() + "/News/Trash/Office/Groups/misc.test"));
	EXPECT_EQ(0, AcctMngr::CountCurrent());
}

TEST_F(AcctMngrTest, NamesDifferingByCompositionAreOneAccountByCaseTwo)
{
	const char* composed = "Caf\xc3\xa9";  // e with acute accent, one character
	const char* decomposed = "Cafe\xcc\x81";  // e followed by the combining accent
	ASSERT_TRUE(AcctMngr::Create(account(decomposed)));
	// Stored, and made a directory, in composed form.
	EXPECT_TRUE(Exists(path(composed)));
	AcctData data;
	EXPECT_TRUE(AcctMngr::Get(TString(composed), data));
	EXPECT_TRUE(AcctMngr::Get(TString(decomposed), data));
	sAlerts.clear();
	EXPECT_FALSE(AcctMngr::Create(account(composed)));
	ASSERT_EQ(1u, sAlerts.size());
	EXPECT_NE(std::string::npos, sAlerts[0].find("is already in use"));

	ASSERT_TRUE(AcctMngr::Create(account("news")));
	ASSERT_TRUE(AcctMngr::Create(account("News")));
	EXPECT_EQ(3, AcctMngr::CountCurrent());
	EXPECT_EQ(0, AcctMngr::IndexFromName(TString("CAF\xc3\xa9")));
	TString name;
	ASSERT_TRUE(AcctMngr::IndexToName(2, name));
	EXPECT_STREQ("news", name.String());

	// A change of case only is a rename of its own.
	ASSERT_TRUE(AcctMngr::Delete(TString("News")));
	events();
	ASSERT_TRUE(AcctMngr::Update(TString("news"), account("NEWS")));
	EXPECT_EQ((std::vector<std::string>{"update:news\nNEWS", "finish:1"}), events());
	EXPECT_TRUE(Exists(path("NEWS/Data/Account.init")));
	EXPECT_FALSE(Exists(path("news")));
}

TEST_F(AcctMngrTest, RefusedChangesLeaveEverythingAsItWas)
{
	ASSERT_TRUE(AcctMngr::Create(account("Keep")));
	std::string before = ReadFile(settings("Keep"));
	events();
	sAlerts.clear();

	// Names that cannot be a directory of their own, and a host that is none.
	for (const char* name : {"", ".", "..", "a/b", "tab\there"})
		EXPECT_FALSE(AcctMngr::Create(account(name))) << name;
	EXPECT_FALSE(AcctMngr::Create(account("Bad host", "news example org")));
	EXPECT_EQ(6u, sAlerts.size());
	EXPECT_NE(std::string::npos,
		sAlerts.back().find("Cannot create account “Bad host”, data fails validation checks."));
	EXPECT_FALSE(Exists(path("Bad host")));
	EXPECT_FALSE(Exists(mRoot.Path() + "/News/Data/Account.init"));

	// Updating to an invalid host or to a taken name; unknown accounts.
	ASSERT_TRUE(AcctMngr::Create(account("Other")));
	EXPECT_FALSE(AcctMngr::Update(TString("Keep"), account("Keep", "-")));
	EXPECT_FALSE(AcctMngr::Update(TString("Keep"), account("Other")));
	EXPECT_FALSE(AcctMngr::Update(TString("Gone"), account("Gone")));
	EXPECT_FALSE(AcctMngr::Delete(TString("Gone")));
	EXPECT_FALSE(AcctMngr::GroupDelete(TString("Keep"), TString("alt.none")));
	EXPECT_NE(std::string::npos, sAlerts.back().find("Account “Keep” has no newsgroup named ‘alt.none’."));
	EXPECT_EQ(before, ReadFile(settings("Keep")));
	EXPECT_TRUE(Exists(path("Other/Data/Account.init")));

	std::vector<std::string> seen = events();
	EXPECT_EQ(std::vector<std::string>({"finish:0", "finish:0", "finish:0", "finish:0", "finish:0",
				  "finish:0", "create:Other", "finish:1", "finish:0", "finish:0", "finish:0"}),
		seen);
}

TEST_F(AcctMngrTest, TwentyAccountsAtMost)
{
	for (int i = 0; i < 20; i++)
		ASSERT_TRUE(AcctMngr::Create(account(("Acct" + std::to_string(i)).c_str())));
	sAlerts.clear();
	EXPECT_FALSE(AcctMngr::Create(account("Acct20")));
	ASSERT_EQ(1u, sAlerts.size());
	EXPECT_NE(std::string::npos,
		sAlerts[0].find("The maximum number of accounts is 20, you cannot create another."));
	EXPECT_FALSE(Exists(path("Acct20")));

	// A 21st account directory made behind the engine's back is not loaded.
	std::string text = ReadFile(settings("Acct0"));
	mkdir(path("Zed").c_str(), 0755);
	mkdir(path("Zed/Data").c_str(), 0755);
	WriteFile(settings("Zed"), text);
	restart();
	EXPECT_EQ(20, AcctMngr::CountCurrent());
	AcctData data;
	EXPECT_FALSE(AcctMngr::Get(TString("Zed"), data));
}

TEST_F(AcctMngrTest, DamagedAccountIsReportedAndSkipped)
{
	ASSERT_TRUE(AcctMngr::Create(account("First")));
	ASSERT_TRUE(AcctMngr::Create(account("Second")));
	ASSERT_TRUE(AcctMngr::Create(account("Third")));
	ASSERT_TRUE(AcctMngr::GroupCreate(TString("Third"), TString("alt.test")));
	mkdir(path("Third/Groups/not a group").c_str(), 0755);
	WriteFile(settings("Second"), "[Account\nthis is not a settings file\n");

	sAlerts.clear();
	restart();
	std::vector<std::string> names;
	std::vector<TString> list;
	AcctMngr::AccountList(list);
	for (const TString& name : list)
		names.push_back(name.String());
	EXPECT_EQ((std::vector<std::string>{"First", "Third"}), names);
	ASSERT_EQ(1u, sAlerts.size());
	EXPECT_NE(std::string::npos, sAlerts[0].find("Second"));
	EXPECT_NE(std::string::npos, sAlerts[0].find("Account.init"));
	// The damaged account is left where it is, for the user to mend.
	EXPECT_EQ("[Account\nthis is not a settings file\n", ReadFile(settings("Second")));
	AcctMngr::GroupSet groups;
	ASSERT_TRUE(AcctMngr::GroupListGet(TString("Third"), groups));
	EXPECT_EQ(1u, groups.size());
}

TEST_F(AcctMngrTest, VanishedIdentityIsReplacedByTheFirst)
{
	ASSERT_TRUE(Identity::IdentAdd());
	TString second;
	Identity::IndexToItemID(1, second);
	AcctData data = account("Poster");
	data.identity = second;
	ASSERT_TRUE(AcctMngr::Create(data));
	events();
	ASSERT_TRUE(Identity::IdentDel(1));
	AcctMngr::IdentityChange();
	// The message store's thread, told of the identities' change, may be the one that repairs
	// the account, a moment later: its update is waited for.
	std::vector<std::string> seen = events();
	const std::string update = "update:Poster\nPoster";
	for (int i = 0; i < 500 && std::find(seen.begin(), seen.end(), update) == seen.end(); i++) {
		Notify::WaitAndDeliver(10000);
		for (const std::string& e : events())
			seen.push_back(e);
	}
	EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), update));
	ASSERT_TRUE(AcctMngr::Get(TString("Poster"), data));
	TString first;
	Identity::IndexToItemID(0, first);
	EXPECT_EQ(first, data.identity);
	// The file still names the old identity; reading it repairs it the same way.
	AcctData read;
	ASSERT_EQ(ErrOkay, read.InitRead(TString("Poster")));
	EXPECT_EQ(first, read.identity);
}

}  // namespace
