// quillfern identity ...: end to end on a private data root.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using TestSupport::RunResult;

class IdentityCommandTest : public ::testing::Test {
protected:
	RunResult run(std::vector<std::string> args)
	{
		args.insert(args.begin(), {"--root", mRoot.Path()});
		return TestSupport::RunQuillfern(args);
	}

	std::string identityFile() { return TestSupport::ReadFile(mRoot.Path() + "/Identity/Identity.init"); }

	TestSupport::TempDir mRoot;
};

TEST_F(IdentityCommandTest, AddSetListDelete)
{
	RunResult r = run({"identity", "add", "Ann Example", "--email", "ann@example.org", "--organization",
		"Example Ltd", "--reply-signature", "Signature.txt"});
	ASSERT_EQ(0, r.status) << r.err;
	std::string id = r.out.substr(0, r.out.size() - 1);
	ASSERT_EQ(10u, id.size()) << r.out;

	r = run({"identity", "list"});
	ASSERT_EQ(0, r.status) << r.err;
	ASSERT_NE(std::string::npos, r.out.find(id + "\tAnn Example\tann@example.org\tExample Ltd\n"));
	EXPECT_EQ(0u, r.out.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
	std::string file = identityFile();
	EXPECT_NE(std::string::npos, file.find("ann@example.org.invalid"));
	EXPECT_NE(std::string::npos, file.find("SignatureEnableForReplies = true"));

	// By name or by identifier; the munged address follows the real one.
	r = run({"identity", "set", "Ann Example", "--email", "ann@example.net", "--name", "Ann E."});
	ASSERT_EQ(0, r.status) << r.err;
	r = run({"identity", "list"});
	EXPECT_NE(std::string::npos, r.out.find(id + "\tAnn E.\tann@example.net\tExample Ltd\n"));
	EXPECT_NE(std::string::npos, identityFile().find("ann@example.net.invalid"));

	// An account using the identity names it in the list.
	ASSERT_EQ(0, run({"account", "add", "Home", "--server", "news.example.org", "--identity", id}).status);
	r = run({"account", "list"});
	EXPECT_EQ("Home\tnews.example.org\t119\tAnn E.\t0\n", r.out);

	r = run({"identity", "delete", id});
	ASSERT_EQ(0, r.status) << r.err;
	r = run({"identity", "list"});
	EXPECT_EQ(std::string::npos, r.out.find(id));
	r = run({"account", "list"});
	EXPECT_EQ("Home\tnews.example.org\t119\tYour Name Here\t0\n", r.out);
}

TEST_F(IdentityCommandTest, RefusedChangesGiveTheReasonAndChangeNothing)
{
	ASSERT_EQ(0, run({"identity", "list"}).status);
	std::string before = identityFile();
	std::vector<std::pair<std::vector<std::string>, const char*>> refused = {
		{{"identity", "add", "X", "--email", "not an address"},
			"“not an address” is not a valid e-mail address."},
		{{"identity", "add", "X", "--email", "x@example.org", "--munged", "x@"},
			"“x@” is not a valid e-mail address."},
		{{"identity", "add", "X", "--email", "x@example.org", "--signature", "Missing.txt"},
			"Signature file not found: "},
		{{"identity", "add", "", "--email", "x@example.org"}, "An identity needs a name."},
		{{"identity", "set", "Nobody", "--organization", "Y"}, "Identity “Nobody” is unknown."},
		{{"identity", "delete", "Nobody"}, "Identity “Nobody” is unknown."},
		{{"identity", "delete", "Your Name Here"}, "The only identity cannot be deleted."},
	};
	for (const auto& [args, reason] : refused) {
		RunResult r = run(args);
		EXPECT_EQ(1, r.status) << args[1] << " " << r.err;
		EXPECT_NE(std::string::npos, r.err.find(reason)) << r.err;
		EXPECT_EQ("", r.out);
	}
	EXPECT_EQ(2,
		run({"identity", "add", "X", "--email", "x@example.org", "--signature", "a", "--reply-signature",
				"b"})
			.status);
	EXPECT_EQ(before, identityFile());
	EXPECT_FALSE(TestSupport::Exists(mRoot.Path() + "/Identity/Missing.txt"));
}

}  // namespace
