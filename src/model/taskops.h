#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kelmora::model {

class Interval;
class Task;
class TaskStore;
struct TaskFacts;

// Where a start or stop finds the facts of the folder's task files (see GatherTaskFacts), so that it reads only
// the files that hold open spans: the cache folder to gather them with (empty for none), or facts the caller
// gathered while it held the folder's lock, as the start or stop does, and still holds it.
struct FactsSource
{
    std::filesystem::path cacheFolder{};
    const std::vector<TaskFacts>* gathered = nullptr;
};

// The tracking rules every front end follows. Each operation holds the data folder's lock (FolderLock)
// from reading the files it changes to the last rename, so two programs never act on what they read
// before the other wrote. When the lock cannot be had, nothing is changed and `error` says so.
//
// At most one span is open in a data folder. A folder may still hold several, left by older versions or
// joined by a sync of two machines. The next start or stop settles them, adding no time that no span
// shows:
// - the latest-started open span is the running one;
// - every other open span is closed at the start of the next span, in any task, that began after it (at
//   its own start when none did);
// - only the running span is closed at now, by a stop or by the start of another span.

// Every task of the folder that reads, listed afresh: the store's list may be older than the files.
// Unreadable files are left out. False when the folder cannot be listed.
bool LoadReadableTasks(const std::filesystem::path& dataFolder, std::vector<Task>& tasks, std::string* error = nullptr);

// Settles the open spans of `tasks`, read together from one folder, in memory. The running span, when
// its task's list does not end with it, is moved to the end, where every reader looks for it. Returns
// the index in `tasks` of the task that holds the running span, or -1; `changed` gets one flag per task.
std::int32_t SettleOpenSpans(std::vector<Task>& tasks, std::vector<bool>& changed);

// Stands for "whatever task runs" where an operation takes a task id.
inline constexpr std::int32_t kAnyTask = -1;

// Settles the folder and closes the running span at now: whichever task holds it (`id` kAnyTask), or only
// when task `id` holds it, so that a stale view cannot stop a task another program started meanwhile.
// True when every file that had to change was written; `stopped` receives the stopped task, or -1 when
// nothing ran.
bool StopTask(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error = nullptr,
              std::int32_t* stopped = nullptr, const FactsSource& facts = {});
// Settles the folder, closes the running span at now and opens a span of task `id` at the same moment. The
// started task's file is written first: when that fails, nothing has changed. Starting the running task
// closes its span and opens a new one.
bool StartTask(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error = nullptr,
               const FactsSource& facts = {});

// Adds a closed span with the merge rules. While the task runs, a span that begins after its running
// span began would land behind the open span and leave it running for ever, so it is refused.
bool InsertSpan(Task& task, const Interval& span, std::string* error = nullptr);
// The same on the task's file: load, insert, save.
bool InsertSpan(const std::filesystem::path& dataFolder, std::int32_t id, const Interval& span,
                std::string* error = nullptr);

// The task the files show as running: of the tasks whose last span is open, the one whose span started
// last; -1 when none is.
std::int32_t FindRunningTask(const TaskStore& store);

// The id of the first task in store order whose name equals `name` exactly, or -1. `exceptId` is left
// out of the search, so a task being renamed does not clash with itself.
std::int32_t FindTaskByName(const TaskStore& store, const std::string& name, std::int32_t exceptId = -1);

} // namespace kelmora::model
