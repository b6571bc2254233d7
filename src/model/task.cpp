#include "task.h"

#include "bytestream.h"
#include "taskfile.h"

#include <chrono>

namespace kelmora::model {

namespace {

// The UTC instant of local midnight beginning that local date.
TimeStamp LocalMidnightOf(const std::chrono::year_month_day& date)
{
    TimeStamp result;
    result.SetLocalDayStart(static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
                            static_cast<int>(static_cast<unsigned>(date.day())));
    return result;
}

std::chrono::year_month_day LocalDate(const DateParts& now)
{
    using namespace std::chrono;
    return year{now.year} / month{static_cast<unsigned>(now.month)} / day{static_cast<unsigned>(now.day)};
}

// The UTC instant of local midnight `daysBack` calendar days before the local date of `now`. Stepping
// back by calendar days rather than by multiples of 24 hours keeps week starts on midnight when a
// daylight-saving change falls inside the week.
TimeStamp LocalMidnight(const DateParts& now, int daysBack)
{
    return LocalMidnightOf(
        std::chrono::year_month_day{std::chrono::sys_days{LocalDate(now)} - std::chrono::days{daysBack}});
}

} // namespace

// ---- Interval ----

TimeStamp Interval::EffectiveStop() const
{
    if (closed) {
        return stop;
    }
    TimeStamp now;
    now.Now();
    return now;
}

TimeSpan Interval::Duration() const
{
    return EffectiveStop() - start;
}

bool Interval::StartNow()
{
    if (!start.Now()) {
        return false;
    }
    closed = false;
    return true;
}

bool Interval::StopNow()
{
    if (!stop.Now()) {
        return false;
    }
    closed = true;
    return true;
}

Interval Interval::Intersect(const Interval& other) const
{
    const TimeStamp myStop = EffectiveStop();
    const TimeStamp otherStop = other.EffectiveStop();
    Interval result;
    result.start = other.start > start ? other.start : start;
    result.stop = otherStop < myStop ? otherStop : myStop;
    return result;
}

Interval Interval::Union(const Interval& other) const
{
    const TimeStamp myStop = EffectiveStop();
    const TimeStamp otherStop = other.EffectiveStop();
    Interval result;
    result.start = other.start < start ? other.start : start;
    result.stop = otherStop > myStop ? otherStop : myStop;
    return result;
}

std::string Interval::Format() const
{
    const TimeStamp effectiveStop = EffectiveStop();
    return start.Format() + " - " + effectiveStop.Format() + " (" + (effectiveStop - start).Format() + ")";
}

void Interval::SetToday()
{
    stop.Now();
    DateParts now;
    stop.GetLocalParts(now);
    start = LocalMidnight(now, 0);
}

void Interval::SetThisWeek()
{
    stop.Now();
    DateParts now;
    stop.GetLocalParts(now);
    start = LocalMidnight(now, now.weekday - 1);
}

void Interval::SetThisMonth()
{
    stop.Now();
    DateParts now;
    stop.GetLocalParts(now);
    start = LocalMidnight(now, now.day - 1);
}

void Interval::SetThisYear()
{
    stop.Now();
    DateParts now;
    stop.GetLocalParts(now);
    start = LocalMidnight(now, now.dayOfYear - 1);
}

bool Interval::SetCalendarPeriod(int index)
{
    switch (index) {
    case 0:
        SetToday();
        return true;
    case 1:
        SetThisWeek();
        return true;
    case 2:
        SetThisMonth();
        return true;
    case 3:
        SetThisYear();
        return true;
    case kYesterday:
    case kLastWeek:
    case kLastMonth:
    case kLastYear:
        SetPastPeriod(index);
        return true;
    default:
        return false;
    }
}

// A past period is the whole of the one before the current: it ends where the current one begins, so the
// two never share a second.
void Interval::SetPastPeriod(int index)
{
    using namespace std::chrono;
    TimeStamp now;
    now.Now();
    DateParts parts;
    now.GetLocalParts(parts);
    const year_month_day today = LocalDate(parts);
    switch (index) {
    case kYesterday:
        start = LocalMidnight(parts, 1);
        stop = LocalMidnight(parts, 0);
        break;
    case kLastWeek:
        start = LocalMidnight(parts, parts.weekday - 1 + 7);
        stop = LocalMidnight(parts, parts.weekday - 1);
        break;
    case kLastMonth:
        start = LocalMidnightOf((today.year() / today.month() / 1) - months{1});
        stop = LocalMidnightOf(today.year() / today.month() / 1);
        break;
    default:
        start = LocalMidnightOf((today.year() - years{1}) / January / 1);
        stop = LocalMidnightOf(today.year() / January / 1);
        break;
    }
    closed = true;
}

// ---- IntervalList ----

Interval IntervalList::At(std::int32_t index) const
{
    if (index < 0 || index >= Count()) {
        return Interval();
    }
    return m_items[static_cast<std::size_t>(index)];
}

bool IntervalList::RemoveAt(std::int32_t index)
{
    if (index < 0 || index >= Count()) {
        return false;
    }
    m_items.erase(m_items.begin() + index);
    return true;
}

bool IntervalList::SetAt(std::int32_t index, const Interval& interval)
{
    if (index < 0 || index >= Count()) {
        return false;
    }
    m_items[static_cast<std::size_t>(index)] = interval;
    return true;
}

bool IntervalList::Insert(const Interval& interval)
{
    if (!interval.closed) {
        return false;
    }
    // Each merge widens the candidate and starts the walk afresh, so one insert can absorb a whole
    // chain of intervals it comes to overlap. A loop instead of recursion keeps long chains off the stack.
    Interval candidate = interval;
    bool merged = true;
    while (merged) {
        merged = false;
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            const Interval overlap = candidate.Intersect(m_items[i]);
            if (overlap.stop > overlap.start) {
                candidate = candidate.Union(m_items[i]);
                m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(i));
                merged = true;
                break;
            }
        }
    }
    auto position = m_items.begin();
    while (position != m_items.end() && !(candidate.start < position->start)) {
        ++position;
    }
    m_items.insert(position, candidate);
    return true;
}

