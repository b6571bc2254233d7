#include "taskfacts.h"

#include "atomicfile.h"
#include "bytestream.h"
#include "taskfile.h"
#include "taskstore.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/vfs.h>
#endif

namespace kelmora::model {

namespace fs = std::filesystem;

namespace {

// Bumped whenever the layout below changes: a cache of another layout is then rebuilt, never misread.
constexpr std::string_view kMagic = "KMTF";
constexpr std::uint32_t kVersion = 1;

struct Entry
{
    FileStamp stamp;
    TaskFacts facts;
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

// Tells a damaged cache from a whole one, eight bytes a step: the cache of a thousand tasks is checked on
// every run of a status bar.
std::uint64_t Checksum(std::string_view bytes)
{
    std::uint64_t hash = 14695981039346656037ull ^ bytes.size();
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, 8);
        hash = (hash ^ word) * 1099511628211ull;
        hash ^= hash >> 31;
    }
    return hash ^ Fnv1a(bytes.substr(i));
}

fs::path CanonicalFolder(const fs::path& folder)
{
    std::error_code ec;
    fs::path canonical = fs::canonical(folder, ec);
    return ec ? fs::absolute(folder, ec).lexically_normal() : canonical;
}

void WriteStamp(ByteWriter& writer, const TimeStamp& stamp)
{
    writer.WriteI32(stamp.days);
    writer.WriteI32(stamp.ms);
}

void WriteSpan(ByteWriter& writer, const TimeSpan& span)
{
    writer.WriteI32(span.days);
    writer.WriteI32(span.ms);
}

bool ReadPair(ByteReader& reader, std::int32_t& days, std::int32_t& ms)
{
    return reader.ReadI32(days) && reader.ReadI32(ms);
}

// Little-endian: magic, version, the data folder's device, inode and canonical path, the entry count, the
// entries ascending by id, then a checksum of all that. An entry: id, the file's inode, size, modification
// and change times, name length and name, span and open-span counts, last-open flag, then the last start,
// earliest start, latest stop, total and forward total as (days, ms) pairs.
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
        const TaskFacts& f = entry.facts;
        writer.WriteI32(f.id);
        writer.WriteU64(entry.stamp.inode);
        writer.WriteU64(static_cast<std::uint64_t>(entry.stamp.size));
        writer.WriteU64(static_cast<std::uint64_t>(entry.stamp.mtimeNs));
        writer.WriteU64(static_cast<std::uint64_t>(entry.stamp.ctimeNs));
        writer.WriteU32(static_cast<std::uint32_t>(f.name.size()));
        writer.WriteBytes(f.name);
        writer.WriteI32(f.spans);
        writer.WriteI32(f.openSpans);
        writer.WriteU8(f.lastOpen ? 1 : 0);
        WriteStamp(writer, f.lastStart);
        WriteStamp(writer, f.earliestStart);
        WriteStamp(writer, f.latestStop);
        WriteSpan(writer, f.total);
        WriteSpan(writer, f.forwardTotal);
    }
    std::string bytes = writer.Bytes();
    ByteWriter sum;
    sum.WriteU64(Checksum(bytes));
    return bytes + sum.Bytes();
}

bool DecodeEntry(ByteReader& reader, Entry& entry)
{
    TaskFacts& f = entry.facts;
    std::uint64_t size = 0;
    std::uint64_t mtime = 0;
    std::uint64_t ctime = 0;
    std::uint32_t nameLength = 0;
    std::uint8_t lastOpen = 0;
    if (!reader.ReadI32(f.id) || !reader.ReadU64(entry.stamp.inode) || !reader.ReadU64(size) ||
        !reader.ReadU64(mtime) || !reader.ReadU64(ctime) || !reader.ReadU32(nameLength) || nameLength > kMaxNameBytes ||
        !reader.ReadBytes(nameLength, f.name) || !reader.ReadI32(f.spans) || !reader.ReadI32(f.openSpans) ||
        !reader.ReadU8(lastOpen) || lastOpen > 1 || !ReadPair(reader, f.lastStart.days, f.lastStart.ms) ||
        !ReadPair(reader, f.earliestStart.days, f.earliestStart.ms) ||
        !ReadPair(reader, f.latestStop.days, f.latestStop.ms) || !ReadPair(reader, f.total.days, f.total.ms) ||
        !ReadPair(reader, f.forwardTotal.days, f.forwardTotal.ms)) {
        return false;
    }
    entry.stamp.size = static_cast<std::int64_t>(size);
    entry.stamp.mtimeNs = static_cast<std::int64_t>(mtime);
    entry.stamp.ctimeNs = static_cast<std::int64_t>(ctime);
    f.lastOpen = lastOpen == 1;
    return f.id >= 0 && f.spans >= 0 && f.openSpans >= 0 && f.openSpans <= f.spans;
}

