#include "taskops.h"

#include "task.h"
#include "taskfile.h"
#include "taskstore.h"

namespace kelmora::model {

namespace {

template <typename Change>
bool ChangeTask(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error, Change change)
{
    Task task;
    task.id = id;
    if (!task.Load(dataFolder, error)) {
        return false;
    }
    if (!change(task)) {
        if (error != nullptr) {
            *error = "the clock could not be read";
        }
        return false;
    }
    return task.Save(dataFolder, error);
}

} // namespace

bool StopTask(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error)
{
    Task task;
    task.id = id;
    if (!task.Load(dataFolder, error)) {
        return false;
    }
    // Stopping a closed span would move its end to now and add time nobody worked.
    if (!task.intervals.IsRunning()) {
        return true;
    }
    if (!task.Stop()) {
        if (error != nullptr) {
            *error = "the clock could not be read";
        }
        return false;
    }
    return task.Save(dataFolder, error);
}

bool StartTask(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error)
{
    return ChangeTask(dataFolder, id, error, [](Task& task) { return task.Start(); });
}

bool InsertSpan(Task& task, const Interval& span, std::string* error)
{
    if (!span.closed) {
        if (error != nullptr) {
            *error = "only a closed span can be added";
        }
        return false;
    }
    const std::int32_t last = task.intervals.Count() - 1;
    if (task.intervals.IsRunning() && span.start > task.intervals.At(last).start) {
        if (error != nullptr) {
            *error = "the task is running since " + task.intervals.At(last).start.Format() +
                     "; stop it first to add a span that begins later";
        }
        return false;
    }
    return task.intervals.Insert(span);
}

bool InsertSpan(const std::filesystem::path& dataFolder, std::int32_t id, const Interval& span, std::string* error)
{
    Task task;
    task.id = id;
    if (!task.Load(dataFolder, error) || !InsertSpan(task, span, error)) {
        return false;
    }
    return task.Save(dataFolder, error);
}

std::int32_t FindRunningTask(const TaskStore& store)
{
    // Only the last span of each file matters, and the last running task in store order wins.
    const TaskFolderPeek peek(store.DataFolder());
    const std::vector<std::int32_t> ids = store.TaskIds();
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        if (peek.Running(*it).value_or(false)) {
            return *it;
        }
    }
    return -1;
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
