#include "runningcache.h"

#include "atomicfile.h"
#include "bytestream.h"
#include "task.h"
#include "taskfile.h"
#include "taskops.h"
#include "taskstore.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <sys/stat.h>
#include <vector>
#if defined(__linux__)
#include <sys/vfs.h>
#endif

namespace kelmora::model {

namespace fs = std::filesystem;

namespace {

// Bumped whenever the layout below changes: a cache of another layout is then rebuilt, never misread.
constexpr std::string_view kMagic = "KMRC";
constexpr std::uint32_t kVersion = 1;

struct Entry
{
    std::int32_t id = -1;
    FileStamp stamp;
    bool running = false;
    bool operator==(const Entry&) const = default;
};

// What the cache belongs to: a folder put in the place of another under the same path has another inode.
struct FolderKey
{
    std::string path;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

std::uint64_t Fnv1a(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
}

fs::path CanonicalFolder(const fs::path& folder)
{
    std::error_code ec;
    fs::path canonical = fs::canonical(folder, ec);
    return ec ? fs::absolute(folder, ec).lexically_normal() : canonical;
}

// Little-endian: magic, version, the data folder's device, inode and canonical path, the entries ascending
// by id (id, inode, size, modification and change times, running flag), then an FNV-1a sum of all that.
std::string Encode(const FolderKey& key, const std::vector<Entry>& entries)
{
    ByteWriter writer;
    writer.WriteBytes(kMagic);
    writer.WriteU32(kVersion);
    writer.WriteU64(key.device);
    writer.WriteU64(key.inode);
    writer.WriteU32(static_cast<std::uint32_t>(key.path.size()));
    writer.WriteBytes(key.path);
    writer.WriteU32(static_cast<std::uint32_t>(entries.size()));
    for (const Entry& entry : entries) {
        writer.WriteI32(entry.id);
        writer.WriteU64(entry.stamp.inode);
        writer.WriteU64(static_cast<std::uint64_t>(entry.stamp.size));
        writer.WriteU64(static_cast<std::uint64_t>(entry.stamp.mtimeNs));
        writer.WriteU64(static_cast<std::uint64_t>(entry.stamp.ctimeNs));
        writer.WriteU8(entry.running ? 1 : 0);
    }
    std::string bytes = writer.Bytes();
    ByteWriter sum;
    sum.WriteU64(Fnv1a(bytes));
    return bytes + sum.Bytes();
}

// The entries of a cache written for `key`, ascending by id; none when the bytes are not such a cache.
std::vector<Entry> Decode(std::string_view bytes, const FolderKey& key)
{
    constexpr std::size_t kSumSize = 8;
    constexpr std::size_t kEntrySize = 4 + 4 * 8 + 1;
    if (bytes.size() < kSumSize) {
        return {};
    }
    ByteReader sum(bytes.substr(bytes.size() - kSumSize));
    std::uint64_t stored = 0;
    bytes.remove_suffix(kSumSize);
    if (!sum.ReadU64(stored) || stored != Fnv1a(bytes)) {
        return {};
    }
    ByteReader reader(bytes);
    std::string magic;
    std::uint32_t version = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint32_t pathLength = 0;
    std::string path;
    std::uint32_t count = 0;
    if (!reader.ReadBytes(kMagic.size(), magic) || magic != kMagic || !reader.ReadU32(version) || version != kVersion ||
        !reader.ReadU64(device) || device != key.device || !reader.ReadU64(inode) || inode != key.inode ||
        !reader.ReadU32(pathLength) || pathLength != key.path.size() || !reader.ReadBytes(pathLength, path) ||
        path != key.path || !reader.ReadU32(count) || reader.Remaining() != std::size_t{count} * kEntrySize) {
        return {};
    }
    std::vector<Entry> entries(count);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Entry& entry = entries[i];
        std::uint64_t size = 0;
        std::uint64_t mtime = 0;
        std::uint64_t ctime = 0;
        std::uint8_t running = 0;
        reader.ReadI32(entry.id);
        reader.ReadU64(entry.stamp.inode);
        reader.ReadU64(size);
        reader.ReadU64(mtime);
        reader.ReadU64(ctime);
        reader.ReadU8(running);
        entry.stamp.size = static_cast<std::int64_t>(size);
        entry.stamp.mtimeNs = static_cast<std::int64_t>(mtime);
        entry.stamp.ctimeNs = static_cast<std::int64_t>(ctime);
        entry.running = running == 1;
        if (running > 1 || (i > 0 && entries[i - 1].id >= entry.id)) {
            return {};
        }
    }
    return entries;
}

// A network file system may answer a stat from attributes it cached a while ago, where opening the file
// would fetch them afresh: its files are always read.
bool StampsAreCurrent(int folder)
{
#if defined(__linux__)
    struct statfs info
    {};
    if (::fstatfs(folder, &info) != 0) {
        return false;
    }
    // NFS, SMB, CIFS, SMB2, FUSE (sshfs and the like), Ceph, AFS, 9P, Coda.
    constexpr std::array<unsigned long, 9> kNetworkTypes{0x6969,     0x517B,     0xFF534D42, 0xFE534D42, 0x65735546,
                                                         0x00C36400, 0x5346414F, 0x01021997, 0x73757245};
    return std::find(kNetworkTypes.begin(), kNetworkTypes.end(), static_cast<unsigned long>(info.f_type)) ==
           kNetworkTypes.end();
#else
    return folder >= 0;
#endif
}

const Entry* Find(const std::vector<Entry>& entries, std::int32_t id)
{
    const auto it = std::lower_bound(entries.begin(), entries.end(), id,
                                     [](const Entry& e, std::int32_t value) { return e.id < value; });
    return it != entries.end() && it->id == id ? &*it : nullptr;
}

} // namespace

fs::path RunningCacheFile(const fs::path& cacheFolder, const fs::path& dataFolder)
{
    std::array<char, 32> name{};
    std::snprintf(name.data(), name.size(), "status-%016llx",
                  static_cast<unsigned long long>(Fnv1a(CanonicalFolder(dataFolder).string())));
    return cacheFolder / name.data();
}

std::int32_t FindRunningTask(const TaskStore& store, const fs::path& cacheFolder, std::int64_t wallClockNs,
                             int* filesRead)
{
    const TaskFolderPeek peek(store.DataFolder());
    struct stat folderStatus
    {};
    struct stat cacheStatus
    {};
    const bool useCache = !cacheFolder.empty() && peek.Folder() >= 0 && ::fstat(peek.Folder(), &folderStatus) == 0 &&
                          StampsAreCurrent(peek.Folder()) &&
                          !(::stat(cacheFolder.c_str(), &cacheStatus) == 0 &&
                            cacheStatus.st_dev == folderStatus.st_dev && cacheStatus.st_ino == folderStatus.st_ino);
    FolderKey key;
    fs::path cacheFile;
    std::vector<Entry> cached;
    if (useCache) {
        key = FolderKey{CanonicalFolder(store.DataFolder()).string(), folderStatus.st_dev, folderStatus.st_ino};
        cacheFile = RunningCacheFile(cacheFolder, store.DataFolder());
        if (std::string bytes; ReadWholeFile(cacheFile, bytes, nullptr, kTaskFileKind)) {
            cached = Decode(bytes, key);
        }
    }

    // Which tasks' last spans are open, from the cache where a file's stamp has not moved.
    const std::vector<std::int32_t> ids = store.TaskIds();
    std::vector<Entry> fresh;
    fresh.reserve(ids.size());
    std::vector<std::int32_t> running;
    int opened = 0;
    for (const std::int32_t id : ids) {
        std::array<char, 24> name{};
        std::snprintf(name.data(), name.size(), "%d.tsk", id);
        // The stamp is taken before the file is read: a change in between then shows as a moved stamp.
        const std::optional<FileStamp> stamp = StampAt(peek.Folder(), name.data());
        const Entry* entry = stamp ? Find(cached, id) : nullptr;
        std::optional<bool> open;
        if (entry != nullptr && entry->stamp == *stamp) {
            open = entry->running;
            fresh.push_back(*entry);
        } else if (stamp) {
            open = peek.Running(id);
            ++opened;
            if (open && stamp->SettledBy(wallClockNs)) {
                fresh.push_back(Entry{id, *stamp, *open});
            }
        }
        if (open.value_or(false)) {
            running.push_back(id);
        }
    }
    // Where several spans are open, the one that started last runs, as the tracking rules say; only those
    // few files are read again for their starts.
    std::int32_t found = running.size() == 1 ? running.front() : -1;
    if (running.size() > 1) {
        TimeStamp latest;
        for (const std::int32_t id : running) {
            const auto last = peek.LastSpan(id);
            ++opened;
            if (last && (found < 0 || !(last->start < latest))) {
                found = id;
                latest = last->start;
            }
        }
    }
    std::sort(fresh.begin(), fresh.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
    if (useCache && fresh != cached) {
        // The cache only spares work: when it cannot be written, the next run reads the files again.
        std::error_code ec;
        fs::create_directories(cacheFolder.parent_path(), ec);
        ::mkdir(cacheFolder.c_str(), 0700);
        WriteFileAtomically(cacheFile, Encode(key, fresh));
    }
    if (filesRead != nullptr) {
        *filesRead = opened;
    }
    return found;
}

} // namespace kelmora::model
