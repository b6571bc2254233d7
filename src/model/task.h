#pragma once

#include "timestamp.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kelmora::model {

class ByteReader;
class ByteWriter;

// One tracked span. An open interval (closed == false) is still running; its effective stop is now.
// Also used as a period (calendar periods, report periods).
class Interval
{
public:
    Interval() = default;
    Interval(const TimeStamp& startStamp, const TimeStamp& stopStamp, bool isClosed = true)
        : start(startStamp), stop(stopStamp), closed(isClosed)
    {}
    // No virtual member: a time log holds a million of these, and a table pointer would be a third of each.

    TimeStamp EffectiveStop() const;
    TimeSpan Duration() const;
    bool StartNow();
    bool StopNow();
    Interval Intersect(const Interval& other) const;
    Interval Union(const Interval& other) const;

    // "start - stop (duration)" in local time.
    std::string Format() const;

    // Calendar periods: start at the local midnight that begins the period, stop at now. Each reads the
    // clock once.
    void SetToday();
    void SetThisWeek();
    void SetThisMonth();
    void SetThisYear();
    // The calendar period by its index in the period lists: 0 this day, 1 this week, 2 this month, 3 this
    // year, then the whole past ones (kYesterday … kLastYear, from local midnight to local midnight). False,
    // and nothing set, for any other index (4 among them), which stands for all time.
    bool SetCalendarPeriod(int index);
    static constexpr int kAllTime = 4;
    static constexpr int kYesterday = 5;
    static constexpr int kLastWeek = 6;
    static constexpr int kLastMonth = 7;
    static constexpr int kLastYear = 8;

    TimeStamp start;
    TimeStamp stop;
    bool closed = true;

private:
    void SetPastPeriod(int index);
};

// A task's intervals in list order. Insert keeps them sorted and merged; Start and reading append as is.
class IntervalList
{
public:
    std::int32_t Count() const { return static_cast<std::int32_t>(m_items.size()); }
    Interval At(std::int32_t index) const;
    bool RemoveAt(std::int32_t index);
    // Replaces the interval in place, without ordering or merging.
    bool SetAt(std::int32_t index, const Interval& interval);
    bool Insert(const Interval& interval);
    // Appends without ordering or merging, the way stored records and Start add intervals.
    void Append(const Interval& interval) { m_items.push_back(interval); }
    void Clear() { m_items.clear(); }
    bool Start();
    bool Stop();
    bool IsRunning() const;
    TimeSpan Total() const;
    TimeSpan TotalIn(const Interval& period) const;

    bool Read(ByteReader& reader);
    void Write(ByteWriter& writer) const;

    std::vector<Interval>::const_iterator begin() const { return m_items.begin(); }
    std::vector<Interval>::const_iterator end() const { return m_items.end(); }

private:
    std::vector<Interval> m_items;
};

// A named task. Nothing is cached between operations: load it, change it, save it at once.
class Task
{
public:
    Task() = default;
    Task(const Task&) = default;
    Task& operator=(const Task&) = default;
    virtual ~Task() = default;

    TimeSpan Total() const;
    TimeSpan TotalIn(const Interval& period) const;
    // The time in the calendar period of that index (see Interval::SetCalendarPeriod), or Total for all time.
    TimeSpan TotalInCalendarPeriod(int index) const;
    bool Start();
    bool Stop();
    bool IsRunning() const { return id >= 0 && intervals.IsRunning(); }

    // Reads or writes <dataFolder>/<id>.tsk. A failed Load may leave a partly filled task, which callers
    // discard; a failed Save leaves the previous file intact.
    bool Load(const std::filesystem::path& dataFolder, std::string* error = nullptr);
    bool Save(const std::filesystem::path& dataFolder, std::string* error = nullptr) const;

    std::string name;
    std::int32_t id = -1;
    IntervalList intervals;
};

} // namespace kelmora::model
