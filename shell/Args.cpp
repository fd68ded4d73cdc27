#include "Args.h"

bool Args::Parse(const std::vector<std::string>& words, const std::vector<Option>& accepted, std::string& error)
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
