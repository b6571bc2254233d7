// kelmora-cli status over a data folder of 1,000 tasks x 1,000 intervals: what a status bar pays every
// second. Target: under 10 ms. Both cases look at every task file: the running task is the first in
// store order (the search runs from the last), or none runs.
#include "benchdata.h"

#include "cli/cli.h"
#include "model/task.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

namespace {

using namespace kelmora;
namespace fs = std::filesystem;

// A copy of the shared generated folder whose first task runs, so the shared one stays as other
// benchmarks expect it.
const fs::path& Folder()
{
    static const fs::path folder = [] {
        const fs::path source = bench::GeneratedDataFolder(1000, 1000);
        const fs::path copy = fs::temp_directory_path() / "kelmora-bench-status-1000x1000";
        if (!fs::exists(copy / ".status-ready-0")) {
            fs::remove_all(copy);
            fs::copy(source, copy, fs::copy_options::recursive);
            model::Task task;
            task.id = 0;
            task.Load(copy);
            task.Start();
            task.Save(copy);
            std::ofstream(copy / ".status-ready-0").put('\n');
        }
        return copy;
    }();
    return folder;
}

int RunStatus(const char* format, const fs::path& folder = Folder())
{
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> args{"--data-dir", folder.string(), "status"};
    if (format != nullptr) {
        args.insert(args.end(), {"--format", format});
    }
    const cli::CliContext context{[](const std::string&) { return std::optional<std::string>(); }, fs::path()};
    return cli::RunCli(args, out, err, context);
}

void BM_StatusInProcess(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunStatus(nullptr));
    }
}
BENCHMARK(BM_StatusInProcess)->Unit(benchmark::kMillisecond);

void BM_StatusAllPlaceholdersInProcess(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunStatus("{name} {span} {today} {week} {category}"));
    }
}
BENCHMARK(BM_StatusAllPlaceholdersInProcess)->Unit(benchmark::kMillisecond);

void BM_StatusNothingRunsInProcess(benchmark::State& state)
{
    const fs::path idle = bench::GeneratedDataFolder(1000, 1000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunStatus(nullptr, idle));
    }
}
BENCHMARK(BM_StatusNothingRunsInProcess)->Unit(benchmark::kMillisecond);

// The whole program as a status bar starts it, output to /dev/null.
void BM_StatusProgram(benchmark::State& state)
{
    const std::string folder = Folder().string();
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
        const char* argv[] = {KELMORA_CLI_PATH, "--data-dir", folder.c_str(), "status", nullptr};
        pid_t pid = 0;
        posix_spawn(&pid, KELMORA_CLI_PATH, &actions, nullptr, const_cast<char* const*>(argv), environ);
        int status = 0;
        waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
    }
}
BENCHMARK(BM_StatusProgram)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("TZ", "Europe/Berlin", 1);
    Folder(); // made outside the timed runs
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
