#include "worker.h"

#include <algorithm>

namespace kelmora::app {

CWorkerThread::~CWorkerThread()
{
    Stop();
}

bool CWorkerThread::Start()
{
    if (m_running.load()) {
        return false;
    }
    if (m_thread.joinable()) {
        // A previous run that ended by itself: its thread has finished, joining only reclaims it.
        m_thread.join();
    }
    m_running.store(true);
    // The new thread starts inside the jthread constructor, before the assignment; it takes this lock before
    // anything else, so a Stop from within Run finds m_thread complete.
    std::lock_guard lock(m_mutex);
    m_thread = std::jthread([this](std::stop_token token) { threadMain(std::move(token)); });
    return true;
}

void CWorkerThread::Stop()
{
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_thread.request_stop();
    }
    if (m_thread.get_id() == std::this_thread::get_id()) {
        return;
    }
    m_thread.join();
}

bool CWorkerThread::SleepFor(std::chrono::milliseconds duration)
{
    // Keeps the deadline computed inside the wait representable.
    constexpr std::chrono::milliseconds kLongest = std::chrono::hours(24 * 365);
    duration = std::clamp(duration, std::chrono::milliseconds::zero(), kLongest);
    std::unique_lock lock(m_mutex);
    // The predicate, not only the token's own wake-up, decides: a stop asked for between the start of this
    // call and the wait is seen under the lock and ends the wait at once.
    m_wake.wait_for(lock, m_token, duration, [this] { return m_token.stop_requested(); });
    return !m_token.stop_requested();
}

bool CWorkerThread::stopRequested() const
{
    return m_token.stop_requested();
}

void CWorkerThread::threadMain(std::stop_token token)
{
    {
        std::lock_guard lock(m_mutex);
        m_token = std::move(token);
    }
    std::int32_t result = 0;
    // A Stop that came before the thread got going means no step of the loop runs at all.
    if (!stopRequested()) {
        // Nothing may leave the thread: an escaping exception would end the whole program.
        try {
            result = Run();
        } catch (...) {
            result = 0;
        }
    }
    m_exitCode.store(result);
    m_running.store(false);
}

} // namespace kelmora::app
