#include "MessageStore.h"

#include <vector>

#include "BulkThread.h"
#include "DecodeThread.h"
#include "DirMngr.h"
#include "GuiDiskOp.h"
#include "Killfile.h"
#include "LogFile.h"
#include "MdirReader.h"
#include "MesgThread.h"
#include "PathMngr.h"
#include "ReaperThread.h"
#include "StoragePath.h"
#include "ThreadMngr.h"

bool MessageStore::sStarted = false;

bool MessageStore::Start(int type)
{
	if (!StoragePath::Start(type))
		return false;
	if (!treeCreate(type))
		return false;

	TString path;
	StoragePath::FileEventLog(path);
	if (!LogFile::Start(path))
		return false;
	if (!BulkThread::Start() || !ReaperThread::Start() || !MesgThread::Start() || !MdirReader::Start()
		|| !DecodeThread::Start())
		return false;
	StoragePath::FileKillfile(path);
	if (!Killfile::Start(path))
		return false;
	if (ThreadMngr::Spawn(MesgThread::Proc, nullptr, nullptr, 20000, ThreadPriorityNormal) == Thread::HandleNone)
		return false;
	sStarted = true;
	return true;
}

// Creates the fixed folders of the tree. When one cannot be made, the folders this call made
// are removed again, so that a failed start leaves nothing half made behind.
bool MessageStore::treeCreate(int type)
{
	typedef void (*PathProc)(TString&);
	std::vector<PathProc> procs = {StoragePath::PathRoot, StoragePath::PathIdentity, StoragePath::PathRootType,
		StoragePath::PathDrafts, StoragePath::PathOutbox, StoragePath::PathSaved, StoragePath::PathSent,
		StoragePath::PathAccounts, StoragePath::PathTemp, StoragePath::PathTransfer, StoragePath::PathTrash,
		StoragePath::PathData};
	if (type == StoragePath::kTypeMail)
		procs.push_back(StoragePath::PathInbox);

	// The folders that hold the root are made first, as the default root's parent
	// ("~/Library") does not exist on a fresh Linux account.
	std::vector<TString> paths;
	TString root;
	StoragePath::PathRoot(root);
	TString child(root), parent;
	while (PathMngr::SplitRoot(child, parent) && parent.ByteLength() > 1 && DirMngr::Exists(parent) == ErrDirNotFound) {
		paths.insert(paths.begin(), parent);
		child = parent;
	}
	for (PathProc proc : procs) {
		TString path;
		proc(path);
		paths.push_back(path);
	}

	std::vector<TString> made;
	for (const TString& path : paths) {
		bool existed = DirMngr::Exists(path) == ErrOkay;
		if (!GuiDiskOp::DirCreate(path)) {
			for (auto it = made.rbegin(); it != made.rend(); ++it)
				DirMngr::Remove(*it);
			return false;
		}
		if (!existed)
			made.push_back(path);
	}
	return true;
}

void MessageStore::Stop()
{
	Killfile::Stop();
	DecodeThread::Stop();
	MdirReader::Stop();
	MesgThread::Stop();
	ReaperThread::Stop();
	BulkThread::Stop();
	LogFile::Stop();
	StoragePath::Stop();
	if (sStarted)
		sStarted = false;
}
