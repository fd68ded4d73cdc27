// Settings files: the line grammar, malformed lines refused with the right error, rewrites
// that keep the user's comments and order, complete rewrites bracketed by ItemSetStart and
// ItemSetStop, and writes that fail halfway without harming the previous file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "DirIter.h"
#include "InitFile.h"
#include "TestSupport.h"

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

InitFile::LineType parse(const char* line, InitFile::ParseData& data)
{
	TString l;
	l.AllowInvalidSet(true);
	l.Assign(line);
	return InitFile::Parse(l, data);
}

std::string body(const std::string& text)
{
	// The file without its three header lines.
	size_t at = 0;
	for (int i = 0; i < 3; ++i)
		at = text.find('\n', at) + 1;
	return text.substr(at);
}

int filesIn(const std::string& dir)
{
	DirIter it;
	int n = 0;
	DEntry e;
	if (it.Open(dir.c_str()) == ErrOkay)
		while (it.Next(e) == ErrOkay)
			++n;
	return n;
}

}  // namespace

TEST(InitFile, LineGrammar)
{
	InitFile::ParseData d;
	EXPECT_EQ(parse("[ Account ]    ;main", d), InitFile::LineSection);
	EXPECT_STREQ(d.name.String(), "Account");
	EXPECT_STREQ(d.comment.String(), "main");
	EXPECT_EQ(parse("Port = 119", d), InitFile::LineItem);
	EXPECT_EQ(d.itemType, InitFile::ItemCustom);
	EXPECT_STREQ(d.value.String(), "119");
	EXPECT_EQ(parse("Port=\"119\"  ; user note ", d), InitFile::LineItem);
	EXPECT_EQ(d.itemType, InitFile::ItemString);
	EXPECT_STREQ(d.comment.String(), " user note");
	EXPECT_EQ(parse("Text = \"a\\tb\"", d), InitFile::LineItem);
	EXPECT_STREQ(d.value.String(), "a\tb");
	EXPECT_EQ(parse("Text =   raw value here  ; c", d), InitFile::LineItem);
	EXPECT_STREQ(d.value.String(), "raw value here");
	EXPECT_EQ(parse("", d), InitFile::LineBlank);
	EXPECT_EQ(parse(";   ", d), InitFile::LineBlank);
	EXPECT_EQ(parse("   ", d), InitFile::LineBlank);
	EXPECT_EQ(parse("; note", d), InitFile::LineComment);
	// A name of the longest kind keeps its comment even without a space before it.
	std::string longest = "[" + std::string(40, 'n') + "];note";
	EXPECT_EQ(parse(longest.c_str(), d), InitFile::LineSection);
	EXPECT_STREQ(d.comment.String(), "note");

	const char* invalid[] = {
		"Text = \"a\" junk",  // anything but a comment after the value
		"[Account",
		"Account]",
		"[[Account]]",
		"[Acc ount]",
		"Abc = 1",  // name too short
		"1abc = 1",  // starts with a digit
		"Name\"x = 1",
		"NoEquals value",
		"Name",
	};
	for (const char* line : invalid)
		EXPECT_EQ(parse(line, d), InitFile::LineInvalid) << line;
	EXPECT_EQ(parse("Name = \"\xff\"", d), InitFile::LineNotUtf8);
}

TEST(InitFile, SettersAndGetters)
{
	InitFile f;
	EXPECT_FALSE(f.ItemSet("Abc", "Valid", TString("x")));
	EXPECT_FALSE(f.ItemSet("Valid", "9lives", TString("x")));
	EXPECT_FALSE(f.SectionSet("Bad Name"));
	EXPECT_FALSE(f.SectionGet("Valid"));
	EXPECT_TRUE(f.ItemSet("Server", "Port", -5L));
	long n = 0;
	EXPECT_TRUE(f.ItemGet("server", "PORT", n));
	EXPECT_EQ(n, -5);
	TString s;
	EXPECT_FALSE(f.ItemGet("Server", "Port", s));
	EXPECT_TRUE(f.ItemSet("Server", "Name", TString("119")));
	EXPECT_FALSE(f.ItemGet("Server", "Name", n));
	EXPECT_EQ(n, 0);
	EXPECT_TRUE(f.ItemSetCustom("Server", "Huge", TString("2147483648")));
	EXPECT_FALSE(f.ItemGet("Server", "Huge", n));
	EXPECT_TRUE(f.ItemSetCustom("Server", "Edge", TString(" -2147483648 ")));
	EXPECT_TRUE(f.ItemGet("Server", "Edge", n));
	EXPECT_EQ(n, -2147483648L);
	EXPECT_FALSE(f.ItemSetCustom("Server", "Broken", TString("a\nb")));
	EXPECT_FALSE(f.ItemSetCustom("Server", "Broken", TString("a;b")));
	EXPECT_TRUE(f.SectionComment("Server", TString("  main  ")));
	EXPECT_FALSE(f.SectionComment("Server", TString("abc")));
	EXPECT_FALSE(f.SectionComment("Server", TString("has ; semicolon")));
	EXPECT_TRUE(f.ItemDel("Server", "Edge"));
	EXPECT_FALSE(f.ItemDel("Server", "Edge"));
	EXPECT_TRUE(f.SectionDel("SERVER"));
	EXPECT_FALSE(f.SectionGet("Server"));
}

