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
	bool Parse(
		const std::vector<std::string>& words, const std::vector<Option>& accepted, std::string& error);

	const std::vector<std::string>& Positional() const { return mPositional; }
	size_t Count() const { return mPositional.size(); }
	const std::string& operator[](size_t i) const { return mPositional[i]; }

	bool Has(const std::string& name) const { return mOptions.count(name) != 0; }
	// The value of an option, or fallback when it was not given.
	std::string Value(const std::string& name, const std::string& fallback = "") const;

	// The longest text an argument may have: every value must fit on one settings line.
	static constexpr size_t kTextMax = 1000;
	// Every argument and option value must be text: valid UTF-8, no control characters (so
	// that each record the command prints stays one line of fixed fields) and at most
	// kTextMax bytes. False with error naming the option or argument.
	bool TextCheck(std::string& error) const;
	// Why word is not acceptable text, or empty when it is.
	static std::string TextFault(const std::string& word);

private:
	std::vector<std::string> mPositional;
	std::map<std::string, std::string> mOptions;
};
