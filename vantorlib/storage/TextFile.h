// A text file read and written as lines. Reading accepts CR, LF, CR LF and LF CR as line
// ends; writing ends lines with LF unless told otherwise. Lines hold at most 2000 bytes.
#pragma once

#include <cstdarg>
#include <vector>

#include "SequenceFile.h"

class TextFile : public SequenceFile {
public:
	enum Mode : int {
		ModeRead = 1,
		ModeWrite = 2,  // create or truncate
		ModeAppend = 3,  // open or create, then position at the end
	};
	enum LineType : int {
		LineCrLf = 1,
		LineLf = 2,
		LineCr = 3,
	};

	static constexpr long kLineMax = 2000;

	TextFile() = default;
	~TextFile() override;

	Error Close() override;
	Error PositionGet(long long* pos) const override;
	Error PositionSet(long long pos, FilePtrMethod method) override;

	Error Open(const char* path, Mode mode, long long lockWait);
	Error Open(const TString& path, Mode mode, long long lockWait);

	// The next line without its line end; ErrFileEnd after the last one. A line longer than
	// 2000 bytes gives its first 2000 bytes and ErrFileLineTooLong; the next read goes on
	// with the rest. The line may hold invalid UTF-8 (it is allowed to).
	Error Read(TString& line);
	// Writes text as lines: cut at each LF, each piece followed by the line end.
	Error Write(const char* text);
	Error Write(const TString& text);
	Error WriteFmt(const char* format, ...) __attribute__((format(printf, 2, 3)));

	// Whole-file helpers with the engine's one-second lock wait.
	static Error WriteFile(const char* path, const char** lines);
	static Error WriteFile(const TString& path, const char** lines);
	static Error LineCount(const char* path, unsigned long* count);
	static Error LineCount(const TString& path, unsigned long* count);

	// Replaces the file at path by the given lines so that readers only ever see the old or
	// the new content: the lines go to a temporary file beside it, which is synced to disk
	// and then renamed over the old file. The old file's permission bits are kept. While
	// writing, an existing file is held with an exclusive lock (waiting up to lockWait).
	// A new file gets the permission bits newPerm when it is 0 or more. A symbolic link is
	// written through (its target changes, the link stays). A file whose owner may not write
	// it is not replaced: ErrFileAccessDenied.
	static Error WriteReplace(
		const TString& path, const std::vector<TString>& lines, long long lockWait, long newPerm = -1);
	// The suffix of WriteReplace's temporary files.
	static constexpr const char* kTempSuffix = ".tmp";
	// Removes from dir the temporary files that WriteReplace left behind in processes that are
	// gone (killed while writing); returns how many.
	static long TempSweep(const TString& dir);

	int LineTypeLen() const { return mLineType == LineCrLf ? 2 : 1; }
	LineType LineTypeGet() const { return mLineType; }
	void LineTypeSet(LineType type) { mLineType = type; }
	Mode ModeGet() const { return mTextMode; }

	// Mark the file as plain text for a file browser; Linux keeps no such mark.
	Error TextSet();
	Error EditorSet();

private:
	// Writing whole buffers is for the base classes only; text goes through Write(text).
	using SequenceFile::Read;
	using SequenceFile::Write;

	Error writeLine(const char* text, unsigned long len, bool& tooLong);

	unsigned char mPushBack = 0;
	LineType mLineType = LineLf;
	Mode mTextMode = ModeRead;
	bool mTextOpen = false;
};
