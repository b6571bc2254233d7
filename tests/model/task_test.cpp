#include "model/task.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace kelmora::model {
namespace {

using testsupport::Local;
using testsupport::ScopedFakeClock;
using testsupport::ScopedTimeLocale;
using testsupport::ScopedTimeZone;
using testsupport::Utc;

// Intervals on 2008-01-01, UTC.
Interval At(int startHour, int startMinute, int stopHour, int stopMinute)
{
    return Interval(Utc(2008, 1, 1, startHour, startMinute), Utc(2008, 1, 1, stopHour, stopMinute), true);
}

std::vector<std::pair<TimeStamp, TimeStamp>> Spans(const IntervalList& list)
{
    std::vector<std::pair<TimeStamp, TimeStamp>> result;
    for (const Interval& i : list) {
        result.emplace_back(i.start, i.stop);
    }
    return result;
}

std::pair<TimeStamp, TimeStamp> Span(const Interval& i)
{
    return {i.start, i.stop};
}

class IntervalListTest : public ::testing::Test
{
protected:
    ScopedTimeZone m_zone{"UTC"};
    ScopedFakeClock m_clock{2008, 1, 1, 15, 0};
};

TEST_F(IntervalListTest, InsertTouching_KeepsThreeApart)
{
    IntervalList list;
    list.Insert(At(9, 0, 10, 0));
    list.Insert(At(11, 0, 12, 0));
    ASSERT_TRUE(list.Insert(At(10, 0, 11, 0)));
    EXPECT_EQ(Spans(list),
              (decltype(Spans(list)){Span(At(9, 0, 10, 0)), Span(At(10, 0, 11, 0)), Span(At(11, 0, 12, 0))}));
}

TEST_F(IntervalListTest, InsertOverlappingTwo_MergesIntoOne)
{
    IntervalList list;
    list.Insert(At(9, 0, 10, 0));
    list.Insert(At(10, 15, 11, 0));
    list.Insert(At(9, 30, 10, 30));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(Span(list.At(0)), Span(At(9, 0, 11, 0)));
    EXPECT_TRUE(list.At(0).closed);
}

TEST_F(IntervalListTest, InsertSpanningMany_AbsorbsAll)
{
    IntervalList list;
    for (int h = 1; h <= 12; h += 2) {
        list.Insert(At(h, 0, h + 1, 0));
    }
    list.Insert(At(0, 30, 12, 30));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(Span(list.At(0)), Span(At(0, 30, 12, 30)));
}

TEST_F(IntervalListTest, InsertBeforeAndAfter_KeepsStartOrder)
{
    IntervalList list;
    list.Insert(At(9, 0, 10, 0));
    list.Insert(At(8, 0, 8, 30));
    list.Insert(At(12, 0, 13, 0));
    EXPECT_EQ(Span(list.At(0)), Span(At(8, 0, 8, 30)));
    EXPECT_EQ(Span(list.At(1)), Span(At(9, 0, 10, 0)));
    EXPECT_EQ(Span(list.At(2)), Span(At(12, 0, 13, 0)));
}

TEST_F(IntervalListTest, InsertZeroLength_NeverMergesAndGoesAfterEqualStarts)
{
    IntervalList list;
    list.Insert(At(9, 0, 10, 0));
    list.Insert(At(9, 30, 9, 30));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(Span(list.At(1)), Span(At(9, 30, 9, 30)));
    list.Insert(At(9, 0, 9, 0));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(Span(list.At(1)), Span(At(9, 0, 9, 0)));
}

TEST_F(IntervalListTest, InsertOpen_RefusedAndUnchanged)
{
    IntervalList list;
    list.Insert(At(9, 0, 10, 0));
    Interval open = At(11, 0, 12, 0);
    open.closed = false;
    EXPECT_FALSE(list.Insert(open));
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(IntervalListTest, InsertOverlappingRunningSpan_ClosesItAtNow)
{
    m_clock->SetUtc(2008, 1, 1, 14, 0);
    IntervalList list;
    ASSERT_TRUE(list.Start());
    m_clock->SetUtc(2008, 1, 1, 15, 0);
    list.Insert(At(13, 0, 14, 30));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(Span(list.At(0)), Span(At(13, 0, 15, 0)));
    EXPECT_FALSE(list.IsRunning());
}

TEST_F(IntervalListTest, AtAndRemoveAt_OutOfRange)
{
    IntervalList list;
    list.Insert(At(9, 0, 10, 0));
    const Interval none = list.At(-1);
    EXPECT_TRUE(none.closed);
    EXPECT_EQ(none.start, TimeStamp());
    EXPECT_EQ(none.stop, TimeStamp());
    EXPECT_EQ(list.At(list.Count()).start, TimeStamp());
    EXPECT_FALSE(list.RemoveAt(list.Count()));
    EXPECT_FALSE(list.RemoveAt(-1));
    EXPECT_TRUE(list.RemoveAt(0));
    EXPECT_EQ(list.Count(), 0);
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
}

TEST_F(IntervalListTest, StartTwice_TwoOpenSpansLastDecides)
{
    IntervalList list;
    list.Start();
    list.Start();
    EXPECT_EQ(list.Count(), 2);
    EXPECT_FALSE(list.At(0).closed);
    EXPECT_TRUE(list.IsRunning());
}

TEST_F(IntervalListTest, TotalIn_CountsOnlyThePartsInsideThePeriod)
{
    IntervalList list;
    list.Insert(At(9, 0, 10, 0));
    list.Insert(At(11, 0, 12, 0));
    EXPECT_EQ(list.TotalIn(At(9, 30, 11, 15)).Format(), "00:45:00");
    EXPECT_EQ(list.TotalIn(At(10, 0, 11, 0)).Format(), "00:00:00"); // touches both ends only
    EXPECT_EQ(list.TotalIn(At(9, 10, 9, 20)).Format(), "00:10:00");
    EXPECT_EQ(list.TotalIn(At(13, 0, 14, 0)).Format(), "00:00:00");
    EXPECT_EQ(list.Total().Format(), "02:00:00");
}

TEST_F(IntervalListTest, TotalIn_OpenSpanCountsUpToNow)
{
    IntervalList list;
    m_clock->SetUtc(2008, 1, 1, 14, 0);
    list.Start();
    m_clock->SetUtc(2008, 1, 1, 14, 20);
    Interval today;
    today.SetToday();
    EXPECT_EQ(list.TotalIn(today).Format(), "00:20:00");
}

TEST(Interval, IntersectAndUnion)
{
    const Interval a = At(9, 0, 10, 0);
    const Interval b = At(9, 30, 11, 0);
    EXPECT_EQ(Span(a.Intersect(b)), Span(At(9, 30, 10, 0)));
    EXPECT_EQ(Span(a.Union(b)), Span(At(9, 0, 11, 0)));
    const Interval disjoint = a.Intersect(At(12, 0, 13, 0));
    EXPECT_TRUE(disjoint.start > disjoint.stop);
    const Interval touching = a.Intersect(At(10, 0, 11, 0));
    EXPECT_EQ(touching.start, touching.stop);
}

TEST(Interval, Format_OpenSpanEndsNow)
{
    ScopedTimeZone zone("UTC");
    ScopedFakeClock clock(2008, 4, 7, 14, 0);
    Interval open(Utc(2008, 4, 7, 13, 5, 9), TimeStamp(), false);
    EXPECT_EQ(open.Format(), "2008-04-07 13:05:09 - 2008-04-07 14:00:00 (00:54:51)");
    EXPECT_EQ(open.Duration().Format(), "00:54:51");
}

TEST(Task, NoIdentity_ZeroTotalsAndRefusedChanges)
{
    ScopedFakeClock clock(2008, 1, 1, 12, 0);
    Task task;
    task.intervals.Insert(At(9, 0, 10, 0));
    EXPECT_EQ(task.Total(), TimeSpan());
    EXPECT_EQ(task.TotalIn(At(0, 0, 23, 0)), TimeSpan());
    EXPECT_FALSE(task.Start());
    EXPECT_FALSE(task.Stop());
    task.id = 3;
    EXPECT_EQ(task.Total().Format(), "01:00:00");
}

// ---- calendar periods ----

TEST(CalendarPeriod, ThisWeek_DependsOnTheLocalesFirstDay)
{
    ScopedTimeZone zone("UTC");
    ScopedFakeClock clock(2008, 4, 6, 15, 0); // a Sunday
    Interval week;
    {
        ScopedTimeLocale mondayFirst("en_GB.UTF-8");
        week.SetThisWeek();
        EXPECT_EQ(week.start, Utc(2008, 3, 31, 0, 0));
        EXPECT_EQ(week.stop, Utc(2008, 4, 6, 15, 0));
    }
    {
        ScopedTimeLocale sundayFirst("en_US.UTF-8");
        week.SetThisWeek();
        EXPECT_EQ(week.start, Utc(2008, 4, 6, 0, 0));
    }
}

TEST(CalendarPeriod, DayMonthYear_StartAtLocalMidnight)
{
    ScopedTimeZone zone("Europe/Berlin");
    ScopedFakeClock clock;
    clock->Set(Local(2008, 7, 1, 0, 0, 30).ToUnixMs());
    Interval period;
    period.SetThisMonth();
    EXPECT_EQ((period.stop - period.start).Format(), "00:00:30");
    EXPECT_EQ(period.start, Utc(2008, 6, 30, 22, 0));
    period.SetToday();
    EXPECT_EQ(period.start, Utc(2008, 6, 30, 22, 0));
    period.SetThisYear();
    EXPECT_EQ(period.start, Utc(2007, 12, 31, 23, 0)); // winter time at New Year
    EXPECT_TRUE(period.closed);
}

TEST(CalendarPeriod, Today_FollowsTheLocalDateNotTheUtcDate)
{
    ScopedTimeZone zone("Australia/Sydney");
    ScopedFakeClock clock(2009, 1, 14, 22, 30); // 09:30 on the 15th in Sydney
    Interval today;
    today.SetToday();
    EXPECT_EQ(today.start, Utc(2009, 1, 14, 13, 0));
    EXPECT_EQ(today.start.Format(), "2009-01-15 00:00:00");
}

TEST(CalendarPeriod, WeekAcrossDaylightSavingChange_StartsAtLocalMidnight)
{
    ScopedTimeZone zone("Europe/Berlin");
    ScopedTimeLocale mondayFirst("en_GB.UTF-8");
    // Wednesday 2008-04-02; the clocks went forward on Sunday 2008-03-30.
    ScopedFakeClock clock(2008, 4, 2, 10, 0);
    Interval week;
    week.SetThisWeek();
    EXPECT_EQ(week.start.Format(), "2008-03-31 00:00:00");
    // Monday 2008-03-31 00:00 was summer time in Berlin.
    EXPECT_EQ(week.start, Utc(2008, 3, 30, 22, 0));

    // A week that holds the change: Wednesday 2008-10-29, clocks back on Sunday 2008-10-26.
    clock->SetUtc(2008, 10, 29, 10, 0);
    ScopedTimeLocale sundayFirst("en_US.UTF-8");
    week.SetThisWeek();
    EXPECT_EQ(week.start.Format(), "2008-10-26 00:00:00");
    EXPECT_EQ(week.start, Utc(2008, 10, 25, 22, 0));
}

TEST(CalendarPeriod, ThisWeek_CrossesMonthAndYearStart)
{
    ScopedTimeZone zone("America/New_York");
    ScopedTimeLocale mondayFirst("en_GB.UTF-8");
    ScopedFakeClock clock(2009, 1, 2, 17, 0); // Friday noon in New York
    Interval week;
    week.SetThisWeek();
    EXPECT_EQ(week.start.Format(), "2008-12-29 00:00:00");
}

} // namespace
} // namespace kelmora::model

