#include "MesgWindCntl.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>

#include "AcctData.h"
#include "AcctMngr.h"
#include "AppPathMngr.h"
#include "CSet.h"
#include "FileMngr.h"
#include "GlobalPrefs.h"
#include "HeaderUtil.h"
#include "IdentData.h"
#include "Identity.h"
#include "Language.h"
#include "MessageFile.h"
#include "MessageHead.h"
#include "MessageStore.h"
#include "NetName.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "TextFile.h"
#include "TimeCore.h"
#include "Unicode.h"

namespace {

const LangData kRows[] = {
	{"MesgEditAttribution", "%s", "%1 wrote:"},
	{"MesgEditBadNewsgroups", "",
		"Enter 1 to 4 newsgroup names, separated by commas.  Newsgroups should not be named more than once."},
	{"MesgEditNoContents", "",
		"Message has no contents\tYou have not typed any original content into this message.  There is no "
		"point in saving it."},
	{"MesgEditNoSubject", "", "(No Subject)"},
	{"MesgEditSubjectEmpty", "", "Enter a subject."},
	{"MesgEditSubjectBad", "%ld", "The subject must be text of one line, at most %1 bytes."},
	{"MesgEditNoAccount", "%s", "There is no account named %1."},
	{"MesgEditNoIdentity", "%s", "The identity of account %1 is missing or incomplete."},
	{"MesgEditNoGroup", "%s %s", "Newsgroup %1 does not exist on account %2."},
	{"MesgEditBodyTooLong", "%ld %ld",
		"The text is %1 bytes long, more than the %2 bytes a message may hold."},
	{"MesgEditBodyBad", "", "The text is not valid UTF-8 or holds control characters."},
	{nullptr, nullptr, nullptr},
};
const LangSection kSection = {"Message edit", LangSectionMessageEdit, kRows};
bool sStarted = false;
std::atomic<unsigned long> sFileNumber{0};

constexpr long long kLockWait = 1000000;
constexpr long kSignatureLines = 6;

template <typename... A> std::string text(const char* key, const A&... args)
{
	TString out;
	Language::String(key, out, false, args...);
	return std::string(out.String(), static_cast<size_t>(out.ByteLength()));
}

std::string bytes(const TString& t)
{
	return std::string(t.String(), static_cast<size_t>(t.ByteLength()));
}

TString fromBytes(const std::string& s)
{
	TString t;
	t.AllowInvalidSet(true);
	t.AssignByte(s.data(), static_cast<long>(s.size()));
	return t;
}

bool collect(void* context, RenderText kind, const TString& text)
{
	if (kind != RenderTextDone)
		static_cast<std::string*>(context)->append(text.String(), static_cast<size_t>(text.ByteLength()));
	return true;
}

// The body of a stored message as text: for quoting (every line quoted, ending at the
// signature) or for editing. A message without a stored body gives no text.
Error bodyRender(const TString& path, bool quote, std::string& out)
{
	out.clear();
	MessageFile file;
	Error e = file.Render(path, quote ? RenderModeQuote : RenderModeText, collect, &out);
	if (e != ErrOkay)
		out.clear();
	return e == ErrGmCommandFailed ? ErrOkay : e;
}

}  // namespace

bool MesgWindCntl::Start()
{
	if (!sStarted)
		sStarted = Language::SectionAdd(&kSection);
	return sStarted;
}

void MesgWindCntl::Stop()
{
	if (sStarted)
		Language::SectionRemove(&kSection);
	sStarted = false;
}

MesgWindCntl::MesgWindCntl(const TString& account) : mAccount(account)
{}

Error MesgWindCntl::fail(Error e, const std::string& why)
{
	mFault = why;
	return e;
}

void MesgWindCntl::NewsgroupsSet(const TString& value)
{
	mNewsgroups = value;
	mEdited = true;
}

void MesgWindCntl::SubjectSet(const TString& value)
{
	mSubject = value;
	mEdited = true;
}

