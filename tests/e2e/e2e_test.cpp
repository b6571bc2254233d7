// Drives the real kelmora program on a private X server (Xvfb) with trayer as the notification area,
// as a user would: through the tray icon, the keyboard and the files it leaves behind. Steps that can share
// one started program share one test, since starting the desktop is most of each test's time.
#include "e2e.h"

#include "model/task.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace kelmora::e2e {
namespace {

bool LastIntervalOpen(const std::filesystem::path& data, std::int32_t id)
{
    model::Task task;
    task.id = id;
    return task.Load(data) && task.intervals.IsRunning();
}

TEST_F(Desktop, Start_IdleIconFollowsTheCliAndASecondStartShowsTheTaskList)
{
    Cli({"create", "Writing"});
    StartKelmora();
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon) << "no tray icon appeared";
    EXPECT_GE(icon->width, 16);
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Idle));
    Screenshot("start-idle");

    // Another program changes the files: the tray follows within about a second.
    Cli({"start", "Writing"});
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Running));
    Cli({"stop"});
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Idle));

    EXPECT_TRUE(VisibleWindows("Kelmora: Task List").empty());
    testsupport::ChildProcess second(KelmoraPath(), {});
    EXPECT_EQ(second.waitForExit(std::chrono::seconds(10)), 0);
    EXPECT_FALSE(WaitForWindow("Kelmora: Task List").empty());
    EXPECT_EQ(TrayIconCount(), 1) << "the second start must not add a tray icon";
}

TEST_F(Desktop, RunningTaskAtStart_RunningIconAtOnce_ExitAnsweredNoKeepsItRunning)
{
    Cli({"create", "Writing"});
    Cli({"start", "Writing"});
    StartKelmora();
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon);
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Running));
    ChooseFromTrayMenu(*icon, "e"); // "&Exit Kelmora"
    ASSERT_FALSE(WaitForWindow("Running task").empty());
    Screenshot("running-task-question");
    Keys({"Escape"}); // No
    EXPECT_EQ(KelmoraProcess().waitForExit(std::chrono::seconds(10)), 0);
    EXPECT_TRUE(LastIntervalOpen(DataFolder(), 0));

    StartKelmora();
    ASSERT_TRUE(WaitForTrayIcon());
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Running));
}

TEST_F(Desktop, ExitFromTheTrayMenu_AutoStopWithoutAskingElseYesStops)
{
    Cli({"create", "Writing"});
    for (const bool autoStop : {true, false}) {
        SCOPED_TRACE(autoStop ? "AutoStop" : "asked");
        SetSetting("AutoStop", autoStop ? 1 : 0);
        Cli({"start", "Writing"});
        StartKelmora();
        const auto icon = WaitForTrayIcon();
        ASSERT_TRUE(icon);
        ChooseFromTrayMenu(*icon, "e");
        if (!autoStop) {
            ASSERT_FALSE(WaitForWindow("Running task").empty());
            Keys({"Return"}); // Yes, the default button
        }
        EXPECT_EQ(KelmoraProcess().waitForExit(std::chrono::seconds(10)), 0);
        EXPECT_FALSE(LastIntervalOpen(DataFolder(), 0));
    }
}

// Closing must work from any state: here with the Task Categories dialog open over the Task List window.
TEST_F(Desktop, TerminateSwitch_ClosesThroughDialogsAndTheNextStartIsNotBlocked)
{
    SetSetting("AutoStop", 1);
    SetSetting("ShowWindow", 1);
    Cli({"create", "Writing"});
    Cli({"start", "Writing"});
    StartKelmora();
    ASSERT_TRUE(WaitForTrayIcon());
    ASSERT_FALSE(WaitForWindow("Kelmora: Task List").empty());
    Keys({"alt+c", "Tab", "space"}); // from the category filter to "...", which opens Task Categories
    ASSERT_FALSE(WaitForWindow("Task Categories").empty());

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(TerminateKelmora(), 0) << "it closed through its close path";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_FALSE(LastIntervalOpen(DataFolder(), 0)) << "AutoStop stops the task on the way out";

    // Nothing runs now: "/t" ends at once, and a new start takes the instance slot.
    testsupport::ChildProcess idle(KelmoraPath(), {"/t"});
    EXPECT_EQ(idle.waitForExit(std::chrono::seconds(5)), 0);
    StartKelmora();
    EXPECT_TRUE(WaitForTrayIcon());
}

TEST_F(Desktop, TerminateSwitch_EndsAnInstanceThatDoesNotCloseWithinTenSeconds)
{
    Cli({"create", "Writing"});
    Cli({"start", "Writing"});
    StartKelmora();
    ASSERT_TRUE(WaitForTrayIcon());
    // Without AutoStop the closing instance waits for an answer to its question, so it never closes.
    testsupport::ChildProcess terminate(KelmoraPath(), {"/t"});
    EXPECT_TRUE(WaitUntil([&] { return !VisibleWindows("Running task").empty(); }));
    EXPECT_EQ(terminate.waitForExit(std::chrono::seconds(20)), 0);
    EXPECT_FALSE(KelmoraProcess().waitForExit(std::chrono::seconds(2)).has_value()) << "killed, not exited";
    EXPECT_TRUE(LastIntervalOpen(DataFolder(), 0));
    // The next start is not blocked by the lock the killed instance left.
    StartKelmora();
    EXPECT_TRUE(WaitForTrayIcon());
}

