#include "clock.h"

#include <atomic>
#include <chrono>

namespace kelmora::model {

namespace {

const SystemClock g_systemClock;
// Read from background loops as well as the UI thread, hence atomic.
std::atomic<const Clock*> g_current{&g_systemClock};

} // namespace

std::int64_t SystemClock::NowUnixMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

const Clock& Clock::Current()
{
    return *g_current.load(std::memory_order_acquire);
}

const Clock* Clock::Install(const Clock* clock)
{
    return g_current.exchange(clock != nullptr ? clock : &g_systemClock, std::memory_order_acq_rel);
}

} // namespace kelmora::model
