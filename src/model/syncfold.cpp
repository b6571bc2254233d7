#include "syncfold.h"

#include "atomicfile.h"
#include "bytestream.h"
#include "category.h"
#include "datafolder.h"
#include "errortext.h"
#include "folderlock.h"
#include "task.h"
#include "taskfile.h"
#include "taskops.h"
#include "taskstore.h"
#include "xml.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <limits>
#include <map>
#include <regex>
#include <set>
#include <sys/stat.h>

namespace kelmora::model {

namespace fs = std::filesystem;

namespace {

bool IsDataName(const std::string& name)
{
    return name == "idx" || name == "categories.xml" || TaskIdFromFileName(name).has_value();
}

// A conflict copy's name: the data file it stands beside, and the side it names: Syncthing's device (the one
// whose change won over the copy), Dropbox's host. Between two machines, copies that name the same side hold
// one machine's changes. Nextcloud's and ownCloud's name none: a client's copies are all its own.
struct ConflictName
{
    std::string original;
    std::string side;
};

std::optional<ConflictName> ParseConflictName(const std::string& fileName)
{
    if (fileName.find("onflict") == std::string::npos) {
        return std::nullopt;
    }
    // Groups: the original's stem, the side, the extension.
    static const std::regex kForms[] = {
        std::regex(R"(^(.+)\.sync-conflict-\d{8}-\d{6}-([A-Z0-9]{7})(\.[^.]+)?$)"),
        std::regex(R"(^(.+) \(conflicted copy \d{4}-\d{2}-\d{2} \d{6}\)()(\.[^.]+)?$)"),
        std::regex(R"(^(.+)_conflict-\d{8}-\d{6}()(\.[^.]+)?$)"),
        std::regex(R"(^(.+) \(([^()]+)'s conflicted copy \d{4}-\d{2}-\d{2}(?: \(\d+\))?\)(\.[^.]+)?$)"),
    };
    std::smatch match;
    for (const std::regex& form : kForms) {
        if (std::regex_match(fileName, match, form)) {
            std::string original = match[1].str() + match[3].str();
            if (!IsDataName(original)) {
                return std::nullopt;
            }
            return ConflictName{std::move(original), match[2].str()};
        }
    }
    return std::nullopt;
}

bool SameSpan(const Interval& a, const Interval& b)
{
    return a.start == b.start && a.closed == b.closed && (!a.closed || a.stop == b.stop);
}

// The union of two tasks' spans: closed spans with the merge rules, and at most one open span, from the
// earliest open start; it takes in every closed span it overlaps, since that time is the same work.
IntervalList Unite(const IntervalList& a, const IntervalList& b)
{
    IntervalList closed;
    std::optional<TimeStamp> openStart;
    for (const IntervalList* list : {&a, &b}) {
        for (const Interval& span : *list) {
            if (span.closed) {
                closed.Insert(span);
            } else if (!openStart || span.start < *openStart) {
                openStart = span.start;
            }
        }
    }
    if (!openStart) {
        return closed;
    }
    IntervalList united;
    for (const Interval& span : closed) {
        if (span.stop > *openStart && !(span.start > *openStart)) {
            openStart = span.start; // reaches into the open span: one span from its start
        } else if (span.start < *openStart) {
            united.Append(span);
        }
    }
    united.Append(Interval(*openStart, TimeStamp(), false));
    return united;
}

int CountNew(const IntervalList& before, const IntervalList& from)
{
    return static_cast<int>(std::count_if(from.begin(), from.end(), [&before](const Interval& span) {
        return std::none_of(before.begin(), before.end(), [&span](const Interval& b) { return SameSpan(b, span); });
    }));
}

bool SameSpans(const IntervalList& a, const IntervalList& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameSpan);
}

bool LoadCopy(const fs::path& path, Task& task, std::string* error)
{
    std::string bytes;
    std::string reason;
    if (!ReadWholeFile(path, bytes, error, kTaskFileKind)) {
        return false;
    }
    if (!DecodeTask(bytes, task, &reason)) {
        SetError(error, path.string() + ": " + reason);
        return false;
    }
    return true;
}

class Folder
{
public:
    Folder(fs::path dataFolder, FoldReport& report, bool dryRun)
        : m_folder(std::move(dataFolder)), m_report(report), m_dryRun(dryRun)
    {}