// CR LF and lone CR become LF.
static std::string lineEnds(const std::string& in)
{
	std::string out;
	out.reserve(in.size());
	for (size_t i = 0; i < in.size(); i++) {
		if (in[i] == '\r') {
			out += '\n';
			if (i + 1 < in.size() && in[i + 1] == '\n')
				i++;
		} else {
			out += in[i];
		}
	}
	return out;
}

void MesgWindCntl::BodySet(const std::string& value)
{
	mBody = lineEnds(value);
	mEdited = true;
}

void MesgWindCntl::BodyAppend(const std::string& value)
{
	mBody += lineEnds(value);
	mEdited = true;
}

void MesgWindCntl::Title(TString& out) const
{
	if (valid(FieldSubject))
		out = mSubject;
	else
		out = TString(text("MesgEditNoSubject"));
}

void MesgWindCntl::UserAgent(TString& out)
{
	TString system;
	AppPathMngr::SystemVersion(system);
	std::string agent = std::string("Quillfern/") + QUILLFERN_VERSION + " (" + bytes(system) + ")";
	out = fromBytes(agent);
}

Error MesgWindCntl::loadReply(const TString& mdir, const TString& leaf, const TString& selection)
{
	TString path = mdir;
	PathMngr::Append(path, leaf);
	MessageHead head;
	Error e = head.HeaderRead(path, kLockWait);
	if (e != ErrOkay)
		return fail(e, "");
	TString subject, groups, refs, msgid, author;
	head.AttrSubject(subject);
	head.AttrNewsgroupsTo(groups);
	head.HeaderGet(kHeaderReferences, refs);
	head.AttrMessageID(msgid);
	head.AttrAuthor(author);

	// 1. Subject: "Re: " once.
	if (subject.Compare(TString("Re: "), 4) != 0)
		subject.InsertLeft("Re: ");
	mSubject = subject;
	// 2. Newsgroups of the parent.
	groups.StripSpace();
	mNewsgroups = groups;
	// 3. References: the parent's, then the parent itself.
	HeaderUtil::CreateReferences(mReferences, msgid, refs);
	// 4. Attribution.
	mBody += text("MesgEditAttribution", author.String()) + '\n';
	// 5. Quoted text: the selection, or the parent's body rendered for quoting.
	if (!selection.Empty()) {
		std::string sel = bytes(selection);
		size_t pos = 0;
		while (pos <= sel.size()) {
			size_t lf = sel.find('\n', pos);
			if (lf == std::string::npos)
				lf = sel.size();
			if (lf == sel.size() && pos == sel.size())
				break;
			std::string line = sel.substr(pos, lf - pos);
			MessageBody::LineQuote(line);
			mBody += line + '\n';
			pos = lf + 1;
		}
	} else {
		std::string quoted;
		e = bodyRender(path, true, quoted);
		if (e != ErrOkay)
			return fail(e, "");
		mBody += quoted;
	}
	// 6. The reply signature applies.
	mReply = true;
	return ErrOkay;
}

Error MesgWindCntl::loadEdit(const TString& mdir, const TString& leaf)
{
	TString path = mdir;
	PathMngr::Append(path, leaf);
	MessageHead head;
	Error e = head.HeaderRead(path, kLockWait);
	std::string body;
	if (e == ErrOkay)
		e = bodyRender(path, false, body);
	if (e != ErrOkay)
		return fail(e, "");
	head.AttrSubject(mSubject);
	head.AttrNewsgroupsTo(mNewsgroups);
	mNewsgroups.StripSpace();
	mReferences.Erase();
	head.HeaderGet(kHeaderReferences, mReferences);
	// The body as it was written: the store keeps the line break of the last line.
	if (!body.empty() && body.back() == '\n')
		body.pop_back();
	mBody = body;
	TString account;
	if (head.HeaderGet(kHeaderQuillfernAccount, account) && !account.Empty())
		head.HeaderDecode(kHeaderQuillfernAccount, mAccount);
	mEditPath = path;
	mEditMdir = mdir;
	mEdit = true;
	return ErrOkay;
}

