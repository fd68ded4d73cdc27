// The table of localized strings. Facilities register sections of (key, variable formats,
// English text) rows in their Start(); String() gives the text of the current language (or
// English) with its variables substituted.
//
// Text syntax: "%1".."%99" is variable n formatted with its printf conversion; "%1p?file:files"
// is the singular word when variable 1 is in the language's singular set, else the plural word;
// "\%" is a literal percent sign, "\\" one backslash, any other single backslash is dropped.
#pragma once

#include <cstdarg>
#include <string>
#include <type_traits>
#include <vector>

#include "LangSection.h"

class TString;

// One (value, key) pair of a table for Language::IndexValue and IndexString; a table ends with
// a pair whose key is null and holds at most 500 pairs.
struct LangIndex {
	long value;
	const char* key;
};

class Language {
public:
	// Kind of a variable, from the last letters of its conversion.
	enum VarType {
		VarNone = 0,
		VarChar = 1,  // c
		VarDouble = 2,  // e E f g G
		VarLong = 3,  // d i
		VarLongLong = 4,  // lld lli Ld Li
		VarString = 5,  // s
		VarULong = 6,  // u x X o
		VarULongLong = 7,  // llu llx llX llo and the L forms
	};

	// One argument as the caller passed it; converted to the key's declared type on use.
	struct Arg {
		enum Kind { None, Signed, Unsigned, Floating, Text } kind = None;
		long long i = 0;
		unsigned long long u = 0;
		double d = 0;
		const char* s = nullptr;

		Arg() = default;
		template <typename T> Arg(const T& v)
		{
			if constexpr (std::is_same_v<T, bool>) {
				kind = Signed;
				i = v ? 1 : 0;
			} else if constexpr (std::is_enum_v<T>) {
				kind = Signed;
				i = static_cast<long long>(v);
			} else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
				kind = Signed;
				// A char argument is a number here, sign and all.
				i = v;  // NOLINT(bugprone-signed-char-misuse,cert-str34-c)
			} else if constexpr (std::is_integral_v<T>) {
				kind = Unsigned;
				u = v;
			} else if constexpr (std::is_floating_point_v<T>) {
				kind = Floating;
				d = static_cast<double>(v);
			} else if constexpr (std::is_convertible_v<const T&, const char*>) {
				kind = Text;
				s = v;
			} else if constexpr (requires { v.String(); }) {
				kind = Text;
				s = v.String();
			} else {
				kind = Text;
				s = v.c_str();
			}
		}
	};

	// Result of storing a language text for a key (NameLocal).
	enum NameResult {
		NameOkay = 0,
		NameUnknown,  // the key is not registered
		NameBadArgs,  // the text's placeholders do not match the key's variables
		NameBadSingular,  // the "Singular" text is not a list of distinct integers
	};

	static bool Start();
	static void Stop();
	static bool Started();

	// Registers a section and its keys; false when the section or any of its keys is already
	// registered, or a row's variable formats are not valid conversions (then nothing is added).
	static bool SectionAdd(const LangSection* section);
	// Unregisters a section (for a facility's Stop()); false when it was not registered.
	static bool SectionRemove(const LangSection* section);

	// The text of key with the arguments substituted; the arguments are converted to the types
	// that the key's variable formats give. The text is the current language's unless english
	// is set or the language has none for the key. An unknown key gives "Invalid localized
	// string name" and false; a reference beyond the variables gives "[bad language replacement]"
	// in its place and false.
	template <typename... A> static bool String(const char* key, TString& out, bool english, const A&... args)
	{
		const Arg list[] = {Arg(args)..., Arg()};
		return stringArgs(key, out, english, list, sizeof...(A));
	}
	// The same, reading the variables from a va_list by the key's formats ("%ld" takes a long).
	static bool StringArg(const char* key, TString& out, bool english, va_list ap);
	// The substitution on a given text (in English, with the English singular set).
	template <typename... A>
	static bool StringRaw(TString& out, const char* text, const char* formats, const A&... args)
	{
		const Arg list[] = {Arg(args)..., Arg()};
		return stringRawArgs(out, text, formats, list, sizeof...(A));
	}

	// True when n takes the plural form (is not in the English or current singular set).
	static bool Plural(long long n, bool english);

	// The eight boolean words ("Off", "No", "False", "Disabled"; "On", "Yes", "True", "Enabled").
	static bool BoolValue(const char* text, bool* value, bool english);
	static const char* BoolString(TString& out, bool value, bool english);
	static bool IndexValue(const LangIndex* table, const char* text, long* value, bool english);
	static bool IndexString(const LangIndex* table, long value, TString& out, bool english);

	// A byte count as "%1 bytes", "1.50 KB", "12.00 MB" and so on.
	static const char* SizeFormat(unsigned long long bytes, TString& out, bool english);

	static bool NameCheck(const char* key);
	// Stores the current language's text for key after checking it; `extra` is text that
	// stood after the closing quote in the language file and counts for the check.
	static NameResult NameLocal(const char* key, const char* text, const char* extra = "");
	// Forgets every language text (and the language's singular set).
	static void NameClear();
	// True when every key has a language text; else missing names the first that has none.
	static bool NameCheckAll(TString& missing);
	static long NameLongest();
	// The number of variables of key; -1 for an unknown key.
	static long NameVarCount(const char* key);
	static long NameCount();

	// Enumeration of the registered sections and their rows, in order.
	static long SectionCount();
	static bool SectionGet(long index, TString& name);
	static bool SectionItem(long section, long item, TString& key, TString& english);

	// The variable types of a formats text ("%s %ld"); false when a conversion is not valid.
	static bool FormatsParse(const char* formats, std::vector<VarType>* types);

private:
	static bool stringArgs(const char* key, TString& out, bool english, const Arg* args, long count);
	static bool stringRawArgs(
		TString& out, const char* text, const char* formats, const Arg* args, long count);
};
