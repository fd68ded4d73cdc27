#include "GroupData.h"

#include "CSet.h"
#include "InitFile.h"
#include "InitItem.h"
#include "MessageStore.h"
#include "StoragePath.h"
#include "TimeCore.h"

const char* const GroupData::kSection = "Newsgroup";
const char* const GroupData::kKeyExpire = "Expire";
const char* const GroupData::kKeyOrder = "DownloadOrder";
const char* const GroupData::kKeyLimits = "EnableDownloadLimits";
const char* const GroupData::kKeyArticleLimit = "ArticleLimit";
const char* const GroupData::kKeyHeaderLimit = "HeaderLimit";
const char* const GroupData::kKeyType = "DownloadType";
const char* const GroupData::kKeyCharset = "Charset";

namespace {

const long long kLockWait = 1000000;
const long long kDay = 86400LL * 1000000LL;
const char* const kTitle = "Newsgroup preferences";

bool numberGet(const InitFile& file, const char* key, long& value)
{
	return file.ItemGet(GroupData::kSection, key, value);
}

}  // namespace

void GroupData::Default()
{
	charset = kCharsetNone;
	expire = 14 * kDay;
	downloadOrder = 1;
	downloadType = TypeFull;
	limitsEnabled = true;
	articleLimit = 300;
	headerLimit = 300;
}

void GroupData::Clear()
{
	charset = kCharsetNone;
	expire = 0;
	downloadOrder = 0;
	downloadType = 0;
	limitsEnabled = false;
	articleLimit = 0;
	headerLimit = 0;
}

long long GroupData::ExpireMin()
{
	return kDay;
}

long long GroupData::ExpireMax()
{
	return 720 * kDay;
}

long long GroupData::ExpireMakeValid(long long t)
{
	return t < ExpireMin() ? ExpireMin() : (t > ExpireMax() ? ExpireMax() : t);
}

uint32_t GroupData::LimitMakeValid(long long n)
{
	return uint32_t(n < LimitMin() ? LimitMin() : (n > LimitMax() ? LimitMax() : n));
}

void GroupData::makeValid()
{
	if (!orderValid(downloadOrder))
		downloadOrder = 1;
	if (!typeValid(downloadType))
		downloadType = TypeFull;
	if (charset != kCharsetNone)
		charset = CSet::MakeValid(charset);
	if (limitsEnabled) {
		articleLimit = LimitMakeValid(articleLimit);
		headerLimit = LimitMakeValid(headerLimit);
	}
}

bool GroupData::Valid() const
{
	if (!orderValid(downloadOrder) || !typeValid(downloadType))
		return false;
	if (ExpireMakeValid(expire) != expire)
		return false;
	if (charset != kCharsetNone && !CSet::Valid(charset))
		return false;
	if (limitsEnabled &&
		(LimitMakeValid(articleLimit) != articleLimit || LimitMakeValid(headerLimit) != headerLimit))
		return false;
	return true;
}

uint32_t GroupData::IconTypeGet() const
{
	return downloadType == TypeNone ? 8 : (downloadType == TypeHeaders ? 7 : 6);
}

Error GroupData::fileRead(const TString& path)
{
	InitFile file;
	Error err = file.StateRead(path, kLockWait);
	if (err == ErrOkay) {
		long order = 0, type = 0, limits = 0, article = 0, header = 0;
		bool ok = InitItem::DurationGet(file, kSection, kKeyExpire, expire);
		ok = ok && numberGet(file, kKeyOrder, order);
		ok = ok && numberGet(file, kKeyType, type);
		ok = ok && numberGet(file, kKeyLimits, limits);
		ok = ok && numberGet(file, kKeyArticleLimit, article);
		ok = ok && numberGet(file, kKeyHeaderLimit, header);
		// Negative or huge numbers are out of range, not wrapped into it.
		ok = ok && article >= 0 && header >= 0 && article <= long(UINT32_MAX) && header <= long(UINT32_MAX);
		if (ok) {
			downloadOrder = order >= 0 && order <= 2 ? uint32_t(order) : 0;
			downloadType = type >= 0 && type <= 3 ? uint32_t(type) : 0;
			limitsEnabled = limits != 0;
			articleLimit = uint32_t(article);
			headerLimit = uint32_t(header);
			charset = kCharsetNone;
			TString name;
			if (InitItem::TextGet(file, kSection, kKeyCharset, name)) {
				name.Trim();
				if (!name.Empty() && name != "<None>") {
					Charset cs = CSet::Value(name);
					charset = cs == kCharsetNone ? kCharsetISO8859_1 : cs;
				}
			}
			makeValid();
			if (!Valid())
				err = ErrFileInvalidData;
		} else {
			err = ErrFileInvalidData;
		}
	}
	if (err != ErrOkay)
		Clear();
	return err;
}

