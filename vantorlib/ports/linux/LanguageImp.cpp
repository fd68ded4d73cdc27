#include "LanguageImp.h"

#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

struct Code {
	const char* code;
	const char* name;
};

const Code kNames[] = {
	{"ar", "Arabic"},
	{"bg", "Bulgarian"},
	{"ca", "Catalan"},
	{"cs", "Czech"},
	{"cy", "Welsh"},
	{"da", "Danish"},
	{"de", "German"},
	{"el", "Greek"},
	{"en", "English"},
	{"eo", "Esperanto"},
	{"es", "Spanish"},
	{"et", "Estonian"},
	{"eu", "Basque"},
	{"fa", "Persian"},
	{"fi", "Finnish"},
	{"fr", "French"},
	{"ga", "Irish"},
	{"gl", "Galician"},
	{"he", "Hebrew"},
	{"hi", "Hindi"},
	{"hr", "Croatian"},
	{"hu", "Hungarian"},
	{"id", "Indonesian"},
	{"is", "Icelandic"},
	{"it", "Italian"},
	{"ja", "Japanese"},
	{"ko", "Korean"},
	{"lt", "Lithuanian"},
	{"lv", "Latvian"},
	{"nb", "Norwegian"},
	{"nl", "Dutch"},
	{"nn", "Norwegian"},
	{"no", "Norwegian"},
	{"pl", "Polish"},
	{"pt", "Portuguese"},
	{"ro", "Romanian"},
	{"ru", "Russian"},
	{"sk", "Slovak"},
	{"sl", "Slovenian"},
	{"sr", "Serbian"},
	{"sv", "Swedish"},
	{"th", "Thai"},
	{"tr", "Turkish"},
	{"uk", "Ukrainian"},
	{"vi", "Vietnamese"},
	{"zh", "Chinese"},
};

bool same(const std::string& a, const std::string& b)
{
	if (a.size() != b.size())
		return false;
	for (size_t i = 0; i < a.size(); ++i) {
		char x = a[i] == '-' ? '_' : a[i];
		char y = b[i] == '-' ? '_' : b[i];
		if (std::tolower(static_cast<unsigned char>(x)) != std::tolower(static_cast<unsigned char>(y)))
			return false;
	}
	return true;
}

long find(const std::vector<std::string>& folders, const std::string& name)
{
	if (name.empty())
		return -1;
	for (size_t i = 0; i < folders.size(); ++i)
		if (same(folders[i], name))
			return long(i);
	return -1;
}

}  // namespace

std::vector<std::string> LanguageImp::Preferred()
{
	std::vector<std::string> out;
	for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
		const char* value = std::getenv(var);
		if (!value)
			continue;
		std::string list = value;
		size_t start = 0;
		while (start <= list.size()) {
			size_t colon = list.find(':', start);
			std::string item =
				list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
			if (!item.empty())
				out.push_back(item);
			if (colon == std::string::npos)
				break;
			start = colon + 1;
		}
	}
	return out;
}

const char* LanguageImp::CodeName(const std::string& code)
{
	for (const Code& c : kNames)
		if (same(code, c.code))
			return c.name;
	return "";
}

long LanguageImp::Choose(const std::vector<std::string>& locales, const std::vector<std::string>& folders)
{
	for (const std::string& locale : locales) {
		// "de_DE.UTF-8@euro": drop the code set and the modifier.
		std::string base = locale.substr(0, locale.find_first_of(".@"));
		if (base == "C" || base == "POSIX") {
			long i = find(folders, "English");
			if (i < 0)
				i = find(folders, "en");
			if (i >= 0)
				return i;
			continue;
		}
		std::string code = base.substr(0, base.find_first_of("_-"));
		for (const std::string& name : {base, code, std::string(CodeName(code))}) {
			long i = find(folders, name);
			if (i >= 0)
				return i;
		}
	}
	return -1;
}
