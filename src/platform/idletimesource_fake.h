#pragma once

#include "idletimesource.h"

#include <atomic>

namespace kelmora::platform {

// An idle time set by the test; -1 stands for "cannot tell". Safe to set while a monitor thread reads it.
class FakeIdleTimeSource final : public IdleTimeSource
{
public:
    std::optional<std::int64_t> IdleMs() override
    {
        const std::int64_t ms = m_idleMs.load();
        return ms < 0 ? std::nullopt : std::optional<std::int64_t>(ms);
    }
    std::string Name() const override { return "fake"; }

    void SetIdleMs(std::int64_t ms) { m_idleMs.store(ms); }
    // Time passes without input.
    void Advance(std::int64_t ms) { m_idleMs.fetch_add(ms); }

private:
    std::atomic<std::int64_t> m_idleMs{0};
};

// Uptime clocks that move only when told; Suspend moves the boot-time clock alone.
class FakeUptimeClocks final : public UptimeClocks
{
public:
    std::int64_t BootTimeMs() const override { return m_boot.load(); }
    std::int64_t MonotonicMs() const override { return m_monotonic.load(); }

    void Advance(std::int64_t ms)
    {
        m_boot.fetch_add(ms);
        m_monotonic.fetch_add(ms);
    }
    void Suspend(std::int64_t ms) { m_boot.fetch_add(ms); }

private:
    std::atomic<std::int64_t> m_boot{1'000'000};
    std::atomic<std::int64_t> m_monotonic{1'000'000};
};

} // namespace kelmora::platform