TEST_F(Desktop, TrayMenus_StartStopAndBothLayouts)
{
    Cli({"create", "Writing"});
    Cli({"create", "Reading"});
    StartKelmora();
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon);
    // "Sta&rt Task" opens its submenu; Return takes its first task.
    ChooseFromTrayMenu(*icon, "r");
    Keys({"Return"});
    EXPECT_TRUE(WaitUntil([&] { return LastIntervalOpen(DataFolder(), 0); }));
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Running));

    ChooseFromTrayMenu(*icon, "w"); // opens "S&witch to Task"
    Screenshot("usual-layout");
    Keys({"Escape", "Escape"});
    SetSetting("UseQuickAccessMenu", 1); // read when the menu opens
    ChooseFromTrayMenu(*icon, "m");      // opens "&Main Menu"
    Screenshot("quick-access-layout");
    Keys({"Escape", "Escape"});

    SetSetting("UseQuickAccessMenu", 0);
    ChooseFromTrayMenu(*icon, "p"); // "Sto&p Current Task"
    EXPECT_TRUE(WaitUntil([&] { return !LastIntervalOpen(DataFolder(), 0); }));
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Idle));
}

TEST_F(Desktop, TaskList_FromTheTray_LongCategoryRunningTask_CategoryDeleteCancelled)
{
    const std::string category = "Customer projects for the northern region, second half of the year";
    Cli({"category-create", category}); // id 1
    Cli({"create", "Writing the quarterly report for the board"});
    Cli({"set-category", "Writing the quarterly report for the board", "1"});
    Cli({"create", "Reading"});
    Cli({"add", "Reading", "2026-12-01 09:00:00", "2026-12-01 10:30:00"});
    Cli({"start", "Writing the quarterly report for the board"});
    StartKelmora();
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon);
    ChooseFromTrayMenu(*icon, "t"); // "Open &Task List..."
    const std::string window = WaitForWindow("Kelmora: Task List");
    ASSERT_FALSE(window.empty());
    Screenshot("task-list-700x500");

    // The category question: Escape cancels, nothing is deleted.
    Keys({"alt+c", "Tab", "space"});
    const std::string categories = WaitForWindow("Task Categories");
    ASSERT_FALSE(categories.empty());
    const auto place = WindowGeometry(categories);
    ASSERT_TRUE(place);
    // The only category is the list's first row.
    Xdotool({"mousemove", std::to_string(place->x + 40), std::to_string(place->y + 18), "click", "1"});
    Keys({"alt+d"});
    ASSERT_FALSE(WaitForWindow("Delete Category").empty());
    Screenshot("category-delete-question");
    Keys({"Escape"});
    EXPECT_TRUE(WaitUntil([&] { return VisibleWindows("Delete Category").empty(); }));
    EXPECT_NE(Cli({"categories"}).find(category), std::string::npos);
    Keys({"Escape"});

    // A double click on the icon hides the window again. A slow machine may see two single clicks
    // instead; those do nothing, so the double click is simply tried again.
    bool hidden = false;
    for (int attempt = 0; attempt < 3 && !hidden; ++attempt) {
        const Geometry target = TrayIcon().value_or(*icon);
        Xdotool({"mousemove", std::to_string(target.x + target.width / 2), std::to_string(target.y + target.height / 2),
                 "click", "--repeat", "2", "--delay", "60", "1"});
        hidden = WaitUntil([&] { return VisibleWindows("Kelmora: Task List").empty(); }, std::chrono::seconds(3));
    }
    EXPECT_TRUE(hidden);
}

// A desktop without notification area (a bare window manager, GNOME without its extension).
class DesktopWithoutTray : public Desktop
{
protected:
    bool TrayAtStart() const override { return false; }
};

TEST_F(DesktopWithoutTray, ShowsTheTaskListSaysWhyAndTheIconComesWithTheTray)
{
    StartKelmora();
    ASSERT_FALSE(WaitForWindow("Kelmora: Task List").empty());
    ASSERT_FALSE(WaitForWindow("Kelmora").empty()) << "no word about the missing tray";
    Screenshot("no-tray");
    Keys({"Return"});
    StartTray();
    EXPECT_TRUE(WaitForTrayIcon()) << "the icon appears once a tray is there";
}

// Under a real window manager the frame lies around the window; three starts must keep its size.
TEST_F(Desktop, TaskListGeometry_KeptOverRestartsUnderAWindowManager)
{
    StartWindowManager();
    SetSetting("ShowWindow", 1);
    std::vector<Geometry> sizes;
    for (int start = 0; start < 3; ++start) {
        StartKelmora();
        const std::string window = WaitForWindow("Kelmora: Task List");
        ASSERT_FALSE(window.empty());
        ASSERT_TRUE(WaitUntil([&] { return WindowGeometry(window).has_value(); }));
        sizes.push_back(*WindowGeometry(window));
        Keys({"alt+F4"}); // openbox closes the window, which stores its place
        EXPECT_TRUE(WaitUntil([&] { return VisibleWindows("Kelmora: Task List").empty(); }));
        EXPECT_EQ(TerminateKelmora(), 0);
    }
    for (const Geometry& size : sizes) {
        EXPECT_EQ(size.width, sizes.front().width);
        EXPECT_EQ(size.height, sizes.front().height);
    }
    EXPECT_EQ(sizes.front().width, 700);
    EXPECT_EQ(sizes.front().height, 500);
}

TEST(NoDisplay, HelpVersionAndAStartWithoutDisplay)
{
    const struct
    {
        const char* arguments;
        const char* says;
        const char* status;
    } cases[] = {
        {"", "no graphical display", "status=1"},
        {"", "kelmora-cli", "status=1"},
        {"--help", "Usage: kelmora", "status=0"},
        {"--version", "kelmora 0.", "status=0"},
        {"--data-dir", "--data-dir needs a folder", "status=2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const std::string output =
            RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + KelmoraPath().string() + "' " +
                       c.arguments + " 2>&1; echo \"status=$?\"");
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_NE(output.find(c.status), std::string::npos) << output;
    }
}

} // namespace
} // namespace kelmora::e2e
