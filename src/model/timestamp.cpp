#include "timestamp.h"

#include "bytestream.h"
#include "clock.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <langinfo.h>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace kelmora::model {

// Outside the unnamed namespace, as the per-thread zone memory that LocalStampWriter names holds them.
struct LocalOffset
{
    bool valid = false;
    std::int64_t utcOffset = 0; // seconds to add to UTC for local time
    bool daylight = false;
};

// What identifies the zone file in force: the file TZ names, or /etc/localtime when TZ is unset. A
// change of the system zone (timedatectl, a new symlink, a tzdata upgrade) shows as a new identity.
struct ZoneFileIdentity
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const ZoneFileIdentity&) const = default;
};

namespace {

// 1970-01-01 as a day count since 1899-12-30.
constexpr std::int64_t kUnixEpochDay = 25'569;
// Days before each month in a common year.
constexpr int kDaysBeforeMonth[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

constexpr std::int64_t FloorMod(std::int64_t a, std::int64_t b)
{
    return a - FloorDiv(a, b) * b;
}

constexpr bool IsLeapYear(std::int64_t year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

struct CivilDate
{
    std::int64_t year;
    int month;
    int day;
};

// Proleptic Gregorian date of a day counted from 1970-01-01 (H. Hinnant's civil_from_days).
constexpr CivilDate CivilFromUnixDays(std::int64_t z)
{
    z += 719'468;
    const std::int64_t era = FloorDiv(z, 146'097);
    const std::int64_t doe = z - era * 146'097;
    const std::int64_t yoe = (doe - doe / 1'460 + doe / 36'524 - doe / 146'096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Splits a millisecond count since 1970 into the stored two fields. C++20 makes the narrowing of an
// out-of-range value wrap instead of being undefined, which keeps damaged input harmless.
TimeStamp FromUnixMsUnchecked(std::int64_t unixMs)
{
    const std::int64_t msPerDay = kMsPerDay;
    return TimeStamp::FromRaw(static_cast<std::int32_t>(FloorDiv(unixMs, msPerDay) + kUnixEpochDay),
                              static_cast<std::int32_t>(FloorMod(unixMs, msPerDay)));
}

int WeekdayFromSundayBased(int sundayBased)
{
    return static_cast<int>(FloorMod(sundayBased - FirstDayOfWeek(), 7)) + 1;
}

bool LocalToUnixSeconds(int year, int month, int day, int hour, int minute, int second, std::time_t& result)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1; // let the zone rules decide
    fields.tm_wday = -1;  // mktime's -1 is also a valid time; a filled-in weekday tells success apart
    const std::time_t t = std::mktime(&fields);
    if (fields.tm_wday < 0) {
        return false;
    }
    result = t;
    return true;
}

LocalOffset QueryLocalOffset(std::int64_t unixSeconds)
{
    LocalOffset result;
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) {
        return result;
    }
    result.valid = true;
    result.utcOffset = local.tm_gmtoff;
    result.daylight = local.tm_isdst > 0;
    return result;
}

ZoneFileIdentity IdentifyZoneFile(const char* tz)
{
    std::string path = "/etc/localtime";
    if (tz != nullptr && *tz != '\0') {
        std::string_view name(tz);
        if (name.front() == ':') {
            name.remove_prefix(1);
        }
        if (!name.empty() && name.front() == '/') {
            path.assign(name);
        } else {
            const char* dir = std::getenv("TZDIR");
            path = std::string(dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo") + "/" + std::string(name);
        }
    }
    ZoneFileIdentity identity;
    struct stat info
    {};
    if (::stat(path.c_str(), &info) == 0) {
        identity.exists = true;
        identity.device = info.st_dev;
        identity.inode = info.st_ino;
        identity.size = info.st_size;
        identity.modifiedNs = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    }
    return identity;
}

std::atomic<std::uint32_t> g_zoneCheckRequests{0};

// Cheap enough to read at every conversion of a large time log.
std::int64_t CoarseMonotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return std::int64_t{now.tv_sec} * 1'000 + now.tv_nsec / 1'000'000;
}

} // namespace

// The zone's offset from UTC at a moment. Asking the C library for every stamp of a large time log is
// slow, so offsets are remembered per UTC hour, but only for hours whose first and last second agree:
// an hour that holds a zone change is always asked afresh. The memory is per thread (background loops
// build logs too). It is dropped when TZ changes, and when the zone file changes: a running program must
// follow the system zone when the user travels, so the file is looked at, at most once a second.
class ZoneOffsets
{
public:
    // This thread's memory, checked against TZ and the zone file first.
    static ZoneOffsets& Checked()
    {
        thread_local ZoneOffsets offsets;
        offsets.Check();
        return offsets;
    }

    LocalOffset At(std::int64_t unixSeconds)
    {
        const std::int64_t hour = FloorDiv(unixSeconds, 3'600);
        Slot& slot = m_slots[static_cast<std::size_t>(FloorMod(hour, kSlots))];
        if (slot.hour == hour) {
            return slot.offset;
        }
        const LocalOffset first = QueryLocalOffset(hour * 3'600);
        const LocalOffset last = QueryLocalOffset(hour * 3'600 + 3'599);
        if (first.valid && last.valid && first.utcOffset == last.utcOffset && first.daylight == last.daylight) {
            slot.hour = hour;
            slot.offset = first;
            return first;
        }
        return QueryLocalOffset(unixSeconds);
    }

    // Whether the offset At gave for this hour holds for all of it.
    bool HoldsForHour(std::int64_t hour) const
    {
        return m_slots[static_cast<std::size_t>(FloorMod(hour, kSlots))].hour == hour;
    }

private:
    static constexpr std::size_t kSlots = 4096;
    static constexpr std::int64_t kZoneCheckMs = 1'000;
    struct Slot
    {
        std::int64_t hour = INT64_MIN;
        LocalOffset offset;
    };

    void Check()
    {
        const char* tz = std::getenv("TZ");
        const std::int64_t nowMs = CoarseMonotonicMs();
        const std::uint32_t requests = g_zoneCheckRequests.load(std::memory_order_relaxed);
        bool reload = !m_filled || m_tzSet != (tz != nullptr) || (tz != nullptr && m_tz != tz);
        if (!reload && (nowMs - m_checkedAtMs >= kZoneCheckMs || requests != m_checkRequests)) {
            m_checkedAtMs = nowMs;
            m_checkRequests = requests;
            reload = IdentifyZoneFile(tz) != m_zoneFile;
        }
        if (reload) {
            // With TZ unset the C library reads /etc/localtime again when that file has changed.
            tzset();
            m_filled = true;
            m_tzSet = tz != nullptr;
            m_tz = tz != nullptr ? tz : "";
            m_zoneFile = IdentifyZoneFile(tz);
            m_checkedAtMs = nowMs;
            m_checkRequests = requests;
            std::fill(m_slots.begin(), m_slots.end(), Slot{});
        }
    }

    bool m_filled = false;
    bool m_tzSet = false;
    std::string m_tz;
    ZoneFileIdentity m_zoneFile;
    std::int64_t m_checkedAtMs = 0;
    std::uint32_t m_checkRequests = 0;
    std::vector<Slot> m_slots = std::vector<Slot>(kSlots);
};

namespace {

LocalOffset LocalOffsetAt(std::int64_t unixSeconds)
{
    return ZoneOffsets::Checked().At(unixSeconds);
}

enum class LocalTimeKind
{
    Exists,
    Skipped,
    Unknown,
};

// The UTC second at which the local clock shows `wall` (local wall-clock fields counted as if they were
// UTC seconds since 1970). A wall time shown twice gives its first occurrence. For a wall time the zone
// skips, `utc` is the first moment after the gap, which is where a day whose midnight is skipped begins.
LocalTimeKind LocalToUtc(std::int64_t wall, std::int64_t& utc)
{
    // Zone changes lie days apart, so the offsets in force within 16 hours either side are all the
    // offsets a solution can have.
    constexpr std::int64_t kReach = 16 * 3'600;
    const LocalOffset before = LocalOffsetAt(wall - kReach);
    const LocalOffset middle = LocalOffsetAt(wall);
    const LocalOffset after = LocalOffsetAt(wall + kReach);
    if (!before.valid || !middle.valid || !after.valid) {
        return LocalTimeKind::Unknown;
    }
    bool found = false;
    for (const std::int64_t offset : {before.utcOffset, middle.utcOffset, after.utcOffset}) {
        const std::int64_t candidate = wall - offset;
        const LocalOffset at = LocalOffsetAt(candidate);
        if (at.valid && at.utcOffset == offset && (!found || candidate < utc)) {
            utc = candidate;
            found = true;
        }
    }
    if (found) {
        return LocalTimeKind::Exists;
    }
    // Skipped: the clocks jumped forward over `wall`. The change lies between the two readings.
    std::int64_t low = wall - std::max(before.utcOffset, after.utcOffset);
    std::int64_t high = wall - std::min(before.utcOffset, after.utcOffset);
    const std::int64_t lowOffset = LocalOffsetAt(low).utcOffset;
    while (high - low > 1) {
        const std::int64_t mid = low + (high - low) / 2;
        (LocalOffsetAt(mid).utcOffset == lowOffset ? low : high) = mid;
    }
    utc = high;
    return LocalTimeKind::Skipped;
}

} // namespace

void NoteTimeZoneMayHaveChanged()
{
    g_zoneCheckRequests.fetch_add(1, std::memory_order_relaxed);
}

int FirstDayOfWeek()
{
    // glibc gives the first weekday as a 1-based offset from the locale's base day, which is either
    // 1997-11-30 (a Sunday) or 1997-12-01 (a Monday).
    const int firstWeekday = static_cast<unsigned char>(nl_langinfo(_NL_TIME_FIRST_WEEKDAY)[0]);
    const auto baseDay = reinterpret_cast<std::intptr_t>(nl_langinfo(_NL_TIME_WEEK_1STDAY));
    const int base = baseDay == 19'971'201 ? 1 : 0;
    if (firstWeekday < 1 || firstWeekday > 7) {
        return 0;
    }
    return (firstWeekday - 1 + base) % 7;
}

namespace {

// "00" to "99", two characters copied at once.
constexpr auto kTwoDigits = [] {
    std::array<char, 200> digits{};
    for (int i = 0; i < 100; ++i) {
        digits[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        digits[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return digits;
}();

char* PutTwoDigits(char* out, int value)
{
    const char* digits = kTwoDigits.data() + 2 * value;
    out[0] = digits[0];
    out[1] = digits[1];
    return out + 2;
}

// Whether `value` lies in [start, start + length).
bool Within(std::int64_t value, std::int64_t start, std::int64_t length)
{
    return value >= start && value - start < length;
}

} // namespace

// ---- TimeSpan ----

TimeSpan::TimeSpan(std::int64_t d, std::int64_t m)
{
    Set(d, m);
}

bool TimeSpan::Set(std::int64_t d, std::int64_t m)
{
    const std::int64_t msPerDay = kMsPerDay;
    days = static_cast<std::int32_t>(d + FloorDiv(m, msPerDay));
    ms = static_cast<std::int32_t>(FloorMod(m, msPerDay));
    return true;
}

TimeSpan& TimeSpan::operator+=(const TimeSpan& other)
{
    Set(std::int64_t{days} + other.days, std::int64_t{ms} + other.ms);
    return *this;
}

bool TimeSpan::operator<(const TimeSpan& other) const
{
    return days < other.days || (days == other.days && ms < other.ms);
}

std::string TimeSpan::Format() const
{
    std::string text;
    AppendFormat(text);
    return text;
}

void TimeSpan::AppendFormat(std::string& out) const
{
    char buffer[kMaxText + 1];
    out.append(buffer, Write(buffer));
}

char* TimeSpan::Write(char* out) const
{
    const long long hours = static_cast<long long>(days) * 24 + ms / 3'600'000;
    const int minutes = (ms % 3'600'000) / 60'000;
    const int seconds = (ms % 60'000) / 1'000;
    if (hours < 0 || hours > 99) {
        const int written = std::snprintf(out, kMaxText + 1, "%.2lld:%.2d:%.2d", hours, minutes, seconds);
        return out + std::clamp(written, 0, kMaxText);
    }
    out = PutTwoDigits(out, static_cast<int>(hours));
    *out++ = ':';
    out = PutTwoDigits(out, minutes);
    *out++ = ':';
    return PutTwoDigits(out, seconds);
}

// ---- TimeStamp ----

TimeStamp::TimeStamp(int year, int month, int day, int hour, int minute, int second, int millisecond) : TimeStamp()
{
    SetLocal(year, month, day, hour, minute, second, millisecond);
}

TimeStamp TimeStamp::FromRaw(std::int32_t d, std::int32_t m)
{
    TimeStamp result;
    result.days = d;
    result.ms = m;
    return result;
}

TimeStamp TimeStamp::FromUnixMs(std::int64_t unixMs)
{
    return FromUnixMsUnchecked(unixMs);
}

std::int64_t TimeStamp::ToUnixMs() const
{
    return (std::int64_t{days} - kUnixEpochDay) * kMsPerDay + ms;
}

bool TimeStamp::Now()
{
    const std::int64_t unixMs = Clock::Current().NowUnixMs();
    const DateParts utc = FromUnixMsUnchecked(unixMs).GetUtcParts();
    return SetUtc(utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second,
                  static_cast<int>(FloorMod(unixMs, 1'000)));
}

bool TimeStamp::SetUtc(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    days = 0;
    ms = 0;
    if (year > 9999 || month < 1 || month > 12 || year < 100 || day < 1) {
        return false;
    }
    const bool leap = IsLeapYear(year);
    const int monthLength = kDaysBeforeMonth[month] - kDaysBeforeMonth[month - 1] + (leap && month == 2 ? 1 : 0);
    if (day > monthLength || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999) {
        return false;
    }
    int count = year * 365 + year / 4 - year / 100 + year / 400 + kDaysBeforeMonth[month - 1] + day;
    if (leap && month <= 2) {
        --count;
    }
    days = count - 693'959;
    ms = ((hour * 60 + minute) * 60 + second) * 1'000 + millisecond;
    return ms < kMsPerDay;
}

bool TimeStamp::SetLocal(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    TimeStamp probe;
    if (!probe.SetUtc(year, month, day, hour, minute, second, millisecond)) {
        return false;
    }
    std::int64_t utc = 0;
    const LocalTimeKind kind = LocalToUtc(FloorDiv(probe.ToUnixMs(), 1'000), utc);
    if (kind == LocalTimeKind::Exists) {
        *this = FromUnixMsUnchecked(utc * 1'000 + millisecond);
        return true;
    }
    if (kind == LocalTimeKind::Skipped) {
        return false;
    }
    // Beyond what the zone database covers: let the C library decide.
    std::time_t seconds = 0;
    if (!LocalToUnixSeconds(year, month, day, hour, minute, second, seconds)) {
        return false;
    }
    *this = FromUnixMsUnchecked(static_cast<std::int64_t>(seconds) * 1'000 + millisecond);
    return true;
}

bool TimeStamp::SetLocalDayStart(int year, int month, int day)
{
    TimeStamp probe;
    if (!probe.SetUtc(year, month, day, 0, 0, 0, 0)) {
        return false;
    }
    std::int64_t utc = 0;
    if (LocalToUtc(FloorDiv(probe.ToUnixMs(), 1'000), utc) == LocalTimeKind::Unknown) {
        return SetLocal(year, month, day, 0, 0, 0, 0);
    }
    *this = FromUnixMsUnchecked(utc * 1'000);
    return true;
}

DateParts TimeStamp::GetUtcParts() const
{
    const std::int64_t unixMs = ToUnixMs();
    const std::int64_t unixDays = FloorDiv(unixMs, kMsPerDay);
    const std::int64_t msOfDay = FloorMod(unixMs, kMsPerDay);
    const CivilDate date = CivilFromUnixDays(unixDays);
    DateParts parts;
    const std::int64_t secondsOfDay = msOfDay / 1'000;
    parts.second = static_cast<int>(secondsOfDay % 60);
    parts.minute = static_cast<int>((secondsOfDay / 60) % 60);
    parts.hour = static_cast<int>(secondsOfDay / 3'600);
    parts.day = date.day;
    parts.month = date.month;
    parts.year = static_cast<int>(date.year);
    // 1970-01-01 was a Thursday.
    parts.weekday = WeekdayFromSundayBased(static_cast<int>(FloorMod(unixDays + 4, 7)));
    parts.dayOfYear = kDaysBeforeMonth[date.month - 1] + date.day + (IsLeapYear(date.year) && date.month > 2 ? 1 : 0);
    parts.daylight = 0;
    return parts;
}

bool TimeStamp::GetLocalParts(DateParts& parts) const
{
    const std::int64_t unixSeconds = FloorDiv(ToUnixMs(), 1'000);
    const LocalOffset offset = LocalOffsetAt(unixSeconds);
    if (!offset.valid) {
        // Only values far outside any calendar the zone database knows end up here.
        parts = GetUtcParts();
        return true;
    }
    parts = TimeStamp::FromUnixMs((unixSeconds + offset.utcOffset) * 1'000).GetUtcParts();
    parts.daylight = offset.daylight ? 1 : 0;
    return true;
}

int TimeStamp::Year() const
{
    DateParts p;
    GetLocalParts(p);
    return p.year;
}

int TimeStamp::Month() const
{
    DateParts p;
    GetLocalParts(p);
    return p.month;
}

int TimeStamp::Day() const
{
    DateParts p;
    GetLocalParts(p);
    return p.day;
}

int TimeStamp::Weekday() const
{
    DateParts p;
    GetLocalParts(p);
    return p.weekday;
}

int TimeStamp::Hour() const
{
    DateParts p;
    GetLocalParts(p);
    return p.hour;
}

int TimeStamp::Minute() const
{
    DateParts p;
    GetLocalParts(p);
    return p.minute;
}

int TimeStamp::Second() const
{
    DateParts p;
    GetLocalParts(p);
    return p.second;
}

std::string TimeStamp::Format() const
{
    std::string text;
    AppendFormat(text);
    return text;
}

void TimeStamp::AppendFormat(std::string& out) const
{
    // One stamp is a log of one: the zone is looked at as for any log.
    LocalStampWriter writer;
    writer.Append(*this, out);
}

// ---- LocalStampWriter ----

LocalStampWriter::LocalStampWriter() : m_zone(&ZoneOffsets::Checked()) {}

char* LocalStampWriter::Write(const TimeStamp& stamp, char* out)
{
    const std::int64_t unixSeconds = stamp.ms >= 0 && stamp.ms < kMsPerDay
                                         ? (std::int64_t{stamp.days} - kUnixEpochDay) * 86'400 + stamp.ms / 1'000
                                         : FloorDiv(stamp.ToUnixMs(), 1'000);
    if (!m_hourKnown || !Within(unixSeconds, m_hourStart, 3'600)) {
        const std::int64_t hour = FloorDiv(unixSeconds, 3'600);
        const LocalOffset offset = m_zone->At(unixSeconds);
        m_offsetSeconds = offset.valid ? offset.utcOffset : 0;
        // An hour that holds a zone change is looked up stamp by stamp.
        m_hourKnown = m_zone->HoldsForHour(hour);
        m_hourStart = hour * 3'600;
    }
    const std::int64_t localSeconds = unixSeconds + m_offsetSeconds;
    if (!m_dayKnown || !Within(localSeconds, m_dayStart, 86'400)) {
        const std::int64_t localDay = FloorDiv(localSeconds, 86'400);
        m_dayKnown = true;
        m_dayStart = localDay * 86'400;
        const CivilDate date = CivilFromUnixDays(localDay);
        m_year = date.year;
        m_month = date.month;
        m_dayOfMonth = date.day;
        const std::int64_t year = m_year;
        if (year >= 0 && year <= 9999) {
            char* text = m_dayText;
            text[0] = year >= 1000 ? static_cast<char>('0' + year / 1000) : ' ';
            text[1] = year >= 100 ? static_cast<char>('0' + year / 100 % 10) : ' ';
            text[2] = year >= 10 ? static_cast<char>('0' + year / 10 % 10) : ' ';
            text[3] = static_cast<char>('0' + year % 10);
            text[4] = '-';
            PutTwoDigits(text + 5, m_month);
            text[7] = '-';
            PutTwoDigits(text + 8, m_dayOfMonth);
            text[10] = ' ';
        }
    }
    const int secondOfDay = static_cast<int>(localSeconds - m_dayStart);
    const int hourOfDay = secondOfDay / 3'600;
    const int minute = secondOfDay / 60 % 60;
    const int second = secondOfDay % 60;
    if (m_year < 0 || m_year > 9999) {
        const int written = std::snprintf(out, kMaxText + 1, "%4d-%02d-%02d %02d:%02d:%02d", static_cast<int>(m_year),
                                          m_month, m_dayOfMonth, hourOfDay, minute, second);
        return out + std::clamp(written, 0, kMaxText);
    }
    // Hand-made digits: snprintf dominated.
    out = std::copy(std::begin(m_dayText), std::end(m_dayText), out);
    out = PutTwoDigits(out, hourOfDay);
    *out++ = ':';
    out = PutTwoDigits(out, minute);
    *out++ = ':';
    return PutTwoDigits(out, second);
}

void LocalStampWriter::Append(const TimeStamp& stamp, std::string& out)
{
    char buffer[kMaxText + 1];
    out.append(buffer, Write(stamp, buffer));
}

TimeSpan TimeStamp::operator-(const TimeStamp& other) const
{
    return TimeSpan(std::int64_t{days} - other.days, std::int64_t{ms} - other.ms);
}

TimeStamp TimeStamp::operator-(const TimeSpan& span) const
{
    TimeStamp result = *this;
    result -= span;
    return result;
}

TimeStamp& TimeStamp::operator+=(const TimeSpan& span)
{
    const TimeSpan sum(std::int64_t{days} + span.days, std::int64_t{ms} + span.ms);
    days = sum.days;
    ms = sum.ms;
    return *this;
}

TimeStamp& TimeStamp::operator-=(const TimeSpan& span)
{
    const TimeSpan difference(std::int64_t{days} - span.days, std::int64_t{ms} - span.ms);
    days = difference.days;
    ms = difference.ms;
    return *this;
}

bool TimeStamp::operator<(const TimeStamp& other) const
{
    return days < other.days || (days == other.days && ms < other.ms);
}

bool TimeStamp::Read(ByteReader& reader)
{
    std::int32_t d = 0;
    std::int32_t m = 0;
    if (!reader.ReadI32(d) || !reader.ReadI32(m)) {
        return false;
    }
    days = d;
    ms = m;
    return true;
}

void TimeStamp::Write(ByteWriter& writer) const
{
    writer.WriteI32(days);
    writer.WriteI32(ms);
}

} // namespace kelmora::model
