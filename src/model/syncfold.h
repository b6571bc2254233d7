#pragma once

#include "filestamp.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kelmora::model {

// The data file a sync tool's conflict copy stands beside ("5.tsk", "idx" or "categories.xml"), or nullopt
// for any other name. Known forms: Syncthing's "5.sync-conflict-20261206-101500-ABCDEFG.tsk", Nextcloud's
// and ownCloud's "5 (conflicted copy 2026-12-06 101500).tsk" and "5_conflict-20261206-101500.tsk", and
// Dropbox's "5 (host's conflicted copy 2026-12-06).tsk".
std::optional<std::string> ConflictOriginal(const std::string& fileName);

// What folding the conflict copies did, or would do.
struct FoldReport
{
    int copies = 0;    // copies folded in
    int tasks = 0;     // task files changed or made
    int intervals = 0; // spans taken from the copies that the files did not hold yet
    int categories = 0;
    int settled = 0;                  // open spans closed so that one task runs
    std::vector<std::string> damaged; // copies that could not be read: left where they are
    std::vector<std::string> actions; // one line for each copy

    bool Changed() const { return copies > 0 || settled > 0; }
    // "Merged changes from another machine: 2 tasks, 14 intervals", for the user; copies that held nothing the
    // files lacked are named as such.
    std::string Summary() const;
};

// The conflict copies in the folder, by file name, in name order.
std::vector<std::string> FindConflictCopies(const std::filesystem::path& dataFolder);

// Whether a sync tool seems to be at work in the folder: one of its temporary files changed within the last ten
// seconds, or an entry was put there within `quiet` before `wallClockNs` (WallClockNs() at the call), by its
// change time, since sync tools give a file its sender's modification time. A tool brings one round's copies one
// after the other, and the fold must see them together: an id clash's task copy is told apart by the catalogue
// copy of its side.
bool SyncToolBusy(const std::filesystem::path& dataFolder, std::int64_t wallClockNs,
                  std::chrono::seconds quiet = std::chrono::seconds(2));

// Folds the conflict copies that sync tools leave beside the data files into the files, under the folder's
// lock, so that what any machine tracked survives and nothing counts twice:
// - a task and its copy under one name are one task: their spans are united (overlaps merged, identical
//   spans once; one open span of the task, from the earlier start, when both sides tracked it);
// - a copy under another name is the task of that name, or else a new task under a fresh id;
// - "idx" keeps the larger id, never one in use;
// - the catalogue keeps every category (matched by name, then id; a clash of ids gets a fresh one) and
//   every membership, and the larger next_id;
// - then the open spans of the folder are settled as every start and stop does.
// Each merged file is written before its copy is removed, so a crash at any step loses nothing and a
// second run changes nothing. A copy that cannot be read is left and reported. `dryRun` only reports.
bool FoldConflictCopies(const std::filesystem::path& dataFolder, FoldReport& report, bool dryRun = false,
                        std::string* error = nullptr);

// The data files as they will be once the conflict copies are folded in, for those who must read the folder
// without changing it: a private copy of its data files under `scratchParent` (best a memory file system such
// as $XDG_RUNTIME_DIR), folded by the same rules. The copy goes with the object. The caller holds the data
// folder's lock while it is made.
class FoldedCopy
{
public:
    FoldedCopy() = default;
    FoldedCopy(const FoldedCopy&) = delete;
    FoldedCopy& operator=(const FoldedCopy&) = delete;
    ~FoldedCopy();

    // False, with nothing left behind, when the copy cannot be made.
    bool Make(const std::filesystem::path& dataFolder, const std::filesystem::path& scratchParent, FoldReport& report,
              std::string* error = nullptr);
    const std::filesystem::path& Folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
};

} // namespace kelmora::model
