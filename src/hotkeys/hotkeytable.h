#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kelmora::platform {
class GlobalShortcuts;
struct ShortcutStatus;
} // namespace kelmora::platform

namespace kelmora::hotkeys {

// One global shortcut: the command it starts (`id`, the hub's hotkey id), its name on the Keyboard
// Shortcuts page, and its keys. Modifier flags are those of platform/globalshortcuts.h; `vk` is the key's
// character code ('A' to 'Z').
struct HotkeyEntry
{
    std::uint32_t id = 0;
    std::string title;
    std::uint32_t modifiers = 0;
    std::uint32_t vk = 0;

    bool operator==(const HotkeyEntry&) const = default;
};

inline constexpr int kHotkeyCount = 5;

// False for a letter alone or with Shift only: taken system-wide, it could no longer be typed anywhere.
bool LeavesTypingAlone(std::uint32_t modifiers);

// <dataFolder>/hotkeys.xml
std::filesystem::path HotkeysPath(const std::filesystem::path& dataFolder);

// The five global shortcuts, kept in "hotkeys.xml" and registered through the platform's shortcut
// service. Lives as long as the hub; the Keyboard Shortcuts page changes its entries.
class CHotkeyTable
{
public:
    CHotkeyTable(std::filesystem::path dataFolder, platform::GlobalShortcuts& shortcuts);
    CHotkeyTable(const CHotkeyTable&) = delete;
    CHotkeyTable& operator=(const CHotkeyTable&) = delete;
    // Unregisters.
    virtual ~CHotkeyTable();

    // Reads "hotkeys.xml"; a file that cannot be read gives the defaults and is not written. False, with the
    // defaults in the table, for a file that exists but does not hold five hotkeys: the caller then
    // registers nothing and the file stays as it is until the user saves the table.
    bool LoadHotkeys(std::string* error = nullptr);
    // Writes the table, atomically; false with the reason when the file could not be written.
    bool SaveHotkeys(std::string* error = nullptr) const;
    void SetDefaultHotkeys();

    // Registers the five combinations in table order, except those that would take typing away (a file
    // written by hand or by an older version may hold them); true when all are active now (a desktop that
    // answers later reports through the shortcut service's statusChanged).
    bool RegisterAll();
    void UnregisterAll();

    int Count() const { return kHotkeyCount; }
    // Nullptr for a position outside 0 to 4.
    HotkeyEntry* At(int position);
    const HotkeyEntry* At(int position) const;
    // The first entry with this id.
    HotkeyEntry* FindById(std::uint32_t id);
    // The position of the first entry other than `except` with these keys, or -1.
    int FindCombination(std::uint32_t modifiers, std::uint32_t vk, int except) const;

    // "Ctrl+", "Shift+", "Alt+", "Win+" as set, then the key: "Shift+Alt+M".
    static QString GetHotkeyText(const HotkeyEntry& entry);
    // What the Keyboard Shortcuts page shows for a position: the combination (or the keys the desktop
    // reports for it), marked "(unavailable)" when it is not active.
    QString ShownText(int position) const;
    // The active combination of the first entry with this id, for a menu; empty when it has none.
    QString ActiveText(std::uint32_t id) const;

    platform::GlobalShortcuts& Shortcuts() { return m_shortcuts; }
    const std::filesystem::path& DataFolder() const { return m_dataFolder; }

private:
    // The shortcut service's status of the entry at `position`.
    platform::ShortcutStatus StatusAt(int position) const;

    std::array<HotkeyEntry, kHotkeyCount> m_entries;
    // Each entry's place among the registered bindings; -1 for one left out.
    std::array<int, kHotkeyCount> m_bindingIndex{};
    std::filesystem::path m_dataFolder;
    platform::GlobalShortcuts& m_shortcuts;
    bool m_registered = false;
};

// The entries a "hotkeys.xml" text holds; false when it does not hold five.
bool ParseHotkeys(std::string_view text, std::array<HotkeyEntry, kHotkeyCount>& entries);
// The file text of a table.
std::string HotkeysXml(const std::array<HotkeyEntry, kHotkeyCount>& entries);

} // namespace kelmora::hotkeys
