#include "cli.h"

#include "model/category.h"
#include "model/datafolder.h"
#include "model/task.h"
#include "model/taskops.h"
#include "model/taskstore.h"
#include "model/timelog.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <span>

namespace kelmora::cli {

namespace {

namespace fs = std::filesystem;
using model::Interval;
using model::Task;
using model::TaskStore;
using model::TimeStamp;

constexpr const char* kTimeFormatHint = "YYYY-MM-DD HH:MM:SS";

// Raised inside a command for a usage error; caught in RunCli. Never crosses the module boundary.
struct UsageError
{
    std::string message;
};

struct Session
{
    TaskStore& store;
    std::ostream& out;
    std::ostream& err;
};

struct Command
{
    const char* name;
    const char* usage;
    const char* summary;
    const char* details;
    std::size_t minArgs;
    std::size_t maxArgs;
    std::function<int(Session&, const std::vector<std::string>&)> run;
};

// A name is printed as one field of a tab-separated record, so its own tabs and line breaks become blanks.
std::string Field(std::string text)
{
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

std::optional<std::int32_t> ParseId(const std::string& text)
{
    std::int32_t id = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (ec != std::errc() || end != text.data() + text.size() || id < 0 || text.empty() ||
        (text.size() > 1 && text.front() == '0')) {
        return std::nullopt;
    }
    return id;
}

// "YYYY-MM-DD HH:MM:SS" in local time.
std::optional<TimeStamp> ParseLocalTime(const std::string& text)
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    char tail = 0;
    if (text.size() != 19 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                                         &second, &tail) != 6) {
        return std::nullopt;
    }
    TimeStamp stamp;
    if (!stamp.SetLocal(year, month, day, hour, minute, second, 0)) {
        return std::nullopt;
    }
    return stamp;
}

TimeStamp RequireTime(const std::string& text)
{
    const auto stamp = ParseLocalTime(text);
    if (!stamp) {
        throw UsageError{"Invalid time \"" + text + "\": expected a valid local time as " + kTimeFormatHint + "."};
    }
    return *stamp;
}

// TASK on the command line: an id of an existing task, else an exact task name.
std::int32_t ResolveTask(Session& session, const std::string& text)
{
    if (const auto id = ParseId(text); id && session.store.IndexOfTask(*id) >= 0) {
        return *id;
    }
    const std::int32_t byName = model::FindTaskByName(session.store, text);
    if (byName < 0) {
        session.err << "No task with the id or name \"" << text << "\".\n";
    }
    return byName;
}

bool LoadTask(Session& session, std::int32_t id, Task& task)
{
    task.id = id;
    std::string error;
    if (!task.Load(session.store.DataFolder(), &error)) {
        session.err << "Task " << id << " can not be read: " << error << "\n";
        return false;
    }
    return true;
}

bool SaveTask(Session& session, const Task& task)
{
    std::string error;
    if (!task.Save(session.store.DataFolder(), &error)) {
        session.err << "Task " << task.id << " can not be saved: " << error << "\n";
        return false;
    }
    return true;
}

// The rules of the task dialogs: a name must not be empty nor taken by another task.
bool CheckNewName(Session& session, const std::string& name, std::int32_t exceptId)
{
    if (name.empty()) {
        session.err << "Task name can not be empty.\n";
        return false;
    }
    if (model::FindTaskByName(session.store, name, exceptId) >= 0) {
        session.err << "Task with name \"" << name << "\" already exists.\n";
        return false;
    }
    return true;
}

bool StopRunning(Session& session, std::int32_t id)
{
    std::string error;
    if (!model::StopTask(session.store.DataFolder(), id, &error)) {
        session.err << "Task " << id << " can not be stopped: " << error << "\n";
        return false;
    }
    return true;
}

// "--period X" / "--period=X" and, for commands that take it, "--format X" / "--format=X".
struct ListOptions
{
    std::string period = "all";
    std::string format = "tsv";
};

ListOptions ParseListOptions(const std::vector<std::string>& args, bool allowFormat)
{
    ListOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string* target = nullptr;
        std::string value;
        for (const auto& [name, field] : {std::pair<const char*, std::string*>{"--period", &options.period},
                                          std::pair<const char*, std::string*>{"--format", &options.format}}) {
            const std::string flag = name;
            if (flag == "--format" && !allowFormat) {
                continue;
            }
            if (args[i] == flag && i + 1 < args.size()) {
                target = field;
                value = args[++i];
            } else if (args[i].starts_with(flag + "=")) {
                target = field;
                value = args[i].substr(flag.size() + 1);
            }
        }
        if (target == nullptr) {
            throw UsageError{"Unexpected argument \"" + args[i] + "\"."};
        }
        *target = value;
    }
    if (options.format != "tsv" && options.format != "html") {
        throw UsageError{"Unknown format \"" + options.format + "\": use tsv or html."};
    }
    return options;
}

