#include "model/clock.h"
#include "model/task.h"
#include "model/timestamp.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace kelmora::model {
namespace {

using testsupport::Local;
using testsupport::ReadFile;
using testsupport::ScopedFakeClock;
using testsupport::ScopedTimeZone;
using testsupport::TempDir;
using testsupport::Utc;

// Day counts from 1899-12-30, leap days only in leap years, every field checked against its range, and the UTC
// fields given back. A refused value leaves the stamp cleared.
TEST(TimeStamp, SetUtc_DayCountsAndFieldRanges)
{
    const struct
    {
        int year, month, day, hour, minute, second, ms;
        std::int32_t days, msOfDay;
        int dayOfYear;
    } valid[] = {
        {1899, 12, 30, 0, 0, 0, 0, 0, 0, 364},
        {1900, 1, 1, 0, 0, 0, 0, 2, 0, 1},
        {2008, 1, 1, 9, 0, 0, 0, 39448, 32'400'000, 1},
        {9999, 12, 31, 23, 59, 59, 999, 2'958'465, 86'399'999, 365},
        {2008, 2, 28, 0, 0, 0, 0, 39506, 0, 59},
        {2008, 2, 29, 0, 0, 0, 0, 39507, 0, 60},
        {2008, 3, 1, 0, 0, 0, 0, 39508, 0, 61},
        {2000, 2, 29, 0, 0, 0, 0, 36585, 0, 60},
        {2008, 12, 31, 13, 5, 9, 0, 39813, 47'109'000, 366},
        {100, 1, 31, 13, 5, 9, 0, -657'404, 47'109'000, 31},
        {1600, 2, 28, 13, 5, 9, 0, -109'513, 47'109'000, 59},
        {2100, 3, 1, 13, 5, 9, 0, 73110, 47'109'000, 60},
    };
    for (const auto& c : valid) {
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day));
        TimeStamp t = TimeStamp::FromRaw(5, 5);
        EXPECT_TRUE(t.SetUtc(c.year, c.month, c.day, c.hour, c.minute, c.second, c.ms));
        EXPECT_EQ(t, TimeStamp::FromRaw(c.days, c.msOfDay));
        const DateParts p = t.GetUtcParts();
        EXPECT_EQ(std::tie(p.year, p.month, p.day, p.hour, p.minute, p.second, p.dayOfYear),
                  std::tie(c.year, c.month, c.day, c.hour, c.minute, c.second, c.dayOfYear));
    }
    // year, month, day, hour, minute, second, millisecond
    const std::array<int, 7> invalid[] = {
        {2007, 2, 29, 0, 0, 0, 0}, {1900, 2, 29, 0, 0, 0, 0}, {99, 1, 1, 0, 0, 0, 0},    {10000, 1, 1, 0, 0, 0, 0},
        {2008, 0, 1, 0, 0, 0, 0},  {2008, 13, 1, 0, 0, 0, 0}, {2008, 4, 31, 0, 0, 0, 0}, {2008, 1, 0, 0, 0, 0, 0},
        {2008, 1, 1, 24, 0, 0, 0}, {2008, 1, 1, 0, 60, 0, 0}, {2008, 1, 1, 0, 0, 60, 0}, {2008, 1, 1, 0, 0, 0, 1000},
        {2008, 1, 1, -1, 0, 0, 0}};
    for (const auto& f : invalid) {
        SCOPED_TRACE(testing::PrintToString(f));
        TimeStamp t = TimeStamp::FromRaw(5, 5);
        EXPECT_FALSE(t.SetUtc(f[0], f[1], f[2], f[3], f[4], f[5], f[6]));
        EXPECT_EQ(t, TimeStamp::FromRaw(0, 0));
    }
    TimeStamp local = TimeStamp::FromRaw(39448, 1234);
    EXPECT_FALSE(local.SetLocal(2007, 2, 29, 0, 0, 0, 0));
    EXPECT_EQ(local, TimeStamp::FromRaw(39448, 1234));
}

// Differences borrow a day, sums carry into the next day, and the text drops the milliseconds. Values read from a
// damaged file are shown, never trusted to be in range.
TEST(TimeStamp, ArithmeticTextAndNow)
{
    ScopedTimeZone zone("UTC");
    const TimeSpan span = Utc(2008, 1, 2, 12, 0) - Utc(2008, 1, 1, 13, 0);
    EXPECT_EQ(span, TimeSpan(0, 82'800'000));
    TimeStamp t;
    t.SetUtc(2008, 1, 1, 23, 59, 59, 999);
    EXPECT_EQ(t.Format(), "2008-01-01 23:59:59");
    t += TimeSpan(0, 1);
    EXPECT_EQ(t, TimeStamp::FromRaw(39449, 0));
    t -= TimeSpan(0, 1);
    EXPECT_EQ(t, TimeStamp::FromRaw(39448, 86'399'999));
    EXPECT_EQ(t - TimeSpan(1, 86'399'999), TimeStamp::FromRaw(39447, 0));

    EXPECT_EQ(TimeStamp().Format(), "1899-12-30 00:00:00");
    EXPECT_FALSE(TimeStamp::FromRaw(INT32_MAX, INT32_MAX).Format().empty());
    EXPECT_FALSE(TimeStamp::FromRaw(INT32_MIN, -5).Format().empty());
    EXPECT_EQ(TimeStamp::FromRaw(39448, 86'400'000).Format(), "2008-01-02 00:00:00");

    // Now reads the installed clock; outside the calendar it fails and clears the stamp.
    ScopedFakeClock clock(2008, 4, 7, 13, 5, 9);
    clock->Advance(250);
    ASSERT_TRUE(t.Now());
    EXPECT_EQ(t.days, Utc(2008, 4, 7, 0, 0).days);
    EXPECT_EQ(t.ms, ((13 * 60 + 5) * 60 + 9) * 1000 + 250);
    clock->Set(Utc(100, 1, 1, 0, 0).ToUnixMs() - 1);
    EXPECT_FALSE(t.Now());
    EXPECT_EQ(t, TimeStamp::FromRaw(0, 0));
}

// Spans carry whole days into `days` and borrow for negative milliseconds; the text has at least two digits
// of hours, unbounded, and drops the milliseconds.
TEST(TimeSpan, NormalisedAndFormatted)
{
    const struct
    {
        TimeSpan span;
        std::int32_t days, ms;
        const char* text;
    } cases[] = {
        {TimeSpan(0, -1000), -1, 86'399'000, "-01:59:59"},
        {TimeSpan(1, 3 * 86'400'000LL + 5), 4, 5, "96:00:00"},
        {TimeSpan(0, 99LL * 3'600'000 + 3'599'000), 4, 14'399'000, "99:59:59"},
        {TimeSpan(0, 100LL * 3'600'000), 4, 14'400'000, "100:00:00"},
        {TimeSpan(0, 5000), 0, 5000, "00:00:05"},
        {TimeSpan(0, 1999), 0, 1999, "00:00:01"},
        {TimeSpan(0, 0), 0, 0, "00:00:00"},
        {TimeSpan(2, 3'723'000), 2, 3'723'000, "49:02:03"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.span.days, c.days);
        EXPECT_EQ(c.span.ms, c.ms);
        EXPECT_EQ(c.span.Format(), c.text);
    }
    TimeSpan sum(0, 86'399'999);
    sum += TimeSpan(0, 1);
    EXPECT_EQ(sum, TimeSpan(1, 0));
    EXPECT_TRUE(TimeSpan(0, 1) < TimeSpan(1, 0));
    EXPECT_TRUE(TimeSpan(1, 0) > TimeSpan(0, 86'399'999));
}

// Real zone rules both ways: a UTC instant shown as local time, and that local time read back. The rows run
// through several zones in turn, so a zone change at run time must take effect at once.
TEST(LocalTime, RealZones_LocalAndUtcAgree)
{
    const struct
    {
        const char* zone;
        TimeStamp utc;
        const char* local;
        int daylight;
        int dayOfYear;
    } cases[] = {
        // Since 2007 the US changes in March and November, not in April and October.
        {"America/New_York", Utc(2008, 3, 20, 16, 0), "2008-03-20 12:00:00", 1, 80},
        {"America/New_York", Utc(2008, 11, 1, 16, 0), "2008-11-01 12:00:00", 1, 306},
        {"America/New_York", Utc(2008, 1, 15, 17, 0), "2008-01-15 12:00:00", 0, 15},
        {"Europe/Berlin", Utc(2008, 7, 1, 8, 30, 15), "2008-07-01 10:30:15", 1, 183},
        // Europe changes on the last Sunday of March, a week the old fixed rule got wrong.
        {"Europe/Berlin", Utc(2008, 3, 30, 0, 30), "2008-03-30 01:30:00", 0, 90},
        {"Europe/Berlin", Utc(2008, 3, 30, 1, 30), "2008-03-30 03:30:00", 1, 90},
        {"America/New_York", Utc(2008, 7, 1, 12, 0), "2008-07-01 08:00:00", 1, 183},
        {"UTC", Utc(2008, 7, 1, 12, 0), "2008-07-01 12:00:00", 0, 183},
        {"Europe/Berlin", Utc(2008, 7, 1, 12, 0), "2008-07-01 14:00:00", 1, 183},
        // The southern summer is daylight time.
        {"Australia/Sydney", Utc(2009, 1, 14, 22, 0), "2009-01-15 09:00:00", 1, 15},
        {"Australia/Sydney", Utc(2009, 7, 14, 23, 0), "2009-07-15 09:00:00", 0, 196},
        // Clocks went from 02:00 (+09:30) to 03:00 (+10:30) at 16:30 UTC, halfway through a UTC hour.
        {"Australia/Adelaide", Utc(2008, 10, 4, 16, 0), "2008-10-05 01:30:00", 0, 279},
        {"Australia/Adelaide", Utc(2008, 10, 4, 16, 29, 59), "2008-10-05 01:59:59", 0, 279},
        {"Australia/Adelaide", Utc(2008, 10, 4, 16, 30), "2008-10-05 03:00:00", 1, 279},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.local);
        ScopedTimeZone zone(c.zone);
        EXPECT_EQ(c.utc.Format(), c.local);
        DateParts p;
        ASSERT_TRUE(c.utc.GetLocalParts(p));
        EXPECT_EQ(p.daylight, c.daylight);
        EXPECT_EQ(p.dayOfYear, c.dayOfYear);
        EXPECT_EQ(Local(p.year, p.month, p.day, p.hour, p.minute, p.second), c.utc);
    }
}

