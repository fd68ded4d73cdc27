#include "GlobalPrefs.h"

#include <sys/stat.h>

#include "CSet.h"
#include "DirMngr.h"
#include "DiskFile.h"
#include "GuiDiskOp.h"
#include "MessageFile.h"
#include "PathMngr.h"
#include "PrefsDomain.h"
#include "TimeCore.h"

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
const long long kLockWait = 1000000;

// Holds the preferences lock file while it lives. The file is removed on release; a waiter
// that got its lock on a file already removed by the previous holder notices (the path no
// longer names its file) and takes the lock again on the new file, so that two processes can
// never both believe they hold the lock.
class PrefsLock {
public:
	Error Take()
	{
		TString path;
		GlobalPrefs::LockPath(path);
		TString folder;
		PathMngr::SplitRoot(path, folder);
		DirMngr::Create(folder);
		long long deadline = TimeCore::TickCount() + kLockWait;
		for (;;) {
			long long wait = deadline - TimeCore::TickCount();
			if (wait < 0)
				wait = 0;
			Error err = mFile.OpenOrCreate(path, FileAccessReadWrite, wait);
			if (err != ErrOkay)
				return err;
			unsigned int node = 0;
			mFile.NodeGet(&node);
			struct stat st;
			if (stat(path.String(), &st) == 0 && (unsigned int)st.st_ino == node)
				return ErrOkay;
			mFile.Close();
			if (TimeCore::TickCount() >= deadline)
				return ErrFileLocked;
		}
	}

	void Release()
	{
		if (mFile.IsOpen())
			mFile.Remove();
	}

	~PrefsLock() { Release(); }

private:
	DiskFile mFile;
};

}  // namespace

bool GlobalPrefs::Start()
{
	sStarted = false;
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
	if (sStarted) {
		sStarted = false;
		save(false);
	}
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
	return save(true) ? ErrOkay : ErrFileWriteError;
}

long GlobalPrefs::PrefMessageLineLenGet()
{
	return sMessageLineLen;
}

void GlobalPrefs::PrefMessageLineLenSet(long length)
{
	sMessageLineLen = MessageFile::LineLenMakeValid(length);
	save(true);
}

Charset GlobalPrefs::PrefMessageCharsetGet()
{
	return sMessageCharset;
}

void GlobalPrefs::PrefMessageCharsetSet(Charset cs)
{
	sMessageCharset = cs;
	save(true);
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
	PrefsDomain::Folder(out);
	TString leaf(kDomain);
	leaf.Append(".lock");
	PathMngr::Append(out, leaf);
}

void GlobalPrefs::StorePath(TString& out)
{
	PrefsDomain::FilePath(kDomain, out);
}

bool GlobalPrefs::load(bool alert)
{
	PrefsLock lock;
	Error err = lock.Take();
	if (err != ErrOkay) {
		if (alert) {
			TString store;
			StorePath(store);
			GuiDiskOp::AlertFile(store, GuiDiskOp::kOpOpen, err);
		}
		return false;
	}
	PrefsDict dict;
	PrefsDomain::Read(kDomain, dict);
	lock.Release();

	TString text;
	long long number = 0;
	if (dict.StringGet(kKeyRootPath, text))
		sRootPathTilde = text;
	if (dict.IntegerGet(kKeyMessageLineLen, number))
		sMessageLineLen = long(number);
	if (dict.StringGet(kKeyMessageCharset, text))
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

bool GlobalPrefs::save(bool alert)
{
	PrefsLock lock;
	Error err = lock.Take();
	if (err != ErrOkay) {
		if (alert) {
			TString store;
			StorePath(store);
			GuiDiskOp::AlertFile(store, GuiDiskOp::kOpOpen, err);
		}
		return false;
	}
	// Start from what is stored now so that keys written by other programs or other
	// processes since we loaded are kept.
	PrefsDict dict;
	PrefsDomain::Read(kDomain, dict);
	dict.StringSet(kKeyRootPath, sRootPathTilde);
	dict.IntegerSet(kKeyMessageLineLen, sMessageLineLen);
	dict.StringSet(kKeyMessageCharset, TString(CSet::String(sMessageCharset)));
	err = PrefsDomain::Write(kDomain, dict);
	if (err != ErrOkay && alert) {
		TString store;
		StorePath(store);
		GuiDiskOp::AlertFile(store, GuiDiskOp::kOpWrite, err);
	}
	return err == ErrOkay;
}
