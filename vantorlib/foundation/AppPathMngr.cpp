#include "AppPathMngr.h"

#include <mutex>
#include <string>

#include "AppPathMngrImp.h"
#include "TString.h"

namespace {

struct Paths {
	std::mutex lock;
	bool started = false;
	std::string executable, resources, user;
	std::string resourcesSet, userSet;
};

Paths& paths()
{
	static Paths p;
	return p;
}

void compute(Paths& p)
{
	if (p.started)
		return;
	p.executable = AppPathMngrImp::Executable();
	p.resources = AppPathMngrImp::Resources(p.executable);
	p.user = AppPathMngrImp::ResourcesUser();
	p.started = true;
}

std::string get(std::string Paths::*field, std::string Paths::*override = nullptr)
{
	Paths& p = paths();
	std::lock_guard guard(p.lock);
	if (override && !(p.*override).empty())
		return p.*override;
	compute(p);
	return p.*field;
}

void assign(TString& out, const std::string& s)
{
	out.Erase();
	out.Assign(s.c_str());
}

}  // namespace

bool AppPathMngr::Start()
{
	Paths& p = paths();
	std::lock_guard guard(p.lock);
	p.started = false;
	compute(p);
	return !p.executable.empty();
}

void AppPathMngr::Stop()
{
	Paths& p = paths();
	std::lock_guard guard(p.lock);
	p.started = false;
}

void AppPathMngr::FullPath(TString& out)
{
	assign(out, get(&Paths::executable));
}

void AppPathMngr::Executable(TString& out)
{
	assign(out, get(&Paths::executable));
}

void AppPathMngr::LeafName(TString& out)
{
	std::string exe = get(&Paths::executable);
	size_t slash = exe.find_last_of('/');
	assign(out, slash == std::string::npos ? exe : exe.substr(slash + 1));
}

void AppPathMngr::ParentDirectory(TString& out)
{
	std::string exe = get(&Paths::executable);
	size_t slash = exe.find_last_of('/');
	assign(out,
		slash == std::string::npos ? std::string()
			: slash == 0           ? std::string("/")
								   : exe.substr(0, slash));
}

void AppPathMngr::Resources(TString& out)
{
	assign(out, get(&Paths::resources, &Paths::resourcesSet));
}

void AppPathMngr::ResourcesEnglish(TString& out)
{
	assign(out, get(&Paths::resources, &Paths::resourcesSet) + "/English.lproj");
}

void AppPathMngr::ResourcesUser(TString& out)
{
	assign(out, get(&Paths::user, &Paths::userSet));
}

void AppPathMngr::ResourcesUserEnglish(TString& out)
{
	assign(out, get(&Paths::user, &Paths::userSet) + "/English.lproj");
}

void AppPathMngr::ResourcesSet(const char* path)
{
	Paths& p = paths();
	std::lock_guard guard(p.lock);
	p.resourcesSet = path ? path : "";
}

void AppPathMngr::ResourcesUserSet(const char* path)
{
	Paths& p = paths();
	std::lock_guard guard(p.lock);
	p.userSet = path ? path : "";
}

void AppPathMngr::SystemVersion(TString& out)
{
	out.Assign(AppPathMngrImp::SystemVersion());
}
