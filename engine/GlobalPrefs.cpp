#include "GlobalPrefs.h"

#include "CSet.h"
#include "DirMngr.h"
#include "GuiDiskOp.h"
#include "MessageFile.h"
#include "PathMngr.h"
#include "PrefsDomain.h"
#include "TextFile.h"

const char* const GlobalPrefs::kDomain = "net.quillfern.QuillfernData";
const char* const GlobalPrefs::kKeyRootPath = "RootPath";
const char* const GlobalPrefs::kKeyMessageLineLen = "MessageLineLen";
const char* const GlobalPrefs::kKeyMessageCharset = "MessageCharset";

TString GlobalPrefs::sRootPathTilde;
TString GlobalPrefs::sRootPathAbsolute;
TString GlobalPrefs::sRootOverride;
long GlobalPrefs::sMessageLineLen = 78;
Charset GlobalPrefs::sMessageCharset = kCharsetUTF8;
bool GlobalPrefs::sStarted = false;

namespace {

const char* const kRootDefault = "~/Library/QuillfernData";
// Every run reads the store under its lock at start; with many runs starting at once the last
// may wait a while. A holder that keeps the lock longer than this makes the run fail.
const long long kLockWait = 10000000;

void alertStore(GuiDiskOp::DiskOp op, Error err)
{
	TString store;
	GlobalPrefs::StorePath(store);
	GuiDiskOp::AlertFile(store, op, err);
}

}  // namespace

bool GlobalPrefs::Start()
{
	sStarted = false;
	// What the store does not give (or gives in the wrong type) keeps these initial values.
	sRootPathTilde.Erase();
	sMessageLineLen = 78;
	sMessageCharset = kCharsetUTF8;
	if (!load(true))
		return false;
	if (!sRootOverride.Empty()) {
		TString root(sRootOverride);
		if (!PathCheck(root) || DirMngr::TildePathToPath(root) != ErrOkay) {
			GuiDiskOp::AlertPath(sRootOverride);
			return false;
		}
		sRootPathAbsolute = root;
	}
	sStarted = true;
	return true;
}

void GlobalPrefs::Stop()
{
	// Every change was saved when it was made; a run writes nothing else.
	sStarted = false;
}

void GlobalPrefs::RootOverrideSet(const TString& path)
{
	sRootOverride = path;
}

void GlobalPrefs::PathRoot(TString& out)
{
	out = sRootPathAbsolute;
}

void GlobalPrefs::PrefRootGet(TString& out)
{
	out = sRootPathTilde;
}

void GlobalPrefs::PrefRootDefault(TString& out)
{
	out = kRootDefault;
}

Error GlobalPrefs::PrefRootSet(const TString& path)
{
	if (!PathCheck(path))
		return ErrGmBadPath;
	TString expanded(path);
	Error err = DirMngr::TildePathToPath(expanded);
	if (err != ErrOkay)
		return err;
	err = DirMngr::Create(expanded);
	if (err != ErrOkay && err != ErrDirAlreadyExists)
		return err;
	sRootPathTilde = path;
	return save(kKeyRootPath, PrefsValue::FromString(path)) ? ErrOkay : ErrFileWriteError;
}

long GlobalPrefs::PrefMessageLineLenGet()
{
	return sMessageLineLen;
}

bool GlobalPrefs::PrefMessageLineLenSet(long length)
{
	sMessageLineLen = MessageFile::LineLenMakeValid(length);
	return save(kKeyMessageLineLen, PrefsValue::FromInteger(sMessageLineLen));
}

Charset GlobalPrefs::PrefMessageCharsetGet()
{
	return sMessageCharset;
}

bool GlobalPrefs::PrefMessageCharsetSet(Charset cs)
{
	sMessageCharset = cs;
	return save(kKeyMessageCharset, PrefsValue::FromString(TString(CSet::String(sMessageCharset))));
}

bool GlobalPrefs::PathCheck(const TString& path)
{
	if (!PathMngr::Valid(path) || path.CharLength() < 6)
		return false;
	auto white = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
	if (white(path.ByteFirst()) || white(path.ByteLast()))
		return false;
	return path.ByteFirst() == '~' || PathMngr::IsAbsolute(path);
}

void GlobalPrefs::LockPath(TString& out)
{
	PrefsDomain(TString(kDomain)).LockPathGet(out);
}

void GlobalPrefs::StorePath(TString& out)
{
	PrefsDomain(TString(kDomain)).PathGet(out);
}

bool GlobalPrefs::load(bool alert)
{
	// Temporary files of writes that were killed are cleared away first.
	TString folder;
	if (PrefsDomain::FolderGet(folder) == ErrOkay)
		TextFile::TempSweep(folder);
	PrefsDomain domain{TString(kDomain)};
	Error err = domain.Lock(kLockWait);
	if (err != ErrOkay) {
		if (alert)
			alertStore(GuiDiskOp::kOpOpen, err);
		return false;
	}
	err = domain.Read();
	domain.Unlock();
	if (err != ErrOkay) {
		// A damaged store is said, naming it, and left as it is. Without a root given for the
		// run, going on with the default root would quietly work on another data root.
		if (alert)
			alertStore(GuiDiskOp::kOpRead, err);
		if (sRootOverride.Empty())
			return false;
		domain.Clear();
	}

	TString text;
	long long number = 0;
	if (domain.StringGet(kKeyRootPath, text))
		sRootPathTilde = text;
	if (domain.IntegerGet(kKeyMessageLineLen, number))
		sMessageLineLen = number < 1 ? 0 : number > 1000 ? 1000 : long(number);
	if (domain.StringGet(kKeyMessageCharset, text))
		sMessageCharset = CSet::Value(text);
	fixups();
	return true;
}

void GlobalPrefs::fixups()
{
	if (!PathCheck(sRootPathTilde))
		sRootPathTilde = kRootDefault;
	sRootPathAbsolute = sRootPathTilde;
	DirMngr::TildePathToPath(sRootPathAbsolute);
	if (!CSet::Available(sMessageCharset))
		sMessageCharset = kCharsetUTF8;
	if (sMessageLineLen < 1)
		sMessageLineLen = 78;
	sMessageLineLen = MessageFile::LineLenMakeValid(sMessageLineLen);
}

bool GlobalPrefs::save(const char* key, const PrefsValue& value)
{
	// Update reads what is stored now under the lock and changes only this key, so keys
	// written by other programs or processes since we loaded are kept.
	PrefsDomain domain{TString(kDomain)};
	Error err = domain.Update([&](PrefsDomain& d) { d.Set(key, value); }, kLockWait);
	if (err != ErrOkay)
		alertStore(err == ErrFileLocked     ? GuiDiskOp::kOpOpen
				: err == ErrFileInvalidData ? GuiDiskOp::kOpRead
											: GuiDiskOp::kOpWrite,
			err);
	return err == ErrOkay;
}
