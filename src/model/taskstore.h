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
// The same from a file of idx's form anywhere (a sync tool's copy of it, say).
std::int32_t ReadTaskIdFile(const std::filesystem::path& file);
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

    // Lists the task files of the data folder, then the categories of "categories.xml", creating that
    // file when it is missing.
    // Every change below holds the folder's lock (FolderLock) for its read-change-write.
    bool Load(std::string* error = nullptr);
    // Reads the folder afresh and takes the new lists in one step, dropping what is gone. The object stays the
    // same, so background loops that hold it keep a valid store and see the old lists or the new, never a mix.
    bool Reload(std::string* error = nullptr);
    // The task half of Load, for callers that can do without categories when their file is damaged.
    bool LoadTaskIds(std::string* error = nullptr);

    std::int32_t TaskCount() const;
    std::int32_t TaskIdAt(std::int32_t index) const;
    // Position of `id` in the store, or -1.
    std::int32_t IndexOfTask(std::int32_t id) const;
    // A copy of the ids, for walks that must not see the list change under them.
    std::vector<std::int32_t> TaskIds() const;

    // Creates an empty task file under a fresh id and returns the id, or -1 when the file cannot be
    // written. Names are not checked here.
    std::int32_t CreateTask(const std::string& name, std::string* error = nullptr);
    // Takes the task out of every category that lists it, then removes its file and its id. False for a
    // negative id, or when the catalogue or the file cannot be changed; the task then stays.
    bool DeleteTask(std::int32_t id, std::string* error = nullptr);

    // ---- categories ----
    // A missing catalogue is created when `createMissing` is set, and else lists no category.
    bool LoadCategoryIds(std::string* error = nullptr, bool createMissing = true);
    std::int32_t CategoryCount() const;
    std::int32_t CategoryIdAt(std::int32_t index) const;
    std::vector<std::int32_t> CategoryIds() const;
    // Creates a category under a fresh id and returns the id, or -1. Names are not checked here.
    std::int32_t CreateCategory(const std::string& name, std::string* error = nullptr);
    bool DeleteCategory(std::int32_t id, std::string* error = nullptr);
    // The first category, in store order, that lists the task; -1 when none does.
    std::int32_t FindCategoryOfTask(std::int32_t taskId) const;
    // Deletes every member task of the category (each as DeleteTask). False at the first that fails.
    bool DeleteTasksOfCategory(std::int32_t categoryId, std::string* error = nullptr);

private:
    bool RemoveFromCategories(std::int32_t taskId, std::string* error) const;

    std::filesystem::path m_dataFolder;
    mutable std::mutex m_mutex;
    std::vector<std::int32_t> m_taskIds;
    std::vector<std::int32_t> m_categoryIds;
};

} // namespace kelmora::model
