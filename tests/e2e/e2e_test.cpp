// Drives the real kelmora program on a private X server (Xvfb) with trayer as the notification area, as a
// user would: through the tray icon, the keyboard and the files it leaves behind. Starting the
// desktop and the program is most of a test's time, so each test follows one user through all that one
// started program allows.
#include "e2e.h"

#include <map>

namespace kelmora::e2e {
namespace {

using namespace std::chrono_literals;
using testsupport::ReadFile;

TEST_F(Desktop, TrayMenusOutsideChangesSecondStartReportAndExport_ClosedWithTheSaveDialogOpen)
{
    StartTray();
    SetSetting("AutoStop", 1); // the close at the end asks nothing
    Cli({"create", "Writing"});
    Cli({"create", "Reading"});
    Cli({"add", "Reading", "2020-06-01 09:00:00", "2020-06-01 10:30:00"});
    StartKelmora();
    const auto icon = WaitForTrayIcon();
    ASSERT_TRUE(icon) << "no tray icon appeared";
    EXPECT_GE(icon->width, 16);
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Idle));

    // Another program changes the files: the tray follows within about a second.
    Cli({"start", "Writing"});
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Running));

    // A second start shows the first one's Task List and ends; a double click on the icon hides the window.
    EXPECT_FALSE(Shown(kTaskList));
    testsupport::ChildProcess second(kKelmora, {});
    EXPECT_EQ(second.waitForExit(10s), 0);
    EXPECT_FALSE(WaitForWindow(kTaskList).empty());
    EXPECT_EQ(TrayIcons().size(), 1U) << "the second start must not add a tray icon";
    // One on another data folder names the folder that runs instead; without a display, on standard error.
    const std::string otherFolder = RunProgram(
        "/bin/sh",
        {"-c", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \"$0\" --data-dir \"$1\" 2>&1; echo status=$?",
         kKelmora.string(), (Root() / "other").string()});
    EXPECT_NE(otherFolder.find("already running with the data folder " + fs::canonical(DataFolder()).string() + "."),
              std::string::npos)
        << otherFolder;
    EXPECT_NE(otherFolder.find("status=1"), std::string::npos) << otherFolder;
    // A slow machine may see two single clicks instead; those do nothing, so the double click is tried again.
    bool hidden = false;
    for (int attempt = 0; attempt < 3 && !hidden; ++attempt) {
        ClickTrayIcon(1, 2);
        hidden = WaitUntil([&] { return !Shown(kTaskList); }, 3s);
    }
    EXPECT_TRUE(hidden);

    // "&Generate Report", where Return takes "for This Day": the report goes to the desktop's opener.
    ChooseFromTrayMenu("g");
    Keys({"Return"});
    EXPECT_NE(WaitForOpened(1).find("report.htm"), std::string::npos);
    const std::string day = ReadFile(DataFolder() / "report.htm");
    EXPECT_NE(day.find("<b>Writing</b>"), std::string::npos) << day;
    EXPECT_EQ(day.find("01:30:00"), std::string::npos) << "the 2020 span is not in this day";

    // From the Task List that "Open &Task List..." shows, the time log of this day (the running span only)
    // goes to the file typed into the save dialog, and on to the desktop's opener.
    ChooseFromTrayMenu("t");
    ASSERT_FALSE(WaitForWindow(kTaskList).empty());
    Keys({"alt+x"});
    ASSERT_FALSE(WaitForWindow("Export Time Log").empty());
    Xdotool({"type", "--delay", "20", (DataFolder() / "log.xls").string()});
    Keys({"Return"});
    EXPECT_NE(WaitForOpened(2).find("log.xls"), std::string::npos);
    EXPECT_EQ(ReadFile(DataFolder() / "log.xls").rfind("Writing\t", 0), 0U) << "tab-separated text";

    // "/t" closes the program through the open save dialog, and AutoStop stops the task on the way out.
    ASSERT_FALSE(WaitForWindow(kTaskList).empty());
    Keys({"alt+x"});
    ASSERT_FALSE(WaitForWindow("Export Time Log").empty());
    EXPECT_EQ(TerminateKelmora(), 0) << "closed, not killed";
    EXPECT_FALSE(LastIntervalOpen(DataFolder(), 0));
}

