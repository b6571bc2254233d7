#include "benchdata.h"

#include "model/task.h"
#include "model/taskstore.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <string>

namespace kelmora::bench {

namespace fs = std::filesystem;

fs::path GeneratedDataFolder(int tasks, int intervalsPerTask)
{
    const fs::path folder =
        fs::temp_directory_path() / ("kelmora-bench-" + std::to_string(tasks) + "x" + std::to_string(intervalsPerTask));
    const fs::path marker = folder / ".complete";
    if (fs::exists(marker)) {
        return folder;
    }
    fs::remove_all(folder);
    GenerateDataFolder(folder, tasks, intervalsPerTask);
    std::ofstream(marker).put('\n');
    return folder;
}

void GenerateDataFolder(const fs::path& folder, int tasks, int intervalsPerTask)
{
    fs::create_directories(folder);
    std::mt19937 random(42);
    model::TimeStamp end;
    end.SetUtc(2026, 12, 1, 0, 0, 0, 0);
    for (int id = 0; id < tasks; ++id) {
        model::Task task;
        task.id = id;
        task.name = "Task number " + std::to_string(id);
        // Walk backwards from the end with gaps, so each task's intervals are sorted and apart.
        model::TimeStamp cursor = end;
        std::vector<model::Interval> intervals;
        for (int i = 0; i < intervalsPerTask; ++i) {
            cursor -= model::TimeSpan(0, std::uniform_int_distribution<std::int64_t>(60'000, 86'400'000)(random));
            const model::TimeStamp stop = cursor;
            cursor -= model::TimeSpan(0, std::uniform_int_distribution<std::int64_t>(60'000, 4 * 3'600'000)(random));
            intervals.emplace_back(cursor, stop, true);
        }
        for (auto it = intervals.rbegin(); it != intervals.rend(); ++it) {
            task.intervals.Append(*it);
        }
        task.Save(folder);
    }
    model::WriteNextTaskId(folder, tasks);
}

model::TaskStore& GeneratedStore()
{
    static model::TaskStore store(GeneratedDataFolder(1000, 1000));
    static const bool loaded = store.Load();
    (void)loaded;
    return store;
}

void UseDaylightSavingZone()
{
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
}

} // namespace kelmora::bench
