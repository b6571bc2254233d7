#pragma once

#include "idletimesource.h"

#include <QDBusConnection>
#include <QString>

#include <memory>
#include <string>

namespace kelmora::platform {

// GNOME (Wayland and X11): org.gnome.Mutter.IdleMonitor GetIdletime on the core monitor object.
class MutterIdleTimeSource final : public IdleTimeSource
{
public:
    explicit MutterIdleTimeSource(QDBusConnection bus) : m_bus(std::move(bus)) {}
    std::optional<std::int64_t> IdleMs() override;
    std::string Name() const override { return "GNOME Mutter IdleMonitor"; }

private:
    QDBusConnection m_bus;
};

// KDE Plasma and others: org.freedesktop.ScreenSaver GetSessionIdleTime, in milliseconds.
class ScreenSaverIdleTimeSource final : public IdleTimeSource
{
public:
    explicit ScreenSaverIdleTimeSource(QDBusConnection bus) : m_bus(std::move(bus)) {}
    std::optional<std::int64_t> IdleMs() override;
    std::string Name() const override { return "freedesktop ScreenSaver"; }

private:
    QDBusConnection m_bus;
};

// Any X11 session: the MIT-SCREEN-SAVER extension's time since the last input, over a connection of its own.
class X11IdleTimeSource final : public IdleTimeSource
{
public:
    // Null when the display cannot be opened or lacks the extension. `display` empty: $DISPLAY.
    static std::unique_ptr<X11IdleTimeSource> Connect(const std::string& display = {});
    ~X11IdleTimeSource() override;
    std::optional<std::int64_t> IdleMs() override;
    std::string Name() const override { return "X11 screen saver"; }

private:
    struct Connection;
    explicit X11IdleTimeSource(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> m_connection;
};

// Where to look for a source; createIdleTimeSource fills it from the session.
struct IdleSourceCandidates
{
    QDBusConnection bus{QString()};
    bool tryX11 = false;
    std::string x11Display;
};

// The first candidate that answers a first question, in the order of createIdleTimeSource.
std::unique_ptr<IdleTimeSource> ChooseIdleTimeSource(const IdleSourceCandidates& candidates);

} // namespace kelmora::platform
