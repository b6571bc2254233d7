#include "atomicfile.h"

#include "textsink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmora::model {

namespace {

void SetSystemError(std::string* error, const std::filesystem::path& path, const char* what, int code)
{
    if (error != nullptr) {
        *error = path.string() + ": " + what + ": " + std::strerror(code);
    }
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Close(); }

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Close()
    {
        int result = 0;
        if (m_fd >= 0) {
            result = ::close(m_fd);
            m_fd = -1;
        }
        return result;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The file a chain of symbolic links ends at (`path` itself when it is no link); a relative link counts from its
// own folder. False with errno set when the chain cannot be followed.
bool FollowLinks(std::filesystem::path& path)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
            return true;
        }
        const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec) {
            errno = ec.value();
            return false;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    errno = ELOOP;
    return false;
}

// mkostemp makes every file owner-only. A document's temporary file is opened with 0666 instead and the kernel
// takes the umask off, which the process could not read without changing it under its other threads.
int CreateTemporary(std::string& pattern, bool userDocument)
{
    if (!userDocument) {
        return ::mkostemp(pattern.data(), O_CLOEXEC);
    }
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = pattern.size() - 6; i < pattern.size(); ++i) {
            pattern[i] = kLetters[device() % (sizeof kLetters - 1)];
        }
        const int fd = ::open(pattern.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// `write` fills the open temporary file; false with errno set when it could not.
bool ReplaceFile(std::filesystem::path path, const std::function<bool(int)>& write, std::string* error,
                 const WriteOptions& options)
{
    if (options.userDocument && !FollowLinks(path)) {
        SetSystemError(error, path, "cannot follow the link", errno);
        return false;
    }
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    // The temporary name starts with a dot and does not end in ".tsk", so nothing that lists the data
    // folder mistakes a half-written file for data.
    // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict for `"." + std::string`, a known
    // false positive inside std::string::insert.
    std::string name = ".";
    name += path.filename().string();
    name += ".tmp-XXXXXX";
    std::string pattern = (folder / name).string();
    FileDescriptor fd(CreateTemporary(pattern, options.userDocument));
    if (!fd.Valid()) {
        SetSystemError(error, path, "cannot create a temporary file", errno);
        return false;
    }
    const std::filesystem::path temporary(pattern);
    auto fail = [&](const char* what) {
        const int code = errno;
        fd.Close();
        ::unlink(temporary.c_str());
        SetSystemError(error, path, what, code);
        return false;
    };
    // A rewritten file keeps its mode and, where the process may set it, its owner; only a new file is
    // private to the user.
    struct stat existing
    {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        if (::fchmod(fd.Get(), existing.st_mode & 07777) != 0) {
            return fail("cannot keep the file's mode");
        }
        if (::fchown(fd.Get(), existing.st_uid, existing.st_gid) != 0) {
            // Only the owner's own files can be kept as they are without privileges; that is the usual case.
        }
    }
    if (!write(fd.Get())) {
        return fail("cannot write");
    }
    if (options.durable && ::fsync(fd.Get()) != 0) {
        return fail("cannot flush to disk");
    }
    if (fd.Close() != 0) {
        return fail("cannot close");
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        return fail("cannot replace the file");
    }
    // Make the rename itself durable; a failure here no longer endangers either version of the file.
    FileDescriptor dir(options.durable ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    if (dir.Valid()) {
        ::fsync(dir.Get());
    }
    return true;
}

const char* FileTypeName(mode_t mode)
{
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "something other than a file";
}

} // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view contents, std::string* error,
                         const WriteOptions& options)
{
    return ReplaceFile(
        path, [contents](int fd) { return WriteAll(fd, contents); }, error, options);
}

bool WriteFileAtomically(const std::filesystem::path& path, const std::function<bool(TextSink&)>& produce,
                         std::string* error, const WriteOptions& options)
{
    return ReplaceFile(
        path,
        [&produce](int fd) {
            // The producer keeps working a little after a refused piece, and may touch errno meanwhile.
            int writeError = 0;
            TextSink sink([fd, &writeError](std::string_view piece) {
                if (WriteAll(fd, piece)) {
                    return true;
                }
                writeError = errno;
                return false;
            });
            const bool produced = produce(sink);
            if (sink.Finish() && produced) {
                return true;
            }
            // A producer that gave up by itself names no system error.
            errno = writeError != 0 ? writeError : EIO;
            return false;
        },
        error, options);
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& contents, std::string* error, const FileKind& kind)
{
    // O_NONBLOCK: a FIFO planted under a data file name must not hang the reader; it is refused below.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        SetSystemError(error, path, "cannot open", errno);
        return false;
    }
    struct stat info
    {};
    if (::fstat(fd.Get(), &info) != 0) {
        SetSystemError(error, path, "cannot read", errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        if (error != nullptr) {
            *error = path.string() + ": is " + FileTypeName(info.st_mode) + ", not " + kind.name;
        }
        return false;
    }
    if (static_cast<std::uint64_t>(info.st_size) > kind.maxBytes) {
        if (error != nullptr) {
            *error = path.string() + ": is " + std::to_string(static_cast<std::uint64_t>(info.st_size)) +
                     " bytes long, more than " + kind.name + " can be (" + std::to_string(kind.maxBytes) + " bytes)";
        }
        return false;
    }
    // Straight into the result, with room for one more byte so that the end is seen without a second buffer;
    // a file that grows while it is read gets more room.
    contents.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == contents.size()) {
            // Past the bound by one byte at most: that byte is enough to refuse the file.
            contents.resize(static_cast<std::size_t>(std::min<std::uint64_t>(contents.size() * 2, kind.maxBytes + 1)));
        }
        const ssize_t got = ::read(fd.Get(), contents.data() + filled, contents.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            SetSystemError(error, path, "cannot read", errno);
            return false;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
        // A file that grows while it is read is held to the same bound.
        if (filled > kind.maxBytes) {
            if (error != nullptr) {
                *error = path.string() + ": grew past the largest size " + kind.name + " can be";
            }
            return false;
        }
    }
    contents.resize(filled);
    return true;
}

} // namespace kelmora::model