// The entries of a cache written for `key`, ascending by id; none when the bytes are not such a cache.
std::vector<Entry> Decode(std::string_view bytes, const FolderKey& key)
{
    constexpr std::size_t kSumSize = 8;
    if (bytes.size() < kSumSize) {
        return {};
    }
    ByteReader sum(bytes.substr(bytes.size() - kSumSize));
    std::uint64_t stored = 0;
    bytes.remove_suffix(kSumSize);
    if (!sum.ReadU64(stored) || stored != Checksum(bytes)) {
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
        path != key.path || !reader.ReadU32(count) || count > reader.Remaining() / 4) {
        return {};
    }
    std::vector<Entry> entries(count);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!DecodeEntry(reader, entries[i]) || (i > 0 && entries[i - 1].facts.id >= entries[i].facts.id)) {
            return {};
        }
    }
    return reader.Remaining() == 0 ? entries : std::vector<Entry>();
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
                                     [](const Entry& e, std::int32_t value) { return e.facts.id < value; });
    return it != entries.end() && it->facts.id == id ? &*it : nullptr;
}

// The facts of a task as Task::Load would read it; nullopt where it refuses the file.
std::optional<TaskFacts> ReadFacts(const fs::path& dataFolder, std::int32_t id)
{
    Task task;
    task.id = id;
    if (!task.Load(dataFolder)) {
        return std::nullopt;
    }
    TaskFacts facts;
    facts.id = id;
    facts.name = std::move(task.name);
    facts.spans = task.intervals.Count();
    bool anyClosed = false;
    for (const Interval& span : task.intervals) {
        if (!span.closed) {
            ++facts.openSpans;
            continue;
        }
        const TimeSpan length = span.stop - span.start;
        facts.total += length;
        if (!(span.start > span.stop)) {
            facts.forwardTotal += length;
        }
        if (!anyClosed || span.stop > facts.latestStop) {
            facts.latestStop = span.stop;
        }
        anyClosed = true;
    }
    if (facts.spans > 0) {
        const Interval last = task.intervals.At(facts.spans - 1);
        facts.lastOpen = !last.closed;
        facts.lastStart = last.start;
        facts.earliestStart = last.start;
        for (const Interval& span : task.intervals) {
            facts.earliestStart = span.start < facts.earliestStart ? span.start : facts.earliestStart;
        }
    }
    return facts;
}

} // namespace

fs::path TaskFactsCacheFile(const fs::path& cacheFolder, const fs::path& dataFolder)
{
    std::array<char, 32> name{};
    std::snprintf(name.data(), name.size(), "facts-%016llx",
                  static_cast<unsigned long long>(Fnv1a(CanonicalFolder(dataFolder).string())));
    return cacheFolder / name.data();
}

