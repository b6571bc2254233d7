#pragma once

#include "scopedenvironment.h"

#include "model/clock.h"
#include "model/task.h"
#include "model/timestamp.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace kelmora::testsupport {

// A clock that stands still until told to move.
class FakeClock final : public model::Clock
{
public:
    explicit FakeClock(std::int64_t unixMs = 0) : m_now(unixMs) {}
    std::int64_t NowUnixMs() const override { return m_now.load(); }
    void Set(std::int64_t unixMs) { m_now.store(unixMs); }
    void Advance(std::int64_t ms) { m_now.fetch_add(ms); }
    // Sets now to the given UTC wall-clock time.
    void SetUtc(int year, int month, int day, int hour, int minute, int second = 0);

private:
    std::atomic<std::int64_t> m_now;
};

// Installs a FakeClock for the lifetime of the guard and restores the previous clock afterwards.
class ScopedFakeClock
{
public:
    ScopedFakeClock();
    ScopedFakeClock(int year, int month, int day, int hour, int minute, int second = 0);
    ScopedFakeClock(const ScopedFakeClock&) = delete;
    ScopedFakeClock& operator=(const ScopedFakeClock&) = delete;
    ~ScopedFakeClock();

    FakeClock& clock() { return m_clock; }
    FakeClock* operator->() { return &m_clock; }

private:
    FakeClock m_clock;
    const model::Clock* m_previous;
};

// Sets TZ (and reloads the zone rules) for the lifetime of the guard.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const std::string& zone);
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    // Reloads the zone rules once the old TZ is back: members end in reverse order.
    struct Reload
    {
        ~Reload();
    } m_reload;
    ScopedEnvironment m_zone;
};

// Sets LC_TIME for the lifetime of the guard. Fails the test when the locale is not installed.
class ScopedTimeLocale
{
public:
    explicit ScopedTimeLocale(const std::string& locale);
    ScopedTimeLocale(const ScopedTimeLocale&) = delete;
    ScopedTimeLocale& operator=(const ScopedTimeLocale&) = delete;
    ~ScopedTimeLocale();

private:
    std::string m_previous;
};

// A fresh folder under the system temporary folder, removed with everything in it at the end.
class TempDir
{
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Makes every write past `bytes` fail with EFBIG, as a full disk would, for the guard's lifetime.
// Unlike read-only folders this works for root too.
class ScopedFileSizeLimit
{
public:
    explicit ScopedFileSizeLimit(rlim_t bytes)
    {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limited = m_previous;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
    ~ScopedFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = nullptr;
};

// What is wrong with a data folder that writers left, in one text (empty when nothing is): a file that
// does not load, more than one open span in the whole folder, a span that ends before it starts, or one
// of `expected` (task id and closed span) missing.
std::string FolderFaults(const std::filesystem::path& folder,
                         const std::vector<std::pair<std::int32_t, model::Interval>>& expected = {});

// Unix milliseconds of a UTC wall-clock time.
std::int64_t UtcMs(int year, int month, int day, int hour, int minute, int second = 0);
// A TimeStamp of a UTC wall-clock time.
model::TimeStamp Utc(int year, int month, int day, int hour, int minute, int second = 0);
// A TimeStamp of a local wall-clock time (as the current TZ sees it).
model::TimeStamp Local(int year, int month, int day, int hour, int minute, int second = 0);

// Writes task `id` named `name` with `spans`, in the order given, into `folder`.
bool SaveTask(const std::filesystem::path& folder, std::int32_t id, const std::string& name,
              const std::vector<model::Interval>& spans = {});

// Task `id` as its file in `folder` holds it now; a file that cannot be read fails the test.
model::Task LoadTask(const std::filesystem::path& folder, std::int32_t id);

// The permission bits of `path`, following links; ~0 when it cannot be looked at.
unsigned ModeOf(const std::filesystem::path& path);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Overwrites `bytes` at `offset` (from the end when negative) in place and puts the modification time back, as a
// tool that edits files in place may: only the change time shows it.
void RewriteInPlace(const std::filesystem::path& file, long offset, const std::string& bytes);
// Bytes from a hex string such as "03 00 00 00 61".
std::string FromHex(const std::string& hex);
std::string ToHex(const std::string& bytes);

} // namespace kelmora::testsupport
