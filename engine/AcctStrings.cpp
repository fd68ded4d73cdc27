#include "AcctStrings.h"

#include <cstring>

namespace {

const LangData sAccountErrors[] = {
	{"AccountTooMany", "%ld", "The maximum number of accounts is %1, you cannot create another."},
	{"AccountNameDuplicate", "%s", "Account name “%1” is already in use."},
	{"AccountNameUnknown", "%s", "Account name “%1” is unknown."},
	{"AccountBadData", "%s", "Cannot create account “%1”, data fails validation checks."},
	{"AccountFileSkipped", "%s %s %s",
		"Account “%1” was not loaded: its settings file cannot be read (%2).\nFile: %3"},
	{"AccountListLocked", "%s", "The account list is in use by another process.\nFile: %1"},
	{nullptr, nullptr, nullptr},
};

const LangData sGroupErrors[] = {
	{"GroupDuplicate", "%s %s", "Account “%1” already has a newsgroup named ‘%2’."},
	{"GroupUnknown", "%s %s", "Account “%1” has no newsgroup named ‘%2’."},
	{"GroupNameInvalid", "%s", "‘%1’ is not a valid newsgroup name."},
	{nullptr, nullptr, nullptr},
};

const LangData sDefaults[] = {
	{"AccountNameDefault", "", "Account Name"},
	{"NntpNameDefault", "", "news.example.net"},
	{"UsernameDefault", "", "username"},
	{"PasswordDefault", "", "password"},
	{"NameDefault", "", "Your Name Here"},
	{"OrganizationDefault", "", "Your Organization"},
	{"EmailDefault", "", "your.name@example.net"},
	{nullptr, nullptr, nullptr},
};

const LangData sIdentityErrors[] = {
	{"IdentityTooMany", "%ld", "The maximum number of identities is %1, you cannot create another."},
	{"IdentityLast", "", "The only identity cannot be deleted."},
	{"IdentityUnknown", "%s", "Identity “%1” is unknown."},
	{"IdentityNameEmpty", "", "An identity needs a name."},
	{"IdentityBadEmail", "%s", "“%1” is not a valid e-mail address."},
	{"IdentitySignatureMissing", "%s", "Signature file not found: %1"},
	{"IdentityWriteFailed", "%s", "The identity list could not be saved.\nFile: %1"},
	{"IdentityFileSetAside", "%s %s %s",
		"The identity list cannot be read (%1); it was moved aside and a default identity made.\nFile: %2\nMoved to: %3"},
	{"IdentityFileUnread", "%s %s",
		"The identity list cannot be read (%1); the default identity stands in for this run.\nFile: %2"},
	{nullptr, nullptr, nullptr},
};

const LangData sSignature[] = {
	{"SignatureText", "", "Signature goes here.\nNon-ASCII characters must be in the\nUTF-8 character set."},
	{nullptr, nullptr, nullptr},
};

const LangSection sSections[] = {
	{"Account error strings", LangSectionAccountError, sAccountErrors},
	{"Newsgroup strings", LangSectionNewsgroup, sGroupErrors},
	{"Account and identity defaults", LangSectionAccountDefaults, sDefaults},
	{"Identity window strings", LangSectionIdentityWindow, sIdentityErrors},
	{"Misc display strings", LangSectionMiscDisplay, sSignature},
};

}  // namespace

bool AcctStrings::Start()
{
	// A section that is already registered (by an earlier call or another facility) is not an
	// error: texts missing from the table fall back to the English texts above.
	for (const LangSection& section : sSections)
		Language::SectionAdd(&section);
	return true;
}

void AcctStrings::AppName(TString& out)
{
	if (!Language::Started() || !Language::NameCheck("AppName") || !Language::String("AppName", out, false))
		out = "Quillfern News";
}

const char* AcctStrings::englishFind(const char* key, const char** formats)
{
	for (const LangSection& section : sSections) {
		for (const LangData* row = section.rows; row->key; row++) {
			if (std::strcmp(row->key, key) == 0) {
				*formats = row->formats;
				return row->english;
			}
		}
	}
	return nullptr;
}
