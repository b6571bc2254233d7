#pragma once

#include "filestamp.h"

#include <cstdint>
#include <filesystem>

namespace kelmora::model {

class TaskStore;

// FindRunningTask for callers that ask again and again, such as a status bar every second. What each task
// file showed is kept in a file under `cacheFolder` with the file's stamp, and a task file is opened again
// only when its stamp moved, so the answer is always the files' own. The cache must lie outside the data
// folder: whatever watches that folder would take each write of the cache for a change of data, so a
// `cacheFolder` that is the data folder is not used. A missing, damaged or foreign cache is rebuilt; when
// it cannot be written the answer is the same, only slower. An empty `cacheFolder` keeps no cache, and a
// data folder on a network file system is always read in full.
// `wallClockNs` is the real time now (see FileStamp::SettledBy); `filesRead`, when given, counts the task
// files opened.
std::int32_t FindRunningTask(const TaskStore& store, const std::filesystem::path& cacheFolder,
                             std::int64_t wallClockNs = WallClockNs(), int* filesRead = nullptr);

// The cache file FindRunningTask keeps for `dataFolder` under `cacheFolder`, named after the data folder's
// canonical path so that each data folder has its own.
std::filesystem::path RunningCacheFile(const std::filesystem::path& cacheFolder,
                                       const std::filesystem::path& dataFolder);

} // namespace kelmora::model
