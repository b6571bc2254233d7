#pragma once

#include "idletimesource.h"

#include <QDBusConnection>
#include <QString>

#include <chrono>
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

// Wayland compositors tell idleness only by notification: "idled" once the user has left the seat alone for a
// registered time, "resumed" at the next input. Until "idled" the idle time is unknown (nothing); from then
// on it is the registered time plus the time since; after "resumed", zero once, which ends the inactivity
// period for the monitor. A suspend that begins before "idled" is not counted: the compositor's timer stops
// with the machine, and so nothing would end the period that the suspend alone would begin.
// Runs on its own connection; its events are read on the creating thread's Qt event loop, never blocking it.
class WaylandIdleTimeSource final : public IdleTimeSource
{
public:
    // Null when the display cannot be reached, does not answer within `wait`, or offers no seat or neither
    // protocol. `display` empty: $WAYLAND_DISPLAY (a name in $XDG_RUNTIME_DIR or an absolute path). The time
    // since "idled" is read from `clocks`' monotonic clock (null: the system's), which must outlive the source.
    static std::unique_ptr<WaylandIdleTimeSource> Connect(const std::string& display = {},
                                                          const UptimeClocks* clocks = nullptr,
                                                          std::chrono::milliseconds wait = std::chrono::seconds(2));
    ~WaylandIdleTimeSource() override;
    std::optional<std::int64_t> IdleMs() override;
    // Any thread; the registration itself happens on the event loop's thread, and while the user idles it
    // waits for "resumed", which the old registration still has to tell.
    void SetTimeoutMs(std::int64_t timeoutMs) override;
    std::string Name() const override;

private:
    struct Connection;
    explicit WaylandIdleTimeSource(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> m_connection;
};

// Where to look for a source; createIdleTimeSource fills it from the session.
struct IdleSourceCandidates
{
    QDBusConnection bus{QString()};
    bool tryWayland = false;
    std::string waylandDisplay;
    bool tryX11 = false;
    std::string x11Display;
};

// The first candidate that answers a first question, in the order of createIdleTimeSource.
std::unique_ptr<IdleTimeSource> ChooseIdleTimeSource(const IdleSourceCandidates& candidates);

} // namespace kelmora::platform
