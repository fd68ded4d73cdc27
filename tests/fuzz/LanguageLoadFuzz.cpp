// Feeds arbitrary language files to the language loader, as a translator or a damaged disk
// would leave them. An input that starts with byte 1 instead holds English texts (split at NUL
// bytes) for three keys of a section of its own: a language file written with them must read
// back with every text the same.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "AppPathMngr.h"
#include "Err.h"
#include "LangSection.h"
#include "Language.h"
#include "LanguageLoad.h"
#include "LanguageMngr.h"
#include "Output.h"
#include "TString.h"
#include "TimeFormat.h"

namespace {

const int kTexts = 3;
const char* const kKeys[kTexts] = {"FuzzPlain", "FuzzCount", "FuzzNamed"};
const char* const kFormats[kTexts] = {"", "%ld", "%s %ld"};
std::string sTexts[kTexts];
LangData sRows[kTexts + 1];
const LangSection sSection = {"Fuzz strings", 1990, sRows};

std::string sFile;
long sIndex = -1;

void quiet(const char*, const char*)
{}

bool setUp()
{
	char dir[] = "/tmp/quillfern-fuzz-XXXXXX";
	if (mkdtemp(dir) == nullptr)
		return false;
	std::string share = std::string(dir) + "/share";
	mkdir(share.c_str(), 0700);
	mkdir((share + "/Fuzz.lproj").c_str(), 0700);
	sFile = share + "/Fuzz.lproj/strings.txt";
	std::ofstream(sFile).close();
	AppPathMngr::ResourcesSet(share.c_str());
	AppPathMngr::ResourcesUserSet((std::string(dir) + "/user").c_str());
	Output::AlertProcSet(quiet);
	if (!Language::Start() || !Err::Start() || !TimeFormat::Start() || !LanguageMngr::Start())
		return false;
	sIndex = LanguageMngr::Find("Fuzz");
	return sIndex >= 0;
}

bool writable(const std::string& text)
{
	// A text written by the program is valid UTF-8 without CR, and its line fits a text line.
	TString check;
	check.AllowInvalidSet(true);
	check.AssignByte(text.data(), (long)text.size());
	return text.size() <= 600 && check.Valid() && text.find('\r') == std::string::npos;
}

void textsReadBack(const std::string& input)
{
	size_t at = 1;
	for (int i = 0; i < kTexts; i++) {
		size_t end = input.find('\0', at);
		sTexts[i] = input.substr(at, end == std::string::npos ? std::string::npos : end - at);
		at = end == std::string::npos ? input.size() : end + 1;
		if (!writable(sTexts[i]))
			return;
		sRows[i] = LangData{kKeys[i], kFormats[i], sTexts[i].c_str()};
	}
	sRows[kTexts] = LangData{nullptr, nullptr, nullptr};
	if (!Language::SectionAdd(&sSection))
		return;
	// Only texts that are good English texts for their keys count.
	bool good = true;
	for (int i = 0; i < kTexts && good; i++)
		good = Language::NameLocal(kKeys[i], sTexts[i].c_str()) == Language::NameOkay;
	if (good) {
		TString problem;
		if (!LanguageLoad::FileWrite(sFile.c_str(), "Fuzz") || !LanguageLoad::Read(sIndex, &problem)) {
			std::fprintf(stderr, "written file refused: %s\n", problem.String());
			__builtin_trap();
		}
		for (int i = 0; i < kTexts; i++) {
			TString local, english;
			Language::String(kKeys[i], local, false, "name", 2L);
			Language::String(kKeys[i], english, true, "name", 2L);
			if (local.ByteLength() != english.ByteLength() ||
				std::string(local.String()) != std::string(english.String())) {
				std::fprintf(stderr, "%s read back as \"%s\", written \"%s\"\n", kKeys[i], local.String(),
					english.String());
				__builtin_trap();
			}
		}
	}
	Language::SectionRemove(&sSection);
	Language::NameClear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const bool ready = setUp();
	if (!ready)
		return 0;
	std::string input(reinterpret_cast<const char*>(data), size);
	if (!input.empty() && input[0] == '\x01') {
		textsReadBack(input);
		return 0;
	}
	{
		std::ofstream out(sFile, std::ios::binary | std::ios::trunc);
		out.write(input.data(), (std::streamsize)input.size());
	}
	TString problem;
	bool read = LanguageLoad::Read(sIndex, &problem);
	if (getenv("QF_FUZZ_VERBOSE") != nullptr)
		std::fprintf(stderr, "%s\n", read ? "read" : problem.String());
	Language::NameClear();
	return 0;
}
