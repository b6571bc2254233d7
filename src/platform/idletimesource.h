#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kelmora::platform {

// How long the user has left keyboard and mouse alone. Desktops tell this in different ways, so the
// program picks a source once at start-up (createIdleTimeSource) and asks it about once a second from
// the idle monitor's thread. A source is used by one thread at a time.
class IdleTimeSource
{
public:
    virtual ~IdleTimeSource() = default;

    // Milliseconds since the last user input, or nothing when the source cannot tell right now (the
    // service went away, the display closed, or a compositor that only notifies has not said the user idles).
    virtual std::optional<std::int64_t> IdleMs() = 0;
    // The inactivity that counts, which the monitor hands over before each question. A source the desktop
    // notifies only once that time has passed registers it there; the others measure any length anyway.
    virtual void SetTimeoutMs(std::int64_t /*timeoutMs*/) {}
    // What the user is shown as the source in use: "GNOME Mutter IdleMonitor", "Wayland ext-idle-notify-v1",
    // "Wayland org_kde_kwin_idle", "freedesktop ScreenSaver", "X11 screen saver" or "none".
    virtual std::string Name() const = 0;
};

// The source for a desktop that offers none: idle detection then never reports an inactivity period.
class NoIdleTimeSource final : public IdleTimeSource
{
public:
    std::optional<std::int64_t> IdleMs() override { return std::nullopt; }
    std::string Name() const override { return "none"; }
};

// The boot-time clock keeps counting while the machine sleeps; the monotonic clock does not. Between two
// readings, the difference of their advances is the time spent suspended.
class UptimeClocks
{
public:
    virtual ~UptimeClocks() = default;
    virtual std::int64_t BootTimeMs() const = 0;
    virtual std::int64_t MonotonicMs() const = 0;
};

// CLOCK_BOOTTIME and CLOCK_MONOTONIC.
class SystemUptimeClocks final : public UptimeClocks
{
public:
    std::int64_t BootTimeMs() const override;
    std::int64_t MonotonicMs() const override;
};

// The first source that answers, in this order: GNOME Mutter's IdleMonitor on the session bus; the Wayland
// compositor's ext-idle-notify-v1, then its org_kde_kwin_idle; the freedesktop ScreenSaver service; the X11
// screen-saver extension (not inside a Wayland session, where it would only see the input of X11 programs);
// else NoIdleTimeSource. Called on the thread whose event loop is to serve a Wayland source.
std::unique_ptr<IdleTimeSource> createIdleTimeSource();

// The name of the source createIdleTimeSource would choose now, for showing in the settings.
std::string DetectIdleTimeSourceName();

} // namespace kelmora::platform
