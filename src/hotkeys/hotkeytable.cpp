#include "hotkeys/hotkeytable.h"

#include "model/category.h"
#include "model/folderlock.h"
#include "model/xml.h"
#include "platform/globalshortcuts.h"

#include <vector>

namespace kelmora::hotkeys {

namespace fs = std::filesystem;

namespace {

const std::array<HotkeyEntry, kHotkeyCount> kDefaults{{
    {0xB000, "Show tray menu", platform::kModAlt | platform::kModShift, 'M'},
    {0xB001, "Show/hide task list window", platform::kModAlt | platform::kModShift, 'T'},
    {0xB002, "Create new task", platform::kModAlt | platform::kModShift, 'R'},
    {0xB003, "Show settings", platform::kModAlt | platform::kModShift, 'S'},
    {0xB004, "Stop current task", platform::kModAlt | platform::kModShift, 'P'},
}};

bool ParseNumber(const model::XmlNode& hotkey, const char* name, std::uint32_t& value)
{
    const std::optional<std::string> text = hotkey.GetChildValue(name);
    if (!text) {
        return false;
    }
    // As atoi reads it: a negative number wraps round into the unsigned field.
    value = static_cast<std::uint32_t>(model::ParseLeadingInt(*text));
    return true;
}

void SetError(std::string* error, const std::string& text)
{
    if (error != nullptr) {
        *error = text;
    }
}

} // namespace

bool LeavesTypingAlone(std::uint32_t modifiers)
{
    return (modifiers & (platform::kModAlt | platform::kModControl | platform::kModWin)) != 0;
}

fs::path HotkeysPath(const fs::path& dataFolder)
{
    return dataFolder / "hotkeys.xml";
}

// Each entry comes from the element at its position, whatever the element's name or id says.
bool ParseHotkeys(std::string_view text, std::array<HotkeyEntry, kHotkeyCount>& entries)
{
    model::XmlDocument document;
    if (!document.Load(text)) {
        return false;
    }
    const model::XmlNode* root = document.GetRoot();
    if (root == nullptr) {
        return false;
    }
    std::array<HotkeyEntry, kHotkeyCount> read;
    for (int i = 0; i < kHotkeyCount; ++i) {
        const model::XmlNode* hotkey = root->GetChild(i);
        HotkeyEntry& entry = read[static_cast<std::size_t>(i)];
        if (hotkey == nullptr || !ParseNumber(*hotkey, "id", entry.id) || !ParseNumber(*hotkey, "vk", entry.vk) ||
            !ParseNumber(*hotkey, "modifiers", entry.modifiers)) {
            return false;
        }
        entry.title = hotkey->GetChildValue("title").value_or(std::string());
    }
    entries = read;
    return true;
}

std::string HotkeysXml(const std::array<HotkeyEntry, kHotkeyCount>& entries)
{
    model::XmlDocument document;
    document.Load("<xml/>");
    model::XmlNode* root = document.GetRoot();
    for (const HotkeyEntry& entry : entries) {
        model::XmlNode& hotkey = root->AppendChild("hotkey");
        // Signed decimal text, as the numbers have always been written.
        hotkey.AppendChild("id", std::to_string(static_cast<std::int32_t>(entry.id)));
        hotkey.AppendChild("vk", std::to_string(static_cast<std::int32_t>(entry.vk)));
        hotkey.AppendChild("modifiers", std::to_string(static_cast<std::int32_t>(entry.modifiers)));
        hotkey.AppendChild("title", entry.title);
    }
    return document.GetXml();
}

CHotkeyTable::CHotkeyTable(fs::path dataFolder, platform::GlobalShortcuts& shortcuts)
    : m_dataFolder(std::move(dataFolder)), m_shortcuts(shortcuts)
{}

CHotkeyTable::~CHotkeyTable()
{
    UnregisterAll();
}

bool CHotkeyTable::LoadHotkeys(std::string* error)
{
    SetDefaultHotkeys();
    std::string text;
    if (!model::ReadTextFile(HotkeysPath(m_dataFolder), text)) {
        return true;
    }
    if (!ParseHotkeys(text, m_entries)) {
        SetError(error, HotkeysPath(m_dataFolder).string() + ": the file does not hold five hotkeys");
        return false;
    }
    return true;
}

bool CHotkeyTable::SaveHotkeys(std::string* error) const
{
    const std::string text = HotkeysXml(m_entries);
    // A title the writer cannot give back unchanged would turn into another table at the next start.
    std::array<HotkeyEntry, kHotkeyCount> check;
    if (!ParseHotkeys(text, check) || check != m_entries) {
        SetError(error, HotkeysPath(m_dataFolder).string() + ": the hotkeys cannot be written so that they read back");
        return false;
    }
    // Writers of the data folder hold its lock, which also lets them clear temporary files left by a crash.
    const model::FolderLock lock(m_dataFolder);
    if (!lock.Held()) {
        if (error != nullptr) {
            *error = lock.Error();
        }
        return false;
    }
    return model::WriteTextFile(HotkeysPath(m_dataFolder), text, error);
}

void CHotkeyTable::SetDefaultHotkeys()
{
    m_entries = kDefaults;
}

bool CHotkeyTable::RegisterAll()
{
    std::vector<platform::ShortcutBinding> bindings;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const HotkeyEntry& entry = m_entries[i];
        m_bindingIndex[i] = LeavesTypingAlone(entry.modifiers) ? static_cast<int>(bindings.size()) : -1;
        if (m_bindingIndex[i] >= 0) {
            bindings.push_back(
                {static_cast<int>(entry.id), QString::fromStdString(entry.title), entry.modifiers, entry.vk});
        }
    }
    m_shortcuts.RegisterAll(bindings);
    m_registered = true;
    for (int i = 0; i < kHotkeyCount; ++i) {
        if (StatusAt(i).state != platform::ShortcutState::Active) {
            return false;
        }
    }
    return true;
}

