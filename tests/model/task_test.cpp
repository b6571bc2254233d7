#include "model/task.h"
#include "model/taskfile.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kelmora::model {
namespace {

using testsupport::FromHex;
using testsupport::ReadFile;
using testsupport::ScopedFakeClock;
using testsupport::ScopedTimeLocale;
using testsupport::ScopedTimeZone;
using testsupport::TempDir;
using testsupport::ToHex;
using testsupport::Utc;
using testsupport::WriteFile;

// Intervals on 2008-01-01, UTC.
Interval At(int startHour, int startMinute, int stopHour, int stopMinute)
{
    return Interval(Utc(2008, 1, 1, startHour, startMinute), Utc(2008, 1, 1, stopHour, stopMinute), true);
}

std::pair<TimeStamp, TimeStamp> Span(const Interval& i)
{
    return {i.start, i.stop};
}

// The spans of a list on 2008-01-01 UTC as "9:00-10:00 11:00-12:00".
std::string Text(const IntervalList& list)
{
    std::string text;
    for (const Interval& i : list) {
        const DateParts a = i.start.GetUtcParts();
        const DateParts b = i.stop.GetUtcParts();
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%s%d:%02d-%d:%02d", text.empty() ? "" : " ", a.hour, a.minute, b.hour,
                      b.minute);
        text += buffer;
    }
    return text;
}

class IntervalListTest : public ::testing::Test
{
protected:
    ScopedTimeZone m_zone{"UTC"};
    ScopedFakeClock m_clock{2008, 1, 1, 15, 0};
};