std::vector<TaskFacts> GatherTaskFacts(const fs::path& dataFolder, const std::vector<std::int32_t>& ids,
                                       const fs::path& cacheFolder, int* filesRead)
{
    const int folder = ::open(dataFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat folderStatus
    {};
    struct stat cacheStatus
    {};
    const bool useCache = !cacheFolder.empty() && folder >= 0 && ::fstat(folder, &folderStatus) == 0 &&
                          StampsAreCurrent(folder) &&
                          !(::stat(cacheFolder.c_str(), &cacheStatus) == 0 &&
                            cacheStatus.st_dev == folderStatus.st_dev && cacheStatus.st_ino == folderStatus.st_ino);
    FolderKey key;
    fs::path cacheFile;
    std::vector<Entry> cached;
    if (useCache) {
        key = FolderKey{CanonicalFolder(dataFolder).string(), folderStatus.st_dev, folderStatus.st_ino};
        cacheFile = TaskFactsCacheFile(cacheFolder, dataFolder);
        if (std::string bytes; ReadWholeFile(cacheFile, bytes, nullptr, kTaskFileKind)) {
            cached = Decode(bytes, key);
        }
    }

    const std::int64_t now = WallClockNs();
    std::vector<TaskFacts> facts;
    facts.reserve(ids.size());
    std::vector<Entry> kept;
    kept.reserve(ids.size());
    int read = 0;
    for (const std::int32_t id : ids) {
        std::array<char, 24> name{};
        std::snprintf(name.data(), name.size(), "%d.tsk", id);
        // The stamp is taken before the file is read: a change in between then shows as a moved stamp.
        const std::optional<FileStamp> stamp = folder >= 0 ? StampAt(folder, name.data()) : std::nullopt;
        const Entry* entry = stamp ? Find(cached, id) : nullptr;
        if (entry != nullptr && entry->stamp == *stamp) {
            facts.push_back(entry->facts);
            kept.push_back(*entry);
            continue;
        }
        if (!stamp) {
            continue;
        }
        ++read;
        if (std::optional<TaskFacts> fresh = ReadFacts(dataFolder, id)) {
            if (stamp->SettledBy(now)) {
                kept.push_back(Entry{*stamp, *fresh});
            }
            facts.push_back(std::move(*fresh));
        }
    }
    if (folder >= 0) {
        ::close(folder);
    }
    if (useCache && kept != cached) {
        // The cache only spares work: when it cannot be written, the next run reads the files again.
        std::error_code ec;
        fs::create_directories(cacheFolder.parent_path(), ec);
        ::mkdir(cacheFolder.c_str(), 0700);
        WriteFileAtomically(cacheFile, Encode(key, kept), nullptr, WriteOptions{.durable = false});
    }
    if (filesRead != nullptr) {
        *filesRead = read;
    }
    return facts;
}

const TaskFacts* FactsOf(const std::vector<TaskFacts>& facts, std::int32_t id)
{
    const auto it = std::lower_bound(facts.begin(), facts.end(), id,
                                     [](const TaskFacts& f, std::int32_t value) { return f.id < value; });
    return it != facts.end() && it->id == id ? &*it : nullptr;
}

std::int32_t RunningTaskOf(const std::vector<TaskFacts>& facts)
{
    std::int32_t found = -1;
    TimeStamp latest;
    for (const TaskFacts& f : facts) {
        if (f.lastOpen && (found < 0 || !(f.lastStart < latest))) {
            found = f.id;
            latest = f.lastStart;
        }
    }
    return found;
}

std::int32_t TaskNamed(const std::vector<TaskFacts>& facts, const std::string& name, std::int32_t exceptId)
{
    for (const TaskFacts& f : facts) {
        if (f.id != exceptId && f.name == name) {
            return f.id;
        }
    }
    return -1;
}

std::optional<TimeSpan> TotalFromFacts(const TaskFacts& facts, const std::optional<Interval>& period)
{
    if (facts.spans == 0) {
        return TimeSpan();
    }
    // An open span ends now, which no fact holds.
    if (facts.openSpans > 0) {
        return std::nullopt;
    }
    if (!period) {
        return facts.total;
    }
    // TotalIn clips each span to the period: a span that ends by the period's start, or starts at its end or
    // later, is clipped to nothing; one that lies within it is kept whole. This holds in TimeStamp's own order,
    // whatever a damaged file holds.
    const TimeStamp periodStop = period->EffectiveStop();
    if (!(facts.latestStop > period->start) || !(facts.earliestStart < periodStop)) {
        return TimeSpan();
    }
    if (!(facts.earliestStart < period->start) && !(facts.latestStop > periodStop)) {
        return facts.forwardTotal;
    }
    return std::nullopt;
}

std::int32_t FindRunningTask(const TaskStore& store, const fs::path& cacheFolder, int* filesRead)
{
    return RunningTaskOf(GatherTaskFacts(store.DataFolder(), store.TaskIds(), cacheFolder, filesRead));
}

} // namespace kelmora::model
