#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kelmora::model {

class TaskStore;

// The tracking rules every front end follows. Each loads the task, changes it and saves it at once.

// Closes the task's running span at now. A task whose last span is already closed (stopped by another
// program meanwhile) is left as it is: nothing is written and the result is true, since it no longer runs.
bool StopTask(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error = nullptr);
// Opens a new span that starts now.
bool StartTask(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error = nullptr);

class Task;
class Interval;

// Adds a closed span with the merge rules. While the task runs, a span that begins after its running
// span began would land behind the open span and leave it running for ever, so it is refused.
bool InsertSpan(Task& task, const Interval& span, std::string* error = nullptr);
// The same on the task's file: load, insert, save.
bool InsertSpan(const std::filesystem::path& dataFolder, std::int32_t id, const Interval& span,
                std::string* error = nullptr);

// The task the files show as running: the last one in store order whose last interval is open, or -1.
std::int32_t FindRunningTask(const TaskStore& store);

// The id of the first task in store order whose name equals `name` exactly, or -1. `exceptId` is left
// out of the search, so a task being renamed does not clash with itself.
std::int32_t FindTaskByName(const TaskStore& store, const std::string& name, std::int32_t exceptId = -1);

} // namespace kelmora::model
