#include "model/task.h"
#include "model/taskfile.h"
#include "model/taskops.h"
#include "model/taskstore.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kelmora::model {
namespace {

using testsupport::FromHex;
using testsupport::ReadFile;
using testsupport::ScopedFakeClock;
using testsupport::TempDir;
using testsupport::ToHex;
using testsupport::Utc;
using testsupport::WriteFile;

std::vector<std::int32_t> Ids(const TaskStore& store)
{
    return store.TaskIds();
}

void WriteTask(const std::filesystem::path& folder, std::int32_t id, const std::string& name)
{
    Task task;
    task.id = id;
    task.name = name;
    ASSERT_TRUE(task.Save(folder));
}

TEST(TaskStore, FreshFolder_FirstTaskIsZeroIdxHoldsOneIdsNeverReused)
{
    TempDir dir;
    TaskStore store(dir.path());
    ASSERT_TRUE(store.Load());
    EXPECT_EQ(store.TaskCount(), 0);
    EXPECT_EQ(ReadNextTaskId(dir.path()), 0);
    EXPECT_EQ(store.CreateTask("first"), 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "0.tsk"));
    EXPECT_EQ(ToHex(ReadFile(dir.path() / "idx")), "01 00 00 00");
    // A file another program wrote after the load is skipped too.
    WriteTask(dir.path(), 1, "written by another program");
    EXPECT_EQ(store.CreateTask("new"), 2);
    // Deleted ids are never reused.
    EXPECT_TRUE(store.DeleteTask(1));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "1.tsk"));
    EXPECT_EQ(store.CreateTask("d"), 3);
    EXPECT_EQ(ReadNextTaskId(dir.path()), 4);
    EXPECT_EQ(Ids(store), (std::vector<std::int32_t>{0, 2, 3}));
    EXPECT_FALSE(store.DeleteTask(-1));
    EXPECT_TRUE(store.DeleteTask(99)); // no file, nothing to do
}

TEST(TaskStore, IdxBehindTheFilesOrDamaged_NeverOverwritesATask)
{
    TempDir dir;
    WriteTask(dir.path(), 0, "zero");
    WriteTask(dir.path(), 4, "four");
    WriteFile(dir.path() / "idx", FromHex("01 00 00 00"));
    TaskStore store(dir.path());
    store.Load();
    EXPECT_EQ(store.CreateTask("new"), 5);
    Task four;
    four.id = 4;
    ASSERT_TRUE(four.Load(dir.path()));
    EXPECT_EQ(four.name, "four");
    // A damaged idx reads what it holds; a negative one starts from the lowest free id.
    WriteFile(dir.path() / "idx", FromHex("07"));
    EXPECT_EQ(ReadNextTaskId(dir.path()), 7);
    TempDir other;
    WriteFile(other.path() / "idx", FromHex("FF FF FF FF"));
    EXPECT_EQ(ReadNextTaskId(other.path()), -1);
    TaskStore fresh(other.path());
    fresh.Load();
    EXPECT_EQ(fresh.CreateTask("x"), 0);
}

TEST(TaskStore, Load_AscendingIdsOnlyFromCanonicalTaskFileNamesInAFolderThatExists)
{
    TempDir dir;
    for (const char* name : {"12.tsk", "3.tsk", "100.tsk", "0.tsk", "notes.tsk", "-4.tsk", "007.tsk", "5.tsk.bak",
                             "-0.tsk", "-00.tsk", "+7.tsk", "6.TSK", "99999999999.tsk", ".3.tsk.tmp-abc", "idx"}) {
        WriteFile(dir.path() / name, "");
    }
    TaskStore store(dir.path());
    ASSERT_TRUE(store.Load());
    EXPECT_EQ(Ids(store), (std::vector<std::int32_t>{0, 3, 12, 100}));
    EXPECT_EQ(store.TaskIdAt(1), 3);
    EXPECT_EQ(store.TaskIdAt(-1), -1);
    EXPECT_EQ(store.TaskIdAt(4), -1);
    EXPECT_EQ(store.IndexOfTask(12), 2);
    EXPECT_EQ(store.IndexOfTask(13), -1);
    EXPECT_FALSE(TaskIdFromFileName("-0.tsk")); // not a second spelling of 0.tsk
    // A reload follows files removed and added by others; loading again only adds.
    std::filesystem::remove(dir.path() / "3.tsk");
    WriteFile(dir.path() / "4.tsk", "");
    ASSERT_TRUE(store.Reload());
    EXPECT_EQ(Ids(store), (std::vector<std::int32_t>{0, 4, 12, 100}));
    TaskStore missing(dir.path() / "missing");
    std::string error;
    EXPECT_FALSE(missing.Load(&error));
    EXPECT_FALSE(error.empty());
}

