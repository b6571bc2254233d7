#include "app/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace kelmora::app {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Longer than any test run: a loop that is still in SleepFor(kForever) when the test ends was not woken.
constexpr auto kForever = std::chrono::duration_cast<std::chrono::milliseconds>(24h);
// Only a guard against a hang; a passing test never waits this long.
constexpr auto kGuard = 10s;
// What counts as prompt for Stop, far below kForever and generous for a loaded sanitizer build.
constexpr auto kPrompt = 5s;
// Lets a thread that has just announced itself reach the wait that follows.
constexpr auto kReachWait = 20ms;

// Counts events on one thread and lets another wait for a count.
class Counter
{
public:
    void increment()
    {
        {
            std::lock_guard lock(m_mutex);
            ++m_value;
        }
        m_changed.notify_all();
    }
    bool waitFor(int value)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kGuard, [&] { return m_value >= value; });
    }
    int value() const
    {
        std::lock_guard lock(m_mutex);
        return m_value;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_value = 0;
};

// Sets a flag when destroyed: a local object of Run.
class Probe
{
public:
    explicit Probe(std::atomic<bool>& destroyed) : m_destroyed(destroyed) {}
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    ~Probe() { m_destroyed.store(true); }

private:
    std::atomic<bool>& m_destroyed;
};

// The usual loop: announce, then sleep-and-check until stopped.
class LoopWorker : public CWorkerThread
{
public:
    ~LoopWorker() override { Stop(); }

    Counter runs;
    std::atomic<int> steps{0};
    std::atomic<bool> localDestroyed{false};

protected:
    std::int32_t Run() override
    {
        localDestroyed.store(false);
        Probe local(localDestroyed);
        runs.increment();
        while (SleepFor(kForever)) {
            ++steps;
        }
        return 5;
    }
};

std::chrono::milliseconds timeStop(CWorkerThread& worker)
{
    const auto before = Clock::now();
    worker.Stop();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before);
}

TEST(WorkerThread, StopWhileRunSleeps_ReturnsPromptly_AndRunEndsNormally)
{
    LoopWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.runs.waitFor(1));
    std::this_thread::sleep_for(kReachWait);
    EXPECT_TRUE(worker.isRunning());
    EXPECT_FALSE(worker.localDestroyed.load());

    EXPECT_LT(timeStop(worker), kPrompt);
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(worker.steps.load(), 0);
    EXPECT_TRUE(worker.localDestroyed.load());
    EXPECT_EQ(worker.exitCode(), 5);
}

// Each step blocks until the test lets it go, so a stop can be asked for in the middle of a step.
class GatedWorker : public CWorkerThread
{
public:
    ~GatedWorker() override { Stop(); }

    void openGate()
    {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_gate.notify_all();
    }

    Counter steps;

protected:
    std::int32_t Run() override
    {
        do {
            steps.increment();
            std::unique_lock lock(m_mutex);
            m_gate.wait(lock, [&] { return m_open; });
        } while (SleepFor(kForever));
        return 0;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_gate;
    bool m_open = false;
};

TEST(WorkerThread, StopDuringAStep_LetsTheStepFinish_ButNoFurtherStepRuns)
{
    GatedWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.steps.waitFor(1));
    const auto before = Clock::now();
    std::thread stopper([&] { worker.Stop(); });
    std::this_thread::sleep_for(kReachWait);
    worker.openGate();
    stopper.join();
    EXPECT_LT(Clock::now() - before, kPrompt);
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(worker.steps.value(), 1);
}

class ReturningWorker : public CWorkerThread
{
public:
    ~ReturningWorker() override { Stop(); }

    Counter finished;

protected:
    std::int32_t Run() override
    {
        finished.increment();
        return 7;
    }
};

TEST(WorkerThread, StopAfterRunReturned_JustReclaimsTheThread)
{
    ReturningWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.finished.waitFor(1));
    worker.Stop();
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(worker.exitCode(), 7);
    worker.Stop();
    EXPECT_EQ(worker.finished.value(), 1);
}

TEST(WorkerThread, FinishedWorker_CanBeStartedAgainWithoutStop)
{
    ReturningWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.finished.waitFor(1));
    worker.Stop();
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.finished.waitFor(2));
}

