// Directory operations done for the user, and the alerts that report failed file, directory
// and URL operations.
#pragma once

#include "Error.h"
#include "TString.h"

class GuiDiskOp {
public:
	enum DiskOp {
		kOpCopy = 1,
		kOpCreate = 2,
		kOpDecode = 3,
		kOpRemove = 4,
		kOpMove = 5,
		kOpOpen = 6,
		kOpRead = 7,
		kOpRename = 8,
		kOpTrash = 9,
		kOpWrite = 10,
	};
	enum FileObject { kObjectDir = 1, kObjectFile = 2, kObjectUrl = 3 };

	static bool Start();
	static void Stop();

	static bool DirCreate(const TString& path);
	static bool DirRename(const TString& path, const TString& newLeaf);
	static bool DirTrash(const TString& path);
	static bool DirTrashLocal(const TString& path);

	static void AlertFile(const TString& path, DiskOp op, Error err);
	static void AlertDir(const TString& path, DiskOp op, Error err);
	static void AlertUrl(const TString& url, DiskOp op, Error err);
	static void AlertDirCreate(const TString& path, Error err);
	static void AlertCacheDatabase(const TString& mdir, DiskOp op, Error err);
	static void AlertPath(const TString& path);
	static void AlertPathLeaf(const TString& name);

	// The text of the general alert (operation line, blank line, object line).
	static void AlertText(FileObject object, const TString& path, DiskOp op, Error err, TString& out);

private:
	static bool sStarted;
};
