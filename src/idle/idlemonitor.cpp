#include "idlemonitor.h"

#include "platform/idletimesource.h"
#include "platform/settingsstore.h"

#include <algorithm>
#include <chrono>

namespace kelmora::idle {

CIdleMonitor::CIdleMonitor(platform::IdleTimeSource& source, platform::UptimeClocks& clocks,
                           const platform::SettingsStore& settings, Post post)
    : m_source(source), m_clocks(clocks), m_settings(settings), m_post(std::move(post))
{}

CIdleMonitor::~CIdleMonitor()
{
    // Run uses this object's members, which are gone by the time the base destructor stops the thread.
    Stop();
}

std::int32_t CIdleMonitor::Run()
{
    while (SleepFor(std::chrono::seconds(1))) {
        Pass();
    }
    return 0;
}

void CIdleMonitor::Reset()
{
    m_watching = true;
    m_previousIdleMs.reset();
    m_sleptMs = 0;
}

void CIdleMonitor::Pass()
{
    const std::int64_t bootMs = m_clocks.BootTimeMs();
    const std::int64_t monotonicMs = m_clocks.MonotonicMs();
    std::int64_t suspendedMs = 0;
    std::int64_t monotonicAdvanceMs = 0;
    if (m_previousBootMs) {
        monotonicAdvanceMs = monotonicMs - m_previousMonotonicMs;
        suspendedMs = (bootMs - *m_previousBootMs) - monotonicAdvanceMs;
        if (suspendedMs < kSuspendSlackMs) {
            suspendedMs = 0;
        }
    }
    m_previousBootMs = bootMs;
    m_previousMonotonicMs = monotonicMs;

    // Switching detection off forgets a stretch in progress instead of reporting it later.
    if (platform::GetSetting(m_settings, platform::setting::kUseIdleDetection) == 0) {
        Reset();
        return;
    }
    std::int32_t timeoutSeconds = m_settings.GetSetting(platform::setting::kTimeoutInIdleMonitor.name, 0);
    if (timeoutSeconds <= 0) {
        timeoutSeconds = kDefaultTimeoutSeconds;
    }
    m_source.SetTimeoutMs(std::int64_t{timeoutSeconds} * 1000);
    const std::optional<std::int64_t> measured = m_source.IdleMs();
    if (!measured) {
        return;
    }
    const std::int64_t idleMs = *measured;
    const bool inputSeen = m_previousIdleMs && idleMs < *m_previousIdleMs;

    if (inputSeen) {
        // The stretch that just ended lasted as long as last seen, plus any sleep since: the input came
        // after the wake-up, and a source that counts sleep has just been reset by that input.
        const std::int64_t stretchMs = *m_previousIdleMs + m_sleptMs + suspendedMs;
        const bool overTimeout = stretchMs / 1000 > timeoutSeconds;
        if (m_watching && overTimeout) {
            // Only the suspend carried it over the timeout: its begin was never seen.
            m_post(0, 0);
        }
        if (!m_watching || overTimeout) {
            m_post(1, stretchMs / 1000);
        }
        m_watching = true;
        m_sleptMs = 0;
    } else if (suspendedMs > 0 && m_previousIdleMs) {
        // Some sources keep counting while the machine sleeps; only the part of the sleep that the source's
        // own figure did not grow by is added.
        const std::int64_t countedBySource = std::max<std::int64_t>(0, idleMs - *m_previousIdleMs - monotonicAdvanceMs);
        m_sleptMs += std::max<std::int64_t>(0, suspendedMs - countedBySource);
    }
    m_previousIdleMs = idleMs;

    const std::int64_t effectiveMs = idleMs + m_sleptMs;
    if (m_watching && effectiveMs / 1000 > timeoutSeconds) {
        m_post(0, 0);
        m_watching = false;
    }
}

} // namespace kelmora::idle
