#pragma once

#include "filestamp.h"
#include "task.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kelmora::model {

class TaskStore;

// What the commands that would otherwise read every task file need of each: enough to find the running task,
// to find a task by its name, to see which files a start or stop must settle, and to tell a task that adds
// nothing to a period, or all of its spans, without its spans.
struct TaskFacts
{
    std::int32_t id = -1;
    std::string name;
    std::int32_t spans = 0;
    std::int32_t openSpans = 0;
    // The last span is open: the task runs (IntervalList::IsRunning). `lastStart` is that span's start.
    bool lastOpen = false;
    TimeStamp lastStart;
    // The earliest start and the latest stop of all spans, in TimeStamp's order; unset without spans.
    TimeStamp earliestStart;
    TimeStamp latestStop;
    // IntervalList::Total, which holds while no span is open; and the time of the spans that do not run
    // backwards, which is what TotalIn gives for a period that holds every span whole.
    TimeSpan total;
    TimeSpan forwardTotal;

    bool operator==(const TaskFacts&) const = default;
};

// The facts of the task files `ids` (ascending) of `dataFolder` that read as Task::Load reads them, ascending
// by id; a file that does not read has none. They are kept in a file under `cacheFolder` with each task file's
// stamp, and a task file is read again only when its stamp moved, so every answer is the files' own (see
// FileStamp for why the stamp tells, and SettledBy for the files whose facts are not kept). The cache must
// lie outside the data folder: whatever watches that folder would take each write of the cache for a change
// of data, so a `cacheFolder` that is the data folder is not used. A missing, damaged or foreign cache is
// rebuilt; when it cannot be written the answer is the same, only slower. An empty `cacheFolder` keeps no
// cache, and a data folder on a network file system is always read in full. `filesRead`, when given, counts
// the task files read.
std::vector<TaskFacts> GatherTaskFacts(const std::filesystem::path& dataFolder, const std::vector<std::int32_t>& ids,
                                       const std::filesystem::path& cacheFolder, int* filesRead = nullptr);

// The facts of task `id` among `facts` (ascending by id), or nullptr.
const TaskFacts* FactsOf(const std::vector<TaskFacts>& facts, std::int32_t id);

// The running task by the tracking rules: of the tasks whose last span is open, the one whose span started
// last (the later id on a tie); -1 when none is.
std::int32_t RunningTaskOf(const std::vector<TaskFacts>& facts);

// The first task in id order named `name` exactly, leaving out `exceptId`; -1 when none is.
std::int32_t TaskNamed(const std::vector<TaskFacts>& facts, const std::string& name, std::int32_t exceptId = -1);

// The task's TotalIn(`period`), or its Total() for no period, where the facts decide it: a task without open
// spans whose spans all lie outside the period adds nothing, one whose spans all lie inside adds them all.
// Nullopt where only the spans can tell.
std::optional<TimeSpan> TotalFromFacts(const TaskFacts& facts, const std::optional<Interval>& period);

// FindRunningTask for callers that ask again and again, such as a status bar every second.
std::int32_t FindRunningTask(const TaskStore& store, const std::filesystem::path& cacheFolder,
                             int* filesRead = nullptr);

// The cache file GatherTaskFacts keeps for `dataFolder` under `cacheFolder`, named after the data folder's
// canonical path so that each data folder has its own.
std::filesystem::path TaskFactsCacheFile(const std::filesystem::path& cacheFolder,
                                         const std::filesystem::path& dataFolder);

} // namespace kelmora::model
