#pragma once

#include "task.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kelmora::model {

class TaskStore;
class TextSink;

// "&", "<", ">" and the double quote as character references, so names are shown, never interpreted.
std::string HtmlEscape(std::string_view text);
// A name as one field of a tab-separated record: its own tabs and line breaks become blanks.
std::string TabField(std::string_view text);

// One tracked span of one task. The span is kept whole, even in a period log.
class TimeLogEntry : public Interval
{
public:
    TimeLogEntry() = default;
    TimeLogEntry(const Interval& interval, std::int32_t id) : Interval(interval), taskId(id) {}

    // The span alone, as an Interval shows it.
    using Interval::Format;
    // The text forms take the task's name from the caller; all are empty for an entry without a task.
    // "name  duration (start - stop)"
    std::string Format(const std::string& taskName) const;
    std::string ToHtmlRow(const std::string& taskName) const;
    std::string ToTabRow(const std::string& taskName) const;

    // Ahead of the id, so that it fills the span's padding: 24 bytes a row.
    // The span was still running when it entered the log, which closed it at that moment.
    bool running = false;
    std::int32_t taskId = -1;
};

// The spans of all tasks, ascending by start; spans with equal starts keep the order they were added in.
class TimeLog
{
public:
    // Both return false when a task could not be read; the other tasks' spans are in the log all the
    // same, and SkippedTaskIds() names the ones left out.
    bool BuildForPeriod(const TaskStore& store, const Interval& period);
    bool BuildAll(const TaskStore& store);
    // The same log from tasks the caller has read already, so that a report reads each file once; a null
    // `period` takes every interval. `skipped` names the tasks the caller could not read.
    bool BuildFromTasks(const std::vector<Task>& tasks, const Interval* period, std::vector<std::int32_t> skipped = {});

    // Adds a copy of the entry, closed at now when it is still running.
    bool Insert(const TimeLogEntry& entry);
    bool Clear();
    std::int32_t Count() const { return static_cast<std::int32_t>(m_entries.size()); }
    TimeLogEntry At(std::int32_t index) const;
    const std::vector<TimeLogEntry>& Entries() const { return m_entries; }
    const std::vector<std::int32_t>& SkippedTaskIds() const { return m_skipped; }

    // The name of a task as it was when the log was built; read from its file for tasks the build did
    // not see. Empty when the task cannot be read.
    const std::string& TaskName(std::int32_t taskId) const;

    // Newest first.
    std::string ToHtmlTable() const;
    std::string ToTabText() const;
    // The same texts made into a sink, for logs too large to hold whole. False when the sink's destination
    // refused a piece.
    bool WriteHtmlTable(TextSink& out) const;
    bool WriteTabText(TextSink& out) const;

private:
    template <typename Accept> bool Build(const TaskStore& store, Accept accept);
    template <typename Accept> void AddIntervals(const Task& task, Accept accept);
    void SortByStart();

    std::vector<TimeLogEntry> m_entries;
    std::vector<std::int32_t> m_skipped;
    std::filesystem::path m_dataFolder;
    mutable std::unordered_map<std::int32_t, std::string> m_names;
};

} // namespace kelmora::model
