// Reads arbitrary bytes as a task file. Whatever loads must save and load back to the same task, the
// quick look at the last record must agree with the full load, and nothing may read past the input or
// trip a sanitizer.
#include "model/clock.h"
#include "model/task.h"
#include "model/taskfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <unistd.h>

namespace {

class FixedClock final : public kelmora::model::Clock
{
public:
    std::int64_t NowUnixMs() const override { return 1'199'178'000'000; } // 2008-01-01 09:00 UTC
};

bool SameTask(const kelmora::model::Task& a, const kelmora::model::Task& b)
{
    if (a.name != b.name || a.intervals.Count() != b.intervals.Count()) {
        return false;
    }
    for (std::int32_t i = 0; i < a.intervals.Count(); ++i) {
        const auto x = a.intervals.At(i);
        const auto y = b.intervals.At(i);
        if (!(x.start == y.start) || !(x.stop == y.stop) || x.closed != y.closed) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FixedClock clock;
    static const bool installed = (kelmora::model::Clock::Install(&clock), true);
    (void)installed;

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kelmora::model::Task task;
    task.id = 1;
    const bool decoded = kelmora::model::DecodeTask(bytes, task);
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("kelmora-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    std::ofstream(kelmora::model::TaskPath(folder, 1), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(size));
    const kelmora::model::TaskFolderPeek peek(folder);
    const std::optional<bool> peeked = peek.Running(1);
    if (peeked.has_value() != decoded || (decoded && *peeked != task.intervals.IsRunning())) {
        std::abort();
    }
    // A menu's glance at the file gives the name and last span a full load gives.
    const auto glance = peek.GlanceAt(1);
    if (glance.has_value() != decoded ||
        (decoded &&
         (glance->name != task.name || glance->last.has_value() != (task.intervals.Count() > 0) ||
          (glance->last && !(glance->last->start == task.intervals.At(task.intervals.Count() - 1).start))))) {
        std::abort();
    }
    if (!decoded) {
        return 0;
    }
    // Exercise the arithmetic and text forms on whatever values the file held.
    (void)task.Total().Format();
    for (const auto& interval : task.intervals) {
        (void)interval.Format();
        if (task.intervals.Count() < 64) {
            kelmora::model::IntervalList copy = task.intervals;
            copy.Insert(interval);
        }
    }
    kelmora::model::Task again;
    again.id = 1;
    if (!kelmora::model::DecodeTask(kelmora::model::EncodeTask(task), again) || !SameTask(task, again)) {
        std::abort();
    }
    return 0;
}
