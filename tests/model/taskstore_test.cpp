#include "model/category.h"
#include "model/syncfold.h"
#include "model/task.h"
#include "model/taskfile.h"
#include "model/taskops.h"
#include "model/taskstore.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <thread>
#include <unistd.h>

namespace kelmora::model {
namespace {

namespace fs = std::filesystem;
using testsupport::FolderFaults;
using testsupport::FromHex;
using testsupport::ReadFile;
using testsupport::SaveTask;
using testsupport::ScopedFakeClock;
using testsupport::ScopedFileSizeLimit;
using testsupport::TempDir;
using testsupport::ToHex;
using testsupport::Utc;
using testsupport::WriteFile;

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
    ASSERT_TRUE(SaveTask(dir.path(), 1, "written by another program"));
    EXPECT_EQ(store.CreateTask("new"), 2);
    // Deleted ids are never reused.
    EXPECT_TRUE(store.DeleteTask(1));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "1.tsk"));
    EXPECT_EQ(store.CreateTask("d"), 3);
    EXPECT_EQ(ReadNextTaskId(dir.path()), 4);
    EXPECT_EQ(store.TaskIds(), (std::vector<std::int32_t>{0, 2, 3}));
    EXPECT_FALSE(store.DeleteTask(-1));
    EXPECT_TRUE(store.DeleteTask(99)); // no file, nothing to do
}

TEST(TaskStore, IdxBehindTheFilesOrDamaged_NeverOverwritesATask)
{
    TempDir dir;
    ASSERT_TRUE(SaveTask(dir.path(), 0, "zero"));
    ASSERT_TRUE(SaveTask(dir.path(), 4, "four"));
    WriteFile(dir.path() / "idx", FromHex("01 00 00 00"));
    TaskStore store(dir.path());
    store.Load();
    // A dangling link holds its name as a file would.
    std::filesystem::create_symlink("nowhere", dir.path() / "5.tsk");
    EXPECT_EQ(store.CreateTask("new"), 6);
    EXPECT_EQ(testsupport::LoadTask(dir.path(), 4).name, "four");
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
    EXPECT_EQ(store.TaskIds(), (std::vector<std::int32_t>{0, 3, 12, 100}));
    EXPECT_EQ(ListTaskFiles(dir.path()), store.TaskIds());
    EXPECT_EQ(store.TaskIdAt(1), 3);
    EXPECT_EQ(store.TaskIdAt(-1), -1);
    EXPECT_EQ(store.TaskIdAt(4), -1);
    EXPECT_EQ(store.IndexOfTask(12), 2);
    EXPECT_EQ(store.IndexOfTask(13), -1);
    EXPECT_FALSE(TaskIdFromFileName("-0.tsk")); // not a second spelling of 0.tsk
    // A reload follows tasks and categories others removed and added; a damaged catalogue leaves it no category.
    const std::int32_t gone = store.CreateCategory("gone");
    TaskStore other(dir.path());
    ASSERT_TRUE(other.Load());
    other.DeleteCategory(gone);
    const std::int32_t added = other.CreateCategory("added");
    std::filesystem::remove(dir.path() / "3.tsk");
    WriteFile(dir.path() / "4.tsk", "");
    ASSERT_TRUE(store.Reload());
    EXPECT_EQ(store.TaskIds(), (std::vector<std::int32_t>{0, 4, 12, 100}));
    EXPECT_EQ(store.CategoryIds(), std::vector<std::int32_t>{added});
    WriteFile(CatalogPath(dir.path()), "<xml>");
    EXPECT_FALSE(store.Reload());
    EXPECT_EQ(store.CategoryCount(), 0);
    TaskStore missing(dir.path() / "missing");
    std::string error;
    EXPECT_FALSE(missing.Load(&error));
    EXPECT_FALSE(error.empty());
}