namespace kelmora::model {
namespace {

TEST(CalendarPeriod, ByIndex_TheFourPeriodsThenAllTime)
{
    testsupport::ScopedTimeZone zone("UTC");
    testsupport::ScopedTimeLocale sundayFirst("en_US.UTF-8");
    testsupport::ScopedFakeClock clock(2008, 4, 9, 15, 0);
    const TimeStamp starts[] = {testsupport::Utc(2008, 4, 9, 0, 0), testsupport::Utc(2008, 4, 6, 0, 0),
                                testsupport::Utc(2008, 4, 1, 0, 0), testsupport::Utc(2008, 1, 1, 0, 0)};
    for (int index = 0; index < 4; ++index) {
        Interval period;
        ASSERT_TRUE(period.SetCalendarPeriod(index));
        EXPECT_EQ(period.start, starts[index]) << index;
    }
    Interval untouched;
    EXPECT_FALSE(untouched.SetCalendarPeriod(4));
    EXPECT_FALSE(untouched.SetCalendarPeriod(-1));
    EXPECT_EQ(untouched.start, TimeStamp());

    Task task;
    task.id = 1;
    task.intervals.Insert(Interval(testsupport::Utc(2008, 3, 1, 9, 0), testsupport::Utc(2008, 3, 1, 10, 0)));
    task.intervals.Insert(Interval(testsupport::Utc(2008, 4, 9, 9, 0), testsupport::Utc(2008, 4, 9, 9, 30)));
    EXPECT_EQ(task.TotalInCalendarPeriod(0).Format(), "00:30:00");
    EXPECT_EQ(task.TotalInCalendarPeriod(3).Format(), "01:30:00");
    EXPECT_EQ(task.TotalInCalendarPeriod(7).Format(), "01:30:00");
}

} // namespace
} // namespace kelmora::model
