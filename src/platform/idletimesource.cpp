#include "idletimesource.h"

#include "idletimesource_backends.h"

#include <cstdlib>
#include <ctime>

namespace kelmora::platform {

namespace {

std::int64_t ReadClockMs(clockid_t clock)
{
    timespec now{};
    if (::clock_gettime(clock, &now) != 0) {
        return 0;
    }
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

} // namespace

std::int64_t SystemUptimeClocks::BootTimeMs() const
{
    return ReadClockMs(CLOCK_BOOTTIME);
}

std::int64_t SystemUptimeClocks::MonotonicMs() const
{
    return ReadClockMs(CLOCK_MONOTONIC);
}

std::unique_ptr<IdleTimeSource> ChooseIdleTimeSource(const IdleSourceCandidates& candidates)
{
    if (auto mutter = std::make_unique<MutterIdleTimeSource>(candidates.bus); mutter->IdleMs()) {
        return mutter;
    }
    if (candidates.tryWayland) {
        if (auto wayland = WaylandIdleTimeSource::Connect(candidates.waylandDisplay)) {
            return wayland;
        }
    }
    if (auto screenSaver = std::make_unique<ScreenSaverIdleTimeSource>(candidates.bus); screenSaver->IdleMs()) {
        return screenSaver;
    }
    if (candidates.tryX11) {
        if (auto x11 = X11IdleTimeSource::Connect(candidates.x11Display)) {
            return x11;
        }
    }
    return std::make_unique<NoIdleTimeSource>();
}

std::unique_ptr<IdleTimeSource> createIdleTimeSource()
{
    IdleSourceCandidates candidates;
    candidates.bus = QDBusConnection::sessionBus();
    // Under Wayland, XWayland's counter only sees input into X11 windows and would report a busy user as
    // idle; "none" is the honest answer there when no desktop service helps.
    const bool wayland =
        EnvironmentValue("XDG_SESSION_TYPE") == "wayland" || !EnvironmentValue("WAYLAND_DISPLAY").empty();
    candidates.tryWayland = !EnvironmentValue("WAYLAND_DISPLAY").empty();
    candidates.tryX11 = !wayland && !EnvironmentValue("DISPLAY").empty();
    return ChooseIdleTimeSource(candidates);
}

std::string DetectIdleTimeSourceName()
{
    return createIdleTimeSource()->Name();
}

} // namespace kelmora::platform
