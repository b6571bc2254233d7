#include "testsupport.h"

#include "model/taskstore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kelmora::testsupport {

std::int64_t UtcMs(int year, int month, int day, int hour, int minute, int second)
{
    return Utc(year, month, day, hour, minute, second).ToUnixMs();
}

model::TimeStamp Utc(int year, int month, int day, int hour, int minute, int second)
{
    model::TimeStamp stamp;
    EXPECT_TRUE(stamp.SetUtc(year, month, day, hour, minute, second, 0));
    return stamp;
}

model::TimeStamp Local(int year, int month, int day, int hour, int minute, int second)
{
    model::TimeStamp stamp;
    EXPECT_TRUE(stamp.SetLocal(year, month, day, hour, minute, second, 0));
    return stamp;
}

void FakeClock::SetUtc(int year, int month, int day, int hour, int minute, int second)
{
    Set(UtcMs(year, month, day, hour, minute, second));
}

ScopedFakeClock::ScopedFakeClock() : m_previous(model::Clock::Install(&m_clock)) {}

ScopedFakeClock::ScopedFakeClock(int year, int month, int day, int hour, int minute, int second) : ScopedFakeClock()
{
    m_clock.SetUtc(year, month, day, hour, minute, second);
}

ScopedFakeClock::~ScopedFakeClock()
{
    model::Clock::Install(m_previous);
}

ScopedTimeZone::ScopedTimeZone(const std::string& zone) : m_zone("TZ", zone)
{
    ::tzset();
}

ScopedTimeZone::Reload::~Reload()
{
    ::tzset();
}

ScopedTimeLocale::ScopedTimeLocale(const std::string& locale)
{
    const char* previous = std::setlocale(LC_TIME, nullptr);
    m_previous = previous != nullptr ? previous : "C";
    EXPECT_NE(std::setlocale(LC_TIME, locale.c_str()), nullptr) << "locale " << locale << " is not installed";
}

ScopedTimeLocale::~ScopedTimeLocale()
{
    std::setlocale(LC_TIME, m_previous.c_str());
}

TempDir::TempDir()
{
    std::string name = (std::filesystem::temp_directory_path() / "kelmora-test-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder";
        return;
    }
    m_path = name;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string FolderFaults(const std::filesystem::path& folder,
                         const std::vector<std::pair<std::int32_t, model::Interval>>& expected)
{
    std::string faults;
    std::vector<model::Task> tasks;
    int open = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        model::Task task;
        task.id = model::TaskIdFromFileName(entry.path().filename().string()).value_or(-1);
        std::string error;
        if (task.id < 0) {
            continue;
        }
        if (!task.Load(folder, &error)) {
            faults += "does not load: " + error + "\n";
        }
        for (const model::Interval& span : task.intervals) {
            open += span.closed ? 0 : 1;
            if (span.closed && span.stop < span.start) {
                faults += "task " + std::to_string(task.id) + " has a span ending before it starts\n";
            }
        }
        tasks.push_back(std::move(task));
    }
    if (open > 1) {
        faults += std::to_string(open) + " spans are open\n";
    }
    for (const auto& [id, span] : expected) {
        const auto task =
            std::find_if(tasks.begin(), tasks.end(), [id = id](const model::Task& t) { return t.id == id; });
        const bool found =
            task != tasks.end() &&
            std::any_of(task->intervals.begin(), task->intervals.end(), [&span = span](const model::Interval& i) {
                return i.closed && i.start == span.start && i.stop == span.stop;
            });
        if (!found) {
            faults += "task " + std::to_string(id) + " lost " + span.start.Format() + "\n";
        }
    }
    return faults;
}

bool SaveTask(const std::filesystem::path& folder, std::int32_t id, const std::string& name,
              const std::vector<model::Interval>& spans)
{
    model::Task task;
    task.id = id;
    task.name = name;
    for (const model::Interval& span : spans) {
        task.intervals.Append(span);
    }
    return task.Save(folder);
}

model::Task LoadTask(const std::filesystem::path& folder, std::int32_t id)
{
    model::Task task;
    task.id = id;
    EXPECT_TRUE(task.Load(folder)) << folder << " " << id;
    return task;
}

unsigned ModeOf(const std::filesystem::path& path)
{
    struct stat info
    {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : ~0u;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void RewriteInPlace(const std::filesystem::path& file, long offset, const std::string& bytes)
{
    struct stat before
    {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    const int fd = ::open(file.c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), offset < 0 ? before.st_size + offset : offset),
              static_cast<ssize_t>(bytes.size()));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ::futimens(fd, times);
    ::close(fd);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    std::istringstream in(hex);
    std::string token;
    while (in >> token) {
        bytes.push_back(static_cast<char>(std::stoi(token, nullptr, 16)));
    }
    return bytes;
}

std::string ToHex(const std::string& bytes)
{
    std::string hex;
    for (const char c : bytes) {
        std::array<char, 3> pair{};
        std::snprintf(pair.data(), pair.size(), "%02X", static_cast<unsigned char>(c));
        if (!hex.empty()) {
            hex += ' ';
        }
        hex += pair.data();
    }
    return hex;
}

} // namespace kelmora::testsupport
