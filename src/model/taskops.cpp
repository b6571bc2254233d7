#include "taskops.h"

#include "task.h"
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

std::int32_t FindRunningTask(const TaskStore& store)
{
    std::int32_t running = -1;
    for (const std::int32_t id : store.TaskIds()) {
        Task task;
        task.id = id;
        if (task.Load(store.DataFolder()) && task.intervals.IsRunning()) {
            running = id;
        }
    }
    return running;
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
