#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace kelmora::model {

// How a file differs from the program's own data files.
struct WriteOptions
{
    // A file the user chose (a report, an export): a new one gets 0666 less the umask, as any new document does,
    // and a symbolic link is followed, so that its target is replaced rather than the link.
    bool userDocument = false;
    // False for a file that can always be made again and checks itself when read, such as a cache: it is
    // still replaced in one step, but not flushed to disk, which costs a status bar more than all its reading.
    // A crash may then leave it empty or torn, never half old and half new under a valid checksum.
    bool durable = true;
};

// Replaces `path` with `contents` so that a crash or a full disk leaves either the old file or the new
// one, never a mixture: temporary file in the same folder, write, flush, fsync, rename, fsync of the
// folder. On failure the old file is untouched, the temporary file is removed and `error` says why.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view contents, std::string* error = nullptr,
                         const WriteOptions& options = {});
class TextSink;
// The same for contents too large to hold whole: `produce` makes them into the sink, which writes each piece
// to the temporary file as it fills. The file is replaced only when `produce` returns true and every piece
// was written.
bool WriteFileAtomically(const std::filesystem::path& path, const std::function<bool(TextSink&)>& produce,
                         std::string* error = nullptr, const WriteOptions& options = {});

// What a reader expects a file to be: its name in messages ("a task file") and the largest size it takes.
// The limit keeps a damaged or hostile file (a sparse terabyte, a device) from exhausting memory before
// its content could be judged.
struct FileKind
{
    const char* name;
    std::uint64_t maxBytes;
};
// A million intervals make 17 MB; no real task file comes near this.
inline constexpr FileKind kTaskFileKind{"a task file", std::uint64_t{128} << 20};
inline constexpr FileKind kXmlFileKind{"an XML file", std::uint64_t{16} << 20};
inline constexpr FileKind kAnyFileKind{"a regular file", std::uint64_t{1} << 40};

// Reads a whole file. False, with a reason in `error`, when it cannot be opened or read, is not a regular
// file or is larger than `kind` allows.
bool ReadWholeFile(const std::filesystem::path& path, std::string& contents, std::string* error = nullptr,
                   const FileKind& kind = kAnyFileKind);

} // namespace kelmora::model
