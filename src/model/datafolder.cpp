#include "datafolder.h"

#include "atomicfile.h"

#include <system_error>
#include <vector>

namespace kelmora::model {

namespace fs = std::filesystem;

namespace {

bool IsTaskFileName(const std::string& name)
{
    return name.size() > 4 && name.ends_with(".tsk");
}

// rename() cannot cross file systems; the data folder is often on another one than the program.
bool MoveReplacing(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) {
        return true;
    }
    if (ec != std::errc::cross_device_link) {
        return false;
    }
    std::string contents;
    if (!ReadWholeFile(from, contents) || !WriteFileAtomically(to, contents)) {
        return false;
    }
    fs::remove(from, ec);
    return true;
}

} // namespace

bool CreateDirectoryTree(const fs::path& path, std::string* error)
{
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        return true;
    }
    std::vector<fs::path> missing;
    for (fs::path p = path; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path()) {
            break;
        }
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (fs::create_directory(*it, ec)) {
            fs::permissions(*it, fs::perms::owner_all, fs::perm_options::replace, ec);
        }
    }
    if (!fs::is_directory(path, ec)) {
        if (error != nullptr) {
            *error = fs::exists(path, ec) ? path.string() + " is a file, not a folder"
                                          : "cannot create the folder " + path.string();
        }
        return false;
    }
    return true;
}

bool EnsureDataFolder(const fs::path& dataFolder, std::string* error)
{
    return CreateDirectoryTree(dataFolder, error);
}

bool FileExists(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool PathTaken(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool HasOldData(const fs::path& executableFolder)
{
    return !executableFolder.empty() && FileExists(executableFolder / "idx");
}

int MigrateOldData(const fs::path& executableFolder, const fs::path& dataFolder, std::vector<std::string>* stayed)
{
    if (stayed != nullptr) {
        stayed->clear();
    }
    std::error_code ec;
    if (executableFolder.empty() || fs::equivalent(executableFolder, dataFolder, ec)) {
        return 0;
    }
    int moved = 0;
    // "idx" goes last and only once nothing else is left: it is what marks old data, so a migration cut
    // short, or a file that could not be moved, is taken up again at the next start instead of stranding
    // task files beside the executable.
    std::vector<std::string> names;
    for (fs::directory_iterator it(executableFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsTaskFileName(name) && it->is_regular_file(ec)) {
            names.push_back(name);
        }
    }
    if (FileExists(executableFolder / "categories.xml")) {
        names.emplace_back("categories.xml");
    }
    std::vector<std::string> left;
    for (const std::string& name : names) {
        if (MoveReplacing(executableFolder / name, dataFolder / name)) {
            ++moved;
        } else {
            left.push_back(name);
        }
    }
    if (!left.empty()) {
        // The next id comes along meanwhile, so that no task created until then takes the id of a file still
        // to come.
        std::string next;
        if (ReadWholeFile(executableFolder / "idx", next)) {
            WriteFileAtomically(dataFolder / "idx", next);
        }
    } else if (FileExists(executableFolder / "idx")) {
        if (MoveReplacing(executableFolder / "idx", dataFolder / "idx")) {
            ++moved;
        } else {
            left.emplace_back("idx");
        }
    }
    if (stayed != nullptr) {
        *stayed = std::move(left);
    }
    return moved;
}

} // namespace kelmora::model