TEST(InitFile, MalformedFilesAreRefused)
{
	TempDir dir;
	std::string path = dir.Sub("Settings.init");
	InitFile f;
	EXPECT_EQ(f.StateRead(TString(path.c_str()), -1), ErrFileNotFound);
	WriteFile(path, "[Server]\nName = \"ok\"\nPort = \"1\" 2\nLater = 5\n");
	EXPECT_EQ(f.StateRead(TString(path.c_str()), -1), ErrFileInvalidData);
	TString s;
	EXPECT_TRUE(f.ItemGet("Server", "Name", s));  // what came before stays
	long n;
	EXPECT_FALSE(f.ItemGet("Server", "Later", n));
	WriteFile(path, "[Server]\nName = \"\xc3\x28\"\n");
	EXPECT_EQ(f.StateRead(TString(path.c_str()), -1), ErrFileInvalidData);
	WriteFile(path, "[Server]\r\nName = \"" + std::string(2100, 'x') + "\"\r\n");
	EXPECT_EQ(f.StateRead(TString(path.c_str()), -1), ErrFileLineTooLong);
	// The extension is always "init".
	WriteFile(path, "[Server]\rName = \"cr only\"\r");
	EXPECT_EQ(f.StateRead(TString(dir.Sub("Settings.txt").c_str()), -1), ErrOkay);
	EXPECT_TRUE(f.ItemGet("Server", "Name", s));
	EXPECT_STREQ(s.String(), "cr only");
}

TEST(InitFile, NewFileLayout)
{
	TempDir dir;
	std::string path = dir.Sub("New.init");
	InitFile f;
	f.TitleSet(TString("Quillfern account preferences"));
	f.ItemSet("Server", "Port", 119L);
	f.ItemSet("Server", "Host", TString("news.example.net"));
	f.ItemSet("Account", "Name", TString("two\nlines"));
	f.SectionComment("Account", TString("the main one"));
	f.SectionSet("Empty");
	ASSERT_EQ(f.StateWrite(TString(path.c_str()), 1000000), ErrOkay);
	std::string text = ReadFile(path);
	EXPECT_EQ(text.rfind("; Quillfern account preferences\n; Created: ", 0), 0u) << text;
	EXPECT_NE(text.find("\n; This file uses the UTF-8 encoding\n"), std::string::npos);
	EXPECT_EQ(body(text),
		"\n"
		"[Account]                                 ;the main one\n"
		"Name = \"two lines\"\n"
		"\n"
		"[Server]\n"
		"Host = \"news.example.net\"\n"
		"Port = 119\n");
	InitFile back;
	ASSERT_EQ(back.StateRead(TString(path.c_str()), 1000000), ErrOkay);
	long port;
	EXPECT_TRUE(back.ItemGet("Server", "Port", port));
	EXPECT_EQ(port, 119);
	EXPECT_FALSE(back.SectionGet("Empty"));
}

TEST(InitFile, RewritesKeepTheUsersLines)
{
	TempDir dir;
	std::string path = dir.Sub("User.init");
	const std::string original = "; my own settings\n"
								 "\n"
								 "[Server]   ; production\n"
								 "Host=\"old.example.net\"   ; where\n"
								 "; a note between items\n"
								 "Port   =   119\n"
								 "\n"
								 "\n"
								 "[Unknown]\n"
								 "Extra = \"left alone\"\n";
	WriteFile(path, original);
	InitFile f;
	ASSERT_EQ(f.StateRead(TString(path.c_str()), -1), ErrOkay);
	// Writing unchanged values changes nothing but the doubled blank line.
	ASSERT_EQ(f.StateWrite(TString(path.c_str()), -1), ErrOkay);
	std::string once = ReadFile(path);
	EXPECT_EQ(once, std::string(original).replace(original.find("\n\n\n"), 3, "\n\n"));

	f.ItemSet("Server", "Host", TString("new.example.net"));
	f.ItemSet("Server", "Timeout", 30L);
	f.ItemSet("Added", "Value", TString("v"));
	ASSERT_EQ(f.StateWrite(TString(path.c_str()), -1), ErrOkay);
	EXPECT_EQ(ReadFile(path),
		"; my own settings\n"
		"\n"
		"[Server]   ; production\n"
		"Host = \"new.example.net\"                  ; where\n"
		"; a note between items\n"
		"Port   =   119\n"
		"Timeout = 30\n"
		"\n"
		"[Unknown]\n"
		"Extra = \"left alone\"\n"
		"\n"
		"[Added]\n"
		"Value = \"v\"\n");
}

