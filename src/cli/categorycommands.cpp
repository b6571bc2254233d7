// categories, category-create, category-rename, category-delete, set-category: commands on the
// category catalogue.
#include "clicommon.h"

#include "model/category.h"
#include "model/taskstore.h"

#include <memory>

namespace kelmora::cli {

namespace {

using model::Category;

bool LoadCategory(Session& session, std::int32_t id, Category& category)
{
    std::string error;
    if (!category.SetId(id) || !category.Load(session.store.DataFolder(), &error)) {
        session.err << "Failed to load category with id = " << id << (error.empty() ? "" : ": " + error) << "\n";
        return false;
    }
    return true;
}

bool SaveCategory(Session& session, const Category& category)
{
    std::string error;
    if (!category.Save(session.store.DataFolder(), &error)) {
        session.err << "Failed to save category \"" << category.GetName() << "\": " << error << "\n";
        return false;
    }
    return true;
}

int RunCategories(Session& session)
{
    int status = kExitOk;
    for (const std::int32_t id : session.store.CategoryIds()) {
        Category category;
        if (!LoadCategory(session, id, category)) {
            status = kExitFailed;
            continue;
        }
        session.out << id << '\t' << Field(category.GetName()) << '\t';
        const char* separator = "";
        for (const std::int32_t member : category.TaskIds()) {
            session.out << separator << member;
            separator = ",";
        }
        session.out << '\n';
    }
    return status;
}

int RunCategoryCreate(Session& session, const std::string& name)
{
    std::string error;
    const std::int32_t id = session.store.CreateCategory(name, &error);
    if (id < 0) {
        session.err << "Failed to create category \"" << name << "\"" << (error.empty() ? "" : ": " + error) << "\n";
        return kExitFailed;
    }
    session.out << id << '\n';
    return kExitOk;
}

int RunCategoryRename(Session& session, const std::string& categoryText, const std::string& name)
{
    const std::int32_t id = ResolveCategory(session, categoryText);
    Category category;
    if (id < 0 || !LoadCategory(session, id, category)) {
        return kExitFailed;
    }
    category.SetName(name);
    return SaveCategory(session, category) ? kExitOk : kExitFailed;
}

int RunCategoryDelete(Session& session, const std::string& categoryText, bool withTasks)
{
    const std::int32_t id = ResolveCategory(session, categoryText);
    if (id < 0) {
        return kExitFailed;
    }
    std::string error;
    if (withTasks) {
        Category category;
        if (!LoadCategory(session, id, category)) {
            return kExitFailed;
        }
        // A running member is stopped first, so its time up to now is kept in the file until it goes.
        for (const std::int32_t member : category.TaskIds()) {
            if (!StopRunning(session, member)) {
                return kExitFailed;
            }
        }
        if (!session.store.DeleteTasksOfCategory(id, &error)) {
            session.err << "Failed to delete tasks from category" << (error.empty() ? "" : ": " + error) << "\n";
            return kExitFailed;
        }
    }
    if (!session.store.DeleteCategory(id, &error)) {
        session.err << "Failed to delete category" << (error.empty() ? "" : ": " + error) << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunSetCategory(Session& session, const std::string& taskText, const std::string& categoryText)
{
    std::int32_t taskId = -1;
    if (const int status = ResolveTask(session, taskText, taskId); status != kExitOk) {
        return status;
    }
    std::int32_t newId = -1;
    if (categoryText != "none") {
        newId = ResolveCategory(session, categoryText);
        if (newId < 0) {
            return kExitFailed;
        }
    }
    const std::int32_t oldId = session.store.FindCategoryOfTask(taskId);
    if (oldId == newId) {
        return kExitOk;
    }
    if (oldId >= 0) {
        Category old;
        if (!LoadCategory(session, oldId, old)) {
            return kExitFailed;
        }
        old.RemoveTask(taskId);
        if (!SaveCategory(session, old)) {
            return kExitFailed;
        }
    }
    if (newId >= 0) {
        Category target;
        if (!LoadCategory(session, newId, target)) {
            return kExitFailed;
        }
        target.AddTask(taskId);
        if (!SaveCategory(session, target)) {
            return kExitFailed;
        }
    }
    return kExitOk;
}

struct CategoryArgs
{
    std::string category;
    std::string name;
    std::string task;
    bool withTasks = false;
};

} // namespace

void RegisterCategoryCommands(CommandRegistry& registry)
{
    constexpr bool kNeedsCategories = true;
    CLI::App* list = registry.Add(
        "categories", "List every category with its member tasks.", [](Session& s) { return RunCategories(s); },
        kNeedsCategories);
    list->footer("Prints one line per category in store order: ID, NAME and the member task ids, comma-separated.");

    auto create = std::make_shared<CategoryArgs>();
    CLI::App* createCommand = registry.Add(
        "category-create", "Create a category and print its id.",
        [create](Session& s) { return RunCategoryCreate(s, create->name); }, kNeedsCategories);
    createCommand->add_option("NAME", create->name, "category names need not be unique")->required();

    auto rename = std::make_shared<CategoryArgs>();
    CLI::App* renameCommand = registry.Add(
        "category-rename", "Rename a category.",
        [rename](Session& s) { return RunCategoryRename(s, rename->category, rename->name); }, kNeedsCategories);
    renameCommand->add_option("CATEGORY", rename->category, "a category id")->required()->check(CategoryIdText(false));
    renameCommand->add_option("NAME", rename->name, "the new name")->required();

    auto remove = std::make_shared<CategoryArgs>();
    CLI::App* removeCommand = registry.Add(
        "category-delete", "Delete a category.",
        [remove](Session& s) { return RunCategoryDelete(s, remove->category, remove->withTasks); }, kNeedsCategories);
    removeCommand->add_option("CATEGORY", remove->category, "a category id")->required()->check(CategoryIdText(false));
    removeCommand->add_flag("--with-tasks", remove->withTasks,
                            "delete its tasks too (a running one is stopped first); else they stay, without a "
                            "category");

    auto move = std::make_shared<CategoryArgs>();
    CLI::App* setCommand = registry.Add(
        "set-category", "Move TASK into CATEGORY, or out of any (none).",
        [move](Session& s) { return RunSetCategory(s, move->task, move->category); }, kNeedsCategories);
    setCommand->add_option("TASK", move->task, "id, exact name, id:N or name:TEXT")->required();
    setCommand->add_option("CATEGORY", move->category, "a category id, or none")
        ->required()
        ->check(CategoryIdText(true));
    setCommand->footer("The task leaves the category it was in.");
}

} // namespace kelmora::cli
