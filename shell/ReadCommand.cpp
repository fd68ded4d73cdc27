// quillfern read MDIR MESSAGE-ID [--raw | --html | --headers]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "App.h"
#include "Cache.h"
#include "Command.h"
#include "EventTrap.h"
#include "MdirList.h"
#include "MdirName.h"
#include "MessageBody.h"
#include "MessageHead.h"
#include "MessageStore.h"
#include "NetName.h"
#include "NotifyList.h"
#include "StoragePath.h"
#include "TermText.h"

namespace {

const char* const kName = "read";

// Rendered text is written in blocks of whole lines of about this size.
constexpr size_t kBlock = 65536;

const Command::Info& info()
{
	return *Command::Find(kName);
}

// Everything shown goes through here. A failed write stays on the stream, and main() checks it at
// exit, so that a full disk or a closed pipe fails the run.
void put(const std::string& bytes)
{
	std::fwrite(bytes.data(), 1, bytes.size(), stdout);  // NOLINT(cert-err33-c): checked at exit
}

// Where the rendered text goes: standard output, made safe for a terminal, in colour when
// standard output is a terminal and NO_COLOR is not set.
struct Printer {
	bool colour = false;
	bool htmlSource = false;  // --html: HTML is shown as its source
	std::string text;  // plain text not yet written
	std::string html;  // HTML collected to be turned into text at the end
	std::string held;  // the last chunk, held back until the next: an error text comes last
	RenderText heldKind = RenderTextDone;
	bool wrote = false;
	bool lastLf = true;

	void write(std::string_view block)
	{
		if (block.empty())
			return;
		std::string out;
		if (colour)
			TermText::Colour(block, out);
		else
			TermText::Sanitize(block, out);
		put(out);
		wrote = true;
		lastLf = block.back() == '\n';
	}
	void add(RenderText kind, const std::string& chunk)
	{
		if (kind == RenderTextHtml && !htmlSource) {
			html += chunk;
			return;
		}
		text += chunk;
		if (text.size() >= kBlock) {
			size_t lf = text.rfind('\n');
			size_t n = lf == std::string::npos ? text.size() : lf + 1;
			write(std::string_view(text).substr(0, n));
			text.erase(0, n);
		}
	}
	void commit()
	{
		if (heldKind != RenderTextDone)
			add(heldKind, held);
		held.clear();
		heldKind = RenderTextDone;
	}
	void finish()
	{
		commit();
		if (!html.empty()) {
			TermText::FromHtml(html, text);
			html.clear();
		}
		write(text);
		text.clear();
		if (wrote && !lastLf)
			std::fputc('\n', stdout);
		std::fflush(stdout);  // NOLINT(cert-err33-c): main() checks stdout at exit
	}
};

bool received(void* context, RenderText kind, const TString& chunk)
{
	Printer& p = *static_cast<Printer*>(context);
	p.commit();
	if (kind != RenderTextDone) {
		p.held.assign(chunk.String(), size_t(chunk.ByteLength()));
		p.heldKind = kind;
	}
	return true;
}

// Bytes of the stored file as they are; made safe when they go to a terminal. With headOnly,
// only the header block, up to the empty line.
bool copyFile(const TString& path, bool headOnly, bool terminal)
{
	std::ifstream in(path.String(), std::ios::binary);
	if (!in)
		return false;
	std::string block(kBlock, '\0');
	std::string line;
	bool lastLf = true;
	while (in) {
		if (headOnly) {
			if (!std::getline(in, line))
				break;
			if (!line.empty() && line.back() == '\r')
				line.pop_back();
			if (line.find_first_not_of(" \t") == std::string::npos)
				break;
			line += '\n';
		} else {
			in.read(block.data(), std::streamsize(block.size()));
			line.assign(block.data(), size_t(in.gcount()));
		}
		if (line.empty())
			continue;
		if (terminal) {
			std::string safe;
			TermText::Sanitize(line, safe);
			put(safe);
		} else {
			put(line);
		}
		lastLf = line.back() == '\n';
	}
	if (terminal && !lastLf)
		std::fputc('\n', stdout);
	std::fflush(stdout);  // NOLINT(cert-err33-c): main() checks stdout at exit
	return !in.bad();
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
	if (int(args.Has("--raw")) + int(args.Has("--headers")) + int(args.Has("--html")) > 1)
		return Command::Usage(info(), "--raw, --html and --headers exclude each other");
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

	bool terminal = isatty(STDOUT_FILENO) == 1;
	if (args.Has("--raw") || args.Has("--headers")) {
		if (!copyFile(path, args.Has("--headers"), terminal))
			return Command::Fail("could not read " + std::string(path.String()));
	} else {
		const char* noColour = std::getenv("NO_COLOR");
		Printer printer;
		printer.colour = terminal && !(noColour && *noColour);
		printer.htmlSource = args.Has("--html");
		MessageBody body;
		e = body.Render(path, args.Has("--html") ? RenderModeHtml : RenderModeText, received, &printer);
		if (e != ErrOkay) {
			// The last chunk is the text telling why; everything before it is shown.
			std::string why = printer.held;
			printer.heldKind = RenderTextDone;
			printer.finish();
			while (!why.empty() && why.front() == '\n')
				why.erase(0, 1);
			std::string safe;
			TermText::Sanitize(why, safe);
			return Command::Fail(safe);
		}
		printer.finish();
		if (!printer.wrote)
			Command::Warn("the message has no text to show, only attachments (see decode)");
	}

	if (node->unreadGet()) {
		EventTrap modified(NotifyList::MesgMod());
		markRead(args[0], mdir, *node);
		App::RunUntilIdle();
		if (!modified.Seen(1, node->fMsgID))
			Command::Warn("the message could not be marked read");
	}
	return Command::kExitOkay;
}

Command::Registrar sRead(
	{kName, "MDIR MESSAGE-ID [--raw | --html | --headers]", "show a message and mark it read",
		"Prints the body as text in UTF-8: the text part, else the HTML part as text, else the plain body\n"
		"with binary blocks left out. --html shows the HTML part's source when there is one, --raw the\n"
		"stored article, --headers its header block. On a terminal quoted lines are coloured by depth and\n"
		"links underlined (not when NO_COLOR is set); control characters are always shown visibly.",
		{{"--raw", false}, {"--html", false}, {"--headers", false}}, true, run});

}  // namespace
