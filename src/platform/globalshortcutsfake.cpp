#include "platform/globalshortcutsfake.h"

namespace kelmora::platform {

void FakeGlobalShortcuts::RegisterAll(const std::vector<ShortcutBinding>& bindings)
{
    ++m_registerCount;
    m_bindings = bindings;
    std::vector<ShortcutStatus> status(bindings.size());
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        const bool held = m_held.count({bindings[i].modifiers, bindings[i].key}) != 0;
        status[i].state =
            held || EarlierDuplicate(bindings, i) >= 0 ? ShortcutState::Unavailable : ShortcutState::Active;
    }
    SetStatuses(std::move(status));
}

void FakeGlobalShortcuts::UnregisterAll()
{
    ++m_unregisterCount;
    m_bindings.clear();
    SetStatuses({});
}

bool FakeGlobalShortcuts::Press(std::uint32_t modifiers, std::uint32_t key)
{
    for (std::size_t i = 0; i < m_bindings.size(); ++i) {
        if (m_bindings[i].modifiers == modifiers && m_bindings[i].key == key &&
            Status(i).state == ShortcutState::Active) {
            emit activated(m_bindings[i].id);
            return true;
        }
    }
    return false;
}

} // namespace kelmora::platform
