#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelmora::platform {

// True when `pid` is a live process that belongs to this user (its real user id is ours) and runs an
// executable file named `programName`. A process is never picked by its name alone: the PID comes from the
// instance lock, and this check only guards against a PID that was reused by something else.
bool isOwnProgram(std::int64_t pid, std::string_view programName);
// The same check for the user with real user id `uid`.
bool isProgramOfUser(std::int64_t pid, std::string_view programName, std::uint32_t uid);

// The real user id on the "Uid:" line of a /proc/PID/status text; nothing when there is no such line.
std::optional<std::uint32_t> realUidFromStatus(std::string_view statusText);

// The file name of the target of a /proc/PID/exe link, without the " (deleted)" mark the kernel adds when the
// file was replaced or removed after the process started (as an upgrade does).
std::string programNameFromExeTarget(std::string_view target);

} // namespace kelmora::platform
