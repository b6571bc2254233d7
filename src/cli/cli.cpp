#include "cli.h"

#include "clicommon.h"

#include "model/datafolder.h"
#include "model/folderlock.h"
#include "model/syncfold.h"
#include "model/taskstore.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <ostream>

namespace kelmora::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kOverview =
    "Works on Kelmora's time-tracking data without a display.\n"
    "TASK is a task id or an exact task name; when a text is the id of one task and the name of another,\n"
    "write id:N or name:TEXT. CATEGORY is a category id. Times are local, as YYYY-MM-DD HH:MM:SS.\n"
    "Output is tab-separated, one record per line; messages go to standard error.";

constexpr const char* kFooter =
    "The data folder is --data-dir DIR, else $KELMORA_DATA_DIR, else $XDG_DATA_HOME/Kelmora, else\n"
    "~/.local/share/Kelmora. Exit status: 0 success, 1 refused or failed, 2 bad usage.\n"
    "kelmora-cli COMMAND --help shows help for one command.";

// Commands that change nothing; every other command takes the folder's lock and may create it.
constexpr const char* kReadingCommands[] = {"tasks", "log", "report", "intervals", "categories", "status"};

// Where a reading command keeps the folded copy of a folder that sync tools left conflict copies in: in memory
// where the session offers it.
fs::path ScratchFolder(const model::EnvironmentLookup& environment)
{
    const auto runtime = environment("XDG_RUNTIME_DIR");
    std::error_code ec;
    if (runtime && !runtime->empty() && fs::is_directory(*runtime, ec)) {
        return *runtime;
    }
    const fs::path temp = fs::temp_directory_path(ec);
    return ec ? fs::path("/tmp") : temp;
}

