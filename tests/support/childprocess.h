#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kelmora::testsupport {

// Another program run by a test, its standard output read line by line. Started with posix_spawn rather than
// QProcess: ThreadSanitizer's runtime cannot follow the clone() call QProcess forks with.
class ChildProcess
{
public:
    ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Kills the program if it still runs.
    ~ChildProcess();

    // 0 when the program could not be started.
    pid_t pid() const { return m_pid; }
    // The next line of output without its newline; nothing at the end of the output or after `timeout`.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Sends SIGKILL and waits until the program has gone.
    void kill();
    // Asks the program to end (SIGTERM), so it can clean up after itself; SIGKILL when it has not ended
    // within `timeout`. True when it ended on the request.
    bool terminate(std::chrono::milliseconds timeout);
    // Waits until the program ends: its exit status, or nothing when it did not end normally in time.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

private:
    // Collects the ended program's status; false when it has not ended by `deadline`.
    bool reap(std::chrono::steady_clock::time_point deadline);

    pid_t m_pid = 0;
    int m_output = -1;
    bool m_outputEnded = false;
    std::string m_buffer;
    bool m_reaped = false;
    int m_status = 0;
};

} // namespace kelmora::testsupport
