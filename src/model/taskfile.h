#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kelmora::model {

class Task;

// One interval record: closed flag (1 byte), start and stop (8 bytes each).
inline constexpr std::size_t kIntervalRecordSize = 17;
// Longest name a task file may hold. Anything longer is treated as damage, so a corrupt length can
// never make a load reserve gigabytes.
inline constexpr std::uint32_t kMaxNameBytes = 1u << 20;

// <dataFolder>/<id>.tsk
std::filesystem::path TaskPath(const std::filesystem::path& dataFolder, std::int32_t id);

// The task file's bytes: name length, name, interval count, interval records, little-endian.
std::string EncodeTask(const Task& task);
// Fills name and intervals from a task file's bytes. On failure the task may hold what was read so
// far and `error` says what is wrong.
bool DecodeTask(std::string_view bytes, Task& task, std::string* error = nullptr);

// Whether task files' last spans are open, reading only the bytes that tell: status bars ask this of
// every task each second, so the folder is opened once and each file costs four system calls.
class TaskFolderPeek
{
public:
    explicit TaskFolderPeek(const std::filesystem::path& dataFolder);
    TaskFolderPeek(const TaskFolderPeek&) = delete;
    TaskFolderPeek& operator=(const TaskFolderPeek&) = delete;
    ~TaskFolderPeek();

    // Nullopt when the file cannot be read or a full load would refuse it.
    std::optional<bool> Running(std::int32_t id) const;
    // The open data folder, for looking at its files by name; negative when it cannot be opened.
    int Folder() const { return m_folder; }

private:
    int m_folder;
};

} // namespace kelmora::model