int Usage(std::ostream& err, const std::string& message)
{
    err << "kelmora-cli: " << message << "\nRun kelmora-cli --help for more information.\n";
    return kExitUsage;
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliContext& context)
{
    CLI::App app(kOverview, "kelmora-cli");
    app.footer(kFooter);
    app.require_subcommand(1);
    // Options of kelmora-cli itself, such as --data-dir, may also follow the command.
    app.fallthrough();
    std::string dataDir;
    CLI::Option* dataDirOption = app.add_option("--data-dir", dataDir, "the data folder to work on")->type_name("DIR");

    CommandRegistry registry(app);
    RegisterTaskCommands(registry);
    RegisterIntervalCommands(registry);
    RegisterCategoryCommands(registry);
    RegisterLogCommands(registry);
    RegisterReportCommand(registry);
    RegisterStatusCommand(registry);
    RegisterDoctorCommand(registry);

    // CLI11 takes "--data-dir=" as an option still waiting for its value and would swallow the command.
    const auto optionsEnd = std::find(args.begin(), args.end(), "--");
    if (std::find(args.begin(), optionsEnd, "--data-dir=") != optionsEnd) {
        return Usage(err, "--data-dir is empty: name a folder, or leave the option out");
    }
    std::vector<const char*> argv{"kelmora-cli"};
    std::transform(args.begin(), args.end(), std::back_inserter(argv), [](const std::string& a) { return a.c_str(); });
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return kExitOk;
    } catch (const CLI::ParseError& error) {
        if (app.get_subcommands().empty() && !app.remaining().empty()) {
            return Usage(err, "unknown command \"" + app.remaining().front() + "\"");
        }
        return Usage(err, error.what());
    }
    // An empty value usually comes from an unset script variable; falling back to the default folder
    // would act on the user's real data.
    if (dataDirOption->count() > 0 && dataDir.empty()) {
        return Usage(err, "--data-dir is empty: name a folder, or leave the option out");
    }
    bool needsCategories = false;
    const Action* action = registry.Chosen(needsCategories);
    const std::string chosenName =
        app.get_subcommands().empty() ? std::string() : app.get_subcommands().front()->get_name();
    if (action == nullptr) {
        return Usage(err, "no command given");
    }

    const std::optional<fs::path> explicitFolder =
        dataDirOption->count() > 0 ? std::optional<fs::path>(dataDir) : std::nullopt;
    const fs::path dataFolder = model::ResolveDataFolder(explicitFolder, context.environment);
    if (dataFolder.empty()) {
        err << "kelmora-cli: no data folder: set HOME, XDG_DATA_HOME or KELMORA_DATA_DIR, or pass --data-dir\n";
        return kExitFailed;
    }
    // Commands that only read never create the folder or its files: a mistyped --data-dir must not answer
    // with an empty list as if it held no tasks.
    const bool writes =
        std::find(std::begin(kReadingCommands), std::end(kReadingCommands), chosenName) == std::end(kReadingCommands);
    std::error_code ec;
    const fs::file_status folderStatus = fs::status(dataFolder, ec);
    if (fs::exists(folderStatus) && !fs::is_directory(folderStatus)) {
        err << "kelmora-cli: " << dataFolder.string() << " is a file, not a folder\n";
        return kExitFailed;
    }
    std::string error;
    if (!writes && !fs::exists(folderStatus)) {
        err << "kelmora-cli: no Kelmora data folder at " << dataFolder.string() << "\n";
        return kExitFailed;
    }
    if (writes && !model::EnsureDataFolder(dataFolder, &error)) {
        err << "kelmora-cli: " << error << "\n";
        return kExitFailed;
    }
    // Every change a command makes, from reading the files to the last rename, happens while no other
    // Kelmora program changes the folder; a reading command sees no change half made.
    const model::FolderLock lock(dataFolder, model::kFolderLockWait,
                                 writes ? model::FolderLock::Mode::Exclusive : model::FolderLock::Mode::Shared);
    if (!lock.Held()) {
        err << "kelmora-cli: " << lock.Error() << "\n";
        return kExitFailed;
    }
    // Old data beside the executable belongs in the default folder only: a folder named for a test or a
    // second profile must not swallow it.
    const auto named = context.environment("KELMORA_DATA_DIR");
    if (writes && !explicitFolder && (!named || named->empty()) && model::HasOldData(context.executableFolder)) {
        std::vector<std::string> stayed;
        model::MigrateOldData(context.executableFolder, dataFolder, &stayed);
        for (const std::string& name : stayed) {
            err << "kelmora-cli: warning: " << (context.executableFolder / name).string()
                << " could not be moved into the data folder; it is tried again next time\n";
        }
    }
    // What a sync tool left beside the files is folded in before anything is changed. Reading commands change
    // nothing: they read a folded private copy instead, so their answer already holds both machines' time.
    model::FoldedCopy folded;
    if (const std::size_t copies = model::FindConflictCopies(dataFolder).size(); copies > 0 && chosenName != "doctor") {
        model::FoldReport report;
        if (!writes && !folded.Make(dataFolder, ScratchFolder(context.environment), report, &error)) {
            err << "kelmora-cli: warning: " << copies
                << " conflict copies left by a sync tool are not counted: " << error << "\n";
        } else if (!writes) {
            err << "kelmora-cli: " << copies
                << " conflict copies left by a sync tool are counted in; the next command that changes data folds "
                   "them into the files ("
                << report.Summary() << ")\n";
        } else {
            model::FoldConflictCopies(dataFolder, report, false, &error);
            if (report.Changed()) {
                err << "kelmora-cli: " << report.Summary() << "\n";
            }
        }
        if (!report.damaged.empty()) {
            err << "kelmora-cli: warning: " << report.damaged.size()
                << " conflict copies could not be folded in; kelmora-cli doctor names them\n";
        }
    }
    model::TaskStore store(folded.Folder().empty() ? dataFolder : folded.Folder());
    if (!store.LoadTaskIds(&error)) {
        err << "kelmora-cli: " << error << "\n";
        return kExitFailed;
    }
    std::optional<TerminalSafeBuffer> terminal;
    std::ostream terminalOut(nullptr);
    if (context.outIsTerminal) {
        terminal.emplace(*out.rdbuf());
        terminalOut.rdbuf(&*terminal);
    }
    Session session{store, context.outIsTerminal ? terminalOut : out, err};
    session.dataFolder = dataFolder;
    // A folded copy's files are gone after this run: nothing learnt from them is worth keeping.
    session.cacheFolder = folded.Folder().empty() ? model::CacheFolder(context.environment) : fs::path();
    if (!store.LoadCategoryIds(&error, writes)) {
        if (needsCategories) {
            err << "kelmora-cli: " << error << "\n";
            return kExitFailed;
        }
        err << "kelmora-cli: warning: " << error << "; categories are left out\n";
        session.categoriesLoaded = false;
    }
    const int status = (*action)(session);
    session.out.flush();
    return status;
}

} // namespace kelmora::cli
