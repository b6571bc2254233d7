// tasks, create, start, stop, rename, delete: commands on whole tasks.
#include "clicommon.h"

#include "model/category.h"
#include "model/datafolder.h"
#include "model/taskfile.h"
#include "model/taskops.h"
#include "model/taskstore.h"

#include <filesystem>
#include <map>
#include <memory>

namespace kelmora::cli {

namespace {

using model::Task;

// The rules of the task dialogs: a name must not be empty nor taken by another task.
bool CheckNewName(Session& session, const std::string& name, std::int32_t exceptId)
{
    if (name.empty()) {
        session.err << "Task name can not be empty.\n";
        return false;
    }
    if (model::TaskNamed(Facts(session), name, exceptId) >= 0) {
        session.err << "Task with name \"" << name << "\" already exists.\n";
        return false;
    }
    return true;
}

int RunTasks(Session& session, const std::string& period)
{
    const std::optional<model::Interval> range = PeriodNamed(period);
    // One pass over the catalogue instead of one search per task.
    std::map<std::int32_t, std::string> categoryNames;
    std::map<std::int32_t, std::int32_t> categoryOfTask;
    const auto categories = session.categoriesLoaded ? model::Category::LoadAll(session.store.DataFolder())
                                                     : std::optional<std::vector<model::Category>>();
    const std::vector<model::Category> none;
    for (const model::Category& category : categories ? *categories : none) {
        const std::int32_t categoryId = category.Id();
        categoryNames.emplace(categoryId, category.GetName());
        for (const std::int32_t member : category.TaskIds()) {
            categoryOfTask.emplace(member, categoryId); // the first category listing a task wins
        }
    }
    // A task's file is read only where its facts cannot tell its total: in a period, those whose spans reach
    // into the period from outside it, and the running one.
    int status = kExitOk;
    for (const std::int32_t id : session.store.TaskIds()) {
        const model::TaskFacts* facts = model::FactsOf(Facts(session), id);
        std::optional<model::TimeSpan> total = facts != nullptr ? model::TotalFromFacts(*facts, range) : std::nullopt;
        std::string name = facts != nullptr ? facts->name : std::string();
        bool running = facts != nullptr && facts->lastOpen;
        if (!total) {
            Task task;
            if (!LoadTask(session, id, task)) {
                status = kExitFailed;
                continue;
            }
            total = range ? task.TotalIn(*range) : task.Total();
            name = std::move(task.name);
            running = task.intervals.IsRunning();
        }
        const auto membership = categoryOfTask.find(id);
        const auto category =
            membership != categoryOfTask.end() ? categoryNames.find(membership->second) : categoryNames.end();
        session.out << id << '\t' << Field(name) << '\t' << total->Format() << '\t' << (running ? "running" : "stopped")
                    << '\t' << (category != categoryNames.end() ? Field(category->second) : "(No category)") << '\n';
    }
    return status;
}

int RunCreate(Session& session, const std::string& name)
{
    if (!CheckNewName(session, name, -1)) {
        return kExitFailed;
    }
    std::string error;
    const std::int32_t id = session.store.CreateTask(name, &error);
    if (id < 0) {
        session.err << "The task can not be created: " << error << "\n";
        return kExitFailed;
    }
    session.out << id << '\n';
    return kExitOk;
}

int RunStart(Session& session, const std::string& taskText)
{
    std::int32_t id = -1;
    if (const int status = ResolveTask(session, taskText, id); status != kExitOk) {
        return status;
    }
    // Switching stops whatever runs first, even the task being started: its running span is closed and a
    // new one begins now.
    std::string error;
    if (!model::StartTask(session.store.DataFolder(), id, &error, {session.cacheFolder, &Facts(session)})) {
        session.err << "Task " << id << " can not be started: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunStop(Session& session)
{
    std::string error;
    std::int32_t stopped = -1;
    if (!model::StopTask(session.store.DataFolder(), model::kAnyTask, &error, &stopped,
                         {session.cacheFolder, &Facts(session)})) {
        session.err << "The running task can not be stopped: " << error << "\n";
        return kExitFailed;
    }
    if (stopped < 0) {
        session.err << "No started tasks\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunRename(Session& session, const std::string& taskText, const std::string& name)
{
    std::int32_t id = -1;
    if (const int status = ResolveTask(session, taskText, id); status != kExitOk) {
        return status;
    }
    Task task;
    if (!CheckNewName(session, name, id) || !LoadTask(session, id, task)) {
        return kExitFailed;
    }
    task.name = name;
    return SaveTask(session, task) ? kExitOk : kExitFailed;
}

// Deleting is how a damaged task is cleaned up, so a task that does not load is deleted all the same.
int RunDelete(Session& session, const std::string& taskText)
{
    std::int32_t id = -1;
    if (const int status = ResolveTask(session, taskText, id); status != kExitOk) {
        return status;
    }
    Task task;
    task.id = id;
    std::string damage;
    const bool loaded = task.Load(session.store.DataFolder(), &damage);
    if (loaded && !StopRunning(session, id)) {
        return kExitFailed;
    }
    std::string error;
    const std::filesystem::path path = model::TaskPath(session.store.DataFolder(), id);
    if (!session.store.DeleteTask(id, &error) || model::PathTaken(path)) {
        session.err << "Task " << id << " can not be deleted: " << (error.empty() ? path.string() : error) << "\n";
        return kExitFailed;
    }
    if (!loaded) {
        session.err << "Task " << id << " was damaged (" << damage << "); its file was removed.\n";
    }
    return kExitOk;
}

} // namespace

void RegisterTaskCommands(CommandRegistry& registry)
{
    auto period = std::make_shared<std::string>("all");
    CLI::App* tasks = registry.Add("tasks", "List every task with its time in a period.",
                                   [period](Session& s) { return RunTasks(s, *period); });
    tasks
        ->add_option("--period", *period,
                     "day, week, month, year, yesterday, last-week, last-month, last-year (local calendar) or all (the "
                     "default)")
        ->check(OneOf(PeriodNames(), "period"));
    tasks->footer("Prints one line per task in store order: ID, NAME, DURATION (HH:MM:SS), running or stopped,\n"
                  "and the name of its category or (No category).");

    auto name = std::make_shared<std::string>();
    CLI::App* create =
        registry.Add("create", "Create a task and print its id.", [name](Session& s) { return RunCreate(s, *name); });
    create->add_option("NAME", *name, "the new task's name, not empty and not taken")->required();

    auto task = std::make_shared<std::string>();
    CLI::App* start = registry.Add("start", "Start tracking TASK, stopping the running task first.",
                                   [task](Session& s) { return RunStart(s, *task); });
    start->add_option("TASK", *task, "id, exact name, id:N or name:TEXT")->required();
    start->footer("If TASK is already running, its span is closed and a new one begins now.");

    CLI::App* stop = registry.Add("stop", "Stop the running task.", [](Session& s) { return RunStop(s); });
    stop->footer("Fails with \"No started tasks\" when nothing is running.");

    auto renameTask = std::make_shared<std::string>();
    auto newName = std::make_shared<std::string>();
    CLI::App* rename = registry.Add("rename", "Rename TASK.",
                                    [renameTask, newName](Session& s) { return RunRename(s, *renameTask, *newName); });
    rename->add_option("TASK", *renameTask, "id, exact name, id:N or name:TEXT")->required();
    rename->add_option("NAME", *newName, "the new name, not empty and not taken")->required();

    auto deleteTask = std::make_shared<std::string>();
    CLI::App* remove = registry.Add("delete", "Delete TASK and its file.",
                                    [deleteTask](Session& s) { return RunDelete(s, *deleteTask); });
    remove->add_option("TASK", *deleteTask, "id, exact name, id:N or name:TEXT")->required();
    remove->footer("A running task is stopped first. A damaged task file is removed all the same.");
}

} // namespace kelmora::cli