    bool FoldCatalogue(const std::string& copyName);
    bool FoldIdx(const std::string& copyName);
    bool FoldTask(const std::string& copyName, const std::string& original);
    bool Settle();
    bool WriteIdx();

private:
    bool Remove(const std::string& copyName);
    void SplitMemberships(const std::string& taskCopyName, std::int32_t id, std::int32_t newId);
    std::optional<std::vector<Task>> Tasks();
    std::int64_t NextFreeId() const;
    std::int32_t FreshId();

    fs::path m_folder;
    FoldReport& m_report;
    bool m_dryRun;
    // Ids made by this fold, before their files exist in a dry run.
    std::set<std::int32_t> m_madeIds;
    // Each catalogue copy folded: the side its name gives, and per task id the categories (by name) that
    // listed the id in categories.xml before the union and in the copy. An id clash's two tasks are told
    // apart by them.
    struct CatalogueSides
    {
        std::string side;
        std::map<std::int32_t, std::set<std::string>> file;
        std::map<std::int32_t, std::set<std::string>> copy;
    };
    std::vector<CatalogueSides> m_catalogues;
};

bool Folder::Remove(const std::string& copyName)
{
    std::error_code ec;
    if (!m_dryRun) {
        fs::remove(m_folder / copyName, ec);
    }
    ++m_report.copies;
    return !ec;
}

std::optional<std::vector<Task>> Folder::Tasks()
{
    std::vector<Task> tasks;
    if (!LoadReadableTasks(m_folder, tasks)) {
        return std::nullopt;
    }
    return tasks;
}

std::int64_t Folder::NextFreeId() const
{
    const auto ids = ListTaskFiles(m_folder).value_or(std::vector<std::int32_t>());
    std::int64_t id = std::max<std::int64_t>(ReadNextTaskId(m_folder), 0);
    if (!ids.empty()) {
        id = std::max<std::int64_t>(id, std::int64_t{ids.back()} + 1);
    }
    if (!m_madeIds.empty()) {
        id = std::max<std::int64_t>(id, std::int64_t{*m_madeIds.rbegin()} + 1);
    }
    return id;
}

std::int32_t Folder::FreshId()
{
    const std::int64_t id = NextFreeId();
    if (id > std::numeric_limits<std::int32_t>::max()) {
        return -1;
    }
    m_madeIds.insert(static_cast<std::int32_t>(id));
    return static_cast<std::int32_t>(id);
}

// The union by name first, so that a category added on both sides, or one this fold already added, is not
// doubled; then by id; an id that the other side gave another category is replaced by a fresh one.
bool Folder::FoldCatalogue(const std::string& copyName)
{
    XmlDocument copy;
    XmlDocument main;
    std::string copyText;
    std::string mainText;
    XmlNode* copyList = nullptr;
    XmlNode* mainList = nullptr;
    if (ReadTextFile(m_folder / copyName, copyText) && copy.Load(copyText) && copy.GetRoot() != nullptr) {
        copyList = copy.GetRoot()->FindChild("categories");
    }
    if (copyList == nullptr) {
        m_report.damaged.push_back(copyName);
        return true;
    }
    const bool hasMain = ReadTextFile(CatalogPath(m_folder), mainText);
    if (!hasMain) {
        mainText = "<xml><categories/><next_id>1</next_id></xml>";
    }
    if (!main.Load(mainText) || main.GetRoot() == nullptr ||
        (mainList = main.GetRoot()->FindChild("categories")) == nullptr) {
        m_report.actions.push_back(copyName + ": left, since categories.xml itself is damaged");
        m_report.damaged.push_back(copyName);
        return true;
    }
    std::int64_t nextId = std::max(ParseLeadingInt(main.GetRoot()->GetChildValue("next_id").value_or("1")),
                                   ParseLeadingInt(copy.GetRoot()->GetChildValue("next_id").value_or("1")));
    for (const auto& element : mainList->children) {
        nextId = std::max<std::int64_t>(nextId,
                                        std::int64_t{ParseLeadingInt(element->GetAttrValue("id").value_or("0"))} + 1);
    }
    for (const auto& element : copyList->children) {
        nextId = std::max<std::int64_t>(nextId,
                                        std::int64_t{ParseLeadingInt(element->GetAttrValue("id").value_or("0"))} + 1);
    }
    CatalogueSides sides{ParseConflictName(copyName)->side, {}, {}};
    for (const auto& [list, byTask] : {std::pair(mainList, &sides.file), std::pair(copyList, &sides.copy)}) {
        for (const auto& category : list->children) {
            for (const auto& member : category->children) {
                (*byTask)[ParseLeadingInt(member->GetAttrValue("id").value_or("-1"))].insert(
                    category->GetAttrValue("name").value_or(std::string()));
            }
        }
    }
    int added = 0;
    int members = 0;
    for (const auto& theirs : copyList->children) {
        const std::string name = theirs->GetAttrValue("name").value_or(std::string());
        const std::int32_t id = ParseLeadingInt(theirs->GetAttrValue("id").value_or("0"));
        XmlNode* ours = nullptr;
        for (const auto& candidate : mainList->children) {
            if (candidate->GetAttrValue("name").value_or(std::string()) == name) {
                ours = candidate.get();
                break;
            }
        }
        if (ours == nullptr) {
            const bool idFree = CategoryCatalog::FindCategoryElement(*mainList, id) == nullptr;
            ours = &mainList->AppendChild("category");
            ours->AppendAttr("name", name);
            ours->AppendAttr("id", std::to_string(idFree ? id : static_cast<std::int32_t>(nextId++)));
            ++added;
        }
        for (const auto& member : theirs->children) {
            const std::int32_t taskId = ParseLeadingInt(member->GetAttrValue("id").value_or("-1"));
            const bool listed = std::any_of(ours->children.begin(), ours->children.end(), [taskId](const auto& m) {
                return ParseLeadingInt(m->GetAttrValue("id").value_or("-1")) == taskId;
            });
            if (!listed && taskId >= 0) {
                ours->AppendChild("task").AppendAttr("id", std::to_string(taskId));
                ++members;
            }
        }
    }
    if (XmlNode* next = main.GetRoot()->FindChild("next_id")) {
        next->value = std::to_string(std::min<std::int64_t>(nextId, std::numeric_limits<std::int32_t>::max()));
    }
    std::string error;
    if (!m_dryRun && !SaveCatalog(m_folder, main, &error)) {
        m_report.actions.push_back(copyName + ": left, since categories.xml could not be written: " + error);
        return false;
    }
    m_report.categories += added;
    m_report.actions.push_back(copyName + ": " + std::to_string(added) + " categories and " + std::to_string(members) +
                               " memberships taken into categories.xml");
    m_catalogues.push_back(std::move(sides));
    return Remove(copyName);
}

bool Folder::FoldIdx(const std::string& copyName)
{
    m_report.actions.push_back(copyName + ": the larger next task id kept in idx");
    const std::int32_t theirs = ReadTaskIdFile(m_folder / copyName);
    if (theirs > ReadNextTaskId(m_folder) && !m_dryRun && !WriteNextTaskId(m_folder, theirs)) {
        return false;
    }
    return Remove(copyName);
}

bool Folder::FoldTask(const std::string& copyName, const std::string& original)
{
    Task copy;
    std::string error;
    if (!LoadCopy(m_folder / copyName, copy, &error)) {
        m_report.damaged.push_back(copyName);
        m_report.actions.push_back(copyName + ": left, since it cannot be read: " + error);
        return true;
    }
    const std::int32_t id = *TaskIdFromFileName(original);
    auto tasks = Tasks();
    if (!tasks) {
        return false;
    }
    // The task of the copy's name: the original itself, or another task, or none.
    Task* target = nullptr;
    for (Task& task : *tasks) {
        if (task.name == copy.name && (target == nullptr || task.id == id)) {
            target = &task;
        }
    }
    const bool originalExists = PathTaken(TaskPath(m_folder, id));
    if (target == nullptr && originalExists &&
        std::none_of(tasks->begin(), tasks->end(), [id](const Task& t) { return t.id == id; })) {
        // The original is damaged: uniting into it would lose it, so both stay for the user to see.
        m_report.damaged.push_back(copyName);
        m_report.actions.push_back(copyName + ": left, since " + original + " cannot be read");
        return true;
    }
    Task result = copy;
    if (target != nullptr) {
        result = *target;
        result.intervals = Unite(target->intervals, copy.intervals);
        const int taken = CountNew(target->intervals, copy.intervals);
        m_report.intervals += taken;
        m_report.actions.push_back(copyName + ": " + std::to_string(taken) + " spans taken into task " +
                                   std::to_string(target->id) + " \"" + target->name + "\"");
    } else {
        result.id = originalExists ? FreshId() : id;
        if (result.id < 0) {
            m_report.actions.push_back(copyName + ": left, since no task id is free");
            return true;
        }
        m_report.intervals += copy.intervals.Count();
        m_report.actions.push_back(copyName + ": made task " + std::to_string(result.id) + " \"" + copy.name +
                                   "\" with " + std::to_string(copy.intervals.Count()) + " spans");
    }
    const bool changed = target == nullptr || !SameSpans(result.intervals, target->intervals);
    if (changed && !m_dryRun && !result.Save(m_folder, &error)) {
        m_report.actions.back() = copyName + ": left, since the merged task could not be written: " + error;
        // An id whose file was never written is free again, so that running the fold again ends as one that
        // never failed.
        m_madeIds.erase(result.id);
        return false;
    }
    m_report.tasks += changed ? 1 : 0;
    if (target == nullptr && result.id != id && !m_dryRun) {
        SplitMemberships(copyName, id, result.id);
    }
    return Remove(copyName);
}

// The task made from an id clash takes the categories its side gave the id, and the task that keeps the id
// keeps those its own side gave it. The catalogue copy of the task copy's side tells them apart; failing one,
// a single catalogue copy is the other side's, so categories.xml was the task copy's side's. Without a
// catalogue copy the memberships stay with the id.
void Folder::SplitMemberships(const std::string& taskCopyName, std::int32_t id, std::int32_t newId)
{
    const std::string side = ParseConflictName(taskCopyName)->side;
    const std::map<std::int32_t, std::set<std::string>>* theirs = nullptr;
    const std::map<std::int32_t, std::set<std::string>>* ours = nullptr;
    for (const CatalogueSides& catalogue : m_catalogues) {
        if (catalogue.side == side) {
            theirs = &catalogue.copy;
            ours = &catalogue.file;
        }
    }
    if (theirs == nullptr && m_catalogues.size() == 1) {
        theirs = &m_catalogues.front().file;
        ours = &m_catalogues.front().copy;
    }
    if (theirs == nullptr || theirs->count(id) == 0) {
        return;
    }
    const std::set<std::string>& copySide = theirs->at(id);
    const std::set<std::string> fileSide = ours->count(id) != 0 ? ours->at(id) : std::set<std::string>();
    for (Category category : Category::LoadAll(m_folder).value_or(std::vector<Category>())) {
        if (copySide.count(category.GetName()) == 0) {
            continue;
        }
        bool changed = category.AddTask(newId);
        if (fileSide.count(category.GetName()) == 0) {
            changed = category.RemoveTask(id) || changed;
        }
        if (changed) {
            category.Save(m_folder);
        }
    }
}

bool Folder::Settle()
{
    auto tasks = Tasks();
    if (!tasks) {
        return false;
    }
    std::vector<bool> changed;
    std::vector<Task> before = *tasks;
    SettleOpenSpans(*tasks, changed);
    for (std::size_t i = 0; i < tasks->size(); ++i) {
        if (!changed[i]) {
            continue;
        }
        for (std::int32_t k = 0; k < before[i].intervals.Count(); ++k) {
            m_report.settled += !before[i].intervals.At(k).closed && (*tasks)[i].intervals.At(k).closed ? 1 : 0;
        }
        if (!m_dryRun && !(*tasks)[i].Save(m_folder)) {
            return false;
        }
    }
    if (m_report.settled > 0) {
        m_report.actions.push_back(std::to_string(m_report.settled) +
                                   " open spans closed where the next span began, so that one task runs");
    }
    return true;
}

// Also after a fold that failed before idx was written and is now run again: idx never stays behind an id in
// use.
bool Folder::WriteIdx()
{
    const std::int64_t next = std::min<std::int64_t>(NextFreeId(), INT32_MAX);
    if (m_dryRun || next <= ReadNextTaskId(m_folder)) {
        return true;
    }
    return WriteNextTaskId(m_folder, static_cast<std::int32_t>(next));
}

} // namespace

