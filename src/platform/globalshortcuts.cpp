#include "platform/globalshortcuts.h"

#include "platform/globalshortcutsportal.h"
#include "platform/globalshortcutsx11.h"

#include <QDBusConnection>
#include <QGuiApplication>

namespace kelmora::platform {

ShortcutStatus GlobalShortcuts::Status(std::size_t index) const
{
    return index < m_status.size() ? m_status[index] : ShortcutStatus{};
}

void GlobalShortcuts::SetStatuses(std::vector<ShortcutStatus> status)
{
    m_status = std::move(status);
    emit statusChanged();
}

int EarlierDuplicate(const std::vector<ShortcutBinding>& bindings, std::size_t index)
{
    for (std::size_t i = 0; i < index && index < bindings.size(); ++i) {
        if (bindings[i].modifiers == bindings[index].modifiers && bindings[i].key == bindings[index].key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QString PortalTrigger(std::uint32_t modifiers, std::uint32_t key)
{
    QString trigger;
    const std::pair<std::uint32_t, const char*> names[] = {
        {kModControl, "CTRL+"}, {kModShift, "SHIFT+"}, {kModAlt, "ALT+"}, {kModWin, "LOGO+"}};
    for (const auto& [flag, name] : names) {
        if ((modifiers & flag) != 0) {
            trigger += QLatin1String(name);
        }
    }
    if (key >= 'A' && key <= 'Z') {
        return trigger + QChar(static_cast<char16_t>(key - 'A' + 'a'));
    }
    if (key >= '0' && key <= '9') {
        return trigger + QChar(static_cast<char16_t>(key));
    }
    return {};
}

void NoGlobalShortcuts::RegisterAll(const std::vector<ShortcutBinding>& bindings)
{
    SetStatuses(std::vector<ShortcutStatus>(bindings.size(), ShortcutStatus{ShortcutState::Unavailable, {}}));
}

void NoGlobalShortcuts::UnregisterAll()
{
    SetStatuses({});
}

std::unique_ptr<GlobalShortcuts> createGlobalShortcuts()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (auto x11 = X11GlobalShortcuts::Create()) {
            return x11;
        }
    }
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (PortalGlobalShortcuts::IsOffered(bus)) {
        return std::make_unique<PortalGlobalShortcuts>(bus);
    }
    return std::make_unique<NoGlobalShortcuts>();
}

} // namespace kelmora::platform
