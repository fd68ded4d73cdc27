// One value of a preferences domain: a string, an integer, a real number, a boolean or a
// dictionary of further values keyed by name.
#pragma once

#include <map>
#include <string>

#include "TString.h"

class PrefsValue {
public:
	enum Type : int {
		TypeNone = 0,
		TypeString = 1,
		TypeInteger = 2,
		TypeReal = 3,
		TypeBoolean = 4,
		TypeDict = 5,
	};
	using Dict = std::map<std::string, PrefsValue>;

	PrefsValue() = default;
	static PrefsValue FromString(const TString& value);
	static PrefsValue FromInteger(long long value);
	static PrefsValue FromReal(double value);
	static PrefsValue FromBoolean(bool value);
	static PrefsValue FromDict();

	Type TypeGet() const { return mType; }
	bool IsDict() const { return mType == TypeDict; }
	// Integers, reals and booleans are numbers.
	bool IsNumber() const { return mType == TypeInteger || mType == TypeReal || mType == TypeBoolean; }

	// Exact readings: false (and the output cleared) when the type differs.
	bool StringGet(TString& value) const;
	bool IntegerGet(long long& value) const;
	bool RealGet(double& value) const;
	bool BooleanGet(bool& value) const;

	// A boolean read the lenient way: booleans, numbers (non-zero is true) and texts
	// starting with Y, y, T, t or a non-zero digit (as "YES", "true", "1").
	bool BoolRead(bool& value) const;
	// A text read the lenient way: strings as they are, numbers in decimal.
	bool TextRead(TString& value) const;

	void StringSet(const TString& value);
	void IntegerSet(long long value);
	void RealSet(double value);
	void BooleanSet(bool value);
	// Makes this an empty dictionary.
	void DictSet();

	// Dictionary entries; null when this is not a dictionary or has no such key.
	const Dict* DictGet() const { return mType == TypeDict ? &mDict : nullptr; }
	const PrefsValue* Find(const char* key) const;
	PrefsValue* Find(const char* key);
	// The entry of key, created empty when missing; turns this into a dictionary first.
	PrefsValue& Entry(const char* key);
	bool Remove(const char* key);

	bool operator==(const PrefsValue& other) const;
	bool operator!=(const PrefsValue& other) const { return !(*this == other); }

private:
	Type mType = TypeNone;
	TString mString;
	long long mInteger = 0;
	double mReal = 0;
	Dict mDict;
};
