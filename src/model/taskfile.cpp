#include "taskfile.h"

#include "atomicfile.h"
#include "bytestream.h"
#include "errortext.h"
#include "task.h"
#include "taskstore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmora::model {

namespace {

std::uint32_t LittleEndian32(const unsigned char* bytes)
{
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

} // namespace

TaskFolderPeek::TaskFolderPeek(const std::filesystem::path& dataFolder)
    : m_folder(::open(dataFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{}

TaskFolderPeek::~TaskFolderPeek()
{
    if (m_folder >= 0) {
        ::close(m_folder);
    }
}

std::optional<bool> TaskFolderPeek::Running(std::int32_t id) const
{
    const std::optional<Interval> last = LastSpan(id);
    return last ? std::optional<bool>(!last->closed) : std::nullopt;
}

std::optional<Interval> TaskFolderPeek::LastSpan(std::int32_t id) const
{
    return Peek(id, nullptr, nullptr);
}

std::optional<TaskFolderPeek::Glance> TaskFolderPeek::GlanceAt(std::int32_t id) const
{
    Glance glance;
    bool hasSpans = false;
    const std::optional<Interval> last = Peek(id, &glance.name, &hasSpans);
    if (!last) {
        return std::nullopt;
    }
    if (hasSpans) {
        glance.last = *last;
    }
    return glance;
}

std::optional<Interval> TaskFolderPeek::Peek(std::int32_t id, std::string* name, bool* hasSpans) const
{
    // O_NONBLOCK: a FIFO under a task's name must not hang the reader; it is refused below.
    const int fd = m_folder < 0
                       ? -1
                       : ::openat(m_folder, (std::to_string(id) + ".tsk").c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    // The head holds the name length and, for names of up to 56 bytes, the interval count too. A record
    // that reads whole proves the file long enough, as a full load would check.
    unsigned char head[64] = {};
    std::optional<Interval> result;
    struct stat info
    {};
    const bool plain = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                       static_cast<std::uint64_t>(info.st_size) <= kTaskFileKind.maxBytes;
    const ssize_t got = plain ? ::pread(fd, head, sizeof head, 0) : -1;
    if (got >= 4) {
        const std::uint64_t nameLength = LittleEndian32(head);
        unsigned char field[4] = {};
        const bool countInHead = nameLength + 8 <= static_cast<std::uint64_t>(got);
        if (countInHead) {
            std::memcpy(field, head + 4 + nameLength, 4);
        }
        if (name != nullptr && nameLength <= kMaxNameBytes) {
            name->assign(nameLength, '\0');
            const bool whole = nameLength + 4 <= static_cast<std::uint64_t>(got)
                                   ? (std::memcpy(name->data(), head + 4, nameLength), true)
                                   : ::pread(fd, name->data(), nameLength, 4) == static_cast<ssize_t>(nameLength);
            // A stored name ends at its first zero byte, as a full load reads it.
            name->resize(whole ? std::min(name->size(), name->find('\0')) : 0);
        }
        if (nameLength <= kMaxNameBytes &&
            (countInHead || ::pread(fd, field, 4, static_cast<off_t>(4 + nameLength)) == 4)) {
            const auto count = static_cast<std::int32_t>(LittleEndian32(field));
            char record[kIntervalRecordSize] = {};
            const auto last =
                static_cast<off_t>(8 + nameLength + (static_cast<std::uint64_t>(count) - 1) * kIntervalRecordSize);
            if (hasSpans != nullptr) {
                *hasSpans = count > 0;
            }
            if (count <= 0) {
                result = Interval();
            } else if (static_cast<std::uint64_t>(last) + kIntervalRecordSize <=
                           static_cast<std::uint64_t>(info.st_size) &&
                       ::pread(fd, record, sizeof record, last) == static_cast<ssize_t>(sizeof record)) {
                ByteReader reader(std::string_view(record, sizeof record));
                std::uint8_t closed = 0;
                Interval span;
                reader.ReadU8(closed);
                span.start.Read(reader);
                span.stop.Read(reader);
                span.closed = closed != 0;
                result = span;
            }
        }
    }
    ::close(fd);
    return result;
}

std::optional<std::vector<std::int32_t>> ListTaskFiles(const std::filesystem::path& dataFolder, std::string* error)
{
    // The C library's own walk: a status bar lists the folder every second, and a path object for each of a
    // thousand names cost more than the listing.
    std::vector<std::int32_t> ids;
    DIR* folder = ::opendir(dataFolder.c_str());
    int failure = folder == nullptr ? errno : 0;
    std::string name;
    while (failure == 0) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (entry == nullptr) {
            failure = errno;
            break;
        }
        name.assign(entry->d_name);
        if (const auto id = TaskIdFromFileName(name)) {
            ids.push_back(*id);
        }
    }
    if (folder != nullptr) {
        ::closedir(folder);
    }
    if (failure != 0) {
        SetError(error, dataFolder.string() +
                            ": cannot list the folder: " + std::error_code(failure, std::generic_category()).message());
        return std::nullopt;
    }
    // Directory order is arbitrary on Linux; ascending ids keep menus stable across restarts.
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::filesystem::path TaskPath(const std::filesystem::path& dataFolder, std::int32_t id)
{
    return dataFolder / (std::to_string(id) + ".tsk");
}

std::string EncodeTask(const Task& task)
{
    ByteWriter writer;
    writer.WriteU32(static_cast<std::uint32_t>(task.name.size()));
    writer.WriteBytes(task.name);
    task.intervals.Write(writer);
    return writer.Bytes();
}

bool DecodeTask(std::string_view bytes, Task& task, std::string* error)
{
    ByteReader reader(bytes);
    std::uint32_t nameLength = 0;
    if (!reader.ReadU32(nameLength)) {
        SetError(error, "the file is too short to hold a task name");
        return false;
    }
    if (nameLength > kMaxNameBytes || nameLength > reader.Remaining()) {
        SetError(error, "the stored name length " + std::to_string(nameLength) + " is damaged");
        return false;
    }
    std::string name;
    reader.ReadBytes(nameLength, name);
    // A stored name ends at its first zero byte, as it always has.
    if (const auto zero = name.find('\0'); zero != std::string::npos) {
        name.resize(zero);
    }
    task.name = std::move(name);
    if (!task.intervals.Read(reader)) {
        SetError(error, "the interval records end early");
        return false;
    }
    return true;
}

bool Task::Load(const std::filesystem::path& dataFolder, std::string* error)
{
    if (id < 0) {
        SetError(error, "no task");
        return false;
    }
    const std::filesystem::path path = TaskPath(dataFolder, id);
    std::string bytes;
    if (!ReadWholeFile(path, bytes, error, kTaskFileKind)) {
        return false;
    }
    std::string reason;
    if (!DecodeTask(bytes, *this, &reason)) {
        SetError(error, path.string() + ": " + reason);
        return false;
    }
    return true;
}

bool Task::Save(const std::filesystem::path& dataFolder, std::string* error) const
{
    if (id < 0) {
        SetError(error, "no task");
        return false;
    }
    // A name the reader would refuse must not be written: the task would be lost at the next load.
    if (name.size() > kMaxNameBytes) {
        SetError(error, "the task name is longer than " + std::to_string(kMaxNameBytes) + " bytes");
        return false;
    }
    return WriteFileAtomically(TaskPath(dataFolder, id), EncodeTask(*this), error);
}

} // namespace kelmora::model
