#include "PrefsValue.h"

#include <cmath>

PrefsValue PrefsValue::FromString(const TString& value)
{
	PrefsValue v;
	v.StringSet(value);
	return v;
}

PrefsValue PrefsValue::FromInteger(long long value)
{
	PrefsValue v;
	v.IntegerSet(value);
	return v;
}

PrefsValue PrefsValue::FromReal(double value)
{
	PrefsValue v;
	v.RealSet(value);
	return v;
}

PrefsValue PrefsValue::FromBoolean(bool value)
{
	PrefsValue v;
	v.BooleanSet(value);
	return v;
}

PrefsValue PrefsValue::FromDict()
{
	PrefsValue v;
	v.DictSet();
	return v;
}

bool PrefsValue::StringGet(TString& value) const
{
	if (mType != TypeString) {
		value.Erase();
		return false;
	}
	value = mString;
	return true;
}

bool PrefsValue::IntegerGet(long long& value) const
{
	value = mType == TypeInteger ? mInteger : 0;
	return mType == TypeInteger;
}

bool PrefsValue::RealGet(double& value) const
{
	value = mType == TypeReal ? mReal : 0;
	return mType == TypeReal;
}

bool PrefsValue::BooleanGet(bool& value) const
{
	value = mType == TypeBoolean && mInteger != 0;
	return mType == TypeBoolean;
}

bool PrefsValue::BoolRead(bool& value) const
{
	value = false;
	switch (mType) {
	case TypeBoolean:
	case TypeInteger: value = mInteger != 0; return true;
	case TypeReal: value = mReal != 0; return true;
	case TypeString: {
		const char* s = mString.String();
		while (*s == ' ' || *s == '\t')
			++s;
		if (*s == '+' || *s == '-')
			++s;
		while (*s == '0')
			++s;
		value = *s == 'Y' || *s == 'y' || *s == 'T' || *s == 't' || (*s >= '1' && *s <= '9');
		return true;
	}
	default: return false;
	}
}

bool PrefsValue::TextRead(TString& value) const
{
	value.Erase();
	switch (mType) {
	case TypeString: value = mString; return true;
	case TypeInteger:
	case TypeBoolean: value.Fmt("%lld", mInteger); return true;
	case TypeReal: value.Fmt("%.17g", mReal); return true;
	default: return false;
	}
}

void PrefsValue::StringSet(const TString& value)
{
	*this = PrefsValue();
	mType = TypeString;
	mString = value;
}

void PrefsValue::IntegerSet(long long value)
{
	*this = PrefsValue();
	mType = TypeInteger;
	mInteger = value;
}

void PrefsValue::RealSet(double value)
{
	*this = PrefsValue();
	mType = TypeReal;
	mReal = value;
}

void PrefsValue::BooleanSet(bool value)
{
	*this = PrefsValue();
	mType = TypeBoolean;
	mInteger = value ? 1 : 0;
}

void PrefsValue::DictSet()
{
	*this = PrefsValue();
	mType = TypeDict;
}

const PrefsValue* PrefsValue::Find(const char* key) const
{
	if (mType != TypeDict || !key)
		return nullptr;
	auto it = mDict.find(key);
	return it == mDict.end() ? nullptr : &it->second;
}

PrefsValue* PrefsValue::Find(const char* key)
{
	return const_cast<PrefsValue*>(static_cast<const PrefsValue*>(this)->Find(key));
}

PrefsValue& PrefsValue::Entry(const char* key)
{
	if (mType != TypeDict)
		DictSet();
	return mDict[key ? key : ""];
}

bool PrefsValue::Remove(const char* key)
{
	return mType == TypeDict && key && mDict.erase(key) > 0;
}

bool PrefsValue::operator==(const PrefsValue& other) const
{
	if (mType != other.mType)
		return false;
	switch (mType) {
	case TypeString: return mString == other.mString;
	case TypeInteger:
	case TypeBoolean: return mInteger == other.mInteger;
	case TypeReal: return mReal == other.mReal || (std::isnan(mReal) && std::isnan(other.mReal));
	case TypeDict: return mDict == other.mDict;
	default: return true;
	}
}
