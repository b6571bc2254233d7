#pragma once

#include "model/userfolders.h"

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace kelmora::cli {

enum ExitCode
{
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
};

// What the command line tool needs from the process around it; tests pass their own.
struct CliContext
{
    model::EnvironmentLookup environment;
    std::filesystem::path executableFolder;
    // Standard output is a terminal: control characters in names are shown escaped there.
    bool outIsTerminal = false;
};

// Runs kelmora-cli with `args` (without the program name). Records go to `out`, messages to `err`.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliContext& context);

} // namespace kelmora::cli
