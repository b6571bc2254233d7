// Report pages and time-log export over a data folder of 1,000 tasks x 1,000 intervals.
#include "benchdata.h"

#include "model/atomicfile.h"
#include "model/taskstore.h"
#include "model/textsink.h"
#include "model/timelog.h"
#include "reports/exportformat.h"
#include "reports/reportpage.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

using namespace kelmora;

model::TaskStore& Store()
{
    return bench::GeneratedStore();
}

// Where the pages and exports go: a folder of this run's own, as the generated data folder is shared by
// every benchmark and must hold nothing but the data.
const std::filesystem::path& OutputFolder()
{
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelmora-report-bench-XXXXXX").string();
        return std::filesystem::path(mkdtemp(pattern.data()) != nullptr ? pattern : std::string("."));
    }();
    return folder;
}

// Built and written as the tray command does it, without opening the browser.
void WritePage(benchmark::State& state, const reports::PreparedReport& report)
{
    const bool written =
        report.Ready() && model::WriteFileAtomically(OutputFolder() / "report.htm",
                                                     [&report](model::TextSink& out) { return report.WriteTo(out); });
    if (!written) {
        state.SkipWithError("no report written");
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(OutputFolder() / "report.htm"));
}

// The share of the above that is building the page, without the 113 MB write.
void BM_FullReportBuiltOnly(benchmark::State& state)
{
    for (auto _ : state) {
        const reports::PreparedReport report = reports::PrepareFullReport(Store());
        model::TextSink discard([](std::string_view piece) {
            benchmark::DoNotOptimize(piece.data());
            return true;
        });
        report.WriteTo(discard);
        discard.Finish();
    }
}
BENCHMARK(BM_FullReportBuiltOnly)->Unit(benchmark::kMillisecond);

void BM_FullReportBuiltAndWritten(benchmark::State& state)
{
    for (auto _ : state) {
        WritePage(state, reports::PrepareFullReport(Store()));
    }
}
BENCHMARK(BM_FullReportBuiltAndWritten)->Unit(benchmark::kMillisecond);

void BM_WeekReportBuiltAndWritten(benchmark::State& state)
{
    model::TimeStamp start;
    start.SetUtc(2026, 11, 23, 0, 0, 0, 0);
    model::TimeStamp stop;
    stop.SetUtc(2026, 11, 30, 0, 0, 0, 0);
    const model::Interval week(start, stop, true);
    for (auto _ : state) {
        WritePage(state, reports::PreparePeriodReport(Store(), week));
    }
}
BENCHMARK(BM_WeekReportBuiltAndWritten)->Unit(benchmark::kMillisecond);

void BM_ExportAllTimeAsTabText(benchmark::State& state)
{
    const std::filesystem::path file = OutputFolder() / "log.xls";
    std::size_t bytes = 0;
    for (auto _ : state) {
        model::TimeLog log;
        reports::BuildExportLog(Store(), 4, log);
        if (!model::WriteFileAtomically(file, [&log, &file](model::TextSink& out) {
                return reports::WriteExportContent(log, file.string(), out);
            })) {
            state.SkipWithError("export not written");
        }
        bytes = std::filesystem::file_size(file);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ExportAllTimeAsTabText)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    bench::UseDaylightSavingZone();
    Store(); // generate the data folder outside the timed runs
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(OutputFolder(), ignored);
    return 0;
}