TEST(InitFile, CompleteRewriteDropsWhatWasNotSetAgain)
{
	TempDir dir;
	std::string path = dir.Sub("Accounts.init");
	WriteFile(path,
		"Stray = 1\n"
		"[First]\n"
		"; about one\n"
		"Keep = \"k\"\n"
		"Count = 3\n"
		"Drop = \"d\"\n"
		"[Second]\n"
		"; about two\n"
		"Gone = \"g\"\n"
		"[Third]\n"
		"Kept = \"x\"\n");
	InitFile f;
	ASSERT_EQ(f.StateRead(TString(path.c_str()), -1), ErrOkay);
	f.ItemSetStart();
	f.ItemSet("First", "Keep", TString("k2"));
	f.ItemSet("First", "Count", 4L);
	f.ItemSet("Third", "Kept", TString("x"));
	f.ItemSetStop();
	ASSERT_EQ(f.StateWrite(TString(path.c_str()), -1), ErrOkay);
	EXPECT_EQ(ReadFile(path),
		"[First]\n"
		"; about one\n"
		"Keep = \"k2\"\n"
		"Count = 4\n"
		"[Third]\n"
		"Kept = \"x\"\n");
}

TEST(InitFile, FailedWritesLeaveThePreviousFileWhole)
{
	TempDir dir;
	std::string path = dir.Sub("Safe.init");
	WriteFile(path, "; keep me\n[Server]\nHost = \"old\"\n");
	chmod(path.c_str(), 0600);
	const std::string before = ReadFile(path);

	// A child whose files may not grow past 4 KiB fails halfway through a large write.
	pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0) {
		signal(SIGXFSZ, SIG_IGN);
		struct rlimit lim = {4096, 4096};
		setrlimit(RLIMIT_FSIZE, &lim);
		InitFile f;
		if (f.StateRead(TString(path.c_str()), -1) != ErrOkay)
			_exit(2);
		for (long i = 0; i < 2000; ++i) {
			TString name;
			name.Fmt("Item%04ld", i);
			f.ItemSet("Server", name, TString("a fairly long value to fill the file up"));
		}
		_exit(f.StateWrite(TString(path.c_str()), -1) == ErrOkay ? 0 : 1);
	}
	int status = 0;
	ASSERT_EQ(waitpid(child, &status, 0), child);
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(WEXITSTATUS(status), 1);
	EXPECT_EQ(ReadFile(path), before);
	EXPECT_EQ(filesIn(dir.Path()), 1);  // no temporary file left behind

	// A successful write keeps the file's permission bits.
	InitFile f;
	ASSERT_EQ(f.StateRead(TString(path.c_str()), -1), ErrOkay);
	f.ItemSet("Server", "Host", TString("new"));
	ASSERT_EQ(f.StateWrite(TString(path.c_str()), -1), ErrOkay);
	struct stat st;
	ASSERT_EQ(stat(path.c_str(), &st), 0);
	EXPECT_EQ(st.st_mode & 0777, 0600u);
	EXPECT_EQ(filesIn(dir.Path()), 1);
	// A folder that does not exist fails without creating anything.
	EXPECT_EQ(f.StateWrite(TString(dir.Sub("missing/Safe.init").c_str()), -1), ErrGmBadPath);
}

namespace {

TString raw(const std::string& bytes)
{
	TString t;
	t.AllowInvalidSet(true);
	t.Assign(bytes.c_str());
	return t;
}

}  // namespace

