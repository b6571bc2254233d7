#include "model/taskfacts.h"
#include "model/taskops.h"
#include "model/taskstore.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace kelmora::model {
namespace {

namespace fs = std::filesystem;
using testsupport::RewriteInPlace;
using testsupport::ScopedFakeClock;
using testsupport::TempDir;
using testsupport::Utc;

// Where the facts tell a total without the spans, it is the total the spans give, at the edges of the period
// too; where they cannot tell, they say so. (Whether the cache keeps the facts right is the CLI's table.)
TEST(TaskFacts, TotalsFromFactsAreTheSpansOwn)
{
    ScopedFakeClock clock(2008, 4, 7, 12, 0);
    testsupport::ScopedTimeZone utc("UTC");
    const TimeStamp dayStart = Utc(2008, 4, 7, 0, 0);
    const TimeStamp now = Utc(2008, 4, 7, 12, 0);
    const struct
    {
        const char* what;
        std::vector<Interval> spans;
        bool knownInDay; // whether the facts tell this day's total
    } cases[] = {
        {"no spans", {}, true},
        {"ends where the day begins", {{Utc(2008, 4, 6, 9, 0), dayStart}}, true},
        {"ends a second into the day", {{Utc(2008, 4, 6, 9, 0), Utc(2008, 4, 7, 0, 0, 1)}}, false},
        {"within the day", {{Utc(2008, 4, 7, 1, 0), Utc(2008, 4, 7, 2, 0)}, {dayStart, now}}, true},
        {"runs backwards within the day", {{Utc(2008, 4, 7, 3, 0), Utc(2008, 4, 7, 2, 0)}}, true},
        {"runs backwards across the day's start", {{Utc(2008, 4, 7, 3, 0), Utc(2008, 4, 6, 2, 0)}}, true},
        {"reaches past the day's period", {{Utc(2008, 4, 7, 11, 0), Utc(2008, 4, 7, 13, 0)}}, false},
        {"starts where the day's period ends", {{now, Utc(2008, 4, 7, 13, 0)}}, true},
        {"before and within", {{Utc(2008, 4, 1, 1, 0), Utc(2008, 4, 1, 2, 0)}, {dayStart, now}}, false},
        {"open", {{Utc(2008, 4, 1, 1, 0), Utc(2008, 4, 1, 2, 0)}, {Utc(2008, 4, 6, 1, 0), TimeStamp(), false}}, false},
        {"open since earlier", {{Utc(2008, 4, 5, 1, 0), TimeStamp(), false}}, false},
    };
    TempDir data;
    std::vector<std::int32_t> ids;
    for (const auto& c : cases) {
        ids.push_back(static_cast<std::int32_t>(ids.size()));
        ASSERT_TRUE(testsupport::SaveTask(data.path(), ids.back(), c.what, c.spans));
    }
    Interval day;
    day.SetToday();
    const std::vector<TaskFacts> facts = GatherTaskFacts(data.path(), ids, {});
    ASSERT_EQ(facts.size(), std::size(cases));
    for (const TaskFacts& f : facts) {
        const auto& c = cases[static_cast<std::size_t>(f.id)];
        SCOPED_TRACE(c.what);
        const Task task = testsupport::LoadTask(data.path(), f.id);
        EXPECT_EQ(f.name, task.name);
        EXPECT_EQ(f.lastOpen, task.IsRunning());
        const std::optional<TimeSpan> inDay = TotalFromFacts(f, day);
        EXPECT_EQ(inDay.has_value(), c.knownInDay);
        EXPECT_EQ(inDay.value_or(task.TotalIn(day)), task.TotalIn(day));
        EXPECT_EQ(TotalFromFacts(f, std::nullopt).value_or(task.Total()), task.Total());
    }
    // Of two open last spans, the one that started later runs, with or without facts.
    EXPECT_EQ(RunningTaskOf(facts), 9);
    TaskStore store(data.path());
    store.LoadTaskIds();
    EXPECT_EQ(FindRunningTask(store), 9);
}

// Facts are kept only from a file whose later time, of modification and of change, lies over two seconds back.
TEST(FileStamp, SettledOnlyOverTwoSecondsAfterItsLaterTime)
{
    constexpr std::int64_t s = 1'000'000'000;
    const std::tuple<std::int64_t, std::int64_t, std::int64_t, bool> cases[] = {
        {10 * s, 10 * s, 12 * s, false}, {10 * s, 10 * s, 12 * s + 1, true}, {10 * s, 11 * s, 13 * s, false},
        {11 * s, 10 * s, 13 * s, false}, {10 * s, 11 * s, 13 * s + 1, true}, {20 * s, 10 * s, 15 * s, false}};
    for (const auto& [mtime, ctime, now, settled] : cases) {
        EXPECT_EQ((FileStamp{1, 1, mtime, ctime}.SettledBy(now)), settled) << mtime << " " << ctime << " " << now;
    }
}

// A run a while after the files were written reads none of them; just after a write, the same tick of the
// file system's clock may hold another write that moves none of the file's times, so facts read then are not
// kept and each run reads such files again.
TEST(TaskFacts, ReadsOnlyFilesChangedSinceOrJustNow)
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
    {
        const ScopedWallClockShift later(10'000'000'000);
        EXPECT_EQ(FindRunningTask(store, root.path() / "cache", &filesRead), -1);
        EXPECT_EQ(filesRead, 2);
        EXPECT_EQ(FindRunningTask(store, root.path() / "cache", &filesRead), -1);
        EXPECT_EQ(filesRead, 0);
    }
    RewriteInPlace(store.DataFolder() / "1.tsk", -17, std::string(1, '\0')); // the last span opened
    EXPECT_EQ(FindRunningTask(store, root.path() / "cache", &filesRead), 1);
    EXPECT_EQ(filesRead, 1);
    RewriteInPlace(store.DataFolder() / "1.tsk", -17, "\x01");
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(FindRunningTask(store, root.path() / "cache", &filesRead), -1);
        EXPECT_EQ(filesRead, 1);
    }
    // Whatever watches the data folder would take a cache written there for a change of data.
    const ScopedWallClockShift later(10'000'000'000);
    FindRunningTask(store, store.DataFolder());
    for (const auto& entry : fs::directory_iterator(store.DataFolder())) {
        EXPECT_EQ(entry.path().filename().string().find("facts"), std::string::npos);
    }
}

} // namespace
} // namespace kelmora::model
