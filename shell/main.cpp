// The quillfern command: quillfern [--root DIR] COMMAND [ARGUMENTS...]
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "App.h"
#include "Command.h"

namespace {

void usage(FILE* out)
{
	std::fprintf(out,
		"usage: quillfern [--root DIR] COMMAND [ARGUMENTS...]\n"
		"       quillfern --help | --version\n"
		"       quillfern help COMMAND\n\n"
		"Commands:\n");
	for (const Command::Info* info : Command::All())
		std::fprintf(out, "  %-12s %s\n", info->name, info->summary);
	std::fprintf(out, "\n--root DIR (or QUILLFERN_ROOT) uses DIR as the data root for this run only.\n");
}

int help(const std::vector<std::string>& words)
{
	if (words.empty()) {
		usage(stdout);
		return Command::kExitOkay;
	}
	const Command::Info* info = Command::Find(words[0]);
	if (!info) {
		std::fprintf(stderr, "quillfern: unknown command %s\n", words[0].c_str());
		return Command::kExitUsage;
	}
	std::printf("usage: quillfern [--root DIR] %s %s\n\n%s\n", info->name, info->usage, info->summary);
	if (info->help && *info->help)
		std::printf("\n%s\n", info->help);
	return Command::kExitOkay;
}

// Results that could not all be written (a full disk, a closed pipe) fail the run rather than
// leave a cut-off list behind an exit status of success.
int finish(int status)
{
	if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
		char text[128];
		std::fprintf(
			stderr, "quillfern: cannot write the results: %s\n", strerror_r(errno, text, sizeof text));
		return Command::kExitFailed;
	}
	return status;
}

}  // namespace

int main(int argc, char** argv)
{
	std::string root;
	if (const char* env = std::getenv("QUILLFERN_ROOT"))
		root = env;

	int i = 1;
	for (; i < argc; ++i) {
		std::string word = argv[i];
		if (word == "--help" || word == "-h") {
			usage(stdout);
			return finish(Command::kExitOkay);
		}
		if (word == "--version") {
			std::printf("quillfern %s\n", QUILLFERN_VERSION);
			return finish(Command::kExitOkay);
		}
		if (word == "--root") {
			if (i + 1 >= argc || !*argv[i + 1]) {
				std::fprintf(stderr, "quillfern: --root needs a folder\n");
				return Command::kExitUsage;
			}
			root = argv[++i];
		} else if (word.compare(0, 7, "--root=") == 0) {
			root = word.substr(7);
		} else if (word.size() > 1 && word[0] == '-') {
			std::fprintf(stderr, "quillfern: unknown option %s\n", word.c_str());
			usage(stderr);
			return Command::kExitUsage;
		} else {
			break;
		}
	}
	if (i >= argc) {
		usage(stderr);
		return Command::kExitUsage;
	}

	std::string name = argv[i++];
	std::vector<std::string> words(argv + i, argv + argc);
	if (name == "help")
		return finish(help(words));
	const Command::Info* info = Command::Find(name);
	if (!info) {
		std::fprintf(stderr, "quillfern: unknown command %s\n", name.c_str());
		usage(stderr);
		return Command::kExitUsage;
	}
	// "quillfern COMMAND --help" is "quillfern help COMMAND", for every command.
	for (const std::string& word : words) {
		if (word == "--")
			break;
		if (word == "--help" || word == "-h")
			return finish(help({name}));
	}
	Args args;
	std::string error;
	if (!args.Parse(words, info->options, error) || !args.TextCheck(error))
		return Command::Usage(*info, error);
	if (!info->startsEngine)
		return finish(info->run(args));

	if (!App::Start(root)) {
		App::Stop();
		return Command::kExitFailed;
	}
	int status = info->run(args);
	App::RunUntilIdle();
	App::Stop();
	return finish(status);
}