void MesgWindCntl::loadSignature()
{
	if (mEdit)
		return;
	AcctData acct;
	IdentData ident;
	TString path;
	if (!AcctMngr::Get(mAccount, acct) || !Identity::IdentGet(acct.identity, ident) ||
		!ident.SignatureFile(path, mReply))
		return;
	readSigFile(path);
}

bool MesgWindCntl::readSigFile(const TString& path)
{
	TextFile file;
	if (file.Open(path, TextFile::ModeRead, kLockWait) != ErrOkay)
		return false;
	std::string sig;
	long count = 0;
	bool started = false;
	TString line;
	Error e = ErrOkay;
	while (count < kSignatureLines) {
		e = file.Read(line);
		if (e != ErrOkay && e != ErrFileLineTooLong)
			break;
		line.StripRight();
		if (!started && line.Empty())
			continue;
		if (!started) {
			sig += "\n-- ";
			started = true;
		}
		sig += '\n';
		sig += bytes(line);
		count++;
	}
	file.Close();
	mBody += sig;
	return true;
}

bool MesgWindCntl::valid(int field, TString* why) const
{
	std::string fault;
	if (field == FieldNewsgroups) {
		TString list = mNewsgroups;
		list.StripSpace();
		if (!NetName::NewsListValid(list))
			fault = text("MesgEditBadNewsgroups");
	} else if (field == FieldSubject) {
		TString subject = mSubject;
		subject.Trim();
		if (subject.Empty())
			fault = text("MesgEditSubjectEmpty");
		else if (!mSubject.Valid() || mSubject.ByteLength() > kSubjectMax ||
			std::any_of(mSubject.String(), mSubject.String() + mSubject.ByteLength(),
				[](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
			fault = text("MesgEditSubjectBad", kSubjectMax);
	}
	if (why)
		*why = fromBytes(fault);
	return fault.empty();
}

bool MesgWindCntl::bodyValid(std::string& why) const
{
	if (static_cast<long>(mBody.size()) > kBodyMax) {
		why = text("MesgEditBodyTooLong", static_cast<long>(mBody.size()), kBodyMax);
		return false;
	}
	TString check = fromBytes(mBody);
	bool control = std::any_of(mBody.begin(), mBody.end(), [](char c) {
		unsigned char u = static_cast<unsigned char>(c);
		return (u < 0x20 && c != '\n' && c != '\t' && c != '\r' && c != '\f') || u == 0x7f;
	});
	if (!check.Valid() || control) {
		why = text("MesgEditBodyBad");
		return false;
	}
	return true;
}

// Every group must be one the account knows: subscribed, or in its downloaded newsgroup list.
bool MesgWindCntl::groupsExist(const TString& list)
{
	AcctMngr::GroupSet subscribed;
	AcctMngr::GroupListGet(mAccount, subscribed);
	std::set<std::string> wanted;
	std::string all = bytes(list);
	size_t pos = 0;
	while (pos <= all.size()) {
		size_t comma = all.find(',', pos);
		if (comma == std::string::npos)
			comma = all.size();
		std::string g = all.substr(pos, comma - pos);
		if (!g.empty() && !AcctMngr::GroupListFind(subscribed, TString(g.c_str())))
			wanted.insert(g);
		pos = comma + 1;
	}
	if (!wanted.empty()) {
		TString file;
		StoragePath::FileGroupList(mAccount, file);
		TextFile in;
		if (in.Open(file, TextFile::ModeRead, kLockWait) == ErrOkay) {
			TString line;
			while (!wanted.empty()) {
				Error e = in.Read(line);
				if (e == ErrFileLineTooLong)
					continue;
				if (e != ErrOkay)
					break;
				line.Trim();
				wanted.erase(bytes(line));
			}
			in.Close();
		}
	}
	if (wanted.empty())
		return true;
	mFault = text("MesgEditNoGroup", wanted.begin()->c_str(), mAccount.String());
	return false;
}

bool MesgWindCntl::ready()
{
	AcctData acct;
	IdentData ident;
	if (!AcctMngr::Get(mAccount, acct)) {
		mFault = text("MesgEditNoAccount", mAccount.String());
		return false;
	}
	if (!Identity::IdentGet(acct.identity, ident) || !ident.Valid()) {
		mFault = text("MesgEditNoIdentity", mAccount.String());
		return false;
	}
	TString list = mNewsgroups;
	list.StripSpace();
	if (!list.Empty() && NetName::NewsListValid(list) && !groupsExist(list))
		return false;
	return true;
}

Error MesgWindCntl::saveFile(bool toOutbox)
{
	mFault.clear();
	TString why;
	if (!valid(FieldNewsgroups, &why) || !valid(FieldSubject, &why))
		return fail(ErrGmCommandFailed, bytes(why));
	if (!mEdited)
		return fail(ErrGmCommandFailed, text("MesgEditNoContents"));
	if (!ready())
		return ErrGmCommandFailed;
	std::string bodyWhy;
	if (!bodyValid(bodyWhy))
		return fail(ErrGmCommandFailed, bodyWhy);
	Error e = writeToFile(toOutbox);
	if (e == ErrOkay)
		mEdited = false;
	return e;
}

Error MesgWindCntl::writeToFile(bool toOutbox)
{
	AcctData acct;
	IdentData ident;
	AcctMngr::Get(mAccount, acct);
	Identity::IdentGet(acct.identity, ident);

	MessageFile::Data data;
	data.type = MessageTypeUsenet;
	data.subject = mSubject;
	data.newsgroupsTo = mNewsgroups;
	data.newsgroupsTo.StripSpace();
	data.references = mReferences;
	data.authorName = ident.name;
	data.authorAddress = ident.emailMunged.Empty() ? ident.email : ident.emailMunged;
	data.organization = ident.organization;
	data.account = mAccount;
	UserAgent(data.userAgent);
	data.programURL = ProgramURL();
	data.charset = GlobalPrefs::PrefMessageCharsetGet();
	data.lineLen = GlobalPrefs::PrefMessageLineLenGet();
	data.body = fromBytes(mBody);
	data.body.AllowInvalidSet(false);

	// A temporary name no other composition uses, in this process or another.
	TString temp, path;
	StoragePath::PathTemp(temp);
	do {
		char leaf[32];
		unsigned long number = (TimeCore::Random(0x100000) << 12) + (++sFileNumber & 0xfff);
		std::snprintf(leaf, sizeof leaf, "%08lX.txt", number & 0xffffffffUL);
		path = temp;
		PathMngr::Append(path, leaf);
	} while (FileMngr::Exists(path) == ErrOkay);

	MessageFile file;
	Error e = file.Create(path, data);
	if (e == ErrOkay) {
		file.AttrMessageID(mSavedID);
		e = file.RenameToPreferred(path);
	}
	TString mdir;
	if (toOutbox)
		StoragePath::PathOutbox(mdir);
	else
		StoragePath::PathDrafts(mdir);
	if (e == ErrOkay)
		e = MessageStore::MesgInsert(mdir, path);
	if (e != ErrOkay) {
		FileMngr::Remove(path);
		return fail(e, "");
	}
	TString savedLeaf;
	PathMngr::SplitLeaf(path, savedLeaf);
	mSaved = mdir;
	PathMngr::Append(mSaved, savedLeaf);
	// The message being edited is replaced by the one just written: the new one has its own
	// message-id, so the old file goes wherever it lies.
	if (mEdit && !mEditPath.Empty() && !(mEditPath == mSaved)) {
		TString oldLeaf;
		PathMngr::SplitLeaf(mEditPath, oldLeaf);
		MessageStore::MesgDelete(mEditMdir, oldLeaf);
		mEditPath = mSaved;
		mEditMdir = mdir;
	}
	return ErrOkay;
}
