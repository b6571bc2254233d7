#include "timelog.h"

#include "taskstore.h"

#include <algorithm>

namespace kelmora::model {

std::string HtmlEscape(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        case '"':
            result += "&quot;";
            break;
        default:
            result += c;
        }
    }
    return result;
}

// ---- TimeLogEntry ----

std::string TimeLogEntry::Format(const std::string& taskName) const
{
    if (taskId < 0) {
        return {};
    }
    const TimeStamp effectiveStop = EffectiveStop();
    return taskName + "  " + (effectiveStop - start).Format() + " (" + start.Format() + " - " + effectiveStop.Format() +
           ")";
}

std::string TimeLogEntry::ToHtmlRow(const std::string& taskName) const
{
    if (taskId < 0) {
        return {};
    }
    const TimeStamp effectiveStop = EffectiveStop();
    return "<tr><td><b>" + HtmlEscape(taskName) + "</b></td><td>" + (effectiveStop - start).Format() + "</td><td>" +
           start.Format() + "</td><td>" + effectiveStop.Format() + "</td></tr>";
}

std::string TimeLogEntry::ToTabRow(const std::string& taskName) const
{
    std::string row;
    AppendTabRow(row, taskName);
    return row;
}

void TimeLogEntry::AppendTabRow(std::string& out, const std::string& taskName) const
{
    if (taskId < 0) {
        return;
    }
    const TimeStamp effectiveStop = EffectiveStop();
    // A tab or line break inside the name would split the record, so it becomes a blank.
    for (const char c : taskName) {
        out += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    }
    out += '\t';
    (effectiveStop - start).AppendFormat(out);
    out += '\t';
    start.AppendFormat(out);
    out += '\t';
    effectiveStop.AppendFormat(out);
}

// ---- TimeLog ----

template <typename Accept> bool TimeLog::Build(const TaskStore& store, Accept accept)
{
    Clear();
    m_dataFolder = store.DataFolder();
    for (const std::int32_t id : store.TaskIds()) {
        Task task;
        task.id = id;
        if (!task.Load(m_dataFolder)) {
            // One damaged file must not hide every other task's time.
            m_skipped.push_back(id);
            continue;
        }
        for (const Interval& interval : task.intervals) {
            if (accept(interval)) {
                TimeLogEntry entry(interval, id);
                if (!entry.closed) {
                    entry.StopNow();
                }
                m_entries.push_back(entry);
            }
        }
        m_names.emplace(id, std::move(task.name));
    }
    // Equal to inserting one by one (each after every entry that starts at or before it), without the
    // quadratic walk.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const TimeLogEntry& a, const TimeLogEntry& b) { return a.start < b.start; });
    return m_skipped.empty();
}

bool TimeLog::BuildForPeriod(const TaskStore& store, const Interval& period)
{
    return Build(store, [&period](const Interval& interval) {
        const Interval overlap = interval.Intersect(period);
        return overlap.stop > overlap.start;
    });
}

bool TimeLog::BuildAll(const TaskStore& store)
{
    return Build(store, [](const Interval&) { return true; });
}

bool TimeLog::Insert(const TimeLogEntry& entry)
{
    TimeLogEntry copy = entry;
    if (!copy.closed) {
        copy.StopNow();
    }
    const auto position =
        std::upper_bound(m_entries.begin(), m_entries.end(), copy,
                         [](const TimeLogEntry& a, const TimeLogEntry& b) { return a.start < b.start; });
    m_entries.insert(position, copy);
    return true;
}

bool TimeLog::Clear()
{
    m_entries.clear();
    m_skipped.clear();
    m_names.clear();
    return true;
}

TimeLogEntry TimeLog::At(std::int32_t index) const
{
    if (index < 0 || index >= Count()) {
        return TimeLogEntry();
    }
    return m_entries[static_cast<std::size_t>(index)];
}

const std::string& TimeLog::TaskName(std::int32_t taskId) const
{
    if (const auto it = m_names.find(taskId); it != m_names.end()) {
        return it->second;
    }
    Task task;
    task.id = taskId;
    if (m_dataFolder.empty() || !task.Load(m_dataFolder)) {
        task.name.clear();
    }
    return m_names.emplace(taskId, std::move(task.name)).first->second;
}

std::string TimeLog::ToHtmlTable() const
{
    std::string html = "<table border = \"1\"><tr><td><b>Task Name</b></td><td><b>Interval</b></td><td><b>Start</b>"
                       "</td><td><b>Stop</b></td></tr>";
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        html += it->ToHtmlRow(TaskName(it->taskId));
    }
    html += "</table>";
    return html;
}

std::string TimeLog::ToTabText() const
{
    std::string text;
    // name + tab + 8 + tab + 19 + tab + 19 + CR LF, names about 16 bytes
    text.reserve(m_entries.size() * 66);
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        it->AppendTabRow(text, TaskName(it->taskId));
        text += "\r\n";
    }
    return text;
}

} // namespace kelmora::model
