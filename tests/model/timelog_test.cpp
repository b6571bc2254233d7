#include "model/taskstore.h"
#include "model/timelog.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
namespace kelmora::model {
namespace {

using testsupport::ScopedFakeClock;
using testsupport::ScopedTimeZone;
using testsupport::TempDir;
using testsupport::Utc;
using testsupport::WriteFile;

Interval Span(int day, int startHour, int stopHour)
{
    return Interval(Utc(2008, 1, day, startHour, 0), Utc(2008, 1, day, stopHour, 0), true);
}

class TimeLogTest : public ::testing::Test
{
protected:
    std::int32_t AddTask(const std::string& name, const std::vector<Interval>& intervals)
    {
        const std::int32_t id = m_store.CreateTask(name);
        EXPECT_TRUE(testsupport::SaveTask(m_dir.path(), id, name, intervals));
        return id;
    }

    ScopedTimeZone m_zone{"UTC"};
    ScopedFakeClock m_clock{2008, 1, 3, 12, 0};
    TempDir m_dir;
    TaskStore m_store{m_dir.path()};
};

TEST_F(TimeLogTest, BuildAll_SortedByStartNewestFirstInTextRunningSpansClosed)
{
    AddTask("A", {Span(1, 9, 10), Span(2, 9, 10)});
    AddTask("B", {Span(1, 11, 12)});
    TimeLog log;
    ASSERT_TRUE(log.BuildAll(m_store));
    ASSERT_EQ(log.Count(), 3);
    EXPECT_EQ(log.At(0).start, Utc(2008, 1, 1, 9, 0));
    EXPECT_EQ(log.At(1).taskId, 1);
    EXPECT_EQ(log.ToTabText(), "A\t01:00:00\t2008-01-02 09:00:00\t2008-01-02 10:00:00\r\n"
                               "B\t01:00:00\t2008-01-01 11:00:00\t2008-01-01 12:00:00\r\n"
                               "A\t01:00:00\t2008-01-01 09:00:00\t2008-01-01 10:00:00\r\n");
    // A running span is closed at the moment of the build.
    AddTask("C", {Interval(Utc(2008, 1, 3, 11, 0), TimeStamp(), false)});
    ASSERT_TRUE(log.BuildAll(m_store));
    EXPECT_TRUE(log.At(3).closed);
    EXPECT_EQ(log.At(3).stop, Utc(2008, 1, 3, 12, 0));
    m_clock->SetUtc(2008, 1, 3, 13, 0);
    const std::string running = "C\t01:00:00\t2008-01-03 11:00:00\t2008-01-03 12:00:00\r\n";
    EXPECT_EQ(log.ToTabText().substr(0, running.size()), running);
}

TEST_F(TimeLogTest, BuildForPeriod_KeepsOverlappingSpansWholeDropsTouchingOnes)
{
    AddTask("A", {Span(1, 8, 9), Span(1, 9, 11), Span(1, 12, 13), Span(1, 13, 14)});
    TimeLog log;
    ASSERT_TRUE(log.BuildForPeriod(m_store, Interval(Utc(2008, 1, 1, 10, 0), Utc(2008, 1, 1, 13, 0))));
    ASSERT_EQ(log.Count(), 2);
    EXPECT_EQ(log.At(0).start, Utc(2008, 1, 1, 9, 0)); // not cut to the period
    EXPECT_EQ(log.At(0).stop, Utc(2008, 1, 1, 11, 0));
    EXPECT_EQ(log.At(1).start, Utc(2008, 1, 1, 12, 0));
}

TEST_F(TimeLogTest, EqualStarts_ComeOutInReverseInsertionOrder)
{
    TimeLog log;
    log.Insert(TimeLogEntry(Span(1, 9, 10), 1));
    log.Insert(TimeLogEntry(Span(1, 9, 11), 2));
    log.Insert(TimeLogEntry(Span(1, 8, 9), 3));
    EXPECT_EQ(log.At(0).taskId, 3);
    EXPECT_EQ(log.At(1).taskId, 1);
    EXPECT_EQ(log.At(2).taskId, 2);

    // A build orders equal starts the same way: by store order, then by list order, also when it has to sort.
    AddTask("first", {Span(1, 10, 11)});
    AddTask("second", {Span(1, 9, 10), Span(1, 10, 12)});
    TimeLog built;
    built.BuildAll(m_store);
    EXPECT_EQ(built.ToTabText(), "second\t02:00:00\t2008-01-01 10:00:00\t2008-01-01 12:00:00\r\n"
                                 "first\t01:00:00\t2008-01-01 10:00:00\t2008-01-01 11:00:00\r\n"
                                 "second\t01:00:00\t2008-01-01 09:00:00\t2008-01-01 10:00:00\r\n");
}

TEST_F(TimeLogTest, EntryTexts_EmptyOutsideTheLog)
{
    const TimeLogEntry entry(Interval(Utc(2008, 4, 7, 13, 5, 9), Utc(2008, 4, 7, 14, 0)), 4);
    EXPECT_EQ(entry.Format("Work"), "Work  00:54:51 (2008-04-07 13:05:09 - 2008-04-07 14:00:00)");
    // Outside the log: an empty entry with empty texts.
    TimeLog log;
    log.Insert(entry);
    for (const std::int32_t index : {-1, 1}) {
        const TimeLogEntry none = log.At(index);
        EXPECT_EQ(none.taskId, -1);
        EXPECT_EQ(none.Format("x"), "");
        EXPECT_EQ(none.ToHtmlRow("x"), "");
        EXPECT_EQ(none.ToTabRow("x"), "");
    }
}

TEST_F(TimeLogTest, TabText_KeepsNamesRawButForTabsAndLineBreaks)
{
    AddTask("<script>alert(\"x\")</script> & co", {Span(1, 9, 10)});
    TimeLog log;
    log.BuildAll(m_store);
    EXPECT_EQ(log.ToTabText().substr(0, 34), "<script>alert(\"x\")</script> & co\t0");
    // Tabs and line breaks in a name would split the record.
    AddTask("a\tb\r\nc", {Span(2, 9, 10)});
    log.BuildAll(m_store);
    EXPECT_EQ(log.ToTabText().substr(0, 16), "a b  c\t01:00:00\t");
}

TEST_F(TimeLogTest, UnreadableTask_SkippedOthersKeptTextsUseTheNamesOfTheBuild)
{
    AddTask("A", {Span(1, 9, 10)});
    const std::int32_t broken = AddTask("B", {Span(1, 10, 11)});
    AddTask("C", {Span(1, 11, 12)});
    WriteFile(m_dir.path() / "1.tsk", "\x01");
    TimeLog log;
    EXPECT_FALSE(log.BuildAll(m_store));
    EXPECT_EQ(log.Count(), 2);
    EXPECT_EQ(log.SkippedTaskIds(), std::vector<std::int32_t>{broken});
    // A later successful build forgets the earlier trouble.
    m_store.DeleteTask(broken);
    EXPECT_TRUE(log.BuildAll(m_store));
    EXPECT_TRUE(log.SkippedTaskIds().empty());
    // Texts use the names of the build.
    Task renamed = testsupport::LoadTask(m_dir.path(), 0);
    renamed.name = "After";
    renamed.Save(m_dir.path());
    EXPECT_EQ(log.TaskName(0), "A");
    // Entries added by hand for tasks the build did not see are named from their files.
    const std::int32_t other = AddTask("Other", {});
    log.Insert(TimeLogEntry(Span(2, 9, 10), other));
    EXPECT_EQ(log.ToTabText().substr(0, 6), "Other\t");
    log.Insert(TimeLogEntry(Span(3, 9, 10), 99));
    EXPECT_EQ(log.ToTabText().substr(0, 2), "\t0");
}

// Against a stable sort of the spans in the order added (task, then list order), with many equal starts: in the
// usual range, with negative day counts, with a damaged millisecond count, and with stamps so far apart that
// start and position no longer fit one number.
TEST(TimeLogOrder, BuildFromTasks_StableByStartInEveryRange)
{
    ScopedTimeZone zone("UTC");
    struct Case
    {
        const char* name;
        std::vector<TimeStamp> extraStarts;
    };
    const Case cases[] = {
        {"usual", {}},
        {"negative days", {TimeStamp::FromRaw(-5, 1'000), TimeStamp::FromRaw(-700'000, 0)}},
        {"damaged milliseconds", {TimeStamp::FromRaw(39'450, -1), TimeStamp::FromRaw(39'450, 90'000'000)}},
        {"far apart", {TimeStamp::FromRaw(INT32_MIN, 0), TimeStamp::FromRaw(INT32_MAX, 86'399'999)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 random(7);
        std::vector<Task> tasks(3);
        // The stop names the span: its task and its place in the task's list.
        std::vector<Interval> added;
        for (std::size_t t = 0; t < tasks.size(); ++t) {
            tasks[t].id = static_cast<std::int32_t>(t + 10);
            std::vector<TimeStamp> starts = c.extraStarts;
            for (int i = 0; i < 200; ++i) {
                starts.push_back(TimeStamp::FromRaw(39'448 + static_cast<std::int32_t>(random() % 4),
                                                    static_cast<std::int32_t>(random() % 5) * 3'600'000));
            }
            for (const TimeStamp& start : starts) {
                const Interval span(start, TimeStamp::FromRaw(tasks[t].id, tasks[t].intervals.Count()));
                tasks[t].intervals.Append(span);
                added.push_back(span);
            }
        }
        std::stable_sort(added.begin(), added.end(),
                         [](const Interval& a, const Interval& b) { return a.start < b.start; });
        TimeLog log;
        log.BuildFromTasks(tasks, nullptr);
        ASSERT_EQ(log.Entries().size(), added.size());
        for (std::size_t i = 0; i < added.size(); ++i) {
            ASSERT_EQ(log.Entries()[i].start, added[i].start) << i;
            ASSERT_EQ(log.Entries()[i].stop, added[i].stop) << i;
            ASSERT_EQ(log.Entries()[i].taskId, added[i].stop.days) << i;
        }
    }
}

} // namespace
} // namespace kelmora::model
