// The download settings of a newsgroup: whether and how its articles are fetched, how many,
// in which order, how long they are kept and which charset unlabelled text is read in. They
// live in settings files at three levels (the group, the account, every account); a group
// uses the first level whose file reads as valid, else the built-in defaults.
#pragma once

#include <cstdint>

#include "Charset.h"
#include "Error.h"
#include "TString.h"

class GroupData {
public:
	enum DownloadType : uint32_t {
		TypeNone = 1,  // the group is not downloaded
		TypeHeaders = 2,  // headers only; bodies come later on request
		TypeFull = 3,  // whole articles
	};
	// Where a record came from.
	enum Level : int { LevelDefault = 0, LevelGlobal = 1, LevelAccount = 2, LevelGroup = 3 };

	Charset charset = kCharsetNone;
	long long expire = 0;
	uint32_t downloadOrder = 0;
	uint32_t downloadType = 0;
	bool limitsEnabled = false;
	uint32_t articleLimit = 0;
	uint32_t headerLimit = 0;

	GroupData() { Default(); }

	// The settings that apply to a group, falling back level by level; never fails. level, when
	// given, tells which level they came from.
	void GroupGet(const TString& account, const TString& group, Level* level = nullptr);
	void AccountGet(const TString& account, Level* level = nullptr);
	void GlobalGet(Level* level = nullptr);

	// Reads exactly one level's file (no fallback); on failure the record is zeroed.
	Error GroupRead(const TString& account, const TString& group);
	Error AccountRead(const TString& account);
	Error GlobalRead();

	// Store this record at one level, then tell the message store.
	Error GroupSet(const TString& account, const TString& group) const;
	Error AccountSet(const TString& account) const;
	Error GlobalSet() const;

	void Default();
	void Clear();
	bool Valid() const;
	void makeValid();

	static long long ExpireMin();
	static long long ExpireMax();
	static long long ExpireMakeValid(long long t);
	static constexpr uint32_t LimitMin() { return 4; }
	static constexpr uint32_t LimitMax() { return 100000; }
	static uint32_t LimitMakeValid(long long n);
	static bool orderValid(uint32_t order) { return order == 1 || order == 2; }
	static bool typeValid(uint32_t type) { return type >= 1 && type <= 3; }
	uint32_t IconTypeGet() const;

	// The record in a settings file's section, and back.
	Error fileRead(const TString& path);
	Error fileWrite(const TString& path) const;

	bool operator==(const GroupData&) const = default;

	// Names of the keys, in the order they are written.
	static const char* const kSection;
	static const char* const kKeyExpire;
	static const char* const kKeyOrder;
	static const char* const kKeyLimits;
	static const char* const kKeyArticleLimit;
	static const char* const kKeyHeaderLimit;
	static const char* const kKeyType;
	static const char* const kKeyCharset;
};