TEST_F(Desktop, GlobalKeysIdleQuestionWaitsForSettingsAndReminder_ClosedWithTheSettingsOpen)
{
    StartTray();
    SetSetting("Remind", 0);
    SetSetting("UseIdleDetection", 1);
    SetSetting("Timeout", 1);
    Cli({"create", "Writing"});
    Cli({"start", "Writing"});
    StartKelmora();
    ASSERT_TRUE(WaitForTrayIcon());
    // Idle detection with a one-second timeout; the monitor looks once a second and counts whole seconds, so
    // three and a half seconds without input are surely seen as more than the timeout; the next input ends them. The
    // question waits while the Settings sheet is open and comes when it closes. (The keyboard is grabbed only later:
    // after a grab, such as the Edit Hotkey dialog's, Xvfb's own idle count no longer always follows the input.)
    const std::string question = "Idle period diring \"Writing\"";
    ASSERT_TRUE(WaitUntil([&] {
        Keys({"alt+shift+s"});
        return WaitUntil([&] { return Shown("Settings"); }, 1s);
    }));
    std::this_thread::sleep_for(3500ms);
    Xdotool({"mousemove", "--sync", "300", "300"});
    EXPECT_FALSE(WaitUntil([&] { return Shown(question); }, 2s)) << "the idle question stacked on the Settings";
    WaitForWindow("Settings");
    Keys({"Escape"});
    ASSERT_FALSE(WaitForWindow(question).empty()) << "the idle question did not appear";
    Keys({"Down", "Return"}); // "Do not count this time", then OK, the default button
    ASSERT_TRUE(WaitUntil([&] { return !Shown(question); }));
    ASSERT_TRUE(WaitUntil([&] { return !LastIntervalOpen(DataFolder(), 0); })) << "stopped without Continue";

    // With no task running for the reminder's timeout (a second), it asks; Yes shows the Task List.
    SetSetting("RemindTimeout", 1);
    SetSetting("Remind", 1);
    ASSERT_FALSE(WaitForWindow("Kelmora").empty()) << "no reminder";
    SetSetting("Remind", 0);
    Keys({"Return"}); // Yes, the default button
    EXPECT_TRUE(WaitUntil([&] { return Shown(kTaskList); }));
    EXPECT_TRUE(WaitUntil([&] { return !Shown("Kelmora"); }));
    Keys({"alt+shift+t"});
    EXPECT_TRUE(WaitUntil([&] { return !Shown(kTaskList); }));
    SetSetting("UseIdleDetection", 0);

    // The icon can be docked before the keys are grabbed; the tray-menu shortcut tells when they are.
    ASSERT_TRUE(WaitUntil([&] {
        Keys({"alt+shift+m"});
        return WaitUntil([&] { return Shown(kTrayMenu); }, 1s);
    }));
    Keys({"Escape"});

    // Alt+Shift+S opens the Settings. On the Keyboard Shortcuts page the second row (the Task List) gets
    // Alt+Shift+K: it works while the sheet is open, is written at once, stays after Cancel, and the old
    // combination is released.
    Keys({"alt+shift+s"});
    ASSERT_FALSE(WaitForWindow("Settings").empty());
    Keys({"ctrl+Tab", "Home", "Down", "Tab", "space"});
    ASSERT_FALSE(WaitForWindow("Edit Hotkey").empty());
    Keys({"k", "Return"});
    ASSERT_TRUE(WaitUntil([&] { return !Shown("Edit Hotkey"); }));
    EXPECT_NE(ReadFile(DataFolder() / "hotkeys.xml").find("<vk>75</vk>"), std::string::npos);
    Keys({"alt+shift+k"});
    EXPECT_TRUE(WaitUntil([&] { return Shown(kTaskList); })) << "the new combination works while the sheet is open";
    ASSERT_FALSE(WaitForWindow("Settings").empty());
    Keys({"Escape"});
    ASSERT_TRUE(WaitUntil([&] { return !Shown("Settings"); }));
    EXPECT_NE(ReadFile(DataFolder() / "hotkeys.xml").find("<vk>75</vk>"), std::string::npos);
    // In front, the key puts the window away (from behind others it would bring it forward).
    WaitForWindow(kTaskList);
    Keys({"alt+shift+k"});
    EXPECT_TRUE(WaitUntil([&] { return !Shown(kTaskList); }));
    // Keys are handled in order: once the tray menu is there, an Alt+Shift+T before it has had its effect.
    Keys({"alt+shift+t", "alt+shift+m"});
    EXPECT_TRUE(WaitUntil([&] { return Shown(kTrayMenu); }));
    EXPECT_FALSE(Shown(kTaskList)) << "the old combination is released";
    Keys({"Escape"});

    Keys({"alt+shift+s"});
    ASSERT_TRUE(WaitUntil([&] { return Shown("Settings"); }));
    EXPECT_EQ(TerminateKelmora(), 0) << "closed, not killed";
}