// Local times the zone skips are refused; local times it shows twice take their first occurrence.
TEST(LocalTime, SkippedAndDoubledWallTimes)
{
    const struct
    {
        const char* zone;
        int month, day, hour, minute;
        bool exists;
        int utcDay, utcHour, utcMinute;
    } cases[] = {
        {"Europe/Berlin", 3, 31, 2, 30, false, 0, 0, 0},   {"America/New_York", 3, 10, 2, 0, false, 0, 0, 0},
        {"Europe/Berlin", 10, 27, 2, 30, true, 27, 0, 30}, {"Atlantic/Azores", 10, 27, 0, 0, true, 27, 0, 0},
        {"America/Havana", 11, 3, 0, 30, true, 3, 4, 30},  {"Europe/Berlin", 3, 31, 3, 0, true, 31, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.month) + "-" + std::to_string(c.day));
        ScopedTimeZone zone(c.zone);
        TimeStamp t = TimeStamp::FromRaw(7, 7);
        EXPECT_EQ(t.SetLocal(2024, c.month, c.day, c.hour, c.minute, 0, 0), c.exists);
        EXPECT_EQ(t, c.exists ? Utc(2024, c.month, c.utcDay, c.utcHour, c.utcMinute) : TimeStamp::FromRaw(7, 7));
    }
}

