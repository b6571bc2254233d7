#include "idletimesource_backends.h"

#include <QDBusMessage>

namespace kelmora::platform {

namespace {

// A desktop service that does not answer within this time counts as not there; the monitor asks again
// a second later.
constexpr int kCallTimeoutMs = 500;

std::optional<std::int64_t> CallForMs(const QDBusConnection& bus, const QString& service, const QString& path,
                                      const QString& interface, const QString& method)
{
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return std::nullopt;
    }
    bool ok = false;
    const qulonglong ms = reply.arguments().constFirst().toULongLong(&ok);
    // Larger values than a few years would be garbage; refuse them rather than wrap.
    if (!ok || ms > (qulonglong{1} << 40)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(ms);
}

} // namespace

std::optional<std::int64_t> MutterIdleTimeSource::IdleMs()
{
    return CallForMs(m_bus, QStringLiteral("org.gnome.Mutter.IdleMonitor"),
                     QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
                     QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("GetIdletime"));
}

std::optional<std::int64_t> ScreenSaverIdleTimeSource::IdleMs()
{
    return CallForMs(m_bus, QStringLiteral("org.freedesktop.ScreenSaver"),
                     QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
                     QStringLiteral("GetSessionIdleTime"));
}

} // namespace kelmora::platform
