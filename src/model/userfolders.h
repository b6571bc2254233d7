#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace kelmora::model {

// Looks up an environment variable; empty optional when it is not set. Injected so that tests can
// describe any environment without touching the process's own.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

EnvironmentLookup ProcessEnvironment();

// The folder holding the running executable; empty when it cannot be found.
std::filesystem::path ExecutableFolder();

// The per-user data folder: `explicitFolder` (from --data-dir) when given, else KELMORA_DATA_DIR, else
// the desktop's per-user data location followed by "Kelmora". Empty when none can be worked out.
std::filesystem::path ResolveDataFolder(const std::optional<std::filesystem::path>& explicitFolder,
                                        const EnvironmentLookup& environment);

// Where kelmora keeps what it can always work out again: $XDG_CACHE_HOME/kelmora, else ~/.cache/kelmora.
// Empty when neither can be worked out.
std::filesystem::path CacheFolder(const EnvironmentLookup& environment);

} // namespace kelmora::model
