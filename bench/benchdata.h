#pragma once

#include <filesystem>

namespace kelmora::model {
class TaskStore;
}

namespace kelmora::bench {

// A data folder of `tasks` tasks with `intervalsPerTask` closed, non-overlapping intervals each, spread
// over the years before 2026-12-01, made once under the system's temporary folder and reused by later
// runs with the same shape.
std::filesystem::path GeneratedDataFolder(int tasks, int intervalsPerTask);
// The same history written into `folder`, which must not hold one yet; the same shape gives the same history.
void GenerateDataFolder(const std::filesystem::path& folder, int tasks, int intervalsPerTask);

// The store over the 1,000 tasks x 1,000 intervals folder every benchmark measures, loaded once.
model::TaskStore& GeneratedStore();

// A zone with daylight-saving time, so local conversions do real work.
void UseDaylightSavingZone();

} // namespace kelmora::bench
