// Directories and files in the file system: creation and tests, iteration order and depth,
// deleting whole trees, renames that never overwrite, free copy names, "~" paths, and the
// trash with entries a desktop file manager can restore from.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "DirIter.h"
#include "DirMngr.h"
#include "DiskFile.h"
#include "FileBase.h"
#include "FileMngr.h"
#include "TestSupport.h"

using TestSupport::Exists;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

struct Seen {
	std::vector<std::pair<unsigned long, std::string>> entries;
	size_t stopAfter = 0;
};

bool collect(void* context, bool& more, unsigned long depth, const DEntry& entry)
{
	Seen* seen = static_cast<Seen*>(context);
	seen->entries.emplace_back(depth, entry.Leaf().String());
	if (seen->stopAfter && seen->entries.size() >= seen->stopAfter)
		more = false;
	return true;
}

// The entries of the trash, read as a file manager does: "files" holds what was trashed,
// "info" one "[Trash Info]" entry for each.
std::map<std::string, std::string> trashInfo(std::string& files)
{
	std::string trash = std::string(getenv("XDG_DATA_HOME")) + "/Trash";
	files = trash + "/files";
	std::map<std::string, std::string> infos;
	DirIter it;
	if (it.Open((trash + "/info").c_str()) != ErrOkay)
		return infos;
	DEntry e;
	while (it.Next(e) == ErrOkay) {
		TString path;
		e.PathGet(path);
		infos[e.Leaf().String()] = ReadFile(path.String());
	}
	return infos;
}

std::string percentDecode(const std::string& s)
{
	std::string out;
	for (size_t i = 0; i < s.size(); ++i) {
		if (s[i] == '%' && i + 2 < s.size()) {
			out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
			i += 2;
		} else {
			out += s[i];
		}
	}
	return out;
}

}  // namespace

TEST(DirMngr, CreateExistsRemoveAndRename)
{
	TempDir dir;
	std::string d = dir.Sub("Neue Ordner é");
	EXPECT_EQ(DirMngr::Exists(d.c_str()), ErrDirNotFound);
	EXPECT_EQ(DirMngr::Create(d.c_str()), ErrOkay);
	EXPECT_EQ(DirMngr::Create(d.c_str()), ErrDirAlreadyExists);
	EXPECT_EQ(DirMngr::Exists(d.c_str()), ErrOkay);
	EXPECT_EQ(DirMngr::Create(dir.Sub("no/parent").c_str()), ErrGmBadPath);
	std::string f = dir.Sub("file");
	WriteFile(f, "x");
	EXPECT_EQ(DirMngr::Exists(f.c_str()), ErrDirNotDirectory);
	EXPECT_EQ(DirMngr::Create(f.c_str()), ErrFileAlreadyExists);
	EXPECT_EQ(DirMngr::Remove(f.c_str()), ErrDirNotDirectory);
	EXPECT_EQ(FileMngr::Exists(f.c_str()), ErrOkay);
	EXPECT_EQ(FileMngr::Exists(d.c_str()), ErrFileNotFile);

	WriteFile(d + "/inner", "y");
	EXPECT_EQ(DirMngr::Remove(d.c_str()), ErrDirNotEmpty);
	// Renames never replace what is there.
	EXPECT_EQ(DirMngr::Rename(TString(d.c_str()), TString(f.c_str())), ErrFileAlreadyExists);
	std::string other = dir.Sub("other");
	DirMngr::Create(other.c_str());
	EXPECT_EQ(DirMngr::Rename(TString(d.c_str()), TString(other.c_str())), ErrDirAlreadyExists);
	std::string moved = dir.Sub("moved");
	EXPECT_EQ(DirMngr::Rename(TString(d.c_str()), TString(moved.c_str())), ErrOkay);
	EXPECT_EQ(ReadFile(moved + "/inner"), "y");
	EXPECT_EQ(
		FileMngr::Rename(TString(f.c_str()), TString((moved + "/inner").c_str())), ErrFileAlreadyExists);
	EXPECT_EQ(FileMngr::Rename(TString(f.c_str()), TString((moved + "/f2").c_str())), ErrOkay);
	EXPECT_EQ(FileMngr::Remove((moved + "/f2").c_str()), ErrOkay);
	EXPECT_EQ(FileMngr::Remove((moved + "/f2").c_str()), ErrFileNotFound);
	EXPECT_EQ(FileMngr::Remove(moved.c_str()), ErrFileNotFile);

	// Names that are not UTF-8 are still names on Linux.
	std::string raw = moved + "/bad\xff\xfe";
	WriteFile(raw, "r");
	DirIter it;
	ASSERT_EQ(it.Open(moved.c_str()), ErrOkay);
	DEntry e;
	ASSERT_EQ(it.Next(e), ErrOkay);
	ASSERT_EQ(it.Next(e), ErrOkay);
	EXPECT_EQ(it.Next(e), ErrDirEnd);
	TString path;
	ASSERT_EQ(e.PathGet(path), ErrOkay);
	DiskFile file;
	ASSERT_EQ(file.Open(raw.c_str(), FileAccessRead, -1), ErrOkay);
	ASSERT_EQ(file.PathGet(path), ErrOkay);
	EXPECT_FALSE(path.Valid());
	EXPECT_EQ(FileMngr::Remove(path), ErrOkay);
}

