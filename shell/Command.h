// The commands of quillfern. Each command lives in its own file and registers itself with a
// static Command::Registrar, so that adding a command touches no other file.
#pragma once

#include <string>
#include <vector>

#include "Args.h"
#include "Error.h"

class Command {
public:
	enum Exit { kExitOkay = 0, kExitFailed = 1, kExitUsage = 2 };

	struct Info {
		const char* name;
		const char* usage;  // the words after "quillfern NAME", e.g. "[KEY [VALUE]]"
		const char* summary;  // one line for the command list
		const char* help;  // more lines for "quillfern help NAME"; may be empty
		std::vector<Args::Option> options;
		bool startsEngine = true;  // false for commands that need no engine
		// Runs the command; the engine is running when startsEngine is set.
		int (*run)(const Args& args) = nullptr;
	};

	struct Registrar {
		explicit Registrar(const Info& info);
	};

	static const Info* Find(const std::string& name);
	static std::vector<const Info*> All();  // sorted by name

	// Helpers for the commands: report and return the exit status.
	static int Usage(const Info& info, const std::string& message);
	static int Fail(Error err);
	static int Fail(const std::string& message);
	static void Warn(const std::string& message);

	// A duration as people write it: "30 seconds", "1.5 seconds", "2 minutes".
	static std::string DurationText(long long usecs);

	// The engine's text for an error.
	static std::string ErrorText(Error err);
};