platform::ShortcutStatus CHotkeyTable::StatusAt(int position) const
{
    const int index = m_bindingIndex[static_cast<std::size_t>(position)];
    if (!m_registered || index < 0) {
        return {platform::ShortcutState::Off, {}};
    }
    return m_shortcuts.Status(static_cast<std::size_t>(index));
}

void CHotkeyTable::UnregisterAll()
{
    if (m_registered) {
        m_shortcuts.UnregisterAll();
        m_registered = false;
    }
}

HotkeyEntry* CHotkeyTable::At(int position)
{
    return position >= 0 && position < kHotkeyCount ? &m_entries[static_cast<std::size_t>(position)] : nullptr;
}

const HotkeyEntry* CHotkeyTable::At(int position) const
{
    return position >= 0 && position < kHotkeyCount ? &m_entries[static_cast<std::size_t>(position)] : nullptr;
}

HotkeyEntry* CHotkeyTable::FindById(std::uint32_t id)
{
    for (HotkeyEntry& entry : m_entries) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

int CHotkeyTable::FindCombination(std::uint32_t modifiers, std::uint32_t vk, int except) const
{
    for (int i = 0; i < kHotkeyCount; ++i) {
        const HotkeyEntry& entry = m_entries[static_cast<std::size_t>(i)];
        if (i != except && entry.modifiers == modifiers && entry.vk == vk) {
            return i;
        }
    }
    return -1;
}

QString CHotkeyTable::GetHotkeyText(const HotkeyEntry& entry)
{
    QString text;
    const std::pair<std::uint32_t, const char*> names[] = {{platform::kModControl, "Ctrl+"},
                                                           {platform::kModShift, "Shift+"},
                                                           {platform::kModAlt, "Alt+"},
                                                           {platform::kModWin, "Win+"}};
    for (const auto& [flag, name] : names) {
        if ((entry.modifiers & flag) != 0) {
            text += QLatin1String(name);
        }
    }
    // The key as the one character its code stands for.
    return text + QChar(static_cast<char16_t>(entry.vk & 0xFFFF));
}

QString CHotkeyTable::ShownText(int position) const
{
    const HotkeyEntry* entry = At(position);
    if (entry == nullptr) {
        return {};
    }
    const QString keys = GetHotkeyText(*entry);
    const platform::ShortcutStatus status = StatusAt(position);
    switch (status.state) {
    case platform::ShortcutState::Active:
        return status.trigger.isEmpty() ? keys : status.trigger;
    case platform::ShortcutState::Pending:
        return keys + QStringLiteral(" (waiting for the desktop)");
    case platform::ShortcutState::Off:
    case platform::ShortcutState::Unavailable:
        break;
    }
    return keys + QStringLiteral(" (unavailable)");
}

QString CHotkeyTable::ActiveText(std::uint32_t id) const
{
    for (int i = 0; i < kHotkeyCount; ++i) {
        if (m_entries[static_cast<std::size_t>(i)].id != id) {
            continue;
        }
        const platform::ShortcutStatus status = StatusAt(i);
        if (status.state != platform::ShortcutState::Active) {
            return {};
        }
        return status.trigger.isEmpty() ? GetHotkeyText(m_entries[static_cast<std::size_t>(i)]) : status.trigger;
    }
    return {};
}

} // namespace kelmora::hotkeys
