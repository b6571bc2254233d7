#include "taskops.h"

#include "atomicfile.h"
#include "errortext.h"
#include "folderlock.h"
#include "task.h"
#include "taskfacts.h"
#include "taskfile.h"
#include "taskstore.h"

#include <algorithm>
#include <tuple>

namespace kelmora::model {

namespace {

TimeStamp Later(const TimeStamp& a, const TimeStamp& b)
{
    return a < b ? b : a;
}

// Closes the running span at `now`; a span that starts after `now` (another machine's clock ran ahead)
// ends where it starts rather than before.
void CloseRunning(Task& task, const TimeStamp& now)
{
    const std::int32_t last = task.intervals.Count() - 1;
    Interval span = task.intervals.At(last);
    span.stop = Later(span.start, now);
    span.closed = true;
    task.intervals.SetAt(last, span);
}

// Writes the tasks flagged in `changed`; `error` gets the first failure.
bool SaveChanged(const std::filesystem::path& dataFolder, const std::vector<Task>& tasks,
                 const std::vector<bool>& changed, std::string* error)
{
    bool saved = true;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        std::string reason;
        if (changed[i] && !tasks[i].Save(dataFolder, &reason)) {
            if (saved) {
                SetError(error, reason);
            }
            saved = false;
        }
    }
    return saved;
}

// The tasks a start or stop must look at. With at most one open span in the folder that is its task and
// `alsoId`, found from each file's facts (see GatherTaskFacts) without reading every span; with more, every
// readable task, for the settle rule weighs every span's start.
bool LoadTasksToSettle(const std::filesystem::path& dataFolder, std::int32_t alsoId, const FactsSource& source,
                       std::vector<Task>& tasks, std::string* error)
{
    std::vector<TaskFacts> gathered;
    if (source.gathered == nullptr) {
        const auto ids = ListTaskFiles(dataFolder, error);
        if (!ids) {
            return false;
        }
        gathered = GatherTaskFacts(dataFolder, *ids, source.cacheFolder);
    }
    std::vector<std::int32_t> wanted;
    int openSpans = 0;
    for (const TaskFacts& facts : source.gathered != nullptr ? *source.gathered : gathered) {
        openSpans += facts.openSpans;
        if (facts.openSpans > 0 || facts.id == alsoId) {
            wanted.push_back(facts.id);
        }
    }
    if (openSpans > 1) {
        return LoadReadableTasks(dataFolder, tasks, error);
    }
    tasks.clear();
    for (const std::int32_t id : wanted) {
        Task task;
        task.id = id;
        if (task.Load(dataFolder)) {
            tasks.push_back(std::move(task));
        }
    }
    return true;
}

} // namespace

bool LoadReadableTasks(const std::filesystem::path& dataFolder, std::vector<Task>& tasks, std::string* error)
{
    const auto ids = ListTaskFiles(dataFolder, error);
    if (!ids) {
        return false;
    }
    tasks.clear();
    tasks.reserve(ids->size());
    for (const std::int32_t id : *ids) {
        Task task;
        task.id = id;
        if (task.Load(dataFolder)) {
            tasks.push_back(std::move(task));
        }
    }
    return true;
}

std::int32_t SettleOpenSpans(std::vector<Task>& tasks, std::vector<bool>& changed)
{
    changed.assign(tasks.size(), false);
    struct OpenSpan
    {
        TimeStamp start;
        std::size_t task;
        std::int32_t index;
    };
    std::vector<OpenSpan> open;
    std::vector<TimeStamp> starts;
    for (std::size_t t = 0; t < tasks.size(); ++t) {
        const IntervalList& list = tasks[t].intervals;
        for (std::int32_t i = 0; i < list.Count(); ++i) {
            const Interval span = list.At(i);
            starts.push_back(span.start);
            if (!span.closed) {
                open.push_back({span.start, t, i});
            }
        }
    }
    if (open.empty()) {
        return -1;
    }
    std::sort(starts.begin(), starts.end());
    // Ties go to the task later in the list, then to the later span: the same answer on every machine.
    const auto running = std::max_element(open.begin(), open.end(), [](const OpenSpan& a, const OpenSpan& b) {
        return std::tie(a.start, a.task, a.index) < std::tie(b.start, b.task, b.index);
    });
    for (auto it = open.begin(); it != open.end(); ++it) {
        if (it == running) {
            continue;
        }
        const auto next = std::upper_bound(starts.begin(), starts.end(), it->start);
        Interval span = tasks[it->task].intervals.At(it->index);
        span.stop = next != starts.end() ? *next : span.start;
        span.closed = true;
        tasks[it->task].intervals.SetAt(it->index, span);
        changed[it->task] = true;
    }
    IntervalList& list = tasks[running->task].intervals;
    if (running->index != list.Count() - 1) {
        const Interval span = list.At(running->index);
        list.RemoveAt(running->index);
        list.Append(span);
        changed[running->task] = true;
    }
    return static_cast<std::int32_t>(running->task);
}

