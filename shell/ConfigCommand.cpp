// quillfern config [KEY [VALUE]]: show or set the engine preferences.
#include <cstdio>
#include <string>

#include "CSet.h"
#include "Command.h"
#include "GlobalPrefs.h"
#include "GuiDiskOp.h"
#include "MessageFile.h"
#include "Str.h"
#include "TString.h"

namespace {

const char* const kKeys[] = {"root", "line-length", "charset"};

std::string valueGet(const std::string& key)
{
	if (key == "root") {
		TString root;
		GlobalPrefs::PrefRootGet(root);
		return root.String();
	}
	if (key == "line-length")
		return std::to_string(GlobalPrefs::PrefMessageLineLenGet());
	return CSet::String(GlobalPrefs::PrefMessageCharsetGet());
}

int valueSet(const std::string& key, const std::string& value)
{
	if (key == "root") {
		TString path(value.c_str());
		Error err = GlobalPrefs::PrefRootSet(path);
		if (err == ErrGmBadPath) {
			GuiDiskOp::AlertPath(path);
			return Command::kExitFailed;
		}
		return err == ErrOkay ? int(Command::kExitOkay) : Command::Fail(err);
	}
	if (key == "line-length") {
		if (!Str::ParseInteger(value.c_str(), nullptr, nullptr) || value.size() > 9)
			return Command::Usage(*Command::Find("config"), "line-length takes a whole number");
		long length = long(Str::Atoll(value.c_str()));
		long valid = MessageFile::LineLenMakeValid(length);
		if (valid != length)
			Command::Warn("line length " + value + " is outside " +
				std::to_string(MessageFile::LineLenMin()) + " to " +
				std::to_string(MessageFile::LineLenMax()) + "; using " + std::to_string(valid));
		return GlobalPrefs::PrefMessageLineLenSet(valid) ? Command::kExitOkay : Command::kExitFailed;
	}
	Charset cs = CSet::Value(value.c_str());
	if (cs == kCharsetNone)
		return Command::Fail("unknown character set: " + value);
	return GlobalPrefs::PrefMessageCharsetSet(cs) ? Command::kExitOkay : Command::kExitFailed;
}

int run(const Args& args)
{
	const Command::Info& info = *Command::Find("config");
	if (args.Count() > 2)
		return Command::Usage(info, "too many arguments");
	if (args.Count() == 0) {
		for (const char* key : kKeys)
			std::printf("%s\t%s\n", key, valueGet(key).c_str());
		return Command::kExitOkay;
	}
	bool known = false;
	for (const char* key : kKeys)
		known = known || args[0] == key;
	if (!known)
		return Command::Usage(info, "unknown key " + args[0] + " (keys: root, line-length, charset)");
	if (args.Count() == 1) {
		std::printf("%s\n", valueGet(args[0]).c_str());
		return Command::kExitOkay;
	}
	return valueSet(args[0], args[1]);
}

Command::Registrar sConfig({"config", "[KEY [VALUE]]", "show or set the engine preferences",
	"Keys:\n  root         the data root (takes effect at the next run)\n"
	"  line-length  line length of composed messages, 60 to 80\n"
	"  charset      character set of composed messages, e.g. UTF-8",
	{}, true, run});

}  // namespace
