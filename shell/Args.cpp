#include "Args.h"

#include "Unicode.h"

bool Args::Parse(
	const std::vector<std::string>& words, const std::vector<Option>& accepted, std::string& error)
{
	mPositional.clear();
	mOptions.clear();
	bool optionsEnded = false;
	for (size_t i = 0; i < words.size(); ++i) {
		const std::string& word = words[i];
		if (optionsEnded || word.size() < 3 || word.compare(0, 2, "--") != 0) {
			if (word == "--" && !optionsEnded) {
				optionsEnded = true;
				continue;
			}
			mPositional.push_back(word);
			continue;
		}
		std::string name = word, value;
		bool inlineValue = false;
		size_t eq = word.find('=');
		if (eq != std::string::npos) {
			name = word.substr(0, eq);
			value = word.substr(eq + 1);
			inlineValue = true;
		}
		const Option* found = nullptr;
		for (const Option& opt : accepted)
			if (name == opt.name)
				found = &opt;
		if (!found) {
			error = "unknown option " + name;
			return false;
		}
		if (found->takesValue && !inlineValue) {
			if (i + 1 >= words.size()) {
				error = "option " + name + " needs a value";
				return false;
			}
			value = words[++i];
		} else if (!found->takesValue && inlineValue) {
			error = "option " + name + " takes no value";
			return false;
		}
		mOptions[name] = value;
	}
	return true;
}

std::string Args::Value(const std::string& name, const std::string& fallback) const
{
	auto it = mOptions.find(name);
	return it == mOptions.end() ? fallback : it->second;
}

std::string Args::TextFault(const std::string& word)
{
	long bytes = 0, chars = 0;
	long size = static_cast<long>(word.size());
	if (!Unicode::Validate(word.c_str(), size + 1, size + 1, &bytes, &chars) || bytes != size)
		return "is not valid UTF-8";
	for (unsigned char c : word)
		if (c < 0x20 || c == 0x7F)
			return "holds a control character (such as a tab or a line break)";
	if (word.size() > kTextMax)
		return "is too long (at most " + std::to_string(kTextMax) + " bytes)";
	return "";
}

bool Args::TextCheck(std::string& error) const
{
	for (const auto& [name, value] : mOptions) {
		std::string fault = TextFault(value);
		if (!fault.empty()) {
			error = "the value of ";
			error += name;
			error += ' ';
			error += fault;
			return false;
		}
	}
	for (size_t i = 0; i < mPositional.size(); ++i) {
		std::string fault = TextFault(mPositional[i]);
		if (!fault.empty()) {
			error = "argument " + std::to_string(i + 1) + " " + fault;
			return false;
		}
	}
	return true;
}
