#pragma once

#include <cstdint>
#include <optional>

namespace kelmora::model {

// What shows, without opening a file, that it is still the file read before: a rewrite in place moves its
// change time, which no program can set back, and a writer that renames a new file over it brings a new
// inode. Size and modification time catch the rest cheaply.
struct FileStamp
{
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;

    bool operator==(const FileStamp&) const = default;

    // Whether what was read from the file after this stamp was taken may be trusted for as long as the stamp
    // stays the same; `wallClockNs` is the real time taken before the stamp. The file system's clock ticks
    // coarsely, so a file changed shortly before could change again within the same tick without moving its
    // times: facts from a file changed less than two seconds earlier (or in the future) are not kept.
    bool SettledBy(std::int64_t wallClockNs) const;
};

// The stamp of `name` in the open folder `folder`; nullopt when it cannot be looked at.
std::optional<FileStamp> StampAt(int folder, const char* name);

// The real time in nanoseconds since 1970, whatever clock the program runs on: file times come from it.
std::int64_t WallClockNs();

// Moves WallClockNs ahead for the guard's lifetime, so that a test can ask about files it has just written as a
// run a while later would. The program itself never shifts it.
class ScopedWallClockShift
{
public:
    explicit ScopedWallClockShift(std::int64_t ns);
    ScopedWallClockShift(const ScopedWallClockShift&) = delete;
    ScopedWallClockShift& operator=(const ScopedWallClockShift&) = delete;
    ~ScopedWallClockShift();

private:
    std::int64_t m_previous;
};

} // namespace kelmora::model
