// The reminder's once-a-second check over a data folder of 1,000 tasks x 1,000 intervals.
#include "benchdata.h"

#include "idle/reminder.h"
#include "model/taskstore.h"
#include "platform/fakesettingsstore.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using namespace kelmora;

model::TaskStore& Store()
{
    return bench::GeneratedStore();
}

// A whole pass while no task is current, with the files unchanged since the previous pass: the steady
// state of a program that runs with nothing tracked. With `touch`, the folder's times move before each pass,
// as any saved file moves them, so every pass looks at all task files again.
void ReminderPass(benchmark::State& state, bool touch)
{
    platform::FakeSettingsStore settings;
    // Never due, so every pass does the full check and no question is left waiting.
    settings.SetSetting("RemindTimeout", 1'000'000'000);
    idle::IdleContext context{Store(),
                              settings,
                              [] { return std::int32_t{-1}; },
                              [](std::int32_t) {},
                              [](app::Message, std::int64_t, std::int64_t) {},
                              [](QWidget*, const QString&, const QString&) {}};
    int asked = 0;
    idle::CReminderMonitor monitor(context, [&asked] { ++asked; });
    monitor.Begin();
    monitor.Pass();
    for (auto _ : state) {
        if (touch) {
            state.PauseTiming();
            ::utimensat(AT_FDCWD, Store().DataFolder().c_str(), nullptr, 0);
            state.ResumeTiming();
        }
        monitor.Pass();
    }
    state.counters["asked"] = asked;
}
BENCHMARK_CAPTURE(ReminderPass, unchanged, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReminderPass, folderChanged, true)->Unit(benchmark::kMillisecond);

// The first pass, or one after every file changed: each task file is read once.
void BM_LatestSpanEndCold(benchmark::State& state)
{
    model::TimeStamp latest;
    for (auto _ : state) {
        idle::LastSpanEnds ends;
        latest = ends.Latest(Store());
        benchmark::DoNotOptimize(latest);
    }
}
BENCHMARK(BM_LatestSpanEndCold)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
