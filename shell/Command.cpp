#include "Command.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "Err.h"
#include "TString.h"
#include "TimeFormat.h"

namespace {

std::map<std::string, Command::Info>& registry()
{
	static std::map<std::string, Command::Info> commands;
	return commands;
}

}  // namespace

Command::Registrar::Registrar(const Info& info)
{
	registry()[info.name] = info;
}

const Command::Info* Command::Find(const std::string& name)
{
	auto it = registry().find(name);
	return it == registry().end() ? nullptr : &it->second;
}

std::vector<const Command::Info*> Command::All()
{
	std::vector<const Info*> all;
	for (auto& entry : registry())
		all.push_back(&entry.second);
	return all;
}

int Command::Usage(const Info& info, const std::string& message)
{
	if (!message.empty())
		std::fprintf(stderr, "quillfern %s: %s\n", info.name, message.c_str());
	std::fprintf(stderr, "usage: quillfern [--root DIR] %s %s\n", info.name, info.usage);
	return kExitUsage;
}

int Command::Fail(Error err)
{
	return Fail(ErrorText(err));
}

int Command::Fail(const std::string& message)
{
	std::fprintf(stderr, "quillfern: %s\n", message.c_str());
	return kExitFailed;
}

void Command::Warn(const std::string& message)
{
	std::fprintf(stderr, "quillfern: %s\n", message.c_str());
}

std::string Command::ErrorText(Error err)
{
	TString text;
	Err::Str(text, err);
	return text.String();
}

std::string Command::DurationText(long long usecs)
{
	TString text;
	TimeFormat::Usecs(text, usecs, usecs % 1000000 != 0, false);
	text.Trim();
	std::string out = text.String();
	// The fraction loses its trailing zeros, and its point when nothing is left of it.
	size_t dot = out.find('.');
	if (dot != std::string::npos) {
		size_t end = out.find_first_not_of("0123456789", dot + 1);
		if (end == std::string::npos)
			end = out.size();
		size_t last = end;
		while (last > dot + 1 && out[last - 1] == '0')
			--last;
		if (last == dot + 1)
			last = dot;
		out.erase(last, end - last);
	}
	return out;
}