// A day starts at its first midnight, or where midnight is skipped, at the first moment after the skip.
TEST(LocalTime, TodayStartsAtTheFirstMomentOfTheLocalDay)
{
    const struct
    {
        const char* zone;
        int month, day, startUtcDay, startUtcHour;
    } cases[] = {
        {"Atlantic/Azores", 10, 27, 27, 0}, // midnight twice: 00:00 at +00, again at -01
        {"America/Havana", 11, 3, 3, 4},    // midnight twice: 00:00 at -04, again at -05
        {"America/Havana", 3, 10, 10, 5},   // midnight skipped: the day begins at 01:00 (-04)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zone);
        ScopedTimeZone zone(c.zone);
        ScopedFakeClock clock(2024, c.month, c.day, 18, 0);
        // The C library's conversion starts from the offset it saw last, so a late hour of the day goes first.
        Local(2024, c.month, c.day, 18, 0);
        Interval today;
        today.SetToday();
        EXPECT_EQ(today.start, Utc(2024, c.month, c.startUtcDay, c.startUtcHour, 0));
    }
}

// The system zone (TZ unset, /etc/localtime) changing under a running program, as on a journey. Run in
// a child with a private mount namespace, so a file of our own can stand in for /etc/localtime.
TEST(LocalTime, SystemZoneChange_Followed)
{
    TempDir dir;
    const auto standIn = dir.path() / "localtime";
    std::filesystem::copy_file("/usr/share/zoneinfo/UTC", standIn);
    std::filesystem::last_write_time(standIn, std::filesystem::last_write_time(standIn) - std::chrono::hours(24));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(standIn.c_str(), "/etc/localtime", nullptr, MS_BIND, nullptr) != 0) {
            _exit(77);
        }
        unsetenv("TZ");
        const TimeStamp tenZ = Utc(2024, 1, 1, 10, 0);
        const int before = tenZ.Hour();
        // Rewritten in place, as the bind mount pins the file; its time stamp moves on by a day.
        std::ofstream(standIn, std::ios::binary | std::ios::trunc) << ReadFile("/usr/share/zoneinfo/Asia/Tokyo");
        NoteTimeZoneMayHaveChanged(); // instead of waiting the second after which it is looked at anyway
        _exit(before == 10 && tenZ.Hour() == 19 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Stamp after stamp, so that the hour and date kept from the stamp before are both reused and left behind: across
// clocks turned forward and back, a change halfway through a UTC hour, and zones off by half an hour. Two writers
// take them, as the columns of a time log do: one the stamps in turn, one each stamp's time five hours before.
TEST(LocalTime, Format_AgreesWithLocalPartsStampAfterStamp)
{
    for (const char* name : {"UTC", "Europe/Berlin", "Australia/Adelaide", "America/St_Johns"}) {
        SCOPED_TRACE(name);
        ScopedTimeZone zone(name);
        LocalStampWriter writers[2];
        int checked = 0;
        for (TimeStamp t = Utc(2008, 3, 29, 0, 0); t < Utc(2008, 4, 8, 0, 0); t += TimeSpan(0, 7 * 60'000 + 1'234)) {
            for (const int column : {0, 1}) {
                const TimeStamp stamp = t - TimeSpan(0, column * 5 * 3'600'000);
                DateParts p;
                ASSERT_TRUE(stamp.GetLocalParts(p));
                char expected[32];
                std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                              p.hour, p.minute, p.second);
                ASSERT_EQ(stamp.Format(), expected);
                std::string written;
                writers[column].Append(stamp, written);
                ASSERT_EQ(written, expected);
            }
            ++checked;
        }
        EXPECT_GT(checked, 2000);
    }
}

} // namespace
} // namespace kelmora::model
