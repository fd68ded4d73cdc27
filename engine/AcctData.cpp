#include "AcctData.h"

#include "AcctStrings.h"
#include "DiskFile.h"
#include "FileBase.h"
#include "Identity.h"
#include "InitFile.h"
#include "InitItem.h"
#include "PathMngr.h"
#include "StoragePath.h"

#include <sys/stat.h>

namespace {

const char* const kSectAccount = "Account";
const char* const kKeyIdentity = "Identity";
const char* const kKeyLogging = "Logging";

const long long kLockWait = 1000000;
const unsigned short kPrivateMode = 0600;

// The settings file holds the password: a new one is created private, and a looser mode found
// on an existing file is narrowed to the owner.
Error filePrivate(const TString& path)
{
	struct stat st;
	Error err = FileBase::Stat(path, &st, true);
	if (err == ErrFileNotFound)
		return ErrOkay;
	if (err != ErrOkay)
		return err;
	// Only narrowed: a file its owner made read-only stays read-only.
	if (st.st_mode & 077)
		return FileBase::PermSet(path, static_cast<unsigned short>(st.st_mode & 0700));
	return ErrOkay;
}

// Starts a complete rewrite of the file's items: the account's own sections hold only what the
// account writes next (so items it no longer writes go), other sections stay as they were.
void itemSetStart(InitFile& file, const TString& serverSection)
{
	InitFile copy(file);
	file.ItemSetStart();
	std::vector<TString> sections, items;
	copy.SectionList(sections);
	for (const TString& sect : sections) {
		if (sect.CompareNoCase(TString(kSectAccount)) == 0 || sect.CompareNoCase(serverSection) == 0)
			continue;
		copy.ItemList(sect, items);
		for (const TString& item : items) {
			TString value;
			if (copy.ItemGet(sect, item, value))
				file.ItemSet(sect, item, value);
			else if (copy.ItemGetCustom(sect, item, value))
				file.ItemSetCustom(sect, item, value);
		}
	}
}

}  // namespace

AcctData::AcctData()
{
	TString host;
	AcctStrings::Text(host, "NntpNameDefault");
	server.SetDefault(host, 119, false);
	server.SetSection("NNTP");
	Clear();
}

void AcctData::Clear()
{
	name.Erase();
	identity.Erase();
	extra.Clear();
	logging = 0;
	server.Clear();
}

void AcctData::Default()
{
	Clear();
	AcctStrings::Text(name, "AccountNameDefault");
	Identity::IndexToItemID(0, identity);
	extra.Default();
	server.Default();
}

void AcctData::copy(const AcctData& other)
{
	*this = other;
}

bool AcctData::nameValid(const TString& accountName)
{
	// "." and ".." are valid leaves but would name the accounts directory or its parent.
	return PathMngr::ValidLeaf(accountName) && !PathMngr::DotPath(accountName);
}

bool AcctData::Valid() const
{
	IdentData ident;
	return nameValid(name) && Identity::IdentGet(identity, ident) && logModeValid(logging) && extra.Valid() &&
		server.Valid();
}

void AcctData::makeValid()
{
	IdentData ident;
	if (!Identity::IdentGet(identity, ident))
		Identity::IndexToItemID(0, identity);
	if (!logModeValid(logging))
		logging = 0;
}

Error AcctData::dataRead(const InitFile& file, const TString& accountName)
{
	Clear();
	name = accountName;
	long number = 0;
	if (!InitItem::TextGet(file, kSectAccount, kKeyIdentity, identity)) {
		Clear();
		return ErrFileInvalidData;
	}
	// The log level is optional; a missing one is 0.
	if (!file.ItemGet(kSectAccount, kKeyLogging, number) || !logModeValid(number))
		number = 0;
	logging = static_cast<int>(number);
	Error err = extra.InitRead(file);
	if (err == ErrOkay)
		err = server.InitRead(file);
	if (err == ErrOkay) {
		makeValid();
		if (!Valid())
			err = ErrFileInvalidData;
	}
	if (err != ErrOkay) {
		Clear();
		return ErrFileInvalidData;
	}
	return ErrOkay;
}

Error AcctData::dataWrite(InitFile& file) const
{
	bool ok = file.ItemSet(kSectAccount, kKeyIdentity, identity);
	ok = file.ItemSet(kSectAccount, kKeyLogging, static_cast<long>(logging)) && ok;
	if (extra.InitWrite(file) != ErrOkay)
		ok = false;
	if (server.InitWrite(file) != ErrOkay)
		ok = false;
	return ok ? ErrOkay : ErrFileInvalidData;
}

Error AcctData::InitRead(const TString& accountName)
{
	Clear();
	TString path;
	StoragePath::FileAccountPrefs(accountName, path);
	InitFile file;
	Error err = file.StateRead(path, kLockWait);
	if (err != ErrOkay)
		return err;
	return dataRead(file, accountName);
}

Error AcctData::InitWrite() const
{
	AcctData data(*this);
	return InitUpdate(nullptr, data);
}

Error AcctData::InitUpdate(const AcctData* before, AcctData& data)
{
	TString path;
	StoragePath::FileAccountPrefs(data.name, path);
	PathMngr::ExtReplace(path, InitFile::FileExtension());
	Error err = filePrivate(path);
	if (err != ErrOkay)
		return err;
	InitFile file;
	AcctData result(data);
	err = file.Update(
		path, kLockWait,
		[&](InitFile& f) {
			if (before && !f.Lines().empty()) {
				// Only the fields this change is about are taken; the others stay as the
				// file has them now, which may be what another process just wrote.
				AcctData now;
				if (now.dataRead(f, data.name) != ErrOkay)
					return ErrFileInvalidData;
				if (data.identity != before->identity)
					now.identity = data.identity;
				if (data.logging != before->logging)
					now.logging = data.logging;
				const ServData& b = before->server;
				const ServData& d = data.server;
				ServData& n = now.server;
				if (d.host != b.host)
					n.host = d.host;
				if (d.port != b.port)
					n.port = d.port;
				if (d.timeout != b.timeout)
					n.timeout = d.timeout;
				if (d.requiresLogin != b.requiresLogin || d.username != b.username ||
					d.password != b.password) {
					n.requiresLogin = d.requiresLogin;
					n.username = d.username;
					n.password = d.password;
				}
				now.extra = data.extra;
				result = now;
			}
			itemSetStart(f, result.server.section);
			Error e = result.dataWrite(f);
			f.ItemSetStop();
			TString appName, title;
			AcctStrings::AppName(appName);
			title.Fmt("%s account preferences", appName.String());
			f.TitleSet(title);
			return e;
		},
		kPrivateMode);
	if (err == ErrOkay)
		data = result;
	return err;
}