TEST(TaskStore, LargestIdTaken_CreationFallsBackToTheLowestFreeId)
{
    TempDir dir;
    WriteTask(dir.path(), 1, "one");
    WriteTask(dir.path(), 2147483647, "stray");
    TaskStore store(dir.path());
    ASSERT_TRUE(store.Load());
    EXPECT_EQ(store.CreateTask("a"), 0);
    EXPECT_EQ(store.CreateTask("b"), 2);
    WriteFile(dir.path() / "categories.xml", "<xml><categories><category name=\"x\" id=\"2147483647\"/></categories>"
                                             "<next_id>2147483647</next_id></xml>");
    TaskStore reloaded(dir.path());
    ASSERT_TRUE(reloaded.Load());
    std::string error;
    EXPECT_EQ(reloaded.CreateCategory("c", &error), 1) << error;
}

// The tracking rule every front end shares: nothing may land behind a running span.
TEST(TaskOps, InsertSpan_RefusesSpansBeginningAfterTheRunningSpan)
{
    ScopedFakeClock clock(2008, 1, 1, 12, 0);
    TempDir dir;
    WriteTask(dir.path(), 0, "A");
    ASSERT_TRUE(StartTask(dir.path(), 0)); // running since 12:00
    clock->SetUtc(2008, 1, 1, 13, 0);
    const struct
    {
        int startHour, stopHour;
        bool accepted;
        bool runningAfter;
    } cases[] = {{8, 9, true, true}, {12, 12, false, true}, {14, 15, false, true}, {11, 12, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.startHour);
        const Interval span(Utc(2008, 1, 1, c.startHour, c.startHour == 12 ? 30 : 0), Utc(2008, 1, 1, c.stopHour, 45));
        std::string error;
        EXPECT_EQ(InsertSpan(dir.path(), 0, span, &error), c.accepted);
        EXPECT_EQ(error.find("stop it first") != std::string::npos, !c.accepted);
        Task task;
        task.id = 0;
        ASSERT_TRUE(task.Load(dir.path()));
        EXPECT_EQ(task.IsRunning(), c.runningAfter);
        EXPECT_EQ(TaskFolderPeek(dir.path()).Running(0), c.runningAfter);
    }
}

TEST(TaskStore, ReadersOnOtherThreads_SeeConsistentSnapshots)
{
    TempDir dir;
    TaskStore store(dir.path());
    store.Load();
    std::atomic<bool> done{false};
    std::atomic<int> rounds{0};
    std::thread reader([&] {
        while (!done.load()) {
            const auto ids = store.TaskIds();
            EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
            for (std::int32_t i = 0; i < store.TaskCount(); ++i) {
                store.TaskIdAt(i);
            }
            ++rounds;
        }
    });
    for (int i = 0; i < 60; ++i) {
        // Not "t" + std::to_string(i): GCC 12 at -O3 reports a false -Wrestrict inside std::string for it.
        std::string name = "t";
        name += std::to_string(i);
        const std::int32_t id = store.CreateTask(name);
        ASSERT_GE(id, 0);
        if (i % 3 == 0) {
            store.DeleteTask(id);
        }
    }
    done = true;
    reader.join();
    EXPECT_EQ(store.TaskCount(), 40);
    EXPECT_GT(rounds.load(), 0);
}

TEST(TaskOps, RunningTaskIsTheLastRunningInStoreOrder_StopEndsItOnce)
{
    TempDir dir;
    ScopedFakeClock clock(2008, 1, 1, 9, 0);
    TaskStore store(dir.path());
    store.Load();
    const auto a = store.CreateTask("a");
    const auto b = store.CreateTask("b");
    store.CreateTask("b ");
    // Names are found exactly, case included, and the excluded task is passed over.
    EXPECT_EQ(FindTaskByName(store, "b"), b);
    EXPECT_EQ(FindTaskByName(store, "B"), -1);
    EXPECT_EQ(FindTaskByName(store, "b", b), -1);
    EXPECT_EQ(FindRunningTask(store), -1);
    ASSERT_TRUE(StartTask(dir.path(), b));
    EXPECT_EQ(FindRunningTask(store), b);
    ASSERT_TRUE(StartTask(dir.path(), a));
    EXPECT_EQ(FindRunningTask(store), b);
    clock->SetUtc(2008, 1, 1, 10, 0);
    ASSERT_TRUE(StopTask(dir.path(), b));
    EXPECT_EQ(FindRunningTask(store), a);
    Task stopped;
    stopped.id = b;
    stopped.Load(dir.path());
    EXPECT_EQ(stopped.intervals.At(0).stop, Utc(2008, 1, 1, 10, 0));
    // Another program stopped the task meanwhile: a second stop must not stretch the closed span up to now.
    const std::string before = ReadFile(dir.path() / "1.tsk");
    clock->SetUtc(2008, 1, 1, 11, 0);
    EXPECT_TRUE(StopTask(dir.path(), b));
    EXPECT_EQ(ReadFile(dir.path() / "1.tsk"), before);
    EXPECT_FALSE(StartTask(dir.path(), 42));
    EXPECT_FALSE(StopTask(dir.path(), 42));
}

} // namespace
} // namespace kelmora::model
