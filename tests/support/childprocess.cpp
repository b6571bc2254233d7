#include "childprocess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kelmora::testsupport {

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments)
{
    int pipeEnds[2] = {-1, -1};
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "cannot create a pipe";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const int result = ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    m_output = pipeEnds[0];
    if (result != 0) {
        m_pid = 0;
        ADD_FAILURE() << "cannot start " << program;
    }
}

ChildProcess::~ChildProcess()
{
    kill();
    if (m_output >= 0) {
        ::close(m_output);
    }
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const std::size_t end = m_buffer.find('\n'); end != std::string::npos) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (m_output < 0 || left.count() <= 0) {
            return std::nullopt;
        }
        pollfd entry{m_output, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return std::nullopt;
        }
        char chunk[256];
        const ssize_t got = ::read(m_output, chunk, sizeof chunk);
        if (got <= 0) {
            m_outputEnded = true;
            return std::nullopt;
        }
        m_buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

void ChildProcess::kill()
{
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        reap(std::chrono::steady_clock::time_point::max());
    }
}

bool ChildProcess::terminate(std::chrono::milliseconds timeout)
{
    if (m_pid <= 0 || m_reaped) {
        return true;
    }
    ::kill(m_pid, SIGTERM);
    if (reap(std::chrono::steady_clock::now() + timeout)) {
        return true;
    }
    kill();
    return false;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    // The output closes when the program ends, so reading it to the end is most of the wait.
    while (readLine(timeout)) {
    }
    if (m_pid <= 0 || !m_outputEnded || !reap(deadline) || !WIFEXITED(m_status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(m_status);
}

bool ChildProcess::reap(std::chrono::steady_clock::time_point deadline)
{
    while (!m_reaped) {
        const pid_t result = ::waitpid(m_pid, &m_status, WNOHANG);
        if (result == m_pid) {
            m_reaped = true;
        } else if ((result < 0 && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

} // namespace kelmora::testsupport
