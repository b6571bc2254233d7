// Time log over a data folder of 1,000 tasks x 1,000 intervals.
#include "benchdata.h"

#include "model/taskstore.h"
#include "model/timelog.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>

namespace {

using namespace kelmora;

model::TaskStore& Store()
{
    return bench::GeneratedStore();
}

void BM_BuildAll(benchmark::State& state)
{
    model::TimeLog log;
    for (auto _ : state) {
        log.BuildAll(Store());
        benchmark::DoNotOptimize(log.Count());
    }
    state.counters["entries"] = log.Count();
}
BENCHMARK(BM_BuildAll)->Unit(benchmark::kMillisecond);

void BM_BuildForPeriodOneWeek(benchmark::State& state)
{
    model::TimeLog log;
    model::TimeStamp start;
    start.SetUtc(2026, 11, 23, 0, 0, 0, 0);
    model::TimeStamp stop;
    stop.SetUtc(2026, 11, 30, 0, 0, 0, 0);
    const model::Interval week(start, stop, true);
    for (auto _ : state) {
        log.BuildForPeriod(Store(), week);
        benchmark::DoNotOptimize(log.Count());
    }
    state.counters["entries"] = log.Count();
}
BENCHMARK(BM_BuildForPeriodOneWeek)->Unit(benchmark::kMillisecond);

void BM_ToTabText(benchmark::State& state)
{
    model::TimeLog log;
    log.BuildAll(Store());
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = log.ToTabText();
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ToTabText)->Unit(benchmark::kMillisecond);

void BM_BuildAllThenToTabText(benchmark::State& state)
{
    for (auto _ : state) {
        model::TimeLog log;
        log.BuildAll(Store());
        const std::string text = log.ToTabText();
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_BuildAllThenToTabText)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    bench::UseDaylightSavingZone();
    Store(); // generate the data folder outside the timed runs
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
