#include "folderlock.h"

#include "taskstore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kelmora::model {

namespace {

struct HeldFolder
{
    unsigned long long device;
    unsigned long long inode;
    int depth;
    bool exclusive;
};

// The folders this thread holds; flock would make a nested lock of the same thread wait for itself.
thread_local std::vector<HeldFolder> t_held;

HeldFolder* FindHeld(unsigned long long device, unsigned long long inode)
{
    const auto it = std::find_if(t_held.begin(), t_held.end(),
                                 [&](const HeldFolder& h) { return h.device == device && h.inode == inode; });
    return it == t_held.end() ? nullptr : &*it;
}

void RemoveOrphanTemporaries(int folder)
{
    const int listing = ::dup(folder);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (dir == nullptr) {
        if (listing >= 0) {
            ::close(listing);
        }
        return;
    }
    std::vector<std::string> orphans;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' && IsOwnDataTemporary(entry->d_name)) {
            orphans.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    for (const std::string& name : orphans) {
        ::unlinkat(folder, name.c_str(), 0);
    }
}

} // namespace

bool IsOwnDataTemporary(const std::string& name)
{
    constexpr std::string_view kMarker = ".tmp-";
    constexpr std::size_t kRandom = 6; // mkstemp's XXXXXX
    if (name.size() < 1 + kMarker.size() + kRandom || name.front() != '.') {
        return false;
    }
    const std::size_t marker = name.size() - kRandom - kMarker.size();
    if (name.compare(marker, kMarker.size(), kMarker) != 0 ||
        !std::all_of(name.end() - kRandom, name.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        })) {
        return false;
    }
    const std::string target = name.substr(1, marker - 1);
    return target == "idx" || target == "categories.xml" || target == "hotkeys.xml" ||
           TaskIdFromFileName(target).has_value();
}

FolderLock::FolderLock(const std::filesystem::path& dataFolder, std::chrono::milliseconds wait, Mode mode)
{
    m_fd = ::open(dataFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info
    {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
        m_error = dataFolder.string() + ": cannot lock the data folder: " + std::strerror(errno);
        return;
    }
    m_device = info.st_dev;
    m_inode = info.st_ino;
    const bool exclusive = mode == Mode::Exclusive;
    if (HeldFolder* held = FindHeld(m_device, m_inode)) {
        // flock would turn a shared lock into an exclusive one by letting go of it first.
        if (exclusive && !held->exclusive) {
            m_error = dataFolder.string() + ": cannot change the data folder while reading it";
            return;
        }
        ++held->depth;
        m_nested = true;
        m_held = true;
        return;
    }
    // Polled rather than blocking, so that a stuck holder costs a bounded wait and a clear message.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(m_fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            m_error = dataFolder.string() + ": cannot lock the data folder: " + std::strerror(errno);
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            m_error = dataFolder.string() + ": another Kelmora program kept the data folder busy for " +
                      (wait.count() % 1000 == 0 ? std::to_string(wait.count() / 1000) + " s"
                                                : std::to_string(wait.count()) + " ms") +
                      "; nothing was changed";
            return;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    m_held = true;
    t_held.push_back({m_device, m_inode, 1, exclusive});
    if (exclusive) {
        RemoveOrphanTemporaries(m_fd);
    }
}

FolderLock::~FolderLock()
{
    if (m_held) {
        HeldFolder* held = FindHeld(m_device, m_inode);
        if (held != nullptr && --held->depth == 0) {
            t_held.erase(t_held.begin() + (held - t_held.data()));
        }
    }
    // Closing the descriptor releases the flock.
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

} // namespace kelmora::model