TEST(DirMngr, IterationReportsDepthsAndStops)
{
	TempDir dir;
	DirMngr::Create(dir.Sub("a").c_str());
	DirMngr::Create(dir.Sub("a/b").c_str());
	WriteFile(dir.Sub("a/b/deep"), "");
	WriteFile(dir.Sub("a/mid"), "");
	WriteFile(dir.Sub("top"), "");
	symlink(dir.Path().c_str(), dir.Sub("a/loop").c_str());

	Seen seen;
	ASSERT_EQ(DirMngr::Iterate(TString(dir.Path().c_str()), true, collect, &seen), ErrOkay);
	std::map<std::string, unsigned long> depth;
	for (auto& [d, leaf] : seen.entries)
		depth[leaf] = d;
	EXPECT_EQ(seen.entries.size(), 6u);  // the link is reported, not followed
	EXPECT_EQ(depth["a"], 0u);
	EXPECT_EQ(depth["top"], 0u);
	EXPECT_EQ(depth["b"], 1u);
	EXPECT_EQ(depth["mid"], 1u);
	EXPECT_EQ(depth["loop"], 1u);
	EXPECT_EQ(depth["deep"], 2u);
	// Each directory's entries follow right after it.
	for (size_t i = 0; i + 1 < seen.entries.size(); ++i) {
		if (seen.entries[i].second == "b") {
			EXPECT_EQ(seen.entries[i + 1].second, "deep");
		}
	}

	Seen one;
	one.stopAfter = 1;
	EXPECT_EQ(DirMngr::Iterate(TString(dir.Path().c_str()), true, collect, &one), ErrOkay);
	EXPECT_EQ(one.entries.size(), 1u);
	auto refuse = [](void*, bool&, unsigned long, const DEntry&) { return false; };
	EXPECT_EQ(DirMngr::Iterate(TString(dir.Path().c_str()), false, refuse, nullptr), ErrGmCancelled);
	EXPECT_EQ(DirMngr::Iterate(TString(dir.Sub("none").c_str()), false, collect, &one), ErrDirNotFound);
}

TEST(DirMngr, ObliterateEmptiesReadOnlyTreesAndCanBeCancelled)
{
	TempDir dir;
	std::string top = dir.Sub("top");
	DirMngr::Create(top.c_str());
	DirMngr::Create((top + "/sub").c_str());
	WriteFile(top + "/sub/locked", "x");
	chmod((top + "/sub/locked").c_str(), 0444);
	chmod((top + "/sub").c_str(), 0555);
	WriteFile(top + "/plain", "y");
	// A link to outside the tree goes, its target stays.
	WriteFile(dir.Sub("outside"), "keep");
	symlink(dir.Sub("outside").c_str(), (top + "/link").c_str());

	auto no = [](void*) { return false; };
	EXPECT_EQ(DirMngr::Obliterate(TString(top.c_str()), true, no, nullptr), ErrGmCancelled);
	EXPECT_TRUE(Exists(top + "/plain"));

	EXPECT_EQ(DirMngr::Obliterate(TString(top.c_str()), false, nullptr, nullptr), ErrOkay);
	EXPECT_TRUE(Exists(top));
	EXPECT_FALSE(Exists(top + "/sub"));
	EXPECT_EQ(ReadFile(dir.Sub("outside")), "keep");
	EXPECT_EQ(DirMngr::Obliterate(TString(top.c_str()), true, nullptr, nullptr), ErrOkay);
	EXPECT_FALSE(Exists(top));
	EXPECT_EQ(DirMngr::Obliterate(TString("/"), true, nullptr, nullptr), ErrGmBadPath);
}

