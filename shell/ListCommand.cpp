// quillfern list MDIR [--threaded] [--sort COLUMN[:desc]] [--unread]
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>

#include "App.h"
#include "Command.h"
#include "MdirList.h"
#include "MdirName.h"
#include "MessageData.h"

namespace {

const char* const kName = "list";

const Command::Info& info()
{
	return *Command::Find(kName);
}

const std::pair<const char*, EFSortInfo::Compare> kColumns[] = {
	{"date", HeadersNode::compareDate},
	{"author", HeadersNode::compareAuthor},
	{"subject", HeadersNode::compareSubject},
	{"email", HeadersNode::compareEmail},
	{"lines", HeadersNode::compareLines},
	{"message-id", HeadersNode::compareMsgID},
	{"thread", HeadersNode::compareThreadID},
	{"newsgroups", HeadersNode::compareNewsgroupsTo},
	{"agent", HeadersNode::compareUserAgent},
	{"file", HeadersNode::compareFilename},
	{"charset", HeadersNode::compareCharset},
	{"attachment", HeadersNode::compareAttachView},
	{"parts", HeadersNode::compareAttach},
	{"killfile", HeadersNode::comparePlonk},
};

bool sortParse(const std::string& text, EFSortInfo& sort)
{
	std::string column = text;
	sort.ascending = true;
	size_t colon = text.find(':');
	if (colon != std::string::npos) {
		std::string dir = text.substr(colon + 1);
		if (dir != "desc" && dir != "asc")
			return false;
		sort.ascending = dir == "asc";
		column = text.substr(0, colon);
	}
	for (const auto& [name, compare] : kColumns)
		if (column == name) {
			sort.selector = compare;
			return true;
		}
	return false;
}

// Values from a message may hold TAB, CR or LF: shown as spaces, so each record stays one line.
std::string field(const HeadersNode::Text& text)
{
	std::string out =
		text ? std::string(text->String(), static_cast<size_t>(text->ByteLength())) : std::string();
	for (char& c : out)
		if (c == '\t' || c == '\r' || c == '\n')
			c = ' ';
	return out;
}

std::string date(int64_t value)
{
	if (value == 0)
		return std::string();
	std::time_t t = static_cast<std::time_t>(value / 1000000);
	std::tm tm{};
	char buf[32] = "";
	if (localtime_r(&t, &tm))
		std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
	return buf;
}

void print(HeadersNode& node, int depth, bool threaded, const EFSortInfo& sort)
{
	TString state;
	MessageData::ToString(node.fData, state);
	std::string letters(state.String(), std::min<size_t>(5, static_cast<size_t>(state.ByteLength())));
	if (threaded)
		std::printf("%d\t", depth);
	std::printf("%s\t%s\t%s\t%s\t%s\n", field(node.fMsgID).c_str(), letters.c_str(),
		date(node.fDateTime).c_str(), field(node.fAuthor).c_str(), field(node.fSubject).c_str());
	if (!threaded)
		return;
	node.childSort(sort);
	for (long i = 0; i < node.childCount(); i++)
		print(*node.childAtIndex(i), depth + 1, threaded, sort);
}

int run(const Args& args)
{
	if (args.Count() != 1)
		return Command::Usage(info(), "list takes one MDIR");
	EFSortInfo sort{HeadersNode::compareDate, true};
	if (args.Has("--sort") && !sortParse(args.Value("--sort"), sort))
		return Command::Usage(info(), "unknown sort column: " + args.Value("--sort"));
	bool threaded = args.Has("--threaded");

	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return Command::Fail(error);
	NodeList byId, attach, display;
	long unread = 0;
	if (!MdirList::Read(mdir, !args.Has("--unread"), byId, attach, unread, error, sort, threaded, &display))
		return Command::Fail(error);
	for (const HeadersNodePtr& node : display)
		print(*node, 0, threaded, sort);
	std::fflush(stdout);
	return Command::kExitOkay;
}

Command::Registrar sList(
	{kName, "MDIR [--threaded] [--sort COLUMN[:desc]] [--unread]", "list the messages of a message directory",
		"Prints MESSAGE-ID, STATE, DATE, AUTHOR and SUBJECT; with --threaded a first field gives the depth.\n"
		"COLUMN is date (the default), author, subject, email, lines, message-id, thread, newsgroups,\n"
		"agent, file, charset, attachment, parts or killfile.",
		{{"--threaded", false}, {"--sort", true}, {"--unread", false}}, true, run});

}  // namespace
