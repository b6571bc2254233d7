// The five global shortcuts and the Settings sheet, driven through the real program on a private X server.
#include "e2e.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace kelmora::e2e {
namespace {

using testsupport::ReadFile;

class Hotkeys : public Desktop
{
protected:
    void Start()
    {
        StartKelmora();
        ASSERT_TRUE(WaitForTrayIcon());
        // The icon can be docked before the keys are grabbed; the tray-menu shortcut tells when they are.
        ASSERT_TRUE(WaitUntil([&] {
            Xdotool({"key", "--clearmodifiers", "alt+shift+m"});
            return WaitUntil([&] { return !VisibleWindows("Kelmora tray menu").empty(); }, std::chrono::seconds(1));
        }));
        Xdotool({"key", "Escape"});
        ASSERT_TRUE(WaitUntil([&] { return VisibleWindows("Kelmora tray menu").empty(); }));
    }

    bool TaskListShown() { return !VisibleWindows("Kelmora: Task List").empty(); }
    bool SettingsShown() { return !VisibleWindows("Settings").empty(); }
    std::string HotkeysFile() { return ReadFile(DataFolder() / "hotkeys.xml"); }
};

TEST_F(Hotkeys, AltShiftT_ShowsAndHidesTheTaskListAlsoWithNumLockOn)
{
    Start();
    for (const bool numLock : {false, true}) {
        SCOPED_TRACE(numLock ? "Num Lock on" : "Num Lock off");
        if (numLock) {
            Xdotool({"key", "Num_Lock"});
        }
        Xdotool({"key", "--clearmodifiers", "alt+shift+t"});
        EXPECT_TRUE(WaitUntil([&] { return TaskListShown(); }));
        Xdotool({"key", "--clearmodifiers", "alt+shift+t"});
        EXPECT_TRUE(WaitUntil([&] { return !TaskListShown(); }));
    }
    Xdotool({"key", "Num_Lock"});
}

TEST_F(Hotkeys, AltShiftS_OpensTheSettings_TheProgramClosesWithTheSheetOpen)
{
    Start();
    Xdotool({"key", "--clearmodifiers", "alt+shift+s"});
    EXPECT_TRUE(WaitUntil([&] { return SettingsShown(); }));
    Screenshot("settings");
    Xdotool({"key", "Escape"});
    EXPECT_TRUE(WaitUntil([&] { return !SettingsShown(); }));
    EXPECT_EQ(HotkeysFile(), "") << "opening the sheet writes nothing";

    Xdotool({"key", "--clearmodifiers", "alt+shift+s"});
    ASSERT_TRUE(WaitUntil([&] { return SettingsShown(); }));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(TerminateKelmora(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << "closed, not killed";
}

// Keyboard Shortcuts page: the second row (the Task List) gets Alt+Shift+K. The change works before the
// sheet closes, is written at once, and stays after Cancel.
TEST_F(Hotkeys, ChangeOnTheShortcutsPage_TakesEffectAtOnceIsWrittenAndSurvivesCancel)
{
    Start();
    Xdotool({"key", "--clearmodifiers", "alt+shift+s"});
    ASSERT_TRUE(WaitUntil([&] { return SettingsShown(); }));
    Xdotool({"key", "ctrl+Tab"});
    Xdotool({"key", "Home", "Down", "Tab", "space"});
    ASSERT_TRUE(WaitUntil([&] { return !VisibleWindows("Edit Hotkey").empty(); }));
    Screenshot("edit-hotkey");
    Xdotool({"key", "k", "Return"});
    ASSERT_TRUE(WaitUntil([&] { return VisibleWindows("Edit Hotkey").empty(); }));
    EXPECT_NE(HotkeysFile().find("<vk>75</vk>"), std::string::npos);

    Xdotool({"key", "--clearmodifiers", "alt+shift+k"});
    EXPECT_TRUE(WaitUntil([&] { return TaskListShown(); })) << "the new combination works while the sheet is open";

    Xdotool({"search", "--name", "^Settings$", "windowactivate", "--sync"});
    Xdotool({"key", "Escape"});
    ASSERT_TRUE(WaitUntil([&] { return !SettingsShown(); }));
    EXPECT_NE(HotkeysFile().find("<vk>75</vk>"), std::string::npos);
    Xdotool({"key", "--clearmodifiers", "alt+shift+k"});
    EXPECT_TRUE(WaitUntil([&] { return !TaskListShown(); }));
    Xdotool({"key", "--clearmodifiers", "alt+shift+t"});
    EXPECT_TRUE(WaitUntil([&] { return !TaskListShown(); }, std::chrono::seconds(2)))
        << "the old combination is released";
}

} // namespace
} // namespace kelmora::e2e
