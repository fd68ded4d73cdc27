// quillfern decode MDIR MESSAGE-ID --to DIR: writes the message's attachments into DIR,
// assembling a binary spread over several articles from the parts in the same directory.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "DirIter.h"
#include "DiskFile.h"
#include "FileMngr.h"
#include "HeaderUtil.h"
#include "MdirName.h"
#include "MessageBody.h"
#include "OutputName.h"
#include "PathMngr.h"
#include "TString.h"

namespace {

const char* const kName = "decode";

const Command::Info& info()
{
	return *Command::Find(kName);
}

std::string faultText(const MessageBody& body, const TString& name)
{
	std::string part = std::to_string(body.DecodeFaultPart());
	std::string what;
	switch (body.DecodeFaultGet()) {
	case MessageBody::FaultCrc: what = "part " + part + " fails its CRC check"; break;
	case MessageBody::FaultSize: what = "part " + part + " fails its size check"; break;
	case MessageBody::FaultPart: what = "part " + part + " is missing or out of order"; break;
	case MessageBody::FaultStructure: what = "part " + part + " is damaged"; break;
	default: what = "cannot be decoded"; break;
	}
	return std::string(name.String()) + ": " + what;
}

int run(const Args& args)
{
	if (args.Count() != 2 || !args.Has("--to"))
		return Command::Usage(info(), "decode takes a message directory, a message and --to DIR");
	TString mdir;
	std::string error;
	if (!MdirName::Resolve(args[0], mdir, error))
		return Command::Fail(error);
	TString dir(args.Value("--to").c_str());
	TString leaf, path(mdir);
	HeaderUtil::MessageFilename(leaf, TString(args[1].c_str()));
	PathMngr::Append(path, leaf);
	if (FileMngr::Exists(path) != ErrOkay)
		return Command::Fail("no such message: " + args[1]);

	std::vector<TString> candidates;
	DirIter iter;
	Error err = iter.Open(mdir);
	while (err == ErrOkay) {
		DEntry entry;
		if (iter.Next(entry) != ErrOkay)
			break;
		TString p;
		if (entry.IsFile() && HeaderUtil::IsMessageFilename(entry.Leaf()) && entry.PathGet(p) == ErrOkay)
			candidates.push_back(p);
	}
	std::vector<MessageBody::PartSet> sets;
	err = MessageBody::PartsCollect(path, candidates, sets);
	if (err != ErrOkay)
		return Command::Fail(err);
	if (sets.empty())
		return Command::Fail("the message has no attachment");

	int status = Command::kExitOkay;
	for (size_t i = 0; i < sets.size(); ++i) {
		const MessageBody::PartSet& set = sets[i];
		if (!set.missing.empty()) {
			std::string list;
			for (int32_t n : set.missing)
				list += (list.empty() ? "" : ", ") + std::to_string(n);
			if (set.missing.size() >= MessageBody::kMissingMax)
				list += ", ...";
			Command::Warn(std::string(set.name.String()) + ": " + std::to_string(set.total) +
				" parts, missing " + list);
			status = Command::kExitFailed;
			continue;
		}
		DiskFile out;
		TString outPath;
		err = OutputName::Create(dir, set.name, out, outPath);
		if (err != ErrOkay) {
			Command::Warn(std::string(set.name.String()) + ": " + Command::ErrorText(err));
			status = Command::kExitFailed;
			continue;
		}
		MessageBody body;
		err = set.paths.size() == 1 ? body.Decode(set.paths[0], long(i), out, nullptr, nullptr)
									: body.Decode(set.paths, out, nullptr, nullptr);
		if (err == ErrOkay)
			err = out.Close();
		if (err != ErrOkay) {
			// Nothing half decoded is left behind, nor presented as good.
			if (out.IsOpen())
				out.Remove();
			else
				FileMngr::Remove(outPath);
			Command::Warn(body.DecodeFaultGet() != MessageBody::FaultNone
					? faultText(body, set.name)
					: std::string(set.name.String()) + ": " + Command::ErrorText(err));
			status = Command::kExitFailed;
			continue;
		}
		std::printf("%s\n", outPath.String());
	}
	return status;
}

Command::Registrar sDecode({kName, "MDIR MESSAGE-ID --to DIR", "decode a message's attachments into a folder",
	"Binaries spread over several articles are assembled from the parts in the same message\n"
	"directory; missing parts and parts failing their checks are named and nothing is written\n"
	"for them. Every file written is printed; names never leave DIR and never replace a file.\n",
	{{"--to", true}}, true, run});

}  // namespace
