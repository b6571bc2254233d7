#include "taskfile.h"

#include "atomicfile.h"
#include "bytestream.h"
#include "task.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmora::model {

namespace {

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

bool ReadAt(int fd, void* buffer, std::size_t size, std::int64_t offset)
{
    return ::pread(fd, buffer, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

std::int64_t LittleEndian32(const unsigned char* bytes, bool isSigned)
{
    const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
                                std::uint32_t{bytes[3]} << 24;
    return isSigned ? std::int64_t{static_cast<std::int32_t>(value)} : std::int64_t{value};
}

} // namespace

std::optional<bool> PeekRunning(const std::filesystem::path& taskPath)
{
    const int fd = ::open(taskPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<bool> result;
    struct stat info
    {};
    unsigned char field[4] = {};
    unsigned char closed = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ReadAt(fd, field, 4, 0)) {
        const std::int64_t nameLength = LittleEndian32(field, false);
        const std::int64_t size = info.st_size;
        if (nameLength <= kMaxNameBytes && 8 + nameLength <= size && ReadAt(fd, field, 4, 4 + nameLength)) {
            const std::int64_t count = LittleEndian32(field, true);
            const std::int64_t records = 8 + nameLength;
            const std::int64_t recordSize = kIntervalRecordSize;
            if (count <= 0) {
                result = false;
            } else if (records + count * recordSize <= size &&
                       ReadAt(fd, &closed, 1, records + (count - 1) * recordSize)) {
                result = closed == 0;
            }
        }
    }
    ::close(fd);
    return result;
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
    if (!ReadWholeFile(path, bytes, error)) {
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
