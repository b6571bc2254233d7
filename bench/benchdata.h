#pragma once

#include <filesystem>

namespace kelmora::bench {

// A data folder of `tasks` tasks with `intervalsPerTask` closed, non-overlapping intervals each, spread
// over the years before 2026-12-01, made once under the system's temporary folder and reused by later
// runs with the same shape.
std::filesystem::path GeneratedDataFolder(int tasks, int intervalsPerTask);

} // namespace kelmora::bench
