// One posting identity: who posts (display name, organization, real and munged e-mail address),
// with an optional signature file, and the stable item identifier by which accounts name it.
#pragma once

#include "Error.h"
#include "TString.h"

class InitFile;

class IdentData {
public:
	struct Signature {
		bool enable = false;  // append the signature to new messages
		bool enableForReplies = false;  // and to replies
		TString filename;  // absolute, "~/..." or a name inside the identity folder
	};

	void Clear();
	// A new identity: placeholder name, organization and address, the munged address, a new
	// item identifier, signatures off, and the default signature file name.
	void Default();
	void copy(const IdentData& other);

	bool Valid() const;
	// Repairs what can be repaired; sets `changed` for every repair.
	void makeValid(bool& changed);

	// Reads or writes identity number `index` (from 0) in its section of the identity file.
	Error InitRead(const InitFile& file, long index, bool& changed);
	Error InitWrite(InitFile& file, long index) const;

	// "Signature.txt", the default signature file, in the identity folder.
	static const char* SignatureFilename();
	// The path of a signature file name: a leading "~" is expanded, an absolute path is used as
	// it is, anything else lies in the identity folder; a name that is not a valid path gives
	// the default signature file.
	static void SignaturePath(TString& out, const TString& filename);
	// Whether the named signature file exists.
	static bool SignatureExists(const TString& filename);
	// The path of the signature to append to a new message (or a reply): true only when the
	// signature is enabled for it and the file exists; otherwise out is empty.
	bool SignatureFile(TString& out, bool forReply) const;
	// Creates the signature file with the placeholder text when it does not exist yet.
	static Error SignatureWrite(const TString& filename);

	// Exactly 10 bytes, each an upper-case letter A to Z.
	static bool ItemIDValid(const TString& id);
	static void ItemIDGen(TString& out);
	// The address as shown in postings: a valid address followed by ".invalid".
	static void EmailMunge(TString& address);

	// The section of identity number `index` (from 0): "Identity01" to "Identity20".
	static void SectionName(TString& out, long index);

	TString name;
	TString organization;
	TString email;
	TString emailMunged;
	TString itemID;
	Signature signature;
};
