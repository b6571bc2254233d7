#include "model/runningcache.h"
#include "model/task.h"
#include "model/taskfile.h"
#include "model/taskops.h"
#include "model/taskstore.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmora::model {
namespace {

namespace fs = std::filesystem;
using testsupport::ScopedFakeClock;
using testsupport::TempDir;
using testsupport::WriteFile;

// Rewrites the last record's closed flag in place, then puts the modification time back: a file whose size
// and modification time say nothing happened.
void SetLastSpanOpenInPlace(const fs::path& file, bool open)
{
    struct stat before
    {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    const int fd = ::open(file.c_str(), O_WRONLY);
    const char flag = open ? 0 : 1;
    ASSERT_EQ(::pwrite(fd, &flag, 1, before.st_size - static_cast<off_t>(kIntervalRecordSize)), 1);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ::futimens(fd, times);
    ::close(fd);
}

// The file system's clock ticks every few milliseconds: waits until a change made now gets a change time
// after every file in `folder`, as a change made a while after the previous run would.
void WaitForFileClockTick(const fs::path& folder)
{
    std::int64_t newest = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        newest = std::max(newest, StampAt(AT_FDCWD, entry.path().c_str())->ctimeNs);
    }
    const fs::path probe = folder.parent_path() / "probe";
    do {
        WriteFile(probe, "x");
    } while (StampAt(AT_FDCWD, probe.c_str())->ctimeNs <= newest);
}

struct OutsideChange
{
    const char* what;
    std::function<void(const fs::path& data, const fs::path& cacheFile)> change;
    std::int32_t running;
    int filesReadAfter;    // by the first run after the change
    int filesReadNextTime; // by the run after that
};

// Tasks 0 to 3, task 1 running. Runs are made as if ten seconds after the files were written, so that
// their facts are kept. Where several last spans are open, the candidates are read again for their starts.
TEST(RunningCache, FollowsEveryOutsideChange)
{
    const OutsideChange cases[] = {
        {"nothing changed", [](const fs::path&, const fs::path&) {}, 1, 0, 0},
        {"a task started by another writer", [](const fs::path& d, const fs::path&) { StartTask(d, 2); }, 2, 2, 0},
        {"the running task stopped by another writer", [](const fs::path& d, const fs::path&) { StopTask(d, 1); }, -1,
         1, 0},
        {"a file rewritten in place with the same size and time",
         [](const fs::path& d, const fs::path&) { SetLastSpanOpenInPlace(d / "3.tsk", true); }, 1, 3, 2},
        {"a running task's file added",
         [](const fs::path& d, const fs::path&) { fs::copy_file(d / "1.tsk", d / "7.tsk"); }, 7, 3, 2},
        {"the running task's file removed", [](const fs::path& d, const fs::path&) { fs::remove(d / "1.tsk"); }, -1, 0,
         0},
        // The last entry's flag, just before the checksum, now says task 3 runs.
        {"a damaged cache",
         [](const fs::path&, const fs::path& c) {
             std::string bytes = testsupport::ReadFile(c);
             bytes[bytes.size() - 9] = 1;
             WriteFile(c, bytes);
         },
         1, 4, 0},
        {"a cache that is not one", [](const fs::path&, const fs::path& c) { WriteFile(c, "KMRC"); }, 1, 4, 0},
        {"a cache folder that cannot be written",
         [](const fs::path& d, const fs::path& c) {
             fs::remove_all(c.parent_path());
             WriteFile(c.parent_path(), "not a folder");
             StartTask(d, 2);
         },
         2, 4, 4},
    };
    for (const OutsideChange& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedFakeClock clock(2008, 4, 7, 9, 0);
        TempDir root;
        const fs::path data = root.path() / "data";
        const fs::path cacheFolder = root.path() / "cache" / "kelmora";
        fs::create_directories(data);
        for (std::int32_t id = 0; id < 4; ++id) {
            Task task;
            task.id = id;
            task.intervals.Append(
                Interval(testsupport::Utc(2008, 4, 6, 9, id), testsupport::Utc(2008, 4, 6, 10, 0), true));
            ASSERT_TRUE(task.Save(data));
        }
        ASSERT_TRUE(StartTask(data, 1));
        auto run = [&](int expectedReads) {
            const std::int64_t later = WallClockNs() + 10'000'000'000;
            TaskStore store(data);
            store.LoadTaskIds();
            int filesRead = -1;
            const std::int32_t found = FindRunningTask(store, cacheFolder, later, &filesRead);
            EXPECT_EQ(found, FindRunningTask(store));
            EXPECT_EQ(filesRead, expectedReads);
            return found;
        };
        EXPECT_EQ(run(4), 1);
        EXPECT_EQ(run(0), 1);
        EXPECT_TRUE(fs::exists(RunningCacheFile(cacheFolder, data)));
        WaitForFileClockTick(data);
        c.change(data, RunningCacheFile(cacheFolder, data));
        EXPECT_EQ(run(c.filesReadAfter), c.running);
        EXPECT_EQ(run(c.filesReadNextTime), c.running);
    }
}

// Just after a write, the same tick of the file system's clock may hold another write that moves none of the
// file's times: facts read then are not kept, and each run reads such files again.
TEST(RunningCache, KeepsNothingOfFilesChangedJustNow)
{
    ScopedFakeClock clock(2008, 4, 7, 9, 0);
    TempDir root;
    fs::create_directories(root.path() / "data");
    TaskStore store(root.path() / "data");
    ASSERT_TRUE(store.Load());
    store.CreateTask("a");
    ASSERT_TRUE(StartTask(store.DataFolder(), store.CreateTask("b")));
    ASSERT_TRUE(StopTask(store.DataFolder(), 1));
    int filesRead = 0;
    EXPECT_EQ(FindRunningTask(store, root.path() / "cache", WallClockNs(), &filesRead), -1);
    SetLastSpanOpenInPlace(store.DataFolder() / "1.tsk", true);
    EXPECT_EQ(FindRunningTask(store, root.path() / "cache", WallClockNs(), &filesRead), 1);
    EXPECT_EQ(filesRead, 2);
    SetLastSpanOpenInPlace(store.DataFolder() / "1.tsk", false);
    EXPECT_EQ(FindRunningTask(store, root.path() / "cache", WallClockNs(), &filesRead), -1);
    EXPECT_EQ(filesRead, 2);
    // Whatever watches the data folder would take a cache written there for a change of data.
    FindRunningTask(store, store.DataFolder(), WallClockNs() + 10'000'000'000);
    for (const auto& entry : fs::directory_iterator(store.DataFolder())) {
        EXPECT_EQ(entry.path().filename().string().find("status"), std::string::npos);
    }
}

} // namespace
} // namespace kelmora::model
