// Files named by what arrives from outside (an attachment's name in a message): the name is
// made a plain leaf that cannot leave the folder, and the file is always a new one.
#pragma once

#include "DiskFile.h"
#include "Error.h"
#include "TString.h"

class OutputName {
public:
	// Longest leaf made, in bytes; room is left for a number added to it.
	static constexpr long kNameMax = 200;
	// Numbers tried before giving up on a name.
	static constexpr int kTriesMax = 10000;

	// A safe leaf for name: invalid UTF-8, control characters, "/" and "\" become "_", white
	// space at the ends goes, a leading "." becomes "_" (no hidden file, no "." or ".."), an
	// over-long name is cut keeping its extension, and an empty one becomes "attachment".
	static TString Clean(const TString& name);

	// Creates a new file in dir under the cleaned name, adding "-1", "-2"... before the
	// extension while the name is taken. An existing file is never opened or overwritten and
	// a symbolic link in dir is never followed. path receives the new file's path.
	static Error Create(const TString& dir, const TString& name, DiskFile& file, TString& path);
};