TEST_F(Desktop, ExitWithARunningTask_NoKeepsItYesStops_TerminateAsksNothingAndEndsAQuestion)
{
    StartTray();
    Cli({"create", "Writing"});
    Cli({"start", "Writing"});
    StartKelmora();
    ASSERT_TRUE(WaitForTrayIcon());
    EXPECT_TRUE(WaitForTrayIconLook(IconLook::Running)) << "the running task is current at once";
    ChooseFromTrayMenu("e"); // "&Exit Kelmora"
    ASSERT_FALSE(WaitForWindow("Running task").empty());
    Keys({"Escape"}); // No
    EXPECT_EQ(KelmoraProcess().waitForExit(10s), 0);
    EXPECT_TRUE(LastIntervalOpen(DataFolder(), 0));

    // "/t" asks nobody, and ends the question of an exit under way unanswered: the task stays running, and
    // the program ends by itself, well within the ten seconds after which it would be killed. (Without a
    // question, every test's end shows the same.)
    StartKelmora();
    ASSERT_TRUE(WaitForTrayIcon());
    ChooseFromTrayMenu("e");
    ASSERT_FALSE(WaitForWindow("Running task").empty());
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(TerminateKelmora(), 0) << "closed, not killed";
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 6s);
    EXPECT_FALSE(Shown("Running task"));
    EXPECT_TRUE(LastIntervalOpen(DataFolder(), 0));

    StartKelmora();
    ASSERT_TRUE(WaitForTrayIcon());
    ChooseFromTrayMenu("e");
    ASSERT_FALSE(WaitForWindow("Running task").empty());
    Keys({"Return"}); // Yes, the default button
    EXPECT_EQ(KelmoraProcess().waitForExit(10s), 0);
    EXPECT_FALSE(LastIntervalOpen(DataFolder(), 0));
}

// A desktop without notification area (a bare window manager, GNOME without its extension): the Task List
// stands in for the icon and the user is told why; the icon comes with the tray. Under a window manager the
// frame lies around the window, and a restart must keep the window's size.
TEST_F(Desktop, WithoutTrayTheTaskListShowsUntilTheTrayComes_ItsSizeIsKeptOverARestart)
{
    StartWindowManager();
    StartKelmora();
    // Under the window manager the modal word keeps the focus, so the Task List behind it is only looked for.
    ASSERT_FALSE(WaitForWindow("Kelmora").empty()) << "no word about the missing tray";
    Keys({"Return"});
    EXPECT_TRUE(WaitUntil([&] { return Shown(kTaskList); }));
    StartTray();
    EXPECT_TRUE(WaitForTrayIcon()) << "the icon appears once a tray is there";

    SetSetting("ShowWindow", 1);
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        if (start > 0) {
            StartKelmora();
        }
        const std::string window = WaitForWindow(kTaskList);
        ASSERT_FALSE(window.empty());
        // The size as the window manager has it.
        std::string geometry;
        ASSERT_TRUE(WaitUntil([&] {
            return (geometry = Xdotool({"getwindowgeometry", "--shell", window})).find("WIDTH=") != std::string::npos;
        }));
        EXPECT_NE(geometry.find("WIDTH=700\nHEIGHT=500\n"), std::string::npos) << geometry;
        // openbox closes the window, which stores its place. Under load the key may reach the window before
        // openbox has given it the focus; it is then simply pressed again.
        bool closed = false;
        for (int attempt = 0; attempt < 3 && !closed; ++attempt) {
            WaitForWindow(kTaskList);
            Keys({"alt+F4"});
            closed = WaitUntil([&] { return !Shown(kTaskList); }, 3s);
        }
        EXPECT_TRUE(closed);
        EXPECT_EQ(TerminateKelmora(), 0);
    }
}

