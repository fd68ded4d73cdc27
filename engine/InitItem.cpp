#include "InitItem.h"

#include "InitFile.h"
#include "TimeFormat.h"

#include <strings.h>

bool InitItem::BoolSet(InitFile& file, const char* section, const char* item, bool value)
{
	return file.ItemSetCustom(section, item, TString(value ? "true" : "false"));
}

bool InitItem::BoolGet(const InitFile& file, const char* section, const char* item, bool& value)
{
	value = false;
	TString raw;
	if (!TextGet(file, section, item, raw))
		return false;
	raw.Trim();
	static const char* const sYes[] = {"true", "yes", "on", "enabled", "1"};
	static const char* const sNo[] = {"false", "no", "off", "disabled", "0"};
	for (const char* word : sYes) {
		if (strcasecmp(raw.String(), word) == 0) {
			value = true;
			return true;
		}
	}
	for (const char* word : sNo) {
		if (strcasecmp(raw.String(), word) == 0)
			return true;
	}
	return false;
}

bool InitItem::TextGet(const InitFile& file, const char* section, const char* item, TString& value)
{
	if (file.ItemGet(section, item, value))
		return true;
	return file.ItemGetCustom(section, item, value);
}

bool InitItem::DurationSet(InitFile& file, const char* section, const char* item, long long usecs)
{
	TString text;
	TimeFormat::Usecs(text, usecs, usecs % 1000000 != 0, true);
	text.Trim();
	return file.ItemSet(section, item, text);
}

bool InitItem::DurationGet(const InitFile& file, const char* section, const char* item, long long& usecs)
{
	usecs = 0;
	TString text;
	if (!TextGet(file, section, item, text))
		return false;
	if (TimeFormat::Usecs(&usecs, text, true))
		return true;
	return TimeFormat::Usecs(&usecs, text, false);
}
