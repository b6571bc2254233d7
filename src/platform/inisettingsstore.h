#pragma once

#include "platform/settingsstore.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace kelmora::platform {

// Preferences in an INI file read and written through QSettings, and the autostart entry as an XDG desktop
// entry file. Both paths are given so that tests can point them at temporary files.
class IniSettingsStore final : public SettingsStore
{
public:
    // `executable` is the program the autostart entry starts.
    IniSettingsStore(std::filesystem::path iniFile, std::filesystem::path autostartFile,
                     std::filesystem::path executable);

    std::int32_t GetSetting(std::string_view name, std::int32_t defaultValue) const override;
    bool SetSetting(std::string_view name, std::int32_t value) override;
    bool IsAutostart() const override;
    bool SetAutostart(bool on) override;

    const std::filesystem::path& iniFile() const { return m_iniFile; }
    const std::filesystem::path& autostartFile() const { return m_autostartFile; }

private:
    std::filesystem::path m_iniFile;
    std::filesystem::path m_autostartFile;
    std::filesystem::path m_executable;
    // Every call builds its own QSettings instead of sharing one: a QSettings object must not be used by two
    // threads at once, and a shared one would schedule its delayed write-back on the thread that created it.
    // The mutex puts the calls of this process in one order (a read never overtakes a write that returned
    // before it started) and makes that order visible to ThreadSanitizer, which cannot see Qt's own locks.
    mutable std::mutex m_mutex;
};

// "$XDG_CONFIG_HOME/Kelmora/kelmora.conf", with ~/.config when XDG_CONFIG_HOME is not set.
std::filesystem::path defaultSettingsFile();
// "$XDG_CONFIG_HOME/autostart/kelmora.desktop", with ~/.config when XDG_CONFIG_HOME is not set.
std::filesystem::path defaultAutostartFile();
// The absolute path of the running program; empty when it cannot be found.
std::filesystem::path currentExecutable();

// The value of a desktop entry's Exec key that runs `program` without arguments: quoted when it holds a
// character the Desktop Entry format reserves, with its escapes applied.
std::string desktopEntryExec(const std::filesystem::path& program);
// The whole autostart desktop entry for `program`.
std::string autostartEntry(const std::filesystem::path& program);
// A stored text as a 32-bit number: optional sign and decimal digits only, within range; else nothing.
std::optional<std::int32_t> parseSettingValue(std::string_view text);

} // namespace kelmora::platform
