#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace kelmora::model {

// How long a writer waits for another one before it gives up and changes nothing. Writers hold the lock
// for milliseconds, so a wait this long means a stuck process, not a busy one.
inline constexpr std::chrono::milliseconds kFolderLockWait{5000};

// One writer at a time per data folder on this machine. The tray program, kelmora-cli, status-bar scripts
// and hotkeys all write the same folder, and each read-change-write cycle must see the files as the
// previous writer left them. The lock is an flock on the folder's own directory: nothing is created in
// the folder, so a sync tool has nothing of ours to copy to another machine, and the kernel drops the
// lock with the process, so a crash never leaves the folder locked.
//
// Nested locks of one thread on one folder are free, so an operation may lock although its caller
// already holds the lock; a thread that shares the lock cannot take it exclusively as well. Other
// threads of the same process wait like other processes do.
//
// While it is held, the lock also removes the temporary files that writers killed between creating and
// renaming them left behind: no other writer can own one then.
class FolderLock
{
public:
    // Readers that look at several files share the lock, so that they never see a change half made: a
    // switch writes two task files one after the other.
    enum class Mode
    {
        Exclusive,
        Shared,
    };

    explicit FolderLock(const std::filesystem::path& dataFolder, std::chrono::milliseconds wait = kFolderLockWait,
                        Mode mode = Mode::Exclusive);
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

    bool Held() const { return m_held; }
    // Held(); when the lock is not held, `error` gets the reason.
    bool Held(std::string* error) const
    {
        if (!m_held && error != nullptr) {
            *error = m_error;
        }
        return m_held;
    }
    // Why the lock is not held, naming the folder.
    const std::string& Error() const { return m_error; }

private:
    int m_fd = -1;
    bool m_held = false;
    bool m_nested = false;
    unsigned long long m_device = 0;
    unsigned long long m_inode = 0;
    std::string m_error;
};

// Whether `name` is one of the temporary files the atomic writer makes for the data folder's own files
// (".<id>.tsk.tmp-XXXXXX", ".idx.tmp-…", ".categories.xml.tmp-…", ".hotkeys.xml.tmp-…"). Other programs'
// files, a sync tool's among them, never match.
bool IsOwnDataTemporary(const std::string& name);

} // namespace kelmora::model
