#include "Killfile.h"

#include <algorithm>

#include "CritSectLock.h"
#include "DEntry.h"
#include "FileLock.h"
#include "FileMngr.h"
#include "TextFile.h"
#include "TimeCore.h"

bool Killfile::sStarted = false;
TString Killfile::sPath;
std::vector<Bozo> Killfile::sList;
long long Killfile::sPlonkLength = Killfile::kPlonkLengthDefault;
long long Killfile::sNow = 0;
long long Killfile::sStamp[3] = {-1, -1, -1};
long long Killfile::sChecked = 0;
CritSect Killfile::sLock;

namespace {

// How often the plonked test looks whether another process changed the file.
constexpr long long kCheckEvery = 1000000;
constexpr long long kLockWait = 1000000;

// The file's identity as last seen: a write replaces the file, so its inode changes.
void stampOf(const TString& path, long long stamp[3])
{
	DEntry entry;
	stamp[0] = stamp[1] = stamp[2] = -1;
	if (entry.Assign(path) != ErrOkay || entry.Stat() != ErrOkay || !entry.Found())
		return;
	struct stat st;
	entry.StatGet(st);
	stamp[0] = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
	stamp[1] = static_cast<long long>(st.st_size);
	stamp[2] = static_cast<long long>(st.st_ino);
}

}  // namespace

long long Killfile::now()
{
	return sNow != 0 ? sNow : TimeCore::TimeGet();
}

bool Killfile::Start(const TString& path)
{
	CritSectLock hold(sLock);
	sPath = path;
	sPlonkLength = kPlonkLengthDefault;
	sList.clear();
	stampOf(sPath, sStamp);
	fileRead(sPath, sList);
	listPurge(sList, now());
	sChecked = TimeCore::TickCount();
	sStarted = true;
	return true;
}

void Killfile::Stop()
{
	CritSectLock hold(sLock);
	if (!sStarted)
		return;
	sStarted = false;
	sList.clear();
	sStamp[0] = sStamp[1] = sStamp[2] = -1;
}

Error Killfile::fileRead(const TString& path, std::vector<Bozo>& list)
{
	list.clear();
	TextFile file;
	Error e = file.Open(path, TextFile::ModeRead, kLockWait);
	TString line;
	while (e == ErrOkay) {
		e = file.Read(line);
		if (e == ErrFileLineTooLong) {
			// The rest of an over-long line is no entry either.
			while (e == ErrFileLineTooLong)
				e = file.Read(line);
			if (e == ErrOkay)
				continue;
		}
		if (e != ErrOkay)
			break;
		Bozo bozo;
		if (line.Valid() && bozo.LineParse(line))
			list.push_back(bozo);
	}
	if (file.IsOpen())
		file.Close();
	if (e == ErrFileEnd)
		e = ErrOkay;
	listSort(list);
	return e;
}

void Killfile::listSort(std::vector<Bozo>& list)
{
	std::stable_sort(list.begin(), list.end());
	list.erase(std::unique(list.begin(), list.end()), list.end());
}

Error Killfile::fileWrite(const TString& path, const std::vector<Bozo>& list)
{
	if (list.empty()) {
		Error e = FileMngr::Remove(path);
		return e == ErrFileNotFound ? ErrOkay : e;
	}
	std::vector<TString> lines;
	lines.reserve(list.size());
	for (const Bozo& bozo : list) {
		TString line;
		bozo.LineFormat(line);
		lines.push_back(line);
	}
	return TextFile::WriteReplace(path, lines, kLockWait);
}

bool Killfile::listPurge(std::vector<Bozo>& list, long long t)
{
	size_t before = list.size();
	list.erase(
		std::remove_if(list.begin(), list.end(), [t](const Bozo& b) { return b.Expired(t); }), list.end());
	return list.size() != before;
}

void Killfile::refresh()
{
	long long stamp[3];
	stampOf(sPath, stamp);
	if (std::equal(stamp, stamp + 3, sStamp))
		return;
	std::vector<Bozo> list;
	if (fileRead(sPath, list) == ErrOkay || stamp[2] < 0) {
		listPurge(list, now());
		sList.swap(list);
		std::copy(stamp, stamp + 3, sStamp);
	}
}

// Read, change and write the file under its lock; edit answers whether it changed anything.
Error Killfile::change(const std::function<bool(std::vector<Bozo>&)>& edit)
{
	CritSectLock hold(sLock);
	if (!sStarted)
		return ErrGmBadPath;
	FileLock lock;
	Error e = lock.Lock(sPath, FileLock::kWaitChange);
	std::vector<Bozo> list;
	if (e == ErrOkay) {
		e = fileRead(sPath, list);
		if (e == ErrFileNotFound)
			e = ErrOkay;
	}
	if (e == ErrOkay) {
		bool purged = listPurge(list, now());
		bool changed = edit(list);
		if (purged || changed)
			e = fileWrite(sPath, list);
	}
	if (e == ErrOkay) {
		sList.swap(list);
		stampOf(sPath, sStamp);
		sChecked = TimeCore::TickCount();
	}
	if (lock.Held())
		lock.Unlock();
	return e;
}

Error Killfile::Plonk(const TString& author, const TString& email)
{
	if (!Bozo::PairValid(author, email))
		return ErrFileInvalidData;
	Bozo bozo(author, email);
	bozo.DateSet(now());
	bozo.LengthSet(PlonkLengthGet());
	return change([&bozo](std::vector<Bozo>& list) {
		auto it = std::lower_bound(list.begin(), list.end(), bozo);
		if (it != list.end() && *it == bozo)
			return false;
		list.insert(it, bozo);
		return true;
	});
}

Error Killfile::Remove(const TString& author, long& count)
{
	count = 0;
	TString name = Bozo::Clean(author);
	return change([&name, &count](std::vector<Bozo>& list) {
		auto byAuthor = [&name](const Bozo& b) { return b.Author() == name; };
		auto byEmail = [&name](const Bozo& b) { return b.Email() == name; };
		size_t before = list.size();
		if (std::any_of(list.begin(), list.end(), byAuthor))
			list.erase(std::remove_if(list.begin(), list.end(), byAuthor), list.end());
		else
			list.erase(std::remove_if(list.begin(), list.end(), byEmail), list.end());
		count = static_cast<long>(before - list.size());
		return count > 0;
	});
}

Error Killfile::Expire()
{
	return change([](std::vector<Bozo>&) { return false; });
}

bool Killfile::IsPlonked(const TString& author, const TString& email)
{
	CritSectLock hold(sLock);
	if (!sStarted)
		return false;
	long long tick = TimeCore::TickCount();
	if (tick - sChecked >= kCheckEvery) {
		sChecked = tick;
		refresh();
	}
	if (sList.empty())
		return false;
	Bozo probe(author, email);
	auto it = std::lower_bound(sList.begin(), sList.end(), probe);
	return it != sList.end() && *it == probe && !it->Expired(now());
}

bool Killfile::IsPlonked(const char* author, const char* email)
{
	return IsPlonked(TString(author ? author : ""), TString(email ? email : ""));
}

std::vector<Bozo> Killfile::List()
{
	CritSectLock hold(sLock);
	if (sStarted)
		refresh();
	return sList;
}

long long Killfile::PlonkLengthGet()
{
	CritSectLock hold(sLock);
	return sPlonkLength;
}

void Killfile::PlonkLengthSet(long long length)
{
	CritSectLock hold(sLock);
	sPlonkLength = std::clamp(length, PlonkLengthMin(), PlonkLengthMax());
}
