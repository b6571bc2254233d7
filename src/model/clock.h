#pragma once

#include <cstdint>

namespace kelmora::model {

// Every "now" in the program is read through Clock so that tests can pin it. The installed clock is
// process-wide; Install() returns the previous one so a scoped guard can put it back.
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds since 1970-01-01 00:00:00 UTC.
    virtual std::int64_t NowUnixMs() const = 0;

    static const Clock& Current();
    // Makes `clock` current (nullptr restores the system clock) and returns the clock that was current.
    // The caller keeps ownership and must keep the clock alive while it is installed.
    static const Clock* Install(const Clock* clock);
};

class SystemClock final : public Clock
{
public:
    std::int64_t NowUnixMs() const override;
};

} // namespace kelmora::model