// Overlapping spans merge into one, however many the new one reaches; touching and zero-length spans stay
// apart, and a new span goes after those that start with it.
TEST_F(IntervalListTest, Insert_MergesOverlapsAndKeepsStartOrder)
{
    const struct
    {
        std::vector<Interval> inserted;
        const char* expected;
    } cases[] = {
        {{At(9, 0, 10, 0), At(11, 0, 12, 0), At(10, 0, 11, 0)}, "9:00-10:00 10:00-11:00 11:00-12:00"},
        {{At(9, 0, 10, 0), At(10, 15, 11, 0), At(9, 30, 10, 30)}, "9:00-11:00"},
        {{At(1, 0, 2, 0), At(3, 0, 4, 0), At(5, 0, 6, 0), At(11, 0, 12, 0), At(0, 30, 12, 30)}, "0:30-12:30"},
        {{At(9, 0, 10, 0), At(8, 0, 8, 30), At(12, 0, 13, 0)}, "8:00-8:30 9:00-10:00 12:00-13:00"},
        {{At(9, 0, 10, 0), At(9, 30, 9, 30)}, "9:00-10:00 9:30-9:30"},
        {{At(9, 0, 10, 0), At(9, 30, 9, 30), At(9, 0, 9, 0)}, "9:00-10:00 9:00-9:00 9:30-9:30"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        IntervalList list;
        for (const Interval& interval : c.inserted) {
            ASSERT_TRUE(list.Insert(interval));
        }
        EXPECT_EQ(Text(list), c.expected);
        EXPECT_TRUE(list.At(0).closed);
    }
}

// Open spans are not inserted; indexes outside the list give an empty closed span and remove nothing.
TEST_F(IntervalListTest, OpenInsertAndIndexesOutside_RefusedOverlapsOfTheRunningSpanCloseIt)
{
    IntervalList list;
    list.Insert(At(9, 0, 10, 0));
    Interval open = At(11, 0, 12, 0);
    open.closed = false;
    EXPECT_FALSE(list.Insert(open));
    EXPECT_EQ(list.Count(), 1);
    for (const int index : {-1, 1}) {
        const Interval none = list.At(index);
        EXPECT_TRUE(none.closed);
        EXPECT_EQ(Span(none), Span(Interval()));
        EXPECT_FALSE(list.RemoveAt(index));
    }
    EXPECT_TRUE(list.RemoveAt(0));
    EXPECT_EQ(list.Count(), 0);
    // A span overlapping the running one closes it at now.
    m_clock->SetUtc(2008, 1, 1, 14, 0);
    IntervalList running;
    ASSERT_TRUE(running.Start());
    m_clock->SetUtc(2008, 1, 1, 15, 0);
    running.Insert(At(13, 0, 14, 30));
    ASSERT_EQ(running.Count(), 1);
    EXPECT_EQ(Span(running.At(0)), Span(At(13, 0, 15, 0)));
    EXPECT_FALSE(running.IsRunning());
}

TEST_F(IntervalListTest, StartAndStop_OpenAndCloseAtNow)
{
    IntervalList list;
    EXPECT_FALSE(list.Stop());
    m_clock->SetUtc(2008, 1, 1, 9, 0);
    ASSERT_TRUE(list.Start());
    EXPECT_TRUE(list.IsRunning());
    EXPECT_EQ(list.At(0).stop, TimeStamp()); // an open span carries a zero stop
    m_clock->SetUtc(2008, 1, 1, 9, 45);
    EXPECT_EQ(list.Total().Format(), "00:45:00");
    ASSERT_TRUE(list.Stop());
    EXPECT_FALSE(list.IsRunning());
    EXPECT_EQ(Span(list.At(0)), Span(At(9, 0, 9, 45)));
    // Stopping again moves the closed span's end to the new now.
    m_clock->SetUtc(2008, 1, 1, 10, 0);
    EXPECT_TRUE(list.Stop());
    EXPECT_EQ(list.At(0).stop, Utc(2008, 1, 1, 10, 0));
    // Two starts give two open spans; the last one decides whether the list runs.
    list.Start();
    list.Start();
    EXPECT_EQ(list.Count(), 3);
    EXPECT_FALSE(list.At(1).closed);
    EXPECT_TRUE(list.IsRunning());
}

TEST_F(IntervalListTest, TotalIn_CountsOnlyThePartsInsideThePeriodOpenSpansUpToNow)
{
    IntervalList list;
    list.Insert(At(9, 0, 10, 0));
    list.Insert(At(11, 0, 12, 0));
    EXPECT_EQ(list.TotalIn(At(9, 30, 11, 15)).Format(), "00:45:00");
    EXPECT_EQ(list.TotalIn(At(10, 0, 11, 0)).Format(), "00:00:00"); // touches both ends only
    EXPECT_EQ(list.TotalIn(At(9, 10, 9, 20)).Format(), "00:10:00");
    EXPECT_EQ(list.TotalIn(At(13, 0, 14, 0)).Format(), "00:00:00");
    EXPECT_EQ(list.Total().Format(), "02:00:00");
    // An open span counts up to now.
    m_clock->SetUtc(2008, 1, 1, 14, 0);
    list.Start();
    m_clock->SetUtc(2008, 1, 1, 14, 20);
    Interval today;
    today.SetToday();
    EXPECT_EQ(list.TotalIn(today).Format(), "02:20:00");
    // The text of an open span ends now.
    Interval open(Utc(2008, 1, 1, 13, 25, 9), TimeStamp(), false);
    EXPECT_EQ(open.Format(), "2008-01-01 13:25:09 - 2008-01-01 14:20:00 (00:54:51)");
    EXPECT_EQ(open.Duration().Format(), "00:54:51");
}

// ---- calendar periods ----

// Each period starts at local midnight of its first day, stepping back by calendar days, so a week holding a
// daylight-saving change still starts at midnight; the week starts on the locale's first day. Each current
// period ends now; each past one ends at the midnight where the current one begins.
TEST(CalendarPeriod, StartAtLocalMidnightOfTheFirstDay)
{
    const struct
    {
        const char* zone;
        const char* locale;
        TimeStamp now;
        int index; // today, this week, this month, this year; 5 yesterday … 8 last year
        TimeStamp start;
        TimeStamp stop; // {}: now
    } cases[] = {
        {"UTC", "en_GB.UTF-8", Utc(2008, 4, 6, 15, 0), 1, Utc(2008, 3, 31, 0, 0), {}}, // a Sunday
        {"UTC", "en_US.UTF-8", Utc(2008, 4, 6, 15, 0), 1, Utc(2008, 4, 6, 0, 0), {}},
        {"UTC", "en_US.UTF-8", Utc(2008, 4, 9, 15, 0), 1, Utc(2008, 4, 6, 0, 0), {}},
        {"UTC", "en_US.UTF-8", Utc(2008, 4, 9, 15, 0), 2, Utc(2008, 4, 1, 0, 0), {}},
        // Half a minute into July in Berlin; New Year was winter time.
        {"Europe/Berlin", "en_US.UTF-8", Utc(2008, 6, 30, 22, 0, 30), 3, Utc(2007, 12, 31, 23, 0), {}},
        // The local date, not the UTC date: 09:30 on the 15th in Sydney.
        {"Australia/Sydney", "en_US.UTF-8", Utc(2009, 1, 14, 22, 30), 0, Utc(2009, 1, 14, 13, 0), {}},
        // Wednesday 2008-04-02; the clocks went forward on Sunday 2008-03-30, Monday was summer time.
        {"Europe/Berlin", "en_GB.UTF-8", Utc(2008, 4, 2, 10, 0), 1, Utc(2008, 3, 30, 22, 0), {}},
        // Wednesday 2008-10-29; the clocks went back on Sunday 2008-10-26, inside the week.
        {"Europe/Berlin", "en_US.UTF-8", Utc(2008, 10, 29, 10, 0), 1, Utc(2008, 10, 25, 22, 0), {}},
        // Friday noon in New York; the week began in the year before.
        {"America/New_York", "en_GB.UTF-8", Utc(2009, 1, 2, 17, 0), 1, Utc(2008, 12, 29, 5, 0), {}},
        // Yesterday was the 23-hour day the clocks went forward.
        {"Europe/Berlin", "en_US.UTF-8", Utc(2008, 3, 31, 10, 0), 5, Utc(2008, 3, 29, 23, 0), Utc(2008, 3, 30, 22, 0)},
        {"Australia/Sydney", "en_GB.UTF-8", Utc(2009, 1, 14, 22, 30), 5, Utc(2009, 1, 13, 13, 0),
         Utc(2009, 1, 14, 13, 0)},
        // Last week by the locale's week: Monday to Monday, or Sunday to Sunday.
        {"UTC", "en_GB.UTF-8", Utc(2008, 4, 9, 15, 0), 6, Utc(2008, 3, 31, 0, 0), Utc(2008, 4, 7, 0, 0)},
        {"UTC", "en_US.UTF-8", Utc(2008, 4, 9, 15, 0), 6, Utc(2008, 3, 30, 0, 0), Utc(2008, 4, 6, 0, 0)},
        {"Europe/Berlin", "en_GB.UTF-8", Utc(2008, 4, 2, 10, 0), 6, Utc(2008, 3, 23, 23, 0), Utc(2008, 3, 30, 22, 0)},
        // Last month across the year's end, and a leap February.
        {"America/New_York", "en_US.UTF-8", Utc(2009, 1, 2, 17, 0), 7, Utc(2008, 12, 1, 5, 0), Utc(2009, 1, 1, 5, 0)},
        {"UTC", "en_GB.UTF-8", Utc(2008, 3, 15, 12, 0), 7, Utc(2008, 2, 1, 0, 0), Utc(2008, 3, 1, 0, 0)},
        {"Europe/Berlin", "en_US.UTF-8", Utc(2008, 6, 30, 22, 0, 30), 8, Utc(2006, 12, 31, 23, 0),
         Utc(2007, 12, 31, 23, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.locale + " " + std::to_string(c.index) + " " + c.now.Format());
        ScopedTimeZone zone(c.zone);
        ScopedTimeLocale locale(c.locale);
        ScopedFakeClock clock;
        clock->Set(c.now.ToUnixMs());
        Interval period;
        ASSERT_TRUE(period.SetCalendarPeriod(c.index));
        EXPECT_EQ(period.start, c.start);
        EXPECT_EQ(period.stop, c.stop == TimeStamp() ? c.now : c.stop);
        EXPECT_TRUE(period.closed);
    }
    // Any other index means all time.
    ScopedTimeZone zone("UTC");
    ScopedFakeClock clock(2008, 4, 9, 15, 0);
    Interval untouched;
    EXPECT_FALSE(untouched.SetCalendarPeriod(4));
    EXPECT_FALSE(untouched.SetCalendarPeriod(9));
    EXPECT_FALSE(untouched.SetCalendarPeriod(-1));
    EXPECT_EQ(untouched.start, TimeStamp());

    Task task;
    task.id = 1;
    task.intervals.Insert(Interval(Utc(2008, 3, 1, 9, 0), Utc(2008, 3, 1, 10, 0)));
    task.intervals.Insert(Interval(Utc(2008, 4, 9, 9, 0), Utc(2008, 4, 9, 9, 30)));
    EXPECT_EQ(task.TotalInCalendarPeriod(0).Format(), "00:30:00");
    EXPECT_EQ(task.TotalInCalendarPeriod(3).Format(), "01:30:00");
    EXPECT_EQ(task.TotalInCalendarPeriod(9).Format(), "01:30:00");
    EXPECT_EQ(task.TotalInCalendarPeriod(Interval::kLastMonth).Format(), "01:00:00");
}

constexpr const char* kAbcOneHour =
    "03 00 00 00 61 62 63 01 00 00 00 01 18 9A 00 00 80 62 EE 01 18 9A 00 00 00 51 25 02";

class TaskFileTest : public ::testing::Test
{
protected:
    Task Loaded(const std::string& bytes, bool expectSuccess = true)
    {
        WriteFile(TaskPath(m_dir.path(), 5), bytes);
        Task task;
        task.id = 5;
        EXPECT_EQ(task.Load(m_dir.path()), expectSuccess);
        return task;
    }

    TempDir m_dir;
};

// Name length and bytes, record count, then per record a closed byte and two stamps, an open record with a zero
// stop. Records out of order and any name are kept as written.
TEST_F(TaskFileTest, Save_ExactBytesAndBack)
{
    ScopedFakeClock clock(2008, 1, 1, 9, 0);
    const std::filesystem::path file = m_dir.path() / "5.tsk";
    Task task;
    task.id = 5;
    task.name = "abc";
    task.intervals.Insert(Interval(Utc(2008, 1, 1, 9, 0), Utc(2008, 1, 1, 10, 0)));
    ASSERT_TRUE(task.Save(m_dir.path()));
    EXPECT_EQ(ToHex(ReadFile(file)), kAbcOneHour);
    EXPECT_EQ(Span(Loaded(FromHex(kAbcOneHour)).intervals.At(0)), Span(task.intervals.At(0)));

    task.name = "a";
    task.intervals = IntervalList();
    ASSERT_TRUE(task.Start());
    ASSERT_TRUE(task.Save(m_dir.path()));
    EXPECT_EQ(ToHex(ReadFile(file)), "01 00 00 00 61 01 00 00 00 00 18 9A 00 00 80 62 EE 01 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(Loaded(ReadFile(file)).intervals.IsRunning());

    task.name = "Größe \"quoted\" <b>&amp; \\ tab\there";
    task.intervals = IntervalList();
    task.intervals.Append(Interval(Utc(2008, 1, 2, 9, 0), Utc(2008, 1, 2, 10, 0)));
    task.intervals.Append(Interval(Utc(2008, 1, 1, 9, 0), Utc(2008, 1, 1, 10, 0)));
    ASSERT_TRUE(task.Save(m_dir.path()));
    const Task back = Loaded(ReadFile(file));
    EXPECT_EQ(back.name, task.name);
    EXPECT_EQ(back.intervals.At(0).start, Utc(2008, 1, 2, 9, 0));
    EXPECT_EQ(back.intervals.At(1).start, Utc(2008, 1, 1, 9, 0));
}

// What a file holds as read: a damaged file fails cleanly.
TEST_F(TaskFileTest, Load_GoodAndDamagedFiles)
{
    const std::string good = FromHex(kAbcOneHour);
    std::string anyClosedByte = good;
    anyClosedByte[11] = 7;
    std::string twoPromised = good;
    twoPromised[7] = 2;
    const struct
    {
        std::string bytes;
        bool ok;
        const char* name;
        int count;
    } cases[] = {
        {good, true, "abc", 1},
        {anyClosedByte, true, "abc", 1},
        {good + "junk", true, "abc", 1},
        {FromHex("01 00 00 00 78 FF FF FF FF"), true, "x", 0}, // a negative count
        {FromHex("01 00 00 00 78 00 00 00 00"), true, "x", 0},
        {FromHex("03 00 00 00 61 00 63 00 00 00 00"), true, "a", 0}, // the name stops at its first zero byte
        {FromHex("FF 00 00 00 61 62"), false, "", 0},                // a name length beyond the end
        {FromHex("FF FF FF FF 61 62 63"), false, "", 0},             // must not reserve its size
        {twoPromised, false, "abc", 0},                         // more records promised than the file holds: none read
        {FromHex("01 00 00 00 78 FF FF FF 7F"), false, "x", 0}, // a huge count with no records
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToHex(c.bytes));
        const Task task = Loaded(c.bytes, c.ok);
        EXPECT_EQ(task.name, c.name);
        ASSERT_EQ(task.intervals.Count(), c.count);
        if (c.count > 0) {
            EXPECT_TRUE(task.intervals.At(0).closed);
            EXPECT_EQ(task.intervals.At(0).stop, Utc(2008, 1, 1, 10, 0));
        }
    }
    // Every truncation short of the full file fails.
    for (std::size_t length = 0; length < good.size(); ++length) {
        Loaded(good.substr(0, length), false);
    }
    // A closed byte other than one is written back as one.
    Loaded(anyClosedByte).Save(m_dir.path());
    EXPECT_EQ(ToHex(ReadFile(TaskPath(m_dir.path(), 5))), kAbcOneHour);
}

TEST_F(TaskFileTest, MissingFileNoIdentityOrOverlongName_Refused)
{
    Task task;
    task.id = 77;
    std::string error;
    EXPECT_FALSE(task.Load(m_dir.path(), &error));
    EXPECT_NE(error.find("77.tsk"), std::string::npos);
    task.id = -1;
    EXPECT_FALSE(task.Load(m_dir.path()));
    EXPECT_FALSE(task.Save(m_dir.path()));
    // Without an identity totals are zero and nothing starts or stops.
    ScopedFakeClock clock(2008, 1, 1, 12, 0);
    task = Task();
    task.intervals.Insert(At(9, 0, 10, 0));
    EXPECT_EQ(task.Total(), TimeSpan());
    EXPECT_EQ(task.TotalIn(At(0, 0, 23, 0)), TimeSpan());
    EXPECT_FALSE(task.Start());
    EXPECT_FALSE(task.Stop());
    task.id = 3;
    EXPECT_EQ(task.Total().Format(), "01:00:00");
    // A name longer than a file may hold is refused, and the old file kept.
    WriteFile(TaskPath(m_dir.path(), 5), FromHex(kAbcOneHour));
    task = Task();
    task.id = 5;
    task.name.assign(kMaxNameBytes + 1, 'n');
    error.clear();
    EXPECT_FALSE(task.Save(m_dir.path(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ToHex(ReadFile(TaskPath(m_dir.path(), 5))), kAbcOneHour);
    task.name.assign(kMaxNameBytes, 'n');
    EXPECT_TRUE(task.Save(m_dir.path()));
    EXPECT_EQ(Loaded(ReadFile(TaskPath(m_dir.path(), 5))).name.size(), kMaxNameBytes);
}

} // namespace
} // namespace kelmora::model
