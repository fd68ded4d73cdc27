#include "MesgRequest.h"

#include "Err.h"
#include "Output.h"
#include "PathMngr.h"

void MesgRequest::Clear()
{
	*this = MesgRequest();
}

const char* MesgRequest::typeString(long kind)
{
	static const char* const sNames[] = {"Account Create", "Account Delete", "Account Update",
		"Account Newsgroup Prefs", "Group Newsgroup Prefs", "Global Newsgroup Prefs", "Newsgroup Create",
		"Newsgroup Delete", "Newsgroup Update", "Identity Change", "Bulk Message Delete", "Bulk Mark Change",
		"Bulk Read Change", "Message Dir Reindex", "Message Dir Reparse", "Message Charset Change",
		"Message Copy", "Message Decode", "Message Delete", "Message Insert", "Message Mark Change",
		"Message Move", "Message Folder Unread Change", "Message Group Unread Change", "Message Reparse",
		"Message To Trash"};
	if (kind < 1 || kind > static_cast<long>(sizeof sNames / sizeof sNames[0]))
		return "[Unknown]";
	return sNames[kind - 1];
}

void MesgRequest::detailsAppend(TString& out) const
{
	if (!account.Empty()) {
		out += "\nAccount: ";
		out += account;
		if (!group.Empty()) {
			out += "  Group: ";
			out += group;
		}
	}
	if (!mdir.Empty()) {
		out += "\nMdir: ";
		out += mdir;
	}
	if (!file.Empty()) {
		TString leaf;
		if (!PathMngr::SplitLeaf(file, leaf))
			leaf = file;
		out += "\nFile: ";
		out += leaf;
	}
	if (!msgid.Empty()) {
		out += "\nMessage-ID: ";
		out += msgid;
	}
}

void MesgRequest::ErrorRetry(TString& out) const
{
	out.Fmt("Request '%s' failed after %ld tries", TypeString(), tries - 1);
	detailsAppend(out);
}

void MesgRequest::ErrorFail(Error error, TString& out, const char* caller) const
{
	TString text;
	Err::Str(text, error);
	out.Fmt("%s request '%s' failed\nError: %s", caller, TypeString(), text.String());
	detailsAppend(out);
}

Error MesgRequest::ErrorLog(Error error, const char* caller) const
{
	if (error != ErrOkay) {
		TString text;
		ErrorFail(error, text, caller);
		Output::Msg(text.String());
	}
	return error;
}