TEST(DirMngr, TildePaths)
{
	std::string home = getenv("HOME");
	TString p((home + "/Library/Quillfern Data ü").c_str());
	EXPECT_EQ(DirMngr::TildePathFromPath(p), ErrOkay);
	EXPECT_STREQ(p.String(), "~/Library/Quillfern Data ü");
	EXPECT_EQ(DirMngr::TildePathToPath(p), ErrOkay);
	EXPECT_EQ(std::string(p.String()), home + "/Library/Quillfern Data ü");

	p = (home + "other").c_str();  // shares the prefix but is another folder
	EXPECT_EQ(DirMngr::TildePathFromPath(p), ErrOkay);
	EXPECT_EQ(std::string(p.String()), home + "other");
	p = "~";
	EXPECT_EQ(DirMngr::TildePathToPath(p), ErrOkay);
	EXPECT_EQ(std::string(p.String()), home);
	p = "~no-such-user-here/x";
	EXPECT_EQ(DirMngr::TildePathToPath(p), ErrOkay);
	EXPECT_STREQ(p.String(), "~no-such-user-here/x");
	p = "";
	EXPECT_EQ(DirMngr::TildePathToPath(p), ErrGmBadPath);

	TString prefs;
	ASSERT_EQ(DirMngr::Find(DirMngr::FindPrefs, 0, prefs), ErrOkay);
	EXPECT_EQ(std::string(prefs.String()), std::string(getenv("XDG_CONFIG_HOME")) + "/quillfern");
	EXPECT_EQ(DirMngr::Exists(prefs), ErrOkay);
	TString trash;
	EXPECT_EQ(DirMngr::Find(DirMngr::FindTrash, 0, trash), ErrVolNotFound);
	EXPECT_EQ(DirMngr::Find(FindDirCode("zzzz"), 0, trash), ErrGmFinderNotFound);
}

TEST(FileBase, FreeCopyNames)
{
	TempDir dir;
	WriteFile(dir.Sub("a.txt"), "");
	WriteFile(dir.Sub("a copy.txt"), "");
	TString path("/elsewhere/a.txt");
	ASSERT_EQ(FileBase::TrashName(TString(dir.Path().c_str()), path), ErrOkay);
	EXPECT_EQ(std::string(path.String()), dir.Sub("a copy 2.txt"));
	path = "/elsewhere/b.txt";
	ASSERT_EQ(FileBase::TrashName(TString(dir.Path().c_str()), path), ErrOkay);
	EXPECT_EQ(std::string(path.String()), dir.Sub("b.txt"));

	TString perm;
	FileBase::PermStr(perm, 0100644);
	EXPECT_STREQ(perm.String(), "644");
	EXPECT_EQ(FileBase::PermMask(FileAccessRead, 0100755), 0100444);
	EXPECT_EQ(FileBase::PermCheck(FileAccessNone, 0777), ErrFileAccessDenied);

	// Following links: a chain resolves, a loop is reported.
	symlink("target", dir.Sub("l1").c_str());
	symlink(dir.Sub("l1").c_str(), dir.Sub("l2").c_str());
	TString out;
	EXPECT_EQ(FileBase::SymRead(TString(dir.Sub("l2").c_str()), out, 30), ErrOkay);
	EXPECT_STREQ(out.String(), "target");
	symlink(dir.Sub("loopB").c_str(), dir.Sub("loopA").c_str());
	symlink(dir.Sub("loopA").c_str(), dir.Sub("loopB").c_str());
	EXPECT_EQ(FileBase::SymRead(TString(dir.Sub("loopA").c_str()), out, 30), ErrGmLinkLoop);
	EXPECT_TRUE(out.Empty());
}

