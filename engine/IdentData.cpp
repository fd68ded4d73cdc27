#include "IdentData.h"

#include "AcctStrings.h"
#include "DirMngr.h"
#include "FileMngr.h"
#include "InitFile.h"
#include "InitItem.h"
#include "NetName.h"
#include "PathMngr.h"
#include "StoragePath.h"
#include "TextFile.h"
#include "TimeCore.h"

namespace {

const char* const kKeyMunged = "E-MailMunged";
const char* const kKeyEmail = "E-Mail";
const char* const kKeyItemID = "ItemID";
const char* const kKeyName = "Name";
const char* const kKeyOrganization = "Organization";
const char* const kKeySigEnable = "SignatureEnable";
const char* const kKeySigReplies = "SignatureEnableForReplies";
const char* const kKeySigFilename = "SignatureFilename";

const long kItemIDLength = 10;
const long long kLockWait = 1000000;

}  // namespace

void IdentData::Clear()
{
	name.Erase();
	organization.Erase();
	email.Erase();
	emailMunged.Erase();
	itemID.Erase();
	signature.enable = false;
	signature.enableForReplies = false;
	signature.filename.Erase();
}

void IdentData::Default()
{
	Clear();
	AcctStrings::Text(name, "NameDefault");
	AcctStrings::Text(organization, "OrganizationDefault");
	AcctStrings::Text(email, "EmailDefault");
	emailMunged = email;
	EmailMunge(emailMunged);
	ItemIDGen(itemID);
	signature.filename = SignatureFilename();
}

void IdentData::copy(const IdentData& other)
{
	*this = other;
}

const char* IdentData::SignatureFilename()
{
	return "Signature.txt";
}

bool IdentData::ItemIDValid(const TString& id)
{
	if (id.ByteLength() != kItemIDLength)
		return false;
	const char* s = id.String();
	for (long i = 0; i < kItemIDLength; i++)
		if (s[i] < 'A' || s[i] > 'Z')
			return false;
	return true;
}

void IdentData::ItemIDGen(TString& out)
{
	char id[kItemIDLength + 1];
	for (long i = 0; i < kItemIDLength; i++) {
		unsigned long n = TimeCore::Random(26);
		id[i] = n < 26 ? static_cast<char>('A' + n) : 'M';
	}
	id[kItemIDLength] = 0;
	out = id;
}

void IdentData::EmailMunge(TString& address)
{
	if (!NetName::EmailValid(address))
		AcctStrings::Text(address, "EmailDefault");
	TString munged;
	munged.Fmt("%s.invalid", address.String());
	address = munged;
}

bool IdentData::Valid() const
{
	return !name.Empty() && ItemIDValid(itemID) && NetName::EmailValid(email) &&
		NetName::EmailValid(emailMunged);
}

void IdentData::makeValid(bool& changed)
{
	if (!ItemIDValid(itemID)) {
		ItemIDGen(itemID);
		changed = true;
	}
	if (!NetName::EmailValid(email)) {
		AcctStrings::Text(email, "EmailDefault");
		changed = true;
	}
	if (!NetName::EmailValid(emailMunged)) {
		emailMunged = email;
		EmailMunge(emailMunged);
		// An address close to the length limit has no valid munged form; the placeholder's
		// stands in, rather than the whole identity failing to load.
		if (!NetName::EmailValid(emailMunged)) {
			AcctStrings::Text(emailMunged, "EmailDefault");
			EmailMunge(emailMunged);
		}
		changed = true;
	}
	if (signature.enable && !SignatureExists(signature.filename)) {
		signature.filename = SignatureFilename();
		changed = true;
	}
}

void IdentData::SectionName(TString& out, long index)
{
	out.Fmt("Identity%02lu", static_cast<unsigned long>(index + 1));
}

Error IdentData::InitRead(const InitFile& file, long index, bool& changed)
{
	Clear();
	TString section;
	SectionName(section, index);
	const char* sect = section.String();
	bool ok = InitItem::TextGet(file, sect, kKeyMunged, emailMunged);
	ok = ok && InitItem::TextGet(file, sect, kKeyEmail, email);
	ok = ok && InitItem::TextGet(file, sect, kKeyItemID, itemID);
	ok = ok && InitItem::TextGet(file, sect, kKeyName, name);
	ok = ok && InitItem::TextGet(file, sect, kKeyOrganization, organization);
	ok = ok && InitItem::BoolGet(file, sect, kKeySigEnable, signature.enable);
	ok = ok && InitItem::BoolGet(file, sect, kKeySigReplies, signature.enableForReplies);
	ok = ok && InitItem::TextGet(file, sect, kKeySigFilename, signature.filename);
	if (ok) {
		makeValid(changed);
		ok = Valid();
	}
	if (!ok) {
		Clear();
		return ErrFileInvalidData;
	}
	return ErrOkay;
}

Error IdentData::InitWrite(InitFile& file, long index) const
{
	TString section;
	SectionName(section, index);
	const char* sect = section.String();
	bool ok = file.ItemSet(sect, kKeyMunged, emailMunged);
	ok = file.ItemSet(sect, kKeyEmail, email) && ok;
	ok = file.ItemSet(sect, kKeyItemID, itemID) && ok;
	ok = file.ItemSet(sect, kKeyName, name) && ok;
	ok = file.ItemSet(sect, kKeyOrganization, organization) && ok;
	ok = InitItem::BoolSet(file, sect, kKeySigEnable, signature.enable) && ok;
	ok = InitItem::BoolSet(file, sect, kKeySigReplies, signature.enableForReplies) && ok;
	ok = file.ItemSet(sect, kKeySigFilename, signature.filename) && ok;
	return ok ? ErrOkay : ErrFileInvalidData;
}

void IdentData::SignaturePath(TString& out, const TString& filename)
{
	TString name(filename);
	if (name.ByteFirst() == '~' && DirMngr::TildePathToPath(name) != ErrOkay)
		name.Erase();
	if (!PathMngr::Valid(name))
		name = SignatureFilename();
	if (PathMngr::IsAbsolute(name)) {
		out = name;
		return;
	}
	StoragePath::PathIdentity(out);
	if (!PathMngr::Append(out, name)) {
		StoragePath::PathIdentity(out);
		PathMngr::Append(out, TString(SignatureFilename()));
	}
}

bool IdentData::SignatureExists(const TString& filename)
{
	if (!PathMngr::Valid(filename))
		return false;
	TString path;
	SignaturePath(path, filename);
	return FileMngr::Exists(path) == ErrOkay;
}

bool IdentData::SignatureFile(TString& out, bool forReply) const
{
	out.Erase();
	if (!signature.enable || (forReply && !signature.enableForReplies) ||
		!PathMngr::Valid(signature.filename))
		return false;
	SignaturePath(out, signature.filename);
	if (FileMngr::Exists(out) != ErrOkay) {
		out.Erase();
		return false;
	}
	return true;
}

Error IdentData::SignatureWrite(const TString& filename)
{
	TString path;
	SignaturePath(path, filename);
	Error err = FileMngr::Exists(path);
	if (err == ErrOkay)
		return ErrOkay;
	if (err != ErrFileNotFound)
		return err;
	TString text;
	AcctStrings::Text(text, "SignatureText");
	TextFile file;
	err = file.Open(path, TextFile::ModeWrite, kLockWait);
	if (err == ErrOkay) {
		file.TextSet();
		file.EditorSet();
		err = file.Write(text);
		Error closeErr = file.Close();
		if (err == ErrOkay)
			err = closeErr;
	}
	return err;
}
