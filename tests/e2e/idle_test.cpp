// Idle detection and the reminder in the real program on a private X server: the X11 screen-saver
// extension measures the idle time, and xdotool's input resets it.
#include "e2e.h"

#include "model/task.h"

#include <gtest/gtest.h>

#include <thread>

namespace kelmora::e2e {
namespace {

model::Task LoadTask(const std::filesystem::path& data, std::int32_t id)
{
    model::Task task;
    task.id = id;
    task.Load(data);
    return task;
}

const std::string kTitle = "Idle period diring \"Writing\"";

class IdleDesktop : public Desktop
{
protected:
    // A running task, detection on with a 3-second timeout, then 5 seconds without input and a mouse move.
    std::string BringUpIdleQuestion()
    {
        SetSetting("UseIdleDetection", 1);
        SetSetting("Timeout", 3);
        SetSetting("Remind", 0);
        Cli({"create", "Writing"});
        Cli({"start", "Writing"});
        StartKelmora();
        EXPECT_TRUE(WaitForTrayIcon());
        std::this_thread::sleep_for(std::chrono::seconds(5));
        EXPECT_TRUE(VisibleWindows(kTitle).empty()) << "no question before the input";
        Xdotool({"mousemove", "--sync", "300", "300"});
        WaitUntil([&] { return !VisibleWindows(kTitle).empty(); });
        const std::vector<std::string> windows = VisibleWindows(kTitle);
        return windows.empty() ? std::string() : windows.front();
    }
};

TEST_F(IdleDesktop, InputAfterTheTimeout_AsksAboutTheIdlePeriod_TheProgramClosesWithTheQuestionOpen)
{
    SetSetting("AutoStop", 1);
    const std::string window = BringUpIdleQuestion();
    ASSERT_FALSE(window.empty()) << "the idle question did not appear";
    Screenshot("idle-question");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(TerminateKelmora(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << "closed, not killed";
    EXPECT_FALSE(LoadTask(DataFolder(), 0).IsRunning()) << "the exit path ran to its end";
}

TEST_F(IdleDesktop, DoNotCountThisTime_ShortensTheSpanInTheFile)
{
    const auto started = std::chrono::steady_clock::now();
    const std::string window = BringUpIdleQuestion();
    ASSERT_FALSE(window.empty());
    Xdotool({"windowfocus", "--sync", window});
    Xdotool({"key", "--clearmodifiers", "Down"});   // "Do not count this time"
    Xdotool({"key", "--clearmodifiers", "Return"}); // OK, the default button
    ASSERT_TRUE(WaitUntil([&] { return VisibleWindows(kTitle).empty(); }));
    ASSERT_TRUE(WaitUntil([&] { return !LoadTask(DataFolder(), 0).IsRunning(); })) << "stopped without Continue";
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    const model::Task task = LoadTask(DataFolder(), 0);
    // At least the four idle seconds are gone from the time tracked since the start.
    EXPECT_LE(task.Total().TotalMs(), elapsedMs - 4000) << task.intervals.Count() << " spans";
    EXPECT_GE(task.Total().TotalMs(), 0);
}

TEST_F(IdleDesktop, NoTaskForTheReminderTimeout_RemindsAndYesShowsTheTaskList)
{
    SetSetting("RemindTimeout", 3);
    Cli({"create", "Writing"});
    StartKelmora();
    ASSERT_TRUE(WaitForTrayIcon());
    ASSERT_TRUE(WaitUntil([&] { return !VisibleWindows("Kelmora").empty(); })) << "no reminder";
    Screenshot("reminder");
    Xdotool({"windowfocus", "--sync", VisibleWindows("Kelmora").front()});
    Xdotool({"key", "--clearmodifiers", "Return"}); // Yes, the default button
    EXPECT_TRUE(WaitUntil([&] { return !VisibleWindows("Kelmora: Task List").empty(); }));
    EXPECT_TRUE(VisibleWindows("Kelmora").empty());
}

} // namespace
} // namespace kelmora::e2e
