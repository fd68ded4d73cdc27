// A batch of files synced together: exactly the files added and not removed are synced,
// wherever they were moved meanwhile; a failed sync is reported once and empties the batch; more files than the
// batch holds, or a process out of descriptors, sync early without losing a failure.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "DiskFile.h"
#include "SyncBatch.h"
#include "TestSupport.h"
#include "TextFile.h"

using TestSupport::TempDir;

namespace {

// Records the path of every file synced; fails the sync of the file whose path ends in
// failOn.
struct Synced {
	std::vector<std::string> paths;
	std::string failOn;

	Synced() { SyncBatch::SyncProcSet(&Synced::proc, this); }
	~Synced() { SyncBatch::SyncProcSet(nullptr, nullptr); }

	static Error proc(void* user, const TString& path)
	{
		auto* s = static_cast<Synced*>(user);
		std::string p(path.String());
		s->paths.push_back(p);
		bool fail = !s->failOn.empty() && p.size() >= s->failOn.size() &&
			p.compare(p.size() - s->failOn.size(), s->failOn.size(), s->failOn) == 0;
		return fail ? ErrFileWriteError : ErrOkay;
	}
};

// A file with some text, added to the batch and closed.
Error addNew(SyncBatch& batch, const std::string& path)
{
	TextFile f;
	Error e = f.Open(path.c_str(), TextFile::ModeWrite, -1);
	if (e == ErrOkay)
		e = f.Write("some text");
	if (e == ErrOkay)
		e = f.PositionSet(0, FilePtrEnd);  // the buffer out, without a sync
	if (e == ErrOkay)
		e = batch.Add(f);
	return e;
}

int openDescriptors()
{
	int n = 0;
	DIR* d = opendir("/proc/self/fd");
	while (d && readdir(d))
		n++;
	if (d)
		closedir(d);
	return n - 3;  // ".", ".." and the directory's own descriptor
}

}  // namespace

TEST(SyncBatch, SyncsExactlyTheFilesAddedWhereverTheyAreNow)
{
	TempDir dir;
	::mkdir(dir.Sub("other").c_str(), 0700);
	Synced synced;
	SyncBatch batch;
	ASSERT_EQ(addNew(batch, dir.Sub("a")), ErrOkay);
	ASSERT_EQ(addNew(batch, dir.Sub("b")), ErrOkay);
	ASSERT_EQ(addNew(batch, dir.Sub("c")), ErrOkay);
	TestSupport::WriteFile(dir.Sub("not-added"), "x");
	EXPECT_EQ(batch.Count(), 3u);
	// Moved to another folder and removed after they were added.
	ASSERT_EQ(::rename(dir.Sub("b").c_str(), dir.Sub("other/b2").c_str()), 0);
	ASSERT_EQ(::unlink(dir.Sub("c").c_str()), 0);
	ASSERT_EQ(batch.Sync(), ErrOkay);
	EXPECT_EQ(synced.paths, (std::vector<std::string>{dir.Sub("a"), dir.Sub("other/b2")}));
	EXPECT_EQ(batch.Count(), 0u);

	// Nothing is synced twice; a closed file cannot be added.
	synced.paths.clear();
	EXPECT_EQ(batch.Sync(), ErrOkay);
	EXPECT_TRUE(synced.paths.empty());
	DiskFile closed;
	EXPECT_EQ(batch.Add(closed), ErrFileNotOpen);

	// A failed sync is the batch's result once; the next batch starts clean.
	synced.failOn = "/e";
	ASSERT_EQ(addNew(batch, dir.Sub("d")), ErrOkay);
	ASSERT_EQ(addNew(batch, dir.Sub("e")), ErrOkay);
	EXPECT_EQ(batch.Sync(), ErrFileWriteError);
	EXPECT_EQ(batch.Count(), 0u);
	synced.paths.clear();
	ASSERT_EQ(addNew(batch, dir.Sub("f")), ErrOkay);
	EXPECT_EQ(batch.Sync(), ErrOkay);
	EXPECT_EQ(synced.paths, (std::vector<std::string>{dir.Sub("f")}));

	// Cleared: forgotten without a sync.
	synced.paths.clear();
	ASSERT_EQ(addNew(batch, dir.Sub("g")), ErrOkay);
	batch.Clear();
	EXPECT_EQ(batch.Sync(), ErrOkay);
	EXPECT_TRUE(synced.paths.empty());
}

TEST(SyncBatch, ManyFilesAndTooFewDescriptorsSyncEarly)
{
	TempDir dir;
	Synced synced;
	SyncBatch batch;
	// One file more than the batch holds: the first ones are synced while adding, and a
	// failure among them comes out of the next Sync.
	synced.failOn = "/7";
	int before = openDescriptors();
	for (size_t i = 0; i <= SyncBatch::HeldMax(); i++)
		ASSERT_EQ(addNew(batch, dir.Sub(std::to_string(i))), ErrOkay);
	EXPECT_EQ(synced.paths.size(), 8u);  // stopped at the failure
	EXPECT_EQ(openDescriptors(), before + 1);
	EXPECT_EQ(batch.Count(), SyncBatch::HeldMax() + 1);
	EXPECT_EQ(batch.Sync(), ErrFileWriteError);
	EXPECT_EQ(openDescriptors(), before);

	// With the descriptors used up, the batch syncs what it holds to make room.
	synced.failOn.clear();
	synced.paths.clear();
	std::vector<std::unique_ptr<TextFile>> files;
	for (int i = 0; i < 4; i++) {
		files.push_back(std::make_unique<TextFile>());
		ASSERT_EQ(
			files.back()->Open(dir.Sub("fd" + std::to_string(i)).c_str(), TextFile::ModeWrite, -1), ErrOkay);
	}
	struct rlimit old;
	ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
	struct rlimit low = old;
	low.rlim_cur = rlim_t(openDescriptors() + 2);
	ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
	Error added[4];
	for (int i = 0; i < 4; i++)
		added[i] = batch.Add(*files[size_t(i)]);
	Error result = batch.Sync();
	ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &old), 0);
	for (Error e : added)
		EXPECT_EQ(e, ErrOkay);
	EXPECT_EQ(result, ErrOkay);
	EXPECT_EQ(synced.paths.size(), 4u);
}
