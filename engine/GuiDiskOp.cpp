#include "GuiDiskOp.h"

#include "DirMngr.h"
#include "Err.h"
#include "FileBase.h"
#include "GuiAlert.h"
#include "Language.h"
#include "PathMngr.h"
#include "StoragePath.h"

bool GuiDiskOp::sStarted = false;

namespace {

const LangData kDirRows[] = {
	{"DirDisplay", "%s", "Directory: %1"},
	{"DirCopyError", "%s", "Can’t copy directory: %1"},
	{"DirCreateError", "%s", "Can’t create directory: %1"},
	{"DirMoveError", "%s", "Can’t move directory: %1"},
	{"DirRenameError", "%s", "Can’t rename directory: %1"},
	{"DirRemoveError", "%s", "Can’t delete directory: %1"},
	{"DirTrashError", "%s", "Can’t put directory in the trash: %1"},
	{nullptr, nullptr, nullptr},
};

const LangData kFileRows[] = {
	{"FileDisplay", "%s", "File: %1"},
	{"FileCopyError", "%s", "Can’t copy file: %1"},
	{"FileCreateError", "%s", "Can’t create file: %1"},
	{"FileDecodeError", "%s", "Can’t decode file: %1"},
	{"FileMoveError", "%s", "Can’t move file: %1"},
	{"FileOpenError", "%s", "Can’t open file: %1"},
	{"FileReadError", "%s", "Can’t read file: %1"},
	{"FileRenameError", "%s", "Can’t rename file: %1"},
	{"FileRemoveError", "%s", "Can’t delete file: %1"},
	{"FileTrashError", "%s", "Can’t put file in the trash: %1"},
	{"FileWriteError", "%s", "Can’t write to file: %1"},
	{nullptr, nullptr, nullptr},
};

const LangData kAlertRows[] = {
	{"DiskOpBadPath", "%s",
		"Invalid Path\tPlease supply a valid UNIX-style path.  It cannot be blank, and must be absolute, "
		"starting with ‘~’ or ‘/’.\n\nPath: %1"},
	{"DiskOpBadLeaf", "%s",
		"Invalid Path Characters\tThis name will be used to create a subdirectory with the same name.  "
		"It cannot contain some types of punctuation characters.\n\nName: %1"},
	{nullptr, nullptr, nullptr},
};

const LangData kUrlRows[] = {
	{"UrlDisplay", "%s", "URL: %1"},
	{"UrlOpenError", "%s", "Can’t open URL: %1"},
	{nullptr, nullptr, nullptr},
};

const LangSection kSections[] = {
	{"Directory strings", LangSectionDirectory, kDirRows},
	{"File strings", LangSectionFile, kFileRows},
	{"Disk operation alerts", LangSectionDiskOp, kAlertRows},
	{"URL strings", LangSectionUrl, kUrlRows},
};

// The language key of an operation on an object; pairs with no text of their own use the
// file-open text.
const char* opKey(GuiDiskOp::FileObject object, GuiDiskOp::DiskOp op)
{
	struct Row {
		const char* dir;
		const char* file;
		const char* url;
	};
	static const Row kRows[] = {
		{"DirCopyError", "FileCopyError", nullptr},
		{"DirCreateError", "FileCreateError", nullptr},
		{nullptr, "FileDecodeError", nullptr},
		{"DirRemoveError", "FileRemoveError", nullptr},
		{"DirMoveError", "FileMoveError", nullptr},
		{nullptr, "FileOpenError", "UrlOpenError"},
		{nullptr, "FileReadError", nullptr},
		{"DirRenameError", "FileRenameError", nullptr},
		{"DirTrashError", "FileTrashError", nullptr},
		{nullptr, "FileWriteError", nullptr},
	};
	const char* key = nullptr;
	if (op >= GuiDiskOp::kOpCopy && op <= GuiDiskOp::kOpWrite) {
		const Row& row = kRows[op - 1];
		key = object == GuiDiskOp::kObjectDir  ? row.dir
			: object == GuiDiskOp::kObjectFile ? row.file
											   : row.url;
	}
	return key ? key : "FileOpenError";
}

// The two lines of the general alert: what failed, with the error's text, and on what.
void alertParts(GuiDiskOp::FileObject object, const TString& path, GuiDiskOp::DiskOp op, Error err,
	TString& opText, TString& objText)
{
	TString errText;
	Err::Str(errText, err);
	Language::String(opKey(object, op), opText, false, errText.String());
	const char* objKey = object == GuiDiskOp::kObjectDir ? "DirDisplay"
		: object == GuiDiskOp::kObjectFile               ? "FileDisplay"
														 : "UrlDisplay";
	Language::String(objKey, objText, false, path.String());
}

void alertGeneral(GuiDiskOp::FileObject object, const TString& path, GuiDiskOp::DiskOp op, Error err)
{
	TString opText, objText;
	alertParts(object, path, op, err, opText, objText);
	GuiAlert::Failed(opText, objText);
}

}  // namespace

