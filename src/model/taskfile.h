#pragma once

#include "task.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelmora::model {

// One interval record: closed flag (1 byte), start and stop (8 bytes each).
inline constexpr std::size_t kIntervalRecordSize = 17;
// Longest name a task file may hold. Anything longer is treated as damage, so a corrupt length can
// never make a load reserve gigabytes.
inline constexpr std::uint32_t kMaxNameBytes = 1u << 20;

// <dataFolder>/<id>.tsk
std::filesystem::path TaskPath(const std::filesystem::path& dataFolder, std::int32_t id);

// Lists the task files of the data folder ("<id>.tsk", see TaskIdFromFileName), in ascending id order.
std::optional<std::vector<std::int32_t>> ListTaskFiles(const std::filesystem::path& dataFolder,
                                                       std::string* error = nullptr);

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
    // The task's last span; a closed, empty one for a task without spans.
    std::optional<Interval> LastSpan(std::int32_t id) const;
    // A task's name (as a full load gives it) and last span, none for a task without spans: for menus that
    // list every task without reading every span of it.
    struct Glance
    {
        std::string name;
        std::optional<Interval> last;
    };
    std::optional<Glance> GlanceAt(std::int32_t id) const;
    // The open data folder, for looking at its files by name; negative when it cannot be opened.
    int Folder() const { return m_folder; }

private:
    std::optional<Interval> Peek(std::int32_t id, std::string* name, bool* hasSpans) const;

    int m_folder;
};

} // namespace kelmora::model
