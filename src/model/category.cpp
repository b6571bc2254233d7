#include "category.h"

#include "folderlock.h"
#include "task.h"
#include "xml.h"

#include <algorithm>
#include <limits>

namespace kelmora::model {

namespace fs = std::filesystem;

namespace {

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

bool LoadCatalog(const fs::path& dataFolder, XmlDocument& document, std::string* error)
{
    const fs::path path = CatalogPath(dataFolder);
    std::string text;
    if (!ReadTextFile(path, text, error)) {
        return false;
    }
    if (!document.Load(text)) {
        SetError(error,
                 path.string() + ": the category file is damaged: " + DescribeXmlError(document.parseState, text));
        return false;
    }
    return true;
}

// The catalogue's `categories` element, or nullptr.
XmlNode* CategoriesOf(XmlDocument& document, const fs::path& dataFolder, std::string* error)
{
    XmlNode* root = document.GetRoot();
    XmlNode* categories = root != nullptr ? root->FindChild("categories") : nullptr;
    if (categories == nullptr) {
        SetError(error,
                 CatalogPath(dataFolder).string() + ": the category file is damaged: the category list is missing");
    }
    return categories;
}

} // namespace

bool SaveCatalog(const fs::path& dataFolder, const XmlDocument& document, std::string* error)
{
    const std::string text = document.GetXml();
    if (text.empty()) {
        SetError(error, "the category file would be empty");
        return false;
    }
    // A hand-edited file can hold elements (control characters in names, say) that cannot be written so
    // that they read back. Writing such a text would lose every category at the next load, so the old
    // file is kept instead.
    // Comparing every value, not just the structure, also catches a name that would come back cut.
    XmlDocument check;
    if (!check.Load(text) || check.GetRoot() == nullptr || check.GetRoot()->FindChild("categories") == nullptr ||
        !SameXmlContent(check, document)) {
        SetError(error, CatalogPath(dataFolder).string() +
                            ": a name or value would not read back as it is (a zero byte, say); the category "
                            "file was left unchanged");
        return false;
    }
    return WriteTextFile(CatalogPath(dataFolder), text, error);
}

namespace {

// Children without an id attribute do not occur in files the program writes; they are skipped.
std::optional<std::int32_t> IdOf(const XmlNode& node)
{
    const auto value = node.GetAttrValue("id");
    if (!value) {
        return std::nullopt;
    }
    return ParseLeadingInt(*value);
}

} // namespace

fs::path CatalogPath(const fs::path& dataFolder)
{
    return dataFolder / "categories.xml";
}

std::int32_t ParseLeadingInt(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n' ||
                               text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), std::int64_t{1} << 32);
    }
    value = negative ? -value : value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// ---- CategoryCatalog ----

bool CategoryCatalog::CreateEmptyCatalog(const fs::path& path, std::string* error)
{
    XmlDocument document;
    document.Load("<xml/>");
    XmlNode* root = document.GetRoot();
    root->AppendChild("categories");
    root->AppendChild("next_id", "1");
    return WriteTextFile(path, document.GetXml(), error);
}

XmlNode* CategoryCatalog::FindCategoryElement(XmlNode& categories, std::int32_t id)
{
    if (id < 0) {
        return nullptr;
    }
    for (const auto& child : categories.children) {
        if (IdOf(*child) == id) {
            return child.get();
        }
    }
    return nullptr;
}

std::int32_t CategoryCatalog::ReadNextCategoryId() const
{
    std::string text;
    if (!ReadTextFile(CatalogPath(m_dataFolder), text)) {
        return 0;
    }
    XmlDocument document;
    if (!document.Load(text)) {
        return 1;
    }
    const XmlNode* root = document.GetRoot();
    const auto value = root != nullptr ? root->GetChildValue("next_id") : std::nullopt;
    return value ? ParseLeadingInt(*value) : 0;
}

bool CategoryCatalog::WriteNextCategoryId(std::int32_t id, std::string* error) const
{
    const FolderLock lock(m_dataFolder);
    if (!lock.Held(error)) {
        return false;
    }
    XmlDocument document;
    if (!LoadCatalog(m_dataFolder, document, error)) {
        return false;
    }
    XmlNode* root = document.GetRoot();
    XmlNode* nextId = root != nullptr ? root->FindChild("next_id") : nullptr;
    if (nextId == nullptr) {
        SetError(error, CatalogPath(m_dataFolder).string() + ": next_id is missing");
        return false;
    }
    nextId->value = std::to_string(id);
    return SaveCatalog(m_dataFolder, document, error);
}

bool CategoryCatalog::RemoveCategory(std::int32_t id, std::string* error) const
{
    if (id < 0) {
        return false;
    }
    const FolderLock lock(m_dataFolder);
    if (!lock.Held(error)) {
        return false;
    }
    XmlDocument document;
    if (!LoadCatalog(m_dataFolder, document, error)) {
        return false;
    }
    XmlNode* categories = CategoriesOf(document, m_dataFolder, error);
    if (categories == nullptr) {
        return false;
    }
    if (XmlNode* element = FindCategoryElement(*categories, id); element != nullptr) {
        categories->RemoveChild(element);
    }
    return SaveCatalog(m_dataFolder, document, error);
}

