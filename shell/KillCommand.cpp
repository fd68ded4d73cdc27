// quillfern kill MDIR MESSAGE-ID, quillfern killfile list | remove AUTHOR
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "Command.h"
#include "Killfile.h"
#include "MdirName.h"

namespace {

const Command::Info& killInfo()
{
	return *Command::Find("kill");
}

const Command::Info& killfileInfo()
{
	return *Command::Find("killfile");
}

// Values may hold TAB, CR or LF: shown escaped, so each record stays one line of fixed fields.
std::string field(const TString& text)
{
	std::string out;
	for (long i = 0; i < text.ByteLength(); i++) {
		char c = text.ByteAt(i);
		out += c == '\t' ? std::string("\\t")
			: c == '\n'  ? std::string("\\n")
			: c == '\r'  ? std::string("\\r")
						 : std::string(1, c);
	}
	return out;
}

std::string date(long long value)
{
	std::time_t t = static_cast<std::time_t>(value / 1000000);
	std::tm tm{};
	char buf[32] = "";
	if (localtime_r(&t, &tm))
		std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
	return buf;
}

int runKill(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(killInfo(), "kill takes MDIR and one MESSAGE-ID");
	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return Command::Fail(error);
	std::vector<HeadersNodePtr> nodes;
	if (!MdirName::Lookup(mdir, {args[1]}, nodes, error))
		return Command::Fail(error);
	const HeadersNode& node = *nodes.front();
	if (!node.fAuthor || !node.fEmail || node.fAuthor->Empty() || node.fEmail->Empty() ||
		*node.fEmail == "<None>")
		return Command::Fail("the message names no author address to put in the killfile");
	Error e = Killfile::Plonk(*node.fAuthor, *node.fEmail);
	if (e == ErrFileInvalidData)
		return Command::Fail("the author's name or address cannot be put in the killfile");
	if (e != ErrOkay)
		return Command::Fail(e);
	std::printf("%s\t%s\n", field(*node.fAuthor).c_str(), field(*node.fEmail).c_str());
	std::fflush(stdout);  // NOLINT(cert-err33-c): main() checks stdout at exit
	return Command::kExitOkay;
}

int runKillfile(const Args& args)
{
	if (args.Count() < 1)
		return Command::Usage(killfileInfo(), "killfile takes list or remove AUTHOR");
	if (args[0] == "list") {
		if (args.Count() != 1)
			return Command::Usage(killfileInfo(), "killfile list takes nothing more");
		for (const Bozo& bozo : Killfile::List()) {
			std::printf("%s\t%s\t%s\t%s\n", field(bozo.Author()).c_str(), field(bozo.Email()).c_str(),
				date(bozo.DateGet()).c_str(), date(bozo.DateGet() + bozo.LengthGet()).c_str());
		}
		std::fflush(stdout);  // NOLINT(cert-err33-c): main() checks stdout at exit
		return Command::kExitOkay;
	}
	if (args[0] == "remove") {
		if (args.Count() != 2)
			return Command::Usage(killfileInfo(), "killfile remove takes one AUTHOR");
		long count = 0;
		Error e = Killfile::Remove(TString(args[1].c_str()), count);
		if (e != ErrOkay)
			return Command::Fail(e);
		if (count == 0)
			return Command::Fail("not in the killfile: " + args[1]);
		return Command::kExitOkay;
	}
	return Command::Usage(killfileInfo(), "killfile takes list or remove AUTHOR");
}

Command::Registrar sKill({"kill", "MDIR MESSAGE-ID", "put a message's author in the killfile",
	"The author's messages are left out of unread lists and counts for 180 days.\n"
	"Prints the AUTHOR and E-MAIL put in the killfile.",
	{}, true, runKill});

Command::Registrar sKillfile({"killfile", "list | remove AUTHOR", "show or change the killfile",
	"list prints AUTHOR, E-MAIL, the date the entry was made and the date it expires.\n"
	"remove takes the author's name (or, when no entry has that name, the address) out.",
	{}, true, runKillfile});

}  // namespace
