// quillfern post ACCOUNT --newsgroups GROUP[,GROUP...] --subject TEXT [--body FILE|- | --edit] [--draft]
// quillfern followup MDIR MESSAGE-ID [--body FILE|- | --edit] [--draft]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "App.h"
#include "Command.h"
#include "MdirName.h"
#include "MesgWindCntl.h"
#include "PathMngr.h"
#include "StoragePath.h"

namespace {

std::string bytes(const TString& t)
{
	return std::string(t.String(), static_cast<size_t>(t.ByteLength()));
}

bool readAll(std::istream& in, std::string& out)
{
	std::ostringstream buf;
	buf << in.rdbuf();
	out = buf.str();
	return !in.bad();
}

// A new file for text that must not be lost: "$TMPDIR/quillfern-XXXXXX.txt".
std::string keepFile(const std::string& content)
{
	const char* dir = std::getenv("TMPDIR");
	std::string path = std::string(dir && *dir ? dir : "/tmp") + "/quillfern-XXXXXX.txt";
	std::vector<char> name(path.begin(), path.end());
	name.push_back(0);
	int fd = mkstemps(name.data(), 4);
	if (fd < 0)
		return std::string();
	bool ok = true;
	size_t done = 0;
	while (ok && done < content.size()) {
		ssize_t n = write(fd, content.data() + done, content.size() - done);
		ok = n > 0;
		if (ok)
			done += static_cast<size_t>(n);
	}
	ok = close(fd) == 0 && ok;
	if (!ok) {
		unlink(name.data());
		return std::string();
	}
	return name.data();
}

// Runs $VISUAL or $EDITOR on path; false with a message when there is none or it failed.
bool runEditor(const std::string& path, std::string& error)
{
	const char* editor = std::getenv("VISUAL");
	if (!editor || !*editor)
		editor = std::getenv("EDITOR");
	if (!editor || !*editor) {
		error = "--edit needs an editor: set VISUAL or EDITOR";
		return false;
	}
	pid_t pid = fork();
	if (pid < 0) {
		error = "cannot start the editor";
		return false;
	}
	if (pid == 0) {
		// The editor talks to the terminal; the command's own output stays apart.
		int tty = open("/dev/tty", O_RDWR);
		if (tty >= 0) {
			dup2(tty, 0);
			dup2(tty, 1);
			close(tty);
		} else {
			dup2(2, 1);
		}
		std::string script = std::string(editor) + " \"$1\"";
		execl("/bin/sh", "sh", "-c", script.c_str(), "sh", path.c_str(), static_cast<char*>(nullptr));
		_exit(127);
	}
	int status = 0;
	while (waitpid(pid, &status, 0) < 0)
		;
	if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
		error = std::string("the editor failed: ") + editor;
		return false;
	}
	return true;
}

enum class Source { None, File, Stdin, Edit };

struct BodyInput {
	Source source = Source::None;
	std::string file;  // the file given to --body
	std::string text;
};

int usageFor(const char* name, const std::string& message)
{
	return Command::Usage(*Command::Find(name), message);
}

bool sourceParse(const char* name, const Args& args, BodyInput& in, int& status)
{
	if (args.Has("--body") && args.Has("--edit")) {
		status = usageFor(name, "give --body or --edit, not both");
		return false;
	}
	if (args.Has("--edit"))
		in.source = Source::Edit;
	else if (args.Has("--body")) {
		in.file = args.Value("--body");
		in.source = in.file == "-" ? Source::Stdin : Source::File;
	}
	return true;
}

// Reads the text of --body; false with the exit status on failure.
bool bodyRead(BodyInput& in, int& status)
{
	if (in.source == Source::Stdin) {
		if (!readAll(std::cin, in.text)) {
			status = Command::Fail("cannot read the text from standard input");
			return false;
		}
	} else if (in.source == Source::File) {
		std::ifstream f(in.file, std::ios::binary);
		if (!f || !readAll(f, in.text)) {
			status = Command::Fail("cannot read " + in.file);
			return false;
		}
	}
	return true;
}