// ---- Category ----

bool Category::SetId(std::int32_t id)
{
    if (id < 0) {
        return false;
    }
    m_id = id;
    return true;
}

std::string Category::GetName() const
{
    return m_id < 0 ? std::string() : m_name;
}

bool Category::SetName(const std::string& name)
{
    m_name = name;
    return true;
}

bool Category::Load(const fs::path& dataFolder, std::string* error)
{
    if (m_id < 0) {
        return false;
    }
    XmlDocument document;
    if (!LoadCatalog(dataFolder, document, error)) {
        return false;
    }
    XmlNode* categories = CategoriesOf(document, dataFolder, error);
    XmlNode* element = categories != nullptr ? CategoryCatalog::FindCategoryElement(*categories, m_id) : nullptr;
    if (element == nullptr) {
        if (categories != nullptr) {
            SetError(error, "no category with id " + std::to_string(m_id));
        }
        return false;
    }
    TakeElement(*element);
    return true;
}

void Category::TakeElement(const XmlNode& element)
{
    m_name = element.GetAttrValue("name").value_or(std::string());
    m_taskIds.clear();
    for (const auto& child : element.children) {
        if (const auto taskId = IdOf(*child); taskId && *taskId >= 0) {
            m_taskIds.push_back(*taskId);
        }
    }
}

std::optional<std::vector<Category>> Category::LoadAll(const fs::path& dataFolder, std::string* error)
{
    XmlDocument document;
    if (!LoadCatalog(dataFolder, document, error)) {
        return std::nullopt;
    }
    const XmlNode* categories = CategoriesOf(document, dataFolder, error);
    if (categories == nullptr) {
        return std::nullopt;
    }
    std::vector<Category> all;
    all.reserve(categories->children.size());
    for (const auto& child : categories->children) {
        const auto id = IdOf(*child);
        Category category;
        if (id && category.SetId(*id)) {
            category.TakeElement(*child);
            all.push_back(std::move(category));
        }
    }
    return all;
}

bool Category::Save(const fs::path& dataFolder, std::string* error) const
{
    if (m_id < 0) {
        return false;
    }
    if (std::any_of(m_taskIds.begin(), m_taskIds.end(), [](std::int32_t id) { return id < 0; })) {
        SetError(error, "a member task id is negative");
        return false;
    }
    // The catalogue is read again and changed under the lock, so other categories' changes are kept.
    const FolderLock lock(dataFolder);
    if (!lock.Held(error)) {
        return false;
    }
    XmlDocument document;
    if (!LoadCatalog(dataFolder, document, error)) {
        return false;
    }
    XmlNode* categories = CategoriesOf(document, dataFolder, error);
    if (categories == nullptr) {
        return false;
    }
    if (XmlNode* old = CategoryCatalog::FindCategoryElement(*categories, m_id); old != nullptr) {
        categories->RemoveChild(old);
    }
    XmlNode& element = categories->AppendChild("category");
    element.AppendAttr("name", m_name);
    element.AppendAttr("id", std::to_string(m_id));
    for (const std::int32_t taskId : m_taskIds) {
        element.AppendChild("task").AppendAttr("id", std::to_string(taskId));
    }
    return SaveCatalog(dataFolder, document, error);
}

std::int32_t Category::TaskCount() const
{
    return m_id < 0 ? 0 : static_cast<std::int32_t>(m_taskIds.size());
}

std::int32_t Category::TaskIdAt(std::int32_t index) const
{
    if (m_id < 0 || index < 0 || index >= TaskCount()) {
        return -1;
    }
    return m_taskIds[static_cast<std::size_t>(index)];
}

bool Category::HasTask(std::int32_t taskId) const
{
    return m_id >= 0 && std::find(m_taskIds.begin(), m_taskIds.end(), taskId) != m_taskIds.end();
}

bool Category::AddTask(std::int32_t taskId)
{
    if (m_id < 0 || taskId < 0 || HasTask(taskId)) {
        return false;
    }
    m_taskIds.push_back(taskId);
    return true;
}

bool Category::RemoveTask(std::int32_t taskId)
{
    if (m_id < 0 || taskId < 0) {
        return false;
    }
    const auto it = std::find(m_taskIds.begin(), m_taskIds.end(), taskId);
    if (it == m_taskIds.end()) {
        return false;
    }
    m_taskIds.erase(it);
    return true;
}

template <typename Sum> TimeSpan Category::SumMembers(const fs::path& dataFolder, Sum sum) const
{
    TimeSpan total;
    if (m_id < 0) {
        return total;
    }
    for (const std::int32_t taskId : m_taskIds) {
        Task task;
        task.id = taskId;
        if (!task.Load(dataFolder)) {
            return TimeSpan();
        }
        total += sum(task);
    }
    return total;
}

TimeSpan Category::Total(const fs::path& dataFolder) const
{
    return SumMembers(dataFolder, [](const Task& task) { return task.Total(); });
}

TimeSpan Category::TotalIn(const fs::path& dataFolder, const Interval& period) const
{
    return SumMembers(dataFolder, [&period](const Task& task) { return task.TotalIn(period); });
}

} // namespace kelmora::model
