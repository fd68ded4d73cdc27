// Path texts: joining, splitting and extensions at the edges (trailing slashes, "..", names
// with spaces and non-ASCII letters), validation and the sanitising of foreign names.
#include <gtest/gtest.h>

#include <string>

#include "PathMngr.h"

namespace {

std::string appended(const char* path, const char* leaf, bool* ok = nullptr)
{
	TString p(path);
	bool r = PathMngr::Append(p, leaf);
	if (ok)
		*ok = r;
	return p.String();
}

std::string fixed(const char* name)
{
	TString n(name);
	PathMngr::LeafFixup(n);
	return n.String();
}

std::string sanitized(const char* path)
{
	TString p(path);
	PathMngr::Sanitize(p);
	return p.String();
}

}  // namespace

TEST(PathMngr, AppendKeepsExactlyOneSeparator)
{
	EXPECT_EQ(appended("/a/", "/b"), "/a/b");
	EXPECT_EQ(appended("/a///", "b"), "/a/b");
	EXPECT_EQ(appended("", "b"), "b");
	EXPECT_EQ(appended("/", "b"), "/b");
	EXPECT_EQ(appended("/a", ""), "/a");
	EXPECT_EQ(appended("/Nachrichten", "Grüße an alle.txt"), "/Nachrichten/Grüße an alle.txt");
	bool ok = true;
	EXPECT_EQ(appended("/a", "b//c", &ok), "");
	EXPECT_FALSE(ok);
	EXPECT_EQ(appended("/a", "b/", &ok), "");  // a trailing "/" is not a valid path
	EXPECT_FALSE(ok);
	EXPECT_EQ(appended("/a", "b\\c", &ok), "");
	EXPECT_FALSE(ok);
	EXPECT_EQ(appended("/a", "..", &ok), "/a/..");
	EXPECT_TRUE(ok);
}

TEST(PathMngr, ValidPathsAndLeaves)
{
	for (const char* good : {"/", "a", "/a/b c/ä", "../x", "/a/.."})
		EXPECT_TRUE(PathMngr::Valid(good)) << good;
	for (const char* bad : {"", "//", "/a/", "a//b", "a\\b", "a\tb", "a\nb"})
		EXPECT_FALSE(PathMngr::Valid(bad)) << bad;
	for (const char* good : {"a", "news 1.txt", "Ünïcödé", ".profile"})
		EXPECT_TRUE(PathMngr::ValidLeaf(good)) << good;
	for (const char* bad : {"", ".", "..", "a/b", "a:b", "a\\b", "\x01"})
		EXPECT_FALSE(PathMngr::ValidLeaf(bad)) << bad;
}

TEST(PathMngr, SplittingAtTheEdges)
{
	struct {
		const char* path;
		bool ok;
		const char* root;
		const char* leaf;
	} cases[] = {
		{"/file", true, "/", "file"},
		{"file", true, "", "file"},
		{"/", true, "", "/"},
		{"/a/b c/d é.txt", true, "/a/b c", "d é.txt"},
		{"/a/..", true, "/a", ".."},
		{"/a/", false, "", ""},
		{"", false, "", ""},
	};
	for (const auto& c : cases) {
		TString root("x"), leaf("y");
		EXPECT_EQ(PathMngr::SplitRootLeaf(c.path, root, leaf), c.ok) << c.path;
		EXPECT_STREQ(root.String(), c.root) << c.path;
		EXPECT_STREQ(leaf.String(), c.leaf) << c.path;
	}
	struct {
		const char* path;
		const char* name;
		const char* ext;
	} exts[] = {
		{"/x/a.tar.gz", "a.tar", "gz"},
		{"/x/.profile", ".profile", ""},
		{"/x/name.", "name.", ""},
		{"/x.d/plain", "plain", ""},
		{"ß.txt", "ß", "txt"},
	};
	for (const auto& c : exts) {
		TString name, ext;
		EXPECT_TRUE(PathMngr::SplitLeafExt(c.path, name, ext));
		EXPECT_STREQ(name.String(), c.name) << c.path;
		EXPECT_STREQ(ext.String(), c.ext) << c.path;
	}
}

