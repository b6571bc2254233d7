// Folders that once took quadratic time: a report over 10,000 unreadable task files, and the task list of
// kelmora-cli over 4,000 categories. Each must stay well under a second.
#include "cli/cli.h"
#include "model/category.h"
#include "model/task.h"
#include "model/taskstore.h"
#include "reports/reportpage.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace kelmora;
namespace fs = std::filesystem;

fs::path MadeFolder(const char* name)
{
    std::string pattern = (fs::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    return mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) : fs::path();
}

void BM_ReportOverTenThousandUnreadableFiles(benchmark::State& state)
{
    static const fs::path folder = [] {
        const fs::path made = MadeFolder("kelmora-damage-bench");
        for (int id = 0; id < 10'000; ++id) {
            std::ofstream(made / (std::to_string(id) + ".tsk")) << '\x05';
        }
        return made;
    }();
    model::TaskStore store(folder);
    store.Load();
    for (auto _ : state) {
        const reports::PreparedReport report = reports::PrepareFullReport(store);
        if (report.unreadableFiles.size() != 10'000) {
            state.SkipWithError("not every damaged file was named");
        }
    }
}
BENCHMARK(BM_ReportOverTenThousandUnreadableFiles)->Unit(benchmark::kMillisecond);

void BM_CliTasksOverFourThousandCategories(benchmark::State& state)
{
    static const fs::path folder = [] {
        const fs::path made = MadeFolder("kelmora-categories-bench");
        model::TaskStore store(made);
        store.Load();
        for (int i = 0; i < 4'000; ++i) {
            const std::int32_t task = store.CreateTask("task " + std::to_string(i));
            model::Category category;
            category.SetId(store.CreateCategory("category " + std::to_string(i)));
            category.SetName("category " + std::to_string(i));
            category.AddTask(task);
            category.Save(made);
        }
        return made;
    }();
    const cli::CliContext context{[](const std::string&) { return std::nullopt; }, {}};
    for (auto _ : state) {
        std::ostringstream out;
        std::ostringstream err;
        if (cli::RunCli({"--data-dir", folder.string(), "tasks"}, out, err, context) != 0) {
            state.SkipWithError(err.str().c_str());
        }
    }
}
BENCHMARK(BM_CliTasksOverFourThousandCategories)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
