#include "timelog.h"

#include "taskstore.h"
#include "textsink.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <sys/mman.h>
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

std::string TabField(std::string_view text)
{
    std::string field(text);
    std::replace_if(
        field.begin(), field.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return field;
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

// Room for the tags and the three times of a row, whatever their length.
constexpr std::size_t kRowRoom = 64 + TimeSpan::kMaxText + 2 * LocalStampWriter::kMaxText;

char* Put(char* out, std::string_view text)
{
    return std::copy(text.begin(), text.end(), out);
}

// One stamp writer per column: each column's stamps lie close together, so its hour and day are mostly the last
// row's.
struct StampColumns
{
    LocalStampWriter starts;
    LocalStampWriter stops;
};

void AppendHtmlRow(std::string& out, const TimeLogEntry& entry, std::string_view escapedName, StampColumns& stamps)
{
    const TimeStamp effectiveStop = entry.EffectiveStop();
    out += "<tr><td><b>";
    out += escapedName;
    char buffer[kRowRoom];
    char* end = Put(buffer, "</b></td><td>");
    end = (effectiveStop - entry.start).Write(end);
    end = Put(end, "</td><td>");
    end = stamps.starts.Write(entry.start, end);
    end = Put(end, "</td><td>");
    end = stamps.stops.Write(effectiveStop, end);
    end = Put(end, "</td></tr>");
    out.append(buffer, end);
}

// NAME, tab, duration, tab, start, tab, stop, and CR LF when `lineEnd`.
void AppendTabRow(std::string& out, const TimeLogEntry& entry, std::string_view tabName, StampColumns& stamps,
                  bool lineEnd)
{
    const TimeStamp effectiveStop = entry.EffectiveStop();
    out += tabName;
    char buffer[kRowRoom];
    char* end = buffer;
    *end++ = '\t';
    end = (effectiveStop - entry.start).Write(end);
    *end++ = '\t';
    end = stamps.starts.Write(entry.start, end);
    *end++ = '\t';
    end = stamps.stops.Write(effectiveStop, end);
    if (lineEnd) {
        end = Put(end, "\r\n");
    }
    out.append(buffer, end);
}

} // namespace

std::string TimeLogEntry::ToHtmlRow(const std::string& taskName) const
{
    std::string row;
    if (taskId >= 0) {
        StampColumns stamps;
        AppendHtmlRow(row, *this, HtmlEscape(taskName), stamps);
    }
    return row;
}

std::string TimeLogEntry::ToTabRow(const std::string& taskName) const
{
    std::string row;
    if (taskId >= 0) {
        StampColumns stamps;
        AppendTabRow(row, *this, TabField(taskName), stamps, false);
    }
    return row;
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

// Asks for the memory of a buffer of millions of rows in large pages where the system gives them on request:
// taking tens of megabytes from the system page by page was a quarter of an all-time log's time.
void AdviseLargePages(void* data, std::size_t bytes)
{
    constexpr std::uintptr_t kLargePage = 2 * 1024 * 1024;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kLargePage - 1);
    if (last > first) {
        // Advice only: where it is refused, the pages come one by one as before.
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

// Sorts by bits lowBit .. highBit - 1 of the values, least significant digit first, which keeps values with
// equal such bits in the order they had. The counts of every digit are taken in one pass; a digit that is the
// same throughout is skipped.
void RadixSort(std::vector<std::uint64_t>& values, int lowBit, int highBit)
{
    // Digits of up to 12 bits keep the counts in the processor's cache; the bits are shared out evenly, so that
    // the 36 bits of a few years in milliseconds take three passes.
    constexpr int kMostDigitBits = 12;
    const int digits = (highBit - lowBit + kMostDigitBits - 1) / kMostDigitBits;
    if (digits == 0) {
        return;
    }
    const int digitBits = (highBit - lowBit + digits - 1) / digits;
    const std::size_t digitValues = std::size_t{1} << digitBits;
    const std::uint64_t mask = digitValues - 1;
    std::vector<std::size_t> counts(static_cast<std::size_t>(digits) * digitValues, 0);
    for (const std::uint64_t value : values) {
        for (int digit = 0; digit < digits; ++digit) {
            ++counts[static_cast<std::size_t>(digit) * digitValues + ((value >> (lowBit + digit * digitBits)) & mask)];
        }
    }
    const std::size_t count = values.size();
    // Filled completely before it is read: left uninitialised rather than cleared first.
    const auto scratch = std::make_unique_for_overwrite<std::uint64_t[]>(count);
    AdviseLargePages(scratch.get(), count * sizeof(std::uint64_t));
    std::uint64_t* from = values.data();
    std::uint64_t* to = scratch.get();
    for (int digit = 0; digit < digits; ++digit) {
        const int shift = lowBit + digit * digitBits;
        std::size_t* next = counts.data() + static_cast<std::size_t>(digit) * digitValues;
        if (next[(from[0] >> shift) & mask] == count) {
            continue;
        }
        std::size_t position = 0;
        for (std::size_t slot = 0; slot < digitValues; ++slot) {
            position += std::exchange(next[slot], position);
        }
        for (std::size_t i = 0; i < count; ++i) {
            to[next[(from[i] >> shift) & mask]++] = from[i];
        }
        std::swap(from, to);
    }
    if (from != values.data()) {
        std::copy(from, from + count, values.data());
    }
}

// Visits the positions 0 .. count-1 in the order of their start stamps, equal starts in position order: what
// inserting the entries one by one, each after every entry that starts at or before it, would give. Sorting
// the entries themselves moves too much; stamp and position packed into one integer sort fastest, which they
// do unless the stamps span thousands of years or the log holds billions of spans. `visit` is also told the
// position it will be given kVisitAhead calls later (count near the end), to ask for that row ahead.
constexpr std::size_t kVisitAhead = 16;
template <typename StartAt, typename Visit> void VisitByStart(std::size_t count, StartAt startAt, Visit visit)
{
    if (count == 0) {
        return;
    }
    // A stamp as one number: its milliseconds since the day count's origin when every stamp is normalised,
    // the two fields side by side otherwise (a damaged file); either keeps the order of TimeStamp::operator<.
    // The sign bit flipped: negative counts sort below positive ones as unsigned numbers too.
    const auto normalisedKey = [](const TimeStamp& stamp) {
        return static_cast<std::uint64_t>(std::int64_t{stamp.days} * kMsPerDay + stamp.ms) ^ (std::uint64_t{1} << 63);
    };
    const auto rawKey = [](const TimeStamp& stamp) {
        return (std::uint64_t{static_cast<std::uint32_t>(stamp.days) ^ 0x8000'0000U} << 32) |
               (static_cast<std::uint32_t>(stamp.ms) ^ 0x8000'0000U);
    };
    // The range of the keys, taken in the same pass that finds out which form they take.
    bool normalised = true;
    std::uint64_t lowest = UINT64_MAX;
    std::uint64_t highest = 0;
    for (std::size_t i = 0; i < count && normalised; ++i) {
        const TimeStamp& stamp = startAt(i);
        normalised = stamp.ms >= 0 && stamp.ms < kMsPerDay;
        const std::uint64_t key = normalisedKey(stamp);
        lowest = std::min(lowest, key);
        highest = std::max(highest, key);
    }
    if (!normalised) {
        lowest = UINT64_MAX;
        highest = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t key = rawKey(startAt(i));
            lowest = std::min(lowest, key);
            highest = std::max(highest, key);
        }
    }
    const auto keyOf = [&](const TimeStamp& stamp) { return normalised ? normalisedKey(stamp) : rawKey(stamp); };
    const int positionBits = std::max(1, static_cast<int>(std::bit_width(count - 1)));
    const int keyBits = static_cast<int>(std::bit_width(highest - lowest));
    if (keyBits + positionBits <= 64) {
        std::vector<std::uint64_t> packed;
        packed.reserve(count);
        AdviseLargePages(packed.data(), count * sizeof(std::uint64_t));
        for (std::size_t i = 0; i < count; ++i) {
            packed.push_back(((keyOf(startAt(i)) - lowest) << positionBits) | i);
        }
        // The positions are in order already, and the sort keeps that order among equal stamps.
        RadixSort(packed, positionBits, keyBits + positionBits);
        const std::uint64_t positionMask = (std::uint64_t{1} << positionBits) - 1;
        const auto positionAt = [&](std::size_t i) { return static_cast<std::size_t>(packed[i] & positionMask); };
        for (std::size_t i = 0; i < count; ++i) {
            visit(positionAt(i), i + kVisitAhead < count ? positionAt(i + kVisitAhead) : count);
        }
        return;
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
    for (std::size_t i = 0; i < count; ++i) {
        visit(std::size_t{keys[i].position}, i + kVisitAhead < count ? keys[i + kVisitAhead].position : count);
    }
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
    std::vector<TimeLogEntry> sorted;
    sorted.reserve(m_entries.size());
    AdviseLargePages(sorted.data(), sorted.capacity() * sizeof(TimeLogEntry));
    // The rows are read in an order unrelated to where they lie: each is asked for a little ahead, or each one is
    // a cache miss.
    VisitByStart(
        m_entries.size(), [this](std::size_t i) -> const TimeStamp& { return m_entries[i].start; },
        [this, &sorted](std::size_t position, std::size_t ahead) {
            if (ahead < m_entries.size()) {
                __builtin_prefetch(&m_entries[ahead]);
            }
            sorted.push_back(m_entries[position]);
        });
    m_entries.swap(sorted);
}

template <typename Accept> bool TimeLog::Build(const TaskStore& store, Accept accept)
{
    Clear();
    m_dataFolder = store.DataFolder();
    const std::vector<std::int32_t>& ids = store.TaskIds();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const std::int32_t id = ids[i];
        Task task;
        task.id = id;
        if (!task.Load(m_dataFolder)) {
            // One damaged file must not hide every other task's time.
            m_skipped.push_back(id);
            continue;
        }
        // Room for the tasks still to come if they hold as many spans as this one, and an eighth more: a log of a
        // million spans grown by doubling would be copied over and over.
        const auto spans = static_cast<std::size_t>(task.intervals.Count());
        if (m_entries.capacity() - m_entries.size() < spans) {
            const std::size_t toCome = spans * (ids.size() - i);
            m_entries.reserve(std::max(m_entries.capacity() * 2, m_entries.size() + toCome + toCome / 8));
            AdviseLargePages(m_entries.data(), m_entries.capacity() * sizeof(TimeLogEntry));
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
    // Copied in task order and sorted in one piece, as a log read from the files is: a log of a million spans
    // is made once, and gathered from one array rather than from a thousand.
    std::size_t count = 0;
    for (const Task& task : tasks) {
        count += static_cast<std::size_t>(task.intervals.Count());
    }
    m_entries.reserve(period == nullptr ? count : 0);
    AdviseLargePages(m_entries.data(), m_entries.capacity() * sizeof(TimeLogEntry));
    for (const Task& task : tasks) {
        if (period == nullptr) {
            AddIntervals(task, [](const Interval&) { return true; });
        } else {
            AddIntervals(task, [period](const Interval& interval) { return Overlaps(interval, *period); });
        }
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
    TextSink sink(html);
    WriteHtmlTable(sink);
    return html;
}

namespace {

// The text each row shows for its task's name, made once per task and found by id without hashing when the ids
// lie close together, as a store's do.
class RowNames
{
public:
    using Make = std::function<std::string(std::int32_t)>;

    RowNames(const std::vector<TimeLogEntry>& entries, Make make) : m_make(std::move(make))
    {
        std::int32_t lowest = INT32_MAX;
        std::int32_t highest = -1;
        for (const TimeLogEntry& entry : entries) {
            if (entry.taskId >= 0) {
                lowest = std::min(lowest, entry.taskId);
                highest = std::max(highest, entry.taskId);
            }
        }
        if (highest >= 0 && std::size_t(highest - lowest) <= entries.size() * 4 + 4096) {
            m_lowest = lowest;
            m_dense.assign(static_cast<std::size_t>(highest - lowest) + 1, nullptr);
        }
    }

    const std::string& Of(std::int32_t taskId)
    {
        const std::string** slot = nullptr;
        if (!m_dense.empty()) {
            slot = &m_dense[static_cast<std::size_t>(taskId - m_lowest)];
            if (*slot != nullptr) {
                return **slot;
            }
        }
        auto made = m_made.find(taskId);
        if (made == m_made.end()) {
            made = m_made.emplace(taskId, m_make(taskId)).first;
        }
        if (slot != nullptr) {
            *slot = &made->second;
        }
        return made->second;
    }

private:
    Make m_make;
    std::int32_t m_lowest = 0;
    std::vector<const std::string*> m_dense;
    std::unordered_map<std::int32_t, std::string> m_made;
};

} // namespace

bool TimeLog::WriteHtmlTable(TextSink& out) const
{
    // Each name is escaped once, not once per span, and a page kept whole is sized before it is written, so a
    // table of a million rows is never copied while it grows.
    RowNames names(m_entries, [this](std::int32_t id) { return HtmlEscape(TaskName(id)); });
    // per row: tags 45, duration 8 (more past 99 hours), start and stop 19 each
    std::size_t size = 200;
    for (const TimeLogEntry& entry : m_entries) {
        if (entry.taskId >= 0) {
            size += 100 + names.Of(entry.taskId).size();
        }
    }
    out.Expect(size);
    out.Append("<table border = \"1\"><tr><td><b>Task Name</b></td><td><b>Interval</b></td><td><b>Start</b></td><td>"
               "<b>Stop</b></td></tr>");
    StampColumns stamps;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->taskId >= 0) {
            AppendHtmlRow(out.Text(), *it, names.Of(it->taskId), stamps);
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
    RowNames names(m_entries, [this](std::int32_t id) { return TabField(TaskName(id)); });
    StampColumns stamps;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->taskId >= 0) {
            AppendTabRow(out.Text(), *it, names.Of(it->taskId), stamps, true);
        } else {
            out.Append("\r\n");
        }
        if (!out.Pour()) {
            return false;
        }
    }
    return true;
}

} // namespace kelmora::model