bool StopTask(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error, std::int32_t* stopped,
              const FactsSource& facts)
{
    if (stopped != nullptr) {
        *stopped = -1;
    }
    const FolderLock lock(dataFolder);
    if (!lock.Held(error)) {
        return false;
    }
    std::vector<Task> tasks;
    if (!LoadTasksToSettle(dataFolder, -1, facts, tasks, error)) {
        return false;
    }
    std::vector<bool> changed;
    const std::int32_t running = SettleOpenSpans(tasks, changed);
    TimeStamp now;
    if (running >= 0 && (id == kAnyTask || tasks[static_cast<std::size_t>(running)].id == id)) {
        if (!now.Now()) {
            SetError(error, "the clock could not be read");
            return false;
        }
        CloseRunning(tasks[static_cast<std::size_t>(running)], now);
        changed[static_cast<std::size_t>(running)] = true;
        if (stopped != nullptr) {
            *stopped = tasks[static_cast<std::size_t>(running)].id;
        }
    }
    return SaveChanged(dataFolder, tasks, changed, error);
}

bool StartTask(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error, const FactsSource& facts)
{
    const FolderLock lock(dataFolder);
    if (!lock.Held(error)) {
        return false;
    }
    // A task that cannot be read cannot be started, so nothing may be stopped for it.
    Task probe;
    probe.id = id;
    if (!probe.Load(dataFolder, error)) {
        return false;
    }
    std::vector<Task> tasks;
    if (!LoadTasksToSettle(dataFolder, id, facts, tasks, error)) {
        return false;
    }
    const auto target = std::find_if(tasks.begin(), tasks.end(), [id](const Task& t) { return t.id == id; });
    if (target == tasks.end()) {
        SetError(error, TaskPath(dataFolder, id).string() + ": the task is gone");
        return false;
    }
    std::vector<bool> changed;
    const std::int32_t running = SettleOpenSpans(tasks, changed);
    TimeStamp now;
    if (!now.Now()) {
        SetError(error, "the clock could not be read");
        return false;
    }
    if (running >= 0) {
        CloseRunning(tasks[static_cast<std::size_t>(running)], now);
        changed[static_cast<std::size_t>(running)] = true;
    }
    target->intervals.Append(Interval(now, TimeStamp(), false));
    // The started task first: if it cannot be written, the running span stays as it was.
    if (!target->Save(dataFolder, error)) {
        return false;
    }
    changed[static_cast<std::size_t>(target - tasks.begin())] = false;
    // A file that fails now keeps an open span that began before the new one, which the next start or stop
    // closes where the new span began.
    return SaveChanged(dataFolder, tasks, changed, error);
}

bool InsertSpan(Task& task, const Interval& span, std::string* error)
{
    if (!span.closed) {
        SetError(error, "only a closed span can be added");
        return false;
    }
    const std::int32_t last = task.intervals.Count() - 1;
    if (task.intervals.IsRunning() && span.start > task.intervals.At(last).start) {
        SetError(error, "the task is running since " + task.intervals.At(last).start.Format() +
                            "; stop it first to add a span that begins later");
        return false;
    }
    return task.intervals.Insert(span);
}

bool InsertSpan(const std::filesystem::path& dataFolder, std::int32_t id, const Interval& span, std::string* error)
{
    const FolderLock lock(dataFolder);
    if (!lock.Held(error)) {
        return false;
    }
    Task task;
    task.id = id;
    if (!task.Load(dataFolder, error) || !InsertSpan(task, span, error)) {
        return false;
    }
    return task.Save(dataFolder, error);
}

std::int32_t FindRunningTask(const TaskStore& store)
{
    // Only the last span of each file matters.
    const TaskFolderPeek peek(store.DataFolder());
    std::int32_t found = -1;
    TimeStamp latest;
    for (const std::int32_t id : store.TaskIds()) {
        const auto last = peek.LastSpan(id);
        if (last && !last->closed && (found < 0 || !(last->start < latest))) {
            found = id;
            latest = last->start;
        }
    }
    return found;
}

std::int32_t FindTaskByName(const TaskStore& store, const std::string& name, std::int32_t exceptId)
{
    for (const std::int32_t id : store.TaskIds()) {
        if (id == exceptId) {
            continue;
        }
        Task task;
        task.id = id;
        if (task.Load(store.DataFolder()) && task.name == name) {
            return id;
        }
    }
    return -1;
}

} // namespace kelmora::model