TEST(InitFile, SettersRefuseWhatWouldNotReadBackAndTheRestReadsBackTheSame)
{
	TempDir dir;
	TString path(dir.Sub("Kinds.init").c_str());
	InitFile f;
	// Refused: text that is not UTF-8, a custom item that would read back as a string item, a
	// line longer than a text line, a comment that is not UTF-8.
	EXPECT_FALSE(f.ItemSet("Values", "Latin", raw("us\xe9r")));
	EXPECT_FALSE(f.ItemSetCustom("Values", "Latin", raw("us\xe9r")));
	EXPECT_FALSE(f.ItemSetCustom("Values", "Quoted", TString("\"a\" b")));
	EXPECT_FALSE(f.ItemSet("Values", "Long", TString(std::string(2100, 'x').c_str())));
	EXPECT_FALSE(f.ItemSet("Values", "Escapes", TString(std::string(1500, '"').c_str())));
	ASSERT_TRUE(f.ItemSet("Values", "Plain", TString("x")));
	EXPECT_FALSE(f.ItemComment("Values", "Plain", raw("caf\xe9")));
	TString none;
	EXPECT_FALSE(f.ItemGetCustom("Values", "Quoted", none));

	// Accepted values of every kind come back as they were, as the same kind of item.
	const std::vector<std::pair<const char*, std::string>> strings = {{"Empty", ""}, {"Quote", "\"a\" b"},
		{"Backslash", "a\\nb\\"}, {"Tabs", "a\tb"}, {"Spaces", "  padded  "}, {"Semicolon", "a ; b"},
		{"Unicode", "Grüße ✓"}, {"Long", std::string(1900, 'y')}};
	for (const auto& [name, value] : strings)
		ASSERT_TRUE(f.ItemSet("Values", name, TString(value.c_str()))) << name;
	ASSERT_TRUE(f.ItemSetCustom("Values", "Custom", TString("a \"b\" c")));
	ASSERT_TRUE(f.ItemSet("Values", "Number", -2147483647L));
	ASSERT_EQ(f.StateWrite(path, -1), ErrOkay);

	InitFile back;
	ASSERT_EQ(back.StateRead(path, -1), ErrOkay);
	for (const auto& [name, value] : strings) {
		TString got;
		EXPECT_TRUE(back.ItemGet("Values", name, got)) << name;
		EXPECT_EQ(std::string(got.String()), value) << name;
	}
	TString custom;
	EXPECT_TRUE(back.ItemGetCustom("Values", "Custom", custom));
	EXPECT_STREQ(custom.String(), "a \"b\" c");
	long n = 0;
	EXPECT_TRUE(back.ItemGet("Values", "Number", n));
	EXPECT_EQ(n, -2147483647L);
}

TEST(InitFile, UpdatesFromManyWritersAtOnceAllCount)
{
	// Every update reads, changes and writes under the file's lock: no increment is lost, and
	// the lock file is gone afterwards.
	TempDir dir;
	TString path(dir.Sub("Counter.init").c_str());
	const int kWriters = 6, kEach = 15;
	std::vector<pid_t> children;
	for (int w = 0; w < kWriters; ++w) {
		pid_t child = fork();
		ASSERT_GE(child, 0);
		if (child == 0) {
			for (int i = 0; i < kEach; ++i) {
				InitFile f;
				Error e = f.Update(path, 10000000, [&](InitFile& file) {
					long count = 0;
					file.ItemGet("Counter", "Count", count);
					TString mine;
					mine.Fmt("Writer%d", w);
					file.ItemSet("Counter", mine, static_cast<long>(i) + 1);
					return file.ItemSet("Counter", "Count", count + 1) ? ErrOkay : ErrFileInvalidData;
				});
				if (e != ErrOkay)
					_exit(1);
			}
			_exit(0);
		}
		children.push_back(child);
	}
	for (pid_t child : children) {
		int status = 0;
		ASSERT_EQ(waitpid(child, &status, 0), child);
		EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
	}
	InitFile f;
	ASSERT_EQ(f.StateRead(path, -1), ErrOkay);
	long count = 0;
	EXPECT_TRUE(f.ItemGet("Counter", "Count", count));
	EXPECT_EQ(count, kWriters * kEach);
	for (int w = 0; w < kWriters; ++w) {
		TString mine;
		mine.Fmt("Writer%d", w);
		EXPECT_TRUE(f.ItemGet("Counter", mine, count));
		EXPECT_EQ(count, kEach);
	}
	EXPECT_EQ(filesIn(dir.Path()), 1);

	// A change that fails writes nothing.
	std::string before = ReadFile(dir.Sub("Counter.init"));
	EXPECT_EQ(f.Update(path, -1,
				  [](InitFile& file) {
					  file.ItemSet("Counter", "Count", 0L);
					  return ErrFileInvalidData;
				  }),
		ErrFileInvalidData);
	EXPECT_EQ(ReadFile(dir.Sub("Counter.init")), before);
}
