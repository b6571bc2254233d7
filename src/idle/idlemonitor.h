#pragma once

#include "app/worker.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace kelmora::platform {
class IdleTimeSource;
class SettingsStore;
class UptimeClocks;
} // namespace kelmora::platform

namespace kelmora::idle {

// Watches the user's inactivity once a second and reports each stretch without input that outlasts the
// timeout: wParam 0 (lParam 0) when it begins, wParam 1 with its length in seconds when the user is back.
// "UseIdleDetection" and "Timeout" are read at every pass, so the Settings sheet's changes count at once.
// Time the machine spent suspended while the user was away counts as idle time.
class CIdleMonitor final : public app::CWorkerThread
{
public:
    using Post = std::function<void(std::int64_t wParam, std::int64_t lParam)>;

    // A missing (or non-positive) "Timeout": the two minutes the Timeouts page shows for it. Zero would
    // make every pause between two key presses an inactivity period.
    static constexpr std::int32_t kDefaultTimeoutSeconds = 120;
    // Clock drift between the two uptime clocks stays far below this; a real suspend does not.
    static constexpr std::int64_t kSuspendSlackMs = 2000;

    // All four must outlive the monitor. `post` is called on the monitor's thread.
    CIdleMonitor(platform::IdleTimeSource& source, platform::UptimeClocks& clocks,
                 const platform::SettingsStore& settings, Post post);
    ~CIdleMonitor() override;

    // One pass of the loop. Run calls it once a second; tests call it directly.
    void Pass();

protected:
    std::int32_t Run() override;

private:
    void Reset();

    platform::IdleTimeSource& m_source;
    platform::UptimeClocks& m_clocks;
    const platform::SettingsStore& m_settings;
    Post m_post;

    // Between an inactivity period's begin and end messages, m_watching is false.
    bool m_watching = true;
    // The idle time the source reported at the previous pass, if it answered.
    std::optional<std::int64_t> m_previousIdleMs;
    // Suspended time inside the current stretch without input that the source did not count itself.
    std::int64_t m_sleptMs = 0;
    std::optional<std::int64_t> m_previousBootMs;
    std::int64_t m_previousMonotonicMs = 0;
};

} // namespace kelmora::idle