// A refusal that keeps the text: it stays in the file given, or is written to a new one.
int refuse(const std::string& why, const BodyInput& in, const std::string& editFile)
{
	std::string kept;
	if (in.source == Source::File)
		kept = in.file;
	else if (!editFile.empty())
		kept = editFile;
	else if (in.source == Source::Stdin && !in.text.empty())
		kept = keepFile(in.text);
	// An alert's title and body are separated by a tab; on one line they read as "title: body".
	std::string line = why;
	for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t'))
		line.replace(tab, 1, ": ");
	int status = Command::Fail(line);
	if (!kept.empty())
		Command::Warn("the text is kept in " + kept);
	return status;
}

// Opens the prepared text in the editor and takes what comes back as the whole body. An
// unchanged or empty text cancels.
bool editBody(MesgWindCntl& compose, std::string& editFile, int& status)
{
	// An editor expects a text whose last line ends.
	std::string prepared = compose.Body();
	if (!prepared.empty() && prepared.back() != '\n')
		prepared += '\n';
	editFile = keepFile(prepared);
	if (editFile.empty()) {
		status = Command::Fail("cannot write the text to edit");
		return false;
	}
	std::string error;
	if (!runEditor(editFile, error)) {
		Command::Warn("the text is kept in " + editFile);
		status = Command::Fail(error);
		return false;
	}
	std::ifstream f(editFile, std::ios::binary);
	std::string edited;
	if (!f || !readAll(f, edited)) {
		Command::Warn("the text is kept in " + editFile);
		status = Command::Fail("cannot read " + editFile);
		return false;
	}
	bool blank = edited.find_first_not_of(" \t\r\n") == std::string::npos;
	if (edited == prepared || blank) {
		unlink(editFile.c_str());
		editFile.clear();
		status = Command::Fail("cancelled: the text was empty or not changed");
		return false;
	}
	compose.BodySet(edited);
	return true;
}

int finish(MesgWindCntl& compose, bool draft, const BodyInput& in, std::string& editFile)
{
	Error e = compose.saveFile(!draft);
	if (e != ErrOkay)
		return refuse(
			compose.FaultText().empty() ? Command::ErrorText(e) : compose.FaultText(), in, editFile);
	App::RunUntilIdle();
	if (!editFile.empty())
		unlink(editFile.c_str());
	std::printf("%s\t%s\n", bytes(compose.SavedID()).c_str(), draft ? "Drafts" : "Outbox");
	std::fflush(stdout);  // NOLINT(cert-err33-c): main() checks stdout at exit
	return Command::kExitOkay;
}

int runPost(const Args& args)
{
	const char* name = "post";
	if (args.Count() != 1)
		return usageFor(name, "post takes one ACCOUNT");
	if (!args.Has("--newsgroups") || !args.Has("--subject"))
		return usageFor(name, "post needs --newsgroups and --subject");
	BodyInput in;
	int status = 0;
	if (!sourceParse(name, args, in, status) || !bodyRead(in, status))
		return status;
	MesgWindCntl compose{TString(args[0].c_str())};
	compose.NewsgroupsSet(TString(args.Value("--newsgroups").c_str()));
	compose.SubjectSet(TString(args.Value("--subject").c_str()));
	std::string editFile;
	TString why;
	// What can be refused before any text is written is refused first.
	if (!compose.valid(MesgWindCntl::FieldNewsgroups, &why) ||
		!compose.valid(MesgWindCntl::FieldSubject, &why))
		return refuse(bytes(why), in, editFile);
	if (!compose.ready())
		return refuse(compose.FaultText(), in, editFile);
	compose.BodySet(in.text);
	compose.loadSignature();
	if (in.source == Source::Edit && !editBody(compose, editFile, status))
		return status;
	return finish(compose, args.Has("--draft"), in, editFile);
}