// The calendar period by its command-line name; nullopt for "all".
std::optional<Interval> PeriodNamed(const std::string& period)
{
    static const std::vector<std::string> kNames = {"day", "week", "month", "year"};
    if (period == "all") {
        return std::nullopt;
    }
    const auto it = std::find(kNames.begin(), kNames.end(), period);
    if (it == kNames.end()) {
        throw UsageError{"Unknown period \"" + period + "\": use day, week, month, year or all."};
    }
    Interval range;
    range.SetCalendarPeriod(static_cast<int>(it - kNames.begin()));
    return range;
}

int RunTasks(Session& session, const std::vector<std::string>& args)
{
    const std::optional<Interval> range = PeriodNamed(ParseListOptions(args, false).period);
    // One pass over the catalogue instead of one search per task.
    std::map<std::int32_t, std::string> categoryNames;
    std::map<std::int32_t, std::int32_t> categoryOfTask;
    for (const std::int32_t categoryId : session.store.CategoryIds()) {
        model::Category category;
        if (!category.SetId(categoryId) || !category.Load(session.store.DataFolder())) {
            continue;
        }
        categoryNames.emplace(categoryId, category.GetName());
        for (const std::int32_t member : category.TaskIds()) {
            categoryOfTask.emplace(member, categoryId); // the first category listing a task wins
        }
    }
    int status = kExitOk;
    for (const std::int32_t id : session.store.TaskIds()) {
        Task task;
        if (!LoadTask(session, id, task)) {
            status = kExitFailed;
            continue;
        }
        const model::TimeSpan total = range ? task.TotalIn(*range) : task.Total();
        const auto membership = categoryOfTask.find(id);
        const auto category =
            membership != categoryOfTask.end() ? categoryNames.find(membership->second) : categoryNames.end();
        session.out << id << '\t' << Field(task.name) << '\t' << total.Format() << '\t'
                    << (task.intervals.IsRunning() ? "running" : "stopped") << '\t'
                    << (category != categoryNames.end() ? Field(category->second) : "(No category)") << '\n';
    }
    return status;
}

int RunLog(Session& session, const std::vector<std::string>& args)
{
    const ListOptions options = ParseListOptions(args, true);
    const std::optional<Interval> range = PeriodNamed(options.period);
    model::TimeLog log;
    const bool complete = range ? log.BuildForPeriod(session.store, *range) : log.BuildAll(session.store);
    session.out << (options.format == "html" ? log.ToHtmlTable() + "\n" : log.ToTabText());
    for (const std::int32_t id : log.SkippedTaskIds()) {
        session.err << "Task " << id << " can not be read; its time is missing from the log.\n";
    }
    return complete ? kExitOk : kExitFailed;
}

