#include "app/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
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

// Waits until the condition holds; false when it still does not after kGuard.
bool WaitUntil(const std::function<bool()>& condition)
{
    const auto deadline = Clock::now() + kGuard;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Runs the body a test gives it. Bodies keep their state outside the worker and the worker has no Stop of its
// own in its destructor, so the base destructor alone has to end a running one.
class ScriptedWorker final : public CWorkerThread
{
public:
    using Body = std::function<std::int32_t(ScriptedWorker&)>;
    explicit ScriptedWorker(Body body) : m_body(std::move(body)) {}
    bool Sleep(std::chrono::milliseconds duration) { return SleepFor(duration); }
    bool StopSeen() const { return stopRequested(); }

protected:
    std::int32_t Run() override
    {
        const Body body = m_body; // a copy on this thread's stack: the member may be gone while it sleeps
        return body(*this);
    }

private:
    Body m_body;
};

// Sets a flag when destroyed: a local object of Run.
class Probe
{
public:
    explicit Probe(std::atomic<bool>& destroyed) : m_destroyed(destroyed) { m_destroyed.store(false); }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    ~Probe() { m_destroyed.store(true); }

private:
    std::atomic<bool>& m_destroyed;
};

// The usual loop: announce, then sleep-and-check until stopped.
struct Loop
{
    std::atomic<int> runs{0};
    std::atomic<int> steps{0};
    std::atomic<bool> localDestroyed{false};

    ScriptedWorker::Body Body()
    {
        return [this](ScriptedWorker& worker) {
            Probe local(localDestroyed);
            ++runs;
            while (worker.Sleep(kForever)) {
                ++steps;
            }
            return 5;
        };
    }
};

Clock::duration TimeStop(CWorkerThread& worker)
{
    const auto before = Clock::now();
    worker.Stop();
    return Clock::now() - before;
}

TEST(WorkerThread, StopWakesTheSleepingLoop_RunEndsNormally_AndTheWorkerStartsAgain)
{
    Loop loop;
    ScriptedWorker worker(loop.Body());
    worker.Stop(); // never started: nothing to do
    EXPECT_EQ(loop.runs.load(), 0);
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return loop.runs.load() == round; }));
        EXPECT_FALSE(worker.Start()) << "one thread at a time";
        std::this_thread::sleep_for(kReachWait);
        EXPECT_TRUE(worker.isRunning());
        EXPECT_FALSE(loop.localDestroyed.load());
        EXPECT_LT(TimeStop(worker), kPrompt);
        EXPECT_FALSE(worker.isRunning());
        EXPECT_TRUE(loop.localDestroyed.load());
        EXPECT_EQ(worker.exitCode(), 5);
    }
    // A stop right after the start, before Run may even have begun, runs no step either.
    ASSERT_TRUE(worker.Start());
    EXPECT_LT(TimeStop(worker), kPrompt);
    EXPECT_FALSE(worker.isRunning());
    EXPECT_LE(loop.runs.load(), 3);
    EXPECT_EQ(loop.steps.load(), 0);
}

TEST(WorkerThread, DestroyingARunningWorker_StopsAndJoinsItsThread)
{
    Loop loop;
    const auto before = Clock::now();
    {
        ScriptedWorker worker(loop.Body());
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return loop.runs.load() == 1; }));
        std::this_thread::sleep_for(kReachWait);
    }
    EXPECT_LT(Clock::now() - before, kPrompt);
    EXPECT_TRUE(loop.localDestroyed.load());
}

TEST(WorkerThread, StopDuringAStep_LetsTheStepFinish_ButNoFurtherStepRuns)
{
    std::atomic<int> steps{0};
    std::atomic<bool> open{false};
    ScriptedWorker worker([&](ScriptedWorker& self) {
        do {
            ++steps;
            WaitUntil([&] { return open.load(); });
        } while (self.Sleep(kForever));
        return 0;
    });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return steps.load() == 1; }));
    const auto before = Clock::now();
    std::thread stopper([&] { worker.Stop(); });
    std::this_thread::sleep_for(kReachWait);
    open.store(true);
    stopper.join();
    EXPECT_LT(Clock::now() - before, kPrompt);
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(steps.load(), 1);
}

// A Run that returns (or throws) by itself: Stop only reclaims the thread, and the worker can run again.
TEST(WorkerThread, RunThatEndsByItself_StopReclaims_ExitCodeKept_StartableAgain)
{
    for (const bool throws : {false, true}) {
        SCOPED_TRACE(throws);
        std::atomic<int> finished{0};
        ScriptedWorker worker([&](ScriptedWorker&) -> std::int32_t {
            ++finished;
            if (throws) {
                throw std::runtime_error("step failed");
            }
            return 7;
        });
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return finished.load() == 1; }));
        worker.Stop();
        EXPECT_FALSE(worker.isRunning());
        EXPECT_EQ(worker.exitCode(), throws ? 0 : 7);
        worker.Stop();
        EXPECT_EQ(finished.load(), 1);
        ASSERT_TRUE(worker.Start());
        EXPECT_TRUE(WaitUntil([&] { return finished.load() == 2; }));
    }
}

TEST(WorkerThread, SleepReportsWhetherTheFullTimePassed_StopFromRunsOwnThreadOnlyAsks)
{
    std::atomic<int> finished{0};
    std::atomic<bool> fullSleep{false};
    std::atomic<bool> zeroSleep{false};
    std::atomic<bool> stopSeen{false};
    std::atomic<bool> sleptAfterStop{true};
    ScriptedWorker worker([&](ScriptedWorker& self) {
        fullSleep.store(self.Sleep(1ms));
        zeroSleep.store(self.Sleep(0ms));
        self.Stop(); // must not wait for its own thread
        stopSeen.store(self.StopSeen());
        sleptAfterStop.store(self.Sleep(kForever));
        ++finished;
        return 3;
    });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(WaitUntil([&] { return finished.load() == 1; }));
    worker.Stop();
    EXPECT_TRUE(fullSleep.load());
    EXPECT_TRUE(zeroSleep.load());
    EXPECT_TRUE(stopSeen.load());
    EXPECT_FALSE(sleptAfterStop.load());
    EXPECT_EQ(worker.exitCode(), 3);
}

} // namespace
} // namespace kelmora::app
