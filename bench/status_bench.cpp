// kelmora-cli over a data folder of 1,000 tasks x 1,000 intervals: status, what a status bar pays every second
// (target under 3 ms, or the floor of one fstatat per task file: see the README), and the other commands that
// must answer at once. Status looks at every task file, whether the first task runs or none does. "Warm" runs
// find the previous run's cache, as a status bar's do; "cold" runs have none and build it, as the first run
// after a start-up does.
#include "benchdata.h"

#include "cli/cli.h"
#include "model/filestamp.h"
#include "model/task.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

const fs::path& FolderFor(bool running)
{
    static const fs::path idle = bench::GeneratedDataFolder(1000, 1000);
    return running ? Folder() : idle;
}

// This process's own cache home, so runs elsewhere neither warm nor spoil it.
const fs::path& CacheHome()
{
    static const fs::path home =
        fs::temp_directory_path() / ("kelmora-bench-status-cache-" + std::to_string(::getpid()));
    return home;
}

void DropCache()
{
    std::error_code ec;
    fs::remove_all(CacheHome(), ec);
}

int RunCommand(std::vector<std::string> command, const fs::path& folder)
{
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> args{"--data-dir", folder.string()};
    args.insert(args.end(), command.begin(), command.end());
    const cli::CliContext context{[](const std::string& name) {
                                      return name == "XDG_CACHE_HOME" ? std::optional(CacheHome().string())
                                                                      : std::optional<std::string>();
                                  },
                                  fs::path()};
    return cli::RunCli(args, out, err, context);
}

int RunStatus(const char* format, const fs::path& folder)
{
    return format != nullptr ? RunCommand({"status", "--format", format}, folder) : RunCommand({"status"}, folder);
}

void BM_StatusWarmInProcess(benchmark::State& state)
{
    const fs::path& folder = FolderFor(state.range(0) != 0);
    RunStatus(nullptr, folder);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunStatus(nullptr, folder));
    }
}
BENCHMARK(BM_StatusWarmInProcess)->ArgName("running")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_StatusColdInProcess(benchmark::State& state)
{
    const fs::path& folder = FolderFor(state.range(0) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        DropCache();
        state.ResumeTiming();
        benchmark::DoNotOptimize(RunStatus(nullptr, folder));
    }
}
BENCHMARK(BM_StatusColdInProcess)->ArgName("running")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_StatusAllPlaceholdersWarmInProcess(benchmark::State& state)
{
    RunStatus(nullptr, Folder());
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunStatus("{name} {span} {today} {week} {category}", Folder()));
    }
}
BENCHMARK(BM_StatusAllPlaceholdersWarmInProcess)->Unit(benchmark::kMillisecond);

// The other commands that must answer at once, with the cache as the previous run left it. Targets: start
// under 5 ms, week totals under 10 ms, all-time totals under 20 ms (whole processes, in the comparison script).
// Starting the task that runs closes its span and opens another: the same work as switching.
void CommandWarmInProcess(benchmark::State& state, std::vector<std::string> command)
{
    RunCommand(command, Folder());
    for (auto _ : state) {
        benchmark::DoNotOptimize(RunCommand(command, Folder()));
    }
}
BENCHMARK_CAPTURE(CommandWarmInProcess, start, {"start", "0"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CommandWarmInProcess, tasks_week, {"tasks", "--period", "week"})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CommandWarmInProcess, tasks_all, {"tasks", "--period", "all"})->Unit(benchmark::kMillisecond);

// The whole program as a status bar starts it, output to /dev/null.
void StatusProgram(benchmark::State& state, bool warm)
{
    const std::string folder = FolderFor(state.range(0) != 0).string();
    std::vector<std::string> variables{"XDG_CACHE_HOME=" + CacheHome().string()};
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::string_view(*variable).substr(0, 15) != "XDG_CACHE_HOME=") {
            variables.emplace_back(*variable);
        }
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    const char* argv[] = {KELMORA_CLI_PATH, "--data-dir", folder.c_str(), "status", nullptr};
    auto run = [&] {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
        pid_t pid = 0;
        posix_spawn(&pid, KELMORA_CLI_PATH, &actions, nullptr, const_cast<char* const*>(argv), envp.data());
        int status = 0;
        waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
    };
    run();
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            DropCache();
            state.ResumeTiming();
        }
        run();
    }
}
BENCHMARK_CAPTURE(StatusProgram, warm, true)->ArgName("running")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(StatusProgram, cold, false)->ArgName("running")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Facts from files changed in the last two seconds are not kept, so a folder made just now would give
// cold runs where warm ones are meant.
void WaitUntilSettled(const fs::path& folder)
{
    struct stat status
    {};
    const std::int64_t settledAt = 3'000'000'000;
    while (::stat(folder.c_str(), &status) == 0 &&
           model::WallClockNs() - (std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec) <
               settledAt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

} // namespace

int main(int argc, char** argv)
{
    setenv("TZ", "Europe/Berlin", 1);
    WaitUntilSettled(FolderFor(true)); // made outside the timed runs
    WaitUntilSettled(FolderFor(false));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DropCache();
    return 0;
}
