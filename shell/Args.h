// The words of one command line after the command's name: options ("--name value" or "--flag")
// and positional arguments, checked against what the command accepts.
#pragma once

#include <map>
#include <string>
#include <vector>

class Args {
public:
	struct Option {
		const char* name;  // with the leading "--"
		bool takesValue;
	};

	// Splits words by the options a command accepts. On failure, error says why.
	bool Parse(const std::vector<std::string>& words, const std::vector<Option>& accepted, std::string& error);

	const std::vector<std::string>& Positional() const { return mPositional; }
	size_t Count() const { return mPositional.size(); }
	const std::string& operator[](size_t i) const { return mPositional[i]; }

	bool Has(const std::string& name) const { return mOptions.count(name) != 0; }
	// The value of an option, or fallback when it was not given.
	std::string Value(const std::string& name, const std::string& fallback = "") const;

private:
	std::vector<std::string> mPositional;
	std::map<std::string, std::string> mOptions;
};