int RunCreate(Session& session, const std::vector<std::string>& args)
{
    const std::string& name = args[0];
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

int RunStart(Session& session, const std::vector<std::string>& args)
{
    const std::int32_t id = ResolveTask(session, args[0]);
    if (id < 0) {
        return kExitFailed;
    }
    // Switching stops the current task first, even when it is the one being started: its running span
    // is closed and a new one begins now.
    const std::int32_t current = model::FindRunningTask(session.store);
    if (current >= 0 && !StopRunning(session, current)) {
        return kExitFailed;
    }
    std::string error;
    if (!model::StartTask(session.store.DataFolder(), id, &error)) {
        session.err << "Task " << id << " can not be started: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunStop(Session& session, const std::vector<std::string>&)
{
    const std::int32_t current = model::FindRunningTask(session.store);
    if (current < 0) {
        session.err << "No started tasks\n";
        return kExitFailed;
    }
    return StopRunning(session, current) ? kExitOk : kExitFailed;
}

int RunAdd(Session& session, const std::vector<std::string>& args)
{
    const TimeStamp start = RequireTime(args[1]);
    const TimeStamp stop = RequireTime(args[2]);
    const std::int32_t id = ResolveTask(session, args[0]);
    if (id < 0) {
        return kExitFailed;
    }
    if (stop < start) {
        session.err << "The end " << args[2] << " lies before the start " << args[1]
                    << "; an interval can not run backwards.\n";
        return kExitFailed;
    }
    Task task;
    if (!LoadTask(session, id, task)) {
        return kExitFailed;
    }
    task.intervals.Insert(Interval(start, stop, true));
    return SaveTask(session, task) ? kExitOk : kExitFailed;
}

int RunIntervals(Session& session, const std::vector<std::string>& args)
{
    const std::int32_t id = ResolveTask(session, args[0]);
    Task task;
    if (id < 0 || !LoadTask(session, id, task)) {
        return kExitFailed;
    }
    for (const Interval& interval : task.intervals) {
        const TimeStamp stop = interval.EffectiveStop();
        session.out << interval.start.Format() << '\t' << stop.Format() << '\t' << (stop - interval.start).Format()
                    << '\t' << (interval.closed ? "closed" : "open") << '\n';
    }
    return kExitOk;
}

int RunRename(Session& session, const std::vector<std::string>& args)
{
    const std::int32_t id = ResolveTask(session, args[0]);
    if (id < 0 || !CheckNewName(session, args[1], id)) {
        return kExitFailed;
    }
    Task task;
    if (!LoadTask(session, id, task)) {
        return kExitFailed;
    }
    task.name = args[1];
    return SaveTask(session, task) ? kExitOk : kExitFailed;
}

int RunDelete(Session& session, const std::vector<std::string>& args)
{
    const std::int32_t id = ResolveTask(session, args[0]);
    if (id < 0) {
        return kExitFailed;
    }
    Task task;
    if (LoadTask(session, id, task) && task.intervals.IsRunning() && !StopRunning(session, id)) {
        return kExitFailed;
    }
    std::string error;
    if (!session.store.DeleteTask(id, &error)) {
        session.err << "Task " << id << " can not be deleted: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

// CATEGORY on the command line: the id of an existing category.
std::int32_t ResolveCategory(Session& session, const std::string& text)
{
    const auto id = ParseId(text);
    if (!id) {
        throw UsageError{"Invalid category id \"" + text + "\"."};
    }
    const std::vector<std::int32_t> ids = session.store.CategoryIds();
    if (std::find(ids.begin(), ids.end(), *id) == ids.end()) {
        session.err << "No category with the id " << *id << ".\n";
        return -1;
    }
    return *id;
}

bool LoadCategory(Session& session, std::int32_t id, model::Category& category)
{
    std::string error;
    if (!category.SetId(id) || !category.Load(session.store.DataFolder(), &error)) {
        session.err << "Failed to load category with id = " << id << (error.empty() ? "" : ": " + error) << "\n";
        return false;
    }
    return true;
}

int RunCategories(Session& session, const std::vector<std::string>&)
{
    int status = kExitOk;
    for (const std::int32_t id : session.store.CategoryIds()) {
        model::Category category;
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

int RunCategoryCreate(Session& session, const std::vector<std::string>& args)
{
    std::string error;
    const std::int32_t id = session.store.CreateCategory(args[0], &error);
    if (id < 0) {
        session.err << "Failed to create category \"" << args[0] << "\"" << (error.empty() ? "" : ": " + error) << "\n";
        return kExitFailed;
    }
    session.out << id << '\n';
    return kExitOk;
}

int RunCategoryRename(Session& session, const std::vector<std::string>& args)
{
    const std::int32_t id = ResolveCategory(session, args[0]);
    model::Category category;
    if (id < 0 || !LoadCategory(session, id, category)) {
        return kExitFailed;
    }
    category.SetName(args[1]);
    std::string error;
    if (!category.Save(session.store.DataFolder(), &error)) {
        session.err << "Failed to save category \"" << args[1] << "\": " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunCategoryDelete(Session& session, const std::vector<std::string>& args)
{
    bool withTasks = false;
    std::vector<std::string> rest;
    for (const std::string& arg : args) {
        if (arg == "--with-tasks") {
            withTasks = true;
        } else {
            rest.push_back(arg);
        }
    }
    if (rest.size() != 1) {
        throw UsageError{"Expected one CATEGORY."};
    }
    const std::int32_t id = ResolveCategory(session, rest[0]);
    if (id < 0) {
        return kExitFailed;
    }
    std::string error;
    if (withTasks) {
        model::Category category;
        if (!LoadCategory(session, id, category)) {
            return kExitFailed;
        }
        // A running member is stopped first, so its time up to now is kept in the file until it goes.
        for (const std::int32_t member : category.TaskIds()) {
            Task task;
            task.id = member;
            if (task.Load(session.store.DataFolder()) && task.intervals.IsRunning() && !StopRunning(session, member)) {
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

int RunSetCategory(Session& session, const std::vector<std::string>& args)
{
    const std::int32_t taskId = ResolveTask(session, args[0]);
    if (taskId < 0) {
        return kExitFailed;
    }
    std::int32_t newId = -1;
    if (args[1] != "none") {
        newId = ResolveCategory(session, args[1]);
        if (newId < 0) {
            return kExitFailed;
        }
    }
    const std::int32_t oldId = session.store.FindCategoryOfTask(taskId);
    if (oldId == newId) {
        return kExitOk;
    }
    std::string error;
    if (oldId >= 0) {
        model::Category old;
        if (!LoadCategory(session, oldId, old)) {
            return kExitFailed;
        }
        old.RemoveTask(taskId);
        if (!old.Save(session.store.DataFolder(), &error)) {
            session.err << "Failed to save category \"" << old.GetName() << "\": " << error << "\n";
            return kExitFailed;
        }
    }
    if (newId >= 0) {
        model::Category target;
        if (!LoadCategory(session, newId, target)) {
            return kExitFailed;
        }
        target.AddTask(taskId);
        if (!target.Save(session.store.DataFolder(), &error)) {
            session.err << "Failed to save category \"" << target.GetName() << "\": " << error << "\n";
            return kExitFailed;
        }
    }
    return kExitOk;
}

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"tasks", "tasks [--period day|week|month|year|all]", "List every task with its time in a period.",
         "Prints one line per task in store order: ID, NAME, DURATION (HH:MM:SS), running or stopped, and\n"
         "the name of its category or (No category).\n"
         "DURATION is the time tracked in this day, week, month or year (local calendar), or in all time\n"
         "(the default).",
         0, 2, RunTasks},
        {"log", "log [--period day|week|month|year|all] [--format tsv|html]", "Print the time log, newest span first.",
         "tsv (the default) prints one line per span: NAME, DURATION, START and STOP, each line ending in\n"
         "CR LF; html prints the same as an HTML table. A span that overlaps the period is shown whole.",
         0, 4, RunLog},
        {"create", "create NAME", "Create a task and print its id.",
         "Refuses an empty name and a name another task already has.", 1, 1, RunCreate},
        {"start", "start TASK", "Start tracking TASK, stopping the running task first.",
         "If TASK is already running, its span is closed and a new one begins now.", 1, 1, RunStart},
        {"stop", "stop", "Stop the running task.", "Fails with \"No started tasks\" when nothing is running.", 0, 0,
         RunStop},
        {"add", "add TASK START END", "Add a closed interval to TASK.",
         "START and END are local times as YYYY-MM-DD HH:MM:SS. The interval is placed in start order;\n"
         "intervals it overlaps are merged into it. Refuses an END before START.",
         3, 3, RunAdd},
        {"intervals", "intervals TASK", "List the intervals of TASK.",
         "Prints one line per interval in list order: START, END, DURATION and closed or open.\n"
         "The END of an open interval is now.",
         1, 1, RunIntervals},
        {"rename", "rename TASK NAME", "Rename TASK.", "Refuses an empty name and a name another task already has.", 2,
         2, RunRename},
        {"delete", "delete TASK", "Delete TASK and its file.", "A running task is stopped first.", 1, 1, RunDelete},
        {"categories", "categories", "List every category with its member tasks.",
         "Prints one line per category in store order: ID, NAME and the member task ids, comma-separated.", 0, 0,
         RunCategories},
        {"category-create", "category-create NAME", "Create a category and print its id.",
         "Category names need not be unique.", 1, 1, RunCategoryCreate},
        {"category-rename", "category-rename CATEGORY NAME", "Rename a category.", "CATEGORY is a category id.", 2, 2,
         RunCategoryRename},
        {"category-delete", "category-delete CATEGORY [--with-tasks]", "Delete a category.",
         "Its tasks stay, without a category, unless --with-tasks is given: then they are deleted too\n"
         "(a running one is stopped first).",
         1, 2, RunCategoryDelete},
        {"set-category", "set-category TASK CATEGORY|none", "Move TASK into CATEGORY, or out of any.",
         "The task leaves the category it was in.", 2, 2, RunSetCategory},
    };
    return commands;
}

void PrintUsage(std::ostream& stream)
{
    stream << "Usage: kelmora-cli [--data-dir DIR] COMMAND [ARGS...]\n"
              "\n"
              "Works on Kelmora's time-tracking data without a display.\n"
              "\n"
              "Commands:\n";
    for (const Command& command : Commands()) {
        constexpr std::size_t kColumn = 42;
        const std::string usage = command.usage;
        if (usage.size() + 2 > kColumn) {
            stream << "  " << usage << "\n" << std::string(kColumn + 2, ' ') << command.summary << "\n";
        } else {
            stream << "  " << usage << std::string(kColumn - usage.size(), ' ') << command.summary << "\n";
        }
    }
    stream << "\n"
              "TASK is a task id or an exact task name; CATEGORY is a category id.\n"
              "Times are local, as YYYY-MM-DD HH:MM:SS.\n"
              "Output is tab-separated, one record per line; messages go to standard error.\n"
              "\n"
              "Options:\n"
              "  --data-dir DIR   data folder (default: $KELMORA_DATA_DIR, else $XDG_DATA_HOME/Kelmora,\n"
              "                   else ~/.local/share/Kelmora)\n"
              "  -h, --help       show this help; COMMAND --help shows help for one command\n"
              "\n"
              "Exit status: 0 success, 1 refused or failed, 2 bad usage.\n";
}

void PrintCommandHelp(std::ostream& stream, const Command& command)
{
    stream << "Usage: kelmora-cli [--data-dir DIR] " << command.usage << "\n\n"
           << command.summary << "\n"
           << command.details << "\n";
}

const Command* FindCommand(const std::string& name)
{
    for (const Command& command : Commands()) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliContext& context)
{
    std::optional<fs::path> dataDir;
    std::size_t i = 0;
    for (; i < args.size() && args[i].starts_with("-"); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            PrintUsage(out);
            return kExitOk;
        }
        if (arg == "--data-dir" && i + 1 < args.size()) {
            dataDir = fs::path(args[++i]);
        } else if (arg.starts_with("--data-dir=")) {
            dataDir = fs::path(arg.substr(11));
        } else {
            err << "kelmora-cli: unknown option \"" << arg << "\"\n";
            PrintUsage(err);
            return kExitUsage;
        }
    }
    if (i == args.size()) {
        PrintUsage(err);
        return kExitUsage;
    }
    const Command* command = FindCommand(args[i]);
    if (command == nullptr) {
        err << "kelmora-cli: unknown command \"" << args[i] << "\"\n";
        PrintUsage(err);
        return kExitUsage;
    }
    std::vector<std::string> commandArgs;
    bool optionsEnded = false;
    for (++i; i < args.size(); ++i) {
        if (!optionsEnded && (args[i] == "--help" || args[i] == "-h")) {
            PrintCommandHelp(out, *command);
            return kExitOk;
        }
        if (!optionsEnded && args[i] == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && args[i] == "--data-dir" && i + 1 < args.size()) {
            dataDir = fs::path(args[++i]);
            continue;
        }
        commandArgs.push_back(args[i]);
    }
    if (commandArgs.size() < command->minArgs || commandArgs.size() > command->maxArgs) {
        err << "kelmora-cli: wrong number of arguments\n";
        err << "Usage: kelmora-cli " << command->usage << "\n";
        return kExitUsage;
    }

    const fs::path dataFolder = platform::ResolveDataFolder(dataDir, context.environment);
    if (dataFolder.empty()) {
        err << "kelmora-cli: no data folder: set HOME, XDG_DATA_HOME or KELMORA_DATA_DIR, or pass --data-dir\n";
        return kExitFailed;
    }
    std::string error;
    if (!model::EnsureDataFolder(dataFolder, &error)) {
        err << "kelmora-cli: " << error << "\n";
        return kExitFailed;
    }
    if (model::HasOldData(context.executableFolder)) {
        model::MigrateOldData(context.executableFolder, dataFolder);
    }
    TaskStore store(dataFolder);
    if (!store.Load(&error)) {
        err << "kelmora-cli: " << error << "\n";
        return kExitFailed;
    }
    Session session{store, out, err};
    try {
        return command->run(session, commandArgs);
    } catch (const UsageError& usage) {
        err << "kelmora-cli: " << usage.message << "\n";
        err << "Usage: kelmora-cli " << command->usage << "\n";
        return kExitUsage;
    }
}

} // namespace kelmora::cli
