// The program's settings files (extension "init"): named sections of named items, with
// comments. The file's lines are kept as read, so that writing back keeps the user's own
// comments, blank lines, line order and unknown sections, and changes only the lines of
// items whose values changed. Section and item names ignore ASCII case.
//
// File format, one entry a line:
//   ; a comment
//   [Section]                      ; optional comment
//   Name = "quoted text\twith escapes"   ; a string item
//   Port = 119                     ; anything unquoted is a custom item (numbers are)
// Names have 4 to 40 characters, do not start with a digit, and contain no whitespace and
// none of [ ] ; = " '.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "Error.h"
#include "TString.h"

class InitFile {
public:
	enum LineType : int {
		LineBlank = 1,
		LineComment = 2,
		LineInvalid = 3,
		LineNotUtf8 = 4,
		LineItem = 5,
		LineSection = 6,
	};
	enum ItemType : int {
		ItemString = 1,
		ItemCustom = 2,
	};

	struct Item {
		int type = ItemString;
		TString value;  // decoded text of a string item, raw text of a custom item
		TString comment;
	};
	struct Sect {
		std::map<TString, Item, TString::CompNoCase> items;
		TString comment;
	};
	struct ParseData {
		TString name;
		TString value;
		TString comment;
		int itemType = ItemString;  // for item lines
	};

	static constexpr long kNameMin = 4;
	static constexpr long kNameMax = 40;
	static constexpr long kCommentColumn = 42;

	InitFile();

	// Reads path (its extension replaced by "init"); a missing file is ErrFileNotFound, a
	// malformed line ErrFileInvalidData (what came before it is kept).
	Error StateRead(const TString& path, long long lockWait);
	// Writes path (extension "init"). The new content goes to a temporary file that replaces
	// the old one only once it is complete on disk, so a failed write leaves the previous
	// file as it was.
	// A new file gets the permission bits newPerm when it is 0 or more.
	Error StateWrite(const TString& path, long long lockWait, long newPerm = -1);
	// A change that no other process's change can come between: takes the file's lock (see
	// FileLock; waiting at least FileLock::kWaitChange), reads the file (a missing one reads as empty), applies change, and writes the
	// result when change returns ErrOkay. The first error wins; the lock is always given back.
	Error Update(const TString& path, long long lockWait, const std::function<Error(InitFile&)>& change,
		long newPerm = -1);
	void Clear();
	static const char* FileExtension() { return "init"; }

	const TString& TitleGet() const { return mTitle; }
	void TitleSet(const TString& title) { mTitle = title; }

	bool SectionSet(const TString& section);
	bool SectionGet(const TString& section) const;
	bool SectionDel(const TString& section);
	bool SectionComment(const TString& section, const TString& comment);
	// The section names in order (ignoring case).
	void SectionList(std::vector<TString>& names) const;
	// The item names of a section in order; false when there is no such section.
	bool ItemList(const TString& section, std::vector<TString>& names) const;

	bool ItemSet(const TString& section, const TString& item, const TString& value);
	bool ItemSet(const TString& section, const TString& item, const char* value)
	{
		return ItemSet(section, item, TString(value));
	}
	bool ItemSet(const TString& section, const TString& item, long value);
	// Setters refuse (false) what would not read back: text that is not UTF-8 and item lines
	// longer than a text line. Raw text is stored trimmed; it must stay on its line and come
	// back the same, so CR, LF, ";" and a leading double quote are refused.
	bool ItemSetCustom(const TString& section, const TString& item, const TString& raw);
	bool ItemGet(const TString& section, const TString& item, TString& value) const;
	bool ItemGet(const TString& section, const TString& item, long& value) const;
	bool ItemGetCustom(const TString& section, const TString& item, TString& raw) const;
	bool ItemDel(const TString& section, const TString& item);
	bool ItemComment(const TString& section, const TString& item, const TString& comment);
	// Bracket a complete rewrite: Start forgets all sections and items (the lines stay), the
	// caller sets everything it keeps, Stop removes the lines of what was not set again.
	void ItemSetStart();
	void ItemSetStop();

	const std::vector<TString>& Lines() const { return mLines; }

	static bool NameValid(const TString& name);
	// Classifies one line and takes it apart.
	static LineType Parse(const TString& line, ParseData& data);
	static void FormatSection(TString& line, const TString& name, const TString& comment);
	static void FormatItem(TString& line, const TString& name, const Item& item, const TString& comment);

private:
	const Item* itemFind(const TString& section, const TString& item) const;
	bool itemStore(const TString& section, const TString& item, int type, const TString& value);
	void sectionsPrune();
	void linesBuild();

	std::vector<TString> mLines;
	std::map<TString, Sect, TString::CompNoCase> mSections;
	TString mTitle;
};
