// One composition: a new article, a follow-up to a stored article, or a further edit of a
// message waiting in Drafts or the Outbox. It prepares the fields and the body (subject,
// newsgroups, references, attribution, quoted text, the identity's signature), validates
// everything, and writes the finished message to the Outbox (to be posted) or to Drafts.
#pragma once

#include <string>

#include "Error.h"
#include "TString.h"

class MesgWindCntl {
public:
	// Registers the texts of the compose window.
	static bool Start();
	static void Stop();

	enum Field : int { FieldNewsgroups = 1, FieldSubject = 2 };

	// The most body text a message may hold, in bytes (quoted text and signature included).
	static constexpr long kBodyMax = kStringMaxBytes;
	// The longest subject, in bytes: one header line as RFC 5536 allows it.
	static constexpr long kSubjectMax = 998;

	explicit MesgWindCntl(const TString& account);

	// Prepares a follow-up to the message file leaf in mdir. selection, when not empty, is
	// quoted instead of the rendered body.
	Error loadReply(const TString& mdir, const TString& leaf, const TString& selection = TString());
	// Loads a message of Drafts or the Outbox for further editing.
	Error loadEdit(const TString& mdir, const TString& leaf);
	// Appends the identity's signature (none when editing).
	void loadSignature();

	// Field 1 (newsgroups) or 2 (subject); other fields are always valid. When not valid,
	// why receives the text to show.
	bool valid(int field, TString* why = nullptr) const;
	// Validates everything, writes the message and files it into the Outbox or Drafts; on
	// success the edited flag is cleared and a message being edited elsewhere is removed.
	// On a refusal FaultText() says why and the composition keeps its text.
	Error saveFile(bool toOutbox);

	// Checks that need no text: the account, its identity and the newsgroups existing on it.
	bool ready();

	// The window's edits (each sets the edited flag). Line ends of the body become LF.
	void NewsgroupsSet(const TString& text);
	void SubjectSet(const TString& text);
	void BodySet(const std::string& text);
	void BodyAppend(const std::string& text);

	const TString& Account() const { return mAccount; }
	const TString& Newsgroups() const { return mNewsgroups; }
	const TString& Subject() const { return mSubject; }
	const TString& References() const { return mReferences; }
	const std::string& Body() const { return mBody; }
	bool Edited() const { return mEdited; }
	bool Reply() const { return mReply; }
	// The title of the window: the subject, or "(No Subject)".
	void Title(TString& out) const;
	// Why the last operation refused, for the person.
	const std::string& FaultText() const { return mFault; }
	// The message file written by the last successful save (its final path).
	const TString& SavedPath() const { return mSaved; }
	const TString& SavedID() const { return mSavedID; }

	// The User-Agent text: program name, a slash, version, a blank, the system in parentheses.
	static void UserAgent(TString& out);
	static const char* ProgramURL() { return "https://quillfern.invalid/"; }

private:
	Error fail(Error e, const std::string& text);
	bool readSigFile(const TString& path);
	Error writeToFile(bool toOutbox);
	bool groupsExist(const TString& list);
	bool bodyValid(std::string& why) const;

	TString mAccount;
	TString mNewsgroups;
	TString mSubject;
	TString mReferences;
	std::string mBody;
	TString mEditPath;  // the message being edited; empty otherwise
	TString mEditMdir;
	TString mSaved;
	TString mSavedID;
	std::string mFault;
	bool mReply = false;
	bool mEdit = false;
	bool mEdited = false;
};