Error GroupData::fileWrite(const TString& path) const
{
	if (!Valid())
		return ErrFileInvalidData;
	const GroupData& data = *this;
	return InitFile().Update(path, kLockWait, [&data](InitFile& file) {
		bool ok = InitItem::DurationSet(file, kSection, kKeyExpire, data.expire);
		ok = file.ItemSet(kSection, kKeyOrder, long(data.downloadOrder)) && ok;
		ok = file.ItemSet(kSection, kKeyLimits, long(data.limitsEnabled ? 1 : 0)) && ok;
		ok = file.ItemSet(kSection, kKeyArticleLimit, long(data.articleLimit)) && ok;
		ok = file.ItemSet(kSection, kKeyHeaderLimit, long(data.headerLimit)) && ok;
		ok = file.ItemSet(kSection, kKeyType, long(data.downloadType)) && ok;
		ok = file.ItemSet(kSection, kKeyCharset,
				 TString(data.charset == kCharsetNone ? "" : CSet::String(data.charset))) &&
			ok;
		file.TitleSet(TString(kTitle));
		return ok ? ErrOkay : ErrFileInvalidData;
	});
}

Error GroupData::GroupRead(const TString& account, const TString& group)
{
	TString path;
	StoragePath::FileGroupPrefsGroup(account, group, path);
	return fileRead(path);
}

Error GroupData::AccountRead(const TString& account)
{
	TString path;
	StoragePath::FileGroupPrefsAccount(account, path);
	return fileRead(path);
}

Error GroupData::GlobalRead()
{
	TString path;
	StoragePath::FileGroupPrefsGlobal(path);
	return fileRead(path);
}

void GroupData::GroupGet(const TString& account, const TString& group, Level* level)
{
	if (GroupRead(account, group) == ErrOkay) {
		if (level)
			*level = LevelGroup;
		return;
	}
	AccountGet(account, level);
}

void GroupData::AccountGet(const TString& account, Level* level)
{
	if (AccountRead(account) == ErrOkay) {
		if (level)
			*level = LevelAccount;
		return;
	}
	GlobalGet(level);
}

void GroupData::GlobalGet(Level* level)
{
	if (GlobalRead() == ErrOkay) {
		if (level)
			*level = LevelGlobal;
		return;
	}
	Default();
	if (level)
		*level = LevelDefault;
}

Error GroupData::GroupSet(const TString& account, const TString& group) const
{
	TString path;
	StoragePath::FileGroupPrefsGroup(account, group, path);
	Error err = fileWrite(path);
	if (err == ErrOkay)
		MessageStore::GPrefsGroup(account, group);
	return err;
}

Error GroupData::AccountSet(const TString& account) const
{
	TString path;
	StoragePath::FileGroupPrefsAccount(account, path);
	Error err = fileWrite(path);
	if (err == ErrOkay)
		MessageStore::GPrefsAccount(account);
	return err;
}

Error GroupData::GlobalSet() const
{
	TString path;
	StoragePath::FileGroupPrefsGlobal(path);
	Error err = fileWrite(path);
	if (err == ErrOkay)
		MessageStore::GPrefsGlobal();
	return err;
}
