#include "taskstore.h"

#include "atomicfile.h"
#include "bytestream.h"
#include "datafolder.h"
#include "task.h"
#include "taskfile.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

namespace kelmora::model {

namespace fs = std::filesystem;

namespace {

fs::path IndexPath(const fs::path& dataFolder)
{
    return dataFolder / "idx";
}

} // namespace

std::int32_t ReadNextTaskId(const fs::path& dataFolder)
{
    std::string bytes;
    if (!ReadWholeFile(IndexPath(dataFolder), bytes)) {
        return 0;
    }
    // A short file gives what its bytes say, the missing high bytes being zero.
    bytes.resize(4, '\0');
    ByteReader reader(bytes);
    std::int32_t id = 0;
    reader.ReadI32(id);
    return id;
}

bool WriteNextTaskId(const fs::path& dataFolder, std::int32_t id, std::string* error)
{
    ByteWriter writer;
    writer.WriteI32(id);
    return WriteFileAtomically(IndexPath(dataFolder), writer.Bytes(), error);
}

std::optional<std::int32_t> TaskIdFromFileName(const std::string& fileName)
{
    if (!fileName.ends_with(".tsk")) {
        return std::nullopt;
    }
    const std::string_view digits(fileName.data(), fileName.size() - 4);
    if (digits.empty() || (digits.size() > 1 && digits.front() == '0')) {
        return std::nullopt;
    }
    std::int32_t id = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
    if (ec != std::errc() || end != digits.data() + digits.size() || id < 0) {
        return std::nullopt;
    }
    return id;
}

TaskStore::TaskStore(fs::path dataFolder) : m_dataFolder(std::move(dataFolder)) {}

bool TaskStore::Load(std::string* error)
{
    std::vector<std::int32_t> ids;
    std::error_code ec;
    for (fs::directory_iterator it(m_dataFolder, ec), end; !ec && it != end; it.increment(ec)) {
        if (const auto id = TaskIdFromFileName(it->path().filename().string())) {
            ids.push_back(*id);
        }
    }
    if (ec) {
        if (error != nullptr) {
            *error = m_dataFolder.string() + ": cannot list the folder: " + ec.message();
        }
        return false;
    }
    // Directory order is arbitrary on Linux; ascending ids keep menus stable across restarts.
    std::sort(ids.begin(), ids.end());
    std::lock_guard lock(m_mutex);
    for (const std::int32_t id : ids) {
        if (std::find(m_taskIds.begin(), m_taskIds.end(), id) == m_taskIds.end()) {
            m_taskIds.push_back(id);
        }
    }
    std::sort(m_taskIds.begin(), m_taskIds.end());
    return true;
}

std::int32_t TaskStore::TaskCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<std::int32_t>(m_taskIds.size());
}

std::int32_t TaskStore::TaskIdAt(std::int32_t index) const
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || static_cast<std::size_t>(index) >= m_taskIds.size()) {
        return -1;
    }
    return m_taskIds[static_cast<std::size_t>(index)];
}

std::int32_t TaskStore::IndexOfTask(std::int32_t id) const
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find(m_taskIds.begin(), m_taskIds.end(), id);
    return it == m_taskIds.end() ? -1 : static_cast<std::int32_t>(it - m_taskIds.begin());
}

std::vector<std::int32_t> TaskStore::TaskIds() const
{
    std::lock_guard lock(m_mutex);
    return m_taskIds;
}

std::int32_t TaskStore::CreateTask(const std::string& name, std::string* error)
{
    std::lock_guard lock(m_mutex);
    // "idx" can be missing, damaged or behind the files (copied folders, restored backups). Never hand
    // out an id that would overwrite an existing task.
    std::int64_t candidate = std::max<std::int64_t>(ReadNextTaskId(m_dataFolder), 0);
    if (!m_taskIds.empty()) {
        candidate = std::max<std::int64_t>(candidate, std::int64_t{m_taskIds.back()} + 1);
    }
    while (candidate <= std::numeric_limits<std::int32_t>::max() &&
           FileExists(TaskPath(m_dataFolder, static_cast<std::int32_t>(candidate)))) {
        ++candidate;
    }
    if (candidate > std::numeric_limits<std::int32_t>::max()) {
        if (error != nullptr) {
            *error = "no task id is left";
        }
        return -1;
    }
    Task task;
    task.id = static_cast<std::int32_t>(candidate);
    task.name = name;
    if (!task.Save(m_dataFolder, error)) {
        return -1;
    }
    // Losing "idx" is harmless now that ids are checked against the files, so its failure is not fatal.
    WriteNextTaskId(m_dataFolder, task.id == std::numeric_limits<std::int32_t>::max() ? task.id : task.id + 1);
    m_taskIds.insert(std::upper_bound(m_taskIds.begin(), m_taskIds.end(), task.id), task.id);
    return task.id;
}

bool TaskStore::DeleteTask(std::int32_t id, std::string* error)
{
    if (id < 0) {
        return false;
    }
    std::error_code ec;
    fs::remove(TaskPath(m_dataFolder, id), ec);
    if (ec) {
        if (error != nullptr) {
            *error = TaskPath(m_dataFolder, id).string() + ": cannot delete: " + ec.message();
        }
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (const auto it = std::find(m_taskIds.begin(), m_taskIds.end(), id); it != m_taskIds.end()) {
        m_taskIds.erase(it);
    }
    return true;
}

} // namespace kelmora::model
