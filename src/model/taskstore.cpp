#include "taskstore.h"

#include "atomicfile.h"
#include "bytestream.h"
#include "category.h"
#include "datafolder.h"
#include "errortext.h"
#include "folderlock.h"
#include "task.h"
#include "taskfile.h"
#include "xml.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <limits>
#include <system_error>

namespace kelmora::model {

namespace fs = std::filesystem;

namespace {

fs::path IndexPath(const fs::path& dataFolder)
{
    return dataFolder / "idx";
}

// The lowest id from `first` on that is neither in `used` nor `taken`; -1 when there is none.
template <typename Taken> std::int32_t LowestFreeId(std::vector<std::int32_t> used, std::int32_t first, Taken taken)
{
    std::sort(used.begin(), used.end());
    for (std::int64_t id = first; id <= std::numeric_limits<std::int32_t>::max(); ++id) {
        const auto candidate = static_cast<std::int32_t>(id);
        if (!std::binary_search(used.begin(), used.end(), candidate) && !taken(candidate)) {
            return candidate;
        }
    }
    return -1;
}

} // namespace

std::int32_t ReadTaskIdFile(const fs::path& file)
{
    std::string bytes;
    if (!ReadWholeFile(file, bytes, nullptr, FileKind{"an index file", 4096})) {
        return 0;
    }
    // A short file gives what its bytes say, the missing high bytes being zero.
    bytes.resize(4, '\0');
    ByteReader reader(bytes);
    std::int32_t id = 0;
    reader.ReadI32(id);
    return id;
}

std::int32_t ReadNextTaskId(const fs::path& dataFolder)
{
    return ReadTaskIdFile(IndexPath(dataFolder));
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
    // Only the canonical form: "-0", "+1" or "00" are not names the program writes.
    if (digits.empty() || (digits.size() > 1 && digits.front() == '0') ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
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
    return LoadTaskIds(error) && LoadCategoryIds(error);
}

bool TaskStore::Reload(std::string* error)
{
    TaskStore fresh(m_dataFolder);
    const bool loaded = fresh.Load(error);
    std::lock_guard lock(m_mutex);
    m_taskIds = std::move(fresh.m_taskIds);
    m_categoryIds = std::move(fresh.m_categoryIds);
    return loaded;
}

bool TaskStore::LoadTaskIds(std::string* error)
{
    const auto ids = ListTaskFiles(m_dataFolder, error);
    if (!ids) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    for (const std::int32_t id : *ids) {
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
    const FolderLock folderLock(m_dataFolder);
    if (!folderLock.Held(error)) {
        return -1;
    }
    std::lock_guard lock(m_mutex);
    // "idx" can be missing, damaged or behind the files (copied folders, restored backups, another program
    // that created a task since this list was read). Never hand out an id that would overwrite a task.
    std::int64_t candidate = std::max<std::int64_t>(ReadNextTaskId(m_dataFolder), 0);
    if (!m_taskIds.empty()) {
        candidate = std::max<std::int64_t>(candidate, std::int64_t{m_taskIds.back()} + 1);
    }
    while (candidate <= std::numeric_limits<std::int32_t>::max() &&
           PathTaken(TaskPath(m_dataFolder, static_cast<std::int32_t>(candidate)))) {
        ++candidate;
    }
    if (candidate > std::numeric_limits<std::int32_t>::max()) {
        // One stray file with the largest id must not block every later creation: take the lowest free
        // id instead. Ids of deleted tasks may come back then, which only matters to nobody.
        candidate =
            LowestFreeId(m_taskIds, 0, [this](std::int32_t id) { return PathTaken(TaskPath(m_dataFolder, id)); });
    }
    if (candidate < 0) {
        SetError(error, "no task id is left");
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
    const FolderLock folderLock(m_dataFolder);
    if (!folderLock.Held(error)) {
        return false;
    }
    // The catalogue first: a task that cannot be taken out of its category stays whole, rather than
    // leaving the category listing a task that is gone.
    if (!RemoveFromCategories(id, error)) {
        return false;
    }
    std::error_code ec;
    fs::remove(TaskPath(m_dataFolder, id), ec);
    if (ec) {
        SetError(error, TaskPath(m_dataFolder, id).string() + ": cannot delete: " + ec.message());
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (const auto it = std::find(m_taskIds.begin(), m_taskIds.end(), id); it != m_taskIds.end()) {
        m_taskIds.erase(it);
    }
    return true;
}

// Edits the member lists in place, so no category moves within the file. A catalogue that is missing or
// does not parse lists nobody that could be taken out of it.
bool TaskStore::RemoveFromCategories(std::int32_t taskId, std::string* error) const
{
    XmlDocument document;
    std::string text;
    if (!ReadTextFile(CatalogPath(m_dataFolder), text) || !document.Load(text) || document.GetRoot() == nullptr) {
        return true;
    }
    XmlNode* categories = document.GetRoot()->FindChild("categories");
    if (categories == nullptr) {
        return true;
    }
    std::vector<std::string> listing;
    for (const auto& category : categories->children) {
        for (std::int32_t i = category->GetChildCount() - 1; i >= 0; --i) {
            const XmlNode* member = category->GetChild(i);
            const auto memberId = member->GetAttrValue("id");
            if (memberId && ParseLeadingInt(*memberId) == taskId) {
                category->RemoveChild(member);
                listing.push_back(category->GetAttrValue("name").value_or(std::string()));
            }
        }
    }
    std::string reason;
    if (listing.empty() || SaveCatalog(m_dataFolder, document, &reason)) {
        return true;
    }
    std::string names;
    for (const std::string& name : listing) {
        names += (names.empty() ? "\"" : ", \"") + name + "\"";
    }
    SetError(error, "the task stays, since it could not be taken out of the category " + names + ": " + reason);
    return false;
}

// ---- categories ----

bool TaskStore::LoadCategoryIds(std::string* error, bool createMissing)
{
    const fs::path path = CatalogPath(m_dataFolder);
    if (!PathTaken(path)) {
        return !createMissing || CategoryCatalog::CreateEmptyCatalog(path, error);
    }
    std::string text;
    if (!ReadTextFile(path, text, error)) {
        return false;
    }
    XmlDocument document;
    const XmlNode* categories = nullptr;
    const bool parsed = document.Load(text).has_value();
    if (parsed && document.GetRoot() != nullptr) {
        categories = document.GetRoot()->FindChild("categories");
    }
    if (categories == nullptr) {
        if (error != nullptr) {
            *error =
                path.string() + ": the category file is damaged: " +
                (parsed ? std::string("the category list is missing") : DescribeXmlError(document.parseState, text));
        }
        return false;
    }
    std::lock_guard lock(m_mutex);
    for (const auto& child : categories->children) {
        if (const auto id = child->GetAttrValue("id")) {
            m_categoryIds.push_back(ParseLeadingInt(*id));
        }
    }
    return true;
}

std::int32_t TaskStore::CategoryCount() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<std::int32_t>(m_categoryIds.size());
}

std::int32_t TaskStore::CategoryIdAt(std::int32_t index) const
{
    std::lock_guard lock(m_mutex);
    if (index < 0 || static_cast<std::size_t>(index) >= m_categoryIds.size()) {
        return -1;
    }
    return m_categoryIds[static_cast<std::size_t>(index)];
}

std::vector<std::int32_t> TaskStore::CategoryIds() const
{
    std::lock_guard lock(m_mutex);
    return m_categoryIds;
}

std::int32_t TaskStore::CreateCategory(const std::string& name, std::string* error)
{
    const FolderLock folderLock(m_dataFolder);
    if (!folderLock.Held(error)) {
        return -1;
    }
    const CategoryCatalog catalog(m_dataFolder);
    // A next_id behind the ids in use would hand out an id whose category the save then replaces.
    std::int64_t id = std::max<std::int64_t>(catalog.ReadNextCategoryId(), 1);
    for (const std::int32_t existing : CategoryIds()) {
        id = std::max<std::int64_t>(id, std::int64_t{existing} + 1);
    }
    if (id > std::numeric_limits<std::int32_t>::max()) {
        id = LowestFreeId(CategoryIds(), 1, [](std::int32_t) { return false; });
    }
    if (id < 0) {
        if (error != nullptr) {
            *error = "no category id is left";
        }
        return -1;
    }
    catalog.WriteNextCategoryId(static_cast<std::int32_t>(std::min<std::int64_t>(id + 1, INT32_MAX)));
    Category category;
    category.SetId(static_cast<std::int32_t>(id));
    category.SetName(name);
    if (!category.Save(m_dataFolder, error)) {
        return -1;
    }
    std::lock_guard lock(m_mutex);
    m_categoryIds.push_back(category.Id());
    return category.Id();
}

bool TaskStore::DeleteCategory(std::int32_t id, std::string* error)
{
    const FolderLock folderLock(m_dataFolder);
    if (!folderLock.Held(error)) {
        return false;
    }
    if (id < 0 || !CategoryCatalog(m_dataFolder).RemoveCategory(id, error)) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (const auto it = std::find(m_categoryIds.begin(), m_categoryIds.end(), id); it != m_categoryIds.end()) {
        m_categoryIds.erase(it);
    }
    return true;
}

std::int32_t TaskStore::FindCategoryOfTask(std::int32_t taskId) const
{
    if (taskId < 0) {
        return -1;
    }
    // One read of the catalogue, searched in store order.
    const auto all = Category::LoadAll(m_dataFolder);
    for (const std::int32_t id : all ? CategoryIds() : std::vector<std::int32_t>()) {
        const auto it = std::find_if(all->begin(), all->end(), [id](const Category& c) { return c.Id() == id; });
        if (it != all->end() && it->HasTask(taskId)) {
            return id;
        }
    }
    return -1;
}

bool TaskStore::DeleteTasksOfCategory(std::int32_t categoryId, std::string* error)
{
    const FolderLock folderLock(m_dataFolder);
    if (!folderLock.Held(error)) {
        return false;
    }
    Category category;
    if (!category.SetId(categoryId) || !category.Load(m_dataFolder, error)) {
        return false;
    }
    for (const std::int32_t taskId : category.TaskIds()) {
        if (!DeleteTask(taskId, error)) {
            return false;
        }
    }
    return true;
}

} // namespace kelmora::model
