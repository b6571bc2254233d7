#include "userfolders.h"

#include <cstdlib>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace kelmora::model {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> NonEmpty(const EnvironmentLookup& environment, const std::string& name)
{
    auto value = environment(name);
    if (value && value->empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> Home(const EnvironmentLookup& environment)
{
    std::optional<std::string> home = NonEmpty(environment, "HOME");
    if (!home) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
            home = entry->pw_dir;
        }
    }
    return home;
}

} // namespace

EnvironmentLookup ProcessEnvironment()
{
    return [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    };
}

fs::path ExecutableFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    return self.parent_path();
}

fs::path ResolveDataFolder(const std::optional<fs::path>& explicitFolder, const EnvironmentLookup& environment)
{
    if (explicitFolder && !explicitFolder->empty()) {
        return *explicitFolder;
    }
    if (auto dir = NonEmpty(environment, "KELMORA_DATA_DIR")) {
        return fs::path(*dir);
    }
    // The XDG base-directory rules ignore relative paths.
    if (auto xdg = NonEmpty(environment, "XDG_DATA_HOME"); xdg && fs::path(*xdg).is_absolute()) {
        return fs::path(*xdg) / "Kelmora";
    }
    const std::optional<std::string> home = Home(environment);
    if (!home) {
        return {};
    }
    return fs::path(*home) / ".local" / "share" / "Kelmora";
}

fs::path CacheFolder(const EnvironmentLookup& environment)
{
    if (auto xdg = NonEmpty(environment, "XDG_CACHE_HOME"); xdg && fs::path(*xdg).is_absolute()) {
        return fs::path(*xdg) / "kelmora";
    }
    const std::optional<std::string> home = Home(environment);
    if (!home) {
        return {};
    }
    return fs::path(*home) / ".cache" / "kelmora";
}

} // namespace kelmora::model
