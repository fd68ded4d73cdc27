// Text operations on paths ("/" separated UTF-8): splitting, extensions, joining, validation
// and the sanitising of names typed by the user or taken from messages.
#pragma once

#include "TString.h"

class PathMngr {
public:
	// The longest leaf name the file systems take, in bytes.
	static constexpr unsigned long kLeafMax = 255;

	static bool IsAbsolute(const char* path);
	static bool IsAbsolute(const TString& path);
	static bool DotPath(const char* leaf);
	static bool DotPath(const TString& leaf);

	// A valid path: not empty, no "//", no trailing "/" (except "/" itself), no "\" and no
	// control characters.
	static bool Valid(const char* path);
	static bool Valid(const TString& path);
	// A valid leaf: not empty, valid path characters only, no "/" and no ":", and not "." or "..".
	static bool ValidLeaf(const char* leaf);
	static bool ValidLeaf(const TString& leaf);
	static bool ValidChar(unsigned char c) { return c >= 0x20 && c != '\\' && c != '/'; }

	static void Separator(TString& path, bool add);
	static bool Append(TString& path, const char* leaf);
	static bool Append(TString& path, const TString& leaf);

	static bool SplitRootLeaf(const char* path, TString& root, TString& leaf);
	static bool SplitRootLeaf(const TString& path, TString& root, TString& leaf);
	static bool SplitRoot(const char* path, TString& root);
	static bool SplitRoot(const TString& path, TString& root);
	static bool SplitLeaf(const char* path, TString& leaf);
	static bool SplitLeaf(const TString& path, TString& leaf);
	// The leaf split at its last "."; '.profile' and 'name.' have no extension.
	static bool SplitLeafExt(const char* path, TString& name, TString& ext);
	static bool SplitLeafExt(const TString& path, TString& name, TString& ext);

	static bool ExtDel(TString& path);
	static bool ExtAdd(TString& path, const char* ext);
	static bool ExtAdd(TString& path, const TString& ext);
	static bool ExtReplace(TString& path, const char* ext);
	static bool ExtReplace(TString& path, const TString& ext);

	// Moves path from below oldRoot to below newRoot; oldRoot must be a whole leading
	// part of path (ending at a "/"), so '/a/bc' is not below '/a/b'.
	static bool Reparent(const TString& oldRoot, const TString& newRoot, TString& path);
	static bool Unique(const TString& rootA, const TString& rootB, TString& path);

	static bool Sanitize(TString& path);
	// Turns a name typed by a user or taken from a message into a safe leaf: the part after
	// the last "/", "\" or ":", trimmed and sanitised; "." and ".." become "_" and "__", and
	// a name too long for the file system is shortened (keeping a short extension).
	static bool LeafFixup(TString& name);
};
