// quillfern settings [ACCOUNT [GROUP]] [KEY=VALUE...]: show or change the download settings of
// every account, of one account or of one newsgroup.
#include <strings.h>

#include <cstdio>
#include <string>

#include "AcctMngr.h"
#include "CSet.h"
#include "Command.h"
#include "GroupData.h"
#include "Str.h"
#include "TimeFormat.h"

namespace {

const char* const kName = "settings";

const Command::Info& info()
{
	return *Command::Find(kName);
}

const char* levelName(GroupData::Level level)
{
	switch (level) {
	case GroupData::LevelGroup: return "group";
	case GroupData::LevelAccount: return "account";
	case GroupData::LevelGlobal: return "global";
	default: return "default";
	}
}

std::string charsetText(Charset cs)
{
	return cs == kCharsetNone ? "<None>" : CSet::String(cs);
}

void show(const GroupData& data, GroupData::Level level)
{
	const char* from = levelName(level);
	std::printf("%s\t%u\t%s\n", GroupData::kKeyType, data.downloadType, from);
	std::printf("%s\t%u\t%s\n", GroupData::kKeyOrder, data.downloadOrder, from);
	std::printf("%s\t%d\t%s\n", GroupData::kKeyLimits, data.limitsEnabled ? 1 : 0, from);
	std::printf("%s\t%u\t%s\n", GroupData::kKeyArticleLimit, data.articleLimit, from);
	std::printf("%s\t%u\t%s\n", GroupData::kKeyHeaderLimit, data.headerLimit, from);
	std::printf("%s\t%s\t%s\n", GroupData::kKeyExpire, Command::DurationText(data.expire).c_str(), from);
	std::printf("%s\t%s\t%s\n", GroupData::kKeyCharset, charsetText(data.charset).c_str(), from);
}

bool numberParse(const std::string& text, long& value)
{
	if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
		return false;
	value = long(Str::Atoll(text.c_str()));
	return true;
}

bool keyIs(const std::string& key, const char* name)
{
	return strcasecmp(key.c_str(), name) == 0;
}

// Applies one KEY=VALUE; an empty result, or why it is refused.
std::string assign(GroupData& data, const std::string& key, const std::string& value)
{
	long number = 0;
	if (keyIs(key, GroupData::kKeyType)) {
		if (!numberParse(value, number) || !GroupData::typeValid(uint32_t(number)))
			return "DownloadType takes 1 (do not download), 2 (headers only) or 3 (full messages)";
		data.downloadType = uint32_t(number);
	} else if (keyIs(key, GroupData::kKeyOrder)) {
		if (!numberParse(value, number) || !GroupData::orderValid(uint32_t(number)))
			return "DownloadOrder takes 1 (oldest first) or 2 (newest first)";
		data.downloadOrder = uint32_t(number);
	} else if (keyIs(key, GroupData::kKeyLimits)) {
		if (value != "0" && value != "1")
			return "EnableDownloadLimits takes 0 or 1";
		data.limitsEnabled = value == "1";
	} else if (keyIs(key, GroupData::kKeyArticleLimit) || keyIs(key, GroupData::kKeyHeaderLimit)) {
		if (!numberParse(value, number))
			return key + " takes a whole number";
		(keyIs(key, GroupData::kKeyArticleLimit) ? data.articleLimit : data.headerLimit) = uint32_t(number);
	} else if (keyIs(key, GroupData::kKeyExpire)) {
		long long usecs = 0;
		if (!TimeFormat::Usecs(&usecs, value.c_str(), true) &&
			!TimeFormat::Usecs(&usecs, value.c_str(), false))
			return "Expire takes a duration such as \"14 days\"";
		if (GroupData::ExpireMakeValid(usecs) != usecs)
			return "Expire must lie between 1 day and 720 days";
		data.expire = usecs;
	} else if (keyIs(key, GroupData::kKeyCharset)) {
		if (value.empty() || strcasecmp(value.c_str(), "none") == 0 || value == "<None>") {
			data.charset = kCharsetNone;
		} else {
			Charset cs = CSet::Value(value.c_str());
			if (cs == kCharsetNone)
				return "unknown character set: " + value;
			data.charset = cs;
		}
	} else {
		return "unknown key " + key +
			" (keys: DownloadType, DownloadOrder, EnableDownloadLimits, ArticleLimit, HeaderLimit, Expire, "
			"Charset)";
	}
	return "";
}

int run(const Args& args)
{
	std::vector<std::string> names, sets;
	for (const std::string& word : args.Positional()) {
		if (word.find('=') != std::string::npos)
			sets.push_back(word);
		else if (!sets.empty())
			return Command::Usage(info(), "ACCOUNT and GROUP come before the settings");
		else
			names.push_back(word);
	}
	if (names.size() > 2)
		return Command::Usage(info(), "too many arguments");
	TString account(names.empty() ? "" : names[0].c_str());
	TString group(names.size() < 2 ? "" : names[1].c_str());
	if (!account.Empty()) {
		AcctData acct;
		if (!AcctMngr::Get(account, acct))
			return Command::Fail("no such account: " + names[0]);
		account = acct.name;
	}
	if (!group.Empty()) {
		AcctMngr::GroupSet groups;
		AcctMngr::GroupListGet(account, groups);
		if (!AcctMngr::GroupListFind(groups, group))
			return Command::Fail("account " + names[0] + " does not subscribe to " + names[1]);
	}

	GroupData data;
	GroupData::Level level = GroupData::LevelDefault;
	if (!group.Empty())
		data.GroupGet(account, group, &level);
	else if (!account.Empty())
		data.AccountGet(account, &level);
	else
		data.GlobalGet(&level);
	if (sets.empty()) {
		show(data, level);
		return Command::kExitOkay;
	}

	for (const std::string& word : sets) {
		size_t eq = word.find('=');
		std::string refused = assign(data, word.substr(0, eq), word.substr(eq + 1));
		if (!refused.empty())
			return Command::Usage(info(), refused);
	}
	if (data.limitsEnabled &&
		(GroupData::LimitMakeValid(data.articleLimit) != data.articleLimit ||
			GroupData::LimitMakeValid(data.headerLimit) != data.headerLimit))
		return Command::Usage(info(),
			"with limits enabled, ArticleLimit and HeaderLimit must lie between " +
				std::to_string(GroupData::LimitMin()) + " and " + std::to_string(GroupData::LimitMax()));
	Error err = !group.Empty() ? data.GroupSet(account, group)
		: !account.Empty()     ? data.AccountSet(account)
							   : data.GlobalSet();
	return err == ErrOkay ? int(Command::kExitOkay) : Command::Fail(err);
}

Command::Registrar sSettings({kName, "[ACCOUNT [GROUP]] [KEY=VALUE...]",
	"show or change the download settings of every account, an account or a newsgroup",
	"Without KEY=VALUE, prints KEY, VALUE and the level the settings come from (group, account,\n"
	"global or default). A group without its own settings uses its account's, an account without\n"
	"its own uses the global ones. Keys:\n"
	"  DownloadType          1 do not download, 2 headers only, 3 full messages\n"
	"  DownloadOrder         1 oldest first, 2 newest first\n"
	"  EnableDownloadLimits  0 or 1\n"
	"  ArticleLimit          articles fetched at most per group and run (4 to 100000)\n"
	"  HeaderLimit           headers fetched at most per group and run (4 to 100000)\n"
	"  Expire                how long articles are kept, 1 day to 720 days, e.g. \"14 days\"\n"
	"  Charset               charset of unlabelled text, e.g. ISO-8859-1, or none",
	{}, true, run});

}  // namespace
