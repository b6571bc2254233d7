#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kelmora::model {

// The next task id kept in <dataFolder>/idx; 0 when the file is missing or unreadable.
std::int32_t ReadNextTaskId(const std::filesystem::path& dataFolder);
bool WriteNextTaskId(const std::filesystem::path& dataFolder, std::int32_t id, std::string* error = nullptr);

// The task id a data-folder entry stands for: only "<decimal id>.tsk" with the id written the way the
// program writes it (no sign, no leading zeros) names a task.
std::optional<std::int32_t> TaskIdFromFileName(const std::string& fileName);

// Which tasks exist: ids only, in ascending order. Names and intervals stay in the files.
// The id list is guarded, so background loops may read it while the UI thread creates or deletes tasks.
class TaskStore
{
public:
    explicit TaskStore(std::filesystem::path dataFolder);
    TaskStore(const TaskStore&) = delete;
    TaskStore& operator=(const TaskStore&) = delete;
    virtual ~TaskStore() = default;

    const std::filesystem::path& DataFolder() const { return m_dataFolder; }

    // Lists the task files of the data folder.
    bool Load(std::string* error = nullptr);

    std::int32_t TaskCount() const;
    std::int32_t TaskIdAt(std::int32_t index) const;
    // Position of `id` in the store, or -1.
    std::int32_t IndexOfTask(std::int32_t id) const;
    // A copy of the ids, for walks that must not see the list change under them.
    std::vector<std::int32_t> TaskIds() const;

    // Creates an empty task file under a fresh id and returns the id, or -1 when the file cannot be
    // written. Names are not checked here.
    std::int32_t CreateTask(const std::string& name, std::string* error = nullptr);
    // Removes the task's file and its id. False for a negative id or when the file cannot be removed.
    bool DeleteTask(std::int32_t id, std::string* error = nullptr);

private:
    std::filesystem::path m_dataFolder;
    mutable std::mutex m_mutex;
    std::vector<std::int32_t> m_taskIds;
};

} // namespace kelmora::model