bool GuiDiskOp::Start()
{
	for (const LangSection& section : kSections)
		if (!Language::SectionAdd(&section))
			return false;
	sStarted = true;
	return true;
}

void GuiDiskOp::Stop()
{
	sStarted = false;
}

bool GuiDiskOp::DirCreate(const TString& path)
{
	Error err = DirMngr::Create(path);
	if (err == ErrOkay || err == ErrDirAlreadyExists)
		return true;
	AlertDirCreate(path, err);
	return false;
}

bool GuiDiskOp::DirRename(const TString& path, const TString& newLeaf)
{
	TString newPath;
	PathMngr::SplitRoot(path, newPath);
	PathMngr::Append(newPath, newLeaf);
	if (newPath == path)
		return true;
	Error err = DirMngr::Rename(path, newPath);
	if (err != ErrOkay) {
		alertGeneral(kObjectDir, path, kOpMove, err);
		return false;
	}
	return true;
}

bool GuiDiskOp::DirTrash(const TString& path)
{
	Error err = DirMngr::Trash(path);
	if (err != ErrOkay) {
		alertGeneral(kObjectDir, path, kOpTrash, err);
		return false;
	}
	return true;
}

bool GuiDiskOp::DirTrashLocal(const TString& path)
{
	TString trash;
	StoragePath::PathTrash(trash);
	if (!DirCreate(trash))
		return false;
	TString target(path);
	Error err = FileBase::TrashName(trash, target);
	if (err == ErrOkay)
		err = DirMngr::Rename(path, target);
	if (err != ErrOkay) {
		alertGeneral(kObjectDir, path, kOpMove, err);
		return false;
	}
	return true;
}

void GuiDiskOp::AlertFile(const TString& path, DiskOp op, Error err)
{
	alertGeneral(kObjectFile, path, op, err);
}

void GuiDiskOp::AlertDir(const TString& path, DiskOp op, Error err)
{
	alertGeneral(kObjectDir, path, op, err);
}

void GuiDiskOp::AlertUrl(const TString& url, DiskOp op, Error err)
{
	alertGeneral(kObjectUrl, url, op, err);
}

void GuiDiskOp::AlertDirCreate(const TString& path, Error err)
{
	if (err == ErrGmBadPath)
		AlertPath(path);
	else
		alertGeneral(kObjectDir, path, kOpCreate, err);
}

void GuiDiskOp::AlertCacheDatabase(const TString& mdir, DiskOp op, Error err)
{
	TString cache;
	StoragePath::FileCache(mdir, cache);
	alertGeneral(kObjectFile, cache, op, err);
}

void GuiDiskOp::AlertPath(const TString& path)
{
	TString text;
	Language::String("DiskOpBadPath", text, false, path.String());
	GuiAlert::Text(text);
}

void GuiDiskOp::AlertPathLeaf(const TString& name)
{
	TString text;
	Language::String("DiskOpBadLeaf", text, false, name.String());
	GuiAlert::Text(text);
}

void GuiDiskOp::AlertText(FileObject object, const TString& path, DiskOp op, Error err, TString& out)
{
	TString opText, objText;
	alertParts(object, path, op, err, opText, objText);
	out.Fmt("%s\n\n%s", opText.String(), objText.String());
}
