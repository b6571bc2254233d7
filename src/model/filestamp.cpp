#include "filestamp.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace kelmora::model {

namespace {

constexpr std::int64_t kSettleNs = 2'000'000'000;

std::atomic<std::int64_t> g_wallClockShiftNs{0};

std::int64_t Nanoseconds(const timespec& time)
{
    return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec;
}

} // namespace

bool FileStamp::SettledBy(std::int64_t wallClockNs) const
{
    return std::max(mtimeNs, ctimeNs) < wallClockNs - kSettleNs;
}

std::optional<FileStamp> StampAt(int folder, const char* name)
{
    struct stat status
    {};
    if (::fstatat(folder, name, &status, 0) != 0) {
        return std::nullopt;
    }
    return FileStamp{status.st_ino, status.st_size, Nanoseconds(status.st_mtim), Nanoseconds(status.st_ctim)};
}

std::int64_t WallClockNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now) + g_wallClockShiftNs.load();
}

ScopedWallClockShift::ScopedWallClockShift(std::int64_t ns) : m_previous(g_wallClockShiftNs.exchange(ns)) {}

ScopedWallClockShift::~ScopedWallClockShift()
{
    g_wallClockShiftNs.store(m_previous);
}

} // namespace kelmora::model
