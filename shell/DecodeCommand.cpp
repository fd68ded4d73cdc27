// quillfern decode MDIR MESSAGE-ID --to DIR: writes the message's attachments into DIR,
// assembling a binary spread over several articles from the parts in the same directory.
#include <cstdio>
#include <string>
#include <vector>

#include "App.h"
#include "Command.h"
#include "DecodeThread.h"
#include "DirIter.h"
#include "DiskFile.h"
#include "FileMngr.h"
#include "HeaderUtil.h"
#include "MdirName.h"
#include "MessageBody.h"
#include "MessageStore.h"
#include "OutputName.h"
#include "PathMngr.h"
#include "TString.h"
#include "TimeCore.h"

namespace {

const char* const kName = "decode";

const Command::Info& info()
{
	return *Command::Find(kName);
}

std::string faultText(MessageBody::DecodeFault fault, int32_t faultPart, const std::string& name)
{
	std::string part = std::to_string(faultPart);
	std::string what;
	switch (fault) {
	case MessageBody::FaultCrc: what = "part " + part + " fails its CRC check"; break;
	case MessageBody::FaultSize: what = "part " + part + " fails its size check"; break;
	case MessageBody::FaultPart: what = "part " + part + " is missing or out of order"; break;
	case MessageBody::FaultStructure: what = "part " + part + " is damaged"; break;
	default: what = "cannot be decoded"; break;
	}
	return name + ": " + what;
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

	// Each complete set gets a new file under a safe name in DIR, reserved here, and goes to the
	// decode queue; the decode thread fills the file in and this run waits for it.
	int status = Command::kExitOkay;
	std::vector<TString> reserved;
	std::vector<std::string> names;
	DecodeThread::OutcomesKeep(true);
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
		// Only a file made here is ever removed again.
		if (err == ErrOkay && (err = out.Close()) != ErrOkay)
			FileMngr::Remove(outPath);
		if (err != ErrOkay) {
			Command::Warn(std::string(set.name.String()) + ": " + Command::ErrorText(err));
			status = Command::kExitFailed;
			continue;
		}
		reserved.push_back(outPath);
		names.emplace_back(set.name.String());
		MessageStore::MesgDecode(outPath, set.paths, long(i), false, nullptr);
	}
	App::RunUntilIdle();
	if (App::Interrupted()) {
		// The running decode stops at its next progress call and removes what it wrote.
		DecodeThread::Cancel();
		while (DecodeThread::Busy())
			TimeCore::Sleep(20000);
	}
	std::vector<DecodeThread::Outcome> outcomes = DecodeThread::OutcomesTake();
	DecodeThread::OutcomesKeep(false);
	for (size_t i = 0; i < reserved.size(); ++i) {
		const DecodeThread::Outcome* found = nullptr;
		for (const DecodeThread::Outcome& o : outcomes)
			if (o.destination == reserved[i])
				found = &o;
		if (found && found->error == ErrOkay) {
			std::printf("%s\n", reserved[i].String());
			continue;
		}
		// Nothing half decoded is left behind, nor presented as good.
		FileMngr::Remove(reserved[i]);
		status = Command::kExitFailed;
		if (!found)
			Command::Warn(names[i] + ": " + Command::ErrorText(ErrGmCancelled));
		else if (found->fault != MessageBody::FaultNone)
			Command::Warn(faultText(found->fault, found->faultPart, names[i]));
		else
			Command::Warn(names[i] + ": " + Command::ErrorText(found->error));
	}
	return status;
}

Command::Registrar sDecode({kName, "MDIR MESSAGE-ID --to DIR", "decode a message's attachments into a folder",
	"Binaries spread over several articles are assembled from the parts in the same message\n"
	"directory; missing parts and parts failing their checks are named and nothing is written\n"
	"for them. Every file written is printed; names never leave DIR and never replace a file.\n",
	{{"--to", true}}, true, run});

}  // namespace