std::string FoldReport::Summary() const
{
    if (tasks == 0 && intervals == 0 && categories == 0 && settled == 0) {
        return "Nothing new in " + std::to_string(copies) + " conflict copies from another machine";
    }
    std::string text = "Merged changes from another machine: " + std::to_string(tasks) +
                       (tasks == 1 ? " task, " : " tasks, ") + std::to_string(intervals) +
                       (intervals == 1 ? " interval" : " intervals");
    if (categories > 0) {
        text += ", " + std::to_string(categories) + (categories == 1 ? " category" : " categories");
    }
    if (settled > 0) {
        text += "; " + std::to_string(settled) + " open spans closed so that one task runs";
    }
    return text;
}

std::optional<std::string> ConflictOriginal(const std::string& fileName)
{
    auto parsed = ParseConflictName(fileName);
    return parsed ? std::optional<std::string>(std::move(parsed->original)) : std::nullopt;
}

std::vector<std::string> FindConflictCopies(const fs::path& dataFolder)
{
    // The C library's own walk, as ListTaskFiles does: every command looks here first, and a path object for
    // each of a thousand names cost more than the listing.
    std::vector<std::string> copies;
    DIR* folder = ::opendir(dataFolder.c_str());
    if (folder == nullptr) {
        return copies;
    }
    std::string name;
    while (const dirent* entry = ::readdir(folder)) {
        name.assign(entry->d_name);
        if (ConflictOriginal(name)) {
            copies.push_back(name);
        }
    }
    ::closedir(folder);
    std::sort(copies.begin(), copies.end());
    return copies;
}