TEST(FileMngr, TrashedEntriesCanBeRestored)
{
	TempDir dir;
	std::string name = dir.Sub("Grüße 50% off.txt");
	WriteFile(name, "first");
	ASSERT_EQ(FileMngr::Trash(TString(name.c_str())), ErrOkay);
	EXPECT_FALSE(Exists(name));
	WriteFile(name, "second");
	ASSERT_EQ(FileMngr::Trash(TString(name.c_str())), ErrOkay);
	std::string folder = dir.Sub("Mappe");
	DirMngr::Create(folder.c_str());
	WriteFile(folder + "/inside", "z");
	EXPECT_EQ(DirMngr::Trash(TString(name.c_str())), ErrDirNotFound);
	ASSERT_EQ(DirMngr::Trash(TString(folder.c_str())), ErrOkay);
	EXPECT_FALSE(Exists(folder));

	std::string files;
	std::map<std::string, std::string> infos = trashInfo(files);
	ASSERT_EQ(infos.count("Grüße 50% off.txt.trashinfo"), 1u);
	ASSERT_EQ(infos.count("Grüße 50% off copy.txt.trashinfo"), 1u);
	ASSERT_EQ(infos.count("Mappe.trashinfo"), 1u);

	// Restore each the way a file manager does: the info names the original place.
	std::regex form(
		"\\[Trash Info\\]\nPath=([^\n]+)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
	std::map<std::string, std::string> restored;
	for (auto& [leaf, text] : infos) {
		std::smatch m;
		ASSERT_TRUE(std::regex_match(text, m, form)) << text;
		std::string original = percentDecode(m[1]);
		EXPECT_EQ(m[1].str().find(' '), std::string::npos);  // escaped
		std::string item = leaf.substr(0, leaf.size() - 10);
		std::string target = original + (restored.count(original) ? ".restored" : "");
		ASSERT_EQ(rename((files + "/" + item).c_str(), target.c_str()), 0) << item;
		restored[original] = target;
	}
	EXPECT_EQ(ReadFile(folder + "/inside"), "z");
	std::string a = ReadFile(name), b = ReadFile(name + ".restored");
	EXPECT_TRUE((a == "first" && b == "second") || (a == "second" && b == "first"));
}

TEST(FileMngr, CopyMoveAndTimes)
{
	TempDir dir;
	std::string src = dir.Sub("src");
	WriteFile(src, std::string(100000, 'q'));
	chmod(src.c_str(), 0640);
	ASSERT_EQ(FileMngr::TimeSet(TString(src.c_str()), 1234567890123456LL), ErrOkay);
	long long t = 0;
	ASSERT_EQ(FileMngr::TimeGet(TString(src.c_str()), t), ErrOkay);
	EXPECT_EQ(t, 1234567890123456LL);

	std::string copy = dir.Sub("copy");
	ASSERT_EQ(FileMngr::Copy(TString(src.c_str()), TString(copy.c_str())), ErrOkay);
	EXPECT_EQ(ReadFile(copy), ReadFile(src));
	unsigned short mode = 0;
	EXPECT_EQ(FileMngr::PermGet(TString(copy.c_str()), &mode), ErrOkay);
	EXPECT_EQ(mode, 0640);
	ASSERT_EQ(FileMngr::TimeGet(TString(copy.c_str()), t), ErrOkay);
	EXPECT_EQ(t, 1234567890123456LL);
	EXPECT_EQ(FileMngr::Copy(TString(src.c_str()), TString(copy.c_str())), ErrFileAlreadyExists);

	std::string moved = dir.Sub("moved");
	ASSERT_EQ(FileMngr::Move(TString(copy.c_str()), TString(moved.c_str())), ErrOkay);
	EXPECT_FALSE(Exists(copy));
	EXPECT_EQ(ReadFile(moved), ReadFile(src));
	EXPECT_EQ(FileMngr::Move(TString(src.c_str()), TString(moved.c_str())), ErrFileAlreadyExists);
	EXPECT_EQ(FileMngr::Move(TString(src.c_str()), TString(dir.Sub("no/dir/x").c_str())), ErrGmBadPath);

	// A replacing rename takes the place of an existing file in one step.
	std::string r1 = dir.Sub("r1"), r2 = dir.Sub("r2");
	WriteFile(r1, "one");
	WriteFile(r2, "two");
	EXPECT_EQ(FileMngr::Replace(TString(r1.c_str()), TString(r2.c_str())), ErrOkay);
	EXPECT_FALSE(Exists(r1));
	EXPECT_EQ(ReadFile(r2), "one");
	EXPECT_EQ(FileMngr::Replace(TString(r1.c_str()), TString(r2.c_str())), ErrFileNotFound);
}