bool IntervalList::Start()
{
    Interval interval;
    if (!interval.StartNow()) {
        return false;
    }
    m_items.push_back(interval);
    return true;
}

bool IntervalList::Stop()
{
    if (m_items.empty()) {
        return false;
    }
    return m_items.back().StopNow();
}

bool IntervalList::IsRunning() const
{
    return !m_items.empty() && !m_items.back().closed;
}

TimeSpan IntervalList::Total() const
{
    TimeSpan sum;
    for (const Interval& interval : m_items) {
        sum += interval.Duration();
    }
    return sum;
}

TimeSpan IntervalList::TotalIn(const Interval& period) const
{
    TimeSpan sum;
    for (const Interval& interval : m_items) {
        const Interval overlap = interval.Intersect(period);
        if (overlap.start > overlap.stop) {
            continue;
        }
        sum += overlap.stop - overlap.start;
    }
    return sum;
}

bool IntervalList::Read(ByteReader& reader)
{
    m_items.clear();
    std::int32_t count = 0;
    if (!reader.ReadI32(count)) {
        return false;
    }
    if (count <= 0) {
        return true;
    }
    // The count comes from the file: one that the remaining bytes cannot hold is damage, found before
    // anything is allocated for it.
    if (static_cast<std::size_t>(count) > reader.Remaining() / kIntervalRecordSize) {
        return false;
    }
    m_items.resize(static_cast<std::size_t>(count));
    // Field by field here rather than through TimeStamp::Read, which the compiler does not see into.
    for (Interval& interval : m_items) {
        std::uint8_t closedByte = 0;
        if (!reader.ReadU8(closedByte) || !reader.ReadI32(interval.start.days) || !reader.ReadI32(interval.start.ms) ||
            !reader.ReadI32(interval.stop.days) || !reader.ReadI32(interval.stop.ms)) {
            m_items.clear();
            return false;
        }
        interval.closed = closedByte != 0;
    }
    return true;
}

void IntervalList::Write(ByteWriter& writer) const
{
    writer.WriteI32(Count());
    for (const Interval& interval : m_items) {
        writer.WriteU8(interval.closed ? 1 : 0);
        interval.start.Write(writer);
        interval.stop.Write(writer);
    }
}

// ---- Task ----

TimeSpan Task::Total() const
{
    return id < 0 ? TimeSpan() : intervals.Total();
}

TimeSpan Task::TotalIn(const Interval& period) const
{
    return id < 0 ? TimeSpan() : intervals.TotalIn(period);
}

TimeSpan Task::TotalInCalendarPeriod(int index) const
{
    Interval period;
    return period.SetCalendarPeriod(index) ? TotalIn(period) : Total();
}

bool Task::Start()
{
    return id >= 0 && intervals.Start();
}

bool Task::Stop()
{
    return id >= 0 && intervals.Stop();
}

} // namespace kelmora::model
