// Message directories as the command line names them: "ACCOUNT/GROUP" for a subscribed
// newsgroup, "Drafts", "Outbox", "Sent Messages", or "Saved/NAME[/NAME...]" for a user folder.
#pragma once

#include <string>

#include <vector>

#include "HeadersNode.h"
#include "TString.h"

class MdirName {
public:
	// The absolute path of the named mdir; false with a message when the name is not one.
	// The directory must exist.
	static bool Resolve(const std::string& name, TString& path, std::string& error);
	// The path of a user folder named "NAME[/NAME...]" (with or without "Saved/" before it);
	// whether it exists is not checked. false for an unusable name.
	static bool FolderPath(const std::string& name, TString& path, std::string& error);
	// The nodes of the named messages of an mdir, in the order given; false with a message
	// when one is not there (or is not a message-id).
	static bool Lookup(const TString& mdir, const std::vector<std::string>& ids,
		std::vector<HeadersNodePtr>& nodes, std::string& error);
	// Every message of an mdir.
	static bool All(const TString& mdir, std::vector<HeadersNodePtr>& nodes, std::string& error);
	// The command-line name of a user folder path ("Saved/...").
	static std::string FolderName(const TString& path);
};
