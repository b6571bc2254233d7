#pragma once

#include "platform/globalshortcuts.h"

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace kelmora::platform {

// Shortcuts for tests: registers at once, refuses the combinations a test says another program holds, and
// presses a combination on request.
class FakeGlobalShortcuts final : public GlobalShortcuts
{
    Q_OBJECT

public:
    QString BackendName() const override { return QStringLiteral("fake"); }
    void RegisterAll(const std::vector<ShortcutBinding>& bindings) override;
    void UnregisterAll() override;

    // Another program holds this combination from now on.
    void Hold(std::uint32_t modifiers, std::uint32_t key) { m_held.insert({modifiers, key}); }
    // As if the user pressed the combination: emits `activated` for an active binding of it. False when none.
    bool Press(std::uint32_t modifiers, std::uint32_t key);

    const std::vector<ShortcutBinding>& Registered() const { return m_bindings; }
    int RegisterCount() const { return m_registerCount; }
    int UnregisterCount() const { return m_unregisterCount; }

private:
    std::vector<ShortcutBinding> m_bindings;
    std::set<std::pair<std::uint32_t, std::uint32_t>> m_held;
    int m_registerCount = 0;
    int m_unregisterCount = 0;
};

} // namespace kelmora::platform