// A thousand tasks, a few of them tracked: the Start Task menu and its longest submenu stay on the screen.
TEST_F(Desktop, ThousandTasks_TheStartTaskMenuAndItsSubmenusFitTheScreen)
{
    StartTray();
    fs::create_directories(DataFolder());
    for (std::int32_t id = 0; id < 1000; ++id) {
        model::Task task;
        task.id = id;
        task.name = "A task with a long name to fill the menu " + std::to_string(id);
        if (id % 100 == 0) {
            task.intervals.Insert(
                model::Interval(testsupport::Utc(2020, 6, 1, 9, id / 100), testsupport::Utc(2020, 6, 1, 10, id / 100)));
        }
        ASSERT_TRUE(task.Save(DataFolder()));
    }
    // One task in a category puts the rest under "(No category)".
    Cli({"set-category", "id:1", Cli({"category-create", "Work"}).substr(0, 1)});
    StartKelmora();
    ASSERT_TRUE(WaitForTrayIcon());
    ChooseFromTrayMenu("r");
    // The recent tasks, newest first, then the "(No category)" submenu: opened, it is the longest there is.
    Keys({"Up", "Up", "Right"});
    std::vector<std::string> menus;
    const bool opened = WaitUntil([&] {
        return (menus = Lines(Xdotool({"search", "--onlyvisible", "--class", "Kelmora"}))).size() >= 4;
    });
    if (const char* folder = std::getenv("KELMORA_SCREENSHOTS")) {
        RunProgram("/usr/bin/import", {"-window", "root", std::string(folder) + "/start-task-menu.png"});
    }
    ASSERT_TRUE(opened) << "the tray menu, Start Task and one submenu beside the icon: " << menus.size();
    for (const std::string& window : menus) {
        std::map<std::string, int> at;
        for (const std::string& line : Lines(Xdotool({"getwindowgeometry", "--shell", window}))) {
            at[line.substr(0, line.find('='))] = std::atoi(line.c_str() + line.find('=') + 1);
        }
        EXPECT_TRUE(at["X"] >= 0 && at["Y"] >= 0 && at["X"] + at["WIDTH"] <= 1024 && at["Y"] + at["HEIGHT"] <= 768)
            << "window " << window << " at " << at["X"] << "," << at["Y"] << " size " << at["WIDTH"] << "x"
            << at["HEIGHT"];
    }
    Keys({"Escape", "Escape", "Escape"});
    EXPECT_EQ(TerminateKelmora(), 0);
}

TEST(NoDisplay, HelpVersionAndAStartWithoutDisplay)
{
    // Arguments, what the program says, how it ends.
    const std::array<std::array<std::string, 3>, 4> cases{{
        {"", "no graphical display is available", "status=1"},
        {"--help", "Usage: kelmora", "status=0"},
        {"--version", "kelmora 0.", "status=0"},
        {"--data-dir", "--data-dir needs a folder", "status=2"},
    }};
    for (const auto& [arguments, says, status] : cases) {
        SCOPED_TRACE(arguments);
        const std::string output =
            RunProgram("/bin/sh", {"-c",
                                   "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \"$0\" $1 "
                                   "2>&1; echo \"status=$?\"",
                                   kKelmora.string(), arguments});
        EXPECT_NE(output.find(says), std::string::npos) << output;
        EXPECT_NE(output.find(status), std::string::npos) << output;
    }
}

} // namespace
} // namespace kelmora::e2e
