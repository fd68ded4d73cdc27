// The freedesktop.org trash: trashed entries go to the "files" folder of a trash, each with
// a "<name>.trashinfo" entry in its "info" folder giving the original path and the time of
// deletion, so that a desktop file manager can list and restore them.
#pragma once

#include <string>

#include "Error.h"

class TString;

class TrashImp {
public:
	// The trash for volume, created when missing: the home trash
	// ($XDG_DATA_HOME/Trash) when the volume holds it, else the volume's
	// "$topdir/.Trash/$uid" (when the administrator made ".Trash") or "$topdir/.Trash-$uid".
	// topdir receives the volume's top folder for a volume trash, "" for the home trash.
	static Error Folder(short volume, std::string& trash, std::string& topdir);
	// Moves path (a file, link or directory) into the trash of its volume.
	static Error Put(const TString& path);
	// The text of an info entry.
	static std::string InfoText(const std::string& originalPath, long long when);
	// Percent-encodes a path the way trash info entries hold it ("/" stays).
	static std::string Escape(const std::string& path);
};