TEST(TaskStore, LargestIdTaken_CreationFallsBackToTheLowestFreeId)
{
    TempDir dir;
    ASSERT_TRUE(SaveTask(dir.path(), 1, "one"));
    ASSERT_TRUE(SaveTask(dir.path(), 2147483647, "stray"));
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
    ASSERT_TRUE(SaveTask(dir.path(), 0, "A"));
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
        EXPECT_EQ(testsupport::LoadTask(dir.path(), 0).IsRunning(), c.runningAfter);
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

bool SameSpans(const Task& a, const Task& b)
{
    return std::equal(a.intervals.begin(), a.intervals.end(), b.intervals.begin(), b.intervals.end(),
                      [](const Interval& x, const Interval& y) {
                          return x.start == y.start && x.closed == y.closed && (!x.closed || x.stop == y.stop);
                      });
}

// Spans written as "9-10" (closed, hours of 2008-01-01 UTC), "9-" (open) or "9:30-10".
std::vector<Task> TasksOf(const std::vector<std::vector<std::string>>& lists)
{
    const auto at = [](const std::string& text) {
        const auto colon = text.find(':');
        return Utc(2008, 1, 1, std::stoi(text), colon == std::string::npos ? 0 : std::stoi(text.substr(colon + 1)));
    };
    std::vector<Task> tasks;
    for (const auto& spans : lists) {
        Task task;
        task.id = static_cast<std::int32_t>(tasks.size());
        for (const std::string& span : spans) {
            const auto dash = span.find('-');
            const bool open = dash + 1 == span.size();
            task.intervals.Append(
                Interval(at(span.substr(0, dash)), open ? TimeStamp() : at(span.substr(dash + 1)), !open));
        }
        tasks.push_back(std::move(task));
    }
    return tasks;
}

TEST(TaskOps, SettleOpenSpans_LatestStartedRunsEveryOtherEndsAtTheNextStart)
{
    const struct
    {
        const char* name;
        std::vector<std::vector<std::string>> before;
        std::vector<std::vector<std::string>> after;
        std::int32_t running;
    } cases[] = {
        {"one open span is left alone", {{"8-9", "10-"}, {"9-9:30"}}, {{"8-9", "10-"}, {"9-9:30"}}, 0},
        {"two tasks running", {{"9-"}, {"8-8:30", "10-"}}, {{"9-10"}, {"8-8:30", "10-"}}, 1},
        {"a stray ends where the next span of any task starts",
         {{"8-", "11-"}, {"9:30-10"}},
         {{"8-9:30", "11-"}, {"9:30-10"}},
         0},
        {"equal starts: the later task runs, the other ends at once", {{"9-"}, {"9-"}}, {{"9-9"}, {"9-"}}, 1},
        {"a running span not at the end is moved there", {{"10-", "8-9"}}, {{"8-9", "10-"}}, 0},
        {"nothing open", {{"8-9"}}, {{"8-9"}}, -1},
    };
    for (const auto& c : cases) {
        std::vector<Task> tasks = TasksOf(c.before);
        const std::vector<Task> expected = TasksOf(c.after);
        std::vector<bool> changed;
        EXPECT_EQ(SettleOpenSpans(tasks, changed), c.running) << c.name;
        for (std::size_t i = 0; i < tasks.size(); ++i) {
            EXPECT_TRUE(SameSpans(tasks[i], expected[i])) << c.name << ", task " << i;
            EXPECT_EQ(changed[i], c.before[i] != c.after[i]) << c.name << ", task " << i;
        }
    }
}

TEST(TaskOps, StartAndStop_SettleTheFolderAndActOnlyOnTheRunningSpan)
{
    TempDir dir;
    ScopedFakeClock clock(2008, 1, 1, 12, 0);
    // Two spans left open by two programs, one of them in the middle of its list.
    std::vector<Task> tasks = TasksOf({{"9-", "9:30-9:45"}, {"10-"}, {"8-8:30", "9:10-9:20"}});
    for (const Task& task : tasks) {
        ASSERT_TRUE(task.Save(dir.path()));
    }
    TaskStore store(dir.path());
    store.Load();
    EXPECT_EQ(FindRunningTask(store), 1);
    // A stale view asks to stop task 0, which no longer runs: only the stray is settled.
    std::int32_t stopped = -2;
    ASSERT_TRUE(StopTask(dir.path(), 0, nullptr, &stopped));
    EXPECT_EQ(stopped, -1);
    EXPECT_EQ(FolderFaults(dir.path()), "");
    EXPECT_EQ(FindRunningTask(store), 1);
    // A switch closes the running span and opens the new one at the same moment.
    ASSERT_TRUE(StartTask(dir.path(), 2));
    ASSERT_TRUE(StopTask(dir.path(), kAnyTask, nullptr, &stopped));
    EXPECT_EQ(stopped, 2);
    for (Task& task : tasks) {
        task.Load(dir.path());
    }
    const std::vector<Task> expected = TasksOf({{"9-9:10", "9:30-9:45"}, {"10-12"}, {"8-8:30", "9:10-9:20", "12-12"}});
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        EXPECT_TRUE(SameSpans(tasks[i], expected[i])) << "task " << i;
    }
    // Nothing runs: a second stop changes no file and says so.
    const std::string before = ReadFile(dir.path() / "2.tsk");
    EXPECT_TRUE(StopTask(dir.path(), kAnyTask, nullptr, &stopped));
    EXPECT_EQ(stopped, -1);
    EXPECT_EQ(ReadFile(dir.path() / "2.tsk"), before);
    EXPECT_FALSE(StartTask(dir.path(), 42));
    // A span another machine's clock started ahead of this one's ends where it starts, never before.
    Task ahead = TasksOf({{"13-"}}).front();
    ahead.id = 3;
    ASSERT_TRUE(ahead.Save(dir.path()));
    ASSERT_TRUE(StopTask(dir.path(), kAnyTask));
    EXPECT_EQ(FolderFaults(dir.path()), "");
    // The quick look at a file agrees with a full load: an empty task does not run, a huge file is refused.
    const TaskFolderPeek peek(dir.path());
    WriteFile(dir.path() / "5.tsk", EncodeTask(Task{}));
    EXPECT_EQ(peek.Running(5), std::optional<bool>(false));
    WriteFile(dir.path() / "6.tsk", "");
    ASSERT_EQ(truncate((dir.path() / "6.tsk").c_str(), off_t{1} << 40), 0);
    EXPECT_EQ(peek.Running(6), std::nullopt);
}

