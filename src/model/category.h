#pragma once

#include "timestamp.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kelmora::model {

class Interval;
class XmlNode;

class XmlDocument;

// <dataFolder>/categories.xml
std::filesystem::path CatalogPath(const std::filesystem::path& dataFolder);

// Writes the catalogue document, but only when its text reads back as a catalogue; otherwise the file is
// left as it was and false returned.
bool SaveCatalog(const std::filesystem::path& dataFolder, const XmlDocument& document, std::string* error = nullptr);

// The leading decimal number of a stored text: blanks skipped, optional sign, digits up to the first
// non-digit; 0 without digits. Values beyond 32 bits are clamped rather than wrapped.
std::int32_t ParseLeadingInt(const std::string& text);

// File-level operations on "categories.xml". Every operation reads the whole file and, when it
// changes something, writes it back whole at once.
class CategoryCatalog
{
public:
    explicit CategoryCatalog(std::filesystem::path dataFolder) : m_dataFolder(std::move(dataFolder)) {}

    // Writes a catalogue without categories whose next id is 1.
    static bool CreateEmptyCatalog(const std::filesystem::path& path, std::string* error = nullptr);
    // The first child of `categories` whose id attribute equals `id`; nullptr for a negative id or none.
    static XmlNode* FindCategoryElement(XmlNode& categories, std::int32_t id);

    // 0 when the file cannot be read, 1 when it cannot be parsed, else what next_id says (0 when absent).
    std::int32_t ReadNextCategoryId() const;
    bool WriteNextCategoryId(std::int32_t id, std::string* error = nullptr) const;
    // Removes the category's element; a category that is not in the file still rewrites it and succeeds.
    bool RemoveCategory(std::int32_t id, std::string* error = nullptr) const;

    const std::filesystem::path& DataFolder() const { return m_dataFolder; }

private:
    std::filesystem::path m_dataFolder;
};

// A named group of tasks. Membership lives here only; a task knows nothing of its category.
class Category
{
public:
    Category() = default;
    Category(const Category&) = default;
    Category& operator=(const Category&) = default;
    virtual ~Category() = default;

    std::int32_t Id() const { return m_id; }
    bool SetId(std::int32_t id);
    std::string GetName() const;
    bool SetName(const std::string& name);

    bool Load(const std::filesystem::path& dataFolder, std::string* error = nullptr);
    // Every category of the catalogue in file order, from one read of it: loading them one by one reads
    // the whole catalogue each time. Nullopt, with `error` set, when the catalogue cannot be read.
    static std::optional<std::vector<Category>> LoadAll(const std::filesystem::path& dataFolder,
                                                        std::string* error = nullptr);
    // Rewrites the category's element at the end of the catalogue.
    bool Save(const std::filesystem::path& dataFolder, std::string* error = nullptr) const;

    std::int32_t TaskCount() const;
    std::int32_t TaskIdAt(std::int32_t index) const;
    const std::vector<std::int32_t>& TaskIds() const { return m_taskIds; }
    bool HasTask(std::int32_t taskId) const;
    bool AddTask(std::int32_t taskId);
    bool RemoveTask(std::int32_t taskId);

    // Sums of the member tasks; zero when any member cannot be read.
    TimeSpan Total(const std::filesystem::path& dataFolder) const;
    TimeSpan TotalIn(const std::filesystem::path& dataFolder, const Interval& period) const;

private:
    void TakeElement(const XmlNode& element);
    template <typename Sum> TimeSpan SumMembers(const std::filesystem::path& dataFolder, Sum sum) const;

    std::int32_t m_id = -1;
    std::string m_name;
    std::vector<std::int32_t> m_taskIds;
};

} // namespace kelmora::model