TEST(WorkerThread, StartAfterStop_RunsTheLoopAgain)
{
    LoopWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.runs.waitFor(1));
    worker.Stop();
    EXPECT_TRUE(worker.localDestroyed.load());

    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.runs.waitFor(2));
    EXPECT_TRUE(worker.isRunning());
    std::this_thread::sleep_for(kReachWait);
    EXPECT_FALSE(worker.localDestroyed.load());
    EXPECT_LT(timeStop(worker), kPrompt);
    EXPECT_TRUE(worker.localDestroyed.load());
    EXPECT_EQ(worker.runs.value(), 2);
    EXPECT_EQ(worker.steps.load(), 0);
}

TEST(WorkerThread, StartWhileRunning_IsRefused)
{
    LoopWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.runs.waitFor(1));
    EXPECT_FALSE(worker.Start());
    worker.Stop();
    EXPECT_EQ(worker.runs.value(), 1);
}

TEST(WorkerThread, StopRightAfterStart_RunsNoStep)
{
    LoopWorker worker;
    ASSERT_TRUE(worker.Start());
    EXPECT_LT(timeStop(worker), kPrompt);
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(worker.steps.load(), 0);
    EXPECT_LE(worker.runs.value(), 1);
}

TEST(WorkerThread, StopWithoutStart_DoesNothing)
{
    LoopWorker worker;
    worker.Stop();
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(worker.runs.value(), 0);
}

// Relies on the base destructor alone: Run touches nothing of the subclass once it sleeps.
class UnstoppedWorker : public CWorkerThread
{
public:
    UnstoppedWorker(Counter& started, std::atomic<bool>& localDestroyed)
        : m_started(started), m_localDestroyed(localDestroyed)
    {}

protected:
    std::int32_t Run() override
    {
        Probe local(m_localDestroyed);
        m_started.increment();
        while (SleepFor(kForever)) {
        }
        return 0;
    }

private:
    Counter& m_started;
    std::atomic<bool>& m_localDestroyed;
};

TEST(WorkerThread, DestroyingARunningWorker_StopsAndJoinsItsThread)
{
    Counter started;
    std::atomic<bool> localDestroyed{false};
    const auto before = Clock::now();
    {
        UnstoppedWorker worker(started, localDestroyed);
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(started.waitFor(1));
        std::this_thread::sleep_for(kReachWait);
    }
    EXPECT_LT(Clock::now() - before, kPrompt);
    EXPECT_TRUE(localDestroyed.load());
}

class ThrowingWorker : public CWorkerThread
{
public:
    ~ThrowingWorker() override { Stop(); }

    Counter runs;

protected:
    std::int32_t Run() override
    {
        runs.increment();
        throw std::runtime_error("step failed");
    }
};

TEST(WorkerThread, ExceptionFromRun_EndsOnlyThatThread)
{
    ThrowingWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.runs.waitFor(1));
    worker.Stop();
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(worker.exitCode(), 0);
    ASSERT_TRUE(worker.Start());
    EXPECT_TRUE(worker.runs.waitFor(2));
}

// Stops itself from inside Run, as a loop that decides it is done might.
class SelfStoppingWorker : public CWorkerThread
{
public:
    ~SelfStoppingWorker() override { Stop(); }

    Counter finished;
    std::atomic<bool> sleptAfterStop{true};
    std::atomic<bool> stopSeen{false};

protected:
    std::int32_t Run() override
    {
        Stop();
        stopSeen.store(stopRequested());
        sleptAfterStop.store(SleepFor(kForever));
        finished.increment();
        return 3;
    }
};

TEST(WorkerThread, StopFromRunsOwnThread_EndsTheLoopWithoutWaitingForItself)
{
    SelfStoppingWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.finished.waitFor(1));
    worker.Stop();
    EXPECT_TRUE(worker.stopSeen.load());
    EXPECT_FALSE(worker.sleptAfterStop.load());
    EXPECT_EQ(worker.exitCode(), 3);
}

class ShortSleepWorker : public CWorkerThread
{
public:
    ~ShortSleepWorker() override { Stop(); }

    Counter finished;
    std::atomic<bool> fullSleep{false};
    std::atomic<bool> zeroSleep{false};

protected:
    std::int32_t Run() override
    {
        fullSleep.store(SleepFor(1ms));
        zeroSleep.store(SleepFor(0ms));
        finished.increment();
        return 0;
    }
};

TEST(WorkerThread, SleepWithoutStop_ReportsTheFullTimePassed)
{
    ShortSleepWorker worker;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.finished.waitFor(1));
    worker.Stop();
    EXPECT_TRUE(worker.fullSleep.load());
    EXPECT_TRUE(worker.zeroSleep.load());
}

} // namespace
} // namespace kelmora::app
