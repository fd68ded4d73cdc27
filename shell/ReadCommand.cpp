// quillfern read MDIR MESSAGE-ID [--raw | --headers]
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "App.h"
#include "CSet.h"
#include "Cache.h"
#include "Command.h"
#include "EventTrap.h"
#include "MdirList.h"
#include "MdirName.h"
#include "MessageHead.h"
#include "MessageStore.h"
#include "NetName.h"
#include "NotifyList.h"
#include "StoragePath.h"

namespace {

const char* const kName = "read";

const Command::Info& info()
{
	return *Command::Find(kName);
}

// Where the header block ends and the body begins; the whole text when there is no body.
void split(const std::string& text, size_t& headEnd, size_t& bodyStart)
{
	size_t lf = text.find("\n\n");
	size_t crlf = text.find("\r\n\r\n");
	if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) {
		headEnd = crlf + 2;
		bodyStart = crlf + 4;
	} else if (lf != std::string::npos) {
		headEnd = lf + 1;
		bodyStart = lf + 2;
	} else {
		headEnd = bodyStart = text.size();
	}
}

void write(const char* data, size_t length)
{
	if (length > 0)
		(void)std::fwrite(data, 1, length, stdout);  // a failure fails the run when it ends
}

// The body in UTF-8, converted from the message's charset (or the one forced for it).
std::string bodyText(const std::string& body, const MessageHead& head)
{
	Charset from = head.CharsetForceGet();
	if (from == kCharsetNone || from == kCharsetUTF8 || body.empty())
		return body;
	TString in, out;
	in.CharsetSet(kCharsetISO8859_1);
	in.AllowInvalidSet(true);
	in.AssignByte(body.data(), static_cast<long>(body.size()));
	in.CharsetSet(from);
	CSet::Convert(from, in, kCharsetUTF8, out);
	return std::string(out.String(), static_cast<size_t>(out.ByteLength()));
}

// Marks the message read as the mark command does: a newsgroup's article in every subscribed
// newsgroup it was posted to.
void markRead(const std::string& name, const TString& mdir, const HeadersNode& node)
{
	const TString& leaf = *node.fFilename;
	TString groups;
	StoragePath::PathAccounts(groups);
	if (mdir.Compare(groups, groups.ByteLength()) == 0 && name.find('/') != std::string::npos &&
		name.rfind("Saved/", 0) != 0) {
		std::string account = name.substr(0, name.find('/'));
		std::string group = name.substr(name.find('/') + 1);
		MessageStore::MesgReadChangeGroup(TString(account.c_str()), TString(group.c_str()), leaf, node.fMsgID,
			node.fNewsgroupsTo.value_or(TString()), false);
	} else {
		MessageStore::MesgReadChangeFolder(mdir, leaf, false);
	}
}

int run(const Args& args)
{
	if (args.Count() != 2)
		return Command::Usage(info(), "read takes MDIR and one MESSAGE-ID");
	if (args.Has("--raw") && args.Has("--headers"))
		return Command::Usage(info(), "--raw and --headers exclude each other");
	if (!NetName::MsgIdValid(TString(args[1].c_str())))
		return Command::Usage(info(), "not a message-id: " + args[1]);

	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return Command::Fail(error);
	NodeList byId, attach;
	long unread = 0;
	if (!MdirList::Read(mdir, true, byId, attach, unread, error))
		return Command::Fail(error);
	HeadersNodePtr node = MessageList::MsgIdFind(byId, TString(args[1].c_str()));
	if (!node || !node->fFilename)
		return Command::Fail("no such message: " + args[1]);

	MessageHead head;
	TString path;
	Error e = Cache::MesgHeadRead(mdir, *node, head, path);
	if (e != ErrOkay)
		return Command::Fail(e);
	std::ifstream in(path.String(), std::ios::binary);
	std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
	if (!in.good() && !in.eof())
		return Command::Fail("could not read " + std::string(path.String()));

	size_t headEnd = 0, bodyStart = 0;
	split(text, headEnd, bodyStart);
	if (args.Has("--raw")) {
		write(text.data(), text.size());
	} else if (args.Has("--headers")) {
		write(text.data(), headEnd);
	} else {
		std::string body = bodyText(text.substr(bodyStart), head);
		write(body.data(), body.size());
		if (!body.empty() && body.back() != '\n')
			write("\n", 1);
	}
	// A failed write stays marked on stdout and fails the run when it ends.
	(void)std::fflush(stdout);

	if (node->unreadGet()) {
		EventTrap modified(NotifyList::MesgMod());
		markRead(args[0], mdir, *node);
		App::RunUntilIdle();
		if (!modified.Seen(1, node->fMsgID))
			Command::Warn("the message could not be marked read");
	}
	return Command::kExitOkay;
}

Command::Registrar sRead({kName, "MDIR MESSAGE-ID [--raw | --headers]", "show a message and mark it read",
	"Prints the body in UTF-8; --raw prints the stored article, --headers its header block.",
	{{"--raw", false}, {"--headers", false}}, true, run});

}  // namespace