TEST(PathMngr, Extensions)
{
	TString p("/x/Accounts.txt");
	EXPECT_TRUE(PathMngr::ExtReplace(p, "init"));
	EXPECT_STREQ(p.String(), "/x/Accounts.init");
	p = "/x/.hidden";
	EXPECT_TRUE(PathMngr::ExtReplace(p, ".init"));
	EXPECT_STREQ(p.String(), "/x/.hidden.init");
	p = "/x.y/Account";
	EXPECT_FALSE(PathMngr::ExtDel(p));
	EXPECT_TRUE(PathMngr::ExtAdd(p, "init"));
	EXPECT_STREQ(p.String(), "/x.y/Account.init");
	p = "name...";
	EXPECT_TRUE(PathMngr::ExtAdd(p, "..txt"));
	EXPECT_STREQ(p.String(), "name.txt");
	p = "...";
	EXPECT_FALSE(PathMngr::ExtAdd(p, "txt"));
	EXPECT_STREQ(p.String(), "...");
}

TEST(PathMngr, ReparentAndUniqueRespectFolderBoundaries)
{
	TString p("/old/Saved/Foo/x");
	EXPECT_TRUE(PathMngr::Reparent("/old", "/new", p));
	EXPECT_STREQ(p.String(), "/new/Saved/Foo/x");
	// '/a/Foobar' does not lie inside '/a/Foo'.
	p = "/a/Foobar/x";
	EXPECT_FALSE(PathMngr::Reparent("/a/Foo", "/a/Bar", p));
	EXPECT_STREQ(p.String(), "/a/Foobar/x");
	p = "/a/Foo/x";
	EXPECT_TRUE(PathMngr::Reparent("/a/Foo", "/a/Bar", p));
	EXPECT_STREQ(p.String(), "/a/Bar/x");
	p = "/a/Foo";
	EXPECT_FALSE(PathMngr::Reparent("/a/Foo", "/a/Bar", p));

	p = "/root/long/x";
	EXPECT_TRUE(PathMngr::Unique("/root", "/root/long", p));
	EXPECT_STREQ(p.String(), "/x");
	p = "/root";
	EXPECT_TRUE(PathMngr::Unique("/root", "/other", p));
	EXPECT_STREQ(p.String(), "");
	p = "/else";
	EXPECT_FALSE(PathMngr::Unique("/root", "/other", p));
}

TEST(PathMngr, SanitisingForeignNames)
{
	EXPECT_EQ(sanitized("a//b\\c/"), "a/b_c");
	EXPECT_EQ(sanitized("/"), "/");
	EXPECT_EQ(sanitized("a\tb"), "a_b");
	EXPECT_EQ(fixed("C:\\Temp\\photo 1.jpg "), "photo 1.jpg");
	EXPECT_EQ(fixed("../../etc/passwd"), "passwd");
	EXPECT_EQ(fixed(".."), "__");
	EXPECT_EQ(fixed(" . "), "_");
	EXPECT_EQ(fixed("dir/"), "");
	EXPECT_EQ(fixed("Überweisung März.pdf"), "Überweisung März.pdf");
	EXPECT_EQ(fixed("a\x01\x7f"
					"b"),
		"a_\x7f"
		"b");

	// Names longer than a file system takes are shortened on a character boundary, keeping
	// the extension.
	std::string longName;
	for (int i = 0; i < 200; ++i)
		longName += "é";
	longName += ".jpg";
	std::string out = fixed(longName.c_str());
	EXPECT_LE(out.size(), 255u);
	EXPECT_EQ(out.substr(out.size() - 4), ".jpg");
	TString check(out.c_str());
	EXPECT_TRUE(check.Valid());
}
