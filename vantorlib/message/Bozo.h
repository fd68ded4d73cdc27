// One killfile entry: an author's name and e-mail address, when it was made and how long it lasts.
#pragma once

#include "TString.h"

class Bozo {
public:
	Bozo() = default;
	Bozo(const TString& author, const TString& email);

	void Clear();

	// The author's name, a tab and the address: what entries are ordered by.
	const TString& Key() const { return mKey; }
	const TString& Author() const { return mAuthor; }
	const TString& Email() const { return mEmail; }
	long long DateGet() const { return mDate; }
	long long LengthGet() const { return mLength; }
	void DateSet(long long date) { mDate = date; }
	void LengthSet(long long length) { mLength = length; }

	// Order of the list: the keys in list order (case folded first, then byte for byte); a
	// name holding a tab cannot pass for another pair, as name and address break the tie.
	int comp(const Bozo& other) const;
	bool operator<(const Bozo& other) const { return comp(other) < 0; }
	bool operator==(const Bozo& other) const { return comp(other) == 0; }

	// Whether the entry has run out at time t (0 meaning now).
	bool Expired(long long t = 0) const;

	// The file line: name, address, date, length, separated by tabs. Tabs, line ends and
	// backslashes inside the name and the address are written as \t, \n, \r and \\ so that
	// every value reads back as it was.
	void LineFormat(TString& line) const;
	// Reads a file line; false (and a cleared entry) when it is not one.
	bool LineParse(const TString& line);

	// Whether a name and address can be an entry: both non-empty after trimming, valid UTF-8,
	// and short enough for a file line.
	static bool PairValid(const TString& author, const TString& email);
	// The form a name or address is kept in: trimmed of white space at both ends.
	static TString Clean(const TString& text);

private:
	void keyBuild();

	TString mKey;
	TString mAuthor;
	TString mEmail;
	long long mDate = 0;
	long long mLength = 0;
};
