// doctor: what a sync tool or a crash left in the data folder, and the fold of conflict copies.
#include "clicommon.h"

#include "model/category.h"
#include "model/datafolder.h"
#include "model/syncfold.h"
#include "model/task.h"
#include "model/taskfile.h"
#include "model/taskstore.h"

#include <memory>

namespace kelmora::cli {

namespace {

int RunDoctor(Session& session, bool dryRun)
{
    const std::filesystem::path& folder = session.store.DataFolder();
    model::FoldReport report;
    std::string error;
    const bool folded = model::FoldConflictCopies(folder, report, dryRun, &error);
    for (const std::string& action : report.actions) {
        session.out << (dryRun ? "would fold\t" : "folded\t") << Field(action) << '\n';
    }
    int status = folded && report.damaged.empty() ? kExitOk : kExitFailed;
    // Damaged files are named whatever the fold did: each one is time the totals leave out.
    for (const std::int32_t id : model::ListTaskFiles(folder).value_or(std::vector<std::int32_t>())) {
        model::Task task;
        task.id = id;
        if (std::string reason; !task.Load(folder, &reason)) {
            session.out << "damaged\t" << Field(reason) << '\n';
            status = kExitFailed;
        }
    }
    if (std::string reason;
        !model::Category::LoadAll(folder, &reason) && model::PathTaken(model::CatalogPath(folder))) {
        session.out << "damaged\t" << Field(reason) << '\n';
        status = kExitFailed;
    }
    if (!folded) {
        session.err << "kelmora-cli: " << error << "\n";
    }
    return status;
}

} // namespace

void RegisterDoctorCommand(CommandRegistry& registry)
{
    auto dryRun = std::make_shared<bool>(false);
    CLI::App* doctor = registry.Add("doctor", "Fold in what sync tools left, and name damaged files.",
                                    [dryRun](Session& s) { return RunDoctor(s, *dryRun); });
    doctor->add_flag("--dry-run", *dryRun, "only say what folding the conflict copies would do");
    doctor->footer("Prints one line per conflict copy (\"folded\" or \"would fold\", and what) and per damaged\n"
                   "file (\"damaged\" and why). Exits 1 when a file is damaged or a copy could not be folded.");
}

} // namespace kelmora::cli
