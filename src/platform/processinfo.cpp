#include "processinfo.h"

#include "model/atomicfile.h"

#include <charconv>
#include <filesystem>
#include <limits>
#include <sys/types.h>
#include <system_error>
#include <unistd.h>

namespace kelmora::platform {

namespace fs = std::filesystem;

bool isOwnProgram(std::int64_t pid, std::string_view programName)
{
    return isProgramOfUser(pid, programName, ::getuid());
}

bool isProgramOfUser(std::int64_t pid, std::string_view programName, std::uint32_t uid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max() || programName.empty()) {
        return false;
    }
    const fs::path folder = fs::path("/proc") / std::to_string(pid);
    std::string status;
    if (!model::ReadWholeFile(folder / "status", status)) {
        return false;
    }
    const auto owner = realUidFromStatus(status);
    if (!owner || *owner != uid) {
        return false;
    }
    // Another user's exe link cannot be read, so it fails here as well.
    std::error_code ec;
    const fs::path target = fs::read_symlink(folder / "exe", ec);
    return !ec && programNameFromExeTarget(target.native()) == programName;
}

std::optional<std::uint32_t> realUidFromStatus(std::string_view statusText)
{
    static constexpr std::string_view kKey = "Uid:";
    std::size_t lineStart = 0;
    while (lineStart < statusText.size()) {
        std::size_t lineEnd = statusText.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = statusText.size();
        }
        const std::string_view line = statusText.substr(lineStart, lineEnd - lineStart);
        if (line.starts_with(kKey)) {
            std::string_view rest = line.substr(kKey.size());
            const std::size_t digits = rest.find_first_not_of(" \t");
            if (digits == std::string_view::npos) {
                return std::nullopt;
            }
            rest.remove_prefix(digits);
            std::uint32_t uid = 0;
            const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), uid);
            const bool complete = end == rest.data() + rest.size() || *end == ' ' || *end == '\t';
            if (error != std::errc() || !complete) {
                return std::nullopt;
            }
            return uid;
        }
        lineStart = lineEnd + 1;
    }
    return std::nullopt;
}

std::string programNameFromExeTarget(std::string_view target)
{
    static constexpr std::string_view kDeleted = " (deleted)";
    if (target.ends_with(kDeleted)) {
        target.remove_suffix(kDeleted.size());
    }
    const std::size_t slash = target.rfind('/');
    if (slash != std::string_view::npos) {
        target.remove_prefix(slash + 1);
    }
    return std::string(target);
}

} // namespace kelmora::platform
