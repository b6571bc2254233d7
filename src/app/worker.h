#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>

namespace kelmora::app {

// Base of the long-lived background loops (idle monitor, reminder loop, the reminder's auto-close timer).
// A subclass overrides Run and sleeps only through SleepFor, which Stop interrupts:
//
//     std::int32_t Run() override
//     {
//         while (SleepFor(std::chrono::seconds(1))) {
//             check();
//         }
//         return 0;
//     }
//
// Stop returns as soon as the step in progress (if any) is done; no further step runs, and Run returns
// normally, so its local objects are destroyed as usual.
//
// Start and Stop belong to the thread that owns the worker. A subclass whose Run uses the subclass's own
// members calls Stop in its destructor: by the time this base destructor stops the thread, those members are
// gone.
class CWorkerThread
{
public:
    CWorkerThread() = default;
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;
    // Stops and joins the thread.
    virtual ~CWorkerThread();

    // Runs Run on a new thread. False, and nothing started, while a thread of this worker still runs Run.
    // A stopped (or finished) worker may be started again.
    bool Start();
    // Asks Run to end, wakes it from SleepFor and waits until its thread has ended. Does nothing when no
    // thread was started. Called from Run's own thread it only asks: a thread cannot wait for itself.
    void Stop();

    // True from Start until Run has returned.
    bool isRunning() const { return m_running.load(); }
    // What the last completed Run returned; 0 when it ended by an exception or never began.
    std::int32_t exitCode() const { return m_exitCode.load(); }

protected:
    // The loop. Call SleepFor instead of sleeping, and return once it reports false.
    virtual std::int32_t Run() = 0;

    // Waits for `duration` unless a stop is asked for first. True when the full time passed; false as soon as
    // Stop is called (and at once when it already was). Only for Run's own thread.
    bool SleepFor(std::chrono::milliseconds duration);
    // True once Stop has been called for the current run. Only for Run's own thread.
    bool stopRequested() const;

private:
    void threadMain(std::stop_token token);

    std::jthread m_thread;
    // The running thread's own stop token, set by that thread before Run; read by SleepFor.
    std::stop_token m_token;
    // Stop asks for the stop while holding it, so a SleepFor about to wait cannot miss the wake-up; and a new
    // thread takes it first thing, so it cannot see m_thread before Start has finished storing it.
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::atomic<bool> m_running{false};
    std::atomic<std::int32_t> m_exitCode{0};
};

} // namespace kelmora::app
