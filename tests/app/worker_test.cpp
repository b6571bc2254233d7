#include "app/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
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

// The usual loop: announce, then sleep-and-check until stopped.
struct Loop
{
    std::atomic<int> runs{0};
    std::atomic<int> steps{0};
    std::atomic<bool> localDestroyed{false};

    ScriptedWorker::Body Body()
    {
        return [this](ScriptedWorker& worker) {
            localDestroyed.store(false);
            // Owns nothing; its deleter tells when Run's stack has been unwound.
            const std::shared_ptr<void> local(nullptr, [this](void*) { localDestroyed.store(true); });
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
    auto worker = std::make_unique<ScriptedWorker>(loop.Body());
    worker->Stop(); // never started: nothing to do
    EXPECT_EQ(loop.runs.load(), 0);
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(WaitUntil([&] { return loop.runs.load() == 1; }));
    EXPECT_FALSE(worker->Start()) << "one thread at a time";
    std::this_thread::sleep_for(kReachWait);
    EXPECT_TRUE(worker->isRunning());
    EXPECT_FALSE(loop.localDestroyed.load());
    EXPECT_LT(TimeStop(*worker), kPrompt);
    EXPECT_FALSE(worker->isRunning());
    EXPECT_TRUE(loop.localDestroyed.load());
    EXPECT_EQ(worker->exitCode(), 5);
    // A stop right after the new start, before Run may even have begun, runs no step either.
    ASSERT_TRUE(worker->Start());
    EXPECT_LT(TimeStop(*worker), kPrompt);
    EXPECT_FALSE(worker->isRunning());
    const int runs = loop.runs.load();
    EXPECT_LE(runs, 2);
    EXPECT_EQ(loop.steps.load(), 0);

    // Destroying a running worker stops and joins its thread.
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(WaitUntil([&] { return loop.runs.load() == runs + 1; }));
    std::this_thread::sleep_for(kReachWait);
    const auto before = Clock::now();
    worker.reset();
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

// A Run that returns (or throws) by itself: Stop only reclaims the thread, and the worker can run again. A Stop
// from Run's own thread only asks (it must not wait for itself), and a sleep after it ends at once.
TEST(WorkerThread, RunThatEndsByItself_StopReclaims_ExitCodeKept_StartableAgain)
{
    for (const bool throws : {false, true}) {
        SCOPED_TRACE(throws);
        std::atomic<int> finished{0};
        std::atomic<bool> fullSleeps{false};
        std::atomic<bool> stopSeen{false};
        std::atomic<bool> sleptAfterStop{true};
        ScriptedWorker worker([&](ScriptedWorker& self) -> std::int32_t {
            if (throws) {
                ++finished;
                throw std::runtime_error("step failed");
            }
            fullSleeps.store(self.Sleep(1ms) && self.Sleep(0ms));
            self.Stop();
            stopSeen.store(self.StopSeen());
            sleptAfterStop.store(self.Sleep(kForever));
            ++finished;
            return 7;
        });
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(WaitUntil([&] { return finished.load() == 1; }));
        worker.Stop();
        EXPECT_FALSE(worker.isRunning());
        EXPECT_EQ(worker.exitCode(), throws ? 0 : 7);
        EXPECT_EQ(fullSleeps.load(), !throws);
        EXPECT_EQ(stopSeen.load(), !throws);
        EXPECT_TRUE(throws || !sleptAfterStop.load());
        worker.Stop();
        EXPECT_EQ(finished.load(), 1);
        ASSERT_TRUE(worker.Start());
        EXPECT_TRUE(WaitUntil([&] { return finished.load() == 2; }));
    }
}

} // namespace
} // namespace kelmora::app
