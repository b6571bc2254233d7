#include "timelog.h"

#include "taskstore.h"
#include "textsink.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <memory>
#include <utility>

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

// A log of all time holds a row per span ever tracked.
static_assert(sizeof(TimeLogEntry) <= 24, "a time log row grew past 24 bytes");

// ---- TimeLog ----

namespace {

// A span enters the log closed: one still running is closed at now and marked.
TimeLogEntry MakeEntry(const Interval& interval, std::int32_t taskId)
{
    TimeLogEntry entry(interval, taskId);
    if (!entry.closed) {
        entry.StopNow();
        entry.running = true;
    }
    return entry;
}

// Sorts by least significant digit first, which keeps equal values in order. The counts of every digit are
// taken in one pass; a digit that is the same throughout is skipped.
void RadixSort(std::vector<std::uint64_t>& values, int bits)
{
    constexpr int kDigitBits = 11;
    constexpr std::size_t kDigitValues = std::size_t{1} << kDigitBits;
    constexpr std::uint64_t kMask = kDigitValues - 1;
    const int digits = (bits + kDigitBits - 1) / kDigitBits;
    std::vector<std::size_t> counts(static_cast<std::size_t>(digits) * kDigitValues, 0);
    for (const std::uint64_t value : values) {
        for (int digit = 0; digit < digits; ++digit) {
            ++counts[static_cast<std::size_t>(digit) * kDigitValues + ((value >> (digit * kDigitBits)) & kMask)];
        }
    }
    const std::size_t count = values.size();
    // Filled completely before it is read: left uninitialised rather than cleared first.
    const auto scratch = std::make_unique_for_overwrite<std::uint64_t[]>(count);
    std::uint64_t* from = values.data();
    std::uint64_t* to = scratch.get();
    for (int digit = 0; digit < digits; ++digit) {
        const int shift = digit * kDigitBits;
        std::size_t* next = counts.data() + static_cast<std::size_t>(digit) * kDigitValues;
        if (next[(from[0] >> shift) & kMask] == count) {
            continue;
        }
        std::size_t position = 0;
        for (std::size_t slot = 0; slot < kDigitValues; ++slot) {
            position += std::exchange(next[slot], position);
        }
        for (std::size_t i = 0; i < count; ++i) {
            to[next[(from[i] >> shift) & kMask]++] = from[i];
        }
        std::swap(from, to);
    }
    if (from != values.data()) {
        std::copy(from, from + count, values.data());
    }
}

// The positions 0 .. count-1 in the order of their start stamps, equal starts in position order: what
// inserting the entries one by one, each after every entry that starts at or before it, would give. Sorting
// the entries themselves moves too much; stamp and position packed into one integer sort fastest, which they
// do unless the stamps span thousands of years or the log holds billions of spans.
template <typename StartAt> std::vector<std::uint32_t> OrderByStart(std::size_t count, StartAt startAt)
{
    std::vector<std::uint32_t> order;
    if (count == 0) {
        return order;
    }
    order.reserve(count);
    // A stamp as one number: its milliseconds since the day count's origin when every stamp is normalised,
    // the two fields side by side otherwise (a damaged file); either keeps the order of TimeStamp::operator<.
    bool normalised = true;
    for (std::size_t i = 0; i < count && normalised; ++i) {
        const std::int32_t ms = startAt(i).ms;
        normalised = ms >= 0 && ms < kMsPerDay;
    }
    const auto keyOf = [normalised](const TimeStamp& stamp) {
        if (normalised) {
            // The sign bit flipped: negative counts sort below positive ones as unsigned numbers too.
            return static_cast<std::uint64_t>(std::int64_t{stamp.days} * kMsPerDay + stamp.ms) ^
                   (std::uint64_t{1} << 63);
        }
        return (std::uint64_t{static_cast<std::uint32_t>(stamp.days) ^ 0x8000'0000U} << 32) |
               (static_cast<std::uint32_t>(stamp.ms) ^ 0x8000'0000U);
    };
    std::uint64_t lowest = UINT64_MAX;
    std::uint64_t highest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t key = keyOf(startAt(i));
        lowest = std::min(lowest, key);
        highest = std::max(highest, key);
    }
    const int positionBits = std::max(1, static_cast<int>(std::bit_width(count - 1)));
    const int keyBits = static_cast<int>(std::bit_width(highest - lowest));
    if (keyBits + positionBits <= 64) {
        std::vector<std::uint64_t> packed;
        packed.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            packed.push_back(((keyOf(startAt(i)) - lowest) << positionBits) | i);
        }
        RadixSort(packed, keyBits + positionBits);
        const std::uint64_t positionMask = (std::uint64_t{1} << positionBits) - 1;
        for (const std::uint64_t value : packed) {
            order.push_back(static_cast<std::uint32_t>(value & positionMask));
        }
        return order;
    }
    struct Key
    {
        std::uint64_t start;
        std::uint32_t position;
        bool operator<(const Key& other) const
        {
            return start < other.start || (start == other.start && position < other.position);
        }
    };
    std::vector<Key> keys(count);
    for (std::size_t i = 0; i < count; ++i) {
        keys[i] = {keyOf(startAt(i)), static_cast<std::uint32_t>(i)};
    }
    std::sort(keys.begin(), keys.end());
    for (const Key& key : keys) {
        order.push_back(key.position);
    }
    return order;
}

} // namespace

template <typename Accept> void TimeLog::AddIntervals(const Task& task, Accept accept)
{
    for (const Interval& interval : task.intervals) {
        if (accept(interval)) {
            m_entries.push_back(MakeEntry(interval, task.id));
        }
    }
}

void TimeLog::SortByStart()
{
    const auto earlier = [](const TimeLogEntry& a, const TimeLogEntry& b) { return a.start < b.start; };
    if (std::is_sorted(m_entries.begin(), m_entries.end(), earlier)) {
        return;
    }
    const std::vector<std::uint32_t> order =
        OrderByStart(m_entries.size(), [this](std::size_t i) -> const TimeStamp& { return m_entries[i].start; });
    std::vector<TimeLogEntry> sorted;
    sorted.reserve(m_entries.size());
    for (const std::uint32_t position : order) {
        sorted.push_back(std::move(m_entries[position]));
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
    // The entries are made once, already in order, from the caller's tasks: a log of a million spans is not
    // built twice.
    struct Source
    {
        const Interval* interval;
        std::int32_t taskId;
    };
    std::vector<Source> sources;
    if (period == nullptr) {
        std::size_t count = 0;
        for (const Task& task : tasks) {
            count += static_cast<std::size_t>(task.intervals.Count());
        }
        sources.reserve(count);
    }
    for (const Task& task : tasks) {
        for (const Interval& interval : task.intervals) {
            if (period == nullptr || Overlaps(interval, *period)) {
                sources.push_back({&interval, task.id});
            }
        }
        m_names.emplace(task.id, task.name);
    }
    const std::vector<std::uint32_t> order = OrderByStart(
        sources.size(), [&sources](std::size_t i) -> const TimeStamp& { return sources[i].interval->start; });
    m_entries.reserve(sources.size());
    // The spans are read in an order unrelated to where they lie, one cache miss after another unless asked for
    // ahead: the source a little ahead, and the span of a source already at hand.
    constexpr std::size_t kSourceAhead = 32;
    constexpr std::size_t kSpanAhead = 16;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + kSourceAhead < order.size()) {
            __builtin_prefetch(&sources[order[i + kSourceAhead]]);
        }
        if (i + kSpanAhead < order.size()) {
            __builtin_prefetch(sources[order[i + kSpanAhead]].interval);
        }
        const Source& source = sources[order[i]];
        m_entries.push_back(MakeEntry(*source.interval, source.taskId));
    }
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
    TextSink sink(html);
    WriteHtmlTable(sink);
    return html;
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