bool SyncToolBusy(const fs::path& dataFolder, std::int64_t wallClockNs, std::chrono::seconds quiet)
{
    // A download in progress keeps its temporary file changing; one left by a failed pull does not, and must
    // not hold the fold back for good.
    constexpr std::chrono::seconds kAbandoned(10);
    std::error_code ec;
    for (fs::directory_iterator it(dataFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Syncthing's temporary files, on Unix and on Windows.
        const bool temporary = name.rfind(".syncthing.", 0) == 0 || name.rfind("~syncthing~", 0) == 0;
        struct stat info
        {};
        if (lstat(it->path().c_str(), &info) != 0) {
            continue;
        }
        const std::int64_t changedNs = std::int64_t{info.st_ctim.tv_sec} * 1'000'000'000 + info.st_ctim.tv_nsec;
        const std::chrono::nanoseconds window = temporary ? std::max(quiet, kAbandoned) : quiet;
        if (changedNs > wallClockNs - window.count()) {
            return true;
        }
    }
    return false;
}

bool FoldConflictCopies(const fs::path& dataFolder, FoldReport& report, bool dryRun, std::string* error)
{
    const FolderLock lock(dataFolder);
    if (!lock.Held(error)) {
        return false;
    }
    Folder folder(dataFolder, report, dryRun);
    const std::vector<std::string> copies = FindConflictCopies(dataFolder);
    bool ok = true;
    // The catalogue first, so that a task made from an id clash finds its categories; idx next, so that
    // fresh ids start past both sides'.
    for (const char* kind : {"categories.xml", "idx", "task"}) {
        for (const std::string& copy : copies) {
            const std::string original = *ConflictOriginal(copy);
            const bool isTask = original != "categories.xml" && original != "idx";
            if ((isTask && std::string(kind) != "task") || (!isTask && original != kind)) {
                continue;
            }
            ok = (original == "categories.xml" ? folder.FoldCatalogue(copy)
                  : original == "idx"          ? folder.FoldIdx(copy)
                                               : folder.FoldTask(copy, original)) &&
                 ok;
        }
    }
    ok = folder.Settle() && ok;
    ok = folder.WriteIdx() && ok;
    if (!ok) {
        SetError(error, "some conflict copies could not be folded in; they are left in the folder");
    }
    return ok;
}

FoldedCopy::~FoldedCopy()
{
    if (!m_folder.empty()) {
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
}

bool FoldedCopy::Make(const fs::path& dataFolder, const fs::path& scratchParent, FoldReport& report, std::string* error)
{
    // Owner-only, like the data folder: the copy holds the same working hours.
    std::string pattern = (scratchParent / "kelmora-folded-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        SetError(error, "cannot make a folder in " + scratchParent.string() + ": " + std::strerror(errno));
        return false;
    }
    m_folder = pattern;
    std::error_code ec;
    for (fs::directory_iterator it(dataFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if ((IsDataName(name) || ConflictOriginal(name)) && it->is_regular_file(ec) &&
            !fs::copy_file(it->path(), m_folder / name, ec)) {
            break;
        }
    }
    if (ec) {
        SetError(error, "cannot copy " + dataFolder.string() + " to count its conflict copies: " + ec.message());
    }
    if (ec || !FoldConflictCopies(m_folder, report, false, error)) {
        fs::remove_all(m_folder, ec);
        m_folder.clear();
        return false;
    }
    return true;
}

} // namespace kelmora::model
