#include "SyncBatch.h"

#include <algorithm>
#include <string>

#include "DiskFile.h"
#include "SyncBatchImp.h"

namespace {

SyncBatch::SyncProc sProc = nullptr;
void* sUser = nullptr;

// How often the folders are looked at again for files that moved while they were synced.
constexpr int kFolderRounds = 3;

std::string folderOf(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

size_t SyncBatch::HeldMax()
{
	static const size_t most = std::clamp<size_t>(SyncBatchImp::DescriptorsMax() / 4, 1, kHeldMax);
	return most;
}

void SyncBatch::SyncProcSet(SyncProc proc, void* user)
{
	sProc = proc;
	sUser = user;
}

SyncBatch::~SyncBatch()
{
	Clear();
}

void SyncBatch::Clear()
{
	for (int fd : mHeld)
		SyncBatchImp::Close(fd);
	mHeld.clear();
	mStarted = 0;
	mCount = 0;
	mEarly = ErrOkay;
}

Error SyncBatch::Add(const DiskFile& file)
{
	if (!file.IsOpen())
		return ErrFileNotOpen;
	if (mHeld.size() >= HeldMax()) {
		Error e = syncHeld();
		if (mEarly == ErrOkay)
			mEarly = e;
	}
	int fd = -1;
	Error e = SyncBatchImp::Duplicate(file.mImp.Descriptor(), &fd);
	if (e == ErrGmTooManyFiles && !mHeld.empty()) {
		// Out of descriptors: the ones held are given back once their files are synced.
		Error early = syncHeld();
		if (mEarly == ErrOkay)
			mEarly = early;
		e = SyncBatchImp::Duplicate(file.mImp.Descriptor(), &fd);
	}
	if (e != ErrOkay)
		return e;
	// The files added before: written back now, or given up at once when their owner removed
	// them (a removed file kept open holds on to its inode and its disk space).
	while (mStarted < mHeld.size()) {
		if (SyncBatchImp::Removed(mHeld[mStarted])) {
			SyncBatchImp::Close(mHeld[mStarted]);
			mHeld.erase(mHeld.begin() + long(mStarted));
		} else {
			SyncBatchImp::WriteBackStart(mHeld[mStarted]);
			mStarted++;
		}
	}
	mHeld.push_back(fd);
	mCount++;
	return ErrOkay;
}

Error SyncBatch::Sync()
{
	Error e = syncHeld();
	Error result = mEarly != ErrOkay ? mEarly : e;
	mEarly = ErrOkay;
	mCount = 0;
	return result;
}

// The data of every file held that still has a name first (most write-backs were started long
// ago, so the waits overlap), then each folder that holds one of them once. A file moved to
// another folder while that went on is looked up again; one whose folder cannot be told costs
// a sync of the volume.
Error SyncBatch::syncHeld()
{
	Error err = ErrOkay;
	std::vector<int> live;
	for (size_t i = 0; i < mHeld.size(); i++) {
		if (SyncBatchImp::Removed(mHeld[i]))
			continue;
		if (i >= mStarted)
			SyncBatchImp::WriteBackStart(mHeld[i]);
		live.push_back(mHeld[i]);
	}
	std::string path;
	for (size_t i = 0; i < live.size() && err == ErrOkay; i++) {
		if (sProc) {
			SyncBatchImp::PathOf(live[i], path);
			err = sProc(sUser, TString(path.c_str()));
		}
		if (err == ErrOkay)
			err = SyncBatchImp::DataSync(live[i]);
	}
	std::vector<std::string> synced;
	bool volume = false;
	for (int round = 0; round <= kFolderRounds && err == ErrOkay && !volume; round++) {
		std::vector<std::string> todo;
		for (int fd : live) {
			SyncBatchImp::Where where = SyncBatchImp::PathOf(fd, path);
			if (where == SyncBatchImp::WhereUnknown) {
				volume = true;
				break;
			}
			if (where == SyncBatchImp::WhereRemoved)
				continue;
			std::string dir = folderOf(path);
			if (std::find(synced.begin(), synced.end(), dir) == synced.end() &&
				std::find(todo.begin(), todo.end(), dir) == todo.end())
				todo.push_back(dir);
		}
		if (volume || todo.empty())
			break;
		if (round == kFolderRounds) {
			volume = true;  // still moving: settled by the volume sync
			break;
		}
		for (const std::string& dir : todo) {
			Error e = SyncBatchImp::DirSync(dir.c_str());
			// A folder gone meanwhile took its files elsewhere: the next round finds them.
			if (e == ErrFileNotFound)
				continue;
			// No descriptor left to open the folder with: the volume sync needs none.
			if (e == ErrGmTooManyFiles) {
				volume = true;
				break;
			}
			if (err == ErrOkay)
				err = e;
			synced.push_back(dir);
		}
	}
	if (err == ErrOkay && volume && !live.empty())
		err = SyncBatchImp::VolumeSync(live.front());
	for (int fd : mHeld)
		SyncBatchImp::Close(fd);
	mHeld.clear();
	mStarted = 0;
	return err;
}