int runFollowup(const Args& args)
{
	const char* name = "followup";
	if (args.Count() != 2)
		return usageFor(name, "followup takes MDIR and one MESSAGE-ID");
	BodyInput in;
	int status = 0;
	if (!sourceParse(name, args, in, status) || !bodyRead(in, status))
		return status;
	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return refuse(error, in, "");
	std::vector<HeadersNodePtr> nodes;
	if (!MdirName::Lookup(mdir, {args[1]}, nodes, error))
		return refuse(error, in, "");
	// The account: that of the newsgroup, or the one a stored message was posted from.
	std::string account;
	TString accounts;
	StoragePath::PathAccounts(accounts);
	if (args[0].find('/') != std::string::npos && args[0].rfind("Saved/", 0) != 0 &&
		mdir.Compare(accounts, accounts.ByteLength()) == 0)
		account = args[0].substr(0, args[0].find('/'));
	MesgWindCntl compose{TString(account.c_str())};
	Error e = compose.loadReply(mdir, *nodes.front()->fFilename);
	if (e != ErrOkay)
		return refuse(Command::ErrorText(e), in, "");
	if (account.empty())
		return refuse("follow-ups are written to articles of a newsgroup (ACCOUNT/GROUP)", in, "");
	std::string editFile;
	TString why;
	if (!compose.valid(MesgWindCntl::FieldNewsgroups, &why) ||
		!compose.valid(MesgWindCntl::FieldSubject, &why))
		return refuse(bytes(why), in, editFile);
	if (!compose.ready())
		return refuse(compose.FaultText(), in, editFile);
	if (!in.text.empty())
		compose.BodyAppend(in.text);
	compose.loadSignature();
	if (in.source == Source::Edit && !editBody(compose, editFile, status))
		return status;
	return finish(compose, args.Has("--draft"), in, editFile);
}

int runEdit(const Args& args)
{
	const char* name = "edit";
	if (args.Count() != 2)
		return usageFor(name, "edit takes MDIR (Drafts or Outbox) and one MESSAGE-ID");
	BodyInput in;
	int status = 0;
	if (!sourceParse(name, args, in, status) || !bodyRead(in, status))
		return status;
	TString mdir, drafts, outbox;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return refuse(error, in, "");
	StoragePath::PathDrafts(drafts);
	StoragePath::PathOutbox(outbox);
	if (!(mdir == drafts) && !(mdir == outbox))
		return refuse("only messages in Drafts or the Outbox are edited", in, "");
	std::vector<HeadersNodePtr> nodes;
	if (!MdirName::Lookup(mdir, {args[1]}, nodes, error))
		return refuse(error, in, "");
	MesgWindCntl compose{TString()};
	Error e = compose.loadEdit(mdir, *nodes.front()->fFilename);
	if (e != ErrOkay)
		return refuse(Command::ErrorText(e), in, "");
	if (in.source == Source::File || in.source == Source::Stdin)
		compose.BodySet(in.text);
	else
		compose.BodySet(compose.Body());  // filing it elsewhere is the change
	std::string editFile;
	if (!compose.ready())
		return refuse(compose.FaultText(), in, editFile);
	if (in.source == Source::Edit && !editBody(compose, editFile, status))
		return status;
	return finish(compose, args.Has("--draft"), in, editFile);
}

Command::Registrar sEdit({"edit", "MDIR MESSAGE-ID [--body FILE|- | --edit] [--draft]",
	"edit a message waiting in Drafts or the Outbox, and file it in the Outbox (or Drafts)",
	"MDIR is Drafts or Outbox. The new text replaces the body; without one the message is only\n"
	"moved. The message gets a new MESSAGE-ID, which is printed with the folder.",
	{{"--body", true}, {"--edit", false}, {"--draft", false}}, true, runEdit});

Command::Registrar sPost({"post",
	"ACCOUNT --newsgroups GROUP[,GROUP...] --subject TEXT [--body FILE|- | --edit] [--draft]",
	"write a new article to the Outbox (or Drafts)",
	"The text comes from FILE, from standard input (-), or from $VISUAL or $EDITOR with --edit;\n"
	"the identity's signature follows it. fetch or send posts the Outbox.\n"
	"Prints the MESSAGE-ID and the folder it was filed in.",
	{{"--newsgroups", true}, {"--subject", true}, {"--body", true}, {"--edit", false}, {"--draft", false}},
	true, runPost});

Command::Registrar sFollowup({"followup", "MDIR MESSAGE-ID [--body FILE|- | --edit] [--draft]",
	"write a follow-up to an article to the Outbox (or Drafts)",
	"Subject, references, attribution and quoted text come from the article; the text read is\n"
	"placed after the quoted text, then the identity's reply signature.\n"
	"Prints the MESSAGE-ID and the folder it was filed in.",
	{{"--body", true}, {"--edit", false}, {"--draft", false}}, true, runFollowup});

}  // namespace
