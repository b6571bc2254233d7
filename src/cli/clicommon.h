#pragma once

// What every kelmora-cli command file shares: the session a command runs in, the registry that turns
// a command into a CLI11 subcommand, and the helpers for TASK, CATEGORY, times and periods.

#include "cli.h"

#include "model/task.h"
#include "model/taskfacts.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace kelmora::model {
class TaskStore;
} // namespace kelmora::model

namespace kelmora::cli {

// One run of a command on a loaded data folder.
struct Session
{
    model::TaskStore& store;
    std::ostream& out;
    std::ostream& err;
    // False when "categories.xml" could not be read; commands that can do without it carry on.
    bool categoriesLoaded = true;
    // Where commands may keep what they can always work out again from the data folder; empty for none.
    std::filesystem::path cacheFolder{};
    // The folder as the user knows it, for messages: the store may read a private copy of it.
    std::filesystem::path dataFolder{};
    // See Facts.
    std::optional<std::vector<model::TaskFacts>> facts{};
};

// The facts of the store's task files (see GatherTaskFacts), gathered at the first call of a run: commands
// that would read every file for a name or a running state ask these instead.
const std::vector<model::TaskFacts>& Facts(Session& session);

using Action = std::function<int(Session&)>;

// Commands register themselves here, one registration function per file, so a new command is a new
// file and one line in RunCli.
class CommandRegistry
{
public:
    explicit CommandRegistry(CLI::App& app) : m_app(app) {}

    // A subcommand whose `action` runs once the data folder is loaded. Arguments are bound to the
    // action's own storage by the caller (shared_ptr captured in the action).
    CLI::App* Add(const std::string& name, const std::string& description, Action action, bool needsCategories = false);

    // The command the parsed line chose, or nullptr.
    const Action* Chosen(bool& needsCategories) const;

private:
    struct Entry
    {
        CLI::App* command;
        Action action;
        bool needsCategories;
    };
    CLI::App& m_app;
    std::vector<Entry> m_entries;
};

void RegisterTaskCommands(CommandRegistry& registry);
void RegisterIntervalCommands(CommandRegistry& registry);
void RegisterCategoryCommands(CommandRegistry& registry);
void RegisterLogCommands(CommandRegistry& registry);
void RegisterStatusCommand(CommandRegistry& registry);
void RegisterReportCommand(CommandRegistry& registry);
void RegisterDoctorCommand(CommandRegistry& registry);

inline constexpr const char* kTimeFormatHint = "YYYY-MM-DD HH:MM:SS";

// What reaches a terminal: control characters (C0 but tab, line feed and carriage return; DEL; C1 as UTF-8)
// are written as \xNN, so that a name cannot move the cursor, retitle the window or answer for the user.
// Output to a pipe or file does not pass through it and stays byte-exact.
class TerminalSafeBuffer : public std::streambuf
{
public:
    explicit TerminalSafeBuffer(std::streambuf& target) : m_target(target) {}
    TerminalSafeBuffer(const TerminalSafeBuffer&) = delete;
    TerminalSafeBuffer& operator=(const TerminalSafeBuffer&) = delete;
    ~TerminalSafeBuffer() override;

protected:
    int_type overflow(int_type ch) override;
    int sync() override;

private:
    void Put(unsigned char byte);
    void Escape(unsigned char byte);

    std::streambuf& m_target;
    // A lead byte 0xC2 waits for the next byte, which decides whether the pair is a C1 control.
    bool m_pendingC2 = false;
};

// A name printed as one field of a tab-separated record: its own tabs and line breaks become blanks.
std::string Field(std::string text);

// A non-negative id written the way the program writes it (no sign, no leading zeros).
std::optional<std::int32_t> ParseId(const std::string& text);

// Argument checks for CLI11: wrong text is a usage error (exit 2).
CLI::Validator TimeText();
CLI::Validator CategoryIdText(bool allowNone);
CLI::Validator OneOf(std::vector<std::string> names, const std::string& what);

// A TIME argument (already checked by TimeText) as local time. A time the zone skips is refused with a
// message: nullopt.
std::optional<model::TimeStamp> LocalTime(Session& session, const std::string& text);

// The --period names, in the order of the period lists' indexes ("all" stands where all time does).
const std::vector<std::string>& PeriodNames();

// The calendar period by its command-line name (day … year, yesterday, last-week … last-year); nullopt for
// "all".
std::optional<model::Interval> PeriodNamed(const std::string& period);

// TASK: "id:N", "name:TEXT", or a text that is an id or an exact name. Fills `id`, or prints why not
// and returns the exit status to give (1 no such task, 2 ambiguous).
int ResolveTask(Session& session, const std::string& text, std::int32_t& id);

// CATEGORY: the id of an existing category; -1 after a message when there is none.
std::int32_t ResolveCategory(Session& session, const std::string& text);

bool LoadTask(Session& session, std::int32_t id, model::Task& task);
bool SaveTask(Session& session, const model::Task& task);
// Stops task `id` when it holds the running span; true when nothing of it runs afterwards.
bool StopRunning(Session& session, std::int32_t id);

} // namespace kelmora::cli