TEST(TaskOps, SwitchWhoseNewFileCannotBeWritten_LeavesTheRunningTaskAsItWas)
{
    TempDir dir;
    ScopedFakeClock clock(2008, 1, 1, 9, 0);
    TaskStore store(dir.path());
    store.Load();
    const auto a = store.CreateTask("a");
    const auto b = store.CreateTask(std::string(3000, 'b'));
    ASSERT_TRUE(StartTask(dir.path(), a));
    const std::string running = ReadFile(dir.path() / "0.tsk");
    std::string error;
    {
        // Room for a's file but not for b's, as on a disk that fills up.
        ScopedFileSizeLimit limit(1000);
        EXPECT_FALSE(StartTask(dir.path(), b, &error));
    }
    EXPECT_NE(error.find("1.tsk"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir.path() / "0.tsk"), running);
    EXPECT_EQ(FindRunningTask(store), a);
}

TEST(SyncFold, ConflictNamesOfEachToolAndOnlyOfOurFiles)
{
    const std::pair<const char*, const char*> cases[] = {
        {"5.sync-conflict-20261206-101500-ABCDEFG.tsk", "5.tsk"},
        {"idx.sync-conflict-20261206-101500-ABCDEFG", "idx"},
        {"categories.sync-conflict-20261206-101500-ABC1EFG.xml", "categories.xml"},
        {"5 (conflicted copy 2026-12-06 101500).tsk", "5.tsk"},
        {"5_conflict-20261206-101500.tsk", "5.tsk"},
        {"12 (laptop's conflicted copy 2026-12-06).tsk", "12.tsk"},
        {"categories (Anna's PC's conflicted copy 2026-12-06 (1)).xml", "categories.xml"},
        {"5.sync-conflict-2026120-101500-ABCDEFG.tsk", ""},
        {"5.sync-conflict-20261206-101500-abcdefg.tsk", ""},
        {"05.sync-conflict-20261206-101500-ABCDEFG.tsk", ""},
        {"notes.sync-conflict-20261206-101500-ABCDEFG.txt", ""},
        {".syncthing.5.tsk.tmp", ""},
        {"5 (conflicted copy).tsk", ""},
        {"5.tsk", ""},
    };
    for (const auto& [name, original] : cases) {
        EXPECT_EQ(ConflictOriginal(name).value_or(""), original) << name;
    }
    // The fold waits while a sync tool is at work: a file just put there, or one of its temporary files.
    testsupport::TempDir dir;
    const std::int64_t now = WallClockNs();
    testsupport::WriteFile(dir.path() / "5.tsk", "");
    // Sync tools give a file the sender's modification time; its change time says when it arrived.
    std::filesystem::last_write_time(dir.path() / "5.tsk",
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_TRUE(SyncToolBusy(dir.path(), now + 1'000'000'000));
    EXPECT_FALSE(SyncToolBusy(dir.path(), now + 3'000'000'000));
    testsupport::WriteFile(dir.path() / ".syncthing.6.tsk.tmp", "");
    EXPECT_TRUE(SyncToolBusy(dir.path(), now + 3'000'000'000));
    EXPECT_FALSE(SyncToolBusy(dir.path(), now + 11'000'000'000)) << "one a failed pull left";
}

// Task 0 is on disk as `ours`, its conflict copy as `theirs`; the fold leaves the named tasks' spans.
TEST(SyncFold, TaskCopies_UnitedByNameOtherNamesBecomeTasksOneTaskRuns)
{
    const struct
    {
        const char* name;
        std::vector<std::vector<std::string>> ours; // task 0 is "A", task 1 "B"
        std::string theirsName;
        std::vector<std::string> theirs;
        std::map<std::string, std::vector<std::string>> after;
        int intervals;
    } cases[] = {
        {"disjoint", {{"8-9"}}, "A", {"10-11"}, {{"A", {"8-9", "10-11"}}}, 1},
        {"overlapping", {{"8-9"}}, "A", {"8:30-10"}, {{"A", {"8-10"}}}, 1},
        {"identical spans count once", {{"8-9", "10-11"}}, "A", {"8-9"}, {{"A", {"8-9", "10-11"}}}, 0},
        {"touching", {{"8-9"}}, "A", {"9-10"}, {{"A", {"8-9", "9-10"}}}, 1},
        {"the same task running on both sides", {{"9-"}}, "A", {"8-8:15", "8:30-"}, {{"A", {"8-8:15", "8:30-"}}}, 2},
        {"a closed span reaching into the open one", {{"9-"}}, "A", {"8:30-9:30"}, {{"A", {"8:30-"}}}, 1},
        {"an id clash", {{"8-9"}}, "C", {"10-11"}, {{"A", {"8-9"}}, {"C", {"10-11"}}}, 1},
        {"a clash with a task of the copy's name",
         {{"8-9"}, {"7-7:30"}},
         "B",
         {"10-11"},
         {{"A", {"8-9"}}, {"B", {"7-7:30", "10-11"}}},
         1},
        {"two tasks running: the later one runs",
         {{"9-"}, {"8-8:30"}},
         "B",
         {"8-8:30", "10-"},
         {{"A", {"9-10"}}, {"B", {"8-8:30", "10-"}}},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<Task> ours = TasksOf(c.ours);
        for (std::size_t i = 0; i < ours.size(); ++i) {
            ours[i].name = std::string(1, i == 0 ? 'A' : 'B');
            ASSERT_TRUE(ours[i].Save(dir.path()));
        }
        Task theirs = TasksOf({c.theirs}).front();
        theirs.name = c.theirsName;
        WriteFile(dir.path() / "0.sync-conflict-20261206-101500-ABCDEFG.tsk", EncodeTask(theirs));
        FoldReport report;
        ASSERT_TRUE(FoldConflictCopies(dir.path(), report));
        EXPECT_EQ(report.intervals, c.intervals);
        EXPECT_EQ(FolderFaults(dir.path()), "");
        EXPECT_EQ(FindConflictCopies(dir.path()), std::vector<std::string>());
        TaskStore store(dir.path());
        store.LoadTaskIds();
        for (const auto& [name, spans] : c.after) {
            EXPECT_TRUE(
                SameSpans(testsupport::LoadTask(dir.path(), FindTaskByName(store, name)), TasksOf({spans}).front()))
                << name;
        }
        // Run again, as after a crash before the copy went: nothing changes.
        const std::string first = ReadFile(dir.path() / "0.tsk");
        WriteFile(dir.path() / "0.sync-conflict-20261206-101500-ABCDEFG.tsk", EncodeTask(theirs));
        FoldReport again;
        ASSERT_TRUE(FoldConflictCopies(dir.path(), again));
        EXPECT_EQ(ReadFile(dir.path() / "0.tsk"), first);
        EXPECT_EQ(again.tasks, 0);
        EXPECT_EQ(store.LoadTaskIds(), true);
    }
}

std::string Catalogue(const std::string& categories, int next = 2)
{
    return "<xml><categories>" + categories + "</categories><next_id>" + std::to_string(next) + "</next_id></xml>";
}

// Side A made task 1 "Alpha" and put it and task 0 in Home; side B made task 1 "Beta" and put it in Work. The
// tool keeps one side's 1.tsk and the other side's categories.xml, or one side's both: each task keeps its
// own side's categories. Copies whose names carry the same device or host are of one side.
TEST(SyncFold, IdClash_EachTaskKeepsItsOwnSidesCategoriesWhicheverFilesWon)
{
    const std::string a = Catalogue(R"(<category name="Home" id="1"><task id="0"/><task id="1"/></category>)");
    const std::string b = Catalogue(R"(<category name="Work" id="1"><task id="1"/></category>)");
    const std::string bHome = Catalogue(R"(<category name="Home" id="1"><task id="1"/></category>)");
    const std::string home = "Home: Alpha Shared, Work: Beta";
    const struct
    {
        const char* name;
        const char* task;                 // the task in 1.tsk; the copy holds the other
        std::string taskCopy;             // the copy's name
        std::string file, copy, copyName; // categories.xml, its copy and the copy's name
        std::string after;
    } cases[] = {
        {"side a won both", "Alpha", "1.sync-conflict-20261207-101500-AAAAAAA.tsk", a, b,
         "categories.sync-conflict-20261207-101500-AAAAAAA.xml", home},
        {"a won the task, b the catalogue", "Alpha", "1.sync-conflict-20261207-101500-AAAAAAA.tsk", b, a,
         "categories.sync-conflict-20261207-101500-BBBBBBB.xml", home},
        {"b won the task, a the catalogue", "Beta", "1.sync-conflict-20261207-101500-BBBBBBB.tsk", a, b,
         "categories.sync-conflict-20261207-101500-AAAAAAA.xml", home},
        {"one host's copies", "Alpha", "1 (laptop's conflicted copy 2026-12-07).tsk", a, b,
         "categories (laptop's conflicted copy 2026-12-07).xml", home},
        {"a host's task, the other's catalogue", "Beta", "1 (pc's conflicted copy 2026-12-07).tsk", a, b,
         "categories (laptop's conflicted copy 2026-12-07).xml", home},
        {"both put their task 1 in Home", "Alpha", "1.sync-conflict-20261207-101500-AAAAAAA.tsk", a, bHome,
         "categories.sync-conflict-20261207-101500-AAAAAAA.xml", "Home: Alpha Beta Shared"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ASSERT_TRUE(SaveTask(dir.path(), 0, "Shared"));
        ASSERT_TRUE(SaveTask(dir.path(), 1, c.task));
        Task other;
        other.name = std::string(c.task) == "Alpha" ? "Beta" : "Alpha";
        WriteFile(dir.path() / c.taskCopy, EncodeTask(other));
        WriteFile(CatalogPath(dir.path()), c.file);
        WriteFile(dir.path() / c.copyName, c.copy);
        FoldReport report;
        ASSERT_TRUE(FoldConflictCopies(dir.path(), report));
        std::map<std::string, std::set<std::string>> members; // by category, the names of its tasks
        for (const Category& category : Category::LoadAll(dir.path()).value_or(std::vector<Category>())) {
            for (const std::int32_t id : category.TaskIds()) {
                Task task;
                task.id = id;
                members[category.GetName()].insert(task.Load(dir.path()) ? task.name : "?");
            }
        }
        std::string after;
        for (const auto& [category, names] : members) {
            after += (after.empty() ? "" : ", ") + category + ":";
            for (const std::string& name : names) {
                after += " " + name;
            }
        }
        EXPECT_EQ(after, c.after);
    }
}

// A fold cut short by a failing write at any point (a full disk, or a crash) and then run again ends exactly
// as one that never failed.
TEST(SyncFold, WriteFailingAtAnyStep_ThenFoldedAgain_SameAsAFoldThatNeverFailed)
{
    const auto plant = [](const fs::path& folder) {
        std::vector<Task> ours = TasksOf({{"8-9"}, {"9-"}});
        ours[0].name = "A";
        ours[1].name = "B";
        for (const Task& task : ours) {
            ASSERT_TRUE(task.Save(folder));
        }
        std::vector<Task> theirs = TasksOf({{"10-11"}, {"7-7:30", "11-"}});
        theirs[0].name = "A";
        theirs[1].name = "C";
        WriteFile(folder / "0.sync-conflict-20261206-101500-ABCDEFG.tsk", EncodeTask(theirs[0]));
        WriteFile(folder / "1 (conflicted copy 2026-12-06 101500).tsk", EncodeTask(theirs[1]));
        WriteFile(folder / "idx", std::string("\x02\0\0\0", 4));
        WriteFile(folder / "idx.sync-conflict-20261206-101500-ABCDEFG", std::string("\x01\0\0\0", 4));
        WriteFile(CatalogPath(folder), Catalogue(R"(<category name="W" id="1"><task id="0"/></category>)"));
        WriteFile(folder / "categories_conflict-20261206-101500.xml", Catalogue(R"(<category name="P" id="1"/>)"));
    };
    const auto files = [](const fs::path& folder) {
        std::map<std::string, std::string> all;
        for (const auto& entry : fs::directory_iterator(folder)) {
            all[entry.path().filename().string()] = ReadFile(entry.path());
        }
        return all;
    };
    TempDir clean;
    plant(clean.path());
    FoldReport once;
    ASSERT_TRUE(FoldConflictCopies(clean.path(), once));
    const auto expected = files(clean.path());
    EXPECT_EQ(FolderFaults(clean.path()), "");
    for (rlim_t limit = 0; limit <= 400; limit += 8) {
        TempDir dir;
        plant(dir.path());
        {
            ScopedFileSizeLimit full(limit);
            FoldReport cut;
            FoldConflictCopies(dir.path(), cut);
        }
        FoldReport again;
        ASSERT_TRUE(FoldConflictCopies(dir.path(), again));
        EXPECT_EQ(files(dir.path()), expected) << "writes past " << limit << " bytes failed";
    }
}

TEST(SyncFold, CatalogueIdxAndDamage_UnionKeptLargerIdsFailedStepsLoseNothing)
{
    TempDir dir;
    TaskStore store(dir.path());
    ASSERT_TRUE(store.Load());
    for (const char* name : {"A", "B", "C"}) {
        store.CreateTask(name);
    }
    WriteFile(CatalogPath(dir.path()), Catalogue(R"(<category name="Work" id="1"><task id="0"/></category>)"
                                                 R"(<category name="Home" id="2"/>)",
                                                 3));
    WriteFile(dir.path() / "categories.sync-conflict-20261206-101500-ABCDEFG.xml",
              Catalogue(R"(<category name="Work" id="1"><task id="0"/><task id="1"/></category>)"
                        R"(<category name="Play" id="2"><task id="2"/></category><category name="New" id="3"/>)",
                        6)); // ids 4 and 5 were given out there, and may still be in another copy
    WriteFile(dir.path() / "idx (conflicted copy 2026-12-06 101500)", std::string("\x09\0\0\0", 4));
    WriteFile(dir.path() / "1_conflict-20261206-101500.tsk", "\x05");
    const std::string damagedOriginal = "2 (laptop's conflicted copy 2026-12-06).tsk";
    WriteFile(dir.path() / damagedOriginal, EncodeTask(Task{}));
    WriteFile(dir.path() / "2.tsk", "\x05");
    const std::vector<std::string> copies = FindConflictCopies(dir.path());
    ASSERT_EQ(copies.size(), 4u);
    {
        // Every write fails, as on a full disk: every copy stays.
        ScopedFileSizeLimit limit(0);
        FoldReport failed;
        EXPECT_FALSE(FoldConflictCopies(dir.path(), failed));
        EXPECT_EQ(FindConflictCopies(dir.path()), copies);
    }
    FoldReport dry;
    ASSERT_TRUE(FoldConflictCopies(dir.path(), dry, true));
    EXPECT_EQ(FindConflictCopies(dir.path()), copies);
    FoldReport report;
    ASSERT_TRUE(FoldConflictCopies(dir.path(), report));
    EXPECT_EQ(dry.actions, report.actions);
    // The damaged copy and the copy of a damaged task stay, and are named.
    EXPECT_EQ(FindConflictCopies(dir.path()),
              (std::vector<std::string>{"1_conflict-20261206-101500.tsk", damagedOriginal}));
    EXPECT_EQ(report.damaged.size(), 2u);
    EXPECT_EQ(ReadNextTaskId(dir.path()), 9);
    EXPECT_EQ(ReadFile(CatalogPath(dir.path())),
              "\r\n\r\n<xml>\r\n\t<categories>\r\n\t\t<category name=\"Work\" id=\"1\" >\r\n\t\t\t<task id=\"0\" />\r\n"
              "\t\t\t<task id=\"1\" />\r\n\t\t</category>\r\n\t\t<category name=\"Home\" id=\"2\" />\r\n\t\t<category "
              "name=\"Play\" id=\"6\" >\r\n\t\t\t<task id=\"2\" />\r\n\t\t</category>\r\n\t\t<category name=\"New\" "
              "id=\"3\" />\r\n\t</categories>\r\n\t<next_id>7</next_id>\r\n</xml>");
    EXPECT_EQ(report.categories, 2);
}

} // namespace
} // namespace kelmora::model
