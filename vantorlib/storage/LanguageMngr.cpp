#include "LanguageMngr.h"

#include <strings.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "AppPathMngr.h"
#include "DEntry.h"
#include "DirIter.h"
#include "DirMngr.h"
#include "Err.h"
#include "LanguageImp.h"
#include "LanguageLoad.h"
#include "Output.h"
#include "TString.h"

namespace {

std::string languageFile()
{
	return std::string("/") + LanguageLoad::FileLeaf() + "." + LanguageLoad::FileExt();
}

struct Lang {
	std::string folder;  // folder name without ".lproj"
	std::string name;  // display name
	std::string path;  // the folder
};

struct State {
	std::mutex lock;
	bool started = false;
	std::vector<Lang> langs;
	long english = -1;
	long current = -1;
};

State& state()
{
	static State s;
	return s;
}

bool fileExists(const std::string& path)
{
	TString p(path.c_str());
	DEntry entry;
	entry.Assign(p);
	return entry.Stat() == ErrOkay && entry.IsFile();
}

// The language folders in dir, added to langs unless a language of that name is there already.
void scan(const std::string& dir, std::vector<Lang>& langs)
{
	DirIter it;
	if (it.Open(dir.c_str()) != ErrOkay)
		return;
	DEntry entry;
	while (it.Next(entry) == ErrOkay) {
		if (!entry.IsDirectory())
			continue;
		TString leaf;
		leaf = entry.Leaf();
		std::string name = leaf.String();
		const std::string ext = ".lproj";
		if (name.size() <= ext.size() ||
			strcasecmp(name.c_str() + name.size() - ext.size(), ext.c_str()) != 0)
			continue;
		name.resize(name.size() - ext.size());
		std::string path = dir + "/" + leaf.String();
		auto known = std::find_if(langs.begin(), langs.end(),
			[&](const Lang& l) { return strcasecmp(l.folder.c_str(), name.c_str()) == 0; });
		// A folder of the same name seen before wins unless it lacks the language file.
		if (known == langs.end())
			langs.push_back({name, name, path});
		else if (!fileExists(known->path + languageFile()) && fileExists(path + languageFile()))
			known->path = path;
	}
	it.Close();
}

// Creates path (and its missing parents below an existing folder); true when it exists after.
bool dirMake(const std::string& path)
{
	if (path.empty())
		return false;
	Error e = DirMngr::Exists(path.c_str());
	if (e == ErrOkay)
		return true;
	size_t slash = path.find_last_of('/');
	if (slash != std::string::npos && slash > 0 && !dirMake(path.substr(0, slash)))
		return false;
	e = DirMngr::Create(path.c_str());
	if (e == ErrOkay || e == ErrDirAlreadyExists)
		return true;
	TString err;
	TString text;
	text.Fmt("Couldn’t create directory: %s.\nPath: %s", Err::Str(err, e), path.c_str());
	Output::Alert(LanguageMngr::kTitle, text.String());
	return false;
}

}  // namespace

bool LanguageMngr::Start()
{
	State& s = state();
	std::lock_guard guard(s.lock);
	s.started = false;
	s.langs.clear();
	s.english = s.current = -1;

	TString t;
	AppPathMngr::Resources(t);
	std::string shipped = t.String();
	AppPathMngr::ResourcesUser(t);
	std::string user = t.String();

	// The shipped folder may be read-only; the per-user folder takes what the program writes,
	// so it gets an English folder when the shipped one has no English file.
	if (!fileExists(shipped + "/English.lproj" + languageFile()) && !dirMake(user + "/English.lproj"))
		return false;

	scan(user, s.langs);
	scan(shipped, s.langs);
	if (s.langs.empty()) {
		Output::Alert(kTitle, "No installed languages.");
		return false;
	}
	std::sort(
		s.langs.begin(), s.langs.end(), [](const Lang& a, const Lang& b) { return a.folder < b.folder; });
	std::vector<std::string> folders;
	for (size_t i = 0; i < s.langs.size(); ++i) {
		folders.push_back(s.langs[i].folder);
		if (strcasecmp(s.langs[i].folder.c_str(), "English") == 0)
			s.english = long(i);
	}
	if (s.english < 0) {
		Output::Alert(kTitle, "No installed languages.");
		return false;
	}
	std::vector<std::string> locales = LanguageImp::Preferred();
	s.current = LanguageImp::Choose(locales, folders);
	if (s.current < 0) {
		if (locales.empty())
			Output::Msg("Warning: can’t get system locale");
		s.current = s.english;
	}
	s.started = true;
	return true;
}

void LanguageMngr::Stop()
{
	State& s = state();
	std::lock_guard guard(s.lock);
	s.started = false;
	s.langs.clear();
	s.english = s.current = -1;
}

long LanguageMngr::Count()
{
	State& s = state();
	std::lock_guard guard(s.lock);
	return long(s.langs.size());
}

long LanguageMngr::Index(LangType type)
{
	State& s = state();
	std::lock_guard guard(s.lock);
	return type == LangTypeEnglish ? s.english : s.current;
}

long LanguageMngr::CurrentGet()
{
	return Index(LangTypeCurrent);
}

void LanguageMngr::CurrentSet(long index)
{
	State& s = state();
	std::lock_guard guard(s.lock);
	if (index >= 0 && size_t(index) < s.langs.size())
		s.current = index;
}

long LanguageMngr::Find(const char* pathOrName)
{
	if (!pathOrName)
		return -1;
	State& s = state();
	std::lock_guard guard(s.lock);
	for (size_t i = 0; i < s.langs.size(); ++i) {
		const Lang& l = s.langs[i];
		if (l.path == pathOrName || strcasecmp(l.folder.c_str(), pathOrName) == 0 ||
			strcasecmp(l.name.c_str(), pathOrName) == 0)
			return long(i);
	}
	return -1;
}

bool LanguageMngr::NameGet(TString& out, long index)
{
	State& s = state();
	std::lock_guard guard(s.lock);
	out.Erase();
	if (index < 0 || size_t(index) >= s.langs.size())
		return false;
	out.Assign(s.langs[size_t(index)].name.c_str());
	return true;
}

bool LanguageMngr::NameSet(const char* name, long index)
{
	State& s = state();
	std::lock_guard guard(s.lock);
	if (!name || !*name || index < 0 || size_t(index) >= s.langs.size())
		return false;
	s.langs[size_t(index)].name = name;
	return true;
}

bool LanguageMngr::PathGet(TString& out, long index)
{
	State& s = state();
	std::lock_guard guard(s.lock);
	out.Erase();
	if (index < 0 || size_t(index) >= s.langs.size())
		return false;
	out.Assign(s.langs[size_t(index)].path.c_str());
	return true;
}

bool LanguageMngr::PathSet(const char* path, long index)
{
	State& s = state();
	std::lock_guard guard(s.lock);
	if (!path || !*path || index < 0 || size_t(index) >= s.langs.size())
		return false;
	s.langs[size_t(index)].path = path;
	return true;
}

bool LanguageMngr::FileGet(TString& out, long index)
{
	if (!PathGet(out, index))
		return false;
	out.Append("/");
	out.Append(LanguageLoad::FileLeaf());
	out.Append(".");
	out.Append(LanguageLoad::FileExt());
	return true;
}
