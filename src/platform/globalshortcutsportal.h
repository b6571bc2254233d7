#pragma once

#include "platform/globalshortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <vector>

namespace kelmora::platform {

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut);

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
inline constexpr const char* kGlobalShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
inline constexpr const char* kPortalRequestInterface = "org.freedesktop.portal.Request";
inline constexpr const char* kPortalSessionInterface = "org.freedesktop.portal.Session";

// Shortcuts through the xdg-desktop-portal GlobalShortcuts interface (Wayland desktops). The desktop owns
// the keys: our combinations go along as preferred triggers, the desktop may show the user a dialog, and
// what it reports back as the trigger is what the status carries. Every answer arrives later, so a
// RegisterAll leaves each binding Pending until the desktop's response.
class PortalGlobalShortcuts final : public GlobalShortcuts
{
    Q_OBJECT

public:
    explicit PortalGlobalShortcuts(QDBusConnection bus, QString service = QString::fromLatin1(kPortalService));
    ~PortalGlobalShortcuts() override;

    // Whether `service` on `bus` offers the GlobalShortcuts interface (it has a version).
    static bool IsOffered(const QDBusConnection& bus, const QString& service = QString::fromLatin1(kPortalService));

    QString BackendName() const override { return QStringLiteral("desktop portal"); }
    void RegisterAll(const std::vector<ShortcutBinding>& bindings) override;
    void UnregisterAll() override;

    // The session the shortcuts are bound in; empty while there is none.
    QString SessionHandle() const { return m_session; }

private slots:
    void OnResponse(uint response, const QVariantMap& results);
    void OnActivated(const QDBusMessage& message);
    void OnShortcutsChanged(const QDBusMessage& message);

private:
    enum class Step
    {
        Idle,
        CreatingSession,
        Binding,
    };

    // Calls `method` and takes its Response on the request path the portal derives from our token.
    void Request(const QString& method, const QVariantList& arguments, QVariantMap options);
    void Bind();
    void ApplyShortcuts(const PortalShortcutList& shortcuts);
    void Fail();
    void CloseSession();
    void DropRequest();

    QDBusConnection m_bus;
    QString m_service;
    std::vector<ShortcutBinding> m_bindings;
    Step m_step = Step::Idle;
    QString m_requestPath;
    QString m_session;
    std::uint32_t m_nextToken = 0;
};

} // namespace kelmora::platform

Q_DECLARE_METATYPE(kelmora::platform::PortalShortcut)
Q_DECLARE_METATYPE(kelmora::platform::PortalShortcutList)
