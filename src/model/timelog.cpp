#include "timelog.h"

#include "taskstore.h"
#include "textsink.h"

#include <algorithm>
#include <tuple>

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

namespace {

void AppendHtmlRow(std::string& out, const TimeLogEntry& entry, std::string_view escapedName)
{
    const TimeStamp effectiveStop = entry.EffectiveStop();
    out += "<tr><td><b>";
    out += escapedName;
    out += "</b></td><td>";
    (effectiveStop - entry.start).AppendFormat(out);
    out += "</td><td>";
    entry.start.AppendFormat(out);
    out += "</td><td>";
    effectiveStop.AppendFormat(out);
    out += "</td></tr>";
}

} // namespace

std::string TimeLogEntry::ToHtmlRow(const std::string& taskName) const
{
    std::string row;
    if (taskId >= 0) {
        AppendHtmlRow(row, *this, HtmlEscape(taskName));
    }
    return row;
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

template <typename Accept> void TimeLog::AddIntervals(const Task& task, Accept accept)
{
    for (const Interval& interval : task.intervals) {
        if (accept(interval)) {
            TimeLogEntry entry(interval, task.id);
            if (!entry.closed) {
                entry.StopNow();
                entry.running = true;
            }
            m_entries.push_back(entry);
        }
    }
}

// Equal to inserting one by one (each after every entry that starts at or before it). Sorting small keys, with
// the position as the tie-break that keeps equal starts in the order they were added, and then moving each
// entry once is several times faster than a stable sort of the entries themselves.
void TimeLog::SortByStart()
{
    const auto earlier = [](const TimeLogEntry& a, const TimeLogEntry& b) { return a.start < b.start; };
    if (std::is_sorted(m_entries.begin(), m_entries.end(), earlier)) {
        return;
    }
    struct Key
    {
        std::int32_t days;
        std::int32_t ms;
        std::uint32_t position;
        bool operator<(const Key& other) const
        {
            return std::tie(days, ms, position) < std::tie(other.days, other.ms, other.position);
        }
    };
    std::vector<Key> keys;
    keys.reserve(m_entries.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        keys.push_back({m_entries[i].start.days, m_entries[i].start.ms, static_cast<std::uint32_t>(i)});
    }
    std::sort(keys.begin(), keys.end());
    std::vector<TimeLogEntry> sorted;
    sorted.reserve(m_entries.size());
    for (const Key& key : keys) {
        sorted.push_back(std::move(m_entries[key.position]));
    }
    m_entries.swap(sorted);
}

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
        AddIntervals(task, accept);
        m_names.emplace(id, std::move(task.name));
    }
    SortByStart();
    return m_skipped.empty();
}

namespace {

bool Overlaps(const Interval& interval, const Interval& period)
{
    const Interval overlap = interval.Intersect(period);
    return overlap.stop > overlap.start;
}

} // namespace

bool TimeLog::BuildForPeriod(const TaskStore& store, const Interval& period)
{
    return Build(store, [&period](const Interval& interval) { return Overlaps(interval, period); });
}

bool TimeLog::BuildAll(const TaskStore& store)
{
    return Build(store, [](const Interval&) { return true; });
}

bool TimeLog::BuildFromTasks(const std::vector<Task>& tasks, const Interval* period, std::vector<std::int32_t> skipped)
{
    Clear();
    if (period == nullptr) {
        std::size_t count = 0;
        for (const Task& task : tasks) {
            count += static_cast<std::size_t>(task.intervals.Count());
        }
        m_entries.reserve(count);
    }
    for (const Task& task : tasks) {
        AddIntervals(task,
                     [period](const Interval& interval) { return period == nullptr || Overlaps(interval, *period); });
        m_names.emplace(task.id, task.name);
    }
    SortByStart();
    m_skipped = std::move(skipped);
    return m_skipped.empty();
}

bool TimeLog::Insert(const TimeLogEntry& entry)
{
    TimeLogEntry copy = entry;
    if (!copy.closed) {
        copy.StopNow();
        copy.running = true;
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
    std::string html;
    AppendHtmlTable(html);
    return html;
}

void TimeLog::AppendHtmlTable(std::string& out) const
{
    TextSink sink(out);
    WriteHtmlTable(sink);
}

bool TimeLog::WriteHtmlTable(TextSink& out) const
{
    // Each name is escaped once, not once per span, and a page kept whole is sized before it is written, so a
    // table of a million rows is never copied while it grows.
    std::unordered_map<std::int32_t, std::string> escaped;
    std::vector<const std::string*> names;
    names.reserve(m_entries.size());
    // per row: tags 45, duration 8 (more past 99 hours), start and stop 19 each
    std::size_t size = 200;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->taskId < 0) {
            names.push_back(nullptr);
            continue;
        }
        auto name = escaped.find(it->taskId);
        if (name == escaped.end()) {
            name = escaped.emplace(it->taskId, HtmlEscape(TaskName(it->taskId))).first;
        }
        names.push_back(&name->second);
        size += 100 + name->second.size();
    }
    out.Expect(size);
    out.Append("<table border = \"1\"><tr><td><b>Task Name</b></td><td><b>Interval</b></td><td><b>Start</b></td><td>"
               "<b>Stop</b></td></tr>");
    auto name = names.begin();
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it, ++name) {
        if (*name != nullptr) {
            AppendHtmlRow(out.Text(), *it, **name);
            if (!out.Pour()) {
                return false;
            }
        }
    }
    out.Append("</table>");
    return out.Pour();
}

std::string TimeLog::ToTabText() const
{
    std::string text;
    TextSink sink(text);
    WriteTabText(sink);
    return text;
}

bool TimeLog::WriteTabText(TextSink& out) const
{
    // name + tab + 8 + tab + 19 + tab + 19 + CR LF, names about 16 bytes
    out.Expect(m_entries.size() * 66);
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        it->AppendTabRow(out.Text(), TaskName(it->taskId));
        out.Append("\r\n");
        if (!out.Pour()) {
            return false;
        }
    }
    return true;
}

} // namespace kelmora::model
