#include "LanguageLoad.h"

#include <unistd.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "AppPathMngr.h"
#include "DEntry.h"
#include "DirMngr.h"
#include "Err.h"
#include "Language.h"
#include "LanguageMngr.h"
#include "Output.h"
#include "TString.h"
#include "TextFile.h"
#include "TimeCore.h"
#include "TimeFormat.h"

namespace {

const long long kLockWait = 1000000;
const char* const kProgramName = "Quillfern News";
const char* const kGenerated = "Auto-generated: ";
const char* const kDeleteHint =
	"\n\nYou can solve this problem by deleting the file, which will be recreated.";

bool isKeyByte(char c)
{
	unsigned char b = static_cast<unsigned char>(c);
	return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || b >= 0x80;
}

bool isSpace(char c)
{
	return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool fileExists(const TString& path)
{
	DEntry entry;
	entry.Assign(path);
	return entry.Stat() == ErrOkay && entry.IsFile();
}

// True when the file (or, when missing, its folder) may be written by this user.
bool fileWritable(const TString& path)
{
	std::string p = path.String();
	if (access(p.c_str(), W_OK) == 0)
		return true;
	size_t slash = p.find_last_of('/');
	std::string dir = slash == std::string::npos ? "." : p.substr(0, slash);
	return !fileExists(path) && access(dir.c_str(), W_OK) == 0;
}

// Creates dir and its missing parents; true when it exists afterwards.
bool dirMake(const TString& dir)
{
	std::string p = dir.String();
	if (p.empty())
		return false;
	if (DirMngr::Exists(dir) == ErrOkay)
		return true;
	size_t slash = p.find_last_of('/');
	if (slash != std::string::npos && slash > 0 && !dirMake(TString(p.substr(0, slash).c_str())))
		return false;
	Error e = DirMngr::Create(dir);
	return e == ErrOkay || e == ErrDirAlreadyExists;
}

// One entry line, already trimmed: key, whitespace, quoted text, optional extra text and a
// ";" comment. False when it does not parse.
bool lineParse(const std::string& line, std::string& key, TString& text, std::string& extra)
{
	size_t i = 0;
	while (i < line.size() && isKeyByte(line[i]))
		++i;
	if (i == 0 || (line[0] >= '0' && line[0] <= '9') || i == line.size() || !isSpace(line[i]))
		return false;
	key = line.substr(0, i);
	while (i < line.size() && isSpace(line[i]))
		++i;
	if (i == line.size() || line[i] != '"')
		return false;
	const char* end = nullptr;
	text.AllowInvalidSet(true);
	if (!text.QuoteDecode(line.c_str() + i, &end) || !end)
		return false;
	std::string rest = end;
	size_t semi = rest.find(';');
	extra = rest.substr(0, semi);
	return true;
}

// Opens the language file for reading with a shared lock, so that many processes starting at
// once read it side by side; only a writer replacing it makes them wait (up to kLockWait).
Error openShared(TextFile& file, const TString& path)
{
	long long first = TimeCore::TickCount();
	for (;;) {
		Error e = file.Open(path, TextFile::ModeRead, -1);
		if (e != ErrFileLocked || TimeCore::TickCount() - first >= kLockWait)
			return e;
		TimeCore::Sleep(DiskFile::kLockRetryPause);
	}
}

// Reads the file into the table; on a problem fills problem and returns false.
bool fileRead(const TString& path, std::string& problem)
{
	Language::NameClear();
	TextFile file;
	Error e = openShared(file, path);
	if (e != ErrOkay) {
		TString err;
		TString t;
		t.Fmt("Language file can’t be %s: %s.", "opened", Err::Str(err, e));
		problem = t.String();
		return false;
	}
	std::set<std::string> seen;
	unsigned long number = 0;
	TString line;
	line.AllowInvalidSet(true);
	TString t;
	for (;;) {
		line.Erase();
		e = file.Read(line);
		if (e == ErrFileEnd)
			break;
		++number;
		if (e != ErrOkay && e != ErrFileLineTooLong) {
			TString err;
			t.Fmt("Language file can’t be %s: %s.", "read", Err::Str(err, e));
			problem = t.String();
			return false;
		}
		if (e == ErrFileLineTooLong) {
			t.Fmt("Language file line %lu %s.", number, "could not be parsed");
			problem = t.String();
			return false;
		}
		if (!line.Valid()) {
			t.Fmt("Language file line %lu %s.", number, "contains invalid UTF-8 characters");
			problem = t.String();
			return false;
		}
		std::string l = line.String();
		if (number == 1 && l.compare(0, 3, "\xEF\xBB\xBF") == 0)
			l.erase(0, 3);
		size_t first = l.find_first_not_of(" \t\r\n");
		if (first == std::string::npos)
			continue;
		l = l.substr(first, l.find_last_not_of(" \t\r\n") - first + 1);
		if (l[0] == ';')
			continue;
		std::string key, extra;
		TString text;
		if (!lineParse(l, key, text, extra)) {
			t.Fmt("Language file line %lu %s.", number, "could not be parsed");
			problem = t.String();
			return false;
		}
		if (!Language::NameCheck(key.c_str())) {
			t.Fmt("Language file line %lu item %s is unknown.", number, key.c_str());
			problem = t.String();
			return false;
		}
		if (!seen.insert(key).second) {
			t.Fmt("Language file line %lu item %s is a duplicate.", number, key.c_str());
			problem = t.String();
			return false;
		}
		Language::NameResult r = Language::NameLocal(key.c_str(), text.String(), extra.c_str());
		if (r == Language::NameBadSingular) {
			t.Fmt("Language file line %lu item %s is invalid.", number, key.c_str());
			problem = t.String();
			return false;
		}
		if (r != Language::NameOkay) {
			t.Fmt("Language file line %lu item %s has invalid arguments (should be %lu total).", number,
				key.c_str(), static_cast<unsigned long>(Language::NameVarCount(key.c_str())));
			problem = t.String();
			return false;
		}
	}
	TString missing;
	if (!Language::NameCheckAll(missing)) {
		t.Fmt("Language file item %s is missing.", missing.String());
		problem = t.String();
		return false;
	}
	return true;
}

void problemShow(const std::string& problem, const TString& path, bool english)
{
	std::string text = problem;
	if (english)
		text += kDeleteHint;
	text += "\n\nFile: ";
	text += path.String();
	Output::Alert(LanguageLoad::kTitle, text.c_str());
}

// True when the file was written by the program (its second line says so).
bool fileGenerated(const TString& path)
{
	TextFile file;
	if (openShared(file, path) != ErrOkay)
		return false;
	TString line;
	line.AllowInvalidSet(true);
	bool generated = file.Read(line) == ErrOkay && file.Read(line) == ErrOkay &&
		std::strncmp(line.String(), "; ", 2) == 0 &&
		std::strncmp(line.String() + 2, kGenerated, std::strlen(kGenerated)) == 0;
	file.Close();
	return generated;
}

// Writes the English file afresh: in place when possible, else in the per-user folder, which
// the English language then uses.
bool englishWrite(long index)
{
	TString path;
	LanguageMngr::FileGet(path, index);
	if (!fileWritable(path)) {
		TString dir;
		AppPathMngr::ResourcesUserEnglish(dir);
		if (!dirMake(dir))
			return false;
		LanguageMngr::PathSet(dir.String(), index);
		LanguageMngr::FileGet(path, index);
	}
	return LanguageLoad::FileWrite(path.String(), "English");
}

// Reads language index. The English texts are built in: an English file that the program
// generated for other texts (an older or newer version of it) is written afresh, and a
// problem in a hand-made English file is shown while the built-in texts stay in use.
bool languageRead(long index)
{
	TString path;
	LanguageMngr::FileGet(path, index);
	bool english = index == LanguageMngr::Index(LangTypeEnglish);
	TString problem;
	if (LanguageLoad::Read(index, &problem))
		return true;
	if (english && fileGenerated(path) && englishWrite(index)) {
		LanguageMngr::FileGet(path, index);
		if (LanguageLoad::Read(index, &problem))
			return true;
	}
	problemShow(problem.String(), path, english);
	return english;
}

}  // namespace

const char* LanguageLoad::FileLeaf()
{
	return "strings";
}

const char* LanguageLoad::FileExt()
{
	return "txt";
}

bool LanguageLoad::Read(long index, TString* problem)
{
	TString path;
	if (!LanguageMngr::FileGet(path, index)) {
		if (problem)
			problem->Assign("No such language.");
		return false;
	}
	std::string text;
	if (!fileRead(path, text)) {
		Language::NameClear();
		if (problem)
			problem->Assign(text.c_str());
		return false;
	}
	TString name;
	if (Language::String("LanguageName", name, false) && !name.Empty())
		LanguageMngr::NameSet(name.String(), index);
	if (problem)
		problem->Erase();
	return true;
}

bool LanguageLoad::FileWrite(const char* path, const char* languageName)
{
	std::vector<TString> lines;
	TString t, program;
	if (!Language::NameCheck("AppName") || !Language::String("AppName", program, true))
		program.Assign(kProgramName);
	t.Fmt("; %s %s strings file", program.String(), languageName ? languageName : "English");
	lines.push_back(t);
	TString when;
	TimeFormat::DateTimeVal(when, TimeCore::TimeGet(), TimeCore::kBiasLocal, nullptr, true);
	t.Fmt("; %s%s", kGenerated, when.String());
	lines.push_back(t);
	lines.push_back(TString("; This file uses the UTF-8 character encoding"));
	long longest = Language::NameLongest();
	TString name, key, english, quoted;
	for (long s = 0; Language::SectionGet(s, name); ++s) {
		lines.push_back(TString());
		t.Assign("; ");
		t.Append(name);
		lines.push_back(t);
		lines.push_back(TString());
		for (long i = 0; Language::SectionItem(s, i, key, english); ++i) {
			t.Assign(key);
			t.Pad(' ', longest);
			t.Append("  ");
			quoted.Erase();
			quoted.QuoteEncode(english);
			t.Append(quoted);
			lines.push_back(t);
		}
	}
	Error e = TextFile::WriteReplace(TString(path), lines, kLockWait);
	if (e != ErrOkay) {
		TString err;
		t.Fmt("Language file can’t be %s: %s.", "written", Err::Str(err, e));
		problemShow(t.String(), TString(path), true);
		return false;
	}
	return true;
}

bool LanguageLoad::Start()
{
	long english = LanguageMngr::Index(LangTypeEnglish);
	long current = LanguageMngr::CurrentGet();
	if (english < 0 || current < 0)
		return false;

	TString path;
	LanguageMngr::FileGet(path, english);
	// A missing English file is written from the built-in texts (into the per-user folder
	// when the shipped one is read-only).
	if (!fileExists(path))
		englishWrite(english);

	for (long i = 0; i < LanguageMngr::Count(); ++i)
		if (i != current && !languageRead(i))
			return false;
	if (!languageRead(current))
		return false;
	TimeFormat::LocaleLoad();
	return true;
}

bool LanguageLoad::CurrentRead()
{
	bool ok = languageRead(LanguageMngr::CurrentGet());
	if (!ok)
		Language::NameClear();
	TimeFormat::LocaleLoad();
	return ok;
}

void LanguageLoad::Stop()
{
	Language::NameClear();
}
