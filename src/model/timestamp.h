#pragma once

#include <cstdint>
#include <string>

namespace kelmora::model {

class ByteReader;
class ByteWriter;

inline constexpr std::int32_t kMsPerDay = 86'400'000;

// Calendar fields of a point in time. `weekday` counts from the user's first day of the week (1) to the
// last (7); `daylight` is 1 when daylight-saving time was in force.
struct DateParts
{
    int second = 0;
    int minute = 0;
    int hour = 0;
    int day = 1;
    int month = 1;
    int year = 1899;
    int weekday = 1;
    int dayOfYear = 1;
    int daylight = 0;
};

// The user's first day of the week from the LC_TIME locale, Sunday = 0 … Saturday = 6. Asked afresh on
// every call so a change of locale takes effect at once.
int FirstDayOfWeek();

// Local-time conversions look at the zone file (/etc/localtime, or the file TZ names) at most once a
// second and follow a change of it. This makes the next conversion on every thread look at once, for
// callers told of a change (a desktop's time-zone signal, tests).
void NoteTimeZoneMayHaveChanged();

// A length of time: whole days plus milliseconds, always normalised so that 0 <= ms < 86,400,000.
class TimeSpan
{
public:
    TimeSpan() = default;
    TimeSpan(std::int64_t days, std::int64_t ms);

    bool Set(std::int64_t days, std::int64_t ms);
    TimeSpan& operator+=(const TimeSpan& other);

    bool operator<(const TimeSpan& other) const;
    bool operator>(const TimeSpan& other) const { return other < *this; }
    bool operator==(const TimeSpan& other) const = default;

    // "HH:MM:SS" with unbounded hours, e.g. "100:00:00".
    std::string Format() const;
    void AppendFormat(std::string& out) const;
    // The longest text Write makes: 8 characters up to 99 hours, more for longer or negative spans.
    static constexpr int kMaxText = 40;
    // Writes Format's text at `out`, which has room for kMaxText + 1 characters; returns the end of the text.
    char* Write(char* out) const;

    std::int64_t TotalMs() const { return std::int64_t{days} * kMsPerDay + ms; }

    std::int32_t days = 0;
    std::int32_t ms = 0;
};

// A point in time in UTC: whole days since 1899-12-30 plus milliseconds of that day.
class TimeStamp
{
public:
    // (0, 0). The zone settings are (re)loaded where local time is worked out, not here: stamps are
    // built by the million when a time log is read.
    TimeStamp() = default;
    // Local wall-clock fields, as SetLocal.
    TimeStamp(int year, int month, int day, int hour, int minute, int second, int millisecond);

    static TimeStamp FromRaw(std::int32_t days, std::int32_t ms);
    static TimeStamp FromUnixMs(std::int64_t unixMs);
    std::int64_t ToUnixMs() const;

    // Sets the value from the installed Clock. False (and the value (0, 0)) when now lies outside the
    // years 100 to 9999.
    bool Now();
    bool SetUtc(int year, int month, int day, int hour, int minute, int second, int millisecond);
    // Local wall-clock fields to UTC. A time the zone shows twice (clocks turned back) takes its first
    // occurrence; a time the zone skips (clocks turned forward) is refused like an invalid field.
    bool SetLocal(int year, int month, int day, int hour, int minute, int second, int millisecond);
    // The first moment of a local calendar day: its first midnight, or where the zone skips midnight,
    // the first moment after the skip.
    bool SetLocalDayStart(int year, int month, int day);

    bool GetLocalParts(DateParts& parts) const;
    DateParts GetUtcParts() const;

    int Year() const;
    int Month() const;
    int Day() const;
    int Weekday() const;
    int Hour() const;
    int Minute() const;
    int Second() const;

    // Local time as "YYYY-MM-DD HH:MM:SS".
    std::string Format() const;
    // Format appended to `out`, for texts built from many stamps.
    void AppendFormat(std::string& out) const;

    TimeSpan operator-(const TimeStamp& other) const;
    TimeStamp operator-(const TimeSpan& span) const;
    TimeStamp& operator+=(const TimeSpan& span);
    TimeStamp& operator-=(const TimeSpan& span);

    bool operator<(const TimeStamp& other) const;
    bool operator>(const TimeStamp& other) const { return other < *this; }
    bool operator==(const TimeStamp& other) const = default;

    bool Read(ByteReader& reader);
    void Write(ByteWriter& writer) const;

    std::int32_t days = 0;
    std::int32_t ms = 0;
};

class ZoneOffsets;

// Local-time texts of many stamps, as TimeStamp::Format gives them, for time logs of a million rows. The zone
// is looked at once, when the writer is made, so a log is written in one zone; the zone offset and the date are
// worked out again only when a stamp falls in another hour or day than the one before.
class LocalStampWriter
{
public:
    // The longest text Write makes: 19 characters, more for years outside 0 to 9999.
    static constexpr int kMaxText = 40;

    LocalStampWriter();
    // Writes the text at `out`, which has room for kMaxText + 1 characters; returns the end of the text.
    char* Write(const TimeStamp& stamp, char* out);
    void Append(const TimeStamp& stamp, std::string& out);

private:
    ZoneOffsets* m_zone;
    // The UTC hour of the last stamp, when one offset holds for all of it.
    bool m_hourKnown = false;
    std::int64_t m_hourStart = 0;
    std::int64_t m_offsetSeconds = 0;
    // The local day of the last stamp, in seconds of local time since 1970.
    bool m_dayKnown = false;
    std::int64_t m_dayStart = 0;
    std::int64_t m_year = 0;
    int m_month = 1;
    int m_dayOfMonth = 1;
    char m_dayText[11] = {};
};

} // namespace kelmora::model
